// The preview dialog on the offscreen platform, opened by the main window's button: its
// rows and totals, the marked changes of the selected file, closing it mid-way, and
// that it writes nothing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTextEdit>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/ScriptedDialogs.h"
#include "files/PathText.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "ui/Main.h"
#include "ui/PreviewForm.h"

namespace quorvel {
namespace {

using testing::ReadFile;
using testing::ScriptedDialogs;
using testing::TempDir;

// Hands every preview dialog that opens to a test's hook.
class PreviewSpy : public QObject {
 public:
  explicit PreviewSpy(std::function<void(TPreviewForm*)> onOpen) : onOpen_(std::move(onOpen)) {
    qApp->installEventFilter(this);
  }
  ~PreviewSpy() override { qApp->removeEventFilter(this); }
  int opened = 0;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* form = qobject_cast<TPreviewForm*>(watched)) {
        ++opened;
        onOpen_(form);
      }
    }
    return false;
  }

 private:
  std::function<void(TPreviewForm*)> onOpen_;
};

// What a dialog showed when it was looked at.
struct Seen {
  std::vector<std::string> rows;  // "file | action | hits"
  QString totals;
  QString before, after;
};

Seen Look(TPreviewForm* form) {
  Seen seen;
  auto* table = form->findChild<QTableWidget*>(QStringLiteral("FilesTable"));
  for (int r = 0; r < table->rowCount(); ++r) {
    seen.rows.push_back((table->item(r, 0)->text() + " | " + table->item(r, 1)->text() + " | " +
                         table->item(r, 2)->text())
                            .toStdString());
  }
  seen.totals = form->findChild<QLabel*>(QStringLiteral("TotalsLabel"))->text();
  seen.before = form->findChild<QTextEdit*>(QStringLiteral("BeforeText"))->toHtml();
  seen.after = form->findChild<QTextEdit*>(QStringLiteral("AfterText"))->toHtml();
  return seen;
}

class PreviewFormTest : public ::testing::Test {
 protected:
  PreviewFormTest() {
    settingsPath_ = dir_.write("Quorvel.ini", "[GENERAL]\r\n");
    form_ = std::make_unique<TMainForm>(&dialogs_);
    form_->useSettingsFile(SettingsFileAt(settingsPath_));
    dir_.write("work/a.txt", "first\nsecond Apple apple\nthird\n");
    dir_.write("work/b.txt", "nothing here\n");
    dir_.write("work/c.txt", "apple\n");
    dir_.write("out/c.txt", "already there\n");
    set("SearchEdit", "apple");
    set("ReplaceEdit", "pear");
    set("WorkDirEdit", dir_ / "work/");
    set("TargetDirEdit", dir_ / "out");
  }

  void set(const char* name, const std::string& text) {
    form_->findChild<QLineEdit*>(QString::fromLatin1(name))->setText(QString::fromStdString(text));
  }
  QString field(const char* name) {
    return form_->findChild<QLineEdit*>(QString::fromLatin1(name))->text();
  }

  TempDir dir_;
  std::string settingsPath_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(PreviewFormTest, ShowsEveryFileWithItsActionHitsAndTheMarkedChanges) {
  Seen seen;
  TPreviewForm* opened = nullptr;
  PreviewSpy spy([&](TPreviewForm* form) {
    opened = form;
    QObject::connect(form, &TPreviewForm::ended, form, [&seen, form] {
      seen = Look(form);
      EXPECT_EQ(form->windowTitle(), "Náhled změn");
      EXPECT_EQ(form->size(), QSize(760, 520));
      EXPECT_TRUE(form->isModal());
      EXPECT_NE(form->minimumSize(), form->maximumSize());
      form->close();
    });
  });
  form_->PreviewButtonClick();
  ASSERT_EQ(spy.opened, 1);
  EXPECT_EQ(seen.rows, (std::vector<std::string>{"a.txt | zapsat změny | 2",
                                                 "b.txt | přeskočit | 0",
                                                 "c.txt | cíl existuje | 1"}));
  EXPECT_EQ(seen.totals, "Souborů: 3 z 3 · zapsat změny: 1 · zkopírovat: 0 · cíl existuje: 1 · "
                         "přeskočit: 1 · konec akce: 0 · výskytů: 3");
  // The first row is selected: its one changed line, the found texts marked.
  EXPECT_NE(seen.before.indexOf("2:"), -1) << seen.before.toStdString();
  EXPECT_EQ(seen.before.count("background-color:#ffd84a"), 2) << seen.before.toStdString();
  EXPECT_NE(seen.before.indexOf(">Apple</span>"), -1) << seen.before.toStdString();
  EXPECT_EQ(seen.after.count("background-color:#ffd84a"), 2) << seen.after.toStdString();
  EXPECT_NE(seen.after.indexOf(">pear</span>"), -1) << seen.after.toStdString();
  EXPECT_EQ(seen.before.indexOf("first"), -1) << "only changed lines";

  // Nothing written: no target, the settings and the fields as they were.
  EXPECT_FALSE(testing::Exists(dir_ / "out/a.txt"));
  EXPECT_EQ(ReadFile(settingsPath_), "[GENERAL]\r\n");
  EXPECT_EQ(field("WorkDirEdit").toStdString(), dir_ / "work/");
  EXPECT_FALSE(form_->busy());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(PreviewFormTest, ClosingMidwayEndsTheDryRun) {
  Seen seen;
  bool ended = false;
  PreviewSpy spy([&](TPreviewForm* form) {
    QObject::connect(form, &TPreviewForm::ended, form, [&ended] { ended = true; });
    QObject::connect(form, &TPreviewForm::fileShown, form, [&seen, form](int row) {
      if (row == 0) form->close();
      seen = Look(form);
    });
  });
  form_->PreviewButtonClick();
  EXPECT_EQ(spy.opened, 1);
  EXPECT_FALSE(ended);
  EXPECT_EQ(seen.rows.size(), 1u);
  EXPECT_FALSE(form_->busy());
}

TEST_F(PreviewFormTest, DoesNothingWhileTheBusyFlagIsSet) {
  PreviewSpy spy([](TPreviewForm* form) { form->close(); });
  form_->setBusy(true);
  form_->PreviewButtonClick();
  EXPECT_EQ(spy.opened, 0);
}

}  // namespace
}  // namespace quorvel
