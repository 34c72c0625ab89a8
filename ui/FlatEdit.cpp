#include "ui/FlatEdit.h"

namespace quorvel {

FlatEdit::FlatEdit(EditBorder border, QWidget* parent) : QLineEdit(parent), border_(border) {
  applyLook();
}

void FlatEdit::reserveRightMargin(int pixels) {
  rightMargin_ = pixels;
  applyLook();
}

void FlatEdit::applyLook() {
  // A style sheet is the one way to give a line edit a flat border in every Qt style.
  const char* colour = border_ == EditBorder::Soft ? "#B4B8BE" : "#7F7F7F";
  setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid %1; background: palette(base);"
                               " padding: 0px %2px 0px 1px; }")
                    .arg(QLatin1String(colour))
                    .arg(1 + rightMargin_));
}

}  // namespace quorvel
