// The main window on the offscreen platform: what a user reads in it, and what its
// handlers do to the controls, the settings file and the files of a run.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QKeyEvent>
#include <QTest>
#include <QToolTip>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/FileList.h"
#include "files/PathText.h"
#include "files/TestHooks.h"
#include "platform/RunJournal.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "settings/Options.h"
#include "settings/SafetyCheck.h"
#include "settings/Settings.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/UrlCatcher.h"
#include "ui/CodePageValidator.h"
#include "ui/HintSettings.h"
#include "ui/LevelProgressBar.h"
#include "ui/LinkLabel.h"
#include "ui/Main.h"
#include "ui/PanelInfo.h"

namespace quorvel {
namespace {

using testing::ReadFile;
using testing::ScriptedDialogs;
using testing::ShownMessage;
using testing::TempDir;
using testing::UrlCatcher;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Records the text of every progress panel that is shown.
class PanelSpy : public QObject {
 public:
  PanelSpy() { qApp->installEventFilter(this); }
  ~PanelSpy() override { qApp->removeEventFilter(this); }
  std::vector<QString> texts;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* panel = qobject_cast<TPanelInfoForm*>(watched)) {
        texts.push_back(panel->globalLabel()->text());
      }
    }
    return false;
  }
};

// A key press that brings in text, as typing a character does.
void TypeKey(QWidget* field, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QApplication::sendEvent(field, &press);
}

bool AnyPanelLeft() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<TPanelInfoForm*>(widget)) return true;
  }
  return false;
}

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest()
      : savedProgramDir_(ProgramDir()) {
    settingsPath_ = dir_.write("Quorvel.ini", "[GENERAL]\r\n");
    SetProgramDirForTesting(dir_.mkdir("prog") + "/");
    form_ = std::make_unique<TMainForm>(&dialogs_);
    form_->useSettingsFile(SettingsFileAt(settingsPath_));
  }
  ~MainFormTest() override {
    form_.reset();
    SetProgramDirForTesting(savedProgramDir_);
  }

  template <typename T = QWidget>
  T* get(const char* name) {
    T* widget = form_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit* edit(const char* name) { return get<QLineEdit>(name); }
  QCheckBox* box(const char* name) { return get<QCheckBox>(name); }
  QString caption(const char* name) { return get<QLabel>(name)->text(); }
  void click(const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); }
  LevelProgressBar* bar() { return get<LevelProgressBar>("ResultProgressBar"); }

  std::string settings() const { return ReadFile(settingsPath_); }
  bool settingsHold(const std::string& line) const {
    return settings().find(line + "\r\n") != std::string::npos;
  }

  // A working tree and a target next to it, with the options of a plain run.
  void prepareRun(const std::string& search, const std::string& replace) {
    workDir_ = dir_.mkdir("work");
    outDir_ = dir_ / "out";
    edit("SearchEdit")->setText(Q(search));
    edit("ReplaceEdit")->setText(Q(replace));
    edit("WorkDirEdit")->setText(Q(workDir_));
    edit("TargetDirEdit")->setText(Q(outDir_));
  }

  TempDir dir_;
  std::string settingsPath_;
  std::string workDir_;
  std::string outDir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TMainForm> form_;

 private:
  std::string savedProgramDir_;
};

TEST_F(MainFormTest, WindowHasItsCaptionFixedSizeBackgroundAndStartPosition) {
  EXPECT_EQ(form_->windowTitle(), "Dastrin - nahrazování textů");
  EXPECT_EQ(form_->size(), QSize(766, 390));
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize());
  EXPECT_FALSE(form_->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form_->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(form_->palette().color(QPalette::Window), QColor(0x79, 0x76, 0x71));
  EXPECT_EQ(form_->font().pixelSize(), 11);
  EXPECT_EQ(form_->windowLeft(), 238);
  EXPECT_EQ(form_->windowTop(), 149);
  form_->moveWindow(-8, 20);
  EXPECT_EQ(form_->windowLeft(), -8);
  EXPECT_EQ(form_->windowTop(), 20);
}

