#include "ui/About.h"

namespace quorvel {

// The dialog itself is still to come; until then the button does nothing.
void ShowAboutDialog(QWidget*) {}

}  // namespace quorvel
