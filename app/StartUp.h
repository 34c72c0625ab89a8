#pragma once
// The life of the main window: its creation with the settings file and the usage
// ping, its first showing with the batch job, and its close.

#include <optional>
#include <string>

namespace quorvel {

class Dialogs;
class TMainForm;

class StartUp {
 public:
  // argument: the first command-line argument, when there is one; it names the
  // settings file of a batch job.
  StartUp(TMainForm& form, std::optional<std::string> argument);

  bool batchMode() const { return argument_.has_value(); }

  // The hint settings, the logo, the settings file of the window, then the usage ping,
  // whose every failure is dropped. Makes FormClose the window's close handler.
  void FormCreate();
  // Before the window is first displayed: its position and the options; in batch mode
  // one run as the action button makes it, then the close request. True when the
  // batch job has closed the window, which is then never displayed. A run or a close
  // that fails shows one error box and leaves the window to be displayed.
  bool FormShow();
  // The window's position, then every option. A refused write throws quorvel::Error,
  // which keeps the window open.
  void FormClose();

 private:
  TMainForm& form_;
  std::optional<std::string> argument_;
};

// The program once the application object exists: the code page check, the main
// window with every dialog going to dialogs (the desktop's own when null), its start
// and the event loop. Returns the exit status.
int RunProgram(const std::optional<std::string>& argument, Dialogs* dialogs = nullptr);

}  // namespace quorvel
