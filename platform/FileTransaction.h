#pragma once
// The one way a file is written: the new content is staged in a hidden temporary file
// beside the target, checked, given the old file's owner, mode and extended attributes,
// and only then put in the target's place. Everything works relative to directory
// descriptors, so no link swapped in meanwhile can lead a write elsewhere, and a file
// that another program holds open for writing, or changed meanwhile, is never written
// over. A source is read through SourceFile, which holds a read lease while the file is
// processed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ByteBuffer.h"
#include "platform/FileSystem.h"

namespace quorvel::platform {

class RunJournal;

// What makes a file the same file: a change by another program moves one of these.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtimeSec = 0, mtimeNsec = 0;
  int64_t ctimeSec = 0, ctimeNsec = 0;
  bool operator==(const FileIdentity&) const = default;
};

// An open directory, owned. Opened without following a link at its last level.
class DirHandle {
 public:
  DirHandle() = default;
  explicit DirHandle(int fd) : fd_(fd) {}
  ~DirHandle();
  DirHandle(DirHandle&& other) noexcept : fd_(other.release()) {}
  DirHandle& operator=(DirHandle&& other) noexcept;
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// A tree that writes must not leave: its root is resolved once, when it is opened, and
// every level below it is opened with O_NOFOLLOW, so a directory swapped for a link
// later cannot lead anywhere else.
class WriteTree {
 public:
  // The tree at root (links in root itself followed, once); nothing when root is no
  // directory.
  static std::optional<WriteTree> Open(const std::string& root);

  // The root as given and as resolved, neither with a trailing '/'.
  const std::string& givenRoot() const { return given_; }
  const std::string& resolvedRoot() const { return resolved_; }
  int fd() const { return root_.fd(); }

  // Opens the directory at path (the given root followed by levels below it) level by
  // level. With create, missing levels are made (0777 less the umask), each recorded in
  // the journal when there is one. A link or a file where a level is needed, a path
  // outside the tree or "..", gives NotADirectory.
  enum class DirStatus { Ok, NotADirectory, Missing, Failed };
  DirStatus openDirectory(const std::string& path, bool create, DirHandle& out,
                          RunJournal* journal = nullptr) const;

  // True when path, with every link followed, names a place inside the tree.
  bool leadsInside(const std::string& path) const;

  // The part of path below the given root ("" for the root itself), or nothing when
  // path does not start with the given root; "." and ".." levels count as outside.
  std::optional<std::string> relativeOf(const std::string& path) const;
  // The same below a root that need not exist yet, given as a tree would be opened on
  // it; a trailing '/' of path is not taken off.
  static std::optional<std::string> RelativeBelow(const std::string& givenRoot,
                                                  const std::string& path);

 private:
  std::string given_;
  std::string resolved_;
  DirHandle root_;
};

// A source file opened for reading and held for as long as it is processed. Another
// program that opens it for writing meanwhile breaks the lease; the file then counts as
// held for writing. Where no lease can be had (another owner, a file system without
// leases), the identity check before the write is the guard.
class SourceFile {
 public:
  enum class Status { Ok, CannotOpen, HeldForWriting };

  SourceFile() = default;
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  // Opens a regular file (a FIFO never blocks here) and takes the read lease.
  Status open(const std::string& path);
  void close();

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  const FileIdentity& identity() const { return identity_; }
  uint32_t mode() const { return mode_; }  // permission bits, 07777
  bool readOnly() const { return (mode_ & 0200) == 0; }
  bool leased() const { return leased_; }

  // Reads the whole file into out, sized by the file's length at open. Running out of
  // memory throws std::bad_alloc.
  ReadResult readAll(ByteBuffer& out);
  // Reads up to size bytes at the current position: the count, 0 at the end, -1 on an
  // error.
  int64_t read(char* to, size_t size);
  // The same at offset, leaving the position as it is.
  int64_t readAt(char* to, size_t size, int64_t offset);

  // Takes the file's own metadata again after the program itself changed it (cleared
  // its read-only bit): only the change time and the mode may have moved, so a change
  // of the content by another program still shows.
  void acceptOwnMetadataChange();

  // True while no other program has opened the file for writing since it was opened
  // (as far as a lease can tell) and its data has not changed.
  bool unchanged() const;

 private:
  int fd_ = -1;
  std::string path_;
  FileIdentity identity_;
  uint32_t mode_ = 0;
  bool leased_ = false;
};

enum class TransactionResult {
  Ok,
  CannotOpenSource,  // a copy's source
  HeldForWriting,    // open for writing elsewhere, changed, replaced or deleted meanwhile
  CannotCreate,
  ReadError,
  WriteError,
};

// How one write is checked and what the new file gets.
struct WriteRequest {
  HiddenTarget hidden = HiddenTarget::Refuse;
  // Writes stay inside this tree: a link at the target must lead inside it and every
  // directory level is opened without following links. Without a tree the target's
  // directory is taken as the path names it.
  const WriteTree* tree = nullptr;
  // The target's directory, as the caller has just opened it inside the tree: spares
  // opening the levels again. Its path must be the directory part of the target's, and
  // the caller keeps it open until the transaction has ended.
  const DirHandle* directory = nullptr;
  // The file the write replaces must still be this one (write into the source).
  const SourceFile* replaces = nullptr;
  // Permission bits of the source: a new file gets them with the owner write bit, less
  // the umask. Without them a new file gets 0666 less the umask.
  std::optional<uint32_t> sourceMode;
  // The new file's last-write time, when it is to be kept from a source.
  std::optional<FileIdentity> timeFrom;
  // The run's journal: the file replaced is kept and the write recorded before the
  // rename (or the rewrite in place) that makes it.
  RunJournal* journal = nullptr;
};

// One write of one file: begin checks the target and stages, append adds bytes, commit
// puts them in place. Whatever ends the transaction before commit succeeds leaves the
// target as it was and no temporary file.
class FileTransaction {
 public:
  FileTransaction();
  ~FileTransaction();
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  TransactionResult begin(const std::string& path, const WriteRequest& request);
  TransactionResult append(std::string_view bytes);
  TransactionResult commit();
  void abort();

 private:
  struct State;
  State* state_;
};

// A whole write in one call.
TransactionResult WriteFileContent(const std::string& path, std::string_view content,
                                   const WriteRequest& request = {});
// A byte copy of an opened source, carrying its last-write time; a new target gets the
// source's mode as a new written file does. An unchanged() check of the source before
// the commit makes a source changed meanwhile HeldForWriting.
TransactionResult CopyFileContent(SourceFile& source, const std::string& destination,
                                  const WriteRequest& request = {});

// Installs the handlers that remove a live temporary file when SIGTERM, SIGINT or SIGHUP
// ends the program (each then ends it as it would have), and the lease-break handler.
// A signal that is ignored when this is called stays ignored. Called once at start-up.
void InstallWriteSignalHandlers();

// For tests: called at the named moments of every transaction, with its target path.
enum class TransactionPoint { Staged, RewritingInPlace };
using TransactionHook = void (*)(TransactionPoint point, const std::string& path);
void SetTransactionHook(TransactionHook hook);

}  // namespace quorvel::platform
