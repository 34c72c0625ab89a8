#include "ui/DirectoryEdit.h"

#include <QToolButton>

#include "files/PathText.h"
#include "platform/FileSystem.h"
#include "ui/Dialogs.h"

namespace quorvel {

namespace {

constexpr int kButtonWidth = 17;

}  // namespace

QString BrowseStartFolder(const QString& fieldText, const QString& lastChosen) {
  const QString& candidate = fieldText.isEmpty() ? lastChosen : fieldText;
  if (candidate.isEmpty()) return QString::fromLatin1(kFileSystemRoot);
  const std::string directory = NormalizeDirectoryText(candidate.toUtf8().toStdString());
  if (!platform::DirectoryExists(directory)) return QString::fromLatin1(kFileSystemRoot);
  return QString::fromUtf8(directory);
}

DirectoryEdit::DirectoryEdit(Dialogs& dialogs, QWidget* parent)
    : FlatEdit(EditBorder::Plain, parent), dialogs_(dialogs), button_(new QToolButton(this)) {
  button_->setText(QStringLiteral("..."));
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setCursor(Qt::ArrowCursor);
  button_->setAutoRaise(true);
  reserveRightMargin(kButtonWidth);
  connect(button_, &QToolButton::clicked, this, &DirectoryEdit::browse);
}

void DirectoryEdit::browse() {
  const std::optional<QString> chosen =
      dialogs_.chooseDirectory(BrowseStartFolder(text(), lastChosen_));
  if (!chosen) return;
  lastChosen_ = *chosen;
  setText(*chosen);
}

void DirectoryEdit::resizeEvent(QResizeEvent* event) {
  FlatEdit::resizeEvent(event);
  button_->setGeometry(width() - kButtonWidth - 1, 1, kButtonWidth, height() - 2);
}

}  // namespace quorvel
