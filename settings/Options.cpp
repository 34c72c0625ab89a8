#include "settings/Options.h"

#include "platform/CodePage.h"
#include "settings/Settings.h"

namespace quorvel {

namespace {

constexpr std::string_view kOverSourceKey = "OverSource";
constexpr std::string_view kTargetDirKey = "TargetDir";


// The busy flag is set while the controls are filled and cleared on every way out.
class BusyWhileLoading {
 public:
  explicit BusyWhileLoading(OptionControls& controls) : controls_(controls) {
    controls_.setBusy(true);
  }
  ~BusyWhileLoading() { controls_.setBusy(false); }
  BusyWhileLoading(const BusyWhileLoading&) = delete;
  BusyWhileLoading& operator=(const BusyWhileLoading&) = delete;

 private:
  OptionControls& controls_;
};

std::string TextForSaving(const OptionKey& key, const std::string& text) {
  if (key.kind == OptionKind::Directory || text.size() <= kIniTextLimit) return text;
  return platform::ActiveCodePage().cutToBytes(text, kIniTextLimit);
}

}  // namespace

std::string OptionValues::optionText(std::string_view key) const {
  const OptionKey* row = FindOptionKey(key);
  return row && row->text ? values_.*row->text : std::string();
}

void OptionValues::setOptionText(std::string_view key, const std::string& text) {
  const OptionKey* row = FindOptionKey(key);
  if (row && row->text) values_.*row->text = text;
}

bool OptionValues::optionChecked(std::string_view key) const {
  const OptionKey* row = FindOptionKey(key);
  return row && row->check && values_.*row->check;
}

void OptionValues::setOptionChecked(std::string_view key, bool checked) {
  const OptionKey* row = FindOptionKey(key);
  if (!row || !row->check) return;
  bool was = values_.*row->check;
  values_.*row->check = checked;
  if (key == kOverSourceKey && was != checked) OverwriteSourceToggled(*this, checked);
}

void LoadOptions(OptionControls& controls) {
  BusyWhileLoading busy(controls);
  const SettingsFile& file = controls.settingsFile();
  const bool noIni = file.noIni;
  for (const OptionKey& option : kGeneralKeys) {
    if (option.boolean()) {
      controls.setOptionChecked(option.name, !noIni && ReadIniBool(file, kGeneralSection, option.name));
    } else if (noIni) {
      controls.setOptionText(option.name, std::string());
    } else if (option.kind == OptionKind::Directory) {
      controls.setOptionText(option.name, ReadIniPath(file, kGeneralSection, option.name));
    } else {
      controls.setOptionText(option.name, ReadIniString(file, kGeneralSection, option.name));
    }
  }
  controls.resetRunDisplays();
}

namespace {

void SaveOptionsInto(OptionControls& controls, const SettingsFile& file) {
  if (file.noIni) return;
  for (const OptionKey& option : kGeneralKeys) {
    if (option.boolean()) {
      WriteIniBool(file, kGeneralSection, option.name, controls.optionChecked(option.name));
      continue;
    }
    std::string text = controls.optionText(option.name);
    // While the sources are written over, an empty target field must not wipe the last
    // target directory the user chose.
    if (option.name == kTargetDirKey && text.empty() && controls.optionChecked(kOverSourceKey)) {
      continue;
    }
    WriteIniString(file, kGeneralSection, option.name, TextForSaving(option, text));
  }
}

}  // namespace

void SaveOptions(OptionControls& controls) { SaveOptionsInto(controls, controls.settingsFile()); }

void SaveOptionsAs(OptionControls& controls, const std::string& path) {
  SaveOptionsInto(controls, SettingsFileAt(path, controls.settingsFile().noIni));
}

void OverwriteSourceToggled(OptionControls& controls, bool checked) {
  if (checked) {
    if (!controls.busy()) SaveOptions(controls);
    controls.setOptionText(kTargetDirKey, std::string());
  } else if (controls.optionText(kTargetDirKey).empty()) {
    controls.setOptionText(kTargetDirKey,
                           ReadIniPath(controls.settingsFile(), kGeneralSection, kTargetDirKey));
  }
}

RunOptions ReadRunOptions(const OptionControls& controls) {
  RunOptions options;
  for (const OptionKey& key : kGeneralKeys) {
    if (key.boolean()) {
      options.*key.check = controls.optionChecked(key.name);
    } else {
      options.*key.text = controls.optionText(key.name);
    }
  }
  return options;
}

}  // namespace quorvel
