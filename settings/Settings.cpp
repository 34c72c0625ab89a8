#include "settings/Settings.h"


#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "settings/NumberText.h"

namespace quorvel {

namespace {

constexpr std::string_view kNewSettingsContent = "[GENERAL]\r\n";

std::string CutText(std::string value) {
  if (value.size() <= kIniTextLimit) return value;
  return platform::ActiveCodePage().cutToBytes(value, kIniTextLimit);
}

std::string ReadRaw(const SettingsFile& file, std::string_view section, std::string_view key,
                    std::string_view fallback, size_t limit = platform::kProfileReadLimit) {
  return platform::ReadProfileString(file.path, section, key, fallback, limit);
}

}  // namespace

SettingsFile SettingsFileAt(std::string_view path, bool noIni) {
  return SettingsFile{std::string(path.substr(0, kSettingsPathLimit)), noIni};
}

SettingsFile OpenSettingsFile(const std::string& path) {
  bool noIni = false;
  if (!platform::FileExists(path)) {
    noIni = platform::ReplaceFileContent(path, kNewSettingsContent) != platform::WriteResult::Ok;
  }
  return SettingsFileAt(path, noIni);
}

std::string ReadIniString(const SettingsFile& file, std::string_view section,
                          std::string_view key) {
  return CutText(ReadRaw(file, section, key, ""));
}

std::string ReadIniPath(const SettingsFile& file, std::string_view section, std::string_view key) {
  return ReadRaw(file, section, key, "", std::string::npos);
}

void WriteIniString(const SettingsFile& file, std::string_view section, std::string_view key,
                    std::string_view value) {
  if (!platform::WriteProfileString(file.path, section, key, value)) {
    throw UnableToWrite(file.path);
  }
}

bool ReadIniBool(const SettingsFile& file, std::string_view section, std::string_view key) {
  std::string value = ReadRaw(file, section, key, "");
  if (value.size() != 2) return false;
  return (value[0] == 'o' || value[0] == 'O') && (value[1] == 'n' || value[1] == 'N');
}

void WriteIniBool(const SettingsFile& file, std::string_view section, std::string_view key,
                  bool value) {
  WriteIniString(file, section, key, value ? "On" : "Off");
}

void ReadFormPos(const SettingsFile& file, std::string_view section, std::string_view key,
                 PositionedWindow& window) {
  std::string value = CutText(ReadRaw(file, section, key, "0,0"));
  auto [x, y] = TextToPair(value);
  if (x == kNoPairValue && y == kNoPairValue) return;
  window.moveWindow(x, y);
}

void WriteFormPos(const SettingsFile& file, std::string_view section, std::string_view key,
                  const PositionedWindow& window) {
  WriteIniString(file, section, key, PairToText(window.windowLeft(), window.windowTop()));
}

}  // namespace quorvel
