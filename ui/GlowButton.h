#pragma once
// A push button whose face is two stacked gradients in colours of its state (normal,
// mouse over, pressed), with a border of the state colour and a bold caption.

#include <QAbstractButton>
#include <QColor>

namespace quorvel {

// The panel set is for the buttons inside the panels, the window set for those on the
// window's background; they differ only in the normal state.
enum class GlowSet { Panel, Window };
enum class GlowState { Normal, Hover, Pressed };

struct GlowColours {
  QColor border;
  QColor upperTop, upperBottom;
  QColor lowerTop, lowerBottom;
};

GlowColours GlowColoursFor(GlowSet set, GlowState state);
// Pressed wins over the mouse being over the button.
GlowState GlowStateFor(bool pressed, bool hovered);

class GlowButton : public QAbstractButton {
  Q_OBJECT

 public:
  GlowButton(const QString& caption, GlowSet set, QWidget* parent);

  GlowSet colourSet() const { return set_; }
  GlowState state() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  GlowSet set_;
};

}  // namespace quorvel
