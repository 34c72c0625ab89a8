#pragma once
// What the write tests look at on disk: modes, times and every entry below a folder
// (the names in one folder, where a temporary file left behind shows, are NamesIn of
// support/TempDir.h).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace quorvel::platform {

inline mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

inline struct timespec MtimeOf(const std::string& path) {
  struct stat st = {};
  ::stat(path.c_str(), &st);
  return st.st_mtim;
}

inline void SetMtime(const std::string& path, time_t sec, long nsec) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {sec, nsec}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Everything below root as it stands: kind, mode, bytes or link target of each entry.
// Two equal snapshots mean that nothing was changed, created or left behind.
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string path = e.path().string();
    struct stat st;
    ::lstat(path.c_str(), &st);
    std::string state = std::to_string(st.st_mode) + ":";
    if (S_ISREG(st.st_mode)) {
      state += quorvel::testing::ReadFile(path);
    } else if (S_ISLNK(st.st_mode)) {
      state += std::filesystem::read_symlink(e.path()).string();
    }
    entries[path.substr(root.size())] = state;
  }
  return entries;
}

class UmaskGuard {
 public:
  explicit UmaskGuard(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskGuard() { ::umask(old_); }

 private:
  mode_t old_;
};

}  // namespace quorvel::platform
