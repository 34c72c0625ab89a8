#include "files/PathText.h"
#include "files/TestHooks.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {
namespace {

using namespace std::string_literals;

// Pins ProgramDir for one test and gives the previous value back afterwards.
class ProgramDirOverride {
 public:
  explicit ProgramDirOverride(std::string dir) : saved_(ProgramDir()) {
    SetProgramDirForTesting(std::move(dir));
  }
  ~ProgramDirOverride() { SetProgramDirForTesting(saved_); }

 private:
  std::string saved_;
};

TEST(IntToDecimal, WritesPlainDecimalDigits) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "0"}, {-5, "-5"}, {42, "42"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(IntToDecimal(value), expected) << value;
}

TEST(TrimBlanks, RemovesCodesUpTo32AtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"\t  a b\r\n", "a b"}, {" a  b ", "a  b"},         {"   \t", ""}, {"", ""}, {"\0a\0"s, "a"},
      {"\x1fx\x01", "x"},     {"\xA0x\xA0", "\xA0x\xA0"},  // code 160 is not a blank
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(TrimBlanks(text), expected) << text;
}

TEST(StripQuotes, RemovesAtMostOneQuoteAtEachEnd) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"C:\\dir\"", "C:\\dir"},
      {"\"/home/u\"", "/home/u"},
      {"\"abc", "abc"},
      {"abc\"", "abc"},
      {"\"\"", "\"\""},  // shorter than 3: unchanged
      {"\"a", "\"a"},
      {"\"\"\"", "\""},
      {"\"\"x\"\"", "\"x\""},
      {"a\"b", "a\"b"},
      {"", ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(StripQuotes(text), expected) << text;
}

struct SplitCase {
  std::string path;
  std::string fileName;
  std::string directory;
};

TEST(WindowsPaths, SplitsAtBackslashColonAndNul) {
  const std::string longName(300, 'n');
  const SplitCase cases[] = {
      {"C:\\dir\\sub\\f.txt", "f.txt", "C:\\dir\\sub"},
      {"C:\\f.txt", "f.txt", "C:\\"},
      {"C:f.txt", "f.txt", "C:"},
      {"\\f.txt", "f.txt", "\\"},
      {"f.txt", "f.txt", ""},
      {"\\\\srv\\share\\f.txt", "f.txt", "\\\\srv\\share"},
      {"C:\\dir\\", "", "C:\\dir"},
      {"C:\\", "", "C:\\"},
      {"", "", ""},
      {"C:\\dir/f.txt", "dir/f.txt", "C:\\"},  // the forward slash is no delimiter
      {"a\0b"s, "b", "a\0"s},
      {"C:\\" + longName, longName.substr(0, 260), "C:\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowsPaths::FileNamePart(c.path), c.fileName) << c.path;
    EXPECT_EQ(WindowsPaths::DirectoryPart(c.path), c.directory) << c.path;
  }
}

TEST(PosixPaths, SplitsAtSlashAndNul) {
  const std::string longName(300, 'n');
  const SplitCase cases[] = {
      {"/home/u/f.txt", "f.txt", "/home/u"},
      {"/f.txt", "f.txt", "/"},
      {"f.txt", "f.txt", ""},
      {"rel/f.txt", "f.txt", "rel"},
      {"/dir/", "", "/dir"},
      {"/", "", "/"},
      {"", "", ""},
      {"//srv/f", "f", "//srv"},
      {"//f", "f", "/"},
      {"C:\\dir\\f.txt", "C:\\dir\\f.txt", ""},  // backslash and colon are ordinary
      {"a:b/c\\d", "c\\d", "a:b"},
      {"a\0b"s, "b", "a"},
      {"/d/" + longName, longName.substr(0, 260), "/d"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PosixPaths::FileNamePart(c.path), c.fileName) << c.path;
    EXPECT_EQ(PosixPaths::DirectoryPart(c.path), c.directory) << c.path;
  }
}

TEST(WindowsPaths, EnsureTrailingSeparatorLeavesShortTextsButDrives) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"C:", "C:\\"},
      {"C", "C"},
      {"ab", "ab"},
      {"\\\\", "\\\\"},
      {"C:\\", "C:\\"},
      {"C:\\dir", "C:\\dir\\"},
      {"dir\\", "dir\\"},
      {"abc", "abc\\"},
  };
  for (const auto& [dir, expected] : cases) {
    EXPECT_EQ(WindowsPaths::EnsureTrailingSeparator(dir), expected) << dir;
  }
}

TEST(PosixPaths, EnsureTrailingSeparatorAddsOneSlash) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},           {"/", "/"},    {"a", "a/"},     {"/tmp", "/tmp/"},
      {"/tmp/", "/tmp/"}, {"C:", "C:/"}, {"a\\", "a\\/"},
  };
  for (const auto& [dir, expected] : cases) {
    EXPECT_EQ(PosixPaths::EnsureTrailingSeparator(dir), expected) << dir;
  }
}

TEST(WindowsPaths, ResolvePathKeepsDriveAndNetworkPaths) {
  const std::string prog = "D:\\prog\\";
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\data", "C:\\data"},    {"\\\\srv\\share", "\\\\srv\\share"},
      {"x\\\\y", "x\\\\y"},  // two backslashes anywhere
      {"data", prog + "data"},     {"", prog},
      {"\\data", prog + "\\data"}, {"C:", prog + "C:"},
      {"/data", prog + "/data"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(WindowsPaths::ResolvePath(text, prog), expected) << text;
  }
}

