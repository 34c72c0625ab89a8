#pragma once
// Everything a run does to the files and asks of them, in one place: a real run
// changes the disk through FileEffects, a dry run only predicts the same changes
// through DryEffects, so the decisions of the run are made once for both.

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/LineStream.h"
#include "engine/Lines.h"
#include "files/FileList.h"
#include "platform/FileSystem.h"
#include "platform/FileTransaction.h"

namespace quorvel {

namespace platform {
class RunJournal;
}

// A source as the run reads it: through the stream, of this size (as it was opened),
// with the read-only bit it had then.
struct SourceRead {
  LineStream::Read read;
  int64_t size = 0;
  bool readOnly = false;
};

// The new text of a changed file: the whole of it for a file read in one block, or for
// a larger one the replacement made once more block by block, each block's bytes handed
// to the sink (which answers false to stop).
struct TextContent {
  std::optional<std::string_view> whole;
  std::function<void(const std::function<bool(std::string_view)>& sink)> blocks;
};

class RunEffects {
 public:
  virtual ~RunEffects() = default;

  // Called once for every listed file, first of all. With a tree, a link that leads out
  // of it counts as system.
  virtual bool isHiddenOrSystem(const std::string& path, const platform::WriteTree* tree) = 0;
  // Opens the source, held in source while the file is processed; "Cannot open file %s".
  virtual SourceRead openSource(const std::string& path, platform::SourceFile& source) = 0;
  // The target root is made with every missing parent and opened once into tree; every
  // level below it is then opened or made without following a link, so a link where
  // the target tree needs a directory is a directory that cannot be created.
  virtual bool openTargetDirectory(const std::string& root, const std::string& directory,
                                   std::optional<platform::WriteTree>& tree,
                                   platform::DirHandle& opened) = 0;
  // May clear the target's read-only bit.
  virtual bool targetWritable(const std::string& path, bool ignoreReadOnly,
                              const platform::WriteTree* tree) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  // Both write only a source that no other program has changed meanwhile, and throw as
  // the writes of the platform layer fail.
  virtual void writeText(const std::string& target, const platform::SourceFile& source,
                         const platform::WriteRequest& request, const TextContent& content) = 0;
  virtual void copyFile(const std::string& sourcePath, platform::SourceFile& source,
                        const std::string& target, const platform::WriteRequest& request) = 0;
  virtual void markReadOnly(const std::string& path) = 0;

  // The bytes the run would have left at path by now, where they are not those on disk.
  virtual const std::string* changedContent(const std::string& path) const {
    (void)path;
    return nullptr;
  }
};

class FileEffects final : public RunEffects {
 public:
  // With a journal, every change is recorded in it first, so that it can be taken back.
  explicit FileEffects(platform::RunJournal* journal = nullptr) : journal_(journal) {}

  bool isHiddenOrSystem(const std::string& path, const platform::WriteTree* tree) override;
  SourceRead openSource(const std::string& path, platform::SourceFile& source) override;
  bool openTargetDirectory(const std::string& root, const std::string& directory,
                           std::optional<platform::WriteTree>& tree,
                           platform::DirHandle& opened) override;
  bool targetWritable(const std::string& path, bool ignoreReadOnly,
                      const platform::WriteTree* tree) override;
  bool fileExists(const std::string& path) override;
  void writeText(const std::string& target, const platform::SourceFile& source,
                 const platform::WriteRequest& request, const TextContent& content) override;
  void copyFile(const std::string& sourcePath, platform::SourceFile& source,
                const std::string& target, const platform::WriteRequest& request) override;
  void markReadOnly(const std::string& path) override;

 private:
  platform::RunJournal* journal_;
};

// Reads the disk and changes nothing. What the run would have changed so far is kept
// as an overlay over the disk: files written or copied, read-only bits set or cleared,
// directories created; the bytes of a written file only while a later entry of the
// list still reads it.
class DryEffects final : public RunEffects {
 public:
  explicit DryEffects(const FileList& files);

  bool isHiddenOrSystem(const std::string& path, const platform::WriteTree* tree) override;
  SourceRead openSource(const std::string& path, platform::SourceFile& source) override;
  bool openTargetDirectory(const std::string& root, const std::string& directory,
                           std::optional<platform::WriteTree>& tree,
                           platform::DirHandle& opened) override;
  bool targetWritable(const std::string& path, bool ignoreReadOnly,
                      const platform::WriteTree* tree) override;
  bool fileExists(const std::string& path) override;
  void writeText(const std::string& target, const platform::SourceFile& source,
                 const platform::WriteRequest& request, const TextContent& content) override;
  void copyFile(const std::string& sourcePath, platform::SourceFile& source,
                const std::string& target, const platform::WriteRequest& request) override;
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
  // Whether a level would be made: no entry of any kind, nor a written file, is there.
  bool levelFree(const std::string& path) const;
  // The attributes of path as the run would have left them; nothing when there is none.
  std::optional<platform::Attributes> attributesOf(const std::string& path) const;
  // Whether a later entry of the list reads path.
  bool readAgain(const std::string& path) const;
  // Records a write to path; bytes, when given, are kept for a later read.
  void recordWrite(const std::string& path, const std::string* bytes, bool readOnly);
  // What a write to target meets before anything is written; records the write and
  // gives false where no later entry reads its bytes, true where they are to be kept.
  bool beginWrite(const std::string& target);

  // How often each path of the list is still to come; the keys point into the list.
  std::unordered_map<std::string_view, int> unreadListings_;
  std::map<std::string, Written> files_;
  std::set<std::string> directories_;
};

}  // namespace quorvel
