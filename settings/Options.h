#pragma once
// Loading and saving the options of the GENERAL section, against the option controls
// of a front end (the main window, or the batch runner's in-memory values).

#include <string>
#include <string_view>
#include <utility>

#include "files/RunOptions.h"
#include "settings/GeneralKeys.h"
#include "settings/Settings.h"

namespace quorvel {

// The option controls, addressed by settings key. Texts are the bytes the settings
// file stores.
class OptionControls {
 public:
  virtual ~OptionControls() = default;
  virtual std::string optionText(std::string_view key) const = 0;
  virtual void setOptionText(std::string_view key, const std::string& text) = 0;
  virtual bool optionChecked(std::string_view key) const = 0;
  // Setting "OverSource" to a new state runs OverwriteSourceToggled, as a click does.
  virtual void setOptionChecked(std::string_view key, bool checked) = 0;

  // The settings file the options are loaded from and saved into.
  virtual const SettingsFile& settingsFile() const = 0;

  virtual bool busy() const = 0;
  virtual void setBusy(bool busy) = 0;
  // The displays after a load: bar at 0 of 100, empty file and counter captions.
  virtual void resetRunDisplays() = 0;
};

// The option values of a front end without a window, held as the option set itself.
class OptionValues : public OptionControls {
 public:
  explicit OptionValues(SettingsFile file = {}) : file_(std::move(file)) {}
  void useSettingsFile(SettingsFile file) { file_ = std::move(file); }

  const SettingsFile& settingsFile() const override { return file_; }
  std::string optionText(std::string_view key) const override;
  void setOptionText(std::string_view key, const std::string& text) override;
  bool optionChecked(std::string_view key) const override;
  void setOptionChecked(std::string_view key, bool checked) override;
  bool busy() const override { return busy_; }
  void setBusy(bool busy) override { busy_ = busy; }
  void resetRunDisplays() override {}

 private:
  SettingsFile file_;
  RunOptions values_;
  bool busy_ = false;
};

void LoadOptions(OptionControls& controls);
// Throws quorvel::Error "Unable to write to %s" at the first refused write.
void SaveOptions(OptionControls& controls);
// The save for command-line use once a file is chosen: the options go into path, and
// the controls keep their own settings file.
void SaveOptionsAs(OptionControls& controls, const std::string& path);
// The target field toggle of the write-into-source box.
void OverwriteSourceToggled(OptionControls& controls, bool checked);

// The option set of a run, one field per key, as the controls hold it.
RunOptions ReadRunOptions(const OptionControls& controls);

}  // namespace quorvel
