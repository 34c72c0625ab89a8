#include "ui/HintSettings.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>
#include <QWidget>

#include "run/Texts.h"

namespace quorvel {

namespace {

class HintDelayStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_ToolTip_WakeUpDelay) return kHintDelayMs;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// Qt gives each hint a display time from its length; this shows every widget's own
// hint for the one fixed time instead. Widgets without a hint of their own (item
// views with hints per item) keep Qt's handling.
class HintShower : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->toolTip().isEmpty()) return false;
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                       HintDisplayText(widget->toolTip()), widget, QRect(), kHintDisplayMs);
    return true;
  }
};

}  // namespace

QString HintDisplayText(const QString& hint) {
  return QString::fromStdString(LfLineBreaks(hint.toStdString()));
}

void ApplyHintSettings() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  const QString marker = QStringLiteral("quorvelHintShower");
  if (!app || app->findChild<QObject*>(marker, Qt::FindDirectChildrenOnly)) return;

  auto* shower = new HintShower(app);
  shower->setObjectName(marker);
  app->installEventFilter(shower);
  // Keeps the look the application already has (a -style option included).
  QApplication::setStyle(new HintDelayStyle(QStyleFactory::create(QApplication::style()->name())));
  QPalette palette = QToolTip::palette();
  palette.setColor(QPalette::ToolTipBase, QColor(kHintColour));
  palette.setColor(QPalette::ToolTipText, Qt::black);
  QToolTip::setPalette(palette);
}

}  // namespace quorvel
