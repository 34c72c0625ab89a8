#include "ui/Dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "run/Texts.h"

namespace quorvel {

namespace {

void CentreOnScreen(QWidget& dialog, QWidget* owner) {
  dialog.adjustSize();
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  dialog.move(screen->availableGeometry().center() - dialog.rect().center());
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Information:
      break;
  }
  return QMessageBox::Information;
}

}  // namespace

QString MessageDisplayText(const QString& text) {
  return QString::fromStdString(LfLineBreaks(text.toStdString()));
}

void QtDialogs::showMessage(const QString& caption, const QString& text, MessageIcon icon) {
  QMessageBox box;
  box.setWindowTitle(caption);
  // Paths in messages may hold '<' or '&'; they are never markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(MessageDisplayText(text));
  box.setIcon(BoxIcon(icon));
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  CentreOnScreen(box, owner_);
  box.exec();
}

std::optional<QString> QtDialogs::askLine(const QString& title, const QString& prompt,
                                          int maxLength) {
  QDialog dialog;
  dialog.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(prompt, &dialog);
  label->setTextFormat(Qt::PlainText);
  auto* field = new QLineEdit(&dialog);
  field->setMaxLength(maxLength);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(field);
  layout->addWidget(buttons);
  dialog.setMinimumWidth(320);
  CentreOnScreen(dialog, owner_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return field->text();
}

std::optional<QString> QtDialogs::askSavePath(const QString& defaultSuffix) {
  if (!saveDialog_) {
    saveDialog_ = new QFileDialog(owner_);
    saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog_->setFileMode(QFileDialog::AnyFile);
    saveDialog_->setOption(QFileDialog::DontConfirmOverwrite);
    saveDialog_->setSizeGripEnabled(true);
  }
  saveDialog_->setDefaultSuffix(defaultSuffix);
  if (saveDialog_->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = saveDialog_->selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  saveDialog_->selectFile(chosen.front());
  return chosen.front();
}

std::optional<QString> QtDialogs::chooseDirectory(const QString& start) {
  const QString chosen =
      QFileDialog::getExistingDirectory(owner_, QString(), start, QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen;
}

}  // namespace quorvel
