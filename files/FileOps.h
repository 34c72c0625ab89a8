#pragma once
// The file operations of a run and of the start-up, over the platform layer: which
// files are passed over or may be written, directories with every missing parent, and
// the byte copy of a file.

#include <string>

namespace quorvel {

bool IsHiddenOrSystem(const std::string& path);
// Whether the target may be written; clears its read-only bit when ignoreReadOnly.
bool TargetWritable(const std::string& targetPath, bool ignoreReadOnly);
// True when the directory exists afterwards, every missing parent created.
bool CreateDirectoryPath(const std::string& path);
// A byte copy carrying the last-write time; throws quorvel::Error.
void CopyWholeFile(const std::string& source, const std::string& destination);

}  // namespace quorvel
