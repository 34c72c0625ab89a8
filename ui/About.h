#pragma once
// The About dialog.

class QWidget;

namespace quorvel {

// Shows the About dialog modally over parent and returns when it is closed.
void ShowAboutDialog(QWidget* parent);

}  // namespace quorvel
