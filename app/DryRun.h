#pragma once
// What quorvel-batch --dry-run prints on standard output: for every listed file a line
// "ACTION<tab>HITS<tab>PATH", or with --diff the unified diff of every file the run
// would write, against the bytes a write into the sources would leave.

#include <iosfwd>
#include <string>

#include "engine/RunHost.h"

namespace quorvel {

// The word of the listing for an action: write, copy, exists, skip, stop.
const char* DryRunActionWord(FileAction action);

class DryRunListing {
 public:
  // The diff names files below the working directory of options, normalised as the
  // run does it; it is read at the first diff, once the job's options are loaded.
  DryRunListing(std::ostream& out, bool diff, const RunOptionsHost& options)
      : out_(out), diff_(diff), options_(options) {}

  // The blocks of a text file come before its decision; with --diff the new text is
  // gathered from them.
  void show(const TextBlock& block);
  bool wantsTextBlocks() const { return diff_; }
  void show(const FileDecision& decision);

 private:
  std::ostream& out_;
  bool diff_;
  const RunOptionsHost& options_;
  std::string workBase_;
  std::string after_;  // the new text of the file whose blocks are coming
};

}  // namespace quorvel
