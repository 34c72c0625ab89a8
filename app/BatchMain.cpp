// quorvel-batch [OPTION]... SETTINGS: runs the job of a saved settings file without a window, for
// servers and scheduled jobs. It does to the files and to the settings file what the
// window's batch mode does, minus the window position and the usage ping. With
// --dry-run it only tells what that run would do, with --diff as a patch.

#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "app/BatchHost.h"
#include "app/CodePageCheck.h"
#include "app/CommandLine.h"
#include "app/DryRun.h"
#include "platform/Console.h"
#include "platform/Error.h"
#include "platform/FileTransaction.h"
#include "run/FrontEnd.h"
#include "run/RunHistory.h"
#include "run/Texts.h"
#include "settings/Settings.h"

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitError = 1;
constexpr int kExitTargetDirFailed = 2;

int TerminalProgressColumns() {
  using quorvel::platform::StandardStream;
  if (!quorvel::platform::IsTerminal(StandardStream::Error)) return 0;
  int columns = quorvel::platform::TerminalColumns(StandardStream::Error);
  return columns > 1 ? columns : 80;
}

int ListRuns() {
  std::cout << quorvel::RunListing([](const std::string& path) {
    return quorvel::TerminalSafe(path, false);
  }) << std::flush;
  return kExitCompleted;
}

// Takes back the run id, or the newest one not undone; the files left because they
// changed since are named on standard error.
int Undo(const std::string& id) {
  const std::optional<quorvel::platform::RunSummary> run = quorvel::RunToUndo(id);
  if (!run) {
    std::cerr << "quorvel-batch: "
              << (id.empty() ? std::string("nothing to undo")
                             : "no run " + quorvel::TerminalSafe(id, false) + " to undo")
              << '\n';
    return quorvel::kExitNoInput;
  }
  const quorvel::platform::UndoOutcome outcome = quorvel::platform::UndoRun(run->id);
  using Status = quorvel::platform::UndoOutcome::Status;
  if (outcome.status == Status::NotFound) {
    std::cerr << "quorvel-batch: nothing to undo\n";
    return quorvel::kExitNoInput;
  }
  for (const std::string& path : outcome.leftChanged) {
    std::cerr << "quorvel-batch: changed since the run, left as it is: "
              << quorvel::TerminalSafe(path, false) << '\n';
  }
  if (outcome.status == Status::Failed) {
    std::cerr << "quorvel-batch: " << quorvel::TerminalSafe(outcome.problem, true) << '\n';
    return kExitError;
  }
  std::cout << "Undone " << run->id << ": restored " << outcome.restored << ", removed "
            << outcome.removed << ", left unchanged " << outcome.leftChanged.size() << '\n'
            << std::flush;
  return outcome.leftChanged.empty() ? kExitCompleted : quorvel::kExitLeftChanged;
}

}  // namespace

int main(int argc, char** argv) {
  // SIGTERM, SIGINT and SIGHUP end the program without leaving a temporary file.
  quorvel::platform::InstallWriteSignalHandlers();
  // Help, version and a wrong command line end here, before anything is touched.
  const quorvel::CommandLine commandLine =
      quorvel::ParseCommandLine(quorvel::Program::Batch, argc, argv);
  if (const std::optional<int> status = quorvel::AnswerCommandLine(
          quorvel::Program::Batch, commandLine, std::cout, std::cerr)) {
    return *status;
  }
  if (commandLine.action == quorvel::CommandLine::Action::ListRuns) return ListRuns();
  if (commandLine.action == quorvel::CommandLine::Action::Undo) return Undo(commandLine.runId);
  const std::string& settingsFile = *commandLine.settingsFile;
  // A mistyped name must not become a new, empty job run over the program's directory.
  if (const std::optional<std::string> problem = quorvel::SettingsFileProblem(settingsFile)) {
    std::cerr << "quorvel-batch: " << *problem << '\n';
    return quorvel::kExitNoInput;
  }

  quorvel::BatchHost host(std::cin, std::cerr, TerminalProgressColumns(),
                          quorvel::platform::IsTerminal(quorvel::platform::StandardStream::Input));
  // An unknown QUORVEL_CODEPAGE is reported here, before anything is touched.
  if (const std::optional<std::string> problem = quorvel::CodePageProblem()) {
    host.showMessage(quorvel::kApplicationTitle, *problem);
    return kExitError;
  }
  try {
    host.values().useSettingsFile(quorvel::OpenSettingsFile(settingsFile));
    quorvel::DryRunListing listing(std::cout, commandLine.diff, host.options());
    if (commandLine.dryRun) host.listTo(&listing);
    const quorvel::RunEnd end = quorvel::RunBatchJob(
        host.options(), host, commandLine.dryRun ? quorvel::RunMode::Dry : quorvel::RunMode::Real);
    host.endProgress();
    if (!commandLine.diff) std::cout << host.resultLines();
    std::cout << std::flush;
    return end == quorvel::RunEnd::TargetDirFailed ? kExitTargetDirFailed : kExitCompleted;
  } catch (const std::exception& e) {
    host.showMessage(quorvel::kApplicationTitle, quorvel::MessageForDisplay(e));
    // How far the run got, as the window's counters would show it.
    if (host.fileCountShown() && !commandLine.diff) std::cout << host.resultLines();
    std::cout << std::flush;
    return kExitError;
  }
}
