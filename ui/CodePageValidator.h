#pragma once
// Keeps a field to the characters of the active code page. The search and replacement
// texts are used as bytes of that code page; a character it lacks would silently turn
// into '?' and search for, or write, something the user never typed.

#include <QValidator>
#include <functional>

class QLineEdit;

namespace quorvel {

// True when every character of text has a byte form in the active code page.
bool FitsActiveCodePage(const QString& text);

class CodePageValidator : public QValidator {
  Q_OBJECT

 public:
  using QValidator::QValidator;
  // The validator of field: a keystroke or paste it refuses beeps, as refused keys do
  // on the desktop, so that the user knows the character was not taken.
  explicit CodePageValidator(QLineEdit* field);
  State validate(QString& input, int& position) const override;
};

// Replaces the beep of a refused key (QApplication::beep); empty restores it.
void SetRefusedKeySoundForTesting(std::function<void()> sound);

}  // namespace quorvel
