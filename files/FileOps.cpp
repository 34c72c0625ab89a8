#include "files/FileOps.h"

#include <optional>

#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

// A file, not a directory, exists at path: the attributes that count for it.
std::optional<platform::Attributes> FileAttributes(const std::string& path) {
  std::optional<platform::Attributes> attributes = platform::GetAttributes(path);
  if (attributes && attributes->directory) return std::nullopt;
  return attributes;
}

}  // namespace

bool IsHiddenOrSystem(const std::string& path) {
  std::optional<platform::Attributes> attributes = FileAttributes(path);
  return attributes && (attributes->hidden || attributes->system);
}

bool TargetWritable(const std::string& targetPath, bool ignoreReadOnly) {
  std::optional<platform::Attributes> attributes = FileAttributes(targetPath);
  if (!attributes) return true;
  if (attributes->system || attributes->hidden) return false;
  if (attributes->readOnly) {
    if (!ignoreReadOnly) return false;
    platform::ClearReadOnly(targetPath);
  }
  return true;
}

bool CreateDirectoryPath(const std::string& path) {
  const std::string trimmed = NativePaths::DropTrailingSeparator(path);
  if (NativePaths::IsCreateRoot(trimmed) || platform::DirectoryExists(trimmed)) return true;
  const std::string parent = NativePaths::CreateParent(trimmed);
  if (parent == trimmed) return true;
  if (!CreateDirectoryPath(parent)) return false;
  // Another program may have made it meanwhile; what counts is that it exists.
  return platform::MakeDirectory(trimmed) || platform::DirectoryExists(trimmed);
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
