// The window's small controls and the progress panel, each on its own.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "files/PathText.h"
#include "files/TestHooks.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui/DirectoryEdit.h"
#include "ui/GlowButton.h"
#include "ui/HeaderStrip.h"
#include "ui/LevelProgressBar.h"
#include "ui/LinkLabel.h"
#include "ui/PanelInfo.h"

namespace quorvel {
namespace {

using testing::ScriptedDialogs;
using testing::TempDir;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QColor PixelAt(QWidget& widget, int x, int y) { return widget.grab().toImage().pixelColor(x, y); }

class DirectoryEditTest : public ::testing::Test {
 protected:
  DirectoryEditTest() : savedProgramDir_(ProgramDir()) {
    SetProgramDirForTesting(dir_.mkdir("prog") + "/");
  }
  ~DirectoryEditTest() override { SetProgramDirForTesting(savedProgramDir_); }

  TempDir dir_;

 private:
  std::string savedProgramDir_;
};

TEST_F(DirectoryEditTest, ChooserStartsAtTheFieldTheLastChoiceOrTheRoot) {
  const QString existing = Q(dir_.mkdir("work"));
  const QString other = Q(dir_.mkdir("other dir"));
  const QString missing = Q(dir_ / "missing");
  dir_.mkdir("prog/relative");
  struct StartCase {
    QString field;
    QString last;
    QString start;
  };
  const StartCase cases[] = {
      {existing, other, existing},
      {missing, other, "/"},
      {"", other, other},
      {"", "", "/"},
      {"", missing, "/"},
      {"\"" + existing + "\"", "", existing},
      {"relative", "", Q(ProgramDir() + "relative")},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.field.toStdString() + " | " + c.last.toStdString());
    EXPECT_EQ(BrowseStartFolder(c.field, c.last), c.start);
  }
}

TEST_F(DirectoryEditTest, BrowseButtonPutsTheChoiceInWithoutQuotesAndCancelKeepsTheText) {
  ScriptedDialogs dialogs;
  DirectoryEdit edit(dialogs, nullptr);
  edit.resize(353, 18);
  const QString chosen = Q(dir_.mkdir("my files"));
  edit.setText("typed");

  dialogs.directories = {chosen, std::nullopt};
  QTest::mouseClick(edit.browseButton(), Qt::LeftButton);
  EXPECT_EQ(edit.text(), chosen);

  edit.clear();
  edit.browse();  // cancelled
  EXPECT_EQ(edit.text(), "");
  // The field being empty, the chooser opened where the last choice was made.
  ASSERT_EQ(dialogs.directoryStarts.size(), 2u);
  EXPECT_EQ(dialogs.directoryStarts[0], "/");
  EXPECT_EQ(dialogs.directoryStarts[1], chosen);
  EXPECT_EQ(edit.browseButton()->focusPolicy(), Qt::NoFocus);
}

TEST(LinkLabelTest, ClickSignalsAndTheWidthFollowsTheText) {
  LinkLabel label(nullptr);
  label.setGeometry(168, 24, 122, 13);
  label.setCaption("12345");
  EXPECT_EQ(label.width(), QFontMetrics(label.font()).horizontalAdvance("12345"));
  EXPECT_EQ(label.height(), 13);
  EXPECT_TRUE(label.font().bold());
  EXPECT_TRUE(label.font().underline());
  EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);

  QSignalSpy clicks(&label, &LinkLabel::clicked);
  QTest::mouseClick(&label, Qt::LeftButton);
  QTest::mouseClick(&label, Qt::RightButton);
  EXPECT_EQ(clicks.count(), 1);
}

TEST(LevelProgressBarTest, PaintsTheLevelColourAndThePercentage) {
  LevelProgressBar bar(nullptr);
  bar.resize(353, 18);
  EXPECT_EQ(bar.percentText(), "0%");
  // Left of the centred text, where the first segments lie.
  EXPECT_EQ(PixelAt(bar, 4, 9), QColor(Qt::white));

  bar.setMaximum(4);
  bar.setPosition(4);
  EXPECT_EQ(bar.percentText(), "100%");
  EXPECT_EQ(bar.level(), 3);
  // The middle row of a segment has the level's first colour; a gap stays white.
  EXPECT_EQ(PixelAt(bar, 4, 9), QColor(0xFF0000));
  EXPECT_EQ(PixelAt(bar, 2 + 7, 9), QColor(Qt::white));

  bar.setPosition(3);
  EXPECT_EQ(bar.percentText(), "75%");
  EXPECT_EQ(PixelAt(bar, 4, 9), QColor(0xFFFF00));
}

TEST(HeaderStripTest, GradientRunsFromTheWindowGreyToSilver) {
  HeaderStrip strip(" Text a akce", nullptr);
  strip.resize(369, 17);
  EXPECT_EQ(PixelAt(strip, 0, 16), QColor(0x79, 0x76, 0x71));
  EXPECT_EQ(PixelAt(strip, 368, 16), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_TRUE(strip.font().bold());
}

TEST(GlowButtonTest, BorderTakesTheColourOfTheState) {
  GlowButton panelButton("AKCE !", GlowSet::Panel, nullptr);
  panelButton.resize(137, 25);
  EXPECT_EQ(PixelAt(panelButton, 0, 12), QColor(0x9BB9E0));
  panelButton.setDown(true);
  EXPECT_EQ(PixelAt(panelButton, 0, 12), QColor(0x7B6645));

  GlowButton windowButton("Zavřít", GlowSet::Window, nullptr);
  windowButton.resize(137, 25);
  EXPECT_EQ(PixelAt(windowButton, 0, 12), QColor(0xB2BCC0));
}

TEST(PanelInfoTest, OpensFramelessOnTopWithTheTextAndCloseDestroysIt) {
  std::unique_ptr<TPanelInfoForm> panel = OpenInfoPanel("Načítám seznam souborů...");
  ASSERT_TRUE(panel);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(panel->size(), QSize(454, 77));
  EXPECT_EQ(panel->minimumSize(), panel->maximumSize());
  QLabel* label = panel->globalLabel();
  EXPECT_EQ(label->objectName(), "GlobalLabel");
  EXPECT_EQ(label->geometry(), QRect(8, 30, 433, 13));
  EXPECT_EQ(label->text(), "Načítám seznam souborů...");
  EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(label->font().bold());
  // The single line on the outer edge, the raised bevel on the pixels just inside it.
  struct Pixel {
    int x, y;
    QColor colour;
  };
  const QColor face(0x8D, 0xB2, 0xE3);
  const Pixel pixels[] = {
      {20, 10, face},           {0, 0, Qt::black},         {453, 76, Qt::black},
      {453, 30, Qt::black},     {200, 76, Qt::black},      {1, 1, Qt::white},
      {1, 40, Qt::white},       {200, 1, Qt::white},       {452, 40, QColor(0x808080)},
      {200, 75, QColor(0x808080)}, {452, 75, QColor(0x808080)}, {451, 40, face},
      {200, 74, face},
  };
  const QImage image = panel->grab().toImage();
  for (const Pixel& p : pixels) {
    EXPECT_EQ(image.pixelColor(p.x, p.y), p.colour) << p.x << "," << p.y;
  }

  QPointer<TPanelInfoForm> watched(panel.get());
  CloseInfoPanel(std::move(panel));
  EXPECT_TRUE(watched.isNull());
}

}  // namespace
}  // namespace quorvel
