#pragma once
// Keeps a field to the characters of the active code page. The search and replacement
// texts are used as bytes of that code page; a character it lacks would silently turn
// into '?' and search for, or write, something the user never typed.

#include <QValidator>

namespace quorvel {

// True when every character of text has a byte form in the active code page.
bool FitsActiveCodePage(const QString& text);

class CodePageValidator : public QValidator {
  Q_OBJECT

 public:
  using QValidator::QValidator;
  State validate(QString& input, int& position) const override;
};

}  // namespace quorvel
