#pragma once
// The run's progress bar: segments in the colour of one of four levels, and the
// percentage written in the middle.

#include <QColor>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <vector>

namespace quorvel {

// position * 100 / (maximum - minimum), rounded half to even; 0 for an empty range.
int BarPercentage(int32_t position, int32_t maximum, int32_t minimum = 0);
// 0 below 70 %, 1 up to 89 %, 2 up to 99 %, 3 from 100 %.
int BarLevel(int percentage);

struct LevelColours {
  QColor first;   // at the middle of a segment
  QColor second;  // at its top and bottom edges
};
LevelColours LevelColoursFor(int level);

inline constexpr int kSegmentWidth = 7;
inline constexpr int kSegmentGap = 2;
inline constexpr int kSegmentShadeSteps = 20;

// The segments that fill percentage of inner, left to right; the last one narrower
// when the filled width does not divide evenly. Above 100 % the bar is simply full.
std::vector<QRect> BarSegments(const QRect& inner, int percentage);

class LevelProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit LevelProgressBar(QWidget* parent);

  int32_t position() const { return position_; }
  int32_t maximum() const { return maximum_; }
  int percentage() const { return BarPercentage(position_, maximum_); }
  int level() const { return BarLevel(percentage()); }
  QString percentText() const;

  void setPosition(int32_t position);
  void setMaximum(int32_t maximum);

  // The area inside the border that the segments fill.
  QRect innerRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int32_t position_ = 0;
  int32_t maximum_ = 100;
};

}  // namespace quorvel
