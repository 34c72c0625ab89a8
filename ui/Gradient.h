#pragma once
// Gradients drawn as a number of flat colour bands, as the window's strips, buttons and
// progress segments are.

#include <QColor>
#include <QPainter>
#include <QRect>
#include <vector>

namespace quorvel {

struct ColourBand {
  int start = 0;   // offset from the beginning of the run
  int length = 0;  // at least 1
  QColor colour;
};

// Splits a run of length pixels into steps bands, the first in from and the last in
// to; a run shorter than steps gets one band per pixel.
std::vector<ColourBand> GradientBands(int length, int steps, const QColor& from, const QColor& to);

// The header strips use one step per four pixels, and never fewer than 16.
int HeaderGradientSteps(int width);

// Fills rect with the bands running left to right or top to bottom.
void FillHorizontalGradient(QPainter& painter, const QRect& rect, int steps, const QColor& from,
                            const QColor& to);
void FillVerticalGradient(QPainter& painter, const QRect& rect, int steps, const QColor& from,
                          const QColor& to);

}  // namespace quorvel
