#pragma once
// The About dialog: what the program is for, its version, its licence, what it sends
// over the network and how to write to its maker.

#include <QDialog>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <exception>

#include "settings/Settings.h"

class QLabel;
class QTextEdit;

namespace quorvel {

class GlowButton;
class LinkLabel;

inline constexpr const char* kAboutCaption = "O programu";
inline constexpr const char* kVersionPrefix = "číslo verze programu (build) : ";
inline constexpr const char* kContactAddress = "info@qv.example";
// Where the dialog opens when there is no settings file to remember its place.
inline constexpr int kAboutNoIniLeft = 244;
inline constexpr int kAboutNoIniTop = 155;

// The version line, and the texts of the licence field and of the network note.
QString VersionLine();
QString LicenceText();
QString NetworkNote();
// The address the mail link opens.
QUrl ContactMailUrl();

class TAboutForm : public QDialog, public PositionedWindow {
  Q_OBJECT

 public:
  // Sets AboutOpen and takes the position stored in settings (FormCreate).
  explicit TAboutForm(SettingsFile settings, QWidget* parent = nullptr);
  ~TAboutForm() override;

  void CloseButtonClick();
  void EmailValueClick();

  // A refused write of the position on closing: the dialog closes all the same, and
  // ShowAboutDialog raises this once the modal loop has ended.
  std::exception_ptr closeFailure() const { return closeFailure_; }

  int32_t windowLeft() const override { return x(); }
  int32_t windowTop() const override { return y(); }
  void moveWindow(int32_t left, int32_t top) override { move(left, top); }

  // Every way of closing ends here (FormClose).
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  SettingsFile settings_;
  std::exception_ptr closeFailure_;
  bool closed_ = false;

  QLabel* TopLabel;
  QLabel* VersionValue;
  QLabel* InfoLabel;
  QTextEdit* LicenceMemo;
  QLabel* AboutLabel;
  QLabel* EmailLabel;
  LinkLabel* EmailValue;
  GlowButton* CloseButton;
};

// True from the creation of an About dialog until it closes.
bool AboutOpen();

// Opens the dialog modally over parent and returns once it has closed and is gone;
// with one already open, only brings that one to the front. Throws the quorvel::Error
// of a position that could not be stored in settings.
void ShowAboutDialog(const SettingsFile& settings, QWidget* parent);

}  // namespace quorvel
