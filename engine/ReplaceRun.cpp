#include "engine/ReplaceRun.h"

#include <cstdint>
#include <memory>

#include "engine/LineReplace.h"
#include "engine/Lines.h"
#include "engine/RunEffects.h"
#include "files/FileList.h"
#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

// Sets the busy flag for the lifetime of a run, so every way out clears it.
class BusyGuard {
 public:
  explicit BusyGuard(RunOptionsHost& host) : host_(host) { host_.setBusy(true); }
  ~BusyGuard() { host_.setBusy(false); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  RunOptionsHost& host_;
};

// The three counts of a run; they wrap around instead of overflowing.
class RunCounters {
 public:
  explicit RunCounters(RunDisplays& host) : host_(host) {}

  void reset() {
    for (RunCounter counter :
         {RunCounter::LinesRead, RunCounter::HitsFound, RunCounter::FilesChanged}) {
      values_[Index(counter)] = 0;
      host_.showCounter(counter, 0);
      host_.pumpEvents();
    }
  }

  void add(RunCounter counter) {
    int32_t& value = values_[Index(counter)];
    value = int32_t(uint32_t(value) + 1u);
    host_.showCounter(counter, value);
    host_.pumpEvents();
  }

 private:
  static size_t Index(RunCounter counter) { return size_t(counter); }

  RunDisplays& host_;
  int32_t values_[3] = {0, 0, 0};
};

// What a run fixes once its preparation is done.
struct RunPlan {
  RunOptions options;
  std::string workBase;    // the working directory with a trailing separator
  std::string targetRoot;  // the working directory itself when writing over the sources
  LineSearch search;
};

// What the run decided for one file, before anything is carried out.
struct FileStep {
  FileAction action = FileAction::Skip;
  std::string target;
  bool text = false;          // the input and output lines hold the file
  bool markReadOnly = false;  // the target gets the source's read-only bit afterwards
  int64_t hits = 0;
};

class Run {
 public:
  Run(RunDisplays& host, RunPlan plan, RunEffects& effects, RunMode mode)
      : host_(host), plan_(std::move(plan)), effects_(effects), mode_(mode), counters_(host) {}

  RunEnd processAll(const FileList& files) {
    counters_.reset();
    for (size_t i = 0; i < files.size(); ++i) {
      if (processFile(files[i]) == FileAction::Stop) return RunEnd::TargetDirFailed;
      host_.setProgressPosition(int32_t(i + 1));
      host_.pumpEvents();
    }
    return RunEnd::Completed;
  }

 private:
  FileAction processFile(const std::string& path) {
    host_.showCurrentFile(path);
    host_.pumpEvents();
    const FileStep step = decide(path);

    FileDecision decision;
    decision.source = path;
    decision.target = step.target;
    decision.action = step.action;
    decision.hits = step.hits;
    if (step.text) {
      decision.before = &input_;
      decision.after = &output_;
      decision.predictedSource = effects_.changedContent(path);
    }
    host_.showFileDecision(decision);

    carryOut(path, step);
    return step.action;
  }

  // Every decision of the output rules, with the effects that come before them (the
  // target directory, the target's read-only bit) through effects_.
  FileStep decide(const std::string& path) {
    FileStep step;
    if (effects_.isHiddenOrSystem(path)) return step;

    // The file as it was opened: the read-only bit is taken before anything is written,
    // and the text test measures the bytes that were read.
    const LoadedFile loaded = effects_.loadLines(path, input_);
    const TargetPaths target = TargetPathsFor(path, plan_.workBase, plan_.targetRoot);
    step.target = target.file;
    if (!effects_.createDirectoryPath(target.directory)) {
      step.action = FileAction::Stop;
      return step;
    }

    const RunOptions& options = plan_.options;
    const bool copyAllowed = options.CopyUnchanged && !options.OverSource;
    step.text = options.NoSafety || LooksLikeText(input_, loaded.size);
    if (step.text) {
      const bool changed = ReplaceInLines(
          input_, output_, plan_.search,
          [this, &step] {
            ++step.hits;
            counters_.add(RunCounter::HitsFound);
          },
          [this] { counters_.add(RunCounter::LinesRead); });
      if (changed) counters_.add(RunCounter::FilesChanged);
      if (!effects_.targetWritable(step.target, options.IgnoreReadOnly)) return step;

      // Every row of the text-file table marks the target, also where nothing is written.
      step.markReadOnly = loaded.readOnly;
      if (!options.OverFiles && effects_.fileExists(step.target)) {
        step.action = FileAction::Exists;
      } else if (changed) {
        step.action = FileAction::Write;
      } else if (copyAllowed) {
        step.action = FileAction::Copy;
      }
      return step;
    }

    if (!copyAllowed || !effects_.targetWritable(step.target, options.IgnoreReadOnly)) {
      return step;
    }
    if (!options.OverFiles && effects_.fileExists(step.target)) {
      step.action = FileAction::Exists;
    } else {
      step.action = FileAction::Copy;
      step.markReadOnly = loaded.readOnly;
    }
    return step;
  }