TEST_F(MainFormTest, EveryControlHasItsPlaceTextAndVisibility) {
  struct Control {
    const char* name;
    const char* parent;
    QRect geometry;  // a width of -1: the control takes the width of its text
    const char* text;
    bool visible;
  };
  const Control controls[] = {
      {"LogoImage", "TMainForm", {2, 0, 377, 57}, "", true},
      {"NameLabel", "TMainForm", {3, 64, 374, 27}, "Hromadné nahrazování textů", true},
      {"TextPanel", "TMainForm", {5, 96, 369, 97}, nullptr, true},
      {"FilesPanel", "TMainForm", {5, 200, 369, 185}, nullptr, true},
      {"ResultsPanel", "TMainForm", {389, 0, 372, 353}, nullptr, true},
      {"CloseButton", "TMainForm", {624, 360, 137, 25}, "Zavřít", true},
      {"AboutButton", "TMainForm", {389, 360, 153, 25}, "O programu", true},
      {"TextHeader", "TextPanel", {-1, 0, 369, 17}, " Text a akce", true},
      {"SearchLabel", "TextPanel", {35, 27, 69, 13}, "Hledaný text :", true},
      {"ReplaceLabel", "TextPanel", {16, 47, 88, 13}, "Nahradit textem  :", true},
      {"SearchEdit", "TextPanel", {112, 24, 249, 18}, "", true},
      {"ReplaceEdit", "TextPanel", {112, 44, 249, 18}, "", true},
      {"RemoveCheck", "TextPanel", {112, 64, 97, 17}, "odstranit text", true},
      {"CaseCheck", "TextPanel", {232, 64, 129, 17}, "rozlišovat malá/velká", true},
      {"FilesHeader", "FilesPanel", {-1, 0, 369, 17}, " Soubory ke zpracování", true},
      {"UndoButton", "FilesPanel", {189, 150, 172, 25}, "Vrátit poslední akci", true},
      {"WorkDirLabel", "FilesPanel", {8, 24, 96, 13}, "Zpracovat adresář :", true},
      {"WorkDirEdit", "FilesPanel", {8, 40, 353, 18}, "", true},
      {"SubdirectoriesCheck", "FilesPanel", {8, 64, 137, 17}, "včetně podadresářů", true},
      {"ExtensionsLabel", "FilesPanel", {8, 91, 119, 13}, "Jen soubory s příponou :", true},
      {"ExtensionsEdit", "FilesPanel", {136, 88, 225, 19}, "", true},
      {"CSVLabel", "FilesPanel", {8, 116, 178, 13}, "Pokud se jedná o soubory typu CSV :", false},
      {"ColumnLabel", "FilesPanel", {16, 138, 68, 13}, "Číslo sloupce :", false},
      {"ColumnEdit", "FilesPanel", {88, 136, 57, 19}, "", false},
      {"DelimiterLabel", "FilesPanel", {26, 158, 58, 13}, "Oddělovač :", false},
      {"DelimiterEdit", "FilesPanel", {88, 156, 57, 19}, "", false},
      {"SYLKCheck", "FilesPanel", {160, 156, 113, 17}, "text v uvozovkách", false},
      {"ResultHeader", "ResultsPanel", {2, 0, 369, 17}, " Náhledy a výsledky", true},
      {"FilesCountLabel", "ResultsPanel", {8, 24, 150, 13}, "Bude se zpracovávat souborů :", true},
      {"FilesCountValue", "ResultsPanel", {168, 24, -1, 13}, "klikněte pro přepočet", true},
      {"PreviewButton", "FilesPanel", {8, 150, 172, 25}, "Náhled změn...", true},
      {"RecalcButton", "ResultsPanel", {333, 24, 28, 25}, "??", true},
      {"TargetDirLabel",
       "ResultsPanel",
       {8, 56, 195, 13},
       "Upravené soubory ukládat do adresáře :",
       true},
      {"TargetDirEdit", "ResultsPanel", {8, 72, 353, 18}, "", true},
      {"OverwriteFilesCheck",
       "ResultsPanel",
       {8, 96, 217, 17},
       "přepisovat existující soubory",
       true},
      {"OverwriteSourceCheck",
       "ResultsPanel",
       {8, 112, 217, 17},
       "zapisovat přímo do zdrojového adresáře",
       true},
      {"CopyCheck", "ResultsPanel", {8, 128, 217, 17}, "kopírovat nezměněné soubory", true},
      {"IgnoreReadOnlyCheck",
       "ResultsPanel",
       {8, 152, 217, 17},
       "ignorovat ReadOnly příznak u souborů",
       true},
      {"NoSafetyCheck",
       "ResultsPanel",
       {8, 168, 353, 17},
       "umožnit přepis souborů, které nevypadají jako textové",
       true},
      {"SaveAsButton",
       "ResultsPanel",
       {13, 192, 340, 25},
       "Uložit konfiguraci pro spouštění příkazovou řádkou",
       true},
      {"ProgressLabel", "ResultsPanel", {8, 232, 95, 13}, "Postup zpracování :", true},
      {"ProgressFileValue", "ResultsPanel", {112, 232, 249, 13}, "", true},
      {"ResultProgressBar", "ResultsPanel", {8, 248, 353, 18}, nullptr, true},
      {"LinesReadLabel", "ResultsPanel", {8, 280, 96, 13}, "Řádek zpracováno :", true},
      {"LinesReadValue", "ResultsPanel", {112, 280, -1, 13}, "", true},
      {"HitsFoundLabel", "ResultsPanel", {13, 296, 91, 13}, "Výskytů nalezeno :", true},
      {"HitsFoundValue", "ResultsPanel", {112, 296, -1, 13}, "", true},
      {"FilesChangedLabel", "ResultsPanel", {208, 296, 93, 13}, "Souborů změněno :", true},
      {"FilesChangedValue", "ResultsPanel", {312, 296, 53, 13}, "", true},
      {"ActionButton", "ResultsPanel", {117, 320, 137, 25}, "AKCE !", true},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* widget = get(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), c.parent);
    EXPECT_EQ(widget->pos(), c.geometry.topLeft());
    EXPECT_EQ(widget->height(), c.geometry.height());
    if (c.geometry.width() >= 0) {
      EXPECT_EQ(widget->width(), c.geometry.width());
    }
    EXPECT_EQ(widget->isVisibleTo(form_.get()), c.visible);
    if (!c.text) continue;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    if (auto* line = qobject_cast<QLineEdit*>(widget)) text = line->text();
    EXPECT_EQ(text, QString::fromUtf8(c.text));
  }
  EXPECT_EQ(get<QLabel>("NameLabel")->palette().color(QPalette::WindowText), QColor(0xFFFF00));
  EXPECT_EQ(get<QLabel>("NameLabel")->font().pixelSize(), 21);
  EXPECT_TRUE(get<QLabel>("NameLabel")->font().bold());
  EXPECT_TRUE(get<QLabel>("ProgressFileValue")->alignment() & Qt::AlignRight);
  EXPECT_TRUE(get<QLabel>("CSVLabel")->font().underline());
  EXPECT_EQ(get("LogoImage")->cursor().shape(), Qt::PointingHandCursor);
  for (const char* panel : {"TextPanel", "FilesPanel", "ResultsPanel"}) {
    EXPECT_EQ(get<QFrame>(panel)->frameShadow(), QFrame::Raised);
    EXPECT_EQ(get(panel)->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
  }
}

