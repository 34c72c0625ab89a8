// quorvel-batch end to end: the built program runs on a temporary tree that holds its
// own directory too, which relative and empty directory fields resolve against.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/ProgramRun.h"

namespace quorvel {
namespace {

using namespace std::string_literals;
using testing::Exists;
using testing::Launch;
using testing::Outcome;
using testing::ProgramTree;
using testing::ReadFile;
using testing::Results;
using testing::TempDir;

constexpr const char* kWarningLine =
    "Warning: POZOR! \nVypnutí bezpečnostní pojistky může fatálně poškodit všechny vybrané "
    "soubory ! \nPro kontrolu, že víte, co děláte a jen tupě neodklepáváte OK tlačítka, "
    "zadejte prosím do \nnásledujícího řádku hexadecimální ascii kód znaku carriage return.\n";
constexpr const char* kPrompt = "Kontrola: Zadejte požadovaný dvojciferný kód : \n";

class BatchTest : public ::testing::Test {
 protected:
  // Runs the program with args; stdin reads input, or /dev/null without it. With
  // terminal set, standard error is a pseudo-terminal and err holds what it showed.
  Outcome run(const std::vector<std::string>& args, std::optional<std::string> input = {},
              bool terminal = false) {
    Launch launch(args);
    launch.input = std::move(input);
    launch.terminal = terminal;
    return tree_.run(launch);
  }

