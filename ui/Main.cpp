#include "ui/Main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>

#include "engine/ReplaceRun.h"
#include "files/FileList.h"
#include "files/PathText.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/RunJournal.h"
#include "run/RunHistory.h"
#include "ui/About.h"
#include "ui/Dialogs.h"
#include "ui/DirectoryEdit.h"
#include "ui/FlatEdit.h"
#include "ui/GlowButton.h"
#include "ui/LevelProgressBar.h"
#include "ui/LinkLabel.h"
#include "ui/PanelInfo.h"
#include "ui/PreviewForm.h"


namespace quorvel {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Search and replacement texts are bytes of the active code page; every other text
// of the window is file-system text, which is UTF-8.
QString ShownText(const std::string& bytes, bool codePage) {
  return QString::fromStdString(codePage ? platform::ActiveCodePage().toUtf8(bytes) : bytes);
}

std::string TypedBytes(const QString& text, bool codePage) {
  std::string utf8 = text.toStdString();
  return codePage ? platform::ActiveCodePage().fromUtf8(utf8) : utf8;
}

// A label whose width follows its text, at a fixed left edge.
void SetSizedCaption(QLabel* label, const QString& caption) {
  label->setText(caption);
  label->resize(QFontMetrics(label->font()).horizontalAdvance(caption), label->height());
}

constexpr const char* kUndoCaption = "Vrátit akci";
constexpr const char* kNothingToUndoText = "Není žádná akce, kterou by bylo možné vrátit.";
constexpr const char* kUndoQuestionText =
    "Vrátit akci z %1?\r\nSouborů přepsaných nebo vytvořených touto akcí: %2.";
constexpr const char* kUndoneText =
    "Akce byla vrácena.\r\nObnoveno souborů: %1, odstraněno souborů: %2, ponecháno beze "
    "změny: %3.";

}  // namespace

QUrl MakerPageUrl() {
  return QUrl(QStringLiteral("http://" QUORVEL_PING_HOST "/index.velnor.htm"));
}

TMainForm::PanelNotice::PanelNotice() = default;
TMainForm::PanelNotice::~PanelNotice() = default;

void TMainForm::PanelNotice::begin(const std::string& text) {
  panels_.push_back(OpenInfoPanel(QString::fromStdString(text)));
}

void TMainForm::PanelNotice::end() {
  if (panels_.empty()) return;
  CloseInfoPanel(std::move(panels_.back()));
  panels_.pop_back();
}

template <typename Action>
void TMainForm::guarded(Action&& action) {
  // Qt lets no exception pass through its event loop; this is where a failure of a
  // handler ends and the program goes on.
  try {
    action();
  } catch (const std::exception& error) {
    showError(error);
  }
}

void TMainForm::showError(const std::exception& error) {
  flushRunDisplays();
  dialogs_.showMessage(Text(kApplicationTitle), QString::fromStdString(MessageForDisplay(error)),
                       MessageIcon::Error);
}

void TMainForm::ActionButtonClick() {
  if (busy_) return;
  guarded([this] {
    ReplaceRun(options_, *this);
    flushRunDisplays();
  });
}

void TMainForm::PreviewButtonClick() {
  if (busy_) return;
  guarded([this] {
    TPreviewForm preview(options_, dialogs_, this);
    preview.run();
  });
}

void TMainForm::UndoButtonClick() {
  if (busy_) return;
  guarded([this] {
    const std::optional<platform::RunSummary> run = RunToUndo();
    if (!run) {
      dialogs_.showMessage(Text(kInformationCaption), Text(kNothingToUndoText),
                           MessageIcon::Information);
      return;
    }
    const QString start = QLocale::system().toString(
        QDateTime::fromSecsSinceEpoch(run->startSec), QLocale::ShortFormat);
    if (!dialogs_.askYesNo(Text(kUndoCaption), Text(kUndoQuestionText)
                                                   .arg(start)
                                                   .arg(run->filesWritten))) {
      return;
    }
    busy_ = true;
    const platform::UndoOutcome outcome = platform::UndoRun(run->id);
    busy_ = false;
    if (outcome.status == platform::UndoOutcome::Status::Failed) {
      throw Error(outcome.problem);
    }
    dialogs_.showMessage(Text(kInformationCaption),
                         Text(kUndoneText)
                             .arg(outcome.restored)
                             .arg(outcome.removed)
                             .arg(qsizetype(outcome.leftChanged.size())),
                         MessageIcon::Information);
  });
}

void TMainForm::FilesCountValueClick() {
  guarded([this] {
    options_.setWorkDirText(NormalizeDirectoryText(options_.workDirText()));
    FileList list;
    const int32_t count = BuildFileList(list, options_.workDirText(), optionText("Extensions"),
                                        optionChecked("Subdirs"), notice_);
    FilesCountValue->setCaption(QString::fromStdString(IntToDecimal(count)));
  });
}

void TMainForm::OverwriteSourceCheckClick(bool checked) {
  guarded([this, checked] { OverwriteSourceToggled(*this, checked); });
}

void TMainForm::SaveAsButtonClick() {
  const std::optional<QString> path = dialogs_.askSavePath(QStringLiteral("ini"));
  if (!path) return;
  guarded([this, &path] { SaveOptionsAs(*this, path->toStdString()); });
}

