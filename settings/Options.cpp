#include "settings/Options.h"

#include "platform/CodePage.h"
#include "settings/Settings.h"

namespace quorvel {

namespace {

constexpr std::string_view kOverSourceKey = "OverSource";
constexpr std::string_view kTargetDirKey = "TargetDir";

bool IsDirectoryKey(std::string_view key) { return key == "WorkDir" || key == kTargetDirKey; }

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

std::string TextForSaving(std::string_view key, const std::string& text) {
  if (IsDirectoryKey(key) || text.size() <= kIniTextLimit) return text;
  return platform::ActiveCodePage().cutToBytes(text, kIniTextLimit);
}

}  // namespace

std::string OptionValues::optionText(std::string_view key) const {
  auto it = texts_.find(key);
  return it == texts_.end() ? std::string() : it->second;
}

void OptionValues::setOptionText(std::string_view key, const std::string& text) {
  texts_.insert_or_assign(std::string(key), text);
}

bool OptionValues::optionChecked(std::string_view key) const {
  auto it = checks_.find(key);
  return it != checks_.end() && it->second;
}

void OptionValues::setOptionChecked(std::string_view key, bool checked) {
  bool was = optionChecked(key);
  checks_.insert_or_assign(std::string(key), checked);
  if (key == kOverSourceKey && was != checked) OverwriteSourceToggled(*this, checked);
}

void LoadOptions(OptionControls& controls) {
  BusyWhileLoading busy(controls);
  const SettingsFile& file = controls.settingsFile();
  const bool noIni = file.noIni;
  for (const OptionKey& option : kGeneralKeys) {
    if (option.boolean) {
      controls.setOptionChecked(option.name, !noIni && ReadIniBool(file, kGeneralSection, option.name));
    } else if (noIni) {
      controls.setOptionText(option.name, std::string());
    } else if (IsDirectoryKey(option.name)) {
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
    if (option.boolean) {
      WriteIniBool(file, kGeneralSection, option.name, controls.optionChecked(option.name));
      continue;
    }
    std::string text = controls.optionText(option.name);
    // While the sources are written over, an empty target field must not wipe the last
    // target directory the user chose.
    if (option.name == kTargetDirKey && text.empty() && controls.optionChecked(kOverSourceKey)) {
      continue;
    }
    WriteIniString(file, kGeneralSection, option.name, TextForSaving(option.name, text));
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
  auto text = [&](const char* key) { return controls.optionText(key); };
  auto checked = [&](const char* key) { return controls.optionChecked(key); };
  options.Search = text("Search");
  options.Replace = text("Replace");
  options.RemoveMode = checked("RemoveMode");
  options.WorkDir = text("WorkDir");
  options.Subdirs = checked("Subdirs");
  options.Extensions = text("Extensions");
  options.Column = text("Column");
  options.Delimiter = text("Delimiter");
  options.SYLK = checked("SYLK");
  options.TargetDir = text("TargetDir");
  options.OverFiles = checked("OverFiles");
  options.OverSource = checked("OverSource");
  options.CopyUnchanged = checked("CopyUnchanged");
  options.IgnoreReadOnly = checked("IgnoreReadOnly");
  options.NoSafety = checked("NoSafety");
  options.CaseSensitive = checked("CaseSensitive");
  return options;
}

}  // namespace quorvel
