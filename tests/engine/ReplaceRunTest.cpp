#include "engine/ReplaceRun.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/PathText.h"
#include "files/TestHooks.h"
#include "platform/Error.h"
#include "support/RecordingHost.h"
#include "support/RunSandbox.h"
#include "support/TempDir.h"

namespace quorvel {
namespace {

using testing::Exists;
using testing::Mtime;
using testing::NamesIn;
using testing::ReadFile;
using testing::RecordingHost;
using testing::SetMtime;
using testing::SetReadOnly;
using testing::TempDir;

using Sandbox = testing::RunSandbox;

const std::string kSourceText = "a x b\nend";  // LF ends: a copy keeps them, a save does not
const std::string kSavedText = "a y b\r\nend\r\n";
const std::string kBinary = std::string("bin\0\0\0\0data x\r\n", 15);

bool ReadOnly(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

void ExpectBusyClearedOnce(const RecordingHost& host) {
  EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
  EXPECT_FALSE(host.busyFlag);
}

TEST(TargetPathsTest, RepeatTheSourcePlaceBelowTheWorkingDirectory) {
  struct Case {
    std::string workDir, source, directory, file;
  };
  const std::vector<Case> cases = {
      {"/work", "/work/f.txt", "/out/", "/out/f.txt"},
      {"/work", "/work/a/b/f.txt", "/out/a/b", "/out/a/b/f.txt"},
      {"/work/", "/work/a/f.txt", "/out/a", "/out/a/f.txt"},
      {"/", "/a/f.txt", "/out/a", "/out/a/f.txt"},
      {"/", "/f.txt", "/out/", "/out/f.txt"},
  };
  for (const Case& c : cases) {
    TargetPaths paths = TargetPathsFor(c.source, EnsureTrailingSeparator(c.workDir), "/out");
    EXPECT_EQ(paths.directory, c.directory) << c.source;
    EXPECT_EQ(paths.file, c.file) << c.source;
  }
}

TEST(ReplaceRunTest, EmptyListShowsZerosAndNothingElse) {
  Sandbox s;
  EXPECT_EQ(s.run(), RunEnd::Completed);
  const std::vector<std::string> expected = {"busy on",
                                             "confirm",
                                             "targetdir " + s.out,
                                             "workdir " + s.work,
                                             "save",
                                             std::string("listing begin ") + kListingText,
                                             "listing end",
                                             "count 0",
                                             "position 0",
                                             "maximum 0",
                                             "lines 0",
                                             "pump",
                                             "hits 0",
                                             "pump",
                                             "changed 0",
                                             "pump",
                                             "busy off"};
  EXPECT_EQ(s.host.log, expected);
  EXPECT_FALSE(Exists(s.out));
}

TEST(ReplaceRunTest, BusyFlagAlreadySetDoesNothing) {
  Sandbox s;
  s.source("f.txt", kSourceText);
  s.host.busyFlag = true;
  EXPECT_EQ(s.run(), RunEnd::NotStarted);
  EXPECT_TRUE(s.host.log.empty());
  EXPECT_TRUE(s.host.busyFlag);
  EXPECT_FALSE(Exists(s.out));
}

TEST(ReplaceRunTest, OneChangedFileShowsEachStepAndPumpsAfterIt) {
  Sandbox s;
  const std::string path = s.source("f.txt", "x");
  EXPECT_EQ(s.run(), RunEnd::Completed);
  const std::vector<std::string> tail = {"file " + path, "pump", "hits 1",    "pump",
                                         "lines 1",      "pump", "changed 1", "pump",
                                         "position 1",   "pump", "busy off"};
  ASSERT_GE(s.host.log.size(), tail.size());
  EXPECT_EQ(
      std::vector<std::string>(s.host.log.end() - std::ptrdiff_t(tail.size()), s.host.log.end()),
      tail);
  EXPECT_EQ(s.host.fileCount, 1);
  EXPECT_EQ(s.host.maximum, 1);
  EXPECT_EQ(ReadFile(s.target("f.txt")), "y\r\n");
}

TEST(ReplaceRunTest, CountersRunUpOneByOne) {
  Sandbox s;
  s.host.options.Replace = "xy";  // every line with an x reaches the cap
  s.source("a.txt", "x x\nx");
  s.source("b.txt", "none\n");
  s.source("c.bin", kBinary);
  EXPECT_EQ(s.run(), RunEnd::Completed);
  EXPECT_EQ(s.host.lines, 3);
  EXPECT_EQ(s.host.hits, 200);
  EXPECT_EQ(s.host.changed, 1);

  std::vector<std::string> hits;
  for (size_t i = 0; i < s.host.log.size(); ++i) {
    const std::string& entry = s.host.log[i];
    if (entry.rfind("hits ", 0) == 0) hits.push_back(entry.substr(5));
    if (entry.rfind("hits ", 0) == 0 || entry.rfind("lines ", 0) == 0 ||
        entry.rfind("changed ", 0) == 0) {
      ASSERT_LT(i + 1, s.host.log.size());
      EXPECT_EQ(s.host.log[i + 1], "pump") << "after " << entry;
    }
  }
  ASSERT_EQ(hits.size(), 201u);
  for (int i = 0; i <= 200; ++i) EXPECT_EQ(hits[size_t(i)], IntToDecimal(i));
}

enum class Action { Save, Copy, Nothing, Message };
enum class Either { No, Yes, Any };

std::vector<bool> Values(Either e) {
  if (e == Either::Any) return {false, true};
  return {e == Either::Yes};
}

TEST(ReplaceRunTest, TextFileTable) {
  struct Row {
    bool overFiles;
    Either targetExists;
    Either changed;
    Either copyAllowed;
    Action action;
  };
  using E = Either;
  const std::vector<Row> rows = {
      {true, E::Any, E::Yes, E::Any, Action::Save},
      {true, E::Any, E::No, E::Yes, Action::Copy},
      {true, E::Any, E::No, E::No, Action::Nothing},
      {false, E::Yes, E::Any, E::Any, Action::Message},
      {false, E::No, E::Yes, E::Any, Action::Save},
      {false, E::No, E::No, E::Yes, Action::Copy},
      {false, E::No, E::No, E::No, Action::Nothing},
  };
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    for (bool targetExists : Values(row.targetExists)) {
      for (bool changed : Values(row.changed)) {
        for (bool copyAllowed : Values(row.copyAllowed)) {
          SCOPED_TRACE("row " + std::to_string(r + 1) + " exists " + std::to_string(targetExists) +
                       " changed " + std::to_string(changed) + " copy " +
                       std::to_string(copyAllowed));
          Sandbox s;
          s.host.options.OverFiles = row.overFiles;
          s.host.options.CopyUnchanged = copyAllowed;
          s.host.options.Search = changed ? "x" : "q";
          const std::string source = s.source("sub/f.txt", kSourceText);
          SetMtime(source, 1000000000);
          const std::string target = s.target("sub/f.txt");
          if (targetExists) s.tmp.write("out/sub/f.txt", "old");

          EXPECT_EQ(s.run(), RunEnd::Completed);
          EXPECT_EQ(s.host.changed, changed ? 1 : 0);
          EXPECT_EQ(s.host.position(), 1);
          EXPECT_EQ(ReadFile(source), kSourceText);
          switch (row.action) {
            case Action::Save:
              EXPECT_EQ(ReadFile(target), kSavedText);
              break;
            case Action::Copy:
              EXPECT_EQ(ReadFile(target), kSourceText);
              EXPECT_EQ(Mtime(target).tv_sec, Mtime(source).tv_sec);
              EXPECT_EQ(Mtime(target).tv_nsec, Mtime(source).tv_nsec);
              break;
            case Action::Nothing:
            case Action::Message:
              EXPECT_EQ(Exists(target), targetExists);
              if (targetExists) {
                EXPECT_EQ(ReadFile(target), "old");
              }
              break;
          }
          const std::vector<std::string> messages = row.action == Action::Message
                                                        ? std::vector<std::string>{kOverwriteText}
                                                        : std::vector<std::string>{};
          EXPECT_EQ(s.host.messages, messages);
          EXPECT_EQ(NamesIn(s.out), std::vector<std::string>{"sub"});
        }
      }
    }
  }
}

TEST(ReplaceRunTest, FilesThatDoNotLookLikeText) {
  struct Case {
    const char* name;
    bool copyUnchanged;
    bool overFiles;
    bool targetExists;
    bool noSafety;
    std::string expectedTarget;  // empty: no file
    bool message;
  };
  const std::vector<Case> cases = {
      {"copied byte for byte", true, false, false, false, kBinary, false},
      {"an existing target shows the message", true, false, true, false, "old", true},
      {"an existing target is overwritten with OverFiles", true, true, true, false, kBinary, false},
      {"nothing without CopyUnchanged", false, true, false, false, "", false},
      {"the unsafe mode treats it as text", false, true, false, true, "bin\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox s;
    s.host.options.Search = "bin";
    s.host.options.Replace = "bin";
    s.host.options.CopyUnchanged = c.copyUnchanged;
    s.host.options.OverFiles = c.overFiles;
    s.host.options.NoSafety = c.noSafety;
    s.source("deep/er/data.bin", kBinary);
    if (c.targetExists) s.tmp.write("out/deep/er/data.bin", "old");
    EXPECT_EQ(s.run(), RunEnd::Completed);
    const std::string target = s.target("deep/er/data.bin");
    EXPECT_TRUE(std::filesystem::is_directory(s.target("deep/er")));
    if (c.expectedTarget.empty()) {
      EXPECT_FALSE(Exists(target));
    } else {
      EXPECT_EQ(ReadFile(target), c.expectedTarget);
    }
    EXPECT_EQ(s.host.messages.size(), c.message ? 1u : 0u);
    EXPECT_EQ(s.host.lines, c.noSafety ? 1 : 0);
  }
}

TEST(ReplaceRunTest, HiddenAndSystemSourcesArePassedOverWhileTheBarAdvances) {
  Sandbox s;
  s.host.options.CopyUnchanged = true;
  s.source(".hidden.txt", "x");
  s.source("h/.also-hidden", "x");
  s.tmp.mkdir("work/p");
  ASSERT_EQ(::mkfifo((s.work + "/p/pipe").c_str(), 0644), 0);
  ASSERT_EQ(::symlink((s.work + "/nowhere").c_str(), (s.work + "/dangling").c_str()), 0);
  s.source("plain.txt", "x");
  EXPECT_EQ(s.run(), RunEnd::Completed);

  EXPECT_EQ(s.host.fileCount, 5);
  EXPECT_EQ(s.host.positions, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(s.host.filesShown.size(), 5u);
  EXPECT_EQ(s.host.lines, 1);
  EXPECT_EQ(s.host.hits, 1);
  EXPECT_EQ(s.host.changed, 1);
  EXPECT_EQ(NamesIn(s.out), std::vector<std::string>{"plain.txt"});
}

TEST(ReplaceRunTest, ReadOnlyFlagIsCarriedOver) {
  {
    SCOPED_TRACE("a read-only changed source gives a read-only target");
    Sandbox s;
    const std::string source = s.source("f.txt", kSourceText);
    SetReadOnly(source);
    s.run();
    EXPECT_EQ(ReadFile(s.target("f.txt")), kSavedText);
    EXPECT_TRUE(ReadOnly(s.target("f.txt")));
    EXPECT_TRUE(ReadOnly(source));
  }
  {
    SCOPED_TRACE("a read-only source copied unchanged");
    Sandbox s;
    s.host.options.CopyUnchanged = true;
    SetReadOnly(s.source("data.bin", kBinary));
    s.run();
    EXPECT_EQ(ReadFile(s.target("data.bin")), kBinary);
    EXPECT_TRUE(ReadOnly(s.target("data.bin")));
  }
  {
    SCOPED_TRACE("a read-only target is passed over in silence");
    Sandbox s;
    s.host.options.OverFiles = true;
    s.source("f.txt", kSourceText);
    const std::string target = s.tmp.write("out/f.txt", "old");
    SetReadOnly(target);
    EXPECT_EQ(s.run(), RunEnd::Completed);
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_TRUE(ReadOnly(target));
    EXPECT_TRUE(s.host.messages.empty());
  }
  {
    SCOPED_TRACE("IgnoreReadOnly clears the target's bit and writes it");
    Sandbox s;
    s.host.options.OverFiles = true;
    s.host.options.IgnoreReadOnly = true;
    s.source("f.txt", kSourceText);
    const std::string target = s.tmp.write("out/f.txt", "old");
    SetReadOnly(target);
    s.run();
    EXPECT_EQ(ReadFile(target), kSavedText);
    EXPECT_FALSE(ReadOnly(target));
  }
  {
    SCOPED_TRACE("IgnoreReadOnly clears the bit even when nothing is written");
    Sandbox s;
    s.host.options.OverFiles = true;
    s.host.options.IgnoreReadOnly = true;
    s.host.options.Search = "q";
    s.source("f.txt", kSourceText);
    const std::string target = s.tmp.write("out/f.txt", "old");
    SetReadOnly(target);
    s.run();
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_FALSE(ReadOnly(target));
  }
}

TEST(ReplaceRunTest, SystemTargetIsPassedOverInSilence) {
  Sandbox s;
  s.source("f.txt", kSourceText);
  s.tmp.mkdir("out");
  ASSERT_EQ(::mkfifo(s.target("f.txt").c_str(), 0644), 0);
  EXPECT_EQ(s.run(), RunEnd::Completed);
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_EQ(s.host.changed, 1);
}

TEST(ReplaceRunTest, OverwriteMessageIsShownForEveryFile) {
  Sandbox s;
  s.source("a.txt", "x");
  s.source("b.txt", "x");
  s.source("c.txt", "x");
  s.tmp.write("out/a.txt", "old a");
  s.tmp.write("out/b.txt", "old b");
  EXPECT_EQ(s.run(), RunEnd::Completed);
  EXPECT_EQ(s.host.messages, (std::vector<std::string>{kOverwriteText, kOverwriteText}));
  EXPECT_EQ(ReadFile(s.target("a.txt")), "old a");
  EXPECT_EQ(ReadFile(s.target("b.txt")), "old b");
  EXPECT_EQ(ReadFile(s.target("c.txt")), "y\r\n");
  EXPECT_EQ(s.host.changed, 3);
  EXPECT_EQ(s.host.position(), 3);
}

TEST(ReplaceRunTest, OverSourceWithOverFilesRewritesChangedFilesInPlace) {
  Sandbox s;
  s.host.options.OverSource = true;
  s.host.options.OverFiles = true;
  s.host.options.CopyUnchanged = true;
  s.host.options.TargetDir = "";
  const std::string changed = s.source("sub/f.txt", kSourceText);
  const std::string unchanged = s.source("g.txt", "no match\n");
  SetMtime(unchanged, 1000000000);
  const std::string readOnly = s.source("ro.txt", "x");
  SetReadOnly(readOnly);

  EXPECT_EQ(s.run(), RunEnd::Completed);
  EXPECT_EQ(s.host.options.TargetDir, "");
  for (const std::string& entry : s.host.log) EXPECT_NE(entry.rfind("targetdir", 0), 0u);
  EXPECT_EQ(ReadFile(changed), kSavedText);
  EXPECT_EQ(ReadFile(unchanged), "no match\n");
  EXPECT_EQ(Mtime(unchanged).tv_sec, 1000000000);
  EXPECT_EQ(ReadFile(readOnly), "x");  // read-only and IgnoreReadOnly not set
  EXPECT_EQ(NamesIn(s.work), (std::vector<std::string>{"g.txt", "ro.txt", "sub"}));
  EXPECT_EQ(NamesIn(s.work + "/sub"), std::vector<std::string>{"f.txt"});
  EXPECT_FALSE(Exists(s.out));
  EXPECT_TRUE(s.host.messages.empty());
}

TEST(ReplaceRunTest, OverSourceRestoresTheSourcesReadOnlyFlag) {
  Sandbox s;
  s.host.options.OverSource = true;
  s.host.options.OverFiles = true;
  s.host.options.IgnoreReadOnly = true;
  const std::string readOnly = s.source("ro.txt", "x");
  SetReadOnly(readOnly);
  s.run();
  EXPECT_EQ(ReadFile(readOnly), "y\r\n");
  EXPECT_TRUE(ReadOnly(readOnly));
}

TEST(ReplaceRunTest, OverSourceWithoutOverFilesShowsTheMessageForEveryTextFile) {
  Sandbox s;
  s.host.options.OverSource = true;
  s.host.options.CopyUnchanged = true;
  const std::string changed = s.source("a.txt", kSourceText);
  const std::string unchanged = s.source("b.txt", "none");
  s.source("c.bin", kBinary);
  EXPECT_EQ(s.run(), RunEnd::Completed);
  EXPECT_EQ(s.host.messages, (std::vector<std::string>{kOverwriteText, kOverwriteText}));
  EXPECT_EQ(ReadFile(changed), kSourceText);
  EXPECT_EQ(ReadFile(unchanged), "none");
  EXPECT_EQ(ReadFile(s.work + "/c.bin"), kBinary);
}

TEST(ReplaceRunTest, DirectoryFieldsAreNormalisedWrittenBackAndSaved) {
  Sandbox s;
  const std::string programDir = ProgramDir();
  SetProgramDirForTesting(s.tmp.path() + "/");
  s.host.options.WorkDir = "\"work\"";  // relative and quoted
  s.host.options.TargetDir = "";
  std::vector<std::string> saved;
  s.host.onSave = [&] { saved = {s.host.options.WorkDir, s.host.options.TargetDir}; };
  s.source("sub/f.txt", "x");
  EXPECT_EQ(s.run(), RunEnd::Completed);
  SetProgramDirForTesting(programDir);

  EXPECT_EQ(saved, (std::vector<std::string>{s.tmp.path() + "/work", s.tmp.path() + "/"}));
  EXPECT_EQ(ReadFile(s.tmp / "sub/f.txt"), "y\r\n");
}

TEST(ReplaceRunTest, WorkingDirectoryWithTrailingSeparatorGivesTheSameTargets) {
  Sandbox s;
  s.host.options.WorkDir = s.work + "/";
  s.source("a/b/f.txt", "x");
  s.source("f.txt", "x");
  EXPECT_EQ(s.run(), RunEnd::Completed);
  EXPECT_EQ(ReadFile(s.target("a/b/f.txt")), "y\r\n");
  EXPECT_EQ(ReadFile(s.target("f.txt")), "y\r\n");
}

TEST(ReplaceRunTest, TargetDirectoryThatCannotBeCreatedEndsTheRun) {
  Sandbox s;
  const std::string blocker = s.tmp.write("blocker", "a file in the way");
  s.host.options.TargetDir = blocker;
  s.source("a.txt", "x");
  s.source("b.txt", "x");
  EXPECT_EQ(s.run(), RunEnd::TargetDirFailed);
  EXPECT_EQ(s.host.messages, std::vector<std::string>{kCannotCreateTargetDirText});
  EXPECT_EQ(s.host.positions, std::vector<int32_t>{0});
  EXPECT_EQ(s.host.filesShown.size(), 1u);
  EXPECT_EQ(ReadFile(blocker), "a file in the way");
  ExpectBusyClearedOnce(s.host);
}

TEST(ReplaceRunTest, ListedFileDeletedBeforeItsTurnEndsTheRunWithCannotOpen) {
  Sandbox s;
  s.source("a.txt", "x");
  const std::string doomed = s.source("b.txt", "x");
  s.host.onCurrentFile = [&](const std::string& path) {
    if (path != doomed) std::filesystem::remove(doomed);
  };
  try {
    s.run();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + doomed);
  }
  EXPECT_EQ(s.host.position(), 1);
  EXPECT_EQ(ReadFile(s.target("a.txt")), "y\r\n");
  ExpectBusyClearedOnce(s.host);
}

TEST(ReplaceRunTest, FileDeletedWhileTheListIsClosedEndsTheRunWithCannotOpen) {
  Sandbox s;
  const std::string doomed = s.source("a.txt", "x");
  s.host.onListingEnd = [&] { std::filesystem::remove(doomed); };
  EXPECT_THROW(s.run(), Error);
  EXPECT_EQ(s.host.positions, std::vector<int32_t>{0});
  ExpectBusyClearedOnce(s.host);
}

TEST(ReplaceRunTest, FailedSaveOfTheOptionsEndsTheRunBeforeTheList) {
  Sandbox s;
  s.source("a.txt", "x");
  s.host.onSave = [] { throw UnableToWrite("/settings.ini"); };
  EXPECT_THROW(s.run(), Error);
  EXPECT_EQ(s.host.log.back(), "busy off");
  EXPECT_EQ(std::count(s.host.log.begin(), s.host.log.end(), "listing end"), 0);
  EXPECT_FALSE(Exists(s.out));
  ExpectBusyClearedOnce(s.host);
}

// A file read whole is replaced straight from its bytes unless a display wants its
// lines: either way the run writes the same files and tells the same.
TEST(ReplaceRunTest, AFileGoesStraightFromItsBytesOrThroughItsLinesAlike) {
  const std::pair<const char*, std::string> files[] = {
      {"lf.txt", "a x\nxx\n\nno"},     {"cr.txt", "x\rb\r\r"},
      {"crlf.txt", "x\r\nx x\r\n"},   {"mixed.txt", "x\r\n\n\rx\r"},
      {"empty.txt", ""},                {"none.txt", "a\nb\n"},
      {"binary.dat", kBinary},          {"late-nul.txt", std::string("x\nx\0x", 5)}};
  for (bool noSafety : {false, true}) {
    std::string outcome[2];
    for (bool blocks : {false, true}) {
      Sandbox s;
      s.host.wantsBlocks = blocks;
      s.host.options.NoSafety = noSafety;
      s.host.options.CopyUnchanged = true;
      for (const auto& [name, bytes] : files) s.source(name, bytes);
      EXPECT_EQ(s.run(), RunEnd::Completed);
      std::string& told = outcome[blocks ? 1 : 0];
      for (std::string entry : s.host.log) {
        for (size_t at; (at = entry.find(s.tmp.path())) != std::string::npos;) {
          entry.replace(at, s.tmp.path().size(), "TMP");
        }
        told += entry + "\n";
      }
      for (const auto& [name, bytes] : files) {
        const std::string target = s.target(name);
        told += std::string(name) + ": " + (Exists(target) ? ReadFile(target) : "-") + "\n";
      }
    }
    EXPECT_EQ(outcome[0], outcome[1]) << "NoSafety " << noSafety;
    EXPECT_NE(outcome[0].find("lf.txt: a y\r\nyy\r\n\r\nno\r\n"), std::string::npos);
  }
}

TEST(ReplaceRunTest, OptionsAreTakenAfterTheSafetyConfirmation) {
  Sandbox s;
  s.host.options.NoSafety = true;
  s.host.onConfirm = [&] { s.host.options.NoSafety = false; };
  s.host.options.OverFiles = true;
  s.source("data.bin", kBinary);
  s.run();
  EXPECT_EQ(s.host.confirms, 1);
  EXPECT_EQ(s.host.lines, 0);  // not processed as text any more
}

// Runs the sandbox's run in a child process whose files may not grow beyond limit
// bytes, as on a full disk; gives the error message or "completed".
std::string RunWithFileSizeLimit(Sandbox& s, rlim_t limit) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    std::string result;
    try {
      s.run();
      result = "completed";
    } catch (const Error& e) {
      result = e.what();
    }
    ssize_t written = ::write(fds[1], result.data(), result.size());
    ::_exit(written == ssize_t(result.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string result;
  char buffer[256];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, size_t(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return result;
}

TEST(ReplaceRunTest, FullDiskLeavesEveryOldFileAsItWas) {
  std::string source;
  for (int i = 0; i < 20; ++i) source += "xxxxxxxxxx\r\n";
  const std::string replacement(100, 'r');
  {
    SCOPED_TRACE("writing over the source");
    Sandbox s;
    s.host.options.OverSource = true;
    s.host.options.OverFiles = true;
    s.host.options.Replace = replacement;
    const std::string path = s.source("f.txt", source);
    EXPECT_EQ(RunWithFileSizeLimit(s, 4096), "Stream write error");
    EXPECT_EQ(ReadFile(path), source);
    EXPECT_EQ(NamesIn(s.work), std::vector<std::string>{"f.txt"});
  }
  {
    SCOPED_TRACE("writing over an existing target");
    Sandbox s;
    s.host.options.OverFiles = true;
    s.host.options.Replace = replacement;
    s.source("f.txt", source);
    const std::string target = s.tmp.write("out/f.txt", "old");
    EXPECT_EQ(RunWithFileSizeLimit(s, 4096), "Stream write error");
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(NamesIn(s.out), std::vector<std::string>{"f.txt"});
  }
  {
    SCOPED_TRACE("copying over an existing target");
    Sandbox s;
    s.host.options.OverFiles = true;
    s.host.options.CopyUnchanged = true;
    s.host.options.Search = "q";
    s.source("f.txt", std::string(3000, 'x') + "\n" + std::string(3000, 'x'));
    const std::string target = s.tmp.write("out/f.txt", "old");
    EXPECT_EQ(RunWithFileSizeLimit(s, 4096), "Stream write error");
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(NamesIn(s.out), std::vector<std::string>{"f.txt"});
  }
}

}  // namespace
}  // namespace quorvel
