#pragma once
// The replace run: one press of the action button or one batch job, over every file
// that the working directory, the extension filter and the subdirectory option select.

#include <string>

#include "engine/LineReplace.h"
#include "engine/RunHost.h"
#include "files/RunOptions.h"

namespace quorvel {

inline constexpr const char* kCannotCreateTargetDirText = "Nemohu vytvořit cílový adresář.";
inline constexpr const char* kOverwriteText =
    "Zjištěn přepis existujícího souboru. Pokud chcete přepisovat soubory, zaškrtněte tuto "
    "volbu. Pro tentokrát byla operace zrušena.";

enum class RunEnd {
  NotStarted,       // the busy flag was already set
  Completed,        // every listed file was processed
  TargetDirFailed,  // ended early after "Nemohu vytvořit cílový adresář."
};

// Real: the run. Dry: the same steps and decisions with every change left out: no
// safety question (NoSafety as stored), no directory field or settings written, no
// file, directory or attribute changed, no message shown. Its decisions go to
// showFileDecision, and it ends where the run would, with the same errors.
enum class RunMode { Real, Dry };

// Performs one run with the options and the displays of a front end. File errors end
// it with quorvel::Error, and so does whatever the displays throw; the busy flag is
// cleared on every way out.
RunEnd ReplaceRun(RunOptionsHost& options, RunDisplays& displays, RunMode mode = RunMode::Real);

// The search of a run with these options.
LineSearch LineSearchFor(const RunOptions& options);

// Where the run puts the file at sourcePath: its directory's place below workBase (the
// working directory with a trailing separator) repeated under targetRoot.
struct TargetPaths {
  std::string directory;
  std::string file;
};
TargetPaths TargetPathsFor(const std::string& sourcePath, const std::string& workBase,
                           const std::string& targetRoot);

}  // namespace quorvel
