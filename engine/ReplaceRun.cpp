#include "engine/ReplaceRun.h"

#include <cstdint>

#include "engine/LineReplace.h"
#include "engine/Lines.h"
#include "files/FileList.h"
#include "files/FileOps.h"
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

enum class FileEnd { Next, EndRun };

class Run {
 public:
  Run(RunDisplays& host, RunPlan plan) : host_(host), plan_(std::move(plan)), counters_(host) {}

  RunEnd processAll(const FileList& files) {
    counters_.reset();
    for (size_t i = 0; i < files.size(); ++i) {
      if (processFile(files[i]) == FileEnd::EndRun) return RunEnd::TargetDirFailed;
      host_.setProgressPosition(int32_t(i + 1));
      host_.pumpEvents();
    }
    return RunEnd::Completed;
  }

 private:
  FileEnd processFile(const std::string& path) {
    host_.showCurrentFile(path);
    host_.pumpEvents();
    if (IsHiddenOrSystem(path)) return FileEnd::Next;

    // The file as it was opened: the read-only bit is taken before anything is written,
    // and the text test measures the bytes that were read.
    const LoadedFile loaded = LoadLines(path, input_);
    const bool sourceReadOnly = loaded.readOnly;

    const TargetPaths target = TargetPathsFor(path, plan_.workBase, plan_.targetRoot);
    if (!CreateDirectoryPath(target.directory)) {
      host_.showInformation(kCannotCreateTargetDirText);
      return FileEnd::EndRun;
    }
    const std::string& targetPath = target.file;

    const RunOptions& options = plan_.options;
    const bool copyAllowed = options.CopyUnchanged && !options.OverSource;
    const bool asText = options.NoSafety || LooksLikeText(input_, loaded.size);
    if (asText) {
      const bool changed = ReplaceInLines(
          input_, output_, plan_.search, [this] { counters_.add(RunCounter::HitsFound); },
          [this] { counters_.add(RunCounter::LinesRead); });
      if (changed) counters_.add(RunCounter::FilesChanged);
      if (!TargetWritable(targetPath, options.IgnoreReadOnly)) return FileEnd::Next;

      if (!options.OverFiles && platform::FileExists(targetPath)) {
        host_.showInformation(kOverwriteText);
      } else if (changed) {
        SaveLines(output_, targetPath);
      } else if (copyAllowed) {
        CopyWholeFile(path, targetPath);
      }
      if (sourceReadOnly) platform::SetReadOnly(targetPath);
      return FileEnd::Next;
    }

    if (!copyAllowed || !TargetWritable(targetPath, options.IgnoreReadOnly)) {
      return FileEnd::Next;
    }
    if (!options.OverFiles && platform::FileExists(targetPath)) {
      host_.showInformation(kOverwriteText);
      return FileEnd::Next;
    }
    CopyWholeFile(path, targetPath);
    if (sourceReadOnly) platform::SetReadOnly(targetPath);
    return FileEnd::Next;
  }

  RunDisplays& host_;
  RunPlan plan_;
  RunCounters counters_;
  LineList input_;
  LineList output_;
};

}  // namespace

RunEnd ReplaceRun(RunOptionsHost& options, RunDisplays& host) {
  if (options.busy()) return RunEnd::NotStarted;
  BusyGuard busy(options);

  options.confirmUnsafeMode();
  if (!options.runOptions().OverSource) {
    options.setTargetDirText(NormalizeDirectoryText(options.targetDirText()));
  }
  options.setWorkDirText(NormalizeDirectoryText(options.workDirText()));
  options.saveOptions();

  RunPlan plan;
  plan.options = options.runOptions();
  const RunOptions& chosen = plan.options;
  plan.workBase = EnsureTrailingSeparator(chosen.WorkDir);
  plan.targetRoot = chosen.OverSource ? chosen.WorkDir : chosen.TargetDir;
  plan.search = MakeLineSearch(chosen.Search, chosen.RemoveMode ? std::string() : chosen.Replace,
                               chosen.CaseSensitive);

  FileList files;
  const int32_t count = BuildFileList(files, chosen.WorkDir, chosen.Extensions, chosen.Subdirs,
                                      host.listingNotice());
  host.showFileCount(count);
  host.setProgressPosition(0);
  host.setProgressMaximum(count);

  Run run(host, std::move(plan));
  return run.processAll(files);
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
