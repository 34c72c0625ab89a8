#pragma once
// Drives the built quorvel-batch on a temporary tree: the program is linked (or
// copied) into the tree's bin/, so that its own directory, which empty and relative
// directory fields resolve against, lies inside the test's folder. Every run has a
// deadline: a program that hangs is killed and reported, so a hang fails the test
// instead of holding up CI.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace quorvel::testing {

// How one run of the program ended and what it printed.
struct Outcome {
  int status = -1;      // exit status, -1 when it did not exit
  int signal = 0;       // the signal that ended it
  bool hung = false;    // killed at the deadline
  std::string out;
  std::string err;
};

struct Launch {
  explicit Launch(std::vector<std::string> arguments) : args(std::move(arguments)) {}

  std::vector<std::string> args;
  std::string codePage = "windows-1250";
  // The largest file the program may write, as on a nearly full disk; SIGXFSZ is
  // ignored, so an oversized write fails with EFBIG instead of killing it.
  std::optional<rlim_t> fileSizeLimit;
};

class BatchTree {
 public:
  BatchTree() {
    dir.mkdir("bin");
    dir.mkdir("io");
    binary_ = dir / "bin/quorvel-batch";
    std::error_code ec;
    std::filesystem::create_hard_link(QUORVEL_BATCH_BINARY, binary_, ec);
    if (ec) std::filesystem::copy_file(QUORVEL_BATCH_BINARY, binary_);
    programDir = std::filesystem::canonical(dir / "bin").string() + "/";
  }

  // Starts the program; standard input is /dev/null.
  pid_t start(const Launch& launch) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      if (std::string_view(*e).rfind("QUORVEL_CODEPAGE=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("QUORVEL_CODEPAGE=" + launch.codePage);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = launch.args;
    std::vector<char*> argv{binary_.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = dir / "io/stdout";
    const std::string errPath = dir / "io/stderr";

    pid_t pid = ::fork();
    if (pid == 0) {
      // Only async-signal-safe calls from here to the exec.
      int in = ::open("/dev/null", O_RDONLY);
      int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0) ::_exit(126);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      if (launch.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);  // an ignored signal stays ignored across exec
        struct rlimit limit = {*launch.fileSizeLimit, *launch.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    return pid;
  }

  // Waits for the program started by start(); kills it at the deadline.
  Outcome wait(pid_t pid, std::chrono::seconds deadline = std::chrono::seconds(60)) {
    Outcome outcome;
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
      pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0) return outcome;
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        outcome.hung = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    outcome.out = ReadFile(dir / "io/stdout");
    outcome.err = ReadFile(dir / "io/stderr");
    return outcome;
  }

  Outcome run(const Launch& launch) { return wait(start(launch)); }
  Outcome run(const std::string& settings) { return run(Launch{{settings}}); }

  TempDir dir;
  std::string programDir;  // the program's own directory, ending in '/'

 private:
  std::string binary_;
};

// A whole file at once; the stream iterator of ReadFile is slow for large trees.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::string bytes(size_t(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), std::streamsize(bytes.size()));
  return bytes;
}

// The four result lines the program prints on standard output.
inline std::string Results(int files, int lines, int hits, int changed) {
  return "Bude se zpracovávat souborů : " + std::to_string(files) + "\n" +
         "Řádek zpracováno : " + std::to_string(lines) + "\n" +
         "Výskytů nalezeno : " + std::to_string(hits) + "\n" +
         "Souborů změněno : " + std::to_string(changed) + "\n";
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

}  // namespace quorvel::testing
