#include "ui/Gradient.h"

#include <algorithm>
#include <cstdint>

namespace quorvel {

namespace {

int Mix(int a, int b, int i, int last) { return last == 0 ? a : a + (b - a) * i / last; }

}  // namespace

std::vector<ColourBand> GradientBands(int length, int steps, const QColor& from, const QColor& to) {
  std::vector<ColourBand> bands;
  if (length <= 0 || steps <= 0) return bands;
  // A step needs at least one pixel; with fewer pixels than steps each pixel is one.
  steps = std::min(steps, length);
  const int last = steps - 1;
  for (int i = 0; i < steps; ++i) {
    const int start = static_cast<int>(int64_t(i) * length / steps);
    const int end = static_cast<int>(int64_t(i + 1) * length / steps);
    bands.push_back(
        {start, end - start,
         QColor(Mix(from.red(), to.red(), i, last), Mix(from.green(), to.green(), i, last),
                Mix(from.blue(), to.blue(), i, last))});
  }
  return bands;
}

int HeaderGradientSteps(int width) { return std::max(16, width / 4); }

void FillHorizontalGradient(QPainter& painter, const QRect& rect, int steps, const QColor& from,
                            const QColor& to) {
  for (const ColourBand& band : GradientBands(rect.width(), steps, from, to)) {
    painter.fillRect(rect.left() + band.start, rect.top(), band.length, rect.height(), band.colour);
  }
}

void FillVerticalGradient(QPainter& painter, const QRect& rect, int steps, const QColor& from,
                          const QColor& to) {
  for (const ColourBand& band : GradientBands(rect.height(), steps, from, to)) {
    painter.fillRect(rect.left(), rect.top() + band.start, rect.width(), band.length, band.colour);
  }
}

}  // namespace quorvel
