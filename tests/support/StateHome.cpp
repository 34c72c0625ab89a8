// Linked into every test program: the run journals go to a temporary folder of the
// test's own (XDG_STATE_HOME), never to the home of whoever runs the tests, and the
// folder goes when the program ends.

#include <stdlib.h>

#include <cstdlib>

#include <filesystem>
#include <string>

namespace {

class StateHome {
 public:
  StateHome() {
    // A child of a test program (a death test runs the program again) keeps the folder
    // of its parent, which removes it.
    const char* inherited = std::getenv("XDG_STATE_HOME");
    if (inherited && std::string(inherited).find("/quorvel-state-") != std::string::npos) return;
    std::error_code ec;
    const std::string program = std::filesystem::read_symlink("/proc/self/exe", ec).filename().string();
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("quorvel-state-" + program + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data())) {
      path_ = pattern;
      ::setenv("XDG_STATE_HOME", path_.c_str(), 1);
    }
  }
  ~StateHome() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }

 private:
  std::string path_;
};

const StateHome g_stateHome;

}  // namespace