TEST_F(MainFormTest, TabVisitsThePanelsInOrderSkipsHiddenControlsAndStartsInSearchEdit) {
  form_->show();
  EXPECT_EQ(form_->focusWidget(), get("SearchEdit"));
  std::vector<QString> visited;
  QWidget* widget = get("SearchEdit");
  do {
    if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus)) {
      visited.push_back(widget->objectName());
    }
    widget = widget->nextInFocusChain();
  } while (widget != get("SearchEdit") && visited.size() < 100);
  const std::vector<QString> expected = {
      "SearchEdit",          "ReplaceEdit",         "RemoveCheck",          "CaseCheck",
      "WorkDirEdit",         "SubdirectoriesCheck", "ExtensionsEdit",       "PreviewButton",
      "UndoButton",          "RecalcButton",
      "TargetDirEdit",       "OverwriteFilesCheck", "OverwriteSourceCheck", "CopyCheck",
      "IgnoreReadOnlyCheck", "NoSafetyCheck",       "SaveAsButton",         "ActionButton",
      "CloseButton",         "AboutButton",
  };
  EXPECT_EQ(visited, expected);
}

TEST_F(MainFormTest, HintsHaveTheirExactTextsAndTheApplicationWideSettings) {
  const std::pair<const char*, const char*> hints[] = {
      {"SearchEdit", "Text, který má být v souborech hromadně nahrazen, nebo vymazan."},
      {"ReplaceEdit",
       "Text, kterým má být nahrazen hledaný text ve všech svých výskytech.\r\nZadávejte přesně. "
       "V průběhu nahrazování již nebudete mít příležitost \r\noperaci zastavit."},
      {"RemoveCheck",
       "Zaškrtněte, pokud chcete nalezené fragmenty textu ze souboru \r\nbez náhrady vymazat. "
       "Velmi užitečné například při vymazávání \r\nnežádoucích, virem vložených řádků z HTML "
       "souborů,"},
      {"WorkDirEdit",
       "Pracovní adresář. Budou zpracovány všechny \r\nodpovídající soubory z tohoto adresáře."},
      {"SubdirectoriesCheck", "Procházet adresáře včetně všech podadresářů."},
      {"UndoButton",
       "Vrátí soubory, které poslední akce přepsala nebo vytvořila, do stavu před ní. \r\n"
       "Soubory, které od té doby někdo změnil, ponechá beze změny."},
      {"ExtensionsEdit",
       "Určuje filtr na soubory podle přípony. Jako příponu udávejte jen znaky za tečkou,\r\n(tzn. "
       "\"txt\" místo \"*.txt\". Jednotlivé přípony můžete oddělit středníkem.\r\nPokud necháte "
       "prázdné, zpracují se všechny nalezené soubory."},
      {"FilesCountValue",
       "Po kliknutí se přepočítá počet souborů, který bude upravován.\r\nSlouží hlavně k tomu, aby "
       "bylo předem vidět,  kolik práce bude."},
      {"PreviewButton",
       "Ukáže, které soubory by akce při současném nastavení změnila a jak, \r\naniž by cokoli "
       "zapsala."},
      {"RecalcButton", "Přepočte počet souborů, které budou při současném nastavení zpracovávány."},
      {"TargetDirEdit",
       "Adresář, kam se mají ukládat upravené verze souborů ze \r\nzdrojového adresáře. Ukládají "
       "se sem jen ty soubory, které byly\r\nupraveny (resp. ty s odpovídající příponou, je-li "
       "určena)."},
      {"OverwriteFilesCheck",
       "Pokud bude zaškrtnuto, budou se v cílovém adresáři \r\npřepisovat existující soubory. "
       "Pokud ne, program se po nalezení\r\nexistujícího cílového souboru zastaví."},
      {"OverwriteSourceCheck",
       "Pokud si jste svými požadavky plně jisti, můžete přepisovat přímo \r\nzdrojový adresář. V "
       "takovém případě není třeba určovat cílový \r\nadresář (ten bude ignorován)."},
      {"CopyCheck",
       "Pokud zaškrtnete toto pole, do cílového adresáře se nakopírují i soubory, \r\nve kterých "
       "nedošlo k žádné změně. Standardně se takové soubory \r\nnechávají být a nekopírují se."},
      {"IgnoreReadOnlyCheck",
       "Pokud zašrtnete toto pole, budou se přepisovat i soubory s příznakem \r\nReadOnly (příznak "
       "zůstane zachován). Soubory s příznaky \r\nSystémový a Skrytý se vždy ignorují."},
      {"NoSafetyCheck",
       "Pokud zaškrtnete toto pole, program se bude snažit zpracovat všechny \r\nvybrané soubory, "
       "i "
       "když se mu to vždy nemusí povést - zejména u \r\nbinárních souborů. Zaškrtněte, jen když "
       "jste si jisti tím co chcete - \r\njinak může dojít ke ztrátě dat."},
      {"SaveAsButton",
       "Umožní uložení konfigurace do jiného INI souboru. \r\nPokud spustíte program z příkazové "
       "řádky se jménem INI \r\nsouboru v parametru, program se spustí, autoamticky stiskne Akce "
       "\r\ntlačítko a ukončí se."},
      {"ActionButton",
       "Spustí akci. Akce nejde v jejím průběhu regulérně zastavit, \r\ntak s tím počítejte. Žádné "
       "potvrzovací dotazy nebudou vznášeny."},
  };
  int withHint = 0;
  for (const auto& [name, hint] : hints) {
    SCOPED_TRACE(name);
    EXPECT_EQ(get(name)->toolTip(), QString::fromUtf8(hint));
  }
  for (QWidget* widget : form_->findChildren<QWidget*>()) {
    if (!widget->toolTip().isEmpty()) ++withHint;
  }
  EXPECT_EQ(withHint, static_cast<int>(std::size(hints))) << "no other control has a hint";
  EXPECT_EQ(get("AboutButton")->toolTip(), "");

  EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(0xFFFF00));
  EXPECT_EQ(form_->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
  form_->show();
  QWidget* replace = get("ReplaceEdit");
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), replace->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(replace, &help);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), HintDisplayText(replace->toolTip()));
  EXPECT_FALSE(QToolTip::text().contains('\r'));
  QToolTip::hideText();
}

