#pragma once
// The journal of a run: what the run replaced, created and re-marked, kept so that the
// run can be taken back. One folder per run below RunsDirectory(): a "run" file with
// the start and the settings file, a "records" file with one line per change, and
// "old/", which holds every replaced file whole (a hard link to the old inode where
// that keeps it, a copy otherwise). Each record is on disk before the step it
// describes, so a run killed half-way is known up to where it got.
//
// The write path calls the journal; nothing is on disk until the first record, so a
// run that writes nothing leaves no journal. The journals past the newest kRunsKept
// are removed when a new one starts.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileTransaction.h"

struct stat;

namespace quorvel::platform {

inline constexpr int kRunsKept = 20;

// ${XDG_STATE_HOME:-$HOME/.local/state}/quorvel/runs, or "" when neither tells a place
// (a relative XDG_STATE_HOME counts as unset).
std::string RunsDirectory();

class RunJournal {
 public:
  explicit RunJournal(std::string settingsFile);
  ~RunJournal();
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  // A journal with no place to live records nothing and refuses nothing.
  bool enabled() const { return !runs_.empty(); }

  // Keeps the file at name (relative to dirfd; its absolute path, when the caller knows
  // it, in path), whose metadata is old, before a write
  // replaces it, and records what the write will leave there. inPlace: the write
  // rewrites the inode itself, so a hard link would not keep the old bytes. Returns
  // the record's number, or 0 when the file cannot be kept: the write must not go on.
  uint64_t keepReplaced(int dirfd, const std::string& name, const std::string& path,
                        const struct stat& old,
                        const FileIdentity& left, bool inPlace);
  // Records the file the write will create at name; 0 when it cannot.
  uint64_t recordCreated(int dirfd, const std::string& name, const std::string& path,
                         const FileIdentity& left);
  // The write that record announced did not happen.
  void cancel(uint64_t record);
  // A directory the run has just created: level in parentfd, or a path.
  void recordDirectory(int parentfd, const std::string& level);
  void recordDirectory(const std::string& path);
  // Records the permission bits the run is about to give the file at path; false when
  // the record cannot be written (the change must then not be made).
  bool recordMode(const std::string& path, const struct stat& now, uint32_t after);

 private:
  bool start();
  uint64_t append(const std::string& line);
  std::string absolutePath(int dirfd, const std::string& name);

  std::string runs_;
  std::string settingsFile_;
  std::string folder_;
  int recordsFd_ = -1;
  int oldFd_ = -1;
  bool failed_ = false;
  uint64_t next_ = 1;
  std::string cachedDir_, cachedReal_;
};

// One kept run, as the listing shows it.
struct RunSummary {
  std::string id;
  int64_t startSec = 0;
  std::string settingsFile;
  int32_t filesWritten = 0;  // replaced or created
  bool undone = false;
};

// The kept runs, newest first.
std::vector<RunSummary> ListRuns();

struct UndoOutcome {
  enum class Status { Done, NotFound, Failed };
  Status status = Status::Done;
  int32_t restored = 0;  // replaced files put back
  int32_t removed = 0;   // created files removed
  std::vector<std::string> leftChanged;  // changed since the run, left as they are
  std::string problem;   // for Failed
};

// Takes back the run with id: replaced files get their old content and metadata back,
// created files and (empty) directories go, permission bits are as before; a file that
// is no longer the one the run left stays. Marks the run undone unless it failed.
UndoOutcome UndoRun(const std::string& id);

// For tests: keep copies even where a hard link would do.
void SetJournalCopiesForTesting(bool copies);

}  // namespace quorvel::platform
