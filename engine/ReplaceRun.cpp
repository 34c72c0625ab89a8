#include "engine/ReplaceRun.h"

#include <cstdint>
#include <optional>

#include "engine/LineReplace.h"
#include "engine/LineStream.h"
#include "engine/Lines.h"
#include "engine/RunEffects.h"
#include "files/FileList.h"
#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTransaction.h"
#include "platform/RunJournal.h"

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
  bool text = false;          // handled as text: its blocks were told to the displays
  bool markReadOnly = false;  // the target gets the source's read-only bit afterwards
  int64_t hits = 0;
};

// One file while it is processed. The source is held open from here to its last
// write, so another program that opens it for writing meanwhile is noticed; the
// read-only bit and the size are those of the file as it was opened.
struct OpenSource {
  platform::SourceFile file;
  SourceRead read;
  platform::WriteRequest request;
  platform::DirHandle directory;  // the target's, opened by a real run
  bool wholeFile = false;  // the first block held every line: output_ is the new text
  bool straight = false;   // replaced straight from its bytes: wholeText_ is the new text
};

class Run {
 public:
  Run(RunDisplays& host, RunPlan plan, RunEffects& effects, RunMode mode)
      : host_(host),
        plan_(std::move(plan)),
        effects_(effects),
        mode_(mode),
        counters_(host),
        straight_(!host.wantsTextBlocks() && SearchesTextAsItIs(plan_.search)) {}

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
    OpenSource source;
    const FileStep step = decide(path, source);

    FileDecision decision;
    decision.source = path;
    decision.target = step.target;
    decision.action = step.action;
    decision.hits = step.hits;
    if (step.text) decision.predictedSource = effects_.changedContent(path);
    host_.showFileDecision(decision);

