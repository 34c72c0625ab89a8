#include "run/FrontEnd.h"

namespace quorvel {

bool ControlOptions::busy() const { return controls_.busy(); }
void ControlOptions::setBusy(bool busy) { controls_.setBusy(busy); }
void ControlOptions::confirmUnsafeMode() { ConfirmUnsafeMode(controls_, dialogs_); }

std::string ControlOptions::workDirText() const { return controls_.optionText("WorkDir"); }
void ControlOptions::setWorkDirText(const std::string& text) {
  controls_.setOptionText("WorkDir", text);
}
std::string ControlOptions::targetDirText() const { return controls_.optionText("TargetDir"); }
void ControlOptions::setTargetDirText(const std::string& text) {
  controls_.setOptionText("TargetDir", text);
}

void ControlOptions::saveOptions() { SaveOptions(controls_); }
RunOptions ControlOptions::runOptions() const { return ReadRunOptions(controls_); }
void ControlOptions::loadOptions() { LoadOptions(controls_); }

RunEnd RunBatchJob(ControlOptions& options, RunDisplays& displays, RunMode mode) {
  options.loadOptions();
  const RunEnd end = ReplaceRun(options, displays, mode);
  if (mode == RunMode::Real) options.saveOptions();
  return end;
}

}  // namespace quorvel
