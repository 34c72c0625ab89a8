#include "ui/PanelInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "ui/Fonts.h"

namespace quorvel {

namespace {

// How long a panel waits to be exposed before it paints anyway.
constexpr qint64 kExposeWaitMs = 1000;

}  // namespace

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
  const QRect bevel = area.adjusted(1, 1, -1, -1);
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
  // The caller blocks the event loop next, so the panel must be on the screen before
  // this returns: wait until the window system has mapped and exposed it (a window
  // manager may take a while), paint it, and make sure the X server has the pixels.
  // User input waits for later, so no handler runs in the middle of the caller's work.
  if (QWindow* window = panel->windowHandle()) {
    QElapsedTimer waited;
    waited.start();
    QTimer wakeUp;  // ends each wait below when no event comes
    wakeUp.start(10);
    while (!window->isExposed() && waited.elapsed() < kExposeWaitMs) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                      QEventLoop::WaitForMoreEvents);
    }
  }
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  panel->repaint();
  QGuiApplication::sync();
  return panel;
}

void CloseInfoPanel(std::unique_ptr<TPanelInfoForm> panel) {
  if (panel) panel->hide();
}

}  // namespace quorvel