TEST_F(MainFormTest, SearchTextsGoThroughTheCodePageAndDirectoriesStayUtf8) {
  edit("SearchEdit")->setText("Žluťoučký kůň");
  edit("WorkDirEdit")->setText("/tmp/žluťoučký");
  form_->options().saveOptions();
  EXPECT_TRUE(settingsHold("Search=\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"));
  EXPECT_TRUE(settingsHold("WorkDir=/tmp/žluťoučký"));
  EXPECT_EQ(form_->options().runOptions().Search, "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2");

  // A byte the code page has no character for comes back unchanged unless edited.
  dir_.write("Quorvel.ini", "[GENERAL]\r\nSearch=\x8Elu\x9Dou\xE8k\xFD\r\nReplace=a\x98z\r\n");
  LoadOptions(*form_);
  EXPECT_EQ(edit("SearchEdit")->text(), "Žluťoučký");
  form_->options().saveOptions();
  EXPECT_TRUE(settingsHold("Replace=a\x98z"));
  EXPECT_EQ(form_->optionText("Replace"), "a\x98z");
}

TEST_F(MainFormTest, SearchFieldsRefuseCharactersTheCodePageLacks) {
  if (platform::ActiveCodePage().isUtf8()) GTEST_SKIP() << "every character fits UTF-8";
  // insert() is what typing and pasting go through, validation included.
  // Each refusal beeps, so the user knows the character was not taken.
  int beeps = 0;
  SetRefusedKeySoundForTesting([&beeps] { ++beeps; });
  for (const char* name : {"SearchEdit", "ReplaceEdit"}) {
    SCOPED_TRACE(name);
    beeps = 0;
    QLineEdit* field = edit(name);
    field->insert("kůň");
    field->insert("日");
    field->insert(" a 日 b");
    TypeKey(field, "ж");
    EXPECT_EQ(field->text(), "kůň");
    EXPECT_EQ(beeps, 3);
    TypeKey(field, "ě");
    EXPECT_EQ(field->text(), "kůňě");
    EXPECT_EQ(beeps, 3);
  }
  // Directories are file-system text and take any character.
  beeps = 0;
  edit("WorkDirEdit")->insert("/日");
  EXPECT_EQ(edit("WorkDirEdit")->text(), "/日");
  EXPECT_EQ(beeps, 0);
  SetRefusedKeySoundForTesting(nullptr);
}

