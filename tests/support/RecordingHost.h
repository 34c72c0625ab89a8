#pragma once
// Both halves of a run host for tests: it holds the window's options, answers every
// call at once and records each call in order, so a test can check what a run showed and when it let
// events be handled. Hooks let a test act in the middle of a run (delete a file when
// it is shown, fail a save, change the options in the safety confirmation).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/RunHost.h"
#include "files/FileList.h"
#include "files/RunOptions.h"
#include "files/PathText.h"

namespace quorvel::testing {

class RecordingHost : public RunOptionsHost, public RunDisplays, private ListingNotice {
 public:
  // What the window's controls hold; WorkDir and TargetDir are the two directory fields.
  RunOptions options;
  bool busyFlag = false;

  // Every call in order: "busy on", "confirm", "workdir <text>", "targetdir <text>",
  // "save", "listing begin <text>", "listing end", "count <n>", "file <path>",
  // "position <n>", "maximum <n>", "lines <n>", "hits <n>", "changed <n>",
  // "info <text>", "pump", "busy off".
  std::vector<std::string> log;
  // Counter and pump entries are left out of log when false (long inputs).
  bool logProgress = true;
  // Whether the run hands out the blocks of lines of each text file (to no one here),
  // which makes it split every file into lines.
  bool wantsBlocks = false;

  std::vector<bool> busyChanges;
  std::vector<std::string> messages;
  std::vector<std::string> filesShown;
  std::vector<int32_t> positions;
  int32_t fileCount = -1;
  int32_t maximum = -1;
  int32_t lines = -1;
  int32_t hits = -1;
  int32_t changed = -1;
  int pumps = 0;
  int saves = 0;
  int confirms = 0;

  std::function<void()> onConfirm;
  std::function<void()> onSave;  // may throw, as a failed settings write does
  std::function<void(const std::string&)> onCurrentFile;
  std::function<void()> onListingEnd;
  std::function<void(const std::string&)> onInformation;

  bool busy() const override { return busyFlag; }
  void setBusy(bool busy) override {
    busyFlag = busy;
    busyChanges.push_back(busy);
    log.push_back(busy ? "busy on" : "busy off");
  }

  void confirmUnsafeMode() override {
    ++confirms;
    log.push_back("confirm");
    if (onConfirm) onConfirm();
  }

  std::string workDirText() const override { return options.WorkDir; }
  void setWorkDirText(const std::string& text) override {
    options.WorkDir = text;
    log.push_back("workdir " + text);
  }
  std::string targetDirText() const override { return options.TargetDir; }
  void setTargetDirText(const std::string& text) override {
    options.TargetDir = text;
    log.push_back("targetdir " + text);
  }

  void saveOptions() override {
    ++saves;
    log.push_back("save");
    if (onSave) onSave();
  }
  RunOptions runOptions() const override { return options; }

  void showFileCount(int32_t count) override {
    fileCount = count;
    log.push_back("count " + IntToDecimal(count));
  }
  void showCurrentFile(const std::string& path) override {
    filesShown.push_back(path);
    log.push_back("file " + path);
    if (onCurrentFile) onCurrentFile(path);
  }
  void setProgressPosition(int32_t position) override {
    positions.push_back(position);
    log.push_back("position " + IntToDecimal(position));
  }
  void setProgressMaximum(int32_t value) override {
    maximum = value;
    log.push_back("maximum " + IntToDecimal(value));
  }
  void showCounter(RunCounter counter, int32_t value) override {
    const char* name = "";
    switch (counter) {
      case RunCounter::LinesRead:
        lines = value;
        name = "lines ";
        break;
      case RunCounter::HitsFound:
        hits = value;
        name = "hits ";
        break;
      case RunCounter::FilesChanged:
        changed = value;
        name = "changed ";
        break;
    }
    if (logProgress) log.push_back(name + IntToDecimal(value));
  }

  void showInformation(const std::string& text) override {
    messages.push_back(text);
    log.push_back("info " + text);
    if (onInformation) onInformation(text);
  }
  bool wantsTextBlocks() const override { return wantsBlocks; }
  void pumpEvents() override {
    ++pumps;
    if (logProgress) log.push_back("pump");
  }

  ListingNotice& listingNotice() override { return *this; }

  int32_t position() const { return positions.empty() ? -1 : positions.back(); }

 private:
  void begin(const std::string& text) override { log.push_back("listing begin " + text); }
  void end() override {
    log.push_back("listing end");
    if (onListingEnd) onListingEnd();
  }
};

}  // namespace quorvel::testing
