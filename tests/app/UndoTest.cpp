// quorvel-batch --undo and --runs through the built program: a run over a tree is
// taken back to the byte, bit and modification time, with the journal beside the tree
// or on another file system; a file edited after the run stays and is named.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "reliability/BatchProcess.h"

namespace quorvel {
namespace {

using testing::BatchTree;
using testing::Launch;
using testing::Outcome;
using testing::ReadBytes;
using testing::TempDir;

// What a file or directory is, as far as an undo must put it back.
struct Entry {
  bool directory = false;
  std::string bytes;
  mode_t mode = 0;
  int64_t mtimeSec = 0, mtimeNsec = 0;
  bool operator==(const Entry&) const = default;
};

std::map<std::string, Entry> Snapshot(const std::string& root) {
  std::map<std::string, Entry> entries;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    struct stat st;
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    Entry entry;
    entry.directory = S_ISDIR(st.st_mode);
    entry.mode = st.st_mode & 07777;
    if (!entry.directory) {
      entry.bytes = ReadBytes(it->path().string());
      entry.mtimeSec = st.st_mtim.tv_sec;
      entry.mtimeNsec = st.st_mtim.tv_nsec;
    }
    entries[std::filesystem::relative(it->path(), root).string()] = entry;
  }
  return entries;
}

std::string Describe(const std::map<std::string, Entry>& entries) {
  std::ostringstream out;
  for (const auto& [name, e] : entries) {
    out << name << (e.directory ? "/" : "") << " mode " << std::oct << e.mode << std::dec
        << " mtime " << e.mtimeSec << "." << e.mtimeNsec << " " << e.bytes.size() << " bytes\n";
  }
  return out.str();
}

// A file with a last-write time long past, so that one the run wrote shows.
void WriteOld(TempDir& dir, const std::string& relative, const std::string& bytes,
              mode_t mode = 0644) {
  const std::string path = dir.write(relative, bytes);
  ::chmod(path.c_str(), mode);
  const struct timespec times[2] = {{1500000000, 123456789}, {1500000000, 123456789}};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::string Job(TempDir& dir, const std::string& work, const std::string& target,
                bool overSource) {
  return dir.write("jobs/job.ini",
                   "[GENERAL]\r\nSearch=kocour\r\nReplace=pes\r\nSubdirs=On\r\nWorkDir=" + work +
                       "\r\nTargetDir=" + target + "\r\nOverFiles=On\r\nOverSource=" +
                       (overSource ? "On" : "Off") +
                       "\r\nCopyUnchanged=On\r\nIgnoreReadOnly=On\r\n");
}

// Points the journals of the programs this test starts somewhere else for a while.
class StateHomeOverride {
 public:
  explicit StateHomeOverride(const std::string& path) : saved_(std::getenv("XDG_STATE_HOME")) {
    ::setenv("XDG_STATE_HOME", path.c_str(), 1);
  }
  ~StateHomeOverride() { ::setenv("XDG_STATE_HOME", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

// Lays out a tree for one kind of run: what the run changes, copies, re-marks and
// creates. Returns the job.
std::string LayOut(BatchTree& t, bool overSource) {
  const std::string work = t.dir / "work";
  WriteOld(t.dir, "work/a.txt", "a kocour\r\n");
  WriteOld(t.dir, "work/ro.txt", "read-only kocour\r\n", 0444);
  WriteOld(t.dir, "work/same.txt", "nothing to find\r\n");
  WriteOld(t.dir, "work/sub/deep/b.txt", "b kocour kocour\r\n", 0640);
  if (overSource) {
    // A file with two names is rewritten in place; both names see the old bytes again.
    WriteOld(t.dir, "work/linked.txt", "linked kocour\r\n");
    std::filesystem::create_hard_link(work + "/linked.txt", t.dir / "other-name.txt");
    return Job(t.dir, work, "", true);
  }
  // The target holds older versions of two files; the rest, a whole directory among
  // them, the run creates.
  WriteOld(t.dir, "out/a.txt", "an older a\r\n", 0600);
  WriteOld(t.dir, "out/same.txt", "an older copy\r\n");
  return Job(t.dir, work, t.dir / "out", false);
}

TEST(Undo, TakesBackEveryWriteOfARunExactly) {
  TempDir shm;
  struct stat tmpSt, shmSt;
  const bool otherFs = std::filesystem::exists("/dev/shm") && ::stat("/dev/shm", &shmSt) == 0 &&
                       ::stat(std::filesystem::temp_directory_path().c_str(), &tmpSt) == 0 &&
                       tmpSt.st_dev != shmSt.st_dev;
  for (const bool overSource : {true, false}) {
    for (const bool journalElsewhere : {false, true}) {
      SCOPED_TRACE(std::string(overSource ? "into the sources" : "into a target tree") +
                   (journalElsewhere ? ", journal on another file system" : ""));
      if (journalElsewhere && !otherFs) {
        std::printf("no second file system for the journal; that case is left out\n");
        continue;
      }
      BatchTree t;
      const std::string state =
          journalElsewhere ? "/dev/shm/" + std::filesystem::path(t.dir.path()).filename().string()
                           : t.dir / "state";
      StateHomeOverride home(state);
      const std::string job = LayOut(t, overSource);
      const auto before = Snapshot(t.dir.path() + "/work");
      const auto outBefore = Snapshot(t.dir.path() + "/out");
      const std::string otherName = ReadBytes(t.dir / "other-name.txt");

      const Outcome run = t.run(job);
      ASSERT_EQ(run.status, 0) << run.err;
      ASSERT_NE(Snapshot(t.dir.path() + (overSource ? "/work" : "/out")),
                overSource ? before : outBefore);

      const Outcome undo = t.run(Launch({"--undo"}));
      EXPECT_EQ(undo.status, 0) << undo.err;
      EXPECT_EQ(undo.err, "");
      const auto after = Snapshot(t.dir.path() + "/work");
      const auto outAfter = Snapshot(t.dir.path() + "/out");
      EXPECT_EQ(after, before) << "before:\n" << Describe(before) << "after:\n" << Describe(after);
      EXPECT_EQ(outAfter, outBefore) << "before:\n"
                                     << Describe(outBefore) << "after:\n"
                                     << Describe(outAfter);
      EXPECT_EQ(ReadBytes(t.dir / "other-name.txt"), otherName);
      if (journalElsewhere) std::filesystem::remove_all(state);
    }
  }
}

TEST(Undo, LeavesAFileEditedAfterTheRunAndNamesIt) {
  BatchTree t;
  StateHomeOverride home(t.dir / "state");
  WriteOld(t.dir, "work/a.txt", "a kocour\r\n");
  WriteOld(t.dir, "work/b.txt", "b kocour\r\n");
  const std::string job = Job(t.dir, t.dir / "work", "", true);
  ASSERT_EQ(t.run(job).status, 0);
  t.dir.write("work/b.txt", "edited by hand\r\n");

  const Outcome undo = t.run(Launch({"--undo"}));
  EXPECT_EQ(undo.status, 3);
  EXPECT_NE(undo.err.find(t.dir / "work/b.txt"), std::string::npos) << undo.err;
  EXPECT_EQ(undo.err.find("a.txt"), std::string::npos) << undo.err;
  EXPECT_EQ(ReadBytes(t.dir / "work/a.txt"), "a kocour\r\n");
  EXPECT_EQ(ReadBytes(t.dir / "work/b.txt"), "edited by hand\r\n");

  // Marked undone: nothing is left to take back.
  const Outcome again = t.run(Launch({"--undo"}));
  EXPECT_EQ(again.status, 66);
  EXPECT_NE(again.err.find("nothing to undo"), std::string::npos) << again.err;
}

TEST(Undo, RunsListsTheKeptRunsNewestFirstWithTheirStates) {
  BatchTree t;
  StateHomeOverride home(t.dir / "state");
  EXPECT_EQ(t.run(Launch({"--runs"})).out, "");
  EXPECT_EQ(t.run(Launch({"--undo"})).status, 66);

  WriteOld(t.dir, "work/a.txt", "a kocour\r\n");
  const std::string first = Job(t.dir, t.dir / "work", t.dir / "out1", false);
  ASSERT_EQ(t.run(first).status, 0);
  WriteOld(t.dir, "work/b.txt", "b kocour\r\n");
  const std::string second = t.dir.write(
      "jobs/second.ini", "[GENERAL]\r\nSearch=kocour\r\nReplace=pes\r\nWorkDir=" + (t.dir / "work") +
                             "\r\nOverSource=On\r\nOverFiles=On\r\n");
  ASSERT_EQ(t.run(second).status, 0);
  // A run that writes nothing keeps no journal.
  ASSERT_EQ(t.run(second).status, 0);

  auto lines = [&] {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(t.run(Launch({"--runs"})).out);
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields;
      std::istringstream cells(line);
      for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
      rows.push_back(fields);
    }
    return rows;
  };
  auto rows = lines();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 5u);
    // 2024-05-21T14:22:33+02:00
    EXPECT_EQ(row[1].size(), 25u) << row[1];
    EXPECT_EQ(row[1][10], 'T') << row[1];
  }
  EXPECT_EQ(rows[0][2], second);
  EXPECT_EQ(rows[0][3], "2");
  EXPECT_EQ(rows[0][4], "done");
  EXPECT_EQ(rows[1][2], first);
  EXPECT_EQ(rows[1][3], "1");  // out1 itself is a directory, not a file
  EXPECT_EQ(rows[1][4], "done");

  // An id takes back that run; without one, the newest not yet undone.
  const Outcome older = t.run(Launch({"--undo", rows[1][0]}));
  EXPECT_EQ(older.status, 0) << older.err;
  EXPECT_FALSE(std::filesystem::exists(t.dir / "out1"));
  rows = lines();
  EXPECT_EQ(rows[0][4], "done");
  EXPECT_EQ(rows[1][4], "undone");
  EXPECT_EQ(t.run(Launch({"--undo", rows[1][0]})).status, 66);
  EXPECT_EQ(t.run(Launch({"--undo", "no-such-run"})).status, 66);
  EXPECT_EQ(t.run(Launch({"--undo"})).status, 0);
  EXPECT_EQ(ReadBytes(t.dir / "work/a.txt"), "a kocour\r\n");
  EXPECT_EQ(ReadBytes(t.dir / "work/b.txt"), "b kocour\r\n");
  rows = lines();
  EXPECT_EQ(rows[0][4], "undone");
  EXPECT_EQ(t.run(Launch({"--undo"})).status, 66);
}

TEST(Undo, KeepsTheTwentyNewestRuns) {
  BatchTree t;
  StateHomeOverride home(t.dir / "state");
  WriteOld(t.dir, "work/a.txt", "a kocour\r\n");
  const std::string job = Job(t.dir, t.dir / "work", t.dir / "out", false);
  for (int i = 0; i < 22; ++i) ASSERT_EQ(t.run(job).status, 0);
  const std::string listing = t.run(Launch({"--runs"})).out;
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 20);
  EXPECT_EQ(testing::NamesIn(t.dir / "state/quorvel/runs").size(), 20u);
}

}  // namespace
}  // namespace quorvel
