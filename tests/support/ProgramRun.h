#pragma once
// Runs the built programs on a temporary tree. The programs are linked (or copied) into
// the tree's bin/, so that their own directory, which empty and relative directory
// fields resolve against and where the window keeps its Quorvel.ini, lies inside the
// test's folder. A started program sees a small environment of the test's choosing: the
// code page, the offscreen platform, a ping host on a closed port of 127.0.0.1 and a
// home inside the tree. Every run has a deadline: a program that hangs is killed and
// reported, so a hang fails the test instead of holding up CI.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ChildEnvironment.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace quorvel::testing {

// How one run of a program ended and what it printed.
struct Outcome {
  int status = -1;    // exit status, -1 when it did not exit
  int signal = 0;     // the signal that ended it
  bool hung = false;  // killed at the deadline
  std::string out;
  std::string err;    // with a terminal, what the terminal showed
};

struct Launch {
  explicit Launch(std::vector<std::string> arguments) : args(std::move(arguments)) {}

  std::vector<std::string> args;
  std::string program = "quorvel-batch";  // its name in bin/
  std::string codePage = "windows-1250";
  // Entries ahead of the tree's own; getenv takes the first entry of a name.
  std::vector<std::string> environment;
  std::optional<std::string> input;  // standard input; /dev/null without it
  bool terminal = false;             // standard error a pseudo-terminal
  std::string workingDir;            // the test's own when empty
  // The largest file the program may write, as on a nearly full disk; SIGXFSZ is
  // ignored, so an oversized write fails with EFBIG instead of killing it.
  std::optional<rlim_t> fileSizeLimit;
};

class ProgramTree {
 public:
  explicit ProgramTree(const std::vector<std::string>& binaries = {QUORVEL_BATCH_BINARY}) {
    dir.mkdir("bin");
    for (const std::string& binary : binaries) {
      const std::string link = dir / ("bin/" + std::filesystem::path(binary).filename().string());
      std::error_code ec;
      std::filesystem::create_hard_link(binary, link, ec);
      if (ec) std::filesystem::copy_file(binary, link);
    }
    programDir = std::filesystem::canonical(dir / "bin").string() + "/";
    pingHost = "127.0.0.1:" + std::to_string(ClosedPort());
  }

  // Starts a program; wait() collects it.
  pid_t start(const Launch& launch) {
    std::vector<std::string> environment = launch.environment;
    for (const std::string& entry : std::vector<std::string>{
             "QT_QPA_PLATFORM=offscreen", "QUORVEL_CODEPAGE=" + launch.codePage,
             "QUORVEL_PING_HOST=" + pingHost, "HOME=" + (dir / "home"),
             "XDG_CONFIG_HOME=" + (dir / "config"), "XDG_RUNTIME_DIR=" + dir.mkdir("runtime")}) {
      environment.push_back(entry);
    }
    environment = ChildEnvironment(std::move(environment));
    std::vector<char*> envp = PointerArray(environment);
    std::vector<std::string> args{dir / ("bin/" + launch.program)};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv = PointerArray(args);

    dir.mkdir("io");
    const std::string inPath = launch.input ? dir.write("io/stdin", *launch.input) : "/dev/null";
    const std::string outPath = dir / "io/stdout";
    const std::string errPath = dir / "io/stderr";
    std::string terminalPath;
    terminal_ = -1;
    if (launch.terminal) {
      terminal_ = ::posix_openpt(O_RDWR | O_NOCTTY);
      EXPECT_GE(terminal_, 0) << "no pseudo-terminal";
      if (terminal_ >= 0 && ::grantpt(terminal_) == 0 && ::unlockpt(terminal_) == 0) {
        terminalPath = ::ptsname(terminal_);
      }
    }
    const char* workingDir = launch.workingDir.empty() ? nullptr : launch.workingDir.c_str();

    const pid_t pid = ::fork();
    if (pid == 0) {
      // Only async-signal-safe calls from here to the exec.
      const int in = ::open(inPath.c_str(), O_RDONLY);
      const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = launch.terminal ? ::open(terminalPath.c_str(), O_RDWR | O_NOCTTY)
                                      : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
          ::dup2(err, 2) < 0 || (workingDir && ::chdir(workingDir) != 0)) {
        ::_exit(126);
      }
      if (launch.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);  // an ignored signal stays ignored across exec
        struct rlimit limit = {*launch.fileSizeLimit, *launch.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    EXPECT_GE(pid, 0) << "the program was not started";
    return pid;
  }

  // Waits for the program started last; kills it at the deadline.
  Outcome wait(pid_t pid, std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    Outcome outcome;
    if (pid <= 0) return outcome;  // waitpid would take any child
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + deadline;
    bool exited = false;
    for (;;) {
      if (terminal_ >= 0) {
        // Drained while the program runs, so that a full terminal buffer never blocks it.
        struct pollfd p {terminal_, POLLIN, 0};
        ssize_t n = 0;
        char buffer[4096];
        if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
          n = ::read(terminal_, buffer, sizeof buffer);
          if (n > 0) outcome.err.append(buffer, size_t(n));
        }
        if (n > 0) continue;
      }
      // Nothing more to read: done once the program has ended and its output is in.
      if (exited) break;
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done < 0) break;
      exited = done == pid;
      if (!exited && std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        outcome.hung = true;
        exited = true;
      }
      if (!exited && terminal_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (exited && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    if (exited && WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    outcome.out = ReadFile(dir / "io/stdout");
    if (terminal_ >= 0) {
      ::close(terminal_);
      terminal_ = -1;
    } else {
      outcome.err = ReadFile(dir / "io/stderr");
    }
    return outcome;
  }

  Outcome run(const Launch& launch) { return wait(start(launch)); }
  Outcome run(const std::string& settings) { return run(Launch{{settings}}); }

  TempDir dir;
  std::string programDir;  // the programs' own directory, ending in '/'
  std::string pingHost;    // where the window sends its usage ping

 private:
  int terminal_ = -1;  // the test's side of the terminal of the program started last
};

// The four result lines quorvel-batch prints on standard output.
inline std::string Results(int files, int lines, int hits, int changed) {
  return "Bude se zpracovávat souborů : " + std::to_string(files) + "\n" +
         "Řádek zpracováno : " + std::to_string(lines) + "\n" +
         "Výskytů nalezeno : " + std::to_string(hits) + "\n" +
         "Souborů změněno : " + std::to_string(changed) + "\n";
}

}  // namespace quorvel::testing
