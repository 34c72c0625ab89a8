#include "engine/RunEffects.h"

#include <memory>

#include "files/FileOps.h"
#include "files/PathText.h"
#include "platform/Error.h"

namespace quorvel {

namespace {

// Reads the source through its descriptor, at any offset, for the line stream.
LineStream::Read ReaderOf(platform::SourceFile& source) {
  return [&source](char* data, size_t size, int64_t offset) {
    return source.readAt(data, size, offset);
  };
}

// A source that another program opened for writing or changed while it was processed
// is not written anywhere: its content may be half of an edit. A write over the source
// itself checks it on its own.
void EnsureSourceUnchanged(const platform::SourceFile& source,
                           const platform::WriteRequest& request) {
  if (request.replaces == &source) return;
  if (!source.unchanged()) throw CannotOpenFile(source.path());
}

std::string TrimmedDirectory(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

// ---- FileEffects ----

bool FileEffects::isHiddenOrSystem(const std::string& path, const platform::WriteTree* tree) {
  return IsHiddenOrSystem(path, tree);
}

SourceRead FileEffects::openSource(const std::string& path, platform::SourceFile& source) {
  if (source.open(path) != platform::SourceFile::Status::Ok) throw CannotOpenFile(path);
  return SourceRead{ReaderOf(source), source.identity().size, source.readOnly()};
}

bool FileEffects::openTargetDirectory(const std::string& root, const std::string& directory,
                                      std::optional<platform::WriteTree>& tree,
                                      platform::DirHandle& opened) {
  if (!tree) {
    if (!CreateDirectoryPath(root, journal_)) return false;
    tree = platform::WriteTree::Open(root);
    if (!tree) return false;
  }
  return tree->openDirectory(directory, true, opened, journal_) ==
         platform::WriteTree::DirStatus::Ok;
}

bool FileEffects::targetWritable(const std::string& path, bool ignoreReadOnly,
                                 const platform::WriteTree* tree) {
  return TargetWritable(path, ignoreReadOnly, tree, journal_);
}

bool FileEffects::fileExists(const std::string& path) { return platform::FileExists(path); }

void FileEffects::writeText(const std::string& target, const platform::SourceFile& source,
                            const platform::WriteRequest& request, const TextContent& content) {
  platform::WriteRequest journaled = request;
  journaled.journal = journal_;
  EnsureSourceUnchanged(source, journaled);
  if (content.whole) {
    RaiseWriteFailure(platform::WriteFileContent(target, *content.whole, journaled), target,
                      target);
    return;
  }
  // A file larger than one block goes into the staged new file block by block.
  platform::FileTransaction write;
  platform::TransactionResult result = write.begin(target, journaled);
  if (result == platform::TransactionResult::Ok) {
    content.blocks([&](std::string_view bytes) {
      result = write.append(bytes);
      return result == platform::TransactionResult::Ok;
    });
  }
  if (result == platform::TransactionResult::Ok) result = write.commit();
  RaiseWriteFailure(result, target, target);
}

void FileEffects::copyFile(const std::string& sourcePath, platform::SourceFile& source,
                           const std::string& target, const platform::WriteRequest& request) {
  platform::WriteRequest journaled = request;
  journaled.journal = journal_;
  (void)sourcePath;
  EnsureSourceUnchanged(source, journaled);
  CopyWholeFile(source, target, journaled);
}

// A path that is gone leaves nothing to mark; the failure is of no concern to the run.
void FileEffects::markReadOnly(const std::string& path) {
  platform::SetReadOnly(path, journal_);
}

// ---- DryEffects ----

DryEffects::DryEffects(const FileList& files) {
  for (const std::string& path : files) ++unreadListings_[path];
}

bool DryEffects::isHiddenOrSystem(const std::string& path, const platform::WriteTree* tree) {
  const auto unread = unreadListings_.find(path);
  if (unread != unreadListings_.end()) --unread->second;
  // What the run writes is a plain file under the name of a source that is not hidden.
  if (files_.count(path)) return false;
  return IsHiddenOrSystem(path, tree);
}

SourceRead DryEffects::openSource(const std::string& path, platform::SourceFile& source) {
  const auto written = files_.find(path);
  if (written != files_.end() && written->second.hasContent) {
    auto bytes = std::make_shared<const std::string>(written->second.content);
    LineStream::Read read = [bytes](char* data, size_t size, int64_t offset) -> int64_t {
      if (offset >= int64_t(bytes->size())) return 0;
      const size_t count = std::min(size, bytes->size() - size_t(offset));
      bytes->copy(data, count, size_t(offset));
      return int64_t(count);
    };
    return SourceRead{std::move(read), int64_t(bytes->size()), written->second.readOnly};
  }
  // Read as the run reads it, lease and all: another program's write still ends the
  // lease at once, and a file held for writing is the error the run would meet.
  if (source.open(path) != platform::SourceFile::Status::Ok) throw CannotOpenFile(path);
  const bool readOnly = written != files_.end() ? written->second.readOnly : source.readOnly();
  return SourceRead{ReaderOf(source), source.identity().size, readOnly};
}

bool DryEffects::directoryExists(const std::string& path) const {
  return directories_.count(TrimmedDirectory(path)) || platform::DirectoryExists(path);
}

bool DryEffects::levelFree(const std::string& path) const {
  return !files_.count(path) && !platform::GetAttributes(path);
}

bool DryEffects::openTargetDirectory(const std::string& root, const std::string& directory,
                                     std::optional<platform::WriteTree>& tree,
                                     platform::DirHandle& /*opened*/) {
  if (!tree) {
    const bool made = CreateDirectoryPathWith(
        root, [this](const std::string& level) { return directoryExists(level); },
        [this](const std::string& level) {
          if (!levelFree(level)) return false;
          directories_.insert(TrimmedDirectory(level));
          return true;
        });
    if (!made) return false;
    // A root that exists is opened as the run opens it; one that the run would make
    // stays a prediction, and so does everything below it.
    if (platform::DirectoryExists(root)) {
      tree = platform::WriteTree::Open(root);
      if (!tree) return false;
    }
  }
  const std::string givenRoot = tree ? tree->givenRoot() : TrimmedDirectory(root);
  std::string levels = directory;
  while (!levels.empty() && levels.back() == '/') levels.pop_back();
  const std::optional<std::string> relative = platform::WriteTree::RelativeBelow(givenRoot, levels);
  if (!relative) return false;
  // Level by level as the run opens them: a link or a file where a level is needed is
  // a directory that cannot be created.
  std::string current = givenRoot;
  for (size_t at = 0; at <= relative->size();) {
    size_t end = relative->find('/', at);
    if (end == std::string::npos) end = relative->size();
    const std::string level = relative->substr(at, end - at);
    at = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == "..") return false;
    current += "/" + level;
    if (directories_.count(current)) continue;
    const std::optional<platform::Attributes> entry = platform::GetAttributes(current);
    if (entry) {
      if (entry->link || !entry->directory) return false;
      continue;
    }
    if (files_.count(current)) return false;
    directories_.insert(current);
  }
  return true;
}

std::optional<platform::Attributes> DryEffects::attributesOf(const std::string& path) const {
  std::optional<platform::Attributes> disk = platform::GetAttributes(path);
  const auto written = files_.find(path);
  if (written == files_.end()) return disk;
  platform::Attributes file = disk && !disk->directory ? *disk : platform::Attributes{};
  file.readOnly = written->second.readOnly;
  return file;
}

bool DryEffects::targetWritable(const std::string& path, bool ignoreReadOnly,
                                const platform::WriteTree* tree) {
  std::optional<platform::Attributes> file = attributesOf(path);
  if (file && file->directory) file.reset();
  const TargetCheck check = CheckTarget(file, path, ignoreReadOnly, tree);
  if (check.clearsReadOnly) files_[path].readOnly = false;
  return check.writable;
}

bool DryEffects::fileExists(const std::string& path) {
  return files_.count(path) || platform::FileExists(path);
}

bool DryEffects::beginWrite(const std::string& target) {
  // A directory in the target's place cannot be replaced by the staged file.
  if (directoryExists(target)) throw CannotCreateFile(target);
  // An existing target keeps its own mode, its read-only bit cleared by now; a new one
  // gets the source's with the owner write bit: neither is read-only.
  if (readAgain(target)) return true;
  recordWrite(target, nullptr, false);
  return false;
}

void DryEffects::writeText(const std::string& target, const platform::SourceFile& source,
                           const platform::WriteRequest& request, const TextContent& content) {
  (void)source;
  (void)request;
  if (!beginWrite(target)) return;
  std::string bytes;
  if (content.whole) {
    bytes = *content.whole;
  } else {
    content.blocks([&bytes](std::string_view block) {
      bytes.append(block);
      return true;
    });
  }
  recordWrite(target, &bytes, false);
}

void DryEffects::copyFile(const std::string& sourcePath, platform::SourceFile& source,
                          const std::string& target, const platform::WriteRequest& request) {
  (void)request;
  if (!beginWrite(target)) return;
  std::string bytes;
  if (const std::string* changed = changedContent(sourcePath)) {
    // Not opened: the run would read what an earlier file of it left there.
    bytes = *changed;
  } else {
    char buffer[1 << 16];
    for (int64_t at = 0;;) {
      const int64_t count = source.readAt(buffer, sizeof buffer, at);
      if (count < 0) throw StreamReadError();
      if (count == 0) break;
      bytes.append(buffer, size_t(count));
      at += count;
    }
  }
  recordWrite(target, &bytes, false);
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

}  // namespace quorvel
