#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace quorvel::platform {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr size_t kCopyBlock = 8192;

// The last component of path; trailing slashes do not start an empty one.
std::string_view OwnName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

// Without the trailing name, ending in '/' (empty for a bare name in the current
// directory), so that a temporary name can be appended.
std::string DirectoryWithSlash(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Asked for each new file, as the umask may change while the program runs. umask()
// can only be read by setting it for a moment; files are created from one thread
// only, so nothing is created under the passing value.
mode_t CurrentUmask() {
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

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

// The file a write replaces, checked as creating it in place would check it.
struct Target {
  std::string realPath;  // where the bytes go: a link's file, not the link
  bool exists = false;
  struct stat st = {};  // of the replaced file, when it exists
};

bool PrepareTarget(const std::string& path, HiddenTarget hidden, Target& target) {
  struct stat own;
  if (::lstat(path.c_str(), &own) != 0) {
    // A missing directory shows when the temporary file cannot be made in it.
    if (errno != ENOENT) return false;
    target.realPath = path;
    return true;
  }
  std::optional<Attributes> attrs = GetAttributes(path);
  if (!attrs || attrs->directory || attrs->system || attrs->readOnly) return false;
  if (attrs->hidden && hidden == HiddenTarget::Refuse) return false;
  if (S_ISLNK(own.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    target.realPath = real;
    std::free(real);
  } else {
    target.realPath = path;
  }
  if (::stat(target.realPath.c_str(), &target.st) != 0 || !S_ISREG(target.st.st_mode)) {
    return false;
  }
  target.exists = true;
  return true;
}

// A hidden file next to the target that takes the new content and replaces the target
// by rename only once it is complete. Whatever goes wrong before, it is removed again
// and the target keeps its old bytes.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  bool create(const std::string& target) {
    // The name is cut so that the template stays a valid file name for long targets.
    std::string name(OwnName(target).substr(0, 200));
    std::string pattern = DirectoryWithSlash(target) + "." + name + ".XXXXXX";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // 0600, exclusive
    if (fd < 0) return false;
    fd_ = fd;
    path_ = std::move(pattern);
    return true;
  }

  int fd() const { return fd_; }

  // Owner, mode and time of the finished file. None of these may fail the write:
  // file systems such as FAT refuse them and still keep the bytes.
  void finish(const Target& target, mode_t newMode, const struct timespec* mtime) {
    if (target.exists) {
      if (::fchown(fd_, target.st.st_uid, target.st.st_gid) != 0) {
        (void)::fchown(fd_, uid_t(-1), target.st.st_gid);
      }
      // After fchown, which may clear set-id bits.
      (void)::fchmod(fd_, target.st.st_mode & 07777);
    } else {
      (void)::fchmod(fd_, newMode);
    }
    if (mtime) {
      struct timespec times[2] = {{0, UTIME_OMIT}, *mtime};
      (void)::futimens(fd_, times);
    }
  }

  // Closing reports late write errors (network file systems); the rename is the one
  // step that makes the new content visible.
  WriteResult commit(const std::string& target) {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return WriteResult::WriteError;
    if (::rename(path_.c_str(), target.c_str()) != 0) return WriteResult::CannotCreate;
    path_.clear();
    return WriteResult::Ok;
  }

 private:
  int fd_ = -1;
  std::string path_;
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

std::optional<Attributes> GetAttributes(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  Attributes attrs;
  attrs.hidden = IsHiddenName(OwnName(path));
  if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0) {
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

bool SetReadOnly(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), st.st_mode & 07777 & ~kWriteBits) == 0;
}

bool ClearReadOnly(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
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
  try {
    resize(out, size_t(st.st_size));
  } catch (const std::exception&) {
    return ReadResult::ReadError;
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
  Target target;
  if (!PrepareTarget(path, hidden, target)) return WriteResult::CannotCreate;
  TempFile temp;
  if (!temp.create(target.realPath)) return WriteResult::CannotCreate;
  if (!WriteAll(temp.fd(), content.data(), content.size())) return WriteResult::WriteError;

  struct stat from;
  const bool haveTime = mtimeFrom && ::stat(mtimeFrom->c_str(), &from) == 0;
  temp.finish(target, 0666 & ~CurrentUmask(), haveTime ? &from.st_mtim : nullptr);
  return temp.commit(target.realPath);
}

CopyResult CopyFileBytes(const std::string& src, const std::string& dst) {
  struct stat srcStat;
  int in = OpenRegularForReading(src, srcStat);
  if (in < 0) return CopyResult::CannotOpenSource;
  FdCloser closer(in);

  Target target;
  if (!PrepareTarget(dst, HiddenTarget::Refuse, target)) return CopyResult::CannotCreate;
  TempFile temp;
  if (!temp.create(target.realPath)) return CopyResult::CannotCreate;

  char block[kCopyBlock];
  for (;;) {
    ssize_t n = ::read(in, block, sizeof block);
    if (n < 0) {
      if (errno == EINTR) continue;
      return CopyResult::ReadError;
    }
    if (n == 0) break;
    if (!WriteAll(temp.fd(), block, size_t(n))) return CopyResult::WriteError;
  }

  temp.finish(target, srcStat.st_mode & 0777 & ~CurrentUmask(), &srcStat.st_mtim);
  switch (temp.commit(target.realPath)) {
    case WriteResult::Ok:
      return CopyResult::Ok;
    case WriteResult::CannotCreate:
      return CopyResult::CannotCreate;
    case WriteResult::WriteError:
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
