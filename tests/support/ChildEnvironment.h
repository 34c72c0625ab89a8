#pragma once
// The environment of a program a test starts: the test's own entries first (getenv
// takes the first entry of a name), then what the system and the sanitizer builds
// need from the test's own environment.

#include <string>
#include <vector>

extern char** environ;

namespace quorvel::testing {

inline std::vector<std::string> ChildEnvironment(std::vector<std::string> own) {
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    for (const char* kept : {"PATH=", "LD_", "ASAN_", "UBSAN_", "LSAN_", "XDG_STATE_HOME="}) {
      if (text.rfind(kept, 0) == 0) own.push_back(text);
    }
  }
  return own;
}

// The NUL-ended array of pointers that execve takes; texts must outlive it.
inline std::vector<char*> PointerArray(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace quorvel::testing
