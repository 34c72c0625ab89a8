#pragma once
// The file operations of a run and of the start-up, over the platform layer: which
// files are passed over or may be written, directories with every missing parent, the
// byte copy of a file, and the error that a failed write stands for.

#include <functional>
#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/FileTransaction.h"

namespace quorvel {

// Hidden or system; with a tree, a link that leads out of it counts as system too.
bool IsHiddenOrSystem(const std::string& path, const platform::WriteTree* tree = nullptr);
// Whether the target may be written; clears its read-only bit when ignoreReadOnly. With
// a tree, a link that leads out of it is system and may not be written.
// A journal records the cleared bit.
bool TargetWritable(const std::string& targetPath, bool ignoreReadOnly,
                    const platform::WriteTree* tree = nullptr,
                    platform::RunJournal* journal = nullptr);
// What TargetWritable decides for a target with these attributes (none: no file there),
// without changing anything; a link counts by where it leads, as found by tree.
struct TargetCheck {
  bool writable = true;
  bool clearsReadOnly = false;
};
TargetCheck CheckTarget(const std::optional<platform::Attributes>& file,
                        const std::string& targetPath, bool ignoreReadOnly,
                        const platform::WriteTree* tree);
// The attributes of the file at path; nothing when there is none or a directory is there.
std::optional<platform::Attributes> FileAttributes(const std::string& path);
// True when the directory exists afterwards, every missing parent created (and, with a
// journal, recorded).
bool CreateDirectoryPath(const std::string& path, platform::RunJournal* journal = nullptr);
// The same walk over the levels, with what counts as an existing directory and how one
// missing level is made left to the caller.
bool CreateDirectoryPathWith(const std::string& path,
                             const std::function<bool(const std::string&)>& isDirectory,
                             const std::function<bool(const std::string&)>& makeLevel);
// A byte copy carrying the last-write time; throws quorvel::Error.
void CopyWholeFile(const std::string& source, const std::string& destination);
// The same from a source the caller holds open, written as request says.
void CopyWholeFile(platform::SourceFile& source, const std::string& destination,
                   const platform::WriteRequest& request);

// Raises the error that a failed write of targetPath stands for. A file held for
// writing, or changed by another program meanwhile, is one that cannot be opened:
// heldPath names it.
void RaiseWriteFailure(platform::TransactionResult result, const std::string& targetPath,
                       const std::string& heldPath);

}  // namespace quorvel