struct SafetyCase {
  std::optional<QString> answer;
  bool staysOn;
  const char* message;
};

TEST_F(MainFormTest, SafetyConfirmationKeepsTheUnsafeModeOnlyForTheExactAnswer) {
  const SafetyCase cases[] = {
      {"0D", true, kSafetyThanksText},     {"0d", false, kSafetyRestoredText},
      {" 0D", false, kSafetyRestoredText}, {"0D ", false, kSafetyRestoredText},
      {"0 D", false, kSafetyRestoredText}, {std::nullopt, false, kSafetyRestoredText},
  };
  prepareRun("a", "b");
  for (const SafetyCase& c : cases) {
    SCOPED_TRACE(c.answer ? c.answer->toStdString() : "cancelled");
    dialogs_.messages.clear();
    dialogs_.linesAsked.clear();
    dialogs_.lineAnswers = {c.answer};
    box("NoSafetyCheck")->setChecked(true);
    click("ActionButton");

    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0].caption, "Warning");
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(dialogs_.messages[0].text, QString::fromUtf8(kSafetyWarningText));
    ASSERT_EQ(dialogs_.linesAsked.size(), 1u);
    EXPECT_EQ(dialogs_.linesAsked[0].title, "Kontrola");
    EXPECT_EQ(dialogs_.linesAsked[0].prompt, "Zadejte požadovaný dvojciferný kód :");
    EXPECT_EQ(dialogs_.linesAsked[0].maxLength, 255);
    EXPECT_EQ(dialogs_.messages[1].caption, "Information");
    EXPECT_EQ(dialogs_.messages[1].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs_.messages[1].text, QString::fromUtf8(c.message));
    EXPECT_EQ(box("NoSafetyCheck")->isChecked(), c.staysOn);
    EXPECT_TRUE(settingsHold(c.staysOn ? "NoSafety=On" : "NoSafety=Off"));
    EXPECT_FALSE(form_->busy());
  }

  // Without the unsafe mode nothing is asked.
  dialogs_.messages.clear();
  dialogs_.linesAsked.clear();
  box("NoSafetyCheck")->setChecked(false);
  click("ActionButton");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.linesAsked.empty());
}

