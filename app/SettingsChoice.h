#pragma once
// Which settings file a start of the window uses, and its creation when missing.

#include <optional>
#include <string>

#include "settings/Settings.h"

namespace quorvel {

inline constexpr const char* kSettingsFileName = "Quorvel.ini";

// The first argument after the program's own path, taken whole; further ones are
// ignored. An empty argument (a pair of quotes on a command line) does not count.
std::optional<std::string> FirstArgument(int argc, const char* const* argv);

// ${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/, or the empty text when neither variable
// gives an absolute directory.
std::string UserSettingsDir();

// Chooses the settings file and creates it as "[GENERAL]" CR LF when it is missing.
// With an argument, that path exactly as given.
// Without one, Quorvel.ini in ProgramDir; when that file is missing and ProgramDir is
// protected (its owner write bit clear, or the file cannot be created there), the one
// in UserSettingsDir, which is created. Without a usable one, noIni is set.
SettingsFile ChooseSettingsFile(const std::optional<std::string>& argument);

}  // namespace quorvel
