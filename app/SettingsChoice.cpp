#include "app/SettingsChoice.h"

#include <cstdlib>

#include "files/FileOps.h"
#include "files/PathText.h"
#include "platform/FileSystem.h"
#include "settings/Settings.h"

namespace quorvel {

namespace {

std::string AbsoluteDirFromEnvironment(const char* name, const char* below) {
  const char* value = std::getenv(name);
  // A relative value would put the file wherever the program happens to be started.
  if (!value || value[0] != '/') return {};
  return EnsureTrailingSeparator(value) + below;
}

// An installed program lives in a directory its users may not write to; root may
// write anywhere, so the owner write bit says what was meant.
bool ProtectedDirectory(const std::string& dir) {
  const std::optional<platform::Attributes> attributes = platform::GetAttributes(dir);
  return !attributes || !attributes->directory || attributes->readOnly;
}

}  // namespace

std::optional<std::string> FirstArgument(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] && argv[i][0] != '\0') return std::string(argv[i]);
  }
  return std::nullopt;
}

std::string UserSettingsDir() {
  std::string dir = AbsoluteDirFromEnvironment("XDG_CONFIG_HOME", "quorvel/");
  if (dir.empty()) dir = AbsoluteDirFromEnvironment("HOME", ".config/quorvel/");
  return dir;
}

SettingsFile ChooseSettingsFile(const std::optional<std::string>& argument) {
  if (argument) return OpenSettingsFile(*argument);

  const std::string beside = ProgramDir() + kSettingsFileName;
  if (platform::FileExists(beside)) return OpenSettingsFile(beside);
  if (!ProtectedDirectory(ProgramDir())) {
    SettingsFile file = OpenSettingsFile(beside);
    if (!file.noIni) return file;
  }

  const std::string userDir = UserSettingsDir();
  if (userDir.empty()) return SettingsFileAt(beside, true);
  CreateDirectoryPath(userDir);
  return OpenSettingsFile(userDir + kSettingsFileName);
}

}  // namespace quorvel
