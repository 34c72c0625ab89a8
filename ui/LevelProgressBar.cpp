#include "ui/LevelProgressBar.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "ui/Fonts.h"
#include "ui/Gradient.h"

namespace quorvel {

int BarPercentage(int32_t position, int32_t maximum, int32_t minimum) {
  int64_t numerator = int64_t(position - int64_t(minimum)) * 100;
  int64_t denominator = int64_t(maximum) - minimum;
  if (denominator == 0) return 0;
  if (denominator < 0) {
    numerator = -numerator;
    denominator = -denominator;
  }
  // Floor division, then the remainder decides; an exact half goes to the even side.
  int64_t quotient = numerator / denominator;
  int64_t remainder = numerator % denominator;
  if (remainder < 0) {
    quotient -= 1;
    remainder += denominator;
  }
  if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0)) {
    quotient += 1;
  }
  return static_cast<int>(std::clamp<int64_t>(quotient, INT32_MIN, INT32_MAX));
}

int BarLevel(int percentage) {
  if (percentage < 70) return 0;
  if (percentage < 90) return 1;
  if (percentage < 100) return 2;
  return 3;
}

LevelColours LevelColoursFor(int level) {
  switch (level) {
    case 1:
      return {QColor(0xFFFF00), QColor(0xFFFFCA)};
    case 2:
      return {QColor(0xFFA953), QColor(0xFFD3A8)};
    case 3:
      return {QColor(0xFF0000), QColor(0xFFCACA)};
    default:
      return {QColor(0x00FF00), QColor(0xE1FFE1)};
  }
}

std::vector<QRect> BarSegments(const QRect& inner, int percentage) {
  std::vector<QRect> segments;
  const int filled = inner.width() * std::clamp(percentage, 0, 100) / 100;
  for (int x = 0; x < filled; x += kSegmentWidth + kSegmentGap) {
    segments.emplace_back(inner.left() + x, inner.top(), std::min(kSegmentWidth, filled - x),
                          inner.height());
  }
  return segments;
}

LevelProgressBar::LevelProgressBar(QWidget* parent) : QWidget(parent) {
  setFont(WindowFont(Typeface::Verdana, 13));
}

QString LevelProgressBar::percentText() const {
  return QString::number(percentage()) + QLatin1Char('%');
}

void LevelProgressBar::setPosition(int32_t position) {
  if (position == position_) return;
  position_ = position;
  update();
}

void LevelProgressBar::setMaximum(int32_t maximum) {
  if (maximum == maximum_) return;
  maximum_ = maximum;
  update();
}

QRect LevelProgressBar::innerRect() const { return rect().adjusted(2, 2, -2, -2); }

void LevelProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  painter.fillPath(outline, Qt::white);
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawPath(outline);
  painter.setRenderHint(QPainter::Antialiasing, false);

  const int percent = percentage();
  const LevelColours colours = LevelColoursFor(BarLevel(percent));
  for (const QRect& segment : BarSegments(innerRect(), percent)) {
    const int upper = segment.height() / 2;
    FillVerticalGradient(painter, QRect(segment.left(), segment.top(), segment.width(), upper),
                         kSegmentShadeSteps, colours.second, colours.first);
    FillVerticalGradient(
        painter,
        QRect(segment.left(), segment.top() + upper, segment.width(), segment.height() - upper),
        kSegmentShadeSteps, colours.first, colours.second);
  }

  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(font());
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, percentText());
}

}  // namespace quorvel
