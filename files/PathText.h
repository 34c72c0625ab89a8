#pragma once
// Small operations on texts and paths shared by the run, the settings and the window.
// None of them fails: every text, the empty one included, has a defined result.
//
// Two path grammars are kept side by side. WindowsPaths splits at backslash, colon and
// NUL and knows drive roots and network paths; PosixPaths splits at '/' and NUL. The
// free functions below use the native grammar of the build.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

std::string IntToDecimal(int32_t value);
// Removes blanks (codes 0 to 32) from both ends.
std::string TrimBlanks(std::string_view text);
// Removes one double quote at each end of a text of three or more characters.
std::string StripQuotes(std::string_view text);

struct WindowsPaths {
  static constexpr char kSeparator = '\\';
  static std::string FileNamePart(std::string_view path);
  static std::string DirectoryPart(std::string_view path);
  static std::string EnsureTrailingSeparator(std::string_view dir);
  static bool IsAbsolute(std::string_view path);  // holds ":\" or "\\"
  static std::string ResolvePath(std::string_view text, std::string_view programDir);
  // The steps of CreateDirectoryPath: one trailing separator dropped, what counts as
  // a root that needs no creating (fewer than 3 characters), and the parent (the text
  // up to and including its last backslash or colon).
  static std::string DropTrailingSeparator(std::string_view path);
  static bool IsCreateRoot(std::string_view trimmed);
  static std::string CreateParent(std::string_view trimmed);
};

struct PosixPaths {
  static constexpr char kSeparator = '/';
  static std::string FileNamePart(std::string_view path);
  static std::string DirectoryPart(std::string_view path);
  static std::string EnsureTrailingSeparator(std::string_view dir);
  static bool IsAbsolute(std::string_view path);  // starts with '/'
  static std::string ResolvePath(std::string_view text, std::string_view programDir);
  // As for WindowsPaths: the empty text and "/" are roots; the parent is the text up
  // to and including its last '/'.
  static std::string DropTrailingSeparator(std::string_view path);
  static bool IsCreateRoot(std::string_view trimmed);
  static std::string CreateParent(std::string_view trimmed);
};

using NativePaths = PosixPaths;

// The program's own directory, ending in a separator; computed once.
const std::string& ProgramDir();

inline std::string FileNamePart(std::string_view path) { return NativePaths::FileNamePart(path); }
inline std::string DirectoryPart(std::string_view path) {
  return NativePaths::DirectoryPart(path);
}
inline std::string EnsureTrailingSeparator(std::string_view dir) {
  return NativePaths::EnsureTrailingSeparator(dir);
}
inline std::string ResolvePath(std::string_view text) {
  return NativePaths::ResolvePath(text, ProgramDir());
}
// StripQuotes, then ResolvePath: what every directory field goes through before use.
inline std::string NormalizeDirectoryText(std::string_view text) {
  return ResolvePath(StripQuotes(text));
}

// The extension items of a filter text: separated by ';' and blanks, with
// double-quoted items and doubled quotes inside them.
std::vector<std::string> SplitExtensionFilter(std::string_view filter);

}  // namespace quorvel
