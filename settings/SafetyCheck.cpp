#include "settings/SafetyCheck.h"

namespace quorvel {

void ConfirmUnsafeMode(OptionControls& controls, SafetyDialogs& dialogs) {
  if (!controls.optionChecked("NoSafety")) return;
  dialogs.showWarning(kSafetyWarningText);
  // Exact comparison: nothing is trimmed or case-folded, so only a deliberate answer
  // keeps the unsafe mode.
  if (dialogs.askLine(kSafetyInputTitle, kSafetyInputPrompt) == kSafetyExpectedAnswer) {
    dialogs.showInformation(kSafetyThanksText);
  } else {
    controls.setOptionChecked("NoSafety", false);
    dialogs.showInformation(kSafetyRestoredText);
  }
}

}  // namespace quorvel
