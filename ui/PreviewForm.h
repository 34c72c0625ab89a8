#pragma once
// The preview: a dry run over the options as they stand, shown as it goes. A table of
// the listed files with what the run would do to each and its hits, the totals, and
// the changed lines of the selected file before and after, with the found text marked.
// Closing the dialog ends the dry run at once; nothing is written either way.

#include <QDialog>
#include <QElapsedTimer>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/LineReplace.h"
#include "engine/RunHost.h"
#include "files/FileList.h"

class QLabel;
class QTableWidget;
class QTextEdit;

namespace quorvel {

class Dialogs;
class GlowButton;

inline constexpr const char* kPreviewCaption = "Náhled změn";
// How much of each file's changes the dialog keeps: so many changed lines, each up
// to so many bytes, and no more in all.
inline constexpr size_t kPreviewLinesPerFile = 20;
inline constexpr size_t kPreviewLineBytes = 400;
inline constexpr size_t kPreviewBytesInAll = size_t(16) << 20;

// The table's text for an action.
QString PreviewActionText(FileAction action);

class TPreviewForm : public QDialog, public RunDisplays, private ListingNotice {
  Q_OBJECT

 public:
  TPreviewForm(RunOptionsHost& options, Dialogs& dialogs, QWidget* parent);
  ~TPreviewForm() override;

  // Shows the dialog, performs the dry run in it and returns once the user has closed
  // it. An error of the dry run is shown and the dialog stays with what it found.
  void run();

  // RunDisplays.
  void showFileCount(int32_t count) override;
  void showCurrentFile(const std::string& path) override;
  void setProgressPosition(int32_t position) override;
  void setProgressMaximum(int32_t) override {}
  void showCounter(RunCounter, int32_t) override {}
  void showInformation(const std::string&) override {}
  bool wantsTextBlocks() const override { return true; }
  void showTextBlock(const TextBlock& block) override;
  void showFileDecision(const FileDecision& decision) override;
  void pumpEvents() override;
  ListingNotice& listingNotice() override { return *this; }

 signals:
  // After each file's row is added, and once when the dry run has ended by itself.
  void fileShown(int row);
  void ended();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  struct ChangedLine {
    int64_t number;  // from 1
    std::string before, after;
    std::vector<TextSpan> beforeMarks, afterMarks;
  };
  struct Row {
    FileAction action;
    int64_t hits;
    std::vector<ChangedLine> lines;
    bool cut = false;  // more lines changed than were kept
  };

  void begin(const std::string& text) override;
  void end() override {}
  void keepChangedLines(const TextBlock& block);
  void showTotals();
  void showSelected();

  RunOptionsHost& options_;
  Dialogs& dialogs_;
  LineSearch search_;
  std::string workBase_;
  std::vector<Row> rows_;
  // The changed lines of the file whose blocks are coming, kept for its row.
  std::vector<ChangedLine> pendingLines_;
  bool pendingCut_ = false;
  size_t keptBytes_ = 0;
  int32_t fileCount_ = -1;
  int32_t position_ = 0;
  bool running_ = false;
  bool closed_ = false;
  bool complete_ = false;
  QElapsedTimer pumpClock_;
  int pumpCalls_ = 0;

  QTableWidget* FilesTable;
  QLabel* TotalsLabel;
  QLabel* BeforeLabel;
  QLabel* AfterLabel;
  QTextEdit* BeforeText;
  QTextEdit* AfterText;
  GlowButton* CloseButton;
};

}  // namespace quorvel
