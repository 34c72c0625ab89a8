#include "app/StartUp.h"

#include <QApplication>
#include <QString>
#include <exception>
#include <memory>

#include "app/CodePageCheck.h"
#include "app/SettingsChoice.h"
#include "run/FrontEnd.h"
#include "net/UsagePing.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "ui/Dialogs.h"
#include "ui/HintSettings.h"
#include "ui/JpegImage.h"
#include "ui/Main.h"

namespace quorvel {

namespace {

constexpr int kExitCodePageUnusable = 1;

}  // namespace

StartUp::StartUp(TMainForm& form, std::optional<std::string> argument)
    : form_(form), argument_(std::move(argument)) {}

void StartUp::FormCreate() {
  ApplyHintSettings();
  // A picture that does not decode leaves the logo's place empty.
  form_.setLogo(DecodeJpegImage(LogoJpeg()));
  form_.useSettingsFile(ChooseSettingsFile(argument_));
  form_.setCloseHandler([this] { FormClose(); });
  // The answer, and whether there is one at all, makes no difference to the program.
  try {
    SendUsagePing();
  } catch (...) {
  }
}

bool StartUp::FormShow() {
  try {
    const SettingsFile& settings = form_.settingsFile();
    if (!settings.noIni) ReadFormPos(settings, kDialogsSection, "TMainForm", form_);
    if (!batchMode()) {
      form_.options().loadOptions();
      return false;
    }
    // The job of the batch runner, except that its failure must reach this point: a
    // batch job that failed is not closed but left open for the user.
    RunBatchJob(form_.options(), form_);
    form_.flushRunDisplays();
  } catch (const std::exception& error) {
    form_.showError(error);
    return false;
  }
  // A refused close has shown its error already.
  return form_.close();
}

void StartUp::FormClose() {
  const SettingsFile& settings = form_.settingsFile();
  if (!settings.noIni) WriteFormPos(settings, kDialogsSection, "TMainForm", form_);
  form_.options().saveOptions();
}

int RunProgram(const std::optional<std::string>& argument, Dialogs* dialogs) {
  std::unique_ptr<Dialogs> desktop;
  if (!dialogs) {
    desktop = std::make_unique<QtDialogs>(nullptr);
    dialogs = desktop.get();
  }
  // Every text of the window goes through the code page; without one nothing works.
  if (const std::optional<std::string> problem = CodePageProblem()) {
    dialogs->showMessage(QString::fromUtf8(kApplicationTitle), QString::fromStdString(*problem),
                         MessageIcon::Error);
    return kExitCodePageUnusable;
  }

  TMainForm form(dialogs);
  StartUp startUp(form, argument);
  startUp.FormCreate();
  if (startUp.FormShow()) return 0;
  form.show();
  return QApplication::exec();
}

}  // namespace quorvel
