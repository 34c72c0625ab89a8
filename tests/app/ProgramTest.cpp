// The built programs end to end: quorvel runs from a program directory inside the test's
// folder, so that its own Quorvel.ini and the empty directory fields land there, on the
// offscreen platform with the ping on a server of the test's.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "settings/Options.h"
#include "support/LoopbackServer.h"
#include "support/ProgramRun.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::Exists;
using testing::Launch;
using testing::LoopbackServer;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;

// The window with these arguments.
Launch Window(std::vector<std::string> args) {
  Launch launch(std::move(args));
  launch.program = "quorvel";
  return launch;
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTree tree_{{QUORVEL_BINARY, QUORVEL_BATCH_BINARY}};
  testing::TempDir& dir_ = tree_.dir;
};

TEST_F(ProgramTest, BatchJobRunsAndTheProgramEndsWithTheSettingsFileUpdated) {
  dir_.write("work/a.txt", "Praha je hezka\r\n");
  const std::string job =
      dir_.write("My Files/job one.ini",
                 "[GENERAL]\r\nSearch=Praha\r\nReplace=Brno\r\nWorkDir=" + (dir_ / "work") +
                     "\r\nTargetDir=" + (dir_ / "out") + "\r\nExtensions=txt\r\n");
  const Outcome outcome = tree_.wait(tree_.start(Window({job})), 30s);
  EXPECT_EQ(outcome.status, 0) << outcome.err;

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
  tree_.pingHost = server.address();
  const pid_t pid = tree_.start(Window({}));

  // The window then waits for the user; the test ends the program once the start is done.
  const std::string settings = dir_ / "bin/Quorvel.ini";
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < end &&
         (!Exists(settings) || server.requests().empty())) {
    std::this_thread::sleep_for(20ms);
  }
  ::kill(pid, SIGTERM);
  tree_.wait(pid, 10s);

  EXPECT_EQ(ReadFile(settings), "[GENERAL]\r\n");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].rfind("GET /morvane.xml HTTP/1.1\r\n", 0), 0u);
}

TEST_F(ProgramTest, AnUnknownCodePageStopsTheBatchRunnerWithAClearLine) {
  const std::string job = dir_.write("job.ini", "[GENERAL]\r\nSearch=x\r\n");
  Launch launch({job});
  launch.codePage = "no-such-page";
  const Outcome outcome = tree_.wait(tree_.start(launch), 10s);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "Quorvel: Unknown code page no-such-page. QUORVEL_CODEPAGE must name a single-byte "
            "code page or UTF-8, for example windows-1250.\n");
  EXPECT_EQ(ReadFile(job), "[GENERAL]\r\nSearch=x\r\n");
}

}  // namespace
}  // namespace quorvel
