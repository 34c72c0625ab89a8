#pragma once
// The confirmation asked before a run in the unsafe mode (NoSafety set): a warning,
// then a one-line answer that must be the two-digit hexadecimal code of carriage
// return. A wrong or cancelled answer turns the unsafe mode off. Both front ends use
// it; each supplies its own dialogs.

#include <string>

#include "settings/Options.h"

namespace quorvel {

inline constexpr const char* kSafetyWarningText =
    "POZOR! \r\nVypnutí bezpečnostní pojistky může fatálně poškodit všechny vybrané soubory ! "
    "\r\nPro kontrolu, že víte, co děláte a jen tupě neodklepáváte OK tlačítka, zadejte "
    "prosím do \r\nnásledujícího řádku hexadecimální ascii kód znaku carriage return.";
inline constexpr const char* kSafetyInputTitle = "Kontrola";
inline constexpr const char* kSafetyInputPrompt = "Zadejte požadovaný dvojciferný kód :";
inline constexpr const char* kSafetyExpectedAnswer = "0D";
inline constexpr const char* kSafetyRestoredText = "Bezpečnostní kontrola obnovena.";
inline constexpr const char* kSafetyThanksText = "Děkuji.";

class SafetyDialogs {
 public:
  virtual ~SafetyDialogs() = default;
  virtual void showWarning(const std::string& text) = 0;
  // The answer typed and confirmed; the empty text when the box was cancelled.
  virtual std::string askLine(const std::string& title, const std::string& prompt) = 0;
  virtual void showInformation(const std::string& text) = 0;
};

// Does nothing unless the NoSafety box is checked.
void ConfirmUnsafeMode(OptionControls& controls, SafetyDialogs& dialogs);

}  // namespace quorvel
