#include "settings/Options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "SettingsFixture.h"
#include "platform/Error.h"

namespace quorvel {
namespace {

using namespace std::string_literals;
using testing::ReadFile;

class OptionsTest : public testing::SettingsTest {
 protected:
  // A set of options with every text filled and a few boxes checked.
  static void Fill(OptionValues& options) {
    options.setOptionText("Search", "alpha");
    options.setOptionText("Replace", "beta");
    options.setOptionText("WorkDir", "/w");
    options.setOptionText("Extensions", "txt");
    options.setOptionText("TargetDir", "/t");
    options.setOptionChecked("Subdirs", true);
    options.setOptionChecked("OverFiles", true);
    options.setOptionChecked("CaseSensitive", true);
  }

  // The GENERAL lines that Fill's options are saved as, in the order of the keys.
  static std::string FilledLines() {
    return "Search=alpha\r\nReplace=beta\r\nRemoveMode=Off\r\nWorkDir=/w\r\nSubdirs=On\r\n"
           "Extensions=txt\r\nColumn=\r\nDelimiter=\r\nSYLK=Off\r\nTargetDir=/t\r\n"
           "OverFiles=On\r\nOverSource=Off\r\nCopyUnchanged=Off\r\nIgnoreReadOnly=Off\r\n"
           "NoSafety=Off\r\nCaseSensitive=On\r\n";
  }
};

TEST_F(OptionsTest, SaveKeepsEveryByteOfAHandWrittenFile) {
  std::string path = useSettings(
      "; job edited by hand\n"
      "[DIALOGS]\n"
      "TMainForm = 10,20\n"
      "\n"
      "[General]\n"
      "  search =  old  \n"
      "Replace=\"x\"\n"
      "Subdirs=on\n"
      "# my note\n"
      "\n"
      "[Extra]\n"
      "keep = me");
  OptionValues options{settings_};
  Fill(options);
  SaveOptions(options);
  EXPECT_EQ(ReadFile(path),
            "; job edited by hand\n"
            "[DIALOGS]\n"
            "TMainForm = 10,20\n"
            "\n"
            "[General]\n"
            "  search =  alpha  \n"
            "Replace=beta\n"
            "Subdirs=On\n"
            "RemoveMode=Off\r\nWorkDir=/w\r\nExtensions=txt\r\nColumn=\r\nDelimiter=\r\n"
            "SYLK=Off\r\nTargetDir=/t\r\nOverFiles=On\r\nOverSource=Off\r\nCopyUnchanged=Off\r\n"
            "IgnoreReadOnly=Off\r\nNoSafety=Off\r\nCaseSensitive=On\r\n"
            "# my note\n"
            "\n"
            "[Extra]\n"
            "keep = me");
}

TEST_F(OptionsTest, SaveAddsAMissingSectionAtTheEnd) {
  for (std::string before : {"[DIALOGS]\r\nTMainForm=1,2\r\n"s, "[DIALOGS]\nTMainForm=1,2"s, ""s}) {
    std::string path = useSettings(before);
    OptionValues options{settings_};
    Fill(options);
    SaveOptions(options);
    std::string separator = before.empty() || before.back() == '\n' ? "" : "\r\n";
    EXPECT_EQ(ReadFile(path), before + separator + "[GENERAL]\r\n" + FilledLines());
  }
}

TEST_F(OptionsTest, SavedOptionsLoadBackIntoTheControls) {
  useSettings("[GENERAL]\r\n");
  OptionValues saved{settings_};
  Fill(saved);
  SaveOptions(saved);
  OptionValues loaded{settings_};
  LoadOptions(loaded);
  for (const OptionKey& key : kGeneralKeys) {
    EXPECT_EQ(loaded.optionText(key.name), saved.optionText(key.name)) << key.name;
    EXPECT_EQ(loaded.optionChecked(key.name), saved.optionChecked(key.name)) << key.name;
  }
  EXPECT_FALSE(loaded.busy());
}

TEST_F(OptionsTest, ASectionLineAloneLoadsEmptyOptionsWithoutWriting) {
  std::string path = useSettings("[GENERAL]\r\n");
  OptionValues options{settings_};
  options.setOptionText("Search", "stale");
  options.setOptionChecked("NoSafety", true);
  LoadOptions(options);
  for (const OptionKey& key : kGeneralKeys) {
    EXPECT_EQ(options.optionText(key.name), "") << key.name;
    EXPECT_FALSE(options.optionChecked(key.name)) << key.name;
  }
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\n");
}

// Blanks around a text and quotes enclosing it come back on the next load as typed:
// such a text is saved in double quotes.
TEST_F(OptionsTest, BlanksAndQuotesComeBackAsTyped) {
  struct Case {
    std::string typed;
    std::string stored;
  };
  const std::vector<Case> cases = {
      {"  lead", "Search=\"  lead\""},
      {"trail  ", "Search=\"trail  \""},
      {"\"quoted\"", "Search=\"\"quoted\"\""},
      {"'single'", "Search=\"'single'\""},
      {"\" both \"", "Search=\"\" both \"\""},
      {"in \"side\" quotes", "Search=in \"side\" quotes"},
  };
  for (const Case& c : cases) {
    std::string path = useSettings("[GENERAL]\r\n");
    OptionValues options{settings_};
    options.setOptionText("Search", c.typed);
    SaveOptions(options);
    EXPECT_NE(ReadFile(path).find("\r\n" + c.stored + "\r\n"), std::string::npos) << c.typed;
    OptionValues loaded{settings_};
    LoadOptions(loaded);
    EXPECT_EQ(loaded.optionText("Search"), c.typed);
  }
}

// The options that are not empty or unchecked, as key=value lines.
std::string Loaded(const OptionValues& options) {
  std::string lines;
  for (const OptionKey& key : kGeneralKeys) {
    if (key.boolean()) {
      if (options.optionChecked(key.name)) lines += std::string(key.name) + "=On\n";
    } else if (!options.optionText(key.name).empty()) {
      lines += std::string(key.name) + "=" + options.optionText(key.name) + "\n";
    }
  }
  return lines;
}

// The CR LF lines a save adds for the keys missing from a file, with empty and
// unchecked values.
std::string AddedKeys(std::initializer_list<std::string_view> present) {
  std::string lines;
  for (const OptionKey& key : kGeneralKeys) {
    if (std::find(present.begin(), present.end(), key.name) != present.end()) continue;
    lines += std::string(key.name) + (key.boolean() ? "=Off\r\n" : "=\r\n");
  }
  return lines;
}

// Files that users and other programs write: what each loads, and what a save of the
// loaded options (the search text retyped in some) leaves of its bytes.
TEST_F(OptionsTest, SettingsFilesLoadAndSaveByTheirLines) {
  struct Case {
    const char* name;
    std::string content;
    std::string loaded;
    std::optional<std::string> typedSearch;
    std::string saved;
  };
  const std::vector<Case> cases = {
      {"CR only", "[GENERAL]\rSearch=a\rReplace=b\rWorkDir=/w\rSubdirs=On\r",
       "Search=a\nReplace=b\nWorkDir=/w\nSubdirs=On\n", std::nullopt,
       "[GENERAL]\rSearch=a\rReplace=b\rWorkDir=/w\rSubdirs=On\r" +
           AddedKeys({"Search", "Replace", "WorkDir", "Subdirs"})},
      {"CR CR LF", "[GENERAL]\r\r\nSearch=a\r\r\nReplace=b\r\r\n", "Search=a\nReplace=b\n",
       "c",
       "[GENERAL]\r\r\nSearch=c\r\r\nReplace=b\r" + AddedKeys({"Search", "Replace"}) + "\r\n"},
      {"a lone CR inside a line", "[GENERAL]\r\nSearch=a\rReplace=b\r\nWorkDir=/w\r\n",
       "Search=a\nReplace=b\nWorkDir=/w\n", std::nullopt,
       "[GENERAL]\r\nSearch=a\rReplace=b\r\nWorkDir=/w\r\n" +
           AddedKeys({"Search", "Replace", "WorkDir"})},
      {"repeated sections: the first is the section",
       "[GENERAL]\r\nSearch=first\r\n[DIALOGS]\r\nTMainForm=1,2\r\n"
       "[general]\r\nSearch=second\r\nTargetDir=/t\r\nOverSource=On\r\n",
       "Search=first\n", "again",
       "[GENERAL]\r\nSearch=again\r\n" + AddedKeys({"Search"}) +
           "[DIALOGS]\r\nTMainForm=1,2\r\n"
           "[general]\r\nSearch=second\r\nTargetDir=/t\r\nOverSource=On\r\n"},
      {"quoted and blank-edged values keep their bytes",
       "[GENERAL]\r\nSearch=\" Praha \"\r\nReplace='  '\r\nWorkDir=\"/proj \"\r\n"
       "Extensions=  txt  \r\nColumn=\"\"3\"\"\r\n",
       "Search= Praha \nReplace=  \nWorkDir=/proj \nExtensions=txt\nColumn=\"3\"\n", std::nullopt,
       "[GENERAL]\r\nSearch=\" Praha \"\r\nReplace='  '\r\nWorkDir=\"/proj \"\r\n"
       "Extensions=  txt  \r\nColumn=\"\"3\"\"\r\n" +
           AddedKeys({"Search", "Replace", "WorkDir", "Extensions", "Column"})},
      {"a blank-edged text typed over a plain one", "[GENERAL]\r\nSearch=Praha\r\n",
       "Search=Praha\n", "Praha ", "[GENERAL]\r\nSearch=\"Praha \"\r\n" + AddedKeys({"Search"})},
  };
  for (const Case& c : cases) {
    std::string path = useSettings(c.content);
    OptionValues options{settings_};
    LoadOptions(options);
    EXPECT_EQ(Loaded(options), c.loaded) << c.name;
    EXPECT_EQ(ReadFile(path), c.content) << c.name << ": a load writes nothing";
    if (c.typedSearch) options.setOptionText("Search", *c.typedSearch);
    SaveOptions(options);
    EXPECT_EQ(ReadFile(path), c.saved) << c.name;
    OptionValues again{settings_};
    LoadOptions(again);
    EXPECT_EQ(Loaded(again), Loaded(options)) << c.name << ": the save loads back as it was";
  }
}

TEST_F(OptionsTest, LongTextsAreCutWhenSaved) {
  useSettings("[GENERAL]\r\n");
  OptionValues options{settings_};
  options.setOptionText("Search", std::string(300, 's'));
  std::string longDir = "/" + std::string(2100, 'd');
  options.setOptionText("WorkDir", longDir);
  options.setOptionText("TargetDir", "/" + std::string(400, 't'));
  SaveOptions(options);
  OptionValues loaded{settings_};
  LoadOptions(loaded);
  EXPECT_EQ(loaded.optionText("Search"), std::string(255, 's'));
  EXPECT_EQ(loaded.optionText("WorkDir"), longDir);
  EXPECT_EQ(loaded.optionText("TargetDir"), "/" + std::string(400, 't')) << "a path is not cut";
}

TEST_F(OptionsTest, TargetDirSurvivesWhileTheSourcesAreWritten) {
  struct Case {
    const char* name;
    bool overSource;
    const char* field;
    const char* stored;
  };
  const std::vector<Case> cases = {
      {"box checked, field empty: kept", true, "", "/old"},
      {"box checked, field filled: written", true, "/typed", "/typed"},
      {"box clear, field empty: written", false, "", ""},
  };
  for (const Case& c : cases) {
    useSettings("[GENERAL]\r\nTargetDir=/old\r\n");
    OptionValues options{settings_};
    options.setOptionChecked("OverSource", c.overSource);
    options.setOptionText("TargetDir", c.field);
    SaveOptions(options);
    EXPECT_EQ(ReadIniString(settings_, kGeneralSection, "TargetDir"), c.stored) << c.name;
  }
}

TEST_F(OptionsTest, LoadWithOverSourceOnEmptiesTheTargetFieldWithoutWriting) {
  const std::string content = "[GENERAL]\r\nTargetDir=/out\r\nOverSource=On\r\n";
  std::string path = useSettings(content);
  OptionValues options{settings_};
  LoadOptions(options);
  EXPECT_TRUE(options.optionChecked("OverSource"));
  EXPECT_EQ(options.optionText("TargetDir"), "");
  EXPECT_EQ(ReadFile(path), content);
  // Unchecking brings the stored directory back.
  options.setOptionChecked("OverSource", false);
  EXPECT_EQ(options.optionText("TargetDir"), "/out");
}

TEST_F(OptionsTest, TogglingOverSourceStoresAndRestoresTheTarget) {
  useSettings("[GENERAL]\r\n");
  OptionValues options{settings_};
  options.setOptionText("TargetDir", "/out");
  options.setOptionChecked("OverSource", true);
  EXPECT_EQ(options.optionText("TargetDir"), "");
  EXPECT_EQ(ReadIniString(settings_, kGeneralSection, "TargetDir"), "/out");
  options.setOptionChecked("OverSource", false);
  EXPECT_EQ(options.optionText("TargetDir"), "/out");

  // A target typed while the box is checked is kept when it is unchecked.
  options.setOptionChecked("OverSource", true);
  options.setOptionText("TargetDir", "/typed");
  options.setOptionChecked("OverSource", false);
  EXPECT_EQ(options.optionText("TargetDir"), "/typed");
}

TEST_F(OptionsTest, TogglingWhileBusyWritesNothing) {
  const std::string content = "[GENERAL]\r\nTargetDir=/stored\r\n";
  std::string path = useSettings(content);
  OptionValues options{settings_};
  options.setBusy(true);
  options.setOptionText("TargetDir", "/out");
  options.setOptionChecked("OverSource", true);
  EXPECT_EQ(options.optionText("TargetDir"), "");
  options.setOptionChecked("OverSource", false);
  EXPECT_EQ(options.optionText("TargetDir"), "/stored");
  EXPECT_EQ(ReadFile(path), content);
}

TEST_F(OptionsTest, NoIniModeLoadsEmptyAndStoresNothing) {
  std::string path = useSettings("[GENERAL]\r\nSearch=x\r\nNoSafety=On\r\n");
  settings_.noIni = true;
  OptionValues options{settings_};
  LoadOptions(options);
  EXPECT_EQ(options.optionText("Search"), "");
  EXPECT_FALSE(options.optionChecked("NoSafety"));

  Fill(options);
  SaveOptions(options);
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nSearch=x\r\nNoSafety=On\r\n");
  SaveOptionsAs(options, dir_ / "copy.ini");
  EXPECT_FALSE(testing::Exists(dir_ / "copy.ini"));

  // The toggle has nothing stored to bring back.
  options.useSettingsFile(SettingsFileAt(dir_ / "missing/none.ini", true));
  options.setOptionText("TargetDir", "/out");
  options.setOptionChecked("OverSource", true);
  options.setOptionChecked("OverSource", false);
  EXPECT_EQ(options.optionText("TargetDir"), "");
}

TEST_F(OptionsTest, SaveAsUpdatesAnExistingFileAndReturnsToTheOldOne) {
  std::string current = useSettings("[GENERAL]\r\n");
  const std::string other = "[DIALOGS]\r\nTMainForm=5,5\r\n[GENERAL]\r\nTargetDir=/kept\r\n"
                            "Search=old\r\n[Mine]\r\nX=1\r\n";
  std::string job = dir_.write("job.ini", other);
  OptionValues options{settings_};
  options.setOptionText("Search", "new");
  options.setBusy(true);  // checked without the save a click would make
  options.setOptionChecked("OverSource", true);
  options.setBusy(false);

  SaveOptionsAs(options, job);
  EXPECT_EQ(options.settingsFile().path, current);
  EXPECT_EQ(ReadFile(job),
            "[DIALOGS]\r\nTMainForm=5,5\r\n[GENERAL]\r\nTargetDir=/kept\r\nSearch=new\r\n"
            "Replace=\r\nRemoveMode=Off\r\nWorkDir=\r\nSubdirs=Off\r\nExtensions=\r\nColumn=\r\n"
            "Delimiter=\r\nSYLK=Off\r\nOverFiles=Off\r\nOverSource=On\r\nCopyUnchanged=Off\r\n"
            "IgnoreReadOnly=Off\r\nNoSafety=Off\r\nCaseSensitive=Off\r\n[Mine]\r\nX=1\r\n");

  EXPECT_EQ(ReadFile(current), "[GENERAL]\r\n");
  options.setOptionText("Search", "newer");
  SaveOptions(options);
  EXPECT_EQ(ReadIniString(settings_, kGeneralSection, "Search"), "newer");
  EXPECT_NE(ReadFile(job).find("Search=new\r\n"), std::string::npos);
}

TEST_F(OptionsTest, SaveAsPutsThePathBackAfterAFailure) {
  std::string current = useSettings("[GENERAL]\r\n");
  OptionValues options{settings_};
  EXPECT_THROW(SaveOptionsAs(options, dir_ / "missing/job.ini"), Error);
  EXPECT_EQ(options.settingsFile().path, current);
}

// Makes the settings file read-only when the save reaches the Extensions field.
class FailingAtExtensions : public OptionValues {
 public:
  explicit FailingAtExtensions(const SettingsFile& file) : OptionValues(file), path_(file.path) {}
  std::string optionText(std::string_view key) const override {
    if (key == "Extensions") ::chmod(path_.c_str(), 0444);
    return OptionValues::optionText(key);
  }

