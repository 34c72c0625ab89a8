// The About dialog: what it shows, how it closes, where it opens, and that only one
// exists at a time.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "settings/Settings.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/UrlCatcher.h"
#include "ui/About.h"
#include "ui/GlowButton.h"
#include "ui/Main.h"

namespace quorvel {
namespace {

using testing::ReadFile;
using testing::ScriptedDialogs;
using testing::TempDir;
using testing::UrlCatcher;

std::vector<TAboutForm*> OpenDialogs() {
  std::vector<TAboutForm*> open;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<TAboutForm*>(widget); dialog && dialog->isVisible()) {
      open.push_back(dialog);
    }
  }
  return open;
}

// Runs action once the modal loop of the dialog that the caller is about to open has
// started, with that dialog.
void WhenOpen(std::function<void(TAboutForm&)> action) {
  QTimer::singleShot(0, [action] {
    const std::vector<TAboutForm*> open = OpenDialogs();
    ASSERT_EQ(open.size(), 1u);
    action(*open.front());
  });
}

class AboutTest : public ::testing::Test {
 protected:
  AboutTest() {
    settingsPath_ = dir_.write("Quorvel.ini", "[GENERAL]\r\n");
    settings_ = SettingsFileAt(settingsPath_);
  }

  template <typename T = QWidget>
  static T* get(TAboutForm& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  TempDir dir_;
  std::string settingsPath_;
  SettingsFile settings_;
};

TEST_F(AboutTest, WindowAndEveryControlHaveTheirPlaceTextAndLook) {
  TAboutForm dialog(settings_);
  EXPECT_EQ(dialog.windowTitle(), "O programu");
  EXPECT_EQ(dialog.size(), QSize(516, 586));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(dialog.palette().color(QPalette::Window),
            QApplication::palette().color(QPalette::Button));
  EXPECT_EQ(dialog.font().pixelSize(), 11);

  struct Control {
    const char* name;
    QRect geometry;  // a width of -1: the control takes the width of its text
    const char* text;
    int pixelSize;
    bool bold;
    QRgb colour;  // 0: the default text colour
  };
  const Control controls[] = {
      {"TopLabel", {8, 8, 497, 23}, "Program pro hromadné nahrazování textů", 19, true, 0x008000},
      {"VersionValue", {0, 40, 513, 13}, nullptr, 11, true, 0},
      {"InfoLabel",
       {26, 88, 464, 26},
       "Program slouží k hromadnému nahrazování fragmentů textů v čistých textových "
       "souborech. Není určen k operacím nad binarními soubory typu DOC .",
       11,
       false,
       0x000080},
      {"LicenceMemo", {8, 128, 497, 305}, nullptr, 11, false, 0},
      {"AboutLabel", {8, 448, 497, 91}, nullptr, 11, false, 0},
      {"EmailLabel", {112, 562, -1, -1}, "kontaktní emailová adresa :", 11, false, 0},
      {"EmailValue", {256, 560, -1, -1}, "info@qv.example", 13, true, 0xFF0000},
      {"CloseButton", {373, 556, 137, 25}, "Zavřít", 11, true, 0},
  };
  for (const Control& control : controls) {
    SCOPED_TRACE(control.name);
    QWidget* widget = get(dialog, control.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->pos(), control.geometry.topLeft());
    if (control.geometry.width() >= 0) {
      EXPECT_EQ(widget->size(), control.geometry.size());
    }
    EXPECT_EQ(widget->font().pixelSize(), control.pixelSize);
    EXPECT_EQ(widget->font().bold(), control.bold);
    if (control.colour != 0) {
      EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(control.colour));
    }
    if (!control.text) continue;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(label->text(), QString::fromUtf8(control.text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_EQ(button->text(), QString::fromUtf8(control.text));
    }
  }

  auto* link = get<QLabel>(dialog, "EmailValue");
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(get<GlowButton>(dialog, "CloseButton")->colourSet(), GlowSet::Window);
  for (const char* centred : {"TopLabel", "VersionValue", "InfoLabel", "AboutLabel"}) {
    EXPECT_TRUE(get<QLabel>(dialog, centred)->alignment() & Qt::AlignHCenter) << centred;
  }
  EXPECT_TRUE(get<QLabel>(dialog, "InfoLabel")->wordWrap());
  EXPECT_TRUE(get<QLabel>(dialog, "AboutLabel")->wordWrap());
}

// The wrapped texts stay inside their labels, and the address ends before the button,
// so that all of it can be read and clicked.
TEST_F(AboutTest, TextsFitTheirPlaces) {
  TAboutForm dialog(settings_);
  for (const char* name : {"InfoLabel", "AboutLabel"}) {
    auto* label = get<QLabel>(dialog, name);
    const QRect needed = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, label->width(), 10000),
                                           Qt::TextWordWrap | Qt::AlignHCenter, label->text());
    EXPECT_LE(needed.height(), label->height()) << name;
  }
  EXPECT_LE(get(dialog, "EmailValue")->geometry().right(), get(dialog, "CloseButton")->x());
  EXPECT_LE(get(dialog, "EmailLabel")->geometry().right(), get(dialog, "EmailValue")->x());
}

TEST_F(AboutTest, VersionLineCarriesTheBuildsVersion) {
  TAboutForm dialog(settings_);
  EXPECT_EQ(get<QLabel>(dialog, "VersionValue")->text(),
            QString::fromUtf8("číslo verze programu (build) : " QUORVEL_VERSION));
}

