// quorvel-batch killed with SIGKILL in the middle of a job that writes over its sources:
// every file is afterwards exactly its old or its new content, anything left of the
// file being written is a hidden temporary file, and the next job neither processes
// nor counts the lines of such a file.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace quorvel {
namespace {

using testing::NamesIn;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;
using testing::Results;

constexpr int kFiles = 200;
constexpr int kLines = 2800;  // about 200 KB a file
// One file in the middle is larger, so that the kill, sent when its temporary file
// appears, lands while that file is being written.
constexpr int kLarge = kFiles / 2;
constexpr int kLargeLines = 20 * kLines;  // about 4 MB

int LinesOf(int file) { return file == kLarge ? kLargeLines : kLines; }

std::string FileName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "f%03d.txt", i);
  return name;
}

// Every line is the file's own, so a file that got another's bytes shows.
std::string Content(int file, const char* word) {
  std::string bytes;
  char line[128];
  for (int i = 0; i < LinesOf(file); ++i) {
    std::snprintf(line, sizeof line, "file %03d line %05d: %s, and text around it to fill\r\n",
                  file, i, word);
    bytes += line;
  }
  return bytes;
}

// Waits for the program to create its kth hidden file in dir (a temporary file it is
// about to fill) and sends it the signal at once; false when the program ended first.
bool KillAtTheKthTemporaryFile(pid_t pid, int inotifyFd, int k, int signal = SIGKILL) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int created = 0;
  alignas(inotify_event) char buffer[64 * 1024];
  while (std::chrono::steady_clock::now() < deadline) {
    struct pollfd p {inotifyFd, POLLIN, 0};
    if (::poll(&p, 1, 5) > 0) {
      ssize_t n = ::read(inotifyFd, buffer, sizeof buffer);
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && event->name[0] == '.' && ++created == k) {
          ::kill(pid, signal);
          return true;
        }
        at += ssize_t(sizeof(inotify_event) + event->len);
      }
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return false;
  }
  ::kill(pid, SIGKILL);
  return false;
}

// The tree of a job that writes over its sources, and the job, killed with SIGKILL
// while it writes the large file in the middle.
struct KilledTree {
  ProgramTree t;
  std::string work = t.dir.mkdir("work");
  std::vector<std::string> oldContent, newContent;
  std::string job;
  Outcome first;
  bool killed = false;

  KilledTree() {
    for (int i = 0; i < kFiles; ++i) {
      oldContent.push_back(Content(i, "hello"));
      newContent.push_back(Content(i, "goodbye"));
      t.dir.write("work/" + FileName(i), oldContent.back());
    }
    job = t.dir.write(
        "jobs/job.ini", "[GENERAL]\r\nSearch=hello\r\nReplace=goodbye\r\nCaseSensitive=On\r\n"
                        "WorkDir=" + work + "\r\nOverSource=On\r\nOverFiles=On\r\n");
    const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0 || ::inotify_add_watch(inotifyFd, work.c_str(), IN_CREATE) < 0) return;
    const pid_t pid = t.start(testing::Launch({job}));
    killed = KillAtTheKthTemporaryFile(pid, inotifyFd, kLarge + 1);
    ::close(inotifyFd);
    first = t.wait(pid);
  }
};

