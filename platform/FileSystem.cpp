#include "platform/FileSystem.h"

#include "platform/FileTransaction.h"
#include "platform/RunJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace quorvel::platform {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Opens a file for reading the way every reader here does: never blocking on a FIFO,
// and only ever handing back a regular file.
int OpenRegularForReading(const std::string& path, struct stat& st) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() { ::close(fd_); }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

// Upper-casing of ASCII letters only, for the order of directory entries.
unsigned char FoldAscii(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

bool NameLess(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char fa = FoldAscii(a[i]), fb = FoldAscii(b[i]);
    if (fa != fb) return fa < fb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

bool HasHiddenName(std::string_view path) {
  // The last component; trailing slashes do not start an empty one.
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

std::optional<Attributes> GetAttributes(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  Attributes attrs;
  attrs.hidden = HasHiddenName(path);
  attrs.link = S_ISLNK(st.st_mode);
  if (attrs.link && ::stat(path.c_str(), &st) != 0) {
    attrs.system = true;  // a link that leads nowhere
    return attrs;
  }
  attrs.directory = S_ISDIR(st.st_mode);
  attrs.system = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
  attrs.readOnly = (st.st_mode & S_IWUSR) == 0;
  if (S_ISREG(st.st_mode)) attrs.size = int64_t(st.st_size);
  return attrs;
}

bool FileExists(const std::string& path) {
  std::optional<Attributes> attrs = GetAttributes(path);
  return attrs && !attrs->directory;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool ChangeMode(const std::string& path, mode_t clear, mode_t set, RunJournal* journal) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  const mode_t mode = ((st.st_mode & 07777) & ~clear) | set;
  if (journal && mode != (st.st_mode & 07777) && !journal->recordMode(path, st, uint32_t(mode))) {
    return false;
  }
  return ::chmod(path.c_str(), mode) == 0;
}

}  // namespace

bool SetReadOnly(const std::string& path, RunJournal* journal) {
  return ChangeMode(path, kWriteBits, 0, journal);
}

bool ClearReadOnly(const std::string& path, RunJournal* journal) {
  return ChangeMode(path, 0, S_IWUSR, journal);
}

bool MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

namespace {

// Reads up to size bytes into a buffer of that size; the count read, or -1 on an error.
// A file that shrank since it was measured ends early.
ssize_t ReadUpTo(int fd, char* to, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, to + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  return ssize_t(done);
}

// Opens path, sizes out through resize(bytes) and reads the file into it.
template <typename Buffer, typename Resize>
ReadResult ReadInto(const std::string& path, Buffer& out, Resize resize, bool* readOnly) {
  struct stat st;
  int fd = OpenRegularForReading(path, st);
  if (fd < 0) return ReadResult::CannotOpen;
  if (readOnly) *readOnly = (st.st_mode & S_IWUSR) == 0;
  FdCloser closer(fd);
  // Running out of memory is no read error: it goes to the caller as what it is.
  try {
    resize(out, size_t(st.st_size));
  } catch (const std::length_error&) {
    throw std::bad_alloc();
  }
  const ssize_t done = ReadUpTo(fd, out.data(), size_t(st.st_size));
  if (done < 0) return ReadResult::ReadError;
  resize(out, size_t(done));
  return ReadResult::Ok;
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  return ReadInto(
      path, out, [](std::string& buffer, size_t bytes) { buffer.resize(bytes); }, nullptr);
}

ReadResult ReadWholeFile(const std::string& path, ByteBuffer& out, bool* readOnly) {
  // A buffer kept from earlier files is filled as it is, never cleared first.
  return ReadInto(
      path, out, [](ByteBuffer& buffer, size_t bytes) { buffer.resizeUninitialized(bytes); },
      readOnly);
}

WriteResult ReplaceFileContent(const std::string& path, std::string_view content,
                               const std::string* mtimeFrom, HiddenTarget hidden) {
  WriteRequest request;
  request.hidden = hidden;
  struct stat from;
  if (mtimeFrom && ::stat(mtimeFrom->c_str(), &from) == 0) {
    request.timeFrom = FileIdentity{};
    request.timeFrom->mtimeSec = int64_t(from.st_mtim.tv_sec);
    request.timeFrom->mtimeNsec = int64_t(from.st_mtim.tv_nsec);
  }
  switch (WriteFileContent(path, content, request)) {
    case TransactionResult::Ok:
      return WriteResult::Ok;
    case TransactionResult::WriteError:
    case TransactionResult::ReadError:
      return WriteResult::WriteError;
    default:
      return WriteResult::CannotCreate;
  }
}

CopyResult CopyFileBytes(const std::string& src, const std::string& dst) {
  SourceFile source;
  // Held open for writing elsewhere: the source cannot be opened, as on the platform
  // the program was made for.
  if (source.open(src) != SourceFile::Status::Ok) return CopyResult::CannotOpenSource;
  switch (CopyFileContent(source, dst)) {
    case TransactionResult::Ok:
      return CopyResult::Ok;
    case TransactionResult::CannotOpenSource:
    case TransactionResult::HeldForWriting:
      return CopyResult::CannotOpenSource;
    case TransactionResult::CannotCreate:
      return CopyResult::CannotCreate;
    case TransactionResult::ReadError:
      return CopyResult::ReadError;
    case TransactionResult::WriteError:
      break;
  }
  return CopyResult::WriteError;
}

std::vector<DirEntry> ListDirectory(const std::string& dir) {
  std::vector<DirEntry> entries;
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return entries;
  DIR* stream = ::fdopendir(fd);
  if (!stream) {
    ::close(fd);
    return entries;
  }
  while (const dirent* e = ::readdir(stream)) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    unsigned char type = e->d_type;
    struct stat st;
    // Most file systems tell the type in the entry; only the others cost a stat.
    if (type == DT_UNKNOWN) {
      if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
      type = static_cast<unsigned char>(IFTODT(st.st_mode));
    }
    DirEntry entry;
    entry.name.assign(name);
    entry.hidden = name[0] == '.';
    switch (type) {
      case DT_DIR:
        entry.directory = true;
        break;
      case DT_REG:
        break;
      case DT_LNK:
        entry.symlink = true;
        if (::fstatat(fd, e->d_name, &st, 0) != 0) {
          entry.system = true;
        } else {
          entry.directory = S_ISDIR(st.st_mode);
          entry.system = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode);
        }
        break;
      default:
        entry.system = true;
        break;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(stream);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return NameLess(a.name, b.name); });
  return entries;
}

std::string ProgramPath() {
  char* real = ::realpath("/proc/self/exe", nullptr);
  if (!real) return {};
  std::string path(real);
  std::free(real);
  return path;
}

}  // namespace quorvel::platform
