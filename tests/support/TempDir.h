#pragma once
// A temporary folder of the test's own, removed with everything in it at the end, and
// small helpers to lay out files inside it.

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    // Give write bits back first, so read-only fixtures can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_symlink()) ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing '/'.
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
  }

  // Writes bytes to a file below the folder, creating its directories.
  std::string write(std::string_view relative, std::string_view bytes) const {
    std::string full = *this / relative;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return full;
  }
  std::string mkdir(std::string_view relative) const {
    std::string full = *this / relative;
    std::filesystem::create_directories(full);
    return full;
  }

 private:
  std::string path_;
};

// A whole file, empty when it cannot be read; a block at a time, as trees of large
// files are read back whole.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) bytes.append(block, size_t(in.gcount()));
  return bytes;
}

// The names in dir, sorted; hidden ones included.
inline std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline void SetReadOnly(const std::string& path) { ::chmod(path.c_str(), 0444); }

// Sets both times of a file to the second given, with a fixed fraction.
inline void SetMtime(const std::string& path, time_t seconds) {
  struct timespec times[2] = {{seconds, 123456789}, {seconds, 123456789}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

inline struct timespec Mtime(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mtim;
}

}  // namespace quorvel::testing
