#include "ui/CodePageValidator.h"

#include "platform/CodePage.h"

namespace quorvel {

bool FitsActiveCodePage(const QString& text) {
  const platform::CodePage& codePage = platform::ActiveCodePage();
  if (codePage.isUtf8()) return true;
  const std::string utf8 = text.toStdString();
  return codePage.toUtf8(codePage.fromUtf8(utf8)) == utf8;
}

QValidator::State CodePageValidator::validate(QString& input, int&) const {
  // A keystroke or a paste that brings in such a character is refused as a whole.
  return FitsActiveCodePage(input) ? Acceptable : Invalid;
}

}  // namespace quorvel
