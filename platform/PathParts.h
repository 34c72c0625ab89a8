#pragma once
// The parts of a path the platform layer opens things by: its directory and its own
// name, split at the last slash and joined again, and the path with every link resolved.

#include <cstdlib>
#include <string>

namespace quorvel::platform {

// Splits a path into its directory ("." for a bare name, "/" for the root) and name.
inline void SplitPath(const std::string& path, std::string& dir, std::string& name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    dir = ".";
    name = path;
  } else {
    dir = slash == 0 ? std::string("/") : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

inline std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir == "/" ? dir + name : dir + "/" + name;
}

// The absolute path with every link and dot resolved; empty when it leads nowhere.
inline std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string resolved(real);
  std::free(real);
  return resolved;
}

}  // namespace quorvel::platform
