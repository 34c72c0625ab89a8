#include "files/PathText.h"

#include <optional>
#include <utility>

#include "files/TestHooks.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr size_t kMaxFileNameLength = 260;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// The filter splitting stops at a NUL, so there only codes 1 to 32 separate items.
bool IsFilterBlank(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

bool IsWindowsDelimiter(char c) { return c == '\\' || c == ':' || c == '\0'; }
bool IsPosixDelimiter(char c) { return c == '/' || c == '\0'; }

template <typename IsDelimiter>
size_t FindLastDelimiter(std::string_view path, IsDelimiter isDelimiter) {
  for (size_t i = path.size(); i > 0; --i) {
    if (isDelimiter(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

template <typename IsDelimiter>
std::string NameAfterLastDelimiter(std::string_view path, IsDelimiter isDelimiter) {
  size_t p = FindLastDelimiter(path, isDelimiter);
  std::string_view name = p == std::string_view::npos ? path : path.substr(p + 1);
  return std::string(name.substr(0, kMaxFileNameLength));
}

std::optional<std::string>& ProgramDirStorage() {
  static std::optional<std::string> dir;
  return dir;
}

}  // namespace

std::string IntToDecimal(int32_t value) { return std::to_string(value); }

std::string TrimBlanks(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsBlank(text[begin])) ++begin;
  return std::string(text.substr(begin, end - begin));
}

std::string StripQuotes(std::string_view text) {
  if (text.size() < 3) return std::string(text);
  if (text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  return std::string(text);
}

// ---- Windows grammar ----

std::string WindowsPaths::FileNamePart(std::string_view path) {
  return NameAfterLastDelimiter(path, IsWindowsDelimiter);
}

std::string WindowsPaths::DirectoryPart(std::string_view path) {
  size_t p = FindLastDelimiter(path, IsWindowsDelimiter);
  if (p == std::string_view::npos) return {};
  if (p == 0) return std::string(path.substr(0, 1));
  if (path[p] == '\\') {
    // A drive root keeps its backslash; any other directory loses it.
    if (path[p - 1] == ':') return std::string(path.substr(0, p + 1));
    return std::string(path.substr(0, p));
  }
  return std::string(path.substr(0, p + 1));
}

std::string WindowsPaths::EnsureTrailingSeparator(std::string_view dir) {
  std::string result(dir);
  if (dir.size() == 2 && dir[1] == ':') {
    result += '\\';
  } else if (dir.size() >= 3 && dir.back() != '\\') {
    result += '\\';
  }
  return result;
}

bool WindowsPaths::IsAbsolute(std::string_view path) {
  return path.find(":\\") != std::string_view::npos || path.find("\\\\") != std::string_view::npos;
}

std::string WindowsPaths::ResolvePath(std::string_view text, std::string_view programDir) {
  if (IsAbsolute(text)) return std::string(text);
  std::string result(programDir);
  result += text;
  return result;
}

std::string WindowsPaths::DropTrailingSeparator(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

bool WindowsPaths::IsCreateRoot(std::string_view trimmed) { return trimmed.size() < 3; }

std::string WindowsPaths::CreateParent(std::string_view trimmed) {
  size_t p = trimmed.find_last_of("\\:");
  if (p == std::string_view::npos) return {};
  return std::string(trimmed.substr(0, p + 1));
}

// ---- POSIX grammar ----

std::string PosixPaths::FileNamePart(std::string_view path) {
  return NameAfterLastDelimiter(path, IsPosixDelimiter);
}

std::string PosixPaths::DirectoryPart(std::string_view path) {
  size_t p = FindLastDelimiter(path, IsPosixDelimiter);
  if (p == std::string_view::npos) return {};
  if (p == 0) return "/";
  return std::string(path.substr(0, p));
}

std::string PosixPaths::EnsureTrailingSeparator(std::string_view dir) {
  std::string result(dir);
  if (!dir.empty() && dir.back() != '/') result += '/';
  return result;
}

bool PosixPaths::IsAbsolute(std::string_view path) { return !path.empty() && path.front() == '/'; }

std::string PosixPaths::ResolvePath(std::string_view text, std::string_view programDir) {
  if (IsAbsolute(text)) return std::string(text);
  std::string result(programDir);
  result += text;
  return result;
}

std::string PosixPaths::DropTrailingSeparator(std::string_view path) {
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

// "/a" must still be created, so only the file-system root itself counts.
bool PosixPaths::IsCreateRoot(std::string_view trimmed) {
  return trimmed.empty() || trimmed == "/";
}

std::string PosixPaths::CreateParent(std::string_view trimmed) {
  size_t p = trimmed.rfind('/');
  if (p == std::string_view::npos) return {};
  return std::string(trimmed.substr(0, p + 1));
}

// ---- Program directory ----

const std::string& ProgramDir() {
  std::optional<std::string>& dir = ProgramDirStorage();
  if (!dir) {
    std::string program = platform::ProgramPath();
    size_t p = FindLastDelimiter(program, IsPosixDelimiter);
    std::string cut = p == std::string::npos ? std::string() : program.substr(0, p + 1);
    dir = NativePaths::EnsureTrailingSeparator(cut);
  }
  return *dir;
}

void SetProgramDirForTesting(std::string dir) { ProgramDirStorage() = std::move(dir); }

// ---- Extension filter ----

std::vector<std::string> SplitExtensionFilter(std::string_view filter) {
  filter = filter.substr(0, filter.find('\0'));
  const size_t n = filter.size();
  std::vector<std::string> items;
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < n && IsFilterBlank(filter[i])) ++i;
  };

  skipBlanks();
  while (i < n) {
    std::string item;
    if (filter[i] == '"') {
      // Up to the first quote not doubled; a missing closing quote takes the rest.
      ++i;
      while (i < n) {
        if (filter[i] == '"') {
          if (i + 1 < n && filter[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += filter[i++];
      }
    } else {
      size_t start = i;
      while (i < n && !IsFilterBlank(filter[i]) && filter[i] != ';') ++i;
      item.assign(filter.substr(start, i - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (i < n && filter[i] == ';') {
      if (i + 1 == n) items.emplace_back();
      ++i;
      skipBlanks();
    }
  }
  return items;
}

}  // namespace quorvel
