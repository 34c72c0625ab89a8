// The command line of both programs: the parse as a table, then the built programs,
// which must answer help, version and a wrong command line without touching anything.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace quorvel {
namespace {

using testing::Launch;
using testing::Outcome;
using testing::ProgramTree;
using testing::TempDir;
using Action = CommandLine::Action;

CommandLine Parse(Program program, std::vector<const char*> args) {
  args.insert(args.begin(), "/usr/bin/program");
  return ParseCommandLine(program, int(args.size()), args.data());
}

TEST(CommandLineTest, ParsesTheJournalOptions) {
  struct Row {
    std::vector<const char*> args;
    Action action;
    std::string runId;
  };
  const Row rows[] = {
      {{"--runs"}, Action::ListRuns, ""},
      {{"--undo"}, Action::Undo, ""},
      {{"--undo", "20240521-142233-017"}, Action::Undo, "20240521-142233-017"},
      {{"--undo=20240521-142233-017"}, Action::Undo, "20240521-142233-017"},
      {{"--undo", "a", "b"}, Action::UsageError, ""},
      {{"--undo="}, Action::UsageError, ""},
      {{"--undo", "--runs"}, Action::UsageError, ""},
      {{"--runs", "job.ini"}, Action::UsageError, ""},
      {{"job.ini", "--undo"}, Action::UsageError, ""},
      {{"--", "--runs"}, Action::Run, ""},
  };
  for (const Row& row : rows) {
    std::string shown;
    for (const char* arg : row.args) shown += std::string(" [") + arg + "]";
    const CommandLine parsed = Parse(Program::Batch, row.args);
    EXPECT_EQ(parsed.action, row.action) << shown;
    EXPECT_EQ(parsed.runId, row.runId) << shown;
  }
}

TEST(CommandLineTest, ParsesEachConvention) {
  struct Row {
    Program program;
    std::vector<const char*> args;
    Action action;
    std::optional<std::string> settingsFile;
  };
  const Row rows[] = {
      {Program::Batch, {"job.ini"}, Action::Run, "job.ini"},
      {Program::Batch, {"-h"}, Action::Help, {}},
      {Program::Batch, {"--help"}, Action::Help, {}},
      {Program::Batch, {"-V"}, Action::Version, {}},
      {Program::Batch, {"--version"}, Action::Version, {}},
      // Options count wherever they stand, until "--".
      {Program::Batch, {"job.ini", "--help"}, Action::Help, {}},
      {Program::Batch, {"--", "--help"}, Action::Run, "--help"},
      {Program::Batch, {"--", "-V"}, Action::Run, "-V"},
      {Program::Batch, {"--", "--"}, Action::Run, "--"},
      {Program::Batch, {"-"}, Action::Run, "-"},
      {Program::Batch, {"", "job.ini"}, Action::Run, "job.ini"},
      {Program::Batch, {"C:\\My Files\\job.ini"}, Action::Run, "C:\\My Files\\job.ini"},
      {Program::Batch, {}, Action::UsageError, {}},
      {Program::Batch, {""}, Action::UsageError, {}},
      {Program::Batch, {"--"}, Action::UsageError, {}},
      {Program::Batch, {"--hepl"}, Action::UsageError, {}},
      {Program::Batch, {"-x", "job.ini"}, Action::UsageError, {}},
      {Program::Batch, {"job.ini", "--help=1"}, Action::UsageError, {}},
      {Program::Batch, {"-hV"}, Action::UsageError, {}},
      {Program::Batch, {"--unknown", "--help"}, Action::UsageError, {}},
      {Program::Batch, {"a.ini", "b.ini"}, Action::Run, "a.ini"},
      {Program::Batch, {"--dry-run", "job.ini"}, Action::Run, "job.ini"},
      {Program::Batch, {"--diff", "job.ini", "--dry-run"}, Action::Run, "job.ini"},
      {Program::Batch, {"--diff", "job.ini"}, Action::UsageError, {}},
      {Program::Batch, {"--", "--dry-run"}, Action::Run, "--dry-run"},
      // The window takes its first argument whole and ignores the rest.
      {Program::Window, {}, Action::Run, {}},
      {Program::Window, {""}, Action::Run, {}},
      {Program::Window, {"job.ini", "--help"}, Action::Run, "job.ini"},
      {Program::Window, {"", "job.ini", "other"}, Action::Run, "job.ini"},
      {Program::Window, {"--unknown"}, Action::Run, "--unknown"},
      {Program::Window, {"-h"}, Action::Run, "-h"},
      {Program::Window, {"--"}, Action::Run, "--"},
      {Program::Window, {"--help"}, Action::Help, {}},
      {Program::Window, {"", "--help"}, Action::Help, {}},
      {Program::Window, {"--version", "job.ini"}, Action::Version, {}},
  };
  for (const Row& row : rows) {
    std::string shown;
    for (const char* arg : row.args) shown += std::string(" [") + arg + "]";
    const CommandLine parsed = Parse(row.program, row.args);
    EXPECT_EQ(parsed.action, row.action) << shown;
    EXPECT_EQ(parsed.settingsFile, row.settingsFile) << shown;
    EXPECT_EQ(parsed.problem.empty(), row.action != Action::UsageError) << shown;
  }
}

TEST(CommandLineTest, DryRunAndDiffAreTakenWhereverTheyStand) {
  const CommandLine plain = Parse(Program::Batch, {"job.ini"});
  EXPECT_FALSE(plain.dryRun);
  EXPECT_FALSE(plain.diff);
  const CommandLine dry = Parse(Program::Batch, {"job.ini", "--dry-run"});
  EXPECT_TRUE(dry.dryRun);
  EXPECT_FALSE(dry.diff);
  const CommandLine diff = Parse(Program::Batch, {"--diff", "--dry-run", "job.ini"});
  EXPECT_TRUE(diff.dryRun);
  EXPECT_TRUE(diff.diff);
  EXPECT_EQ(Parse(Program::Batch, {"--diff", "job.ini"}).problem, "--diff needs --dry-run");
}

TEST(CommandLineTest, AnswersGoToTheirStreamsWithTheirStatus) {
  struct Row {
    Action action;
    std::optional<int> status;
    bool toOut;
    bool toErr;
  };
  const Row rows[] = {
      {Action::Run, std::nullopt, false, false},
      {Action::Help, 0, true, false},
      {Action::Version, 0, true, false},
      {Action::UsageError, kExitUsage, false, true},
  };
  for (const Row& row : rows) {
    std::ostringstream out, err;
    CommandLine commandLine;
    commandLine.action = row.action;
    commandLine.problem = "bad";
    EXPECT_EQ(AnswerCommandLine(Program::Batch, commandLine, out, err), row.status);
    EXPECT_EQ(!out.str().empty(), row.toOut);
    EXPECT_EQ(!err.str().empty(), row.toErr);
  }
}

TEST(CommandLineTest, OnlyAnExistingFileIsASettingsFile) {
  TempDir dir;
  dir.write("job.ini", "[GENERAL]\r\n");
  dir.mkdir("jobs");
  EXPECT_EQ(SettingsFileProblem(dir / "job.ini"), std::nullopt);
  EXPECT_NE(SettingsFileProblem(dir / "missing.ini"), std::nullopt);
  EXPECT_NE(SettingsFileProblem(dir / "jobs"), std::nullopt);
  EXPECT_NE(SettingsFileProblem(dir / "no/such/dir/job.ini"), std::nullopt);
  std::filesystem::create_symlink(dir / "gone.ini", dir / "dangling.ini");
  EXPECT_NE(SettingsFileProblem(dir / "dangling.ini"), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(dir / "gone.ini"));
}

// Every entry below a folder with its kind, size, mode and modification time: any
// file created, removed or written shows up as a difference.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const auto status = entry.symlink_status();
    std::string facts = std::to_string(int(status.type())) + " " +
                        std::to_string(int(status.permissions())) + " " +
                        std::to_string(entry.last_write_time().time_since_epoch().count());
    if (entry.is_regular_file()) facts += " " + std::to_string(entry.file_size());
    entries[entry.path().string()] = facts;
  }
  return entries;
}