    carryOut(path, step, source);
    return step.action;
  }

  // Every decision of the output rules, with the effects that come before them (the
  // target directory, the target's read-only bit) through effects_.
  FileStep decide(const std::string& path, OpenSource& source) {
    const RunOptions& options = plan_.options;
    FileStep step;
    // Writing into the sources, a link that leads out of the working directory would
    // lead the write there: it counts as system.
    if (effects_.isHiddenOrSystem(path, options.OverSource ? sourceTree() : nullptr)) {
      return step;
    }

    source.read = effects_.openSource(path, source.file);
    const LineStream::Read& read = source.read.read;
    const int64_t size = source.read.size;
    stream_.start(read, size);
    // A file that fits one block and holds no NUL is replaced straight from its bytes
    // where no display wants its lines. Those bytes are text: joining lines never makes
    // them shorter.
    bool& straight = source.straight;
    std::string_view bytes;
    if (straight_ && size <= int64_t(LineStream::kBlock)) {
      bytes = stream_.nextBytes(input_);
      straight = stream_.ended() && int64_t(bytes.size()) == size;
      if (!straight) LineStream::splitBytes(input_, bytes);
    } else {
      stream_.next(input_);
    }

    const TargetPaths target = TargetPathsFor(path, plan_.workBase, plan_.targetRoot);
    step.target = target.file;
    if (!effects_.openTargetDirectory(plan_.targetRoot, target.directory, targetTree_,
                                       source.directory)) {
      step.action = FileAction::Stop;
      return step;
    }
    source.request.tree = targetTree_ ? &*targetTree_ : nullptr;
    source.request.directory = source.directory.valid() ? &source.directory : nullptr;
    source.request.replaces = options.OverSource ? &source.file : nullptr;
    source.request.sourceMode = source.file.mode();

    const bool copyAllowed = options.CopyUnchanged && !options.OverSource;
    // A file larger than one block is tested before its first line is counted, reading
    // no further than its first NUL.
    step.text = options.NoSafety || straight ||
                (stream_.ended() ? LooksLikeText(input_, size) : StreamLooksLikeText(read, size));
    if (step.text) {
      source.wholeFile = stream_.ended();
      bool changed = false;
      if (straight) {
        changed = ReplaceInText(bytes, wholeText_, plan_.search, hitCounter(&step), lineCounter());
      } else {
        int64_t firstLine = 0;
        do {
          changed = replaceBlock(&step) || changed;
          if (host_.wantsTextBlocks()) {
            host_.showTextBlock(TextBlock{path, firstLine, input_, output_});
          }
          firstLine += int64_t(input_.size());
        } while (stream_.next(input_));
      }
      if (changed) counters_.add(RunCounter::FilesChanged);
      if (!targetWritable(step.target, source.file)) return step;

      // Every row of the text-file table marks the target, also where nothing is written.
      step.markReadOnly = source.read.readOnly;
      if (!options.OverFiles && effects_.fileExists(step.target)) {
        step.action = FileAction::Exists;
      } else if (changed) {
        step.action = FileAction::Write;
      } else if (copyAllowed) {
        step.action = FileAction::Copy;
      }
      return step;
    }

    if (!copyAllowed || !targetWritable(step.target, source.file)) return step;
    if (!options.OverFiles && effects_.fileExists(step.target)) {
      step.action = FileAction::Exists;
    } else {
      step.action = FileAction::Copy;
      step.markReadOnly = source.read.readOnly;
    }
    return step;
  }

  // The changes and the messages a decision stands for; a dry run shows no message,
  // its decisions say it all.
  void carryOut(const std::string& path, const FileStep& step, OpenSource& source) {
    const bool real = mode_ == RunMode::Real;
    switch (step.action) {
      case FileAction::Write:
        effects_.writeText(step.target, source.file, source.request, newText(source));
        break;
      case FileAction::Copy:
        effects_.copyFile(path, source.file, step.target, source.request);
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

  // Writing into the sources, clearing the read-only bit changes the source itself; that
  // change is the run's own, not another program's.
  bool targetWritable(const std::string& targetPath, platform::SourceFile& source) {
    const bool writable = effects_.targetWritable(targetPath, plan_.options.IgnoreReadOnly,
                                                  targetTree_ ? &*targetTree_ : nullptr);
    if (plan_.options.OverSource && source.isOpen()) source.acceptOwnMetadataChange();
    return writable;
  }

  // Replaces in the block of lines in input_, into output_, counting into step when
  // given.
  bool replaceBlock(FileStep* step) {
    if (!step) return ReplaceInLines(input_, output_, plan_.search, nullptr, nullptr);
    return ReplaceInLines(input_, output_, plan_.search, hitCounter(step), lineCounter());
  }

  HitNotification hitCounter(FileStep* step) {
    return [this, step] {
      ++step->hits;
      counters_.add(RunCounter::HitsFound);
    };
  }
  LineNotification lineCounter() {
    return [this] { counters_.add(RunCounter::LinesRead); };
  }

  // The new text of a changed file. A file larger than one block has had its lines
  // counted, so the replacement is made once more, block by block, as it is written.
  TextContent newText(OpenSource& source) {
    TextContent content;
    if (source.wholeFile) {
      content.whole = source.straight ? wholeText_.view() : output_.joined();
      return content;
    }
    content.blocks = [this, &source](const std::function<bool(std::string_view)>& sink) {
      stream_.start(source.read.read, source.read.size);
      while (stream_.next(input_)) {
        replaceBlock(nullptr);
        if (!sink(output_.joined())) return;
      }
    };
    return content;
  }

  // The working directory as the tree of the writes into the sources.
  const platform::WriteTree* sourceTree() {
    if (!targetTree_) targetTree_ = platform::WriteTree::Open(plan_.targetRoot);
    return targetTree_ ? &*targetTree_ : nullptr;
  }

  RunDisplays& host_;
  RunPlan plan_;
  RunEffects& effects_;
  RunMode mode_;
  RunCounters counters_;
  std::optional<platform::WriteTree> targetTree_;
  // Whether a file read whole may be replaced straight from its bytes.
  const bool straight_;
  LineStream stream_;
  LineList input_;
  LineList output_;
  platform::ByteBuffer wholeText_;  // the new text of a file read whole
};

}  // namespace

LineSearch LineSearchFor(const RunOptions& options) {
  return MakeLineSearch(options.Search, options.RemoveMode ? std::string() : options.Replace,
                        options.CaseSensitive);
}

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

  // Everything a real run writes is journaled, so that it can be taken back; a dry run
  // writes nothing, not even a journal.
  std::optional<platform::RunJournal> journal;
  if (mode == RunMode::Real) journal.emplace(options.settingsFilePath());
  FileEffects real(journal ? &*journal : nullptr);
  std::optional<DryEffects> dry;
  if (mode == RunMode::Dry) dry.emplace(files);
  RunEffects& effects = dry ? static_cast<RunEffects&>(*dry) : real;
  Run run(host, std::move(plan), effects, mode);
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
