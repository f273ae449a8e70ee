#include "widgets/tick_box.h"

#include <QMouseEvent>

namespace tervane {

TickBox::TickBox(const QString& objectName, const QString& caption, QWidget* parent)
    : QLabel(parent) {
  setObjectName(objectName);
  setAccessibleName(caption);
  setCursor(Qt::PointingHandCursor);
  draw();
}

pictures::TickLook TickBox::look() const {
  using pictures::TickLook;
  if (ticked_) return highlighted_ ? TickLook::TickedHighlighted : TickLook::Ticked;
  return highlighted_ ? TickLook::UntickedHighlighted : TickLook::Unticked;
}

void TickBox::setTicked(bool ticked) {
  ticked_ = ticked;
  draw();
}

void TickBox::draw() {
  setPixmap(pictures::tick(look()));
  setAccessibleDescription(ticked_ ? tr("ticked") : tr("not ticked"));
}

void TickBox::enterEvent(QEnterEvent*) {
  highlighted_ = true;
  draw();
}

void TickBox::leaveEvent(QEvent*) {
  highlighted_ = false;
  draw();
}

void TickBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setTicked(!ticked_);
  emit toggled(ticked_);
}

}  // namespace tervane
