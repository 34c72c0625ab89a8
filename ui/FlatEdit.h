#pragma once
// The one-line edit fields of the window: a flat border instead of a sunken frame,
// light for the text fields and darker for the filter and the directories.

#include <QLineEdit>

namespace quorvel {

enum class EditBorder {
  Soft,   // light border, for the search and replacement texts
  Plain,  // darker border
};

class FlatEdit : public QLineEdit {
  Q_OBJECT

 public:
  FlatEdit(EditBorder border, QWidget* parent);

 protected:
  // Room kept free at the right end, for a button inside the field.
  void reserveRightMargin(int pixels);

 private:
  void applyLook();

  EditBorder border_;
  int rightMargin_ = 0;
};

}  // namespace quorvel
