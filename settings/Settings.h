#pragma once
// Access to the settings file, one value at a time. Nothing is cached.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

inline constexpr const char* kGeneralSection = "GENERAL";
inline constexpr const char* kDialogsSection = "DIALOGS";

// How much of a text the settings keep. Directories are never cut: the first bytes
// of a path name another directory, one the user never chose to run over or write into.
inline constexpr size_t kIniTextLimit = 255;
inline constexpr size_t kSettingsPathLimit = 4095;

// The settings file a front end works with: its path (at most 4095 bytes are kept) and
// whether the program runs without one. Every access below opens the file at path
// afresh; a shared settings object with a use count would add nothing to that, so
// there is none and nothing to acquire, release or flush.
struct SettingsFile {
  std::string path;
  bool noIni = false;
};

SettingsFile SettingsFileAt(std::string_view path, bool noIni = false);

// The start-up choice of the settings file: creates a missing file as "[GENERAL]" CR LF
// (no directories on the way); noIni is set when that fails.
SettingsFile OpenSettingsFile(const std::string& path);

// Values are cut to 255 bytes at a character boundary (directories: see ReadIniPath).
std::string ReadIniString(const SettingsFile& file, std::string_view section, std::string_view key);
// A directory value, whole however long it is.
std::string ReadIniPath(const SettingsFile& file, std::string_view section, std::string_view key);
// Throws quorvel::Error "Unable to write to %s" on a refused write.
void WriteIniString(const SettingsFile& file, std::string_view section, std::string_view key,
                    std::string_view value);
bool ReadIniBool(const SettingsFile& file, std::string_view section, std::string_view key);
void WriteIniBool(const SettingsFile& file, std::string_view section, std::string_view key, bool value);

// A window whose outer top-left corner can be read and set.
class PositionedWindow {
 public:
  virtual ~PositionedWindow() = default;
  virtual int32_t windowLeft() const = 0;
  virtual int32_t windowTop() const = 0;
  virtual void moveWindow(int32_t left, int32_t top) = 0;
};

// A stored value without a comma (only a hand-edited file has one) leaves the window
// where it is, rather than far outside every screen.
void ReadFormPos(const SettingsFile& file, std::string_view section, std::string_view key,
                 PositionedWindow& window);
void WriteFormPos(const SettingsFile& file, std::string_view section, std::string_view key,
                  const PositionedWindow& window);

}  // namespace quorvel
