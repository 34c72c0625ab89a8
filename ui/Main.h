#pragma once
// The main window: every option of a run as a control, the action button that starts
// the run, the run's progress and counters, the recount, the save for command-line
// use and the toggle between a target tree and writing into the sources.

#include <QElapsedTimer>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RunHost.h"
#include "run/FrontEnd.h"
#include "run/Texts.h"
#include "settings/Options.h"
#include "settings/SafetyCheck.h"
#include "settings/Settings.h"

class QCheckBox;
class QFrame;
class QImage;
class QLabel;
class QLineEdit;

namespace quorvel {

class Dialogs;
class DirectoryEdit;
class FlatEdit;
class GlowButton;
class HeaderStrip;
class LevelProgressBar;
class LinkLabel;
class TPanelInfoForm;

inline constexpr const char* kMainCaption = "Dastrin - nahrazování textů";
inline constexpr const char* kRecountPrompt = "klikněte pro přepočet";
inline constexpr int kAnswerMaxLength = 255;
// How much work may pass between two rounds of window events during a run.
inline constexpr int kPumpIntervalMs = 15;
inline constexpr int kPumpCallsPerClockRead = 32;

// The maker's web page, opened by a click on the logo.
QUrl MakerPageUrl();

class TMainForm : public QWidget,
                  public OptionControls,
                  public RunDisplays,
                  public PositionedWindow,
                  public SafetyDialogs {
  Q_OBJECT

 public:
  // Every dialog goes to dialogs; without one the window uses the desktop's own.
  explicit TMainForm(Dialogs* dialogs = nullptr);
  ~TMainForm() override;

  // Hooks for the start-up code. The show handler runs once, at the first showing and
  // before the window reaches the screen; the close handler runs on every permitted
  // close, and a quorvel::Error from it is shown and keeps the window open.
  void setShowHandler(std::function<void()> handler) { showHandler_ = std::move(handler); }
  void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
  void setLogo(const QImage& logo);
  // The settings file the options and the window positions go to.
  void useSettingsFile(SettingsFile settings) { settings_ = std::move(settings); }

  // The top-level handler: the error box with the application's title.
  void showError(const std::exception& error);

  void ActionButtonClick();
  void PreviewButtonClick();
  void UndoButtonClick();
  void FilesCountValueClick();
  void OverwriteSourceCheckClick(bool checked);
  void SaveAsButtonClick();
  void LogoImageClick();
  void AboutButtonClick();
  void CloseButtonClick();
  bool FormCloseQuery() const { return !busy_; }

  // OptionControls (texts are the bytes the settings file stores).
  const SettingsFile& settingsFile() const override { return settings_; }
  std::string optionText(std::string_view key) const override;
  void setOptionText(std::string_view key, const std::string& text) override;
  bool optionChecked(std::string_view key) const override;
  void setOptionChecked(std::string_view key, bool checked) override;
  bool busy() const override { return busy_; }
  void setBusy(bool busy) override { busy_ = busy; }
  void resetRunDisplays() override;

  // The options half of a run, over the controls above.
  ControlOptions& options() { return options_; }

  // RunDisplays.
  void showFileCount(int32_t count) override;
  // The next two only store the value; the labels follow at the next round of window
  // events and at the end of every file, which keeps a run over many lines fast.
  void showCurrentFile(const std::string& path) override;
  void showCounter(RunCounter counter, int32_t value) override;
  void setProgressPosition(int32_t position) override;
  void setProgressMaximum(int32_t maximum) override;
  void showInformation(const std::string& text) override;
  void pumpEvents() override;
  ListingNotice& listingNotice() override { return notice_; }

  // PositionedWindow.
  int32_t windowLeft() const override { return x(); }
  int32_t windowTop() const override { return y(); }
  void moveWindow(int32_t left, int32_t top) override { move(left, top); }

  // SafetyDialogs (showInformation is shared with RunDisplays).
  void showWarning(const std::string& text) override;
  std::string askLine(const std::string& title, const std::string& prompt) override;

  // Puts the values the run stored into the labels.
  void flushRunDisplays();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Opens the progress panel for every listing, closes it at the end, also after a
  // failure. A recount started while a list is built gets a panel of its own.
  class PanelNotice : public ListingNotice {
   public:
    PanelNotice();
    ~PanelNotice() override;
    void begin(const std::string& text) override;
    void end() override;

   private:
    std::vector<std::unique_ptr<TPanelInfoForm>> panels_;
  };

  // An edit field with its settings key. The bytes last put in are kept, so that a
  // value the field cannot show exactly goes back to the file unchanged unless the
  // user edits it.
  struct TextOption {
    const char* key;
    QLineEdit* edit;
    bool codePage;  // search and replacement texts; the others are file-system text
    std::string bytes;
    QString shown;
  };
  struct CheckOption {
    const char* key;
    QCheckBox* box;
  };

  template <typename Action>
  void guarded(Action&& action);

  void buildTextPanel();
  void buildFilesPanel();
  void buildResultsPanel();
  void setHints();
  void chainTabOrder();
  const TextOption* textOption(std::string_view key) const;
  QCheckBox* checkOption(std::string_view key) const;

  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs& dialogs_;
  PanelNotice notice_;
  SettingsFile settings_;
  ControlOptions options_{*this, *this};
  bool busy_ = false;
  bool shown_ = false;
  std::function<void()> showHandler_;
  std::function<void()> closeHandler_;

  std::vector<TextOption> texts_;
  std::vector<CheckOption> checks_;

  // What the run last showed, waiting for the labels.
  std::string currentFile_;
  bool currentFileDirty_ = false;
  int32_t counters_[3] = {0, 0, 0};
  bool counterDirty_[3] = {false, false, false};
  QElapsedTimer pumpClock_;
  int pumpCalls_ = 0;

  LinkLabel* LogoImage;
  QLabel* NameLabel;
  QFrame* TextPanel;
  QFrame* FilesPanel;
  QFrame* ResultsPanel;
  GlowButton* CloseButton;
  GlowButton* AboutButton;

  HeaderStrip* TextHeader;
  QLabel* SearchLabel;
  QLabel* ReplaceLabel;
  FlatEdit* SearchEdit;
  FlatEdit* ReplaceEdit;
  QCheckBox* RemoveCheck;
  QCheckBox* CaseCheck;

  HeaderStrip* FilesHeader;
  QLabel* WorkDirLabel;
  DirectoryEdit* WorkDirEdit;
  QCheckBox* SubdirectoriesCheck;
  QLabel* ExtensionsLabel;
  FlatEdit* ExtensionsEdit;
  QLabel* CSVLabel;
  QLabel* ColumnLabel;
  FlatEdit* ColumnEdit;
  QLabel* DelimiterLabel;
  FlatEdit* DelimiterEdit;
  QCheckBox* SYLKCheck;
  GlowButton* PreviewButton;
  GlowButton* UndoButton;

  HeaderStrip* ResultHeader;
  QLabel* FilesCountLabel;
  LinkLabel* FilesCountValue;
  GlowButton* RecalcButton;
  QLabel* TargetDirLabel;
  DirectoryEdit* TargetDirEdit;
  QCheckBox* OverwriteFilesCheck;
  QCheckBox* OverwriteSourceCheck;
  QCheckBox* CopyCheck;
  QCheckBox* IgnoreReadOnlyCheck;
  QCheckBox* NoSafetyCheck;
  GlowButton* SaveAsButton;
  QLabel* ProgressLabel;
  QLabel* ProgressFileValue;
  LevelProgressBar* ResultProgressBar;
  QLabel* LinesReadLabel;
  QLabel* LinesReadValue;
  QLabel* HitsFoundLabel;
  QLabel* HitsFoundValue;
  QLabel* FilesChangedLabel;
  QLabel* FilesChangedValue;
  GlowButton* ActionButton;
};

}  // namespace quorvel
