#pragma once
// The file operations of a run and of the start-up, over the platform layer: which
// files are passed over or may be written, directories with every missing parent, the
// byte copy of a file, and the error that a failed write stands for.

#include <string>

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
// True when the directory exists afterwards, every missing parent created (and, with a
// journal, recorded).
bool CreateDirectoryPath(const std::string& path, platform::RunJournal* journal = nullptr);
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
