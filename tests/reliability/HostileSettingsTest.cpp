// quorvel-batch on settings files that no save of the program writes: binary bytes,
// 50 MB, a 1 MB value, a last line without an end, extension filters with quotes and
// control characters, directory fields with line breaks, invalid UTF-8 and thousands
// of bytes, a search text of 255 bytes 0xFF. Each gets a defined result or a clear
// message, and the settings file keeps every byte that no key owns.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace quorvel {
namespace {

using namespace std::string_literals;
using testing::Exists;
using testing::Launch;
using testing::NamesIn;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;
using testing::Results;

namespace fs = std::filesystem;

// Every GENERAL key after the ones a test writes itself, as a save appends them.
std::string KeysAfter(const std::string& programDir) {
  return "Search=\r\nReplace=\r\nRemoveMode=Off\r\nWorkDir=" + programDir +
         "\r\nSubdirs=Off\r\nExtensions=\r\nColumn=\r\nDelimiter=\r\nSYLK=Off\r\nTargetDir=" +
         programDir +
         "\r\nOverFiles=Off\r\nOverSource=Off\r\nCopyUnchanged=Off\r\nIgnoreReadOnly=Off\r\n"
         "NoSafety=Off\r\nCaseSensitive=Off\r\n";
}

// The keys a job written by the tests below leaves out, in the order a save adds them.
const std::string kAddedKeys =
    "RemoveMode=Off\r\nSubdirs=Off\r\nColumn=\r\nDelimiter=\r\nSYLK=Off\r\nOverFiles=Off\r\n"
    "OverSource=Off\r\nCopyUnchanged=Off\r\nIgnoreReadOnly=Off\r\nNoSafety=Off\r\n"
    "CaseSensitive=Off\r\n";

std::string Junk(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = char(seed >> 24);
  }
  return bytes;
}

class HostileSettings : public ::testing::Test {
 protected:
  HostileSettings() {
    for (const char* name : {"a.txt", "b.htm", "c d.txt", "e.t;xt", "noext", "q.a\"b"}) {
      t.dir.write("work/"s + name, "hello\n");
    }
  }

  // Search hello, replace by bye, into out/.
  std::string plainKeys() const {
    return "Search=hello\r\nReplace=bye\r\nWorkDir=" + work + "\r\nTargetDir=" + out + "\r\n";
  }

  std::string job(const std::string& content) { return t.dir.write("jobs/job.ini", content); }

  ProgramTree t;
  const std::string work = t.dir / "work";
  const std::string out = t.dir / "out";
};

TEST_F(HostileSettings, ABinaryFileKeepsItsBytesAndGetsTheKeysAdded) {
  {
    SCOPED_TRACE("nothing but binary bytes: the job runs with empty options");
    const std::string junk = Junk(64 * 1024, 1) + "\n";
    ASSERT_EQ(junk.find("GENERAL"), std::string::npos);
    const std::string settings = job(junk);
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    // The empty working and target directories are the program's own, which holds
    // only the program: it does not look like text and nothing is written.
    EXPECT_EQ(outcome.out, Results(1, 0, 0, 0));
    EXPECT_EQ(ReadFile(settings), junk + "[GENERAL]\r\n" + KeysAfter(t.programDir));
    EXPECT_EQ(NamesIn(t.dir / "bin"), std::vector<std::string>{"quorvel-batch"});
  }
  {
    SCOPED_TRACE("binary bytes around a GENERAL section");
    const std::string before = Junk(20000, 2) + "\n[GENERAL]\r\n" + plainKeys() +
                               "Extensions=txt\r\n";
    const std::string after = "[Junk]\n" + Junk(20000, 3);
    ASSERT_EQ((before + after).find("GENERAL", before.size()), std::string::npos);
    const std::string settings = job(before + after);
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Results(2, 2, 2, 2));
    EXPECT_EQ(ReadFile(out + "/a.txt"), "bye\r\n");
    EXPECT_EQ(ReadFile(settings), before + kAddedKeys + after);
  }
}

