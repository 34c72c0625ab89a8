#pragma once
// Selection of the files of a run or a recount: the ordered list built from the
// working directory, the extension filter and the subdirectory option.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// Full paths, in extension-item order and, within an item, a depth-first walk in the
// order of the directory search. Never sorted; a path may appear more than once.
using FileList = std::vector<std::string>;

// What the caller of BuildFileList hears of the listing: begin once at the start,
// end once when it finishes, also by a failure.
class ListingNotice {
 public:
  virtual ~ListingNotice() = default;
  virtual void begin(const std::string& text) = 0;
  virtual void end() = 0;
};

class SilentListingNotice final : public ListingNotice {
 public:
  void begin(const std::string&) override {}
  void end() override {}
};

inline constexpr const char* kListingText = "Načítám seznam souborů...";

// The files of directory matching "*." + extension item, in search order.
FileList ListFiles(const std::string& directory, const std::string& extension);
// The subdirectories that a walk enters: neither hidden nor system nor links.
FileList ListSubdirectories(const std::string& directory);
void ListFilesRecursive(FileList& list, const std::string& directory,
                        const std::string& extension);

// Runs hook in every listing, after the notice has begun and before any directory is
// read, so that tests can look at what the user sees during a listing. Empty: none.
void SetListingHookForTesting(std::function<void()> hook);

// Empties and fills list; returns its length.
int32_t BuildFileList(FileList& list, const std::string& workDir, const std::string& extensions,
                      bool subdirs, ListingNotice& notice);

}  // namespace quorvel
