// quorvel-batch SETTINGS: runs the job of a saved settings file without a window, for
// servers and scheduled jobs. It does to the files and to the settings file what the
// window's batch mode does, minus the window position and the usage ping. With
// --dry-run it only tells what that run would do, with --diff as a patch.

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "app/BatchHost.h"
#include "app/DryRun.h"
#include "app/CodePageCheck.h"
#include "run/FrontEnd.h"
#include "platform/Console.h"
#include "platform/Error.h"
#include "settings/Settings.h"

namespace {

constexpr const char* kApplicationTitle = "Quorvel";
constexpr int kExitCompleted = 0;
constexpr int kExitError = 1;
constexpr int kExitTargetDirFailed = 2;
constexpr int kExitUsage = 64;  // EX_USAGE

int TerminalProgressColumns() {
  using quorvel::platform::StandardStream;
  if (!quorvel::platform::IsTerminal(StandardStream::Error)) return 0;
  int columns = quorvel::platform::TerminalColumns(StandardStream::Error);
  return columns > 1 ? columns : 80;
}

}  // namespace

int main(int argc, char** argv) {
  // Leading options: --dry-run, and --diff with it.
  bool dryRun = false;
  bool diff = false;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string_view arg = argv[first];
    if (arg == "--dry-run") {
      dryRun = true;
    } else if (arg == "--diff") {
      diff = true;
    } else {
      break;
    }
  }
  if (first >= argc || (diff && !dryRun)) {
    std::cerr << "Usage: quorvel-batch [--dry-run [--diff]] SETTINGS-FILE\n";
    return kExitUsage;
  }

  quorvel::BatchHost host(std::cin, std::cerr, TerminalProgressColumns(),
                          quorvel::platform::IsTerminal(quorvel::platform::StandardStream::Input));
  // An unknown QUORVEL_CODEPAGE is reported here, before anything is touched.
  if (const std::optional<std::string> problem = quorvel::CodePageProblem()) {
    host.showMessage(kApplicationTitle, *problem);
    return kExitError;
  }
  try {
    host.values().useSettingsFile(quorvel::OpenSettingsFile(argv[first]));
    quorvel::DryRunListing listing(std::cout, diff, host.options());
    if (dryRun) host.setDecisionSink([&](const auto& decision) { listing.show(decision); });
    const quorvel::RunEnd end = quorvel::RunBatchJob(
        host.options(), host, dryRun ? quorvel::RunMode::Dry : quorvel::RunMode::Real);
    host.endProgress();
    if (!diff) std::cout << host.resultLines();
    std::cout << std::flush;
    return end == quorvel::RunEnd::TargetDirFailed ? kExitTargetDirFailed : kExitCompleted;
  } catch (const std::exception& e) {
    host.showMessage(kApplicationTitle, quorvel::MessageForDisplay(e));
    // How far the run got, as the window's counters would show it.
    if (host.fileCountShown() && !diff) std::cout << host.resultLines();
    std::cout << std::flush;
    return kExitError;
  }
}
