#pragma once
// Everything a run does to the files and asks of them, in one place: a real run
// changes the disk through FileEffects, a dry run only predicts the same changes
// through DryEffects, so the decisions of the run are made once for both.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/Lines.h"
#include "files/FileList.h"
#include "platform/FileSystem.h"

namespace quorvel {

class RunEffects {
 public:
  virtual ~RunEffects() = default;

  // Called once for every listed file, first of all.
  virtual bool isHiddenOrSystem(const std::string& path) = 0;
  // Throws "Cannot open file %s" or "Stream read error".
  virtual LoadedFile loadLines(const std::string& path, LineList& list) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  virtual bool createDirectoryPath(const std::string& directory) = 0;
  // May clear the target's read-only bit.
  virtual bool targetWritable(const std::string& path, bool ignoreReadOnly) = 0;
  // Both throw as SaveLines and CopyWholeFile do.
  virtual void saveLines(const LineList& lines, const std::string& path) = 0;
  virtual void copyWholeFile(const std::string& source, const std::string& destination) = 0;
  virtual void markReadOnly(const std::string& path) = 0;

  // The bytes the run would have left at path by now, where they are not those on disk.
  virtual const std::string* changedContent(const std::string& path) const {
    (void)path;
    return nullptr;
  }
};

class FileEffects final : public RunEffects {
 public:
  bool isHiddenOrSystem(const std::string& path) override;
  LoadedFile loadLines(const std::string& path, LineList& list) override;
  bool fileExists(const std::string& path) override;
  bool createDirectoryPath(const std::string& directory) override;
  bool targetWritable(const std::string& path, bool ignoreReadOnly) override;
  void saveLines(const LineList& lines, const std::string& path) override;
  void copyWholeFile(const std::string& source, const std::string& destination) override;
  void markReadOnly(const std::string& path) override;
};

// Reads the disk and changes nothing. What the run would have changed so far is kept
// as an overlay over the disk: files written or copied, read-only bits set or cleared,
// directories created; the bytes of a written file only while a later entry of the
// list still reads it.
class DryEffects final : public RunEffects {
 public:
  explicit DryEffects(const FileList& files);

  bool isHiddenOrSystem(const std::string& path) override;
  LoadedFile loadLines(const std::string& path, LineList& list) override;
  bool fileExists(const std::string& path) override;
  bool createDirectoryPath(const std::string& directory) override;
  bool targetWritable(const std::string& path, bool ignoreReadOnly) override;
  void saveLines(const LineList& lines, const std::string& path) override;
  void copyWholeFile(const std::string& source, const std::string& destination) override;
  void markReadOnly(const std::string& path) override;
  const std::string* changedContent(const std::string& path) const override;

 private:
  // A file as the run would have left it.
  struct Written {
    bool readOnly = false;
    bool hasContent = false;
    std::string content;
  };

  bool directoryExists(const std::string& path) const;
  // The attributes of path as the run would have left them; nothing when there is none.
  std::optional<platform::Attributes> attributesOf(const std::string& path) const;
  // Whether a later entry of the list reads path.
  bool readAgain(const std::string& path) const;
  // Records a write to path; bytes, when given, are kept for a later read.
  void recordWrite(const std::string& path, const std::string* bytes, bool readOnly);
  std::string bytesOf(const std::string& path) const;

  // How often each path of the list is still to come; the keys point into the list.
  std::unordered_map<std::string_view, int> unreadListings_;
  std::map<std::string, Written> files_;
  std::set<std::string> directories_;
};

}  // namespace quorvel