TEST_F(MainFormTest, WritingIntoTheSourcesStoresTheTargetAndBringsItBack) {
  const QString out = Q(dir_ / "out");
  edit("TargetDirEdit")->setText(out);
  box("OverwriteSourceCheck")->click();
  EXPECT_EQ(edit("TargetDirEdit")->text(), "");
  EXPECT_TRUE(settingsHold("TargetDir=" + out.toStdString()));

  box("OverwriteSourceCheck")->click();
  EXPECT_EQ(edit("TargetDirEdit")->text(), out);

  // A target typed while the box is checked is kept when it is unchecked.
  box("OverwriteSourceCheck")->click();
  edit("TargetDirEdit")->setText("/typed");
  box("OverwriteSourceCheck")->click();
  EXPECT_EQ(edit("TargetDirEdit")->text(), "/typed");
}

TEST_F(MainFormTest, TogglingWhileBusyEmptiesTheTargetWithoutSaving) {
  edit("TargetDirEdit")->setText("/somewhere");
  const std::string before = settings();
  form_->setBusy(true);
  box("OverwriteSourceCheck")->click();
  EXPECT_EQ(edit("TargetDirEdit")->text(), "");
  EXPECT_EQ(settings(), before);
  form_->setBusy(false);
}

TEST_F(MainFormTest, LoadingWriteIntoSourceEmptiesTheTargetFieldAndWritesNothing) {
  const std::string content = "[GENERAL]\r\nTargetDir=/kept\r\nOverSource=On\r\n";
  dir_.write("Quorvel.ini", content);
  LoadOptions(*form_);
  EXPECT_TRUE(box("OverwriteSourceCheck")->isChecked());
  EXPECT_EQ(edit("TargetDirEdit")->text(), "");
  EXPECT_EQ(settings(), content);
  EXPECT_FALSE(form_->busy());
  box("OverwriteSourceCheck")->click();
  EXPECT_EQ(edit("TargetDirEdit")->text(), "/kept");
}

TEST_F(MainFormTest, RecountNormalisesTheWorkingDirectoryAndShowsTheCount) {
  dir_.write("prog/a.txt", "a");
  dir_.write("prog/b.txt", "b");
  dir_.write("prog/c.dat", "c");
  edit("ExtensionsEdit")->setText("txt;txt");
  edit("TargetDirEdit")->setText("target");
  PanelSpy panels;

  click("FilesCountValue");
  EXPECT_EQ(edit("WorkDirEdit")->text(), Q(ProgramDir()));
  EXPECT_EQ(caption("FilesCountValue"), "4");
  // Only the digits stay clickable.
  EXPECT_EQ(get("FilesCountValue")->width(),
            QFontMetrics(get("FilesCountValue")->font()).horizontalAdvance("4"));
  EXPECT_EQ(edit("TargetDirEdit")->text(), "target");
  EXPECT_EQ(settings(), "[GENERAL]\r\n");

  // The button recounts too; a missing directory counts nothing.
  edit("WorkDirEdit")->setText("\"" + Q(dir_ / "missing") + "\"");
  click("RecalcButton");
  EXPECT_EQ(edit("WorkDirEdit")->text(), Q(dir_ / "missing"));
  EXPECT_EQ(caption("FilesCountValue"), "0");

  EXPECT_EQ(panels.texts,
            (std::vector<QString>{"Načítám seznam souborů...", "Načítám seznam souborů..."}));
  EXPECT_FALSE(AnyPanelLeft());
}