TEST_F(AboutTest, LicenceHas45CentredReadOnlyLinesEightOfThemEmpty) {
  TAboutForm dialog(settings_);
  auto* memo = get<QTextEdit>(dialog, "LicenceMemo");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->lineWrapMode(), QTextEdit::WidgetWidth);

  const QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 45);
  EXPECT_EQ(lines.count(QString()), 8);
  for (const QString& line : lines) EXPECT_LE(line.size(), 99) << line.toStdString();
  EXPECT_TRUE(lines[0].contains(QString::fromUtf8("program pro hromadné nahrazování textů")));
  EXPECT_TRUE(lines[1].contains(QStringLiteral("2026")));
  for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next()) {
    EXPECT_EQ(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  }

  // The network note is three paragraphs and ends with a smile.
  const QString note = get<QLabel>(dialog, "AboutLabel")->text();
  EXPECT_EQ(note.split(QLatin1Char('\n')).size(), 3);
  EXPECT_TRUE(note.endsWith(QStringLiteral(":-)")));
}

TEST_F(AboutTest, FocusStartsOnTheButtonEscapeDoesNotCloseEnterAndSpaceDo) {
  for (const Qt::Key closing : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    TAboutForm dialog(settings_);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* button = get<QWidget>(dialog, "CloseButton");
    EXPECT_EQ(dialog.focusWidget(), button);

    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(AboutOpen());

    QTest::keyClick(button, closing);
    EXPECT_FALSE(dialog.isVisible()) << closing;
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(AboutOpen());
  }
}

TEST_F(AboutTest, ReopensWhereItWasLeftAndStartsAtTheOriginWithoutAStoredPlace) {
  WhenOpen([](TAboutForm& dialog) {
    EXPECT_EQ(dialog.pos(), QPoint(0, 0));
    dialog.move(300, 120);
    QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("CloseButton")), Qt::LeftButton);
  });
  ShowAboutDialog(settings_, nullptr);
  EXPECT_NE(ReadFile(settingsPath_).find("[DIALOGS]\r\nTAboutForm=300,120\r\n"), std::string::npos);
  EXPECT_TRUE(OpenDialogs().empty());

  QPoint reopened;
  WhenOpen([&](TAboutForm& dialog) {
    reopened = dialog.pos();
    // The title bar's close button is a way of closing too, and stores the place.
    dialog.move(10, 20);
    dialog.close();
  });
  ShowAboutDialog(settings_, nullptr);
  EXPECT_EQ(reopened, QPoint(300, 120));
  EXPECT_NE(ReadFile(settingsPath_).find("TAboutForm=10,20\r\n"), std::string::npos);
}

TEST_F(AboutTest, WithoutASettingsFileItOpensAtItsDesignedPlaceAndStoresNothing) {
  settings_.noIni = true;
  dir_.write("Quorvel.ini", "[GENERAL]\r\n[DIALOGS]\r\nTAboutForm=300,120\r\n");
  QPoint opened;
  WhenOpen([&](TAboutForm& dialog) {
    opened = dialog.pos();
    dialog.move(5, 5);
    dialog.accept();
  });
  ShowAboutDialog(settings_, nullptr);
  EXPECT_EQ(opened, QPoint(244, 155));
  EXPECT_EQ(ReadFile(settingsPath_), "[GENERAL]\r\n[DIALOGS]\r\nTAboutForm=300,120\r\n");
}

TEST_F(AboutTest, WhileOneIsOpenNoSecondDialogIsCreated) {
  EXPECT_FALSE(AboutOpen());
  size_t openDuringSecondCall = 0;
  bool openFlagInside = false;
  WhenOpen([&](TAboutForm& dialog) {
    openFlagInside = AboutOpen();
    // Returns at once: a second modal loop here would never end.
    ShowAboutDialog(settings_, nullptr);
    openDuringSecondCall = OpenDialogs().size();
    dialog.accept();
  });
  ShowAboutDialog(settings_, nullptr);
  EXPECT_TRUE(openFlagInside);
  EXPECT_EQ(openDuringSecondCall, 1u);
  EXPECT_FALSE(AboutOpen());
}

TEST_F(AboutTest, TheAddressOpensANewMailMessage) {
  TAboutForm dialog(settings_);
  dialog.show();
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("mailto", &catcher, "open");
  QTest::mouseClick(get(dialog, "EmailValue"), Qt::LeftButton, {}, QPoint(5, 5));
  QDesktopServices::unsetUrlHandler("mailto");
  ASSERT_EQ(catcher.urls.size(), 1u);
  EXPECT_EQ(catcher.urls[0], QUrl("mailto:info@qv.example"));
}

// The dialog still closes, so a locked settings file never traps the user in it; the
// main window then reports the lost position once.
TEST_F(AboutTest, APositionThatCannotBeStoredIsReportedAfterTheDialogHasClosed) {
  ::chmod(settingsPath_.c_str(), 0444);
  ScriptedDialogs dialogs;
  TMainForm form(&dialogs);
  form.useSettingsFile(settings_);
  form.show();
  WhenOpen([](TAboutForm& dialog) { dialog.accept(); });
  QTest::mouseClick(form.findChild<QWidget*>(QStringLiteral("AboutButton")), Qt::LeftButton);

  EXPECT_FALSE(AboutOpen());
  EXPECT_TRUE(OpenDialogs().empty());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Quorvel");
  EXPECT_EQ(dialogs.messages[0].text,
            QString::fromStdString("Unable to write to " + settingsPath_ + "."));
}

}  // namespace
}  // namespace quorvel