TEST(PosixPaths, ResolvePathKeepsAbsolutePaths) {
  const std::string prog = "/opt/q/";
  const std::pair<std::string, std::string> cases[] = {
      {"/data", "/data"},
      {"/", "/"},
      {"data", prog + "data"},
      {"", prog},
      {"./x", prog + "./x"},
      {"~/x", prog + "~/x"},
      {"C:\\data", prog + "C:\\data"},
      {"\\\\srv\\share", prog + "\\\\srv\\share"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(PosixPaths::ResolvePath(text, prog), expected) << text;
  }
}

TEST(NormalizeDirectoryText, StripsQuotesThenResolvesAgainstProgramDir) {
  ProgramDirOverride pin("/opt/q/");
  EXPECT_EQ(NormalizeDirectoryText("\"/data/in\""), "/data/in");
  EXPECT_EQ(NormalizeDirectoryText("\"in\""), "/opt/q/in");
  EXPECT_EQ(NormalizeDirectoryText(""), "/opt/q/");
  EXPECT_EQ(ResolvePath("in"), "/opt/q/in");
}

TEST(ProgramDir, IsTheDirectoryOfTheRunningProgramWithSlash) {
  std::string expected = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
  EXPECT_EQ(ProgramDir(), expected);
}

// The three steps of creating a directory path, as the run chains them: drop one
// separator, stop at a root, go on with the parent.
template <typename Paths>
std::vector<std::string> LevelsToCreate(std::string path) {
  std::vector<std::string> levels;
  for (;;) {
    std::string trimmed = Paths::DropTrailingSeparator(path);
    if (Paths::IsCreateRoot(trimmed)) break;
    std::string parent = Paths::CreateParent(trimmed);
    levels.insert(levels.begin(), trimmed);
    if (parent == trimmed) break;
    path = parent;
  }
  return levels;
}

TEST(WindowsPaths, CreateDirectorySteps) {
  EXPECT_EQ(WindowsPaths::DropTrailingSeparator("C:\\a\\"), "C:\\a");
  EXPECT_EQ(WindowsPaths::DropTrailingSeparator("a\\\\"), "a\\");
  EXPECT_EQ(WindowsPaths::DropTrailingSeparator(""), "");
  EXPECT_TRUE(WindowsPaths::IsCreateRoot("C:"));
  EXPECT_TRUE(WindowsPaths::IsCreateRoot("ab"));
  EXPECT_TRUE(WindowsPaths::IsCreateRoot(""));
  EXPECT_FALSE(WindowsPaths::IsCreateRoot("C:\\a"));
  EXPECT_EQ(WindowsPaths::CreateParent("C:\\a\\b"), "C:\\a\\");
  EXPECT_EQ(WindowsPaths::CreateParent("C:ab"), "C:");
  EXPECT_EQ(WindowsPaths::CreateParent("abc"), "");

  EXPECT_EQ(LevelsToCreate<WindowsPaths>("C:\\a\\b\\"),
            (std::vector<std::string>{"C:\\a", "C:\\a\\b"}));
}

TEST(PosixPaths, CreateDirectoryStepsCreateTopLevelDirectories) {
  EXPECT_EQ(PosixPaths::DropTrailingSeparator("/a/"), "/a");
  EXPECT_EQ(PosixPaths::DropTrailingSeparator("/"), "");
  EXPECT_EQ(PosixPaths::DropTrailingSeparator("a//"), "a/");
  EXPECT_TRUE(PosixPaths::IsCreateRoot(""));
  EXPECT_TRUE(PosixPaths::IsCreateRoot("/"));
  EXPECT_FALSE(PosixPaths::IsCreateRoot("/a"));
  EXPECT_FALSE(PosixPaths::IsCreateRoot("a"));
  EXPECT_EQ(PosixPaths::CreateParent("/a/b"), "/a/");
  EXPECT_EQ(PosixPaths::CreateParent("/a"), "/");
  EXPECT_EQ(PosixPaths::CreateParent("a/b"), "a/");
  EXPECT_EQ(PosixPaths::CreateParent("a"), "");

  EXPECT_EQ(LevelsToCreate<PosixPaths>("/a/b/"), (std::vector<std::string>{"/a", "/a/b"}));
  EXPECT_EQ(LevelsToCreate<PosixPaths>("rel/x"), (std::vector<std::string>{"rel", "rel/x"}));
}

struct FilterCase {
  std::string filter;
  std::vector<std::string> items;
};

TEST(SplitExtensionFilter, SplitsAtSemicolonsAndBlanksWithQuotedItems) {
  const FilterCase cases[] = {
      {"txt;htm", {"txt", "htm"}},
      {"txt htm", {"txt", "htm"}},
      {" txt ; htm ", {"txt", "htm"}},
      {"\ttxt\r\nhtm", {"txt", "htm"}},
      {"txt;", {"txt", ""}},
      {"txt; ", {"txt"}},
      {";txt", {"", "txt"}},
      {"txt;;htm", {"txt", "", "htm"}},
      {";", {"", ""}},
      {"", {}},
      {"   ", {}},
      {"\xA0", {"\xA0"}},
      {"txt\0htm"s, {"txt"}},  // a NUL ends the text
      {"\"a;b\"", {"a;b"}},
      {"\"a b\";txt", {"a b", "txt"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"\"\"", {""}},
      {"\"\";txt", {"", "txt"}},
      {"\"x\"txt", {"x", "txt"}},  // the next item may follow the closing quote at once
      {"a\"b", {"a\"b"}},          // a quote inside an item is ordinary
      {"\"a;b c", {"a;b c"}},      // unterminated: the rest of the text
      {"\"a\"\"b", {"a\"b"}},
      {"txt;\"", {"txt", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitExtensionFilter(c.filter), c.items) << c.filter;
}

}  // namespace
}  // namespace quorvel
