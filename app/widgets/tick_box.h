// A tick box drawn from four pictures: unticked, unticked highlighted, ticked
// and ticked highlighted. The mouse over the box highlights it, leaving it
// shows the plain picture again, and a press toggles it.
#pragma once

#include <QLabel>

#include "widgets/pictures.h"

namespace tervane {

class TickBox : public QLabel {
  Q_OBJECT

 public:
  explicit TickBox(const QString& objectName, const QString& caption, QWidget* parent = nullptr);

  bool ticked() const { return ticked_; }
  // Shows the ticked or unticked picture; emits nothing.
  void setTicked(bool ticked);
  bool highlighted() const { return highlighted_; }
  pictures::TickLook look() const;

 signals:
  // After a press has toggled the box.
  void toggled(bool ticked);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void draw();

  bool ticked_ = false;
  bool highlighted_ = false;
};

}  // namespace tervane
