#pragma once
// The options both programs understand before they touch anything: help, version, the
// end of the options, and a usage error for anything else that looks like an option.

#include <iosfwd>
#include <optional>
#include <string>

namespace quorvel {

inline constexpr int kExitUsage = 64;    // a wrong command line
inline constexpr int kExitNoInput = 66;  // the settings file is missing or no file; nothing to undo
inline constexpr int kExitLeftChanged = 3;  // an undo left files that changed since the run

enum class Program { Window, Batch };

struct CommandLine {
  enum class Action { Run, Help, Version, UsageError, ListRuns, Undo };
  Action action = Action::Run;
  // The settings file to work with; for the window nothing means its default file.
  std::optional<std::string> settingsFile;
  // The run --undo takes back; empty for the newest not undone.
  std::string runId;
  // What was wrong, for a usage error.
  std::string problem;
  // The batch runner only tells what the run would do (--dry-run), as a patch (--diff).
  bool dryRun = false;
  bool diff = false;
};

// argv[0] is the program's own path. The batch runner takes -h/--help, -V/--version,
// --dry-run, --diff (with --dry-run only), --runs, --undo [ID] and "--"; of the files after them only the first counts. The window keeps its rule of the first
// argument taken whole (further ones ignored), except that a first argument of --help
// or --version asks for that.
CommandLine ParseCommandLine(Program program, int argc, const char* const* argv);

std::string UsageText(Program program);
std::string VersionText(Program program);

// Prints the help or the version to out, or a usage error to err, and gives the exit
// status; nothing when the program goes on to its work.
std::optional<int> AnswerCommandLine(Program program, const CommandLine& commandLine,
                                     std::ostream& out, std::ostream& err);

// The batch runner works only on a settings file that exists: a missing path or a
// directory gives the message to show (exit kExitNoInput), and nothing is created.
std::optional<std::string> SettingsFileProblem(const std::string& path);

}  // namespace quorvel
