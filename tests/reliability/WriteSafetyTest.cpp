// What another program, or a hostile tree, does while a run works: a writer holding a
// file open, a file changed, saved anew, deleted or swapped for a link between its read
// and its write, links in the target tree, a directory swapped for a link after the
// listing, and a huge binary file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ReplaceRun.h"
#include "platform/Error.h"
#include "platform/FileTransaction.h"
#include "support/ProgramRun.h"
#include "support/RecordingHost.h"
#include "support/RunSandbox.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;

// The run's sandbox with a file outside both trees, overwriting existing targets.
struct Tree : testing::RunSandbox {
  std::string outside = tmp.write("outside/keep.txt", "x outside\n");

  Tree() { host.options.OverFiles = true; }
};

// The action of a test between a file's read and its write, run once.
std::function<void(const std::string&)> g_between;

void RunBetween(platform::TransactionPoint point, const std::string& path) {
  if (point != platform::TransactionPoint::Staged || !g_between) return;
  auto action = std::move(g_between);
  g_between = nullptr;
  action(path);
}

struct Between {
  explicit Between(std::function<void(const std::string&)> action) {
    g_between = std::move(action);
    platform::SetTransactionHook(RunBetween);
  }
  ~Between() {
    platform::SetTransactionHook(nullptr);
    g_between = nullptr;
  }
};

