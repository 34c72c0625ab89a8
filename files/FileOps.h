#pragma once
// The file operations of a run and of the start-up, over the platform layer: which
// files are passed over or may be written, directories with every missing parent, and
// the byte copy of a file.

#include <functional>
#include <optional>
#include <string>

#include "platform/FileSystem.h"

namespace quorvel {

// The attributes of the file at path; nothing when there is none or a directory is there.
std::optional<platform::Attributes> FileAttributes(const std::string& path);

bool IsHiddenOrSystem(const std::string& path);
// Whether the target may be written; clears its read-only bit when ignoreReadOnly.
bool TargetWritable(const std::string& targetPath, bool ignoreReadOnly);
// What TargetWritable decides for a file with these attributes (none: no file there).
struct TargetCheck {
  bool writable = true;
  bool clearsReadOnly = false;
};
TargetCheck CheckTarget(const std::optional<platform::Attributes>& file, bool ignoreReadOnly);
// True when the directory exists afterwards, every missing parent created.
bool CreateDirectoryPath(const std::string& path);
// The same walk over the levels, with what counts as an existing directory and how one
// missing level is made left to the caller.
bool CreateDirectoryPathWith(const std::string& path,
                             const std::function<bool(const std::string&)>& isDirectory,
                             const std::function<bool(const std::string&)>& makeLevel);
// A byte copy carrying the last-write time; throws quorvel::Error.
void CopyWholeFile(const std::string& source, const std::string& destination);

}  // namespace quorvel