  ProgramTree tree_;
  TempDir& dir_ = tree_.dir;
  const std::string& programDir_ = tree_.programDir;
};

TEST_F(BatchTest, WithoutAnArgumentPrintsUsage) {
  Outcome outcome = run({});
  EXPECT_EQ(outcome.status, 64);
  EXPECT_NE(outcome.err.find("Usage: quorvel-batch"), std::string::npos);
  EXPECT_EQ(outcome.out, "");
}

TEST_F(BatchTest, RunsTheJobAndStoresTheNormalisedDirectories) {
  dir_.write("bin/data/a.txt", "hello world\nbye\n");
  dir_.write("bin/data/sub/b.txt", "hello hello\r\n");
  dir_.write("bin/data/c.txt", "nothing\n");
  const std::string job = dir_.write(
      "jobs/job.ini",
      "; nightly job\r\n[GENERAL]\r\nSearch=hello\r\nReplace=HI\r\nWorkDir=data\r\n"
      "Subdirs=On\r\nExtensions=txt\r\nTargetDir=\"out\"\r\n[Mine]\r\nX=1\r\n");

  Outcome outcome = run({job, "ignored second argument"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "") << "no progress output without a terminal";
  EXPECT_EQ(outcome.out, Results(3, 4, 3, 2));
  EXPECT_EQ(ReadFile(dir_ / "bin/out/a.txt"), "HI world\r\nbye\r\n");
  EXPECT_EQ(ReadFile(dir_ / "bin/out/sub/b.txt"), "HI HI\r\n");
  EXPECT_FALSE(Exists(dir_ / "bin/out/c.txt"));

  std::string stored = ReadFile(job);
  EXPECT_EQ(stored.rfind("; nightly job\r\n[GENERAL]\r\nSearch=hello\r\nReplace=HI\r\n", 0), 0u);
  EXPECT_NE(stored.find("\r\nWorkDir=" + programDir_ + "data\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\r\nTargetDir=" + programDir_ + "out\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\r\n[Mine]\r\nX=1\r\n"), std::string::npos) << stored;
  EXPECT_EQ(stored.find("DIALOGS"), std::string::npos) << stored;
}

// A text or directory with a blank at an end is saved so that the next run reads it
// back exactly: the same search text, the same tree, not its blank-less neighbour.
TEST_F(BatchTest, BlankEdgedTextsAndDirectoriesSurviveTheSave) {
  dir_.write("bin/proj /a.txt", "a Praha b\nPraha\n");
  dir_.write("bin/proj/a.txt", "Praha Praha\n");
  dir_.write("bin/proj/b.txt", "Praha\n");
  const std::string job = dir_.write(
      "jobs/job.ini", "[GENERAL]\r\nSearch=' Praha '\r\nReplace=-\r\nWorkDir=\"proj \"\r\n"
                      "TargetDir=out\r\nOverFiles=On\r\n");
  std::string stored;
  for (int pass = 1; pass <= 2; ++pass) {
    Outcome outcome = run({job});
    EXPECT_EQ(outcome.status, 0) << "pass " << pass << ": " << outcome.err;
    EXPECT_EQ(outcome.out, Results(1, 2, 1, 1)) << "pass " << pass;
    EXPECT_EQ(ReadFile(dir_ / "bin/out/a.txt"), "a-b\r\nPraha\r\n") << "pass " << pass;
    EXPECT_FALSE(Exists(dir_ / "bin/out/b.txt")) << "pass " << pass;
    if (pass == 1) {
      stored = ReadFile(job);
    } else {
      EXPECT_EQ(ReadFile(job), stored) << "the second run saves what it read";
    }
  }
  EXPECT_EQ(stored.rfind("[GENERAL]\r\nSearch=' Praha '\r\nReplace=-\r\nWorkDir=\"" + programDir_ +
                             "proj \"\r\nTargetDir=" + programDir_ + "out\r\n",
                         0),
            0u)
      << stored;
}

TEST_F(BatchTest, TheSafetyAnswerComesFromTheFirstInputLine) {
  struct Case {
    std::optional<std::string> input;
    bool keeps;
  };
  const std::vector<Case> cases = {
      {"0D\n"s, true},  {"0D\r\n"s, true}, {"0D"s, true},   {"0D\nno\n"s, true},
      {"0d\n"s, false}, {" 0D\n"s, false}, {"0D \n"s, false}, {"\n"s, false},
      {std::nullopt, false},
  };
  dir_.mkdir("empty");
  for (const Case& c : cases) {
    const std::string label = c.input ? '"' + *c.input + '"' : "no input";
    const std::string job = dir_.write(
        "jobs/safety.ini", "[GENERAL]\r\nNoSafety=On\r\nWorkDir=" + dir_.path() +
                               "/empty\r\nTargetDir=" + dir_.path() + "/out\r\n");
    Outcome outcome = run({job}, c.input);
    EXPECT_EQ(outcome.status, 0) << label;
    const std::string answer = c.keeps ? "Information: Děkuji.\n"
                                       : "Information: Bezpečnostní kontrola obnovena.\n";
    EXPECT_EQ(outcome.err, kWarningLine + std::string(kPrompt) + answer) << label;
    EXPECT_NE(ReadFile(job).find(c.keeps ? "\r\nNoSafety=On\r\n" : "\r\nNoSafety=Off\r\n"),
              std::string::npos)
        << label;
    EXPECT_EQ(outcome.out, Results(0, 0, 0, 0)) << label;
  }
}

TEST_F(BatchTest, ATargetThatCannotBeCreatedEndsWithStatus2) {
  dir_.write("data/a.txt", "hello\n");
  dir_.write("blocker", "a file where a directory should be");
  const std::string job = dir_.write(
      "jobs/job.ini", "[GENERAL]\r\nSearch=hello\r\nWorkDir=" + dir_.path() +
                          "/data\r\nTargetDir=" + dir_.path() + "/blocker/out\r\n");
  Outcome outcome = run({job});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, "Information: Nemohu vytvořit cílový adresář.\n");
  EXPECT_EQ(outcome.out, Results(1, 0, 0, 0));
}

TEST_F(BatchTest, InformationMessagesKeepStatus0) {
  dir_.write("data/a.txt", "hello\n");
  dir_.write("out/a.txt", "already there\n");
  const std::string job = dir_.write(
      "jobs/job.ini", "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nWorkDir=" + dir_.path() +
                          "/data\r\nTargetDir=" + dir_.path() + "/out\r\n");
  Outcome outcome = run({job});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err,
            "Information: Zjištěn přepis existujícího souboru. Pokud chcete přepisovat soubory, "
            "zaškrtněte tuto volbu. Pro tentokrát byla operace zrušena.\n");
  EXPECT_EQ(ReadFile(dir_ / "out/a.txt"), "already there\n");
}

TEST_F(BatchTest, AnErrorEndsWithStatus1AndTheMessage) {
  dir_.write("data/a.txt", "hello\n");
  const std::string content = "[GENERAL]\r\nSearch=hello\r\nWorkDir=" + dir_.path() +
                              "/data\r\nTargetDir=" + dir_.path() + "/out\r\n";
  const std::string job = dir_.write("jobs/job.ini", content);
  ::chmod(job.c_str(), 0444);
  Outcome outcome = run({job});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Quorvel: Unable to write to " + job + ".\n");
  EXPECT_EQ(outcome.out, "") << "the run ended before its list was built";
  EXPECT_EQ(ReadFile(job), content);
  EXPECT_FALSE(Exists(dir_ / "out"));
}

TEST_F(BatchTest, ASettingsFileOfOnlyItsSectionIsRunAndFilled) {
  const std::string job = dir_.write("jobs/new.ini", "[GENERAL]\r\n");
  Outcome outcome = run({job});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  std::string stored = ReadFile(job);
  EXPECT_EQ(stored.rfind("[GENERAL]\r\nSearch=\r\nReplace=\r\nRemoveMode=Off\r\nWorkDir=" +
                             programDir_ + "\r\n",
                         0),
            0u)
      << stored;
  EXPECT_NE(stored.find("\r\nTargetDir=" + programDir_ + "\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\r\nCaseSensitive=Off\r\n"), std::string::npos) << stored;
  EXPECT_EQ(stored.find("DIALOGS"), std::string::npos);
}

TEST_F(BatchTest, ATerminalShowsAProgressLineAndIsLeftClean) {
  for (int i = 0; i < 5; ++i) dir_.write("data/f" + std::to_string(i) + ".txt", "hello\n");
  const std::string job = dir_.write(
      "jobs/job.ini", "[GENERAL]\r\nSearch=hello\r\nReplace=bye\r\nWorkDir=" + dir_.path() +
                          "/data\r\nTargetDir=" + dir_.path() + "/out\r\n");
  Outcome outcome = run({job}, std::nullopt, true);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.err.find("\r\033[K"), std::string::npos) << outcome.err;
  EXPECT_EQ(outcome.err.substr(outcome.err.size() - 4), "\r\033[K") << "the line is cleared";
  EXPECT_EQ(outcome.out, Results(5, 5, 5, 5)) << "results stay on standard output";
}

}  // namespace
}  // namespace quorvel
