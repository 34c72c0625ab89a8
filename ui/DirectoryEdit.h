#pragma once
// A directory field with a browse button at its right end that opens the directory
// chooser. The user may also type any text.

#include <QString>

#include "ui/FlatEdit.h"

class QToolButton;

namespace quorvel {

class Dialogs;

// The root the chooser falls back to: what the root of the current drive is elsewhere.
inline constexpr const char* kFileSystemRoot = "/";

// Where the chooser opens: the directory in the field, or when the field is empty the
// one chosen last with this button; the root when that names no existing directory.
// A relative or quoted text is taken as a run would take it.
QString BrowseStartFolder(const QString& fieldText, const QString& lastChosen);

class DirectoryEdit : public FlatEdit {
  Q_OBJECT

 public:
  DirectoryEdit(Dialogs& dialogs, QWidget* parent);

  QToolButton* browseButton() const { return button_; }
  // Opens the chooser; a confirmed choice replaces the text, a cancel changes nothing.
  void browse();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  Dialogs& dialogs_;
  QToolButton* button_;
  QString lastChosen_;
};

}  // namespace quorvel
