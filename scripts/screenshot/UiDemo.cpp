// The picture program of scripts/screenshot.sh, a small entry point around the main window:
//
//   quorvel_ui_demo pictures DIR   saves the idle window, the window in the middle of a
//                                  run and the progress panel as PNG files in DIR
//   quorvel_ui_demo time JOB.ini   loads the options of JOB.ini, shows the window, runs
//                                  once through it and prints the seconds the run took
//                                  (and, on standard error, the longest time the window
//                                  went without handling events)

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/PathText.h"
#include "settings/Options.h"
#include "settings/Settings.h"
#include "ui/Main.h"
#include "ui/PanelInfo.h"

#include "ui/JpegImage.h"

namespace {

using quorvel::TMainForm;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Saves a picture of the window once the run is halfway through its files.
class PictureForm : public TMainForm {
 public:
  explicit PictureForm(QString path) : path_(std::move(path)) {}

  void setProgressPosition(int32_t position) override {
    TMainForm::setProgressPosition(position);
    if (saved_ || maximum_ == 0 || position < maximum_ / 2) return;
    saved_ = true;
    flushRunDisplays();
    QCoreApplication::processEvents();
    grab().save(path_);
  }
  void setProgressMaximum(int32_t maximum) override {
    TMainForm::setProgressMaximum(maximum);
    maximum_ = maximum;
  }

 private:
  QString path_;
  int32_t maximum_ = 0;
  bool saved_ = false;
};

void ShowLogo(TMainForm& form) {
  form.setLogo(quorvel::DecodeJpegImage(quorvel::LogoJpeg()));
}

int Pictures(const QString& outDir) {
  QTemporaryDir temp;
  const std::string root = temp.path().toStdString();
  const std::string settings = root + "/Quorvel.ini";
  WriteFile(settings, "[GENERAL]\r\n");
  for (int i = 0; i < 40; ++i) {
    std::string text;
    for (int line = 0; line < 200; ++line) text += "Kocour prede na peci, kocour spi.\r\n";
    WriteFile(root + "/dokumenty/kapitola" + std::to_string(i / 10) + "/soubor" +
                  std::to_string(i) + ".txt",
              text);
  }

  PictureForm form(outDir + "/window-running.png");
  form.useSettingsFile(quorvel::SettingsFileAt(settings));
  ShowLogo(form);
  form.setOptionText("Search", "kocour");
  form.setOptionText("Replace", "pes");
  form.setOptionText("WorkDir", root + "/dokumenty");
  form.setOptionText("Extensions", "txt");
  form.setOptionText("TargetDir", root + "/vystup");
  form.setOptionChecked("Subdirs", true);
  form.setOptionChecked("OverFiles", true);
  form.show();
  QCoreApplication::processEvents();
  form.grab().save(outDir + "/window.png");

  auto panel = quorvel::OpenInfoPanel(QString::fromUtf8(quorvel::kListingText));
  panel->grab().save(outDir + "/panel.png");
  quorvel::CloseInfoPanel(std::move(panel));

  form.ActionButtonClick();
  QCoreApplication::processEvents();
  form.grab().save(outDir + "/window-done.png");
  return 0;
}

int Time(const std::string& job) {
  TMainForm form;
  form.useSettingsFile(quorvel::SettingsFileAt(job));
  form.show();
  QCoreApplication::processEvents();
  quorvel::LoadOptions(form);
  // A timer that fires whenever events are handled: the longest pause between two of
  // its ticks is the longest the window went without reacting.
  QElapsedTimer sinceTick;
  qint64 longestPause = 0;
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestPause = std::max(longestPause, sinceTick.nsecsElapsed());
    sinceTick.start();
  });
  QElapsedTimer clock;
  clock.start();
  sinceTick.start();
  ticker.start();
  form.ActionButtonClick();
  const double seconds = clock.nsecsElapsed() / 1e9;
  ticker.stop();
  std::printf("%.3f\n", seconds);
  std::fprintf(stderr, "longest pause between two rounds of events: %.1f ms\n", longestPause / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "pictures") return Pictures(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "time") return Time(argv[2]);
  std::fprintf(stderr, "usage: %s pictures DIR | time JOB.ini\n", argv[0]);
  return 64;
}
