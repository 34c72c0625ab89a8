// A full disk in the middle of a quorvel-batch job, simulated with a file-size limit:
// the files done before stay done, the file being written keeps its old bytes, nothing
// after it is touched, no temporary file is left, and the job ends with the message.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace quorvel {
namespace {

using testing::Exists;
using testing::Launch;
using testing::NamesIn;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;
using testing::Results;

constexpr rlim_t kLimit = 64 * 1024;
constexpr int kSmallLines = 10;
constexpr int kBigLines = 2000;  // about 120 KB, beyond the limit

std::string Lines(const std::string& text, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += text + " " + std::to_string(i) + "\n";
  return bytes;
}

// a.txt fits under the limit, b.txt does not, c.txt would but is never reached.
class FullDisk : public ::testing::Test {
 protected:
  std::string job(const std::string& options) {
    return t.dir.write("jobs/job.ini", "[GENERAL]\r\nWorkDir=" + t.dir.path() + "/work\r\n" +
                                           "TargetDir=" + t.dir.path() + "/out\r\n" + options);
  }

  Outcome run(const std::string& settings) {
    Launch launch{{settings}};
    launch.fileSizeLimit = kLimit;
    return t.run(launch);
  }

  ProgramTree t;
  const std::string a = t.dir.write("work/a.txt", Lines("hello a", kSmallLines));
  const std::string b =
      t.dir.write("work/b.txt", Lines("hello b, long enough to outgrow the limit", kBigLines));
  const std::string c = t.dir.write("work/c.txt", Lines("hello c", 3));
  const std::string aBefore = ReadFile(a), bBefore = ReadFile(b), cBefore = ReadFile(c);
};

std::string Saved(std::string bytes, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = bytes.find(from, at)) != std::string::npos; at += to.size()) {
    bytes.replace(at, from.size(), to);
  }
  for (size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; at += 2) {
    bytes.replace(at, 1, "\r\n");
  }
  return bytes;
}

TEST_F(FullDisk, WritingAChangedFileOverItsSourceKeepsItsOldBytes) {
  Outcome outcome = run(job("Search=hello\r\nReplace=bye\r\nOverSource=On\r\nOverFiles=On\r\n"));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Quorvel: Stream write error.\n");
  EXPECT_EQ(outcome.out, Results(3, kSmallLines + kBigLines, kSmallLines + kBigLines, 2));
  EXPECT_EQ(ReadFile(a), Saved(aBefore, "hello", "bye"));
  EXPECT_EQ(ReadFile(b), bBefore);
  EXPECT_EQ(ReadFile(c), cBefore);
  EXPECT_EQ(NamesIn(t.dir / "work"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_FALSE(Exists(t.dir / "out"));
}

TEST_F(FullDisk, WritesAndCopiesToATargetKeepAnOldTargetOrLeaveNone) {
  struct Case {
    const char* name;
    std::string options;
    bool oldTarget;  // out/b.txt exists before the job
    std::string aTarget;
    int hits;
    int changed;
  };
  const std::vector<Case> cases = {
      {"changed, over an old target", "Search=hello\r\nReplace=bye\r\nOverFiles=On\r\n", true,
       Saved(aBefore, "hello", "bye"), kSmallLines + kBigLines, 2},
      {"changed, new target", "Search=hello\r\nReplace=bye\r\n", false,
       Saved(aBefore, "hello", "bye"), kSmallLines + kBigLines, 2},
      {"unchanged copy, over an old target",
       "Search=absent\r\nCopyUnchanged=On\r\nOverFiles=On\r\n", true, aBefore, 0, 0},
      {"unchanged copy, new target", "Search=absent\r\nCopyUnchanged=On\r\n", false, aBefore, 0,
       0},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(t.dir / "out");
    if (row.oldTarget) t.dir.write("out/b.txt", "old target\n");
    Outcome outcome = run(job(row.options));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "Quorvel: Stream write error.\n");
    EXPECT_EQ(outcome.out, Results(3, kSmallLines + kBigLines, row.hits, row.changed));
    EXPECT_EQ(ReadFile(t.dir / "out/a.txt"), row.aTarget);
    if (row.oldTarget) {
      EXPECT_EQ(ReadFile(t.dir / "out/b.txt"), "old target\n");
      EXPECT_EQ(NamesIn(t.dir / "out"), (std::vector<std::string>{"a.txt", "b.txt"}));
    } else {
      EXPECT_EQ(NamesIn(t.dir / "out"), std::vector<std::string>{"a.txt"});
    }
    EXPECT_EQ(ReadFile(a), aBefore);
    EXPECT_EQ(ReadFile(b), bBefore);
    EXPECT_EQ(ReadFile(c), cBefore);
  }
}

// The save before the list is built fails: the job touches no file at all.
TEST_F(FullDisk, SavingTheSettingsFileKeepsItWholeAndTouchesNoFile) {
  std::string notes = "[Notes]\r\n";
  while (notes.size() < 2 * kLimit) notes += "Line" + std::to_string(notes.size()) + "=kept\r\n";
  // Every key but the last is there already, so the save's first write is that one.
  const std::string settings = job(
      "Search=hello\r\nReplace=bye\r\nRemoveMode=Off\r\nSubdirs=Off\r\nExtensions=\r\n"
      "Column=\r\nDelimiter=\r\nSYLK=Off\r\nOverFiles=On\r\nOverSource=Off\r\n"
      "CopyUnchanged=Off\r\nIgnoreReadOnly=Off\r\nNoSafety=Off\r\n" + notes);
  const std::string before = ReadFile(settings);

  Outcome outcome = run(settings);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Quorvel: Unable to write to " + settings + ".\n");
  EXPECT_EQ(outcome.out, "") << "the job ended before its list was built";
  EXPECT_EQ(ReadFile(settings), before);
  EXPECT_EQ(NamesIn(t.dir / "jobs"), std::vector<std::string>{"job.ini"});
  EXPECT_EQ(ReadFile(a), aBefore);
  EXPECT_EQ(ReadFile(b), bBefore);
  EXPECT_FALSE(Exists(t.dir / "out"));
}

// A settings file that is missing is never created by the batch runner, so the full
// disk is never reached: a clear refusal, and nothing half-made left behind.
TEST_F(FullDisk, AMissingSettingsFileIsRefusedWithoutAWrite) {
  t.dir.mkdir("jobs");
  Launch launch{{t.dir / "jobs/new.ini"}};
  launch.fileSizeLimit = 5;  // less than "[GENERAL]" CR LF
  Outcome outcome = t.run(launch);
  EXPECT_EQ(outcome.status, 66) << outcome.err;
  // Standard error is a file under the same limit, so only the start of the line is there.
  EXPECT_EQ(outcome.err, std::string("quorvel-batch: ").substr(0, 5));
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(NamesIn(t.dir / "jobs"), std::vector<std::string>{});
  EXPECT_EQ(NamesIn(t.dir / "bin"), std::vector<std::string>{"quorvel-batch"});
  EXPECT_EQ(ReadFile(a), aBefore);
}

}  // namespace
}  // namespace quorvel
