#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "SettingsFixture.h"
#include "platform/Error.h"

namespace quorvel {
namespace {

using namespace std::string_literals;
using testing::ReadFile;
using testing::SettingsTest;

TEST_F(SettingsTest, EachAccessReadsTheFileItIsGiven) {
  std::string first = useSettings("[GENERAL]\r\nSearch=a\r\n", "first.ini");
  std::string second = dir_.write("second.ini", "[GENERAL]\r\nSearch=b\r\n");

  EXPECT_EQ(settings_.path, first);
  EXPECT_EQ(ReadIniString(settings_, "GENERAL", "Search"), "a");
  // Another file is another value; the first one is untouched by it.
  const SettingsFile other = SettingsFileAt(second);
  EXPECT_EQ(ReadIniString(other, "GENERAL", "Search"), "b");
  EXPECT_EQ(ReadIniString(settings_, "GENERAL", "Search"), "a");
}

TEST_F(SettingsTest, BooleansAreTrueOnlyForOn) {
  struct Case {
    const char* stored;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"on", true},     {"On", true},   {"oN", true},    {"ON", true},   {"  On  ", true},
      {"\"On\"", true}, {"Off", false}, {"1", false},    {"true", false}, {"yes", false},
      {"", false},      {"O N", false}, {"Onn", false},
  };
  std::string content = "[GENERAL]\r\n";
  for (size_t i = 0; i < cases.size(); ++i) {
    content += "B" + std::to_string(i) + "=" + cases[i].stored + "\r\n";
  }
  useSettings(content);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ReadIniBool(settings_, "GENERAL", "B" + std::to_string(i)), cases[i].expected)
        << '"' << cases[i].stored << '"';
  }
  EXPECT_FALSE(ReadIniBool(settings_, "GENERAL", "Missing"));
}

TEST_F(SettingsTest, WritesBooleansAsOnAndOff) {
  std::string path = useSettings("[GENERAL]\r\n");
  WriteIniBool(settings_, "GENERAL", "A", true);
  WriteIniBool(settings_, "GENERAL", "B", false);
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nA=On\r\nB=Off\r\n");
}

TEST_F(SettingsTest, TextsAreCutTo255BytesPathsNever) {
  std::string longText(300, 'a');
  std::string longPath = "/" + std::string(2100, 'p');
  useSettings("[GENERAL]\r\nSearch=" + longText + "\r\nWorkDir=" + longPath + "\r\n");
  EXPECT_EQ(ReadIniString(settings_, "GENERAL", "Search"), std::string(255, 'a'));
  EXPECT_EQ(ReadIniString(settings_, "GENERAL", "WorkDir").size(), 255u);
  EXPECT_EQ(ReadIniPath(settings_, "GENERAL", "WorkDir"), longPath);
}

TEST_F(SettingsTest, SettingsPathKeeps4095Bytes) {
  EXPECT_EQ(SettingsFileAt(std::string(5000, 'p')).path, std::string(4095, 'p'));
}

TEST_F(SettingsTest, RefusedWriteRaisesWithThePathAndReleases) {
  std::string path = useSettings("[GENERAL]\r\n");
  ::chmod(path.c_str(), 0444);
  try {
    WriteIniString(settings_, "GENERAL", "Search", "x");
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
  // Nothing is held after the refusal: the file reads as before.
  EXPECT_EQ(ReadIniString(settings_, "GENERAL", "Search"), "");
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\n");
}

class TestWindow : public PositionedWindow {
 public:
  int32_t windowLeft() const override { return left; }
  int32_t windowTop() const override { return top; }
  void moveWindow(int32_t l, int32_t t) override {
    left = l;
    top = t;
  }
  int32_t left = 238;
  int32_t top = 149;
};

TEST_F(SettingsTest, ReadFormPosAppliesTheStoredPosition) {
  struct Case {
    const char* stored;  // nullptr: no key
    int32_t left;
    int32_t top;
  };
  const std::vector<Case> cases = {
      {"100,200", 100, 200}, {"0x64,$C8", 100, 200}, {"64h,C8h", 100, 200},
      {"abc,5", 0, 5},       {"-8,-8", -8, -8},       {"-30000,90000", -30000, 90000},
      {nullptr, 0, 0},
      // No comma: only a hand-edited file holds that; the window stays where it is.
      {"", 238, 149},        {"500", 238, 149},
  };
  for (const Case& c : cases) {
    std::string content = "[DIALOGS]\r\n";
    if (c.stored) content += "TMainForm="s + c.stored + "\r\n";
    useSettings(content);
    TestWindow window;
    ReadFormPos(settings_, kDialogsSection, "TMainForm", window);
    EXPECT_EQ(window.left, c.left) << (c.stored ? c.stored : "(missing)");
    EXPECT_EQ(window.top, c.top) << (c.stored ? c.stored : "(missing)");
  }
}

TEST_F(SettingsTest, WriteFormPosStoresThePresentPosition) {
  std::string path = useSettings("[GENERAL]\r\nSearch=x\r\n");
  TestWindow window;
  window.left = -8;
  window.top = -8;
  WriteFormPos(settings_, kDialogsSection, "TAboutForm", window);
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nSearch=x\r\n[DIALOGS]\r\nTAboutForm=-8,-8\r\n");
}

TEST_F(SettingsTest, OpenSettingsFileCreatesAMissingFileAsOneSectionLine) {
  std::string path = dir_ / "new.ini";
  const SettingsFile opened = OpenSettingsFile(path);
  EXPECT_FALSE(opened.noIni);
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\n");
  EXPECT_EQ(opened.path, path);

  std::string existing = dir_.write("old.ini", "[OTHER]\nA=1\n");
  EXPECT_FALSE(OpenSettingsFile(existing).noIni);
  EXPECT_EQ(ReadFile(existing), "[OTHER]\nA=1\n");
}

TEST_F(SettingsTest, OpenSettingsFileFallsBackToNoIniMode) {
  std::string inMissingDir = dir_ / "missing/job.ini";
  const SettingsFile opened = OpenSettingsFile(inMissingDir);
  EXPECT_TRUE(opened.noIni);
  EXPECT_EQ(opened.path, inMissingDir);
  EXPECT_FALSE(testing::Exists(dir_ / "missing"));

  std::string folder = dir_.mkdir("folder.ini");
  EXPECT_TRUE(OpenSettingsFile(folder).noIni);

  // Not set for a file that can be used.
  EXPECT_FALSE(OpenSettingsFile(dir_ / "ok.ini").noIni);
}

}  // namespace
}  // namespace quorvel
