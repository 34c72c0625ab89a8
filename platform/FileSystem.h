#pragma once
// The file-system layer: the few calls the engine and the file listing make, with the
// attribute model of the program (read-only, hidden, system, directory) mapped onto
// POSIX. Paths are byte strings in the file-system encoding.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteBuffer.h"

namespace quorvel::platform {

// What the program knows of a directory entry, after following symbolic links.
struct Attributes {
  bool directory = false;
  bool readOnly = false;  // owner write bit clear
  bool hidden = false;    // the entry's own name starts with '.'
  bool system = false;    // not a regular file nor a directory, or a dangling link
  bool link = false;      // the entry itself is a symbolic link
  int64_t size = 0;       // regular files only
};

// True when the entry's own name, the last level of path, starts with '.'.
bool HasHiddenName(std::string_view path);

// The attributes of the entry at path, or nothing when there is none.
std::optional<Attributes> GetAttributes(const std::string& path);

// True when an entry that is not a directory exists at path.
bool FileExists(const std::string& path);
// True when path names a directory (symbolic links followed).
bool DirectoryExists(const std::string& path);

class RunJournal;

// Clears all three write bits; false when the path cannot be changed. A journal records
// the change first.
bool SetReadOnly(const std::string& path, RunJournal* journal = nullptr);
// Sets the owner write bit; false when the path cannot be changed.
bool ClearReadOnly(const std::string& path, RunJournal* journal = nullptr);

// Creates one directory level (mode 0777 less the umask); true on success.
bool MakeDirectory(const std::string& path);

// Reads a whole regular file into out. Opening fails for a missing file, a directory
// or anything that is not a regular file (a FIFO never blocks here). After a read
// error out holds whatever was read.
enum class ReadResult { Ok, CannotOpen, ReadError };
ReadResult ReadWholeFile(const std::string& path, std::string& out);
// Also tells, when asked, whether the opened file's read-only bit was set.
ReadResult ReadWholeFile(const std::string& path, ByteBuffer& out, bool* readOnly = nullptr);

// Replaces or creates the file at path with content, never leaving a partial file:
// the bytes go to a hidden temporary file in the same directory that is renamed over
// the target once every byte is written. A symbolic link is written through and kept.
// CannotCreate, before anything is written, for an existing entry that is a directory,
// system, hidden or read-only, and for a missing directory. The new file keeps the mode
// and owner of the one it replaces (a new one gets 0666 less the umask). With mtimeFrom
// set, it carries that file's last-write time. On any failure the old file stays.
// HiddenTarget::Allow lifts the hidden check for files that are the program's own
// (a settings file named with a leading point), not the user's processed files.
enum class WriteResult { Ok, CannotCreate, WriteError };
enum class HiddenTarget { Refuse, Allow };
WriteResult ReplaceFileContent(const std::string& path, std::string_view content,
                               const std::string* mtimeFrom = nullptr,
                               HiddenTarget hidden = HiddenTarget::Refuse);

// Copies src to dst in blocks of 8192 bytes with the same checks and guarantees as
// ReplaceFileContent, carrying src's last-write time. A new dst gets src's mode less
// the umask. src opens as in ReadWholeFile; a directory at dst is refused.
enum class CopyResult { Ok, CannotOpenSource, CannotCreate, ReadError, WriteError };
CopyResult CopyFileBytes(const std::string& src, const std::string& dst);

// One entry of a directory search.
struct DirEntry {
  std::string name;
  bool directory = false;  // after following symbolic links
  bool symlink = false;
  bool hidden = false;
  bool system = false;
};

// The entries of dir ("." and ".." left out) in the order of a case-insensitive
// comparison of their names (ASCII upper-cased bytes, ties broken byte-wise). An
// unreadable or missing directory gives no entries.
std::vector<DirEntry> ListDirectory(const std::string& dir);

// The absolute, symlink-free path of the running program file.
std::string ProgramPath();

}  // namespace quorvel::platform
