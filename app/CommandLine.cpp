#include "app/CommandLine.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/SettingsChoice.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

const char* ProgramName(Program program) {
  return program == Program::Window ? "quorvel" : "quorvel-batch";
}

CommandLine Usage(std::string problem) {
  return {CommandLine::Action::UsageError, std::nullopt, {}, std::move(problem)};
}

// --runs takes nothing; --undo at most the id of a run, also as --undo=ID.
CommandLine ParseJournalAction(const std::vector<std::string>& args, size_t at) {
  CommandLine result;
  const std::string& option = args[at];
  const bool undo = option.rfind("--undo", 0) == 0;
  result.action = undo ? CommandLine::Action::Undo : CommandLine::Action::ListRuns;
  std::vector<std::string> rest;
  if (undo && option.size() > 6) rest.push_back(option.substr(7));
  for (size_t i = at + 1; i < args.size(); ++i) {
    if (!args[i].empty()) rest.push_back(args[i]);
  }
  if (!undo && !rest.empty()) return Usage("--runs takes no argument");
  if (rest.size() > 1 || (undo && option.size() > 6 && rest.front().empty())) {
    return Usage("--undo takes at most the id of one run");
  }
  if (!rest.empty()) {
    if (rest.front()[0] == '-') return Usage("--undo takes the id of a run, not '" + rest.front() + "'");
    result.runId = rest.front();
  }
  return result;
}

CommandLine ParseBatch(const std::vector<std::string>& args) {
  CommandLine result;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (size_t at = 0; at < args.size(); ++at) {
    const std::string& arg = args[at];
    // An empty argument (a pair of quotes) counts as none, as for the window.
    if (arg.empty()) continue;
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "-h" || arg == "--help") {
        return {CommandLine::Action::Help, std::nullopt, {}, {}};
      } else if (arg == "-V" || arg == "--version") {
        return {CommandLine::Action::Version, std::nullopt, {}, {}};
      } else if (arg == "--dry-run") {
        result.dryRun = true;
      } else if (arg == "--diff") {
        result.diff = true;
      } else if (arg == "--runs" || arg == "--undo" || arg.rfind("--undo=", 0) == 0) {
        if (!operands.empty() || result.dryRun || result.diff) {
          return Usage(arg + " takes no settings file");
        }
        return ParseJournalAction(args, at);
      } else {
        return Usage("unknown option '" + arg + "'");
      }
      continue;
    }
    operands.push_back(arg);
  }
  if (result.diff && !result.dryRun) return Usage("--diff needs --dry-run");
  if (operands.empty()) return Usage("no settings file given");
  // As for the window, only the first file counts.
  result.settingsFile = operands.front();
  return result;
}

CommandLine ParseWindow(int argc, const char* const* argv) {
  CommandLine result;
  result.settingsFile = FirstArgument(argc, argv);
  if (result.settingsFile == "--help") return {CommandLine::Action::Help, std::nullopt, {}, {}};
  if (result.settingsFile == "--version") return {CommandLine::Action::Version, std::nullopt, {}, {}};
  return result;
}

}  // namespace

CommandLine ParseCommandLine(Program program, int argc, const char* const* argv) {
  if (program == Program::Window) return ParseWindow(argc, argv);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return ParseBatch(args);
}

std::string UsageText(Program program) {
  if (program == Program::Window) {
    return "Usage: quorvel [SETTINGS-FILE]\n"
           "       quorvel --help | --version\n"
           "\n"
           "Opens the window for bulk replacement of a text in plain text files.\n"
           "Without an argument the options live in Quorvel.ini beside the program, or in\n"
           "${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/Quorvel.ini when the program's\n"
           "directory is protected. With SETTINGS-FILE (a file saved with \"Uložit\n"
           "konfiguraci pro spouštění příkazovou řádkou\") it runs that job once and ends.\n"
           "\n"
           "      --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "See quorvel(1).\n";
  }
  return "Usage: quorvel-batch [OPTION]... [--] SETTINGS-FILE\n"
         "       quorvel-batch --runs | --undo [ID]\n"
         "\n"
         "Runs the job of a saved settings file without a window: messages go to standard\n"
         "error, the unsafe-mode question is answered on standard input, the four results\n"
         "go to standard output.\n"
         "\n"
         "      --dry-run  change nothing: print for every listed file what the run would\n"
         "                 do (write, copy, exists, skip, stop), its hits and its path,\n"
         "                 then the four results; the exit status is the run's\n"
         "      --diff     with --dry-run: print instead a unified diff of every file the\n"
         "                 run would write, to apply with patch -p1 --binary in the\n"
         "                 working directory\n"
         "  -h, --help     show this help and exit\n"
         "  -V, --version  show the version and exit\n"
         "  --             end of the options; a settings file may then start with '-'\n"
         "      --runs     list the kept runs, newest first: id, start, settings file,\n"
         "                 files written, done or undone (tab-separated)\n"
         "      --undo [ID]  take back run ID, or the newest run not yet undone\n"
         "\n"
         "Every run that writes keeps a journal in\n"
         "${XDG_STATE_HOME:-$HOME/.local/state}/quorvel/runs (the 20 newest runs).\n"
         "\n"
         "Exit status: 0 after a run over the whole list, 1 on an error, 2 when the target\n"
         "directory could not be created, 64 for a wrong command line, 66 when the\n"
         "settings file does not exist or is a directory. --undo: 0 when all was taken\n"
         "back, 3 when files that changed since the run were left, 66 when there is\n"
         "nothing to undo, 1 on an error.\n"
         "\n"
         "See quorvel-batch(1).\n";
}

std::string VersionText(Program program) {
  return std::string(ProgramName(program)) + " " QUORVEL_VERSION "\n";
}

std::optional<int> AnswerCommandLine(Program program, const CommandLine& commandLine,
                                     std::ostream& out, std::ostream& err) {
  switch (commandLine.action) {
    case CommandLine::Action::Run:
    case CommandLine::Action::ListRuns:
    case CommandLine::Action::Undo:
      return std::nullopt;
    case CommandLine::Action::Help:
      out << UsageText(program) << std::flush;
      return 0;
    case CommandLine::Action::Version:
      out << VersionText(program) << std::flush;
      return 0;
    case CommandLine::Action::UsageError:
    {
      const std::string usage = UsageText(program);
      err << ProgramName(program) << ": " << commandLine.problem << "\n"
          << usage.substr(0, usage.find('\n') + 1) << "Try '" << ProgramName(program)
          << " --help' for more information.\n"
          << std::flush;
    }
      return kExitUsage;
  }
  return std::nullopt;
}

std::optional<std::string> SettingsFileProblem(const std::string& path) {
  const std::optional<platform::Attributes> attributes = platform::GetAttributes(path);
  if (!attributes) return path + ": no such settings file";
  if (attributes->directory) return path + ": is a directory, not a settings file";
  // A link that leads nowhere would be followed by the first save and create a file.
  if (attributes->system) return path + ": not a regular file, or a link to no file";
  return std::nullopt;
}

}  // namespace quorvel
