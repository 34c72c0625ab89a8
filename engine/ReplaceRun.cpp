#include "engine/ReplaceRun.h"

#include <cstdint>
#include <optional>

#include "engine/LineReplace.h"
#include "engine/LineStream.h"
#include "engine/Lines.h"
#include "files/FileList.h"
#include "files/FileOps.h"
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

enum class FileEnd { Next, EndRun };

// Reads the source through its descriptor, at any offset, for the line stream.
LineStream::Read ReaderOf(platform::SourceFile& source) {
  return [&source](char* data, size_t size, int64_t offset) {
    return source.readAt(data, size, offset);
  };
}

class Run {
 public:
  Run(RunDisplays& host, RunPlan plan, platform::RunJournal& journal)
      : host_(host), plan_(std::move(plan)), counters_(host), journal_(journal) {}

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
    const RunOptions& options = plan_.options;
    // Writing into the sources, a link that leads out of the working directory would
    // lead the write there: it counts as system.
    if (IsHiddenOrSystem(path, options.OverSource ? sourceTree() : nullptr)) return FileEnd::Next;

    // The file is held open from here to its last write, so another program that opens
    // it for writing meanwhile is noticed; the read-only bit and the size are those of
    // the file as it was opened.
    platform::SourceFile source;
    if (source.open(path) != platform::SourceFile::Status::Ok) throw CannotOpenFile(path);
    const bool sourceReadOnly = source.readOnly();
    const int64_t size = source.identity().size;
    const LineStream::Read read = ReaderOf(source);
    stream_.start(read, size);
    stream_.next(input_);

    const TargetPaths target = TargetPathsFor(path, plan_.workBase, plan_.targetRoot);
    if (!openTargetDirectory(target.directory)) {
      host_.showInformation(kCannotCreateTargetDirText);
      return FileEnd::EndRun;
    }
    const std::string& targetPath = target.file;
    platform::WriteRequest request;
    request.tree = &*targetTree_;
    request.replaces = options.OverSource ? &source : nullptr;
    request.sourceMode = source.mode();
    request.journal = &journal_;

    const bool copyAllowed = options.CopyUnchanged && !options.OverSource;
    // A file larger than one block is tested before its first line is counted, reading
    // no further than its first NUL.
    const bool asText = options.NoSafety || (stream_.ended() ? LooksLikeText(input_, size)
                                                             : StreamLooksLikeText(read, size));
    if (asText) {
      const bool wholeFile = stream_.ended();
      bool changed = replaceBlock(true);
      while (stream_.next(input_)) changed = replaceBlock(true) || changed;
      if (changed) counters_.add(RunCounter::FilesChanged);
      if (!targetWritable(targetPath, source)) return FileEnd::Next;

      if (!options.OverFiles && platform::FileExists(targetPath)) {
        host_.showInformation(kOverwriteText);
      } else if (changed) {
        ensureSourceUnchanged(source);
        if (wholeFile) {
          SaveLines(output_, targetPath, request);
        } else {
          saveStreamed(read, size, targetPath, request);
        }
      } else if (copyAllowed) {
        ensureSourceUnchanged(source);
        CopyWholeFile(source, targetPath, request);
      }
      if (sourceReadOnly) platform::SetReadOnly(targetPath, &journal_);
      return FileEnd::Next;
    }

    if (!copyAllowed || !targetWritable(targetPath, source)) return FileEnd::Next;
    if (!options.OverFiles && platform::FileExists(targetPath)) {
      host_.showInformation(kOverwriteText);
      return FileEnd::Next;
    }
    ensureSourceUnchanged(source);
    CopyWholeFile(source, targetPath, request);
    if (sourceReadOnly) platform::SetReadOnly(targetPath, &journal_);
    return FileEnd::Next;
  }

  // Writing into the sources, clearing the read-only bit changes the source itself; that
  // change is the run's own, not another program's.
  bool targetWritable(const std::string& targetPath, platform::SourceFile& source) {
    const bool writable =
        TargetWritable(targetPath, plan_.options.IgnoreReadOnly, &*targetTree_, &journal_);
    if (plan_.options.OverSource) source.acceptOwnMetadataChange();
    return writable;
  }

  // Replaces in the block of lines in input_, into output_, counting when asked.
  bool replaceBlock(bool count) {
    if (!count) return ReplaceInLines(input_, output_, plan_.search, nullptr, nullptr);
    return ReplaceInLines(
        input_, output_, plan_.search, [this] { counters_.add(RunCounter::HitsFound); },
        [this] { counters_.add(RunCounter::LinesRead); });
  }

  // A file larger than one block: its lines have been counted, so the replacement is
  // made once more, block by block, into the staged new file.
  void saveStreamed(const LineStream::Read& read, int64_t size, const std::string& targetPath,
                    const platform::WriteRequest& request) {
    platform::FileTransaction write;
    platform::TransactionResult result = write.begin(targetPath, request);
    stream_.start(read, size);
    while (result == platform::TransactionResult::Ok && stream_.next(input_)) {
      replaceBlock(false);
      result = write.append(output_.joined());
    }
    if (result == platform::TransactionResult::Ok) result = write.commit();
    RaiseWriteFailure(result, targetPath, targetPath);
  }

  // A source that another program opened for writing or changed while it was processed
  // is not written anywhere: its content may be half of an edit.
  static void ensureSourceUnchanged(const platform::SourceFile& source) {
    if (!source.unchanged()) throw CannotOpenFile(source.path());
  }

  // The working directory as the tree of the writes into the sources.
  const platform::WriteTree* sourceTree() {
    if (!targetTree_) targetTree_ = platform::WriteTree::Open(plan_.targetRoot);
    return targetTree_ ? &*targetTree_ : nullptr;
  }

  // The target root is made with every missing parent and opened once; every level
  // below it is then opened or made without following a link, so a link where the
  // target tree needs a directory is a directory that cannot be created.
  bool openTargetDirectory(const std::string& directory) {
    if (!targetTree_) {
      if (!CreateDirectoryPath(plan_.targetRoot, &journal_)) return false;
      targetTree_ = platform::WriteTree::Open(plan_.targetRoot);
      if (!targetTree_) return false;
    }
    platform::DirHandle handle;
    return targetTree_->openDirectory(directory, true, handle, &journal_) ==
           platform::WriteTree::DirStatus::Ok;
  }

  RunDisplays& host_;
  RunPlan plan_;
  RunCounters counters_;
  platform::RunJournal& journal_;
  std::optional<platform::WriteTree> targetTree_;
  LineStream stream_;
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

  // Everything the run writes is journaled, so that it can be taken back.
  platform::RunJournal journal(options.settingsFilePath());
  Run run(host, std::move(plan), journal);
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
