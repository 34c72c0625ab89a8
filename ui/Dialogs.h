#pragma once
// Every modal dialog the windows open goes through this one interface, so that tests
// answer the dialogs with a script instead of racing timers against modal loops.

#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

namespace quorvel {

enum class MessageIcon { Information, Warning, Error };

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box with the caption, the icon and one "OK" button.
  virtual void showMessage(const QString& caption, const QString& text, MessageIcon icon) = 0;
  // A question box with the question icon and the buttons "Ano" and "Ne" ("Ne" the
  // default); true for "Ano".
  virtual bool askYesNo(const QString& caption, const QString& text) = 0;
  // A one-line input box with "OK" and "Cancel"; the confirmed text, or nothing when
  // the box was cancelled or closed.
  virtual std::optional<QString> askLine(const QString& title, const QString& prompt,
                                         int maxLength) = 0;
  // The save-file dialog; the chosen path (with defaultSuffix added to a name without
  // an extension), or nothing. It asks nothing about an existing file.
  virtual std::optional<QString> askSavePath(const QString& defaultSuffix) = 0;
  // The directory chooser opened at start; the chosen directory, or nothing.
  virtual std::optional<QString> chooseDirectory(const QString& start) = 0;
};

// The dialogs of the running desktop. Message and input boxes are centred on the
// screen; the file dialogs belong to owner.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* owner) : owner_(owner) {}

  void showMessage(const QString& caption, const QString& text, MessageIcon icon) override;
  bool askYesNo(const QString& caption, const QString& text) override;
  std::optional<QString> askLine(const QString& title, const QString& prompt,
                                 int maxLength) override;
  std::optional<QString> askSavePath(const QString& defaultSuffix) override;
  std::optional<QString> chooseDirectory(const QString& start) override;

 private:
  QWidget* owner_;
  // Kept between uses, so that the second use offers the name chosen the first time.
  QFileDialog* saveDialog_ = nullptr;
};

// Message texts use CR LF for their line breaks; a label wants plain line feeds.
QString MessageDisplayText(const QString& text);

}  // namespace quorvel
