// quorvel [SETTINGS] | --help | --version: the window. Without an argument it works with Quorvel.ini and
// waits for the user; with the path of a saved settings file it runs that job once
// and ends.

#include <QApplication>
#include <QString>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/StartUp.h"
#include "platform/Error.h"
#include "platform/FileTransaction.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"

namespace {

// The window's handlers report their own failures; whatever still escapes one of the
// Qt handlers ends up here and is shown like them, instead of ending the program.
class Application : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      quorvel::QtDialogs(nullptr).showMessage(
          QString::fromUtf8(quorvel::kApplicationTitle),
          QString::fromStdString(quorvel::MessageForDisplay(error)), quorvel::MessageIcon::Error);
      return false;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  // SIGTERM, SIGINT and SIGHUP end the program without leaving a temporary file.
  quorvel::platform::InstallWriteSignalHandlers();
  // Taken before Qt removes the options it knows from the command line: a settings
  // file may be named like one of them. Help and version need no display.
  const quorvel::CommandLine commandLine =
      quorvel::ParseCommandLine(quorvel::Program::Window, argc, argv);
  if (const std::optional<int> status = quorvel::AnswerCommandLine(
          quorvel::Program::Window, commandLine, std::cout, std::cerr)) {
    return *status;
  }
  Application app(argc, argv);
  return quorvel::RunProgram(commandLine.settingsFile);
}
