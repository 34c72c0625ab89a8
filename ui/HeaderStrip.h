#pragma once
// The caption strip across the top of a panel: a grey gradient with white bold text.

#include <QLabel>

namespace quorvel {

class HeaderStrip : public QLabel {
  Q_OBJECT

 public:
  HeaderStrip(const QString& caption, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace quorvel
