#include "files/FileList.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "files/PathText.h"
#include "platform/FileSystem.h"
#include "platform/Wildcard.h"

namespace quorvel {

namespace {

using platform::DirEntry;

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

bool IsListableName(const std::string& name) {
  return !IsDotName(name) && !TrimBlanks(name).empty();
}

// The search pattern of one extension item, or nothing when the item holds a
// separator and so can never be part of a name in one directory.
std::optional<std::string> PatternFor(const std::string& extension) {
  if (extension.find(NativePaths::kSeparator) != std::string::npos) return std::nullopt;
  return "*." + extension;
}

void AppendMatchingFiles(FileList& list, const std::string& dir,
                         const std::vector<DirEntry>& entries, const std::string& pattern) {
  for (const DirEntry& entry : entries) {
    // Links to directories count as directories: they are neither listed nor walked.
    if (entry.directory || !IsListableName(entry.name)) continue;
    if (!platform::MatchesPattern(entry.name, pattern)) continue;
    list.push_back(dir + entry.name);
  }
}

// Only real, visible directories are entered, so no walk can run in a circle
// through a link.
bool IsWalkedDirectory(const DirEntry& entry) {
  return entry.directory && !entry.hidden && !entry.system && !entry.symlink &&
         IsListableName(entry.name);
}

// The directory is searched once and that one listing yields both its files and its
// subdirectories: a second search per directory would double the cost of a walk.
void AppendTree(FileList& list, const std::string& directory, const std::string& pattern) {
  // Pending directories, the next one to visit last; an explicit stack keeps the
  // depth of a tree off the call stack while keeping the pre-order of the walk.
  if (directory.empty()) return;
  std::vector<std::string> pending{NativePaths::EnsureTrailingSeparator(directory)};
  std::vector<std::string> children;
  while (!pending.empty()) {
    std::string dir = std::move(pending.back());
    pending.pop_back();
    std::vector<DirEntry> entries = platform::ListDirectory(dir);
    AppendMatchingFiles(list, dir, entries, pattern);

    children.clear();
    for (const DirEntry& entry : entries) {
      if (IsWalkedDirectory(entry)) children.push_back(dir + entry.name + NativePaths::kSeparator);
    }
    std::move(children.rbegin(), children.rend(), std::back_inserter(pending));
  }
}

void AppendFiles(FileList& list, const std::string& directory, const std::string& pattern) {
  // Without a directory the search would fall back on the current one.
  if (directory.empty()) return;
  std::string dir = NativePaths::EnsureTrailingSeparator(directory);
  AppendMatchingFiles(list, dir, platform::ListDirectory(dir), pattern);
}

// Closes the notice when the build ends, however it ends.
class NoticeEnd {
 public:
  explicit NoticeEnd(ListingNotice& notice) : notice_(notice) {}
  ~NoticeEnd() { notice_.end(); }
  NoticeEnd(const NoticeEnd&) = delete;
  NoticeEnd& operator=(const NoticeEnd&) = delete;

 private:
  ListingNotice& notice_;
};

}  // namespace

FileList ListFiles(const std::string& directory, const std::string& extension) {
  FileList list;
  if (std::optional<std::string> pattern = PatternFor(extension)) {
    AppendFiles(list, directory, *pattern);
  }
  return list;
}

FileList ListSubdirectories(const std::string& directory) {
  FileList list;
  if (directory.empty()) return list;
  std::string dir = NativePaths::EnsureTrailingSeparator(directory);
  for (const DirEntry& entry : platform::ListDirectory(dir)) {
    if (IsWalkedDirectory(entry)) list.push_back(dir + entry.name);
  }
  return list;
}

void ListFilesRecursive(FileList& list, const std::string& directory,
                        const std::string& extension) {
  if (std::optional<std::string> pattern = PatternFor(extension)) {
    AppendTree(list, directory, *pattern);
  }
}

namespace {

std::function<void()>& ListingHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void SetListingHookForTesting(std::function<void()> hook) { ListingHook() = std::move(hook); }

int32_t BuildFileList(FileList& list, const std::string& workDir, const std::string& extensions,
                      bool subdirs, ListingNotice& notice) {
  // Armed before begin, so that a panel half opened by a failing begin is closed too.
  NoticeEnd end(notice);
  notice.begin(kListingText);
  if (ListingHook()) ListingHook()();

  std::vector<std::string> items = SplitExtensionFilter(extensions);
  list.clear();
  if (TrimBlanks(extensions).empty()) items = {"*"};
  const std::string dir = StripQuotes(workDir);

  for (const std::string& item : items) {
    if (subdirs) {
      ListFilesRecursive(list, dir, item);
    } else if (std::optional<std::string> pattern = PatternFor(item)) {
      AppendFiles(list, dir, *pattern);
    }
  }
  return static_cast<int32_t>(std::min<size_t>(list.size(), std::numeric_limits<int32_t>::max()));
}

}  // namespace quorvel