TEST(KilledJob, LeavesEveryFileOldOrNewAndOnlyHiddenLeftovers) {
  KilledTree k;
  ProgramTree& t = k.t;
  const std::string& work = k.work;
  const std::vector<std::string>& oldContent = k.oldContent;
  const std::vector<std::string>& newContent = k.newContent;
  const std::string& job = k.job;
  const Outcome& first = k.first;
  ASSERT_TRUE(k.killed) << "the job ended before it was killed: " << first.err;
  ASSERT_EQ(first.signal, SIGKILL);

  int oldFiles = 0;
  int newFiles = 0;
  int oldLines = 0;
  std::vector<std::string> leftovers;
  for (const std::string& name : NamesIn(work)) {
    bool listed = false;
    for (int i = 0; i < kFiles; ++i) {
      if (name != FileName(i)) continue;
      listed = true;
      const std::string bytes = ReadFile(work + "/" + name);
      if (bytes == oldContent[size_t(i)]) {
        ++oldFiles;
        oldLines += LinesOf(i);
      } else if (bytes == newContent[size_t(i)]) {
        ++newFiles;
      } else {
        ADD_FAILURE() << name << " is neither its old nor its new content";
      }
    }
    if (listed) continue;
    ASSERT_EQ(name[0], '.') << name << " is a leftover that a later job would process";
    leftovers.push_back(name);
    // What it holds is the start of the new content of the file it was made for.
    const int i = std::stoi(name.substr(2, 3));
    const std::string bytes = ReadFile(work + "/" + name);
    EXPECT_EQ(newContent[size_t(i)].compare(0, bytes.size(), bytes), 0) << name;
  }
  EXPECT_EQ(oldFiles + newFiles, kFiles);
  EXPECT_GE(newFiles, kLarge - 1);
  EXPECT_GE(oldFiles, kFiles - kLarge - 1) << "killed in the middle, not at the end";
  std::printf("killed after %d of %d files, %zu temporary file(s) left\n", newFiles, kFiles,
              leftovers.size());

  std::vector<std::string> leftoverBytes;
  for (const std::string& name : leftovers) leftoverBytes.push_back(ReadFile(work + "/" + name));

  // The next job lists the leftovers (the listing takes hidden names) but passes them
  // over: their lines are not counted, and they stay as they are.
  Outcome second = t.run(job);
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, Results(kFiles + int(leftovers.size()), (kFiles - 1) * kLines + kLargeLines,
                                oldLines, oldFiles));
  for (int i = 0; i < kFiles; ++i) {
    EXPECT_EQ(ReadFile(work + "/" + FileName(i)), newContent[size_t(i)]) << FileName(i);
  }
  for (size_t i = 0; i < leftovers.size(); ++i) {
    EXPECT_EQ(ReadFile(work + "/" + leftovers[i]), leftoverBytes[i]) << leftovers[i];
  }
  EXPECT_EQ(NamesIn(work).size(), size_t(kFiles) + leftovers.size());
}

// The signals that ask a program to end leave no temporary file: the file being
// written keeps its old content and no hidden leftover stays for the next job.
TEST(EndedJob, LeavesNoTemporaryFileOnTermIntOrHup) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(::strsignal(signal));
    ProgramTree t;
    const std::string work = t.dir.mkdir("work");
    std::vector<std::string> oldContent, newContent;
    for (int i = 0; i < kFiles; ++i) {
      oldContent.push_back(Content(i, "hello"));
      newContent.push_back(Content(i, "goodbye"));
      t.dir.write("work/" + FileName(i), oldContent.back());
    }
    const std::string job = t.dir.write(
        "jobs/job.ini", "[GENERAL]\r\nSearch=hello\r\nReplace=goodbye\r\nCaseSensitive=On\r\n"
                        "WorkDir=" + work + "\r\nOverSource=On\r\nOverFiles=On\r\n");
    int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotifyFd, 0);
    ASSERT_GE(::inotify_add_watch(inotifyFd, work.c_str(), IN_CREATE), 0);
    pid_t pid = t.start(testing::Launch({job}));
    const bool sent = KillAtTheKthTemporaryFile(pid, inotifyFd, kLarge + 1, signal);
    ::close(inotifyFd);
    Outcome outcome = t.wait(pid);
    ASSERT_TRUE(sent) << "the job ended before the signal: " << outcome.err;
    EXPECT_EQ(outcome.signal, signal);
    int changed = 0;
    for (const std::string& name : NamesIn(work)) {
      ASSERT_NE(name[0], '.') << name << " was left behind";
      const int i = std::stoi(name.substr(1, 3));
      const std::string bytes = ReadFile(work + "/" + name);
      EXPECT_TRUE(bytes == oldContent[size_t(i)] || bytes == newContent[size_t(i)]) << name;
      changed += bytes == newContent[size_t(i)];
    }
    EXPECT_EQ(NamesIn(work).size(), size_t(kFiles));
    EXPECT_LT(changed, kFiles) << "ended in the middle, not at the end";
  }
}

// A job killed half-way is taken back up to where it got: every file has its old bytes
// again, the one being written when the kill came among them.
TEST(KilledJob, CanBeUndoneUpToWhereItGot) {
  KilledTree k;
  ASSERT_TRUE(k.killed) << "the job ended before it was killed: " << k.first.err;
  int changed = 0;
  for (int i = 0; i < kFiles; ++i) {
    changed += ReadFile(k.work + "/" + FileName(i)) != k.oldContent[size_t(i)];
  }
  ASSERT_GT(changed, 0);

  const Outcome undo = k.t.run(testing::Launch({"--undo"}));
  EXPECT_EQ(undo.status, 0) << undo.err;
  for (int i = 0; i < kFiles; ++i) {
    EXPECT_EQ(ReadFile(k.work + "/" + FileName(i)), k.oldContent[size_t(i)]) << FileName(i);
  }
}

}  // namespace
}  // namespace quorvel