// Every value is read by scanning the whole file, so this is the slow case; the file
// already holds every key with its final value but one, so it is rewritten once.
TEST_F(HostileSettings, AHugeFileIsReadAndRewrittenWhole) {
  std::string filler = "[Filler]\r\n";
  const std::string tail(1000, 'f');
  while (filler.size() < 50u * 1000 * 1000) {
    filler += "Fill" + std::to_string(filler.size()) + "=" + tail + "\r\n";
  }
  const std::string head = filler + "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nRemoveMode=Off\r\n";
  const std::string rest = "\r\nSubdirs=Off\r\nExtensions=txt\r\nColumn=\r\nDelimiter=\r\nSYLK=Off\r\n"
                           "TargetDir=" + out +
                           "\r\nOverFiles=Off\r\nOverSource=Off\r\nCopyUnchanged=Off\r\n"
                           "IgnoreReadOnly=Off\r\nNoSafety=Off\r\nCaseSensitive=Off\r\n";
  // The run makes the relative field absolute.
  const std::string settings = job(head + "WorkDir=\"../work\"" + rest);
  Outcome outcome = t.run(settings);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, Results(2, 2, 2, 2));
  // Compared whole, not printed: a diff of two 50 MB texts would not end.
  const std::string stored = ReadFile(settings);
  EXPECT_TRUE(stored == head + "WorkDir=" + t.programDir + "../work" + rest)
      << "the stored file differs; its size is " << stored.size();
  EXPECT_EQ(NamesIn(t.dir / "jobs"), std::vector<std::string>{"job.ini"});
}

TEST_F(HostileSettings, AOneMegabyteValueIsCutAsATextAndKeptElsewhere) {
  const std::string big = "hello" + std::string(1024 * 1024, 'x');
  const std::string mine = "[Mine]\r\nBig=" + big + "\r\n";
  const std::string settings = job("[GENERAL]\r\nSearch=" + big + "\r\nComment=" + big +
                                   "\r\nReplace=bye\r\nWorkDir=" + work + "\r\nTargetDir=" + out +
                                   "\r\nExtensions=txt\r\n" + mine);
  Outcome outcome = t.run(settings);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  // The search text is its first 255 bytes, which no file holds.
  EXPECT_EQ(outcome.out, Results(2, 2, 0, 0));
  EXPECT_FALSE(Exists(out + "/a.txt"));
  EXPECT_EQ(ReadFile(settings), "[GENERAL]\r\nSearch=" + big.substr(0, 255) + "\r\nComment=" +
                                     big + "\r\nReplace=bye\r\nWorkDir=" + work +
                                     "\r\nTargetDir=" + out + "\r\nExtensions=txt\r\n" +
                                     kAddedKeys + mine);
}

TEST_F(HostileSettings, ALastLineWithoutAnEndIsReadAndContinuedOnItsOwnLine) {
  struct Case {
    const char* name;
    std::string content;
    std::string stored;
    std::string results;
  };
  const std::string keys = "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nExtensions=txt\r\n";
  const std::vector<Case> cases = {
      {"a value that stays", keys + "WorkDir=" + work + "\r\nTargetDir=" + out,
       keys + "WorkDir=" + work + "\r\nTargetDir=" + out + "\r\n" + kAddedKeys,
       Results(2, 2, 2, 2)},
      {"a value that the run rewrites", keys + "TargetDir=" + out + "\r\nWorkDir=\"../work\"",
       keys + "TargetDir=" + out + "\r\nWorkDir=" + t.programDir + "../work\r\n" + kAddedKeys,
       Results(2, 2, 2, 2)},
      {"the section line", "[GENERAL]", "[GENERAL]\r\n" + KeysAfter(t.programDir),
       Results(1, 0, 0, 0)},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    fs::remove_all(out);
    const std::string settings = job(row.content);
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, row.results);
    EXPECT_EQ(ReadFile(settings), row.stored);
  }
}