 private:
  std::string path_;
};

TEST_F(OptionsTest, ReadOnlyFileLoadsButRefusesTheSave) {
  std::string path = useSettings("[GENERAL]\r\nSearch=old\r\n");
  ::chmod(path.c_str(), 0444);
  OptionValues loaded{settings_};
  LoadOptions(loaded);
  EXPECT_EQ(loaded.optionText("Search"), "old");
  loaded.setOptionText("Search", "new");
  try {
    SaveOptions(loaded);
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nSearch=old\r\n");
  // Nothing is held after the refusal: the file reads as before.
  EXPECT_EQ(ReadIniString(settings_, kGeneralSection, "Search"), "old");
}

TEST_F(OptionsTest, RefusedWriteKeepsTheKeysBeforeItAndNoneAfter) {
  std::string path = useSettings("[GENERAL]\r\n");
  FailingAtExtensions options(settings_);
  Fill(options);
  EXPECT_THROW(SaveOptions(options), Error);
  EXPECT_EQ(ReadFile(path), "[GENERAL]\r\nSearch=alpha\r\nReplace=beta\r\nRemoveMode=Off\r\n"
                            "WorkDir=/w\r\nSubdirs=On\r\n");
}

TEST_F(OptionsTest, RunOptionsMirrorTheControls) {
  useSettings("[GENERAL]\r\n");
  OptionValues options{settings_};
  for (const OptionKey& key : kGeneralKeys) {
    if (key.boolean()) {
      options.setOptionChecked(key.name, true);
    } else {
      options.setOptionText(key.name, std::string(key.name) + "-text");
    }
  }
  // Checking OverSource emptied the target field; fill it again.
  options.setOptionText("TargetDir", "TargetDir-text");
  RunOptions run = ReadRunOptions(options);
  EXPECT_EQ(run.Search, "Search-text");
  EXPECT_EQ(run.Replace, "Replace-text");
  EXPECT_EQ(run.WorkDir, "WorkDir-text");
  EXPECT_EQ(run.Extensions, "Extensions-text");
  EXPECT_EQ(run.Column, "Column-text");
  EXPECT_EQ(run.Delimiter, "Delimiter-text");
  EXPECT_EQ(run.TargetDir, "TargetDir-text");
  EXPECT_TRUE(run.RemoveMode && run.Subdirs && run.SYLK && run.OverFiles && run.OverSource &&
              run.CopyUnchanged && run.IgnoreReadOnly && run.NoSafety && run.CaseSensitive);
}

}  // namespace
}  // namespace quorvel
