// The start of the window in-process, with the dialogs answered by a script: the choice
// and creation of the settings file, the first showing with the batch job, the close,
// the usage ping and the top-level error box.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingsChoice.h"
#include "app/StartUp.h"
#include "files/PathText.h"
#include "files/TestHooks.h"
#include "platform/Error.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "support/LoopbackServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui/Main.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ClosedPort;
using testing::Exists;
using testing::LoopbackServer;
using testing::ReadFile;
using testing::ScriptedDialogs;
using testing::TempDir;

constexpr const char* kNewFile = "[GENERAL]\r\n";

// Puts the environment variables a start reads back as they were.
class SavedEnvironment {
 public:
  SavedEnvironment() {
    for (const char* name : kNames) {
      if (const char* value = std::getenv(name)) saved_[name] = value;
    }
  }
  ~SavedEnvironment() {
    for (const char* name : kNames) {
      if (auto it = saved_.find(name); it != saved_.end()) {
        ::setenv(name, it->second.c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
  }

 private:
  static constexpr const char* kNames[] = {"QUORVEL_PING_HOST", "XDG_CONFIG_HOME", "HOME"};
  std::map<std::string, std::string> saved_;
};

// A fresh program directory and a user configuration directory of the test's own; the
// ping goes to a closed port unless a test points it elsewhere.
class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest()
      : savedProgramDir_(ProgramDir()) {
    programDir_ = dir_.mkdir("prog") + "/";
    SetProgramDirForTesting(programDir_);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    ::setenv("HOME", (dir_ / "home").c_str(), 1);
    pingAt("127.0.0.1:" + std::to_string(ClosedPort()));
  }
  ~StartUpTest() override {
    startUp_.reset();
    form_.reset();
    SetProgramDirForTesting(savedProgramDir_);
  }

  static void pingAt(const std::string& address) {
    ::setenv("QUORVEL_PING_HOST", address.c_str(), 1);
  }

  template <typename Form = TMainForm>
  void create(std::optional<std::string> argument) {
    form_ = std::make_unique<Form>(&dialogs_);
    startUp_ = std::make_unique<StartUp>(*form_, std::move(argument));
    startUp_->FormCreate();
  }
  // FormShow, then the window is displayed unless the batch job closed it.
  bool start() {
    const bool ended = startUp_->FormShow();
    if (!ended) form_->show();
    return ended;
  }

  template <typename T = QWidget>
  T* get(const char* name) {
    T* widget = form_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  void click(const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); }

  bool windowEverDisplayed() const {
    return form_->isVisible() || (form_->windowHandle() && form_->windowHandle()->isVisible());
  }

  // A working tree with one file holding the search text, and a batch job over it.
  std::string prepareJob(const std::string& jobPath, const std::string& extra = "") {
    dir_.write("work/a.txt", "Praha je hezka\r\n");
    return dir_.write(jobPath, "[GENERAL]\r\nSearch=Praha\r\nReplace=Brno\r\nWorkDir=\"" +
                                   (dir_ / "work") + "\"\r\nTargetDir=" + (dir_ / "out") +
                                   "\r\nExtensions=txt\r\n" + extra);
  }

  static void expectAllOptionsStored(const std::string& settings) {
    for (const OptionKey& key : kGeneralKeys) {
      EXPECT_NE(settings.find("\r\n" + std::string(key.name) + "="), std::string::npos) << key.name;
    }
    EXPECT_NE(settings.find("[DIALOGS]\r\nTMainForm="), std::string::npos) << settings;
  }

  SavedEnvironment environment_;
  TempDir dir_;
  std::string programDir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<StartUp> startUp_;

 private:
  std::string savedProgramDir_;
};

TEST_F(StartUpTest, FirstStartCreatesElevenBytesAndTheCloseStoresThePositionAndEveryOption) {
  create(std::nullopt);
  const std::string settings = programDir_ + "Quorvel.ini";
  EXPECT_EQ(ReadFile(settings), kNewFile);
  EXPECT_EQ(form_->settingsFile().path, settings);
  EXPECT_FALSE(form_->settingsFile().noIni);

  EXPECT_FALSE(start());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(form_->windowLeft(), 0);
  EXPECT_EQ(form_->windowTop(), 0);
  for (const OptionKey& key : kGeneralKeys) {
    if (key.boolean()) {
      EXPECT_FALSE(form_->optionChecked(key.name)) << key.name;
    } else {
      EXPECT_EQ(form_->optionText(key.name), "") << key.name;
    }
  }

  click("CloseButton");
  EXPECT_FALSE(form_->isVisible());
  const std::string stored = ReadFile(settings);
  expectAllOptionsStored(stored);
  EXPECT_NE(stored.find("TMainForm=0,0\r\n"), std::string::npos) << stored;
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(StartUpTest, AStoredPositionAndStoredOptionsAreThereBeforeTheWindowIsDisplayed) {
  dir_.write("prog/Quorvel.ini",
             "[GENERAL]\r\nSearch=kocour\r\nSubdirs=On\r\n[DIALOGS]\r\nTMainForm=40,30\r\n");
  create(std::nullopt);
  // The show step is what loads them; the window is still hidden at this point.
  ASSERT_FALSE(startUp_->FormShow());
  EXPECT_FALSE(windowEverDisplayed());
  EXPECT_EQ(form_->windowLeft(), 40);
  EXPECT_EQ(form_->windowTop(), 30);
  EXPECT_EQ(form_->optionText("Search"), "kocour");
  EXPECT_TRUE(form_->optionChecked("Subdirs"));
}

struct FallbackCase {
  const char* name;
  bool xdgSet;
  bool xdgRelative;
  const char* expected;  // below the test folder
};

void PrintTo(const FallbackCase& row, std::ostream* out) { *out << row.name; }

class SettingsFallbackTest : public StartUpTest,
                             public ::testing::WithParamInterface<FallbackCase> {};

// An installed program: its directory is protected (the owner write bit is what counts,
// since root may write anyway), so the file goes to the user's configuration directory.
TEST_P(SettingsFallbackTest, AProtectedProgramDirectoryPutsTheFileInTheUsersConfiguration) {
  const FallbackCase& row = GetParam();
  if (!row.xdgSet) ::unsetenv("XDG_CONFIG_HOME");
  if (row.xdgRelative) ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  ::chmod(programDir_.c_str(), 0555);

  create(std::nullopt);
  const std::string expected = dir_ / row.expected;
  EXPECT_EQ(form_->settingsFile().path, expected);
  EXPECT_FALSE(form_->settingsFile().noIni);
  EXPECT_EQ(ReadFile(expected), kNewFile);
  EXPECT_FALSE(Exists(programDir_ + "Quorvel.ini"));

  start();
  click("CloseButton");
  expectAllOptionsStored(ReadFile(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Places, SettingsFallbackTest,
    ::testing::Values(FallbackCase{"XdgConfigHome", true, false, "config/quorvel/Quorvel.ini"},
                      FallbackCase{"HomeConfig", false, false, "home/.config/quorvel/Quorvel.ini"},
                      FallbackCase{"RelativeXdgIgnored", true, true,
                                   "home/.config/quorvel/Quorvel.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartUpTest, AFileAlreadyInAProtectedProgramDirectoryIsUsedWhereItIs) {
  const std::string settings = dir_.write("prog/Quorvel.ini", "[GENERAL]\r\nSearch=x\r\n");
  ::chmod(programDir_.c_str(), 0555);
  create(std::nullopt);
  EXPECT_EQ(form_->settingsFile().path, settings);
  EXPECT_FALSE(Exists(dir_ / "config/quorvel"));
}

// As root nothing is refused for lack of permission, so the unwritable places are paths
// below a regular file.
TEST_F(StartUpTest, NoWritablePlaceGivesNoIniModeWithEmptyOptionsAndNothingStored) {
  dir_.write("plain", "not a directory");
  SetProgramDirForTesting(dir_ / "plain/");
  ::setenv("XDG_CONFIG_HOME", (dir_ / "plain/config").c_str(), 1);
  dialogs_.savePaths.push_back(QString::fromStdString(dir_ / "saved.ini"));

  create(std::nullopt);
  EXPECT_TRUE(form_->settingsFile().noIni);
  EXPECT_FALSE(start());
  // The initial position of the window, not a stored one.
  EXPECT_EQ(form_->windowLeft(), 238);
  EXPECT_EQ(form_->windowTop(), 149);
  EXPECT_EQ(form_->optionText("Search"), "");

  click("SaveAsButton");
  EXPECT_FALSE(Exists(dir_ / "saved.ini"));
  click("CloseButton");
  EXPECT_FALSE(form_->isVisible());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_FALSE(Exists(dir_ / "config"));
  EXPECT_FALSE(Exists(dir_ / "home/.config"));
}

TEST_F(StartUpTest, BatchJobRunsBeforeTheWindowIsEverDisplayedAndClosesIt) {
  // Spaces inside: the argument is one path, however it is written.
  const std::string job = prepareJob("My Jobs/job one.ini");
  create(job);
  EXPECT_EQ(form_->settingsFile().path, job);

  EXPECT_TRUE(start());
  EXPECT_FALSE(windowEverDisplayed());
  EXPECT_EQ(ReadFile(dir_ / "out/a.txt"), "Brno je hezka\r\n");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_FALSE(Exists(programDir_ + "Quorvel.ini"));

  const std::string stored = ReadFile(job);
  expectAllOptionsStored(stored);
  // The run saved the working directory it used; the value in the file reads back as
  // that already, so its hand-written quotes stay.
  EXPECT_NE(stored.find("WorkDir=\"" + (dir_ / "work") + "\"\r\n"), std::string::npos) << stored;
}

TEST_F(StartUpTest, BatchJobWithAMissingFileInAnExistingDirectoryCreatesAndFillsIt) {
  dir_.mkdir("jobs");
  const std::string job = dir_ / "jobs/new.ini";
  create(job);
  EXPECT_EQ(ReadFile(job), kNewFile);
  EXPECT_TRUE(start());
  expectAllOptionsStored(ReadFile(job));
}

TEST_F(StartUpTest, BatchJobBelowARegularFileRunsWithEmptyOptionsAndStoresNothing) {
  dir_.write("plain", "not a directory");
  const std::string job = dir_ / "plain/job.ini";
  create(job);
  EXPECT_TRUE(form_->settingsFile().noIni);
  EXPECT_TRUE(start());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(ReadFile(dir_ / "plain"), "not a directory");
}

struct FailureCase {
  const char* name;
  bool readOnlySettings;  // else the target file's place is taken by a directory
};

void PrintTo(const FailureCase& row, std::ostream* out) { *out << row.name; }

class BatchFailureTest : public StartUpTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BatchFailureTest, AFailedBatchRunShowsOneErrorMakesNoCloseAndDisplaysTheWindow) {
  const std::string job = prepareJob("job.ini");
  std::string expected;
  if (GetParam().readOnlySettings) {
    ::chmod(job.c_str(), 0444);
    expected = "Unable to write to " + job + ".";
  } else {
    dir_.mkdir("out/a.txt");
    expected = "Cannot create file " + (dir_ / "out/a.txt") + ".";
  }
  create(job);

  EXPECT_FALSE(start());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, "Quorvel");
  EXPECT_EQ(dialogs_.messages[0].text, QString::fromStdString(expected));
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(form_->busy());
  // The options as loaded and as the run left them.
  EXPECT_EQ(form_->optionText("Search"), "Praha");
  EXPECT_EQ(form_->optionText("WorkDir"), dir_ / "work");
}

INSTANTIATE_TEST_SUITE_P(Failures, BatchFailureTest,
                         ::testing::Values(FailureCase{"SettingsFileReadOnly", true},
                                           FailureCase{"TargetTakenByADirectory", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartUpTest, AFailedCloseShowsTheErrorKeepsTheWindowAndTheNextCloseTriesAgain) {
  create(std::nullopt);
  start();
  const std::string settings = programDir_ + "Quorvel.ini";
  ::chmod(settings.c_str(), 0444);

  click("CloseButton");
  EXPECT_TRUE(form_->isVisible());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text,
            QString::fromStdString("Unable to write to " + settings + "."));
  EXPECT_EQ(ReadFile(settings), kNewFile);

  ::chmod(settings.c_str(), 0644);
  click("CloseButton");
  EXPECT_FALSE(form_->isVisible());
  expectAllOptionsStored(ReadFile(settings));
}

// Tries to close the window by the title bar and by "Zavřít" while the run is at its
// first file, which is where a user's click would be handled.
class ClosingForm : public TMainForm {
 public:
  using TMainForm::TMainForm;
  void showCurrentFile(const std::string& path) override {
    TMainForm::showCurrentFile(path);
    if (tried) return;
    tried = true;
    closedByTitleBar = close();
    QTest::mouseClick(findChild<QWidget*>(QStringLiteral("CloseButton")), Qt::LeftButton);
    visibleAfterButton = isVisible();
  }
  bool tried = false;
  bool closedByTitleBar = true;
  bool visibleAfterButton = false;
};

TEST_F(StartUpTest, ACloseDuringARunIsRefusedAndPermittedAfterIt) {
  prepareJob("prog/Quorvel.ini");
  create<ClosingForm>(std::nullopt);
  start();
  auto& form = static_cast<ClosingForm&>(*form_);

  click("ActionButton");
  ASSERT_TRUE(form.tried);
  EXPECT_FALSE(form.closedByTitleBar);
  EXPECT_TRUE(form.visibleAfterButton);
  EXPECT_EQ(ReadFile(dir_ / "out/a.txt"), "Brno je hezka\r\n");
  EXPECT_TRUE(form.isVisible());

  EXPECT_TRUE(form.close());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(StartUpTest, TheLogoIsTheBuiltInPictureUnscaled) {
  create(std::nullopt);
  const QLabel* logo = get<QLabel>("LogoImage");
  EXPECT_EQ(logo->pixmap().size(), QSize(374, 53));
  EXPECT_FALSE(logo->hasScaledContents());
}

struct PingCase {
  const char* name;
  std::string reply;
  bool hold;  // accept the request and never answer
};

void PrintTo(const PingCase& row, std::ostream* out) { *out << row.name; }

class StartUpPingTest : public StartUpTest, public ::testing::WithParamInterface<PingCase> {};

// Whatever the server does, the start sends the one request, waits for its end and goes
// on as after a success, without a word to the user.
TEST_P(StartUpPingTest, TheStartSendsTheRequestAndDropsEveryOutcome) {
  LoopbackServer server({GetParam().reply, GetParam().hold});
  pingAt(server.address());

  const auto began = std::chrono::steady_clock::now();
  create(std::nullopt);
  const auto took = std::chrono::steady_clock::now() - began;

  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], "GET /morvane.xml HTTP/1.1\r\nHost: " + server.address() +
                                      "\r\nAccept: text/html, */*\r\n"
                                      "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
  EXPECT_LT(took, 6s);
  EXPECT_FALSE(start());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(ReadFile(programDir_ + "Quorvel.ini"), kNewFile);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, StartUpPingTest,
    ::testing::Values(
        PingCase{"Ok", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n<x>", false},
        PingCase{"NotFound", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false},
        PingCase{"Redirect",
                 "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n", false},
        PingCase{"NeverAnswers", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartUpTest, NoServerAtAllIsDroppedSilently) {
  // The fixture's closed port.
  create(std::nullopt);
  EXPECT_FALSE(start());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(StartUpTest, TheTopLevelHandlerShowsEveryFailureInOneBoxWithTheApplicationsTitle) {
  create(std::nullopt);
  const struct {
    std::exception_ptr error;
    const char* shown;
  } rows[] = {
      {std::make_exception_ptr(UnableToWrite("/x/Quorvel.ini")),
       "Unable to write to /x/Quorvel.ini."},
      {std::make_exception_ptr(StreamReadError()), "Stream read error."},
      // A file too large for memory is a message, never the end of the program.
      {std::make_exception_ptr(std::bad_alloc()), "Out of memory."},
  };
  for (const auto& row : rows) {
    dialogs_.messages.clear();
    try {
      std::rethrow_exception(row.error);
    } catch (const std::exception& error) {
      form_->showError(error);
    }
    ASSERT_EQ(dialogs_.messages.size(), 1u) << row.shown;
    EXPECT_EQ(dialogs_.messages[0].caption, "Quorvel");
    EXPECT_EQ(dialogs_.messages[0].text, QString::fromUtf8(row.shown));
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  }
}

// The code page is chosen once per process, so this start runs in a fresh one.
TEST(CodePageAtStartTest, AnUnknownCodePageIsOneClearErrorBoxAndTheProgramEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TempDir dir;
        SetProgramDirForTesting(dir.path() + "/");
        ::setenv("QUORVEL_CODEPAGE", "no-such-page", 1);
        ScriptedDialogs dialogs;
        const int status = RunProgram(std::nullopt, &dialogs);
        const bool shown =
            dialogs.messages.size() == 1 && dialogs.messages[0].caption == "Quorvel" &&
            dialogs.messages[0].icon == MessageIcon::Error &&
            dialogs.messages[0].text ==
                "Unknown code page no-such-page. QUORVEL_CODEPAGE must name a single-byte "
                "code page or UTF-8, for example windows-1250.";
        std::_Exit(status == 1 && shown && !Exists(dir / "Quorvel.ini") ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(FirstArgumentTest, IsTheFirstNonEmptyArgumentTakenWhole) {
  const struct {
    std::vector<const char*> argv;
    std::optional<std::string> first;
  } rows[] = {
      {{"quorvel"}, std::nullopt},
      {{"quorvel", "/data/My Files/job.ini"}, "/data/My Files/job.ini"},
      {{"quorvel", "a.ini", "b.ini"}, "a.ini"},
      {{"quorvel", "", "b.ini"}, "b.ini"},
      {{"quorvel", ""}, std::nullopt},
      {{"quorvel", "\"quoted\".ini"}, "\"quoted\".ini"},
      {{"quorvel", "relative/job.ini"}, "relative/job.ini"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FirstArgument(int(row.argv.size()), row.argv.data()), row.first)
        << (row.argv.size() > 1 ? row.argv[1] : "(none)");
  }
}

}  // namespace
}  // namespace quorvel
