#include "ui/GlowButton.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>

#include "ui/Fonts.h"

namespace quorvel {

GlowColours GlowColoursFor(GlowSet set, GlowState state) {
  switch (state) {
    case GlowState::Hover:
      return {QColor(0xDBCE99), QColor(0xFFFDEB), QColor(0xFFECAC), QColor(0xFFDA59),
              QColor(0xFFE9A4)};
    case GlowState::Pressed:
      return {QColor(0x7B6645), QColor(0xF1AF76), QColor(0xF39041), QColor(0xF1720E),
              QColor(0xFD9F4C)};
    case GlowState::Normal:
      break;
  }
  if (set == GlowSet::Panel) {
    return {QColor(0x9BB9E0), QColor(0xC8DBEE), QColor(0xC9DDF6), QColor(0xC0D4ED),
            QColor(0xD0E1F7)};
  }
  return {QColor(0xB2BCC0), QColor(0xD6DEDF), QColor(0xDBE2E4), QColor(0xCED5D7), QColor(0xE0E5E7)};
}

GlowState GlowStateFor(bool pressed, bool hovered) {
  if (pressed) return GlowState::Pressed;
  return hovered ? GlowState::Hover : GlowState::Normal;
}

GlowButton::GlowButton(const QString& caption, GlowSet set, QWidget* parent)
    : QAbstractButton(parent), set_(set) {
  setText(caption);
  setFont(WindowFont(Typeface::Tahoma, 11, true));
  setFocusPolicy(Qt::StrongFocus);
  // Repaints on entering and leaving, so the mouse-over colours follow the mouse.
  setAttribute(Qt::WA_Hover);
}

GlowState GlowButton::state() const { return GlowStateFor(isDown(), underMouse()); }

QSize GlowButton::sizeHint() const {
  return QSize(QFontMetrics(font()).horizontalAdvance(text()) + 16, 25);
}

void GlowButton::paintEvent(QPaintEvent*) {
  const GlowColours colours = GlowColoursFor(set_, state());
  QPainter painter(this);
  const QRect face = rect();
  const int middle = face.height() / 2;

  QLinearGradient upper(0, 0, 0, middle);
  upper.setColorAt(0, colours.upperTop);
  upper.setColorAt(1, colours.upperBottom);
  painter.fillRect(QRect(0, 0, face.width(), middle), upper);
  QLinearGradient lower(0, middle, 0, face.height());
  lower.setColorAt(0, colours.lowerTop);
  lower.setColorAt(1, colours.lowerBottom);
  painter.fillRect(QRect(0, middle, face.width(), face.height() - middle), lower);

  painter.setPen(colours.border);
  painter.drawRect(face.adjusted(0, 0, -1, -1));

  painter.setPen(palette().color(QPalette::ButtonText));
  painter.setFont(font());
  painter.drawText(face, Qt::AlignCenter | Qt::TextSingleLine, text());

  if (hasFocus()) {
    QPen dotted(colours.border.darker(160), 1, Qt::DotLine);
    painter.setPen(dotted);
    painter.drawRect(face.adjusted(3, 3, -4, -4));
  }
}

}  // namespace quorvel