TEST(CommandLineTest, TheProgramsAnswerWithoutTouchingAnything) {
  struct Row {
    const char* program;
    std::vector<std::string> args;
    int status;
    std::string outStart;  // the whole of standard output starts with it
    std::string err;       // a part of standard error
  };
  std::vector<Row> rows = {
      {"quorvel-batch", {"--help"}, 0, "Usage: quorvel-batch ", ""},
      {"quorvel-batch", {"-h"}, 0, "Usage: quorvel-batch ", ""},
      {"quorvel-batch", {"--version"}, 0, "quorvel-batch " QUORVEL_VERSION "\n", ""},
      {"quorvel-batch", {"-V"}, 0, "quorvel-batch " QUORVEL_VERSION "\n", ""},
      {"quorvel-batch", {}, 64, "", "no settings file given"},
      {"quorvel-batch", {"--verbose", "job.ini"}, 64, "", "unknown option '--verbose'"},
      {"quorvel-batch", {"job.ini"}, 66, "", "job.ini: no such settings file"},
      {"quorvel-batch", {"--", "--help"}, 66, "", "--help: no such settings file"},
      {"quorvel-batch", {"missing/job.ini"}, 66, "", "no such settings file"},
      {"quorvel-batch", {"jobs"}, 66, "", "jobs: is a directory"},
  };
#ifdef QUORVEL_BINARY
  rows.push_back({"quorvel", {"--help"}, 0, "Usage: quorvel ", ""});
  rows.push_back({"quorvel", {"--version"}, 0, "quorvel " QUORVEL_VERSION "\n", ""});
  rows.push_back({"quorvel", {"", "--version", "job.ini"}, 0, "quorvel " QUORVEL_VERSION "\n", ""});
#endif

  ProgramTree tree({QUORVEL_BATCH_BINARY,
#ifdef QUORVEL_BINARY
                    QUORVEL_BINARY
#endif
  });
  const TempDir& dir = tree.dir;
  const std::string io = dir.mkdir("io");
  // The current directory holds a file and a folder, so that a change to either shows.
  dir.write("cwd/notes.txt", "Praha\n");
  dir.mkdir("cwd/jobs");

  for (const Row& row : rows) {
    std::string shown = row.program;
    for (const std::string& arg : row.args) shown += " [" + arg + "]";
    const auto cwdBefore = Snapshot(dir / "cwd");
    const auto binBefore = Snapshot(dir / "bin");
    Launch launch(row.args);
    launch.program = row.program;
    launch.workingDir = dir / "cwd";
    // There is no display, so a program that opened a window would fail; whatever it
    // kept in its home would show beside its output.
    launch.environment = {"QT_QPA_PLATFORM=xcb", "HOME=" + io, "XDG_CONFIG_HOME=" + io,
                          "XDG_RUNTIME_DIR=" + io};
    const Outcome outcome = tree.run(launch);
    EXPECT_EQ(outcome.status, row.status) << shown << "\n" << outcome.err;
    EXPECT_EQ(outcome.out.rfind(row.outStart, 0), 0u) << shown << "\n" << outcome.out;
    if (row.outStart.empty()) {
      EXPECT_EQ(outcome.out, "") << shown;
    }
    if (row.err.empty()) {
      EXPECT_EQ(outcome.err, "") << shown;
    } else {
      EXPECT_NE(outcome.err.find(row.err), std::string::npos) << shown << "\n" << outcome.err;
    }
    EXPECT_EQ(Snapshot(dir / "cwd"), cwdBefore) << shown;
    EXPECT_EQ(Snapshot(dir / "bin"), binBefore) << shown;
    EXPECT_EQ(Snapshot(dir / "io").size(), 2u) << shown << ": only its two output files";
  }
}

}  // namespace
}  // namespace quorvel
