#include "ui/PanelInfo.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include "ui/Fonts.h"

namespace quorvel {

TPanelInfoForm::TPanelInfoForm(const QString& text)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      GlobalLabel(new QLabel(this)) {
  setObjectName(QStringLiteral("TPanelInfoForm"));
  // The panel only informs; the focus stays where the user had it.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(454, 77);
  setFont(WindowFont(Typeface::Tahoma, 11, true));

  GlobalLabel->setObjectName(QStringLiteral("GlobalLabel"));
  GlobalLabel->setGeometry(8, 30, 433, 13);
  GlobalLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  GlobalLabel->setTextFormat(Qt::PlainText);
  GlobalLabel->setText(text);
}

void TPanelInfoForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect();
  painter.fillRect(area, QColor(0x8D, 0xB2, 0xE3));
  // A single line around the panel, then the raised bevel just inside it.
  painter.setPen(Qt::black);
  painter.drawRect(area.adjusted(0, 0, -1, -1));
  const QRect bevel = area.adjusted(1, 1, -2, -2);
  painter.setPen(Qt::white);
  painter.drawLine(bevel.topLeft(), bevel.topRight());
  painter.drawLine(bevel.topLeft(), bevel.bottomLeft());
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawLine(bevel.bottomLeft(), bevel.bottomRight());
  painter.drawLine(bevel.topRight(), bevel.bottomRight());
}

std::unique_ptr<TPanelInfoForm> OpenInfoPanel(const QString& text) {
  auto panel = std::make_unique<TPanelInfoForm>(text);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    panel->move(screen->geometry().center() - panel->rect().center());
  }
  panel->show();
  QCoreApplication::processEvents();
  return panel;
}

void CloseInfoPanel(std::unique_ptr<TPanelInfoForm> panel) {
  if (panel) panel->hide();
}

}  // namespace quorvel
