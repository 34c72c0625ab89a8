// The built programs end to end: quorvel is copied into a temporary program directory,
// so that its own Quorvel.ini and the empty directory fields land inside the test's
// folder, and runs on the offscreen platform with the ping on a server of the test's.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "settings/Options.h"
#include "support/ChildEnvironment.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ChildEnvironment;
using testing::ClosedPort;
using testing::Exists;
using testing::LoopbackServer;
using testing::PointerArray;
using testing::ReadFile;
using testing::TempDir;

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    dir_.mkdir("bin");
    for (const char* binary : {QUORVEL_BINARY, QUORVEL_BATCH_BINARY}) {
      const std::string copy = dir_ / ("bin/" + std::filesystem::path(binary).filename().string());
      std::filesystem::copy_file(binary, copy);
      ::chmod(copy.c_str(), 0755);
    }
    pingHost_ = "127.0.0.1:" + std::to_string(ClosedPort());
  }

  pid_t spawn(const std::string& program, const std::vector<std::string>& args,
              const std::vector<std::string>& extraEnvironment = {}) {
    // getenv takes the first entry of a name, so a test's own entries come first.
    std::vector<std::string> environment = extraEnvironment;
    for (const std::string& entry : std::vector<std::string>{
             "QT_QPA_PLATFORM=offscreen", "QUORVEL_CODEPAGE=windows-1250",
             "QUORVEL_PING_HOST=" + pingHost_, "HOME=" + (dir_ / "home"),
             "XDG_CONFIG_HOME=" + (dir_ / "config"), "XDG_RUNTIME_DIR=" + dir_.mkdir("runtime")}) {
      environment.push_back(entry);
    }
    environment = ChildEnvironment(std::move(environment));
    std::vector<char*> envp = PointerArray(environment);

    std::string path = dir_ / ("bin/" + program);
    std::vector<char*> argv{path.data()};
    std::vector<std::string> owned = args;
    for (std::string& arg : owned) argv.push_back(arg.data());
    argv.push_back(nullptr);

    dir_.mkdir("io");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "io/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "io/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  // The exit status, or nothing when the program still runs after limit (it is then
  // ended).
  static std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return std::nullopt;
  }

  TempDir dir_;
  std::string pingHost_;
};

TEST_F(ProgramTest, BatchJobRunsAndTheProgramEndsWithTheSettingsFileUpdated) {
  dir_.write("work/a.txt", "Praha je hezka\r\n");
  const std::string job =
      dir_.write("My Files/job one.ini",
                 "[GENERAL]\r\nSearch=Praha\r\nReplace=Brno\r\nWorkDir=" + (dir_ / "work") +
                     "\r\nTargetDir=" + (dir_ / "out") + "\r\nExtensions=txt\r\n");
  const pid_t pid = spawn("quorvel", {job});
  EXPECT_EQ(waitFor(pid, 30s), 0) << ReadFile(dir_ / "io/stderr");

  EXPECT_EQ(ReadFile(dir_ / "out/a.txt"), "Brno je hezka\r\n");
  const std::string stored = ReadFile(job);
  for (const OptionKey& key : kGeneralKeys) {
    EXPECT_NE(stored.find("\r\n" + std::string(key.name) + "="), std::string::npos) << key.name;
  }
  EXPECT_NE(stored.find("[DIALOGS]\r\nTMainForm="), std::string::npos) << stored;
  // With an argument the program's own settings file is never touched.
  EXPECT_FALSE(Exists(dir_ / "bin/Quorvel.ini"));
}

TEST_F(ProgramTest, WithoutAnArgumentItCreatesQuorvelIniBesideItselfAndPingsOnce) {
  LoopbackServer server({"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"});
  pingHost_ = server.address();
  const pid_t pid = spawn("quorvel", {});

  // The window then waits for the user; the test ends the program once the start is done.
  const std::string settings = dir_ / "bin/Quorvel.ini";
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < end &&
         (!Exists(settings) || server.requests().empty())) {
    std::this_thread::sleep_for(20ms);
  }
  ::kill(pid, SIGTERM);
  waitFor(pid, 10s);

  EXPECT_EQ(ReadFile(settings), "[GENERAL]\r\n");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].rfind("GET /morvane.xml HTTP/1.1\r\n", 0), 0u);
}

TEST_F(ProgramTest, AnUnknownCodePageStopsTheBatchRunnerWithAClearLine) {
  const std::string job = dir_.write("job.ini", "[GENERAL]\r\nSearch=x\r\n");
  const pid_t pid = spawn("quorvel-batch", {job}, {"QUORVEL_CODEPAGE=no-such-page"});
  EXPECT_EQ(waitFor(pid, 10s), 1);
  EXPECT_EQ(ReadFile(dir_ / "io/stderr"),
            "Quorvel: Unknown code page no-such-page. QUORVEL_CODEPAGE must name a single-byte "
            "code page or UTF-8, for example windows-1250.\n");
  EXPECT_EQ(ReadFile(job), "[GENERAL]\r\nSearch=x\r\n");
}

}  // namespace
}  // namespace quorvel
