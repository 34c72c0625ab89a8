#include "app/DryRun.h"

#include <ostream>

#include "engine/Lines.h"
#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "run/UnifiedDiff.h"

namespace quorvel {

const char* DryRunActionWord(FileAction action) {
  switch (action) {
    case FileAction::Write:
      return "write";
    case FileAction::Copy:
      return "copy";
    case FileAction::Exists:
      return "exists";
    case FileAction::Skip:
      return "skip";
    case FileAction::Stop:
      return "stop";
  }
  return "";
}

void DryRunListing::show(const TextBlock& block) {
  if (diff_) after_.append(block.after.joined());
}

void DryRunListing::show(const FileDecision& decision) {
  std::string after;
  after.swap(after_);
  if (!diff_) {
    out_ << DryRunActionWord(decision.action) << '\t' << decision.hits << '\t'
         << decision.source << '\n';
    return;
  }
  if (decision.action != FileAction::Write) return;
  if (workBase_.empty()) {
    workBase_ = EnsureTrailingSeparator(NormalizeDirectoryText(options_.workDirText()));
  }
  // The bytes a write into the sources replaces: those on disk, unless an earlier
  // file of the run would have changed them.
  std::string disk;
  const std::string* before = decision.predictedSource;
  if (!before) {
    const std::string source(decision.source);
    if (platform::ReadWholeFile(source, disk) != platform::ReadResult::Ok) {
      throw CannotOpenFile(source);
    }
    before = &disk;
  }
  const std::string_view source = decision.source;
  const std::string_view relative =
      source.substr(0, workBase_.size()) == workBase_ ? source.substr(workBase_.size()) : source;
  out_ << UnifiedDiff(relative, *before, after);
}

}  // namespace quorvel
