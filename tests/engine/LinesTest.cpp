#include "engine/Lines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Error.h"
#include "support/TempDir.h"

namespace quorvel {
namespace {

using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> LinesOf(const LineList& list) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < list.size(); ++i) lines.emplace_back(list[i]);
  return lines;
}

struct SplitCase {
  std::string bytes;
  std::vector<std::string> lines;
};

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

TEST(LineListTest, SplitsBytesByTheLineEndRules) {
  const std::vector<SplitCase> cases = {
      {"", {}},
      {"a\r\nb", {"a", "b"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\n", {"a", ""}},
      {"\r\n", {""}},
      {"a\rb", {"a", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      {Bytes("a\0b\r\nc", 6), {"a"}},
      // Beyond the table: lone ends throughout, a NUL first, a NUL after a line end.
      {"a\nb\nc", {"a", "b", "c"}},
      {"a\r\r\nb\r", {"a", "", "b"}},
      {Bytes("\0abc", 4), {}},
      {Bytes("a\r\n\0b", 5), {"a"}},
      {Bytes("a\r\0", 3), {"a"}},
      {"abc", {"abc"}},
      {"\xe9\x80\xff\r\n", {"\xe9\x80\xff"}},
  };
  for (const SplitCase& c : cases) {
    LineList list;
    list.append("left over");
    list.assignSplit(c.bytes);
    EXPECT_EQ(LinesOf(list), c.lines) << "bytes: " << ::testing::PrintToString(c.bytes);

    std::string joined;
    for (const std::string& line : c.lines) joined += line + "\r\n";
    EXPECT_EQ(JoinLines(list), joined);
  }
}

// The line-end rules one byte at a time, to check the sixteen-byte scans against.
std::vector<std::string> ReferenceSplit(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < bytes.size() && bytes[i] != '\0') {
    std::string line;
    while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n' && bytes[i] != '\0') {
      line += bytes[i++];
    }
    lines.push_back(line);
    if (i < bytes.size() && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      i += 2;
    } else if (i < bytes.size() && bytes[i] != '\0') {
      ++i;
    }
  }
  return lines;
}

// Random texts of every line-end kind, of lines shorter and longer than a scan step,
// split one after another by one list, so each split reuses what the last one left.
TEST(LineListTest, SplitsRandomTextsLikeTheReferenceWhileReusingItsMemory) {
  TempDir dir;
  std::mt19937 random(20261210);
  const char alphabet[] = {'a', 'b', '\xe9', '\r', '\n', '\0'};
  LineList list;
  LineList loaded;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const size_t lines = random() % 12;
    const bool allCrLf = random() % 3 == 0;
    for (size_t k = 0; k < lines; ++k) {
      const size_t length = random() % 3 == 0 ? random() % 80 : random() % 6;
      for (size_t c = 0; c < length; ++c) bytes += char('a' + random() % 26);
      if (allCrLf) {
        bytes += "\r\n";
      } else if (random() % 8 == 0) {
        bytes += alphabet[random() % 6];  // now and then a NUL, or two lines run together
      } else {
        const char* ends[] = {"\r\n", "\n", "\r"};
        bytes += ends[random() % 3];
      }
    }
    const std::vector<std::string> expected = ReferenceSplit(bytes);
    list.assignSplit(bytes);
    ASSERT_EQ(LinesOf(list), expected) << ::testing::PrintToString(bytes);
    std::string joined;
    for (const std::string& line : expected) joined += line + "\r\n";
    ASSERT_EQ(JoinLines(list), joined) << ::testing::PrintToString(bytes);

    if (round % 50 == 0) {
      LoadLines(dir.write("f.txt", bytes), loaded);
      ASSERT_EQ(LinesOf(loaded), expected) << ::testing::PrintToString(bytes);
    }
  }
}

TEST(LineListTest, AppendedLinesJoinWithCrLfAfterEveryLine) {
  LineList list;
  EXPECT_EQ(JoinLines(list), "");
  list.append("one");
  list.append("");
  list.append("three");
  LineList copy;
  for (size_t i = 0; i < list.size(); ++i) copy.appendFrom(list, i);
  EXPECT_EQ(JoinLines(copy), "one\r\n\r\nthree\r\n");
  EXPECT_EQ(LinesOf(copy), (std::vector<std::string>{"one", "", "three"}));
  EXPECT_EQ(copy.lineAt(0), 0u);
  EXPECT_EQ(copy.lineAt(4), 0u);  // the LF of the first line
  EXPECT_EQ(copy.lineAt(5), 1u);
  EXPECT_EQ(copy.lineAt(7), 2u);
  EXPECT_EQ(copy.lineAt(14), 3u);
}

// Every offset, searched from every line before it: the line whose bytes hold it.
TEST(LineListTest, LineAtFindsTheLineOfEveryOffsetFromAnyEarlierLine) {
  LineList list;
  std::vector<size_t> lineOf;  // offset -> line
  for (size_t i = 0; i < 40; ++i) {
    const std::string line(i % 7, 'x');
    list.append(line);
    lineOf.insert(lineOf.end(), line.size() + 2, i);
  }
  for (size_t offset = 0; offset < lineOf.size(); ++offset) {
    for (size_t first = 0; first <= lineOf[offset]; ++first) {
      ASSERT_EQ(list.lineAt(offset, first), lineOf[offset]) << offset << " from " << first;
    }
  }
  EXPECT_EQ(list.lineAt(lineOf.size(), 3), list.size());
}

TEST(LoadLinesTest, ReadsTheFileAsLines) {
  TempDir dir;
  std::string path = dir.write("f.txt", "a\nb\rc\r\n");
  LineList list;
  LoadLines(path, list);
  EXPECT_EQ(LinesOf(list), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(LoadLinesTest, MissingFileRaisesCannotOpenAndKeepsTheList) {
  TempDir dir;
  LineList list;
  list.append("kept");
  const std::string path = dir / "missing.txt";
  try {
    LoadLines(path, list);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
  }
  EXPECT_EQ(LinesOf(list), std::vector<std::string>{"kept"});
}

TEST(SaveLinesTest, WritesTheJoinedLines) {
  TempDir dir;
  LineList list;
  list.assignSplit("a\nb");
  const std::string path = dir.write("f.txt", "old content that is longer");
  SaveLines(list, path);
  EXPECT_EQ(ReadFile(path), "a\r\nb\r\n");

  SaveLines(LineList(), path);
  EXPECT_TRUE(testing::Exists(path));
  EXPECT_EQ(ReadFile(path), "");
}

TEST(SaveLinesTest, RefusedTargetsRaiseCannotCreateAndStayAsTheyWere) {
  TempDir dir;
  LineList list;
  list.append("new");
  const std::string readOnly = dir.write("ro.txt", "old");
  ::chmod(readOnly.c_str(), 0444);
  const std::string directory = dir.mkdir("sub");
  const std::string noParent = dir / "missing/f.txt";
  for (const std::string& path : {readOnly, directory, noParent}) {
    try {
      SaveLines(list, path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
  }
  EXPECT_EQ(ReadFile(readOnly), "old");
}

TEST(FileSize64Test, GivesTheSizeOrMinusOne) {
  TempDir dir;
  EXPECT_EQ(FileSize64(dir.write("f", "12345")), 5);
  EXPECT_EQ(FileSize64(dir.write("e", "")), 0);
  EXPECT_EQ(FileSize64(dir / "missing"), -1);
  EXPECT_EQ(FileSize64(dir.mkdir("sub")), -1);
}

TEST(LooksLikeTextTest, NulBytesDecideByHowMuchTheyCutOff) {
  struct Case {
    std::string bytes;
    bool text;
  };
  const std::vector<Case> cases = {
      {"", true},                            // D = 0
      {Bytes("\0", 1), true},                // D = -1
      {Bytes("\0\0", 2), false},             // D = -2
      {Bytes("ab\0cdefgh\r\n", 11), false},  // NUL early on
      {Bytes("abc\r\n\0", 6), true},         // a single NUL right after a line end
      {Bytes("abc\n\0", 5), true},           // the lone LF grows by one
      {Bytes("abc\n\0x", 6), true},          // D = -1: the LF grew by one
      {Bytes("abc\r\n\0x", 7), false},       // D = -2
      {"a\nb\rc", true},                     // no NUL: D >= 0
  };
  TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.write("f.bin", c.bytes);
    LineList list;
    LoadLines(path, list);
    EXPECT_EQ(LooksLikeText(list, path), c.text) << ::testing::PrintToString(c.bytes);
  }
}

TEST(LooksLikeTextTest, MissingPathOrDirectoryPasses) {
  TempDir dir;
  LineList list;
  list.append("abc");
  EXPECT_TRUE(LooksLikeText(list, dir / "gone"));
  EXPECT_TRUE(LooksLikeText(LineList(), dir.path()));
}

TEST(UpperAnsiTest, UpperCasesUnderTheActiveCodePageKeepingTheLength) {
  const platform::CodePage& page = platform::ActiveCodePage();
  const std::string lower = page.fromUtf8("příliš žluťoučký kůň 1-2");
  const std::string upper = UpperAnsi(lower);
  EXPECT_EQ(upper.size(), lower.size());
  EXPECT_EQ(page.toUtf8(upper), "PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ 1-2");
  EXPECT_EQ(UpperAnsi(""), "");
}

}  // namespace
}  // namespace quorvel