TEST_F(MainFormTest, RunShowsTheCountCountersLastFileAndAFullRedBar) {
  prepareRun("kocour", "pes");
  dir_.write("work/a.txt", "kocour\r\nkocour kocour\r\n");
  dir_.write("work/b.txt", "pes\r\n");
  dir_.write("work/sub/c.txt", "Kocour\r\n");
  box("SubdirectoriesCheck")->setChecked(true);
  FileList expected;
  SilentListingNotice silent;
  BuildFileList(expected, workDir_, "", true, silent);
  ASSERT_EQ(expected.size(), 3u);
  PanelSpy panels;

  click("ActionButton");

  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(caption("FilesCountValue"), "3");
  EXPECT_EQ(caption("LinesReadValue"), "4");
  EXPECT_EQ(caption("HitsFoundValue"), "4");
  EXPECT_EQ(caption("FilesChangedValue"), "2");
  EXPECT_EQ(caption("ProgressFileValue"), Q(expected.back()));
  EXPECT_EQ(bar()->maximum(), 3);
  EXPECT_EQ(bar()->position(), 3);
  EXPECT_EQ(bar()->percentText(), "100%");
  EXPECT_EQ(bar()->level(), 3);
  EXPECT_EQ(ReadFile(outDir_ + "/a.txt"), "pes\r\npes pes\r\n");
  EXPECT_EQ(ReadFile(outDir_ + "/sub/c.txt"), "pes\r\n");
  EXPECT_EQ(panels.texts.size(), 1u);
  EXPECT_FALSE(AnyPanelLeft());
  EXPECT_FALSE(form_->busy());

  // Loading options afterwards resets the displays, but not the count.
  LoadOptions(*form_);
  EXPECT_EQ(bar()->position(), 0);
  EXPECT_EQ(bar()->maximum(), 100);
  EXPECT_EQ(caption("ProgressFileValue"), "");
  EXPECT_EQ(caption("LinesReadValue"), "");
  EXPECT_EQ(caption("FilesCountValue"), "3");
}

TEST_F(MainFormTest, RunOverAnEmptyListShowsZerosAndAnEmptyBar) {
  prepareRun("kocour", "pes");
  click("ActionButton");
  EXPECT_EQ(caption("FilesCountValue"), "0");
  for (const char* counter : {"LinesReadValue", "HitsFoundValue", "FilesChangedValue"}) {
    EXPECT_EQ(caption(counter), "0") << counter;
  }
  EXPECT_EQ(bar()->maximum(), 0);
  EXPECT_EQ(bar()->position(), 0);
  EXPECT_EQ(bar()->percentText(), "0%");
}

TEST_F(MainFormTest, ActionButtonAndCloseDoNothingWhileARunIsInProgress) {
  prepareRun("kocour", "pes");
  dir_.write("work/a.txt", "kocour\r\n");
  form_->show();
  box("NoSafetyCheck")->setChecked(true);
  dialogs_.lineAnswers = {"0D"};
  bool pressedDuringRun = false;
  dialogs_.onMessage = [&](const ShownMessage& message) {
    if (message.caption != "Warning" || pressedDuringRun) return;
    pressedDuringRun = true;
    EXPECT_TRUE(form_->busy());
    click("ActionButton");
    EXPECT_FALSE(form_->close());
  };

  click("ActionButton");

  EXPECT_TRUE(pressedDuringRun);
  // One warning, one answer: the second press started nothing.
  EXPECT_EQ(dialogs_.linesAsked.size(), 1u);
  EXPECT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(caption("HitsFoundValue"), "1");
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(form_->busy());
  EXPECT_TRUE(form_->close());
}

