#include "ui/HeaderStrip.h"

#include <QPainter>

#include "ui/Fonts.h"
#include "ui/Gradient.h"

namespace quorvel {

HeaderStrip::HeaderStrip(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
  setFont(WindowFont(Typeface::Tahoma, 11, true));
}

void HeaderStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FillHorizontalGradient(painter, rect(), HeaderGradientSteps(width()), QColor(0x79, 0x76, 0x71),
                         QColor(0xC0, 0xC0, 0xC0));
  painter.setFont(font());
  painter.setPen(Qt::white);
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

}  // namespace quorvel
