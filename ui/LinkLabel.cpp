#include "ui/LinkLabel.h"

#include <QFontMetrics>
#include <QMouseEvent>

#include "ui/Fonts.h"

namespace quorvel {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
  QFont font = WindowFont(Typeface::Tahoma, 11, true);
  font.setUnderline(true);
  setFont(font);
  setCursor(Qt::PointingHandCursor);
}

void LinkLabel::setCaption(const QString& caption) {
  setText(caption);
  resize(QFontMetrics(font()).horizontalAdvance(caption), height());
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  // Accepting the press is what makes the release come back to this label.
  event->setAccepted(event->button() == Qt::LeftButton);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

}  // namespace quorvel