TEST_F(HostileSettings, ExtensionFiltersWithQuotesAndControlCharacters) {
  struct Case {
    std::string value;  // as it stands in the file
    std::set<std::string> written;
    int listed;
  };
  const std::set<std::string> txt = {"a.txt", "c d.txt"};
  const std::set<std::string> all = {"a.txt", "b.htm", "c d.txt", "e.t;xt", "noext", "q.a\"b"};
  const std::vector<Case> cases = {
      {"\"txt\"", txt, 2},                              // the reader drops the quotes
      {"\"\"txt\";htm\"", {"a.txt", "b.htm", "c d.txt"}, 3},  // quotes left for the filter
      {"x;\"t;xt\"", {"e.t;xt"}, 1},                    // a quoted semicolon
      {"txt;\"htm", {"a.txt", "b.htm", "c d.txt"}, 3},  // a quote that never closes
      {"txt;\"a\"\"b\"", {"a.txt", "c d.txt", "q.a\"b"}, 3},  // a doubled quote
      {"\"\"", all, 6},                                 // empty once the reader is done
      {"txt\x01htm", {"a.txt", "b.htm", "c d.txt"}, 3},  // control characters separate
      {"txt\thtm", {"a.txt", "b.htm", "c d.txt"}, 3},
      {"\x1btxt\x7f", {}, 0},                           // DEL is part of the name
      {"\x01\x02\x1f", all, 6},                         // nothing but blanks
      {"txt;../*;/etc;*/..", txt, 2},                   // no item leaves the directory
      {";", {"noext"}, 2},                              // two empty items: "*." twice
      {"*", all, 6},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(::testing::PrintToString(row.value));
    fs::remove_all(out);
    const std::string settings =
        job("[GENERAL]\r\n" + plainKeys() + "OverFiles=On\r\nExtensions=" + row.value + "\r\n");
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Results(row.listed, row.listed, row.listed, row.listed));
    const std::vector<std::string> names = NamesIn(out);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), row.written);
    // The value saved is the one read, so its bytes stay as they were, quotes and all.
    EXPECT_NE(ReadFile(settings).find("\r\nExtensions=" + row.value + "\r\n"),
              std::string::npos);
  }
}

// A line feed or a lone carriage return ends the value, so what follows it is a line of
// its own that no key owns.
TEST_F(HostileSettings, DirectoryFieldsWithLineBreaks) {
  const std::string elsewhere = t.dir / "elsewhere";
  const std::string common = "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nRemoveMode=Off\r\n";
  const std::string middle =
      "Subdirs=Off\r\nExtensions=txt\r\nColumn=\r\nDelimiter=\r\nSYLK=Off\r\n";
  for (const std::string lineBreak : {"\n", "\r"}) {
    SCOPED_TRACE(lineBreak == "\n" ? "line feeds" : "carriage returns");
    fs::remove_all(out);
    const std::string content = common + "WorkDir=" + work + lineBreak + elsewhere + "\r\n" +
                                middle + "TargetDir=" + out + lineBreak + elsewhere + "\r\n";
    const std::string settings = job(content);
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Results(2, 2, 2, 2));
    EXPECT_EQ(ReadFile(out + "/a.txt"), "bye\r\n");
    EXPECT_FALSE(Exists(elsewhere));
    // The missing keys follow the last key line; the stray line stays where it was.
    const size_t at = content.size() - elsewhere.size() - 2;
    EXPECT_EQ(ReadFile(settings), content.substr(0, at) +
                                       kAddedKeys.substr(kAddedKeys.find("OverFiles")) +
                                       content.substr(at));
  }
}

// Names are bytes: invalid UTF-8 (a stray continuation byte, a cut sequence, an
// overlong slash) is listed, written and stored as it is, under either code page.
TEST_F(HostileSettings, DirectoriesWithInvalidUtf8AreUsedByteForByte) {
  const std::string source = t.dir / "w\xff\xc3(";
  const std::string target = t.dir / "o\xfe\xed";
  t.dir.write("w\xff\xc3(/f\x80.txt", "hello\n");
  t.dir.write("w\xff\xc3(/s\xc0\xaf/g.txt", "hello\n");
  for (const char* codePage : {"windows-1250", "UTF-8"}) {
    SCOPED_TRACE(codePage);
    fs::remove_all(target);
    const std::string settings =
        job("[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nSubdirs=On\r\nWorkDir=" + source +
            "\r\nTargetDir=" + target + "\r\n");
    Launch launch({settings});
    launch.codePage = codePage;
    Outcome outcome = t.run(launch);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Results(2, 2, 2, 2));
    EXPECT_EQ(ReadFile(target + "/f\x80.txt"), "bye\r\n");
    EXPECT_EQ(ReadFile(target + "/s\xc0\xaf/g.txt"), "bye\r\n");
    const std::string stored = ReadFile(settings);
    EXPECT_NE(stored.find("\r\nWorkDir=" + source + "\r\n"), std::string::npos);
    EXPECT_NE(stored.find("\r\nTargetDir=" + target + "\r\n"), std::string::npos);
  }
}