void TMainForm::LogoImageClick() {
  // Nothing is reported when no handler can open the address.
  QDesktopServices::openUrl(MakerPageUrl());
}

void TMainForm::AboutButtonClick() {
  // The dialog reports a refused write of its position once it has closed.
  guarded([this] { ShowAboutDialog(settings_, this); });
}

void TMainForm::CloseButtonClick() { close(); }

const TMainForm::TextOption* TMainForm::textOption(std::string_view key) const {
  for (const TextOption& option : texts_) {
    if (key == option.key) return &option;
  }
  return nullptr;
}

QCheckBox* TMainForm::checkOption(std::string_view key) const {
  for (const CheckOption& option : checks_) {
    if (key == option.key) return option.box;
  }
  return nullptr;
}

std::string TMainForm::optionText(std::string_view key) const {
  const TextOption* option = textOption(key);
  if (!option) return {};
  const QString text = option->edit->text();
  if (text == option->shown) return option->bytes;
  return TypedBytes(text, option->codePage);
}

void TMainForm::setOptionText(std::string_view key, const std::string& text) {
  auto* option = const_cast<TextOption*>(textOption(key));
  if (!option) return;
  option->edit->setText(ShownText(text, option->codePage));
  option->bytes = text;
  option->shown = option->edit->text();
}

bool TMainForm::optionChecked(std::string_view key) const {
  QCheckBox* box = checkOption(key);
  return box && box->isChecked();
}

void TMainForm::setOptionChecked(std::string_view key, bool checked) {
  if (QCheckBox* box = checkOption(key)) box->setChecked(checked);
}

void TMainForm::resetRunDisplays() {
  ResultProgressBar->setPosition(0);
  ResultProgressBar->setMaximum(100);
  currentFileDirty_ = false;
  std::fill(std::begin(counterDirty_), std::end(counterDirty_), false);
  ProgressFileValue->clear();
  SetSizedCaption(LinesReadValue, QString());
  SetSizedCaption(HitsFoundValue, QString());
  FilesChangedValue->clear();
}

void TMainForm::showFileCount(int32_t count) {
  FilesCountValue->setCaption(QString::fromStdString(IntToDecimal(count)));
}

void TMainForm::showCurrentFile(const std::string& path) {
  currentFile_ = path;
  currentFileDirty_ = true;
}

void TMainForm::showCounter(RunCounter counter, int32_t value) {
  const auto index = static_cast<size_t>(counter);
  counters_[index] = value;
  counterDirty_[index] = true;
}

void TMainForm::setProgressPosition(int32_t position) {
  ResultProgressBar->setPosition(position);
  // A file has ended: the labels show exactly where the run stands.
  flushRunDisplays();
}

void TMainForm::setProgressMaximum(int32_t maximum) { ResultProgressBar->setMaximum(maximum); }

void TMainForm::flushRunDisplays() {
  if (currentFileDirty_) {
    ProgressFileValue->setText(QString::fromStdString(currentFile_));
    currentFileDirty_ = false;
  }
  QLabel* const labels[] = {LinesReadValue, HitsFoundValue, FilesChangedValue};
  for (size_t i = 0; i < std::size(labels); ++i) {
    if (!counterDirty_[i]) continue;
    const QString caption = QString::fromStdString(IntToDecimal(counters_[i]));
    if (labels[i] == FilesChangedValue) {
      FilesChangedValue->setText(caption);
    } else {
      SetSizedCaption(labels[i], caption);
    }
    counterDirty_[i] = false;
  }
}

void TMainForm::pumpEvents() {
  // Called after every line and hit: a full round of events each time would cost more
  // than the work, so the window gets one every few milliseconds, well within what a
  // user notices. Even reading the clock costs more than a short line, so it is read
  // only every few calls; that many lines take far less than the interval.
  if (pumpClock_.isValid()) {
    if (++pumpCalls_ < kPumpCallsPerClockRead) return;
    pumpCalls_ = 0;
    if (pumpClock_.elapsed() < kPumpIntervalMs) return;
  }
  flushRunDisplays();
  QCoreApplication::processEvents();
  pumpClock_.start();
}

void TMainForm::showInformation(const std::string& text) {
  flushRunDisplays();
  dialogs_.showMessage(Text(kInformationCaption), QString::fromStdString(text),
                       MessageIcon::Information);
}

void TMainForm::showWarning(const std::string& text) {
  dialogs_.showMessage(Text(kWarningCaption), QString::fromStdString(text), MessageIcon::Warning);
}

std::string TMainForm::askLine(const std::string& title, const std::string& prompt) {
  const std::optional<QString> answer = dialogs_.askLine(
      QString::fromStdString(title), QString::fromStdString(prompt), kAnswerMaxLength);
  return answer ? answer->toStdString() : std::string();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  SearchEdit->setFocus();
  if (showHandler_) guarded(showHandler_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  if (closeHandler_) {
    try {
      closeHandler_();
    } catch (const std::exception& error) {
      showError(error);
      event->ignore();
      return;
    }
  }
  event->accept();
}

}  // namespace quorvel
