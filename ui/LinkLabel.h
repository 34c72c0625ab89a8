#pragma once
// A label that acts like a button: bold underlined text, hand cursor, a click signal.

#include <QLabel>

namespace quorvel {

class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit LinkLabel(QWidget* parent);

  // Sets the text and takes its width, so that only the text itself is clickable.
  void setCaption(const QString& caption);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace quorvel
