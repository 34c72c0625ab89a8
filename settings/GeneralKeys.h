#pragma once
// The sixteen keys of the GENERAL section, one row each: the key, what kind of value it
// holds, the field of RunOptions it fills and the object name of the main window's
// control that shows it. Loading, saving, the batch runner's values and the window all
// go by this one table.

#include <array>
#include <string>
#include <string_view>

#include "files/RunOptions.h"

namespace quorvel {

enum class OptionKind {
  Text,          // file-system text: the extension filter, the column, the delimiter
  CodePageText,  // the search and replacement texts, in the active code page
  Directory,     // read as a path and never cut to the length limit when saved
  Check,         // On or Off
};

struct OptionKey {
  const char* name;
  OptionKind kind;
  std::string RunOptions::*text;  // null for a check
  bool RunOptions::*check;        // null for a text
  const char* control;

  constexpr bool boolean() const { return kind == OptionKind::Check; }
};

namespace general_keys {
constexpr OptionKey Text(const char* name, std::string RunOptions::*field, const char* control,
                         OptionKind kind = OptionKind::Text) {
  return {name, kind, field, nullptr, control};
}
constexpr OptionKey Check(const char* name, bool RunOptions::*field, const char* control) {
  return {name, OptionKind::Check, nullptr, field, control};
}
}  // namespace general_keys

// In the order they are loaded and saved.
inline constexpr std::array<OptionKey, 16> kGeneralKeys{{
    general_keys::Text("Search", &RunOptions::Search, "SearchEdit", OptionKind::CodePageText),
    general_keys::Text("Replace", &RunOptions::Replace, "ReplaceEdit", OptionKind::CodePageText),
    general_keys::Check("RemoveMode", &RunOptions::RemoveMode, "RemoveCheck"),
    general_keys::Text("WorkDir", &RunOptions::WorkDir, "WorkDirEdit", OptionKind::Directory),
    general_keys::Check("Subdirs", &RunOptions::Subdirs, "SubdirectoriesCheck"),
    general_keys::Text("Extensions", &RunOptions::Extensions, "ExtensionsEdit"),
    general_keys::Text("Column", &RunOptions::Column, "ColumnEdit"),
    general_keys::Text("Delimiter", &RunOptions::Delimiter, "DelimiterEdit"),
    general_keys::Check("SYLK", &RunOptions::SYLK, "SYLKCheck"),
    general_keys::Text("TargetDir", &RunOptions::TargetDir, "TargetDirEdit", OptionKind::Directory),
    general_keys::Check("OverFiles", &RunOptions::OverFiles, "OverwriteFilesCheck"),
    general_keys::Check("OverSource", &RunOptions::OverSource, "OverwriteSourceCheck"),
    general_keys::Check("CopyUnchanged", &RunOptions::CopyUnchanged, "CopyCheck"),
    general_keys::Check("IgnoreReadOnly", &RunOptions::IgnoreReadOnly, "IgnoreReadOnlyCheck"),
    general_keys::Check("NoSafety", &RunOptions::NoSafety, "NoSafetyCheck"),
    general_keys::Check("CaseSensitive", &RunOptions::CaseSensitive, "CaseCheck"),
}};

// The row of a key; null for a key the section does not have.
constexpr const OptionKey* FindOptionKey(std::string_view name) {
  for (const OptionKey& key : kGeneralKeys) {
    if (name == key.name) return &key;
  }
  return nullptr;
}

}  // namespace quorvel
