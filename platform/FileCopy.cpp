#include "platform/FileCopy.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace quorvel::platform {

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.device = uint64_t(st.st_dev);
  id.inode = uint64_t(st.st_ino);
  id.size = int64_t(st.st_size);
  id.mtimeSec = int64_t(st.st_mtim.tv_sec);
  id.mtimeNsec = int64_t(st.st_mtim.tv_nsec);
  id.ctimeSec = int64_t(st.st_ctim.tv_sec);
  id.ctimeNsec = int64_t(st.st_ctim.tv_nsec);
  return id;
}

bool WriteAll(int fd, const char* data, size_t size, off_t at) {
  while (size > 0) {
    ssize_t n = at < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    size -= size_t(n);
    if (at >= 0) at += n;
  }
  return true;
}

bool CopyRange(int from, int to, int64_t size) {
  char block[65536];
  off_t at = 0;
  while (at < size) {
    const size_t want = size_t(std::min<int64_t>(int64_t(sizeof block), size - at));
    ssize_t n = ::pread(from, block, want, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;  // shorter than it was
    if (!WriteAll(to, block, size_t(n), at)) return false;
    at += n;
  }
  return true;
}

bool CopyAttributes(int from, int to) {
  ssize_t size = ::flistxattr(from, nullptr, 0);
  if (size < 0) return errno == ENOTSUP;
  if (size == 0) return true;
  std::vector<char> names(size_t(size) + 1);
  size = ::flistxattr(from, names.data(), names.size());
  if (size < 0) return false;
  std::vector<char> value;
  for (ssize_t at = 0; at < size;) {
    const char* name = names.data() + at;
    at += ssize_t(std::strlen(name)) + 1;
    ssize_t length = ::fgetxattr(from, name, nullptr, 0);
    if (length < 0) return false;
    value.resize(size_t(length) + 1);
    length = ::fgetxattr(from, name, value.data(), value.size());
    if (length < 0) return false;
    if (::fsetxattr(to, name, value.data(), size_t(length), 0) != 0) return false;
  }
  return true;
}

}  // namespace quorvel::platform
