#pragma once
// What a replace run needs of its front end (the main window, the batch runner, a
// test), in two halves. The options half holds the busy flag, the safety
// confirmation, the two directory fields and the options; the displays half shows how
// the run goes and its modal information messages.

#include <cstdint>
#include <string>

#include "files/FileList.h"
#include "files/RunOptions.h"

namespace quorvel {

enum class RunCounter { LinesRead, HitsFound, FilesChanged };

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
  // Handles pending window events. Called after every display update, so a window
  // should keep it cheap.
  virtual void pumpEvents() = 0;

  virtual ListingNotice& listingNotice() = 0;
};

}  // namespace quorvel
