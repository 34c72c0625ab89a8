#pragma once
// What both front ends share to start a run: the options half of the run host, written
// once over the option controls and the safety dialogs a front end has, and the batch
// job of a saved settings file. A front end implements only its displays.

#include "engine/ReplaceRun.h"
#include "engine/RunHost.h"
#include "settings/Options.h"
#include "settings/SafetyCheck.h"

namespace quorvel {

class ControlOptions final : public RunOptionsHost {
 public:
  ControlOptions(OptionControls& controls, SafetyDialogs& dialogs)
      : controls_(controls), dialogs_(dialogs) {}

  bool busy() const override;
  void setBusy(bool busy) override;
  void confirmUnsafeMode() override;
  std::string workDirText() const override;
  void setWorkDirText(const std::string& text) override;
  std::string targetDirText() const override;
  void setTargetDirText(const std::string& text) override;
  void saveOptions() override;
  RunOptions runOptions() const override;
  std::string settingsFilePath() const override { return controls_.settingsFile().path; }

  // The options from the settings file into the controls.
  void loadOptions();

 private:
  OptionControls& controls_;
  SafetyDialogs& dialogs_;
};

// One batch job: the options loaded from the settings file, one run, the options
// saved. Errors end it with quorvel::Error before the save. A dry job saves nothing.
RunEnd RunBatchJob(ControlOptions& options, RunDisplays& displays,
                   RunMode mode = RunMode::Real);

}  // namespace quorvel
