#include "ui/CodePageValidator.h"

#include <QApplication>
#include <QLineEdit>

#include "platform/CodePage.h"

namespace quorvel {

namespace {

std::function<void()>& RefusedKeySound() {
  static std::function<void()> sound;
  return sound;
}

void SoundRefusedKey() {
  if (RefusedKeySound()) {
    RefusedKeySound()();
  } else {
    QApplication::beep();
  }
}

}  // namespace

bool FitsActiveCodePage(const QString& text) {
  const platform::CodePage& codePage = platform::ActiveCodePage();
  if (codePage.isUtf8()) return true;
  const std::string utf8 = text.toStdString();
  return codePage.toUtf8(codePage.fromUtf8(utf8)) == utf8;
}

CodePageValidator::CodePageValidator(QLineEdit* field) : QValidator(field) {
  connect(field, &QLineEdit::inputRejected, this, [] { SoundRefusedKey(); });
}

QValidator::State CodePageValidator::validate(QString& input, int&) const {
  // A keystroke or a paste that brings in such a character is refused as a whole.
  return FitsActiveCodePage(input) ? Acceptable : Invalid;
}

void SetRefusedKeySoundForTesting(std::function<void()> sound) {
  RefusedKeySound() = std::move(sound);
}

}  // namespace quorvel
