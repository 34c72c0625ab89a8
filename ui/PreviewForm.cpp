#include "ui/PreviewForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "engine/Lines.h"
#include "engine/ReplaceRun.h"
#include "files/PathText.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "ui/Dialogs.h"
#include "ui/GlowButton.h"
#include "ui/Main.h"

namespace quorvel {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Thrown from the event pump once the dialog is closed; it ends the dry run.
struct PreviewClosed {};

constexpr FileAction kActions[] = {FileAction::Write, FileAction::Copy, FileAction::Exists,
                                   FileAction::Skip, FileAction::Stop};

// A line of the file as HTML, the marked spans highlighted; bytes in the code page.
QString MarkedHtml(const std::string& line, const std::vector<TextSpan>& marks) {
  const platform::CodePage& page = platform::ActiveCodePage();
  auto shown = [&page](std::string_view bytes) {
    return QString::fromStdString(page.toUtf8(bytes)).toHtmlEscaped();
  };
  QString html;
  size_t at = 0;
  for (const TextSpan& mark : marks) {
    if (mark.offset < at || mark.offset >= line.size()) continue;
    const size_t length = std::min(mark.length, line.size() - mark.offset);
    html += shown(std::string_view(line).substr(at, mark.offset - at));
    html += QStringLiteral("<span style=\"background-color:#ffd84a\">") +
            shown(std::string_view(line).substr(mark.offset, length)) + QStringLiteral("</span>");
    at = mark.offset + length;
  }
  return html + shown(std::string_view(line).substr(at));
}

}  // namespace

QString PreviewActionText(FileAction action) {
  switch (action) {
    case FileAction::Write:
      return Text("zapsat změny");
    case FileAction::Copy:
      return Text("zkopírovat");
    case FileAction::Exists:
      return Text("cíl existuje");
    case FileAction::Skip:
      return Text("přeskočit");
    case FileAction::Stop:
      return Text("konec akce");
  }
  return QString();
}

