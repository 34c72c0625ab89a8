#include "engine/RunEffects.h"

#include "files/FileOps.h"
#include "files/PathText.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace quorvel {

bool FileEffects::isHiddenOrSystem(const std::string& path) { return IsHiddenOrSystem(path); }
LoadedFile FileEffects::loadLines(const std::string& path, LineList& list) {
  return LoadLines(path, list);
}
bool FileEffects::fileExists(const std::string& path) { return platform::FileExists(path); }
bool FileEffects::createDirectoryPath(const std::string& directory) {
  return CreateDirectoryPath(directory);
}
bool FileEffects::targetWritable(const std::string& path, bool ignoreReadOnly) {
  return TargetWritable(path, ignoreReadOnly);
}
void FileEffects::saveLines(const LineList& lines, const std::string& path) {
  SaveLines(lines, path);
}
void FileEffects::copyWholeFile(const std::string& source, const std::string& destination) {
  CopyWholeFile(source, destination);
}
// A path that is gone leaves nothing to mark; the failure is of no concern to the run.
void FileEffects::markReadOnly(const std::string& path) { platform::SetReadOnly(path); }

DryEffects::DryEffects(const FileList& files) {
  for (const std::string& path : files) ++unreadListings_[path];
}

bool DryEffects::isHiddenOrSystem(const std::string& path) {
  const auto unread = unreadListings_.find(path);
  if (unread != unreadListings_.end()) --unread->second;
  // What the run writes is a plain file under the name of a source that is not hidden.
  if (files_.count(path)) return false;
  return IsHiddenOrSystem(path);
}

LoadedFile DryEffects::loadLines(const std::string& path, LineList& list) {
  const auto written = files_.find(path);
  if (written != files_.end() && written->second.hasContent) {
    list.assignSplit(written->second.content);
    return LoadedFile{int64_t(written->second.content.size()), written->second.readOnly};
  }
  LoadedFile loaded = LoadLines(path, list);
  if (written != files_.end()) loaded.readOnly = written->second.readOnly;
  return loaded;
}

bool DryEffects::fileExists(const std::string& path) {
  return files_.count(path) || platform::FileExists(path);
}

bool DryEffects::directoryExists(const std::string& path) const {
  return directories_.count(NativePaths::DropTrailingSeparator(path)) ||
         platform::DirectoryExists(path);
}

bool DryEffects::createDirectoryPath(const std::string& directory) {
  return CreateDirectoryPathWith(
      directory, [this](const std::string& level) { return directoryExists(level); },
      [this](const std::string& level) {
        // A file or a link of any kind in the way makes the level impossible.
        if (files_.count(level) || platform::GetAttributes(level)) return false;
        directories_.insert(level);
        return true;
      });
}

std::optional<platform::Attributes> DryEffects::attributesOf(const std::string& path) const {
  const auto written = files_.find(path);
  if (written == files_.end()) return platform::GetAttributes(path);
  platform::Attributes file;
  file.readOnly = written->second.readOnly;
  return file;
}

bool DryEffects::targetWritable(const std::string& path, bool ignoreReadOnly) {
  std::optional<platform::Attributes> file = attributesOf(path);
  if (file && file->directory) file.reset();
  const TargetCheck check = CheckTarget(file, ignoreReadOnly);
  if (check.clearsReadOnly) files_[path].readOnly = false;
  return check.writable;
}

void DryEffects::saveLines(const LineList& lines, const std::string& path) {
  // The checks the platform makes before it writes anything; the run has made sure of
  // the attributes already.
  if (directoryExists(path)) throw CannotCreateFile(path);
  if (readAgain(path)) {
    const std::string joined(lines.joined());
    recordWrite(path, &joined, false);
  } else {
    recordWrite(path, nullptr, false);
  }
}

void DryEffects::copyWholeFile(const std::string& source, const std::string& destination) {
  std::string target = destination;
  if (directoryExists(target)) target = EnsureTrailingSeparator(target) + FileNamePart(source);
  const std::optional<platform::Attributes> from = attributesOf(source);
  if (!from || from->directory) throw CannotOpenFile(source);
  createDirectoryPath(DirectoryPart(target));

  const std::optional<platform::Attributes> existing = attributesOf(target);
  if (existing && (existing->directory || existing->hidden || existing->system ||
                   existing->readOnly)) {
    throw CannotCreateFile(target);
  }
  if (!directoryExists(DirectoryPart(target))) throw CannotCreateFile(target);
  // A new copy takes the source's mode, a replaced file keeps its own.
  const bool readOnly = existing ? false : from->readOnly;
  if (readAgain(target)) {
    const std::string bytes = bytesOf(source);
    recordWrite(target, &bytes, readOnly);
  } else {
    recordWrite(target, nullptr, readOnly);
  }
}

void DryEffects::markReadOnly(const std::string& path) {
  const auto written = files_.find(path);
  if (written != files_.end()) {
    written->second.readOnly = true;
  } else if (FileAttributes(path)) {
    files_[path].readOnly = true;
  }
}

const std::string* DryEffects::changedContent(const std::string& path) const {
  const auto written = files_.find(path);
  return written != files_.end() && written->second.hasContent ? &written->second.content
                                                                : nullptr;
}

bool DryEffects::readAgain(const std::string& path) const {
  const auto unread = unreadListings_.find(path);
  return unread != unreadListings_.end() && unread->second > 0;
}

void DryEffects::recordWrite(const std::string& path, const std::string* bytes, bool readOnly) {
  Written& file = files_[path];
  file.readOnly = readOnly;
  file.hasContent = bytes != nullptr;
  file.content = bytes ? *bytes : std::string();
}

std::string DryEffects::bytesOf(const std::string& path) const {
  if (const std::string* changed = changedContent(path)) return *changed;
  std::string bytes;
  if (platform::ReadWholeFile(path, bytes) != platform::ReadResult::Ok) throw StreamReadError();
  return bytes;
}

}  // namespace quorvel
