#include "settings/SafetyCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel {
namespace {

using namespace std::string_literals;

// Answers the input box with a fixed text and records every dialog in order.
class ScriptedDialogs : public SafetyDialogs {
 public:
  explicit ScriptedDialogs(std::string answer) : answer_(std::move(answer)) {}
  void showWarning(const std::string& text) override { shown.push_back("Warning: " + text); }
  std::string askLine(const std::string& title, const std::string& prompt) override {
    shown.push_back(title + ": " + prompt);
    return answer_;
  }
  void showInformation(const std::string& text) override {
    shown.push_back("Information: " + text);
  }
  std::vector<std::string> shown;

 private:
  std::string answer_;
};

TEST(ConfirmUnsafeMode, AsksNothingInTheSafeMode) {
  OptionValues options;
  ScriptedDialogs dialogs("0D");
  ConfirmUnsafeMode(options, dialogs);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(options.optionChecked("NoSafety"));
}

TEST(ConfirmUnsafeMode, KeepsTheUnsafeModeOnlyForTheExactCode) {
  struct Case {
    const char* answer;
    bool keeps;
  };
  const std::vector<Case> cases = {
      {"0D", true}, {"0d", false}, {" 0D", false}, {"0D ", false}, {"", false},
      {"D0", false}, {"0D0", false}, {"13", false}, {"0x0D", false},
  };
  for (const Case& c : cases) {
    OptionValues options;
    options.setOptionChecked("NoSafety", true);
    ScriptedDialogs dialogs(c.answer);
    ConfirmUnsafeMode(options, dialogs);
    EXPECT_EQ(options.optionChecked("NoSafety"), c.keeps) << '"' << c.answer << '"';
    const std::vector<std::string> expected = {
        "Warning: "s + kSafetyWarningText,
        "Kontrola: Zadejte požadovaný dvojciferný kód :",
        c.keeps ? "Information: Děkuji." : "Information: Bezpečnostní kontrola obnovena.",
    };
    EXPECT_EQ(dialogs.shown, expected) << '"' << c.answer << '"';
  }
}

}  // namespace
}  // namespace quorvel