std::string ErrorOf(Tree& t) {
  try {
    t.run();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

// Writing into the sources, whatever another program did to the file meanwhile is what
// the file holds afterwards, and the run ends naming it; nothing outside changes.
TEST(ChangedWhileProcessed, IsNeverWrittenOverAndEndsTheRun) {
  struct Case {
    const char* name;
    std::function<void(const std::string& file, const std::string& outside)> change;
    std::function<void(const std::string& file)> check;
  };
  const std::vector<Case> cases = {
      {"appended to",
       [](const std::string& file, const std::string&) {
         std::FILE* f = std::fopen(file.c_str(), "a");
         std::fputs("later line\n", f);
         std::fclose(f);
       },
       [](const std::string& file) { EXPECT_EQ(ReadFile(file), "a x\nlater line\n"); }},
      {"saved anew",
       [](const std::string& file, const std::string&) {
         const std::string fresh = file + ".new";
         std::FILE* f = std::fopen(fresh.c_str(), "w");
         std::fputs("the user's edit\n", f);
         std::fclose(f);
         fs::rename(fresh, file);
       },
       [](const std::string& file) { EXPECT_EQ(ReadFile(file), "the user's edit\n"); }},
      {"deleted", [](const std::string& file, const std::string&) { fs::remove(file); },
       [](const std::string& file) { EXPECT_FALSE(fs::exists(file)); }},
      {"swapped for a link",
       [](const std::string& file, const std::string& outside) {
         fs::remove(file);
         fs::create_symlink(outside, file);
       },
       [](const std::string& file) { EXPECT_TRUE(fs::is_symlink(file)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tree t;
    t.host.options.OverSource = true;
    const std::string file = t.tmp.write("work/a.txt", "a x\n");
    const std::string later = t.tmp.write("work/b.txt", "b x\n");
    Between between([&](const std::string&) { c.change(file, t.outside); });
    EXPECT_EQ(ErrorOf(t), "Cannot open file " + file);
    c.check(file);
    EXPECT_EQ(ReadFile(t.outside), "x outside\n");
    EXPECT_EQ(ReadFile(later), "b x\n") << "the run ended at the changed file";
    EXPECT_EQ(testing::NamesIn(t.work).size(), fs::exists(file) || fs::is_symlink(file) ? 2u : 1u)
        << "no temporary file is left";
  }
}

// Links in the target tree lead no write out of it: a link to a directory outside where
// the tree needs a directory is a directory that cannot be made, and a link to a file
// outside is passed over like a system file.
TEST(LinksInTheTargetTree, LeadNoWriteOutOfIt) {
  {
    Tree t;
    t.tmp.write("work/sub/a.txt", "a x\n");
    t.tmp.mkdir("out");
    fs::create_directory_symlink(t.tmp / "outside", t.out + "/sub");
    EXPECT_EQ(t.run(), RunEnd::TargetDirFailed);
    EXPECT_EQ(t.host.messages, std::vector<std::string>{kCannotCreateTargetDirText});
    EXPECT_EQ(testing::NamesIn(t.tmp / "outside"), std::vector<std::string>{"keep.txt"});
  }
  {
    Tree t;
    t.tmp.write("work/keep.txt", "a x\n");
    t.tmp.mkdir("out");
    fs::create_symlink(t.outside, t.out + "/keep.txt");
    EXPECT_EQ(t.run(), RunEnd::Completed);
    EXPECT_EQ(ReadFile(t.outside), "x outside\n");
    EXPECT_TRUE(fs::is_symlink(t.out + "/keep.txt"));
  }
}

// A subdirectory swapped for a link to a directory outside, after the listing and
// before its files' turn: writing into the sources cannot follow it.
TEST(SubdirectorySwappedForALink, IsNotFollowedByTheWrites) {
  Tree t;
  t.host.options.OverSource = true;
  const std::string first = t.tmp.write("work/a.txt", "a x\n");
  t.tmp.write("work/sub/keep.txt", "x inside\n");
  t.host.onListingEnd = [&] {
    fs::rename(t.work + "/sub", t.tmp / "moved");
    fs::remove(t.outside);
    fs::create_directory_symlink(t.tmp / "outside", t.work + "/sub");
    t.tmp.write("outside/keep.txt", "x outside\n");
  };
  EXPECT_EQ(t.run(), RunEnd::TargetDirFailed);
  EXPECT_EQ(ReadFile(first), "a y\r\n");
  EXPECT_EQ(ReadFile(t.outside), "x outside\n");
}

// A 64 GiB sparse file that starts with a NUL is known not to be text at its first byte:
// it is passed over without being read.
TEST(HugeBinaryFile, IsPassedOverAtItsFirstNul) {
  Tree t;
  const std::string image = t.tmp / "work/disk.img";
  {
    const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, off_t(64) << 30) == 0;
    ::close(fd);
    if (!sized) GTEST_SKIP() << "no room for a 64 GiB sparse file here";
  }
  t.tmp.write("work/z.txt", "x\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(t.run(), RunEnd::Completed);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("a run over a 64 GiB sparse binary file took %.3f s\n", seconds);
  EXPECT_EQ(t.host.lines, 1);
  EXPECT_EQ(t.host.changed, 1);
  EXPECT_FALSE(fs::exists(t.out + "/disk.img"));
}

// A file larger than a block is written exactly as a whole file would be: line ends of
// every kind across block boundaries, a long line, and a hit in the last line.
TEST(LargeFile, IsWrittenAsAWholeFileWouldBe) {
  Tree t;
  std::string bytes;
  std::string expected;
  for (int i = 0; i < 200000; ++i) {
    const char* ends[] = {"\r\n", "\n", "\r"};
    bytes += "line " + std::to_string(i) + ends[i % 3];
    expected += "line " + std::to_string(i) + "\r\n";
  }
  bytes += std::string(3 << 20, 'a') + "\n";
  expected += std::string(3 << 20, 'a') + "\r\n";
  bytes += "last x";
  expected += "last y\r\n";
  t.tmp.write("work/big.txt", bytes);
  EXPECT_EQ(t.run(), RunEnd::Completed);
  EXPECT_EQ(t.host.lines, 200002);
  EXPECT_EQ(t.host.hits, 1);
  EXPECT_EQ(t.host.changed, 1);
  EXPECT_TRUE(ReadFile(t.out + "/big.txt") == expected);
}

// Through the real program: a program holding a source open for writing (a log it
// appends to) keeps every line it writes, the run ends naming the file, and the name's
// control characters reach the terminal escaped.
TEST(FileHeldOpenForWriting, EndsTheBatchJobAndKeepsTheWritersLines) {
  ProgramTree t;
  const std::string work = t.dir.mkdir("work");
  const std::string log = t.dir.write("work/a\x1b[31m.log", "x first\n");
  const std::string job = t.dir.write(
      "jobs/job.ini", "[GENERAL]\r\nSearch=x\r\nReplace=y\r\nCaseSensitive=On\r\nWorkDir=" +
                          work + "\r\nExtensions=*.*\r\nOverSource=On\r\nOverFiles=On\r\n");
  const int writer = ::open(log.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(writer, 0);
  const Outcome outcome = t.run(job);
  ASSERT_EQ(::write(writer, "x later\n", 8), 8);
  ::close(writer);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Quorvel: Cannot open file " + work + "/a\\033[31m.log.\n");
  EXPECT_EQ(ReadFile(log), "x first\nx later\n");
}

}  // namespace
}  // namespace quorvel
