#pragma once
// The option set of one run, one field per key of the GENERAL section of the
// settings file. Texts are bytes: search and replacement in the active code page,
// directories and the extension filter in the file-system encoding.

#include <string>

namespace quorvel {

struct RunOptions {
  std::string Search;
  std::string Replace;
  bool RemoveMode = false;
  std::string WorkDir;
  bool Subdirs = false;
  std::string Extensions;
  std::string Column;
  std::string Delimiter;
  bool SYLK = false;
  std::string TargetDir;
  bool OverFiles = false;
  bool OverSource = false;
  bool CopyUnchanged = false;
  bool IgnoreReadOnly = false;
  bool NoSafety = false;
  bool CaseSensitive = false;
};

}  // namespace quorvel
