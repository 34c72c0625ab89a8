#include "files/FileOps.h"

#include <optional>

#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

std::optional<platform::Attributes> FileAttributes(const std::string& path) {
  std::optional<platform::Attributes> attributes = platform::GetAttributes(path);
  if (attributes && attributes->directory) return std::nullopt;
  return attributes;
}

bool IsHiddenOrSystem(const std::string& path) {
  std::optional<platform::Attributes> attributes = FileAttributes(path);
  return attributes && (attributes->hidden || attributes->system);
}

TargetCheck CheckTarget(const std::optional<platform::Attributes>& file, bool ignoreReadOnly) {
  TargetCheck check;
  if (!file) return check;
  if (file->system || file->hidden || (file->readOnly && !ignoreReadOnly)) {
    check.writable = false;
  } else {
    check.clearsReadOnly = file->readOnly;
  }
  return check;
}

bool TargetWritable(const std::string& targetPath, bool ignoreReadOnly) {
  const TargetCheck check = CheckTarget(FileAttributes(targetPath), ignoreReadOnly);
  if (check.clearsReadOnly) platform::ClearReadOnly(targetPath);
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

bool CreateDirectoryPath(const std::string& path) {
  return CreateDirectoryPathWith(
      path, [](const std::string& level) { return platform::DirectoryExists(level); },
      [](const std::string& level) {
        // Another program may have made it meanwhile; what counts is that it exists.
        return platform::MakeDirectory(level) || platform::DirectoryExists(level);
      });
}

void CopyWholeFile(const std::string& source, const std::string& destination) {
  std::string target = destination;
  if (platform::DirectoryExists(target)) {
    target = EnsureTrailingSeparator(target) + FileNamePart(source);
  }
  // A source that cannot be read must not leave directories behind.
  std::optional<platform::Attributes> sourceAttributes = platform::GetAttributes(source);
  if (!sourceAttributes || sourceAttributes->directory) throw CannotOpenFile(source);
  CreateDirectoryPath(DirectoryPart(target));

  switch (platform::CopyFileBytes(source, target)) {
    case platform::CopyResult::Ok:
      return;
    case platform::CopyResult::CannotOpenSource:
      throw CannotOpenFile(source);
    case platform::CopyResult::CannotCreate:
      throw CannotCreateFile(target);
    case platform::CopyResult::ReadError:
      throw StreamReadError();
    case platform::CopyResult::WriteError:
      throw StreamWriteError();
  }
}

}  // namespace quorvel
