#include "platform/ProfileFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace quorvel::platform {
namespace {

using namespace std::string_literals;
using testing::NamesIn;
using testing::ReadFile;
using testing::TempDir;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// A file as a person might write it: comments, odd spacing, quotes, repeated names,
// a key before any section, and a last line without its line end.
const std::string kHandWritten =
    "Orphan=before any section\n"
    "; comment line\n"
    "[general]\r\n"
    "  Search   =   old text   \r\n"
    "replace=\"  quoted  \"\n"
    "Single='x'\n"
    "Mismatched=\"x'\n"
    "Lone=\"\n"
    "Empty=\n"
    "WithEquals=a=b\n"
    "Tabbed\t=\tvalue\t\n"
    ";Commented=no\n"
    "#Hashed=no\n"
    "NoEquals\n"
    "Twice=first\n"
    "Twice=second\n"
    "[ Other ]\n"
    "Search=other section\n"
    "[GENERAL]\n"
    "Later=in a repeated section, never read\n"
    "[Tail]\n"
    "Last=no line end";

struct ReadCase {
  const char* section;
  const char* key;
  std::string expected;
};

TEST(ReadProfileString, FindsValuesOfAHandWrittenFile) {
  TempDir dir;
  std::string path = dir.write("s.ini", kHandWritten);
  const std::vector<ReadCase> cases = {
      {"GENERAL", "Search", "old text"},
      {"General", "SEARCH", "old text"},
      {"GENERAL", "Replace", "  quoted  "},
      {"GENERAL", "Single", "x"},
      {"GENERAL", "Mismatched", "\"x'"},
      {"GENERAL", "Lone", "\""},
      {"GENERAL", "Empty", ""},
      {"GENERAL", "WithEquals", "a=b"},
      {"GENERAL", "Tabbed", "value"},
      {"GENERAL", "Twice", "first"},
      {"Other", "Search", "other section"},
      {"Tail", "Last", "no line end"},
      {"GENERAL", "Later", "default"},
      {"GENERAL", "Last", "default"},
      {"GENERAL", ";Commented", "default"},
      {"GENERAL", "#Hashed", "default"},
      {"GENERAL", "NoEquals", "default"},
      {"GENERAL", "Orphan", "default"},
      {"GENERAL", "Missing", "default"},
      {"Missing", "Search", "default"},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(ReadProfileString(path, c.section, c.key, "default"), c.expected)
        << c.section << "/" << c.key;
  }
}

TEST(ReadProfileString, MissingFileOrDirectoryGivesTheDefault) {
  TempDir dir;
  EXPECT_EQ(ReadProfileString(dir / "none.ini", "GENERAL", "Search", "d"), "d");
  EXPECT_EQ(ReadProfileString(dir.path(), "GENERAL", "Search", "d"), "d");
}

TEST(ReadProfileString, YieldsAtMost2047BytesOfAHugeValue) {
  TempDir dir;
  std::string path = dir.write("s.ini", "[GENERAL]\r\nSearch=\"" + std::string(1 << 20, 'v') + "\"\r\n");
  EXPECT_EQ(ReadProfileString(path, "GENERAL", "Search", ""), std::string(kProfileReadLimit, 'v'));
}

TEST(ReadProfileString, SurvivesBinaryContentAndAByteOrderMark) {
  TempDir dir;
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(char(i * 37 % 256));
  std::string path =
      dir.write("s.ini", "\xEF\xBB\xBF[GENERAL]\nKey=found\n" + junk + "\n[Other]\nKey=other\n");
  EXPECT_EQ(ReadProfileString(path, "GENERAL", "Key", "d"), "found");
  EXPECT_EQ(ReadProfileString(path, "Other", "Key", "d"), "other");
}

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

// Every byte that the written key does not own stays as it was.
TEST(WriteProfileString, ChangesOnlyTheBytesOfItsKey) {
  const std::vector<WriteCase> cases = {
      {"value replaced in place, odd spacing kept", "; c\n[GENERAL]\n  Search   =   old   \nX=1\n",
       "GENERAL", "search", "new", "; c\n[GENERAL]\n  Search   =   new   \nX=1\n"},
      {"CR LF file", "[GENERAL]\r\nSearch=old\r\n[B]\r\nK=v\r\n", "general", "Search", "",
       "[GENERAL]\r\nSearch=\r\n[B]\r\nK=v\r\n"},
      {"empty value filled", "[GENERAL]\nSearch=\n", "GENERAL", "Search", "x",
       "[GENERAL]\nSearch=x\n"},
      {"new key after the section's last key, before blanks and comments",
       "[GENERAL]\nA=1\n\n; about B\n[B]\nK=v\n", "GENERAL", "New", "n",
       "[GENERAL]\nA=1\nNew=n\r\n\n; about B\n[B]\nK=v\n"},
      {"new key in a section without keys", "[GENERAL]\r\n", "GENERAL", "Search", "s",
       "[GENERAL]\r\nSearch=s\r\n"},
      {"new key after a header without a line end", "[GENERAL]", "GENERAL", "Search", "s",
       "[GENERAL]\r\nSearch=s\r\n"},
      {"new key after a last line without a line end", "[GENERAL]\nA=1", "GENERAL", "B", "2",
       "[GENERAL]\nA=1\r\nB=2\r\n"},
      {"missing section at the end", "[A]\nK=v\n", "GENERAL", "Search", "s",
       "[A]\nK=v\n[GENERAL]\r\nSearch=s\r\n"},
      {"missing section after a last line without a line end", "[A]\nK=v", "GENERAL", "S", "s",
       "[A]\nK=v\r\n[GENERAL]\r\nS=s\r\n"},
      {"a repeated section is not the section: the key goes into the first",
       "[G]\nA=1\n[H]\n[g]\nB=old\n", "G", "B", "new", "[G]\nA=1\nB=new\r\n[H]\n[g]\nB=old\n"},
      {"a repeated section keeps its copy of the key", "[G]\nB=1\n[g]\nB=2\n", "G", "B", "3",
       "[G]\nB=3\n[g]\nB=2\n"},
      {"CR-only file: value in place", "[G]\rA=1\rB=2\r", "G", "B", "new",
       "[G]\rA=1\rB=new\r"},
      {"CR-only file: new key after the last key", "[G]\rA=1\r\r[H]\r", "G", "B", "2",
       "[G]\rA=1\rB=2\r\n\r[H]\r"},
      {"CR-only file ending in CR: new section", "[H]\rK=v\r", "G", "B", "2",
       "[H]\rK=v\r[G]\r\nB=2\r\n"},
      {"lone CR inside a line ends the line", "[G]\r\nA=1\rB=2\r\n", "G", "B", "3",
       "[G]\r\nA=1\rB=3\r\n"},
      {"CR CR LF: the key before the empty line", "[G]\r\r\nA=1\r\r\n", "G", "A", "2",
       "[G]\r\r\nA=2\r\r\n"},
      {"blank at an end: written in double quotes", "[G]\nA=old\n", "G", "A", "proj ",
       "[G]\nA=\"proj \"\n"},
      {"tab at the start", "[G]\n", "G", "A", "\tx", "[G]\nA=\"\tx\"\r\n"},
      {"enclosed in double quotes", "[G]\n", "G", "A", "\"x\"", "[G]\nA=\"\"x\"\"\r\n"},
      {"enclosed in single quotes", "[G]\n", "G", "A", "'x'", "[G]\nA=\"'x'\"\r\n"},
      {"blanks only", "[G]\n", "G", "A", "  ", "[G]\nA=\"  \"\r\n"},
      {"quotes inside or on one end only: as they are", "[G]\n", "G", "A", "\"a\" b",
       "[G]\nA=\"a\" b\r\n"},
      {"one quote alone", "[G]\n", "G", "A", "\"", "[G]\nA=\"\r\n"},
      {"a value that reads back as written keeps its hand-made quotes",
       "[G]\nA= ' x' \nB=\"y\"\n", "G", "A", " x", "[G]\nA= ' x' \nB=\"y\"\n"},
      {"byte-order mark kept", "\xEF\xBB\xBF[GENERAL]\nA=1\n", "GENERAL", "A", "2",
       "\xEF\xBB\xBF[GENERAL]\nA=2\n"},
      {"comment lookalike is not the key", "[GENERAL]\n;A=1\n", "GENERAL", "A", "2",
       "[GENERAL]\nA=2\r\n;A=1\n"},
  };
  for (const WriteCase& c : cases) {
    TempDir dir;
    std::string path = dir.write("s.ini", c.before);
    EXPECT_TRUE(WriteProfileString(path, c.section, c.key, c.value)) << c.name;
    EXPECT_EQ(ReadFile(path), c.after) << c.name;
    EXPECT_EQ(ReadProfileString(path, c.section, c.key, "default"), c.value) << c.name;
  }
}

TEST(WriteProfileString, CreatesAMissingFile) {
  TempDir dir;
  std::string path = dir / "new.ini";
  ASSERT_TRUE(WriteProfileString(path, "GENERAL", "Search", "x"));
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nSearch=x\r\n");
}

TEST(FindProfileValue, ANulByteEndsTheValue) {
  const std::string content = "[S]\r\nk= \"ab\" \0cd\r\nm=x\0\r\n"s;
  EXPECT_EQ(FindProfileValue(content, "S", "k"), "ab");
  EXPECT_EQ(FindProfileValue(content, "S", "m"), "x");
}

TEST(WriteProfileString, WritesAHiddenSettingsFile) {
  TempDir dir;
  std::string path = dir.write(".job.ini", "[GENERAL]\r\n");
  ASSERT_TRUE(WriteProfileString(path, "GENERAL", "Search", "x"));
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nSearch=x\r\n");
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{".job.ini"});
}