TPreviewForm::TPreviewForm(RunOptionsHost& options, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), options_(options), dialogs_(dialogs) {
  setObjectName(QStringLiteral("PreviewForm"));
  setWindowTitle(Text(kPreviewCaption));
  setModal(true);
  setSizeGripEnabled(true);
  resize(760, 520);

  FilesTable = new QTableWidget(0, 3, this);
  FilesTable->setObjectName(QStringLiteral("FilesTable"));
  FilesTable->setHorizontalHeaderLabels({Text("Soubor"), Text("Akce"), Text("Výskytů")});
  FilesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FilesTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FilesTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FilesTable->verticalHeader()->hide();
  FilesTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  FilesTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  FilesTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  TotalsLabel = new QLabel(this);
  TotalsLabel->setObjectName(QStringLiteral("TotalsLabel"));
  BeforeLabel = new QLabel(Text("Před změnou :"), this);
  BeforeLabel->setObjectName(QStringLiteral("BeforeLabel"));
  AfterLabel = new QLabel(Text("Po změně :"), this);
  AfterLabel->setObjectName(QStringLiteral("AfterLabel"));
  BeforeText = new QTextEdit(this);
  BeforeText->setObjectName(QStringLiteral("BeforeText"));
  AfterText = new QTextEdit(this);
  AfterText->setObjectName(QStringLiteral("AfterText"));
  for (QTextEdit* text : {BeforeText, AfterText}) {
    text->setReadOnly(true);
    text->setLineWrapMode(QTextEdit::NoWrap);
  }
  CloseButton = new GlowButton(Text("Zavřít"), GlowSet::Window, this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setFixedSize(137, 25);

  auto* lines = new QHBoxLayout;
  for (auto [label, text] : {std::pair{BeforeLabel, BeforeText}, std::pair{AfterLabel, AfterText}}) {
    auto* column = new QVBoxLayout;
    column->addWidget(label);
    column->addWidget(text);
    lines->addLayout(column);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FilesTable, 3);
  layout->addWidget(TotalsLabel);
  layout->addLayout(lines, 2);
  layout->addLayout(buttons);

  connect(CloseButton, &GlowButton::clicked, this, &QWidget::close);
  connect(FilesTable, &QTableWidget::currentCellChanged, this, [this] { showSelected(); });
  showTotals();
}

TPreviewForm::~TPreviewForm() = default;

void TPreviewForm::run() {
  const RunOptions chosen = options_.runOptions();
  search_ = LineSearchFor(chosen);
  workBase_ = EnsureTrailingSeparator(NormalizeDirectoryText(options_.workDirText()));
  show();
  running_ = true;
  try {
    ReplaceRun(options_, *this, RunMode::Dry);
    complete_ = true;
  } catch (const PreviewClosed&) {
  } catch (const std::exception& error) {
    dialogs_.showMessage(Text(kApplicationTitle), QString::fromStdString(MessageForDisplay(error)),
                         MessageIcon::Error);
  }
  running_ = false;
  showTotals();
  if (closed_) return;
  emit ended();
  if (!closed_) exec();
}

void TPreviewForm::begin(const std::string& text) {
  TotalsLabel->setText(QString::fromStdString(text));
  QCoreApplication::processEvents();
}

void TPreviewForm::showFileCount(int32_t count) {
  fileCount_ = count;
  showTotals();
}

void TPreviewForm::showCurrentFile(const std::string&) {}

void TPreviewForm::setProgressPosition(int32_t position) {
  position_ = position;
  showTotals();
}

void TPreviewForm::showTextBlock(const TextBlock& block) { keepChangedLines(block); }

void TPreviewForm::showFileDecision(const FileDecision& decision) {
  Row row{decision.action, decision.hits, {}, false};
  // Only a file with hits has changed lines.
  row.lines = std::move(pendingLines_);
  row.cut = pendingCut_;
  pendingLines_.clear();
  pendingCut_ = false;
  rows_.push_back(std::move(row));

  const int index = FilesTable->rowCount();
  FilesTable->insertRow(index);
  const std::string_view source = decision.source;
  const std::string_view shown = source.substr(0, workBase_.size()) == workBase_
                                     ? source.substr(workBase_.size())
                                     : source;
  FilesTable->setItem(index, 0, new QTableWidgetItem(QString::fromStdString(std::string(shown))));
  FilesTable->setItem(index, 1, new QTableWidgetItem(PreviewActionText(decision.action)));
  auto* hits = new QTableWidgetItem(QString::number(decision.hits));
  hits->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FilesTable->setItem(index, 2, hits);
  if (index == 0) FilesTable->setCurrentCell(0, 0);
  showTotals();
  emit fileShown(index);
}

void TPreviewForm::keepChangedLines(const TextBlock& block) {
  if (pendingCut_) return;
  const LineList& before = block.before;
  const LineList& after = block.after;
  const size_t count = std::min(before.size(), after.size());
  for (size_t i = 0; i < count; ++i) {
    if (before[i] == after[i]) continue;
    if (pendingLines_.size() == kPreviewLinesPerFile || keptBytes_ >= kPreviewBytesInAll) {
      pendingCut_ = true;
      break;
    }
    ChangedLine line;
    line.number = block.firstLine + int64_t(i + 1);
    line.beforeMarks = FoundSpans(before[i], search_);
    // Where each found text gave way to the replacement alone, the replacement is
    // marked in the new line too.
    std::string rebuilt;
    std::vector<TextSpan> placed;
    size_t at = 0;
    for (const TextSpan& mark : line.beforeMarks) {
      rebuilt.append(before[i].substr(at, mark.offset - at));
      placed.push_back({rebuilt.size(), search_.replacementText.size()});
      rebuilt.append(search_.replacementText);
      at = mark.offset + mark.length;
    }
    rebuilt.append(before[i].substr(at));
    if (rebuilt == after[i]) line.afterMarks = std::move(placed);
    line.before = std::string(before[i].substr(0, kPreviewLineBytes));
    line.after = std::string(after[i].substr(0, kPreviewLineBytes));
    keptBytes_ += line.before.size() + line.after.size();
    pendingLines_.push_back(std::move(line));
  }
}

void TPreviewForm::showTotals() {
  if (fileCount_ < 0) return;
  int64_t counts[std::size(kActions)] = {};
  int64_t hits = 0;
  for (const Row& row : rows_) {
    ++counts[size_t(row.action)];
    hits += row.hits;
  }
  QString text = Text("Souborů: ") + QString::number(position_) + Text(" z ") +
                 QString::number(fileCount_);
  for (FileAction action : kActions) {
    text += Text(" · ") + PreviewActionText(action) + Text(": ") +
            QString::number(counts[size_t(action)]);
  }
  text += Text(" · výskytů: ") + QString::number(hits);
  if (!running_ && !complete_ && !rows_.empty()) text += Text(" · náhled nedokončen");
  TotalsLabel->setText(text);
}

void TPreviewForm::showSelected() {
  const int index = FilesTable->currentRow();
  QString before, after;
  if (index >= 0 && size_t(index) < rows_.size()) {
    const Row& row = rows_[size_t(index)];
    for (const ChangedLine& line : row.lines) {
      const QString number = QStringLiteral("<b>") + QString::number(line.number) +
                             QStringLiteral(":</b> ");
      before += number + MarkedHtml(line.before, line.beforeMarks) + QStringLiteral("<br>");
      after += number + MarkedHtml(line.after, line.afterMarks) + QStringLiteral("<br>");
    }
    if (row.cut) {
      before += QStringLiteral("…");
      after += QStringLiteral("…");
    }
  }
  BeforeText->setHtml(QStringLiteral("<pre>") + before + QStringLiteral("</pre>"));
  AfterText->setHtml(QStringLiteral("<pre>") + after + QStringLiteral("</pre>"));
}

void TPreviewForm::pumpEvents() {
  if (closed_) throw PreviewClosed{};
  // As in the main window: a round of events every few milliseconds is enough, and the
  // clock is read only every few calls.
  if (pumpClock_.isValid()) {
    if (++pumpCalls_ < kPumpCallsPerClockRead) return;
    pumpCalls_ = 0;
    if (pumpClock_.elapsed() < kPumpIntervalMs) return;
  }
  QCoreApplication::processEvents();
  pumpClock_.start();
  if (closed_) throw PreviewClosed{};
}

void TPreviewForm::closeEvent(QCloseEvent* event) {
  closed_ = true;
  QDialog::closeEvent(event);
}

void TPreviewForm::reject() {
  closed_ = true;
  QDialog::reject();
}

}  // namespace quorvel
