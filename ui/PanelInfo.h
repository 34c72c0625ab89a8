#pragma once
// The small frameless panel that says the program is busy while a file list is built,
// when no window events are handled.

#include <QString>
#include <QWidget>
#include <memory>

class QLabel;

namespace quorvel {

class TPanelInfoForm : public QWidget {
  Q_OBJECT

 public:
  explicit TPanelInfoForm(const QString& text);

  QLabel* globalLabel() const { return GlobalLabel; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* GlobalLabel;
};

// Shows a new panel with text, centred on the screen and on top, and returns once it
// is painted on the screen (or after a bounded wait for the window system to expose it),
// so that it stays visible while the caller does work that handles no events.
std::unique_ptr<TPanelInfoForm> OpenInfoPanel(const QString& text);
// Hides and destroys the panel.
void CloseInfoPanel(std::unique_ptr<TPanelInfoForm> panel);

}  // namespace quorvel
