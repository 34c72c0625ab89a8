#pragma once
// What a replace run needs of its front end (the main window, the batch runner, a
// test), in two halves. The options half holds the busy flag, the safety
// confirmation, the two directory fields and the options; the displays half shows how
// the run goes and its modal information messages.

#include <cstdint>
#include <string>
#include <string_view>

#include "files/FileList.h"
#include "files/RunOptions.h"

namespace quorvel {

enum class RunCounter { LinesRead, HitsFound, FilesChanged };

class LineList;

// What a run does with one listed file: saves the changed text, copies the file
// unchanged, shows the overwrite message instead, passes over it, or ends there because
// the target directory cannot be created.
enum class FileAction { Write, Copy, Exists, Skip, Stop };

struct FileDecision {
  std::string_view source;
  std::string_view target;  // empty when the source was passed over unread
  FileAction action = FileAction::Skip;
  int64_t hits = 0;
  // In a dry run, the source's bytes where an earlier file of the same run would have
  // written them; null where the file on disk is what the run reads.
  const std::string* predictedSource = nullptr;
};

// One block of whole lines of a file handled as text, as read and after the
// replacement; the lines of a file come block by block, all before its decision.
// Valid during the notification only.
struct TextBlock {
  std::string_view source;
  int64_t firstLine = 0;  // the number of the block's first line in the file, from 0
  const LineList& before;
  const LineList& after;
};

class RunOptionsHost {
 public:
  virtual ~RunOptionsHost() = default;

  virtual bool busy() const = 0;
  virtual void setBusy(bool busy) = 0;

  // Does nothing unless NoSafety is set; may clear NoSafety. Always returns.
  virtual void confirmUnsafeMode() = 0;

  virtual std::string workDirText() const = 0;
  virtual void setWorkDirText(const std::string& text) = 0;
  virtual std::string targetDirText() const = 0;
  virtual void setTargetDirText(const std::string& text) = 0;

  // Saves all options as they stand; may throw quorvel::Error.
  virtual void saveOptions() = 0;
  virtual RunOptions runOptions() const = 0;
  // The settings file the run's journal names; none by default.
  virtual std::string settingsFilePath() const { return {}; }
};

class RunDisplays {
 public:
  virtual ~RunDisplays() = default;

  virtual void showFileCount(int32_t count) = 0;
  virtual void showCurrentFile(const std::string& path) = 0;
  virtual void setProgressPosition(int32_t position) = 0;
  virtual void setProgressMaximum(int32_t maximum) = 0;
  virtual void showCounter(RunCounter counter, int32_t value) = 0;

  // A modal information message; returns when the user has closed it.
  virtual void showInformation(const std::string& text) = 0;
  // Each block of a text file, then each listed file's decision, told before it is
  // carried out: an error of reading a file comes before its decision, one of writing
  // it after.
  // The blocks go only to a host that wants them; for the others a file read whole is
  // replaced straight from its bytes, never split into a list of lines.
  virtual bool wantsTextBlocks() const { return false; }
  virtual void showTextBlock(const TextBlock& block) { (void)block; }
  virtual void showFileDecision(const FileDecision& decision) { (void)decision; }
  // Handles pending window events. Called after every display update, so a window
  // should keep it cheap.
  virtual void pumpEvents() = 0;

  virtual ListingNotice& listingNotice() = 0;
};

}  // namespace quorvel