TEST(WriteProfileString, KeepsTheModeAndLeavesNoTemporaryFile) {
  TempDir dir;
  std::string path = dir.write("s.ini", "[GENERAL]\n");
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteProfileString(path, "GENERAL", "A", "1"));
  ASSERT_TRUE(WriteProfileString(path, "GENERAL", "A", "2"));
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"s.ini"});
}

TEST(WriteProfileString, RefusesWhatItMustNotWrite) {
  TempDir dir;
  const std::string content = "[GENERAL]\nA=1\n";
  std::string readOnly = dir.write("ro.ini", content);
  ::chmod(readOnly.c_str(), 0444);
  std::string plain = dir.write("plain.ini", content);
  dir.mkdir("folder.ini");

  EXPECT_FALSE(WriteProfileString(readOnly, "GENERAL", "A", "2"));
  EXPECT_FALSE(WriteProfileString(readOnly, "GENERAL", "A", "1")) << "same value, still refused";
  EXPECT_FALSE(WriteProfileString(dir / "folder.ini", "GENERAL", "A", "2"));
  EXPECT_FALSE(WriteProfileString(dir / "missing/s.ini", "GENERAL", "A", "2"));
  // A line break would add lines of its own: another key, or a whole section.
  EXPECT_FALSE(WriteProfileString(plain, "GENERAL", "A", "x\r\n[DIALOGS]"));
  EXPECT_FALSE(WriteProfileString(plain, "GENERAL", "A\nB", "x"));
  EXPECT_FALSE(WriteProfileString(plain, "GEN]ERAL", "A", "x"));
  EXPECT_FALSE(WriteProfileString(plain, " GENERAL", "A", "x")) << "could not be read back";
  EXPECT_FALSE(WriteProfileString(plain, "GENERAL", "A=B", "x"));
  EXPECT_FALSE(WriteProfileString(plain, "GENERAL", "", "x"));

  EXPECT_EQ(ReadFile(readOnly), content);
  EXPECT_EQ(ReadFile(plain), content);
  EXPECT_FALSE(testing::Exists(dir / "missing"));
}

// A write that runs out of room (simulated with the file-size limit) fails and leaves
// the old file whole, with no temporary file beside it.
TEST(WriteProfileString, FullDiskLeavesTheOldFile) {
  TempDir dir;
  const std::string content = "[GENERAL]\r\nSearch=old\r\n";
  std::string path = dir.write("s.ini", content);

  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool written = WriteProfileString(path, "GENERAL", "Search", std::string(100000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(path), content);
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"s.ini"});
}

TEST(WriteProfileString, HandlesAHugeFileAndValue) {
  TempDir dir;
  std::string filler;
  for (int i = 0; i < 200000; ++i) filler += "K" + std::to_string(i) + "=value\n";
  std::string path = dir.write("s.ini", "[A]\n" + filler + "[GENERAL]\nSearch=old\n");
  std::string big(100000, 'b');
  ASSERT_TRUE(WriteProfileString(path, "GENERAL", "Search", big));
  EXPECT_EQ(ReadFile(path), "[A]\n" + filler + "[GENERAL]\nSearch=" + big + "\n");
  EXPECT_EQ(ReadProfileString(path, "A", "K199999", ""), "value");
}

}  // namespace
}  // namespace quorvel::platform