TEST_F(MainFormTest, UndoButtonAsksThenTakesBackTheLastRun) {
  click("UndoButton");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, "Information");
  EXPECT_EQ(dialogs_.messages[0].text, "Není žádná akce, kterou by bylo možné vrátit.");
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
  EXPECT_TRUE(dialogs_.questions.empty());

  prepareRun("kocour", "pes");
  dir_.write("work/a.txt", "kocour\r\n");
  dir_.write("work/b.txt", "pes\r\n");
  box("CopyCheck")->setChecked(true);
  click("ActionButton");
  ASSERT_EQ(ReadFile(outDir_ + "/a.txt"), "pes\r\n");

  // Pressed while a run is in progress, nothing happens.
  form_->setBusy(true);
  click("UndoButton");
  form_->setBusy(false);
  EXPECT_TRUE(dialogs_.questions.empty());

  const std::vector<platform::RunSummary> runs = platform::ListRuns();
  ASSERT_EQ(runs.size(), 1u);
  const QString start = QLocale::system().toString(
      QDateTime::fromSecsSinceEpoch(runs[0].startSec), QLocale::ShortFormat);
  const QString question =
      "Vrátit akci z " + start + "?\r\nSouborů přepsaných nebo vytvořených touto akcí: 2.";
  for (const bool yes : {false, true}) {
    dialogs_.messages.clear();
    dialogs_.questions.clear();
    dialogs_.yesNoAnswers = {yes};
    click("UndoButton");
    ASSERT_EQ(dialogs_.questions.size(), 1u);
    EXPECT_EQ(dialogs_.questions[0].caption, "Vrátit akci");
    EXPECT_EQ(dialogs_.questions[0].text, question);
    EXPECT_EQ(std::filesystem::exists(outDir_ + "/a.txt"), !yes);
  }
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, "Information");
  EXPECT_EQ(dialogs_.messages[0].text,
            "Akce byla vrácena.\r\nObnoveno souborů: 0, odstraněno souborů: 2, ponecháno beze "
            "změny: 0.");
  EXPECT_FALSE(std::filesystem::exists(outDir_));
  EXPECT_FALSE(form_->busy());
}

TEST_F(MainFormTest, ErrorOfARunIsShownWithTheApplicationTitleAndAFullStop) {
  prepareRun("kocour", "pes");
  ASSERT_EQ(::chmod(settingsPath_.c_str(), 0444), 0);
  click("ActionButton");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, "Quorvel");
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(dialogs_.messages[0].text, Q("Unable to write to " + settingsPath_ + "."));
  EXPECT_FALSE(form_->busy());
}

TEST_F(MainFormTest, SaveForCommandLineUseWritesTheChosenFileAndKeepsTheSettingsPath) {
  edit("SearchEdit")->setText("abc");
  const std::string job = dir_ / "job.ini";
  dialogs_.savePaths = {Q(job), std::nullopt};
  click("SaveAsButton");
  click("SaveAsButton");  // cancelled
  EXPECT_EQ(dialogs_.saveSuffixes, (std::vector<QString>{"ini", "ini"}));
  EXPECT_NE(ReadFile(job).find("Search=abc\r\n"), std::string::npos);
  EXPECT_EQ(form_->settingsFile().path, settingsPath_);
  EXPECT_EQ(settings(), "[GENERAL]\r\n");
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MainFormTest, LogoOpensTheMakersPage) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "open");
  click("LogoImage");
  QDesktopServices::unsetUrlHandler("http");
  ASSERT_EQ(catcher.urls.size(), 1u);
  EXPECT_EQ(catcher.urls[0], QUrl("http://" QUORVEL_PING_HOST "/index.velnor.htm"));
}

TEST_F(MainFormTest, StartUpHooksRunOnceAndAFailedCloseKeepsTheWindowOpen) {
  int shows = 0;
  form_->setShowHandler([&] { ++shows; });
  form_->show();
  form_->hide();
  form_->show();
  EXPECT_EQ(shows, 1);

  bool failing = true;
  form_->setCloseHandler([&] {
    if (failing) throw UnableToWrite("/x/Quorvel.ini");
  });
  click("CloseButton");
  EXPECT_TRUE(form_->isVisible());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Unable to write to /x/Quorvel.ini.");

  failing = false;
  click("CloseButton");
  EXPECT_FALSE(form_->isVisible());
}

}  // namespace
}  // namespace quorvel