// A path of exactly length bytes below base, made of levels of at most 200 bytes, one
// of which ends at byte boundary.
std::string LongPath(std::string path, size_t boundary, size_t length) {
  for (size_t goal : {boundary, length}) {
    while (path.size() < goal) {
      size_t room = goal - path.size() - 1;
      size_t level = room > 200 && room - 200 < 2 ? 198 : std::min<size_t>(room, 200);
      path += "/" + std::string(level, 'd');
    }
  }
  return path;
}

std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  }
  return files;
}

// A path is never cut: its first bytes name another directory, one the user never
// chose. A path the system cannot use gives no files or the target message instead.
TEST_F(HostileSettings, LongDirectoryFieldsAreNeverCutIntoAnotherPath) {
  const size_t kept = 2047;  // what the settings once kept of a path
  const std::string longWork = LongPath(t.dir / "deep", kept, 5000);
  const std::string prefix = longWork.substr(0, kept);
  fs::create_directories(prefix);
  const std::string victim = t.dir.write(prefix.substr(t.dir.path().size() + 1) + "/victim.txt",
                                         "hello, never asked to change\n");
  {
    SCOPED_TRACE("a working directory of 5000 bytes, written into");
    const std::string content = "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nWorkDir=" + longWork +
                                "\r\nOverSource=On\r\nOverFiles=On\r\n";
    const std::string settings = job(content);
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Results(0, 0, 0, 0));
    EXPECT_EQ(ReadFile(victim), "hello, never asked to change\n");
    EXPECT_NE(ReadFile(settings).find("\r\nWorkDir=" + longWork + "\r\n"), std::string::npos);
  }
  {
    SCOPED_TRACE("a target directory of 5000 bytes");
    const std::string longTarget = LongPath(t.dir / "deep", kept, 5000);
    const std::string settings =
        job("[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nExtensions=txt\r\nWorkDir=" + work +
            "\r\nTargetDir=" + longTarget + "\r\n");
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "Information: Nemohu vytvořit cílový adresář.\n");
    EXPECT_EQ(FilesBelow(t.dir / "deep"), std::vector<std::string>{victim});
    EXPECT_NE(ReadFile(settings).find("\r\nTargetDir=" + longTarget + "\r\n"),
              std::string::npos);
  }
  {
    SCOPED_TRACE("a working directory of 3000 bytes that exists");
    const std::string existing = LongPath(t.dir / "deep", kept, 3000);
    fs::create_directories(existing);
    t.dir.write(existing.substr(t.dir.path().size() + 1) + "/mine.txt", "hello\n");
    const std::string settings =
        job("[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nWorkDir=" + existing +
            "\r\nTargetDir=" + out + "\r\n");
    Outcome outcome = t.run(settings);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, Results(1, 1, 1, 1));
    EXPECT_EQ(NamesIn(out), std::vector<std::string>{"mine.txt"});
    EXPECT_EQ(ReadFile(victim), "hello, never asked to change\n");
  }
}

// 0xFF is a letter without a capital in windows-1250 and no character at all in
// UTF-8; either way 255 of them are a search text like any other.
TEST_F(HostileSettings, ASearchTextOf255BytesFF) {
  const std::string ff255(255, '\xff');
  t.dir.write("ff/f.txt", std::string(600, '\xff') + "\n\xff\xff\n");
  for (const char* codePage : {"windows-1250", "UTF-8"}) {
    for (size_t length : {255u, 300u}) {  // a longer one is cut to 255 when read
      SCOPED_TRACE(std::string(codePage) + ", " + std::to_string(length) + " bytes");
      fs::remove_all(out);
      const std::string settings =
          job("[GENERAL]\r\nSearch=" + std::string(length, '\xff') + "\r\nReplace=X\r\nWorkDir=" +
              t.dir / "ff" + "\r\nTargetDir=" + out + "\r\n");
      Launch launch({settings});
      launch.codePage = codePage;
      Outcome outcome = t.run(launch);
      EXPECT_EQ(outcome.status, 0) << outcome.err;
      // 600 bytes: one at the start, again at the second byte, then 90 are left.
      EXPECT_EQ(outcome.out, Results(1, 2, 2, 1));
      EXPECT_EQ(ReadFile(out + "/f.txt"), "XX" + std::string(90, '\xff') + "\r\n\xff\xff\r\n");
      EXPECT_NE(ReadFile(settings).find("\r\nSearch=" + ff255 + "\r\n"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace quorvel
