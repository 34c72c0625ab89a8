#include "files/FileOps.h"

#include <optional>

#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/RunJournal.h"

namespace quorvel {

std::optional<platform::Attributes> FileAttributes(const std::string& path) {
  std::optional<platform::Attributes> attributes = platform::GetAttributes(path);
  if (attributes && attributes->directory) return std::nullopt;
  return attributes;
}

namespace {

bool CountsAsSystem(const platform::Attributes& attributes, const std::string& path,
                    const platform::WriteTree* tree) {
  return attributes.system || (attributes.link && tree && !tree->leadsInside(path));
}

}  // namespace

bool IsHiddenOrSystem(const std::string& path, const platform::WriteTree* tree) {
  std::optional<platform::Attributes> attributes = FileAttributes(path);
  return attributes && (attributes->hidden || CountsAsSystem(*attributes, path, tree));
}

TargetCheck CheckTarget(const std::optional<platform::Attributes>& file,
                        const std::string& targetPath, bool ignoreReadOnly,
                        const platform::WriteTree* tree) {
  TargetCheck check;
  if (!file) return check;
  if (file->hidden || CountsAsSystem(*file, targetPath, tree) ||
      (file->readOnly && !ignoreReadOnly)) {
    check.writable = false;
  } else {
    check.clearsReadOnly = file->readOnly;
  }
  return check;
}

bool TargetWritable(const std::string& targetPath, bool ignoreReadOnly,
                    const platform::WriteTree* tree, platform::RunJournal* journal) {
  const TargetCheck check =
      CheckTarget(FileAttributes(targetPath), targetPath, ignoreReadOnly, tree);
  if (check.clearsReadOnly) platform::ClearReadOnly(targetPath, journal);
  return check.writable;
}

bool CreateDirectoryPathWith(const std::string& path,
                             const std::function<bool(const std::string&)>& isDirectory,
                             const std::function<bool(const std::string&)>& makeLevel) {
  const std::string trimmed = NativePaths::DropTrailingSeparator(path);
  if (NativePaths::IsCreateRoot(trimmed) || isDirectory(trimmed)) return true;
  const std::string parent = NativePaths::CreateParent(trimmed);
  if (parent == trimmed) return true;
  return CreateDirectoryPathWith(parent, isDirectory, makeLevel) && makeLevel(trimmed);
}

bool CreateDirectoryPath(const std::string& path, platform::RunJournal* journal) {
  return CreateDirectoryPathWith(
      path, [](const std::string& level) { return platform::DirectoryExists(level); },
      [journal](const std::string& level) {
        if (platform::MakeDirectory(level)) {
          if (journal) journal->recordDirectory(level);
          return true;
        }
        // Another program may have made it meanwhile; what counts is that it exists.
        return platform::DirectoryExists(level);
      });
}

void CopyWholeFile(const std::string& source, const std::string& destination) {
  std::string target = destination;
  if (platform::DirectoryExists(target)) {
    target = EnsureTrailingSeparator(target) + FileNamePart(source);
  }
  // A source that cannot be read must not leave directories behind.
  platform::SourceFile opened;
  if (opened.open(source) != platform::SourceFile::Status::Ok) throw CannotOpenFile(source);
  CreateDirectoryPath(DirectoryPart(target));
  platform::WriteRequest request;
  request.sourceMode = opened.mode();
  CopyWholeFile(opened, target, request);
}

void CopyWholeFile(platform::SourceFile& source, const std::string& destination,
                   const platform::WriteRequest& request) {
  const platform::TransactionResult result =
      platform::CopyFileContent(source, destination, request);
  if (result == platform::TransactionResult::Ok) return;
  RaiseWriteFailure(result, destination, source.unchanged() ? destination : source.path());
}

void RaiseWriteFailure(platform::TransactionResult result, const std::string& targetPath,
                       const std::string& heldPath) {
  switch (result) {
    case platform::TransactionResult::Ok:
      return;
    case platform::TransactionResult::CannotOpenSource:
    case platform::TransactionResult::HeldForWriting:
      throw CannotOpenFile(heldPath);
    case platform::TransactionResult::CannotCreate:
      throw CannotCreateFile(targetPath);
    case platform::TransactionResult::ReadError:
      throw StreamReadError();
    case platform::TransactionResult::WriteError:
      throw StreamWriteError();
  }
}

}  // namespace quorvel
