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
#include <QWindow>

#include "run/Texts.h"

namespace quorvel {

namespace {

// The window system's frame around dialog: its own once known, and before that the
// frame of the owner window, which the same window manager draws.
QMargins FrameMargins(const QWidget& dialog, const QWidget* owner) {
  if (const QWindow* window = dialog.windowHandle(); window && !window->frameMargins().isNull()) {
    return window->frameMargins();
  }
  if (owner && owner->isVisible() && owner->windowHandle()) {
    return owner->windowHandle()->frameMargins();
  }
  return {};
}

// Puts the centre of dialog's frame on the centre of the screen. move() places the
// frame's top-left corner, so the frame's size, not the dialog's, decides where.
void CentreFrameOnScreen(QWidget& dialog, const QWidget* owner) {
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QSize outer = dialog.size().grownBy(FrameMargins(dialog, owner));
  const QRect area = screen->availableGeometry();
  dialog.move(area.x() + (area.width() - outer.width()) / 2,
              area.y() + (area.height() - outer.height()) / 2);
}

// A dialog centred when it is shown, once its size is final: a message box sizes
// itself to its text only then. The move comes before the window is mapped.
template <typename Base>
class Centred : public Base {
 public:
  explicit Centred(const QWidget* owner) : owner_(owner) {}

 protected:
  void showEvent(QShowEvent* event) override {
    Base::showEvent(event);
    CentreFrameOnScreen(*this, owner_);
  }

 private:
  const QWidget* owner_;
};

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
  Centred<QMessageBox> box(owner_);
  box.setWindowTitle(caption);
  // Paths in messages may hold '<' or '&'; they are never markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(MessageDisplayText(text));
  box.setIcon(BoxIcon(icon));
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

bool QtDialogs::askYesNo(const QString& caption, const QString& text) {
  Centred<QMessageBox> box(owner_);
  box.setWindowTitle(caption);
  box.setTextFormat(Qt::PlainText);
  box.setText(MessageDisplayText(text));
  box.setIcon(QMessageBox::Question);
  QPushButton* yes = box.addButton(QStringLiteral("Ano"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("Ne"), QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

std::optional<QString> QtDialogs::askLine(const QString& title, const QString& prompt,
                                          int maxLength) {
  Centred<QDialog> dialog(owner_);
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