  // The changes and the messages a decision stands for; a dry run shows no message,
  // its decisions say it all.
  void carryOut(const std::string& path, const FileStep& step) {
    const bool real = mode_ == RunMode::Real;
    switch (step.action) {
      case FileAction::Write:
        effects_.saveLines(output_, step.target);
        break;
      case FileAction::Copy:
        effects_.copyWholeFile(path, step.target);
        break;
      case FileAction::Exists:
        if (real) host_.showInformation(kOverwriteText);
        break;
      case FileAction::Stop:
        if (real) host_.showInformation(kCannotCreateTargetDirText);
        break;
      case FileAction::Skip:
        break;
    }
    if (step.markReadOnly) effects_.markReadOnly(step.target);
  }

  RunDisplays& host_;
  RunPlan plan_;
  RunEffects& effects_;
  RunMode mode_;
  RunCounters counters_;
  LineList input_;
  LineList output_;
};

}  // namespace

RunEnd ReplaceRun(RunOptionsHost& options, RunDisplays& host, RunMode mode) {
  if (options.busy()) return RunEnd::NotStarted;
  BusyGuard busy(options);

  RunPlan plan;
  if (mode == RunMode::Real) {
    options.confirmUnsafeMode();
    if (!options.runOptions().OverSource) {
      options.setTargetDirText(NormalizeDirectoryText(options.targetDirText()));
    }
    options.setWorkDirText(NormalizeDirectoryText(options.workDirText()));
    options.saveOptions();
    plan.options = options.runOptions();
  } else {
    // The same directories, normalised without touching the fields or the settings.
    plan.options = options.runOptions();
    if (!plan.options.OverSource) {
      plan.options.TargetDir = NormalizeDirectoryText(options.targetDirText());
    }
    plan.options.WorkDir = NormalizeDirectoryText(options.workDirText());
  }
  const RunOptions& chosen = plan.options;
  plan.workBase = EnsureTrailingSeparator(chosen.WorkDir);
  plan.targetRoot = chosen.OverSource ? chosen.WorkDir : chosen.TargetDir;
  plan.search = LineSearchFor(chosen);

  FileList files;
  const int32_t count = BuildFileList(files, chosen.WorkDir, chosen.Extensions, chosen.Subdirs,
                                      host.listingNotice());
  host.showFileCount(count);
  host.setProgressPosition(0);
  host.setProgressMaximum(count);

  std::unique_ptr<RunEffects> effects;
  if (mode == RunMode::Real) {
    effects = std::make_unique<FileEffects>();
  } else {
    effects = std::make_unique<DryEffects>(files);
  }
  Run run(host, std::move(plan), *effects, mode);
  return run.processAll(files);
}

LineSearch LineSearchFor(const RunOptions& options) {
  return MakeLineSearch(options.Search, options.RemoveMode ? std::string() : options.Replace,
                        options.CaseSensitive);
}

TargetPaths TargetPathsFor(const std::string& sourcePath, const std::string& workBase,
                           const std::string& targetRoot) {
  const std::string directory = DirectoryPart(sourcePath);
  const std::string relativeDir =
      directory.size() > workBase.size() ? directory.substr(workBase.size()) : std::string();
  TargetPaths paths;
  paths.directory = EnsureTrailingSeparator(targetRoot) + relativeDir;
  paths.file = EnsureTrailingSeparator(paths.directory) + FileNamePart(sourcePath);
  return paths;
}

}  // namespace quorvel
