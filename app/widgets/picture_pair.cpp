#include "widgets/picture_pair.h"

#include <QMouseEvent>
#include <QStackedLayout>

namespace tervane {

namespace {

QLabel* pictureLabel(const PicturePair::Picture& picture, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(picture.name);
  label->setPixmap(picture.pixmap);
  label->setAlignment(Qt::AlignCenter);
  label->setAccessibleName(picture.name);
  label->setAccessibleDescription(picture.description);
  if (!picture.description.isEmpty()) label->setToolTip(picture.description);
  return label;
}

}  // namespace

PicturePair::PicturePair(const Picture& first, const Picture& second, QWidget* parent)
    : QWidget(parent), first_(pictureLabel(first, this)), second_(pictureLabel(second, this)) {
  auto* stack = new QStackedLayout(this);
  stack->setStackingMode(QStackedLayout::StackAll);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(first_);
  stack->addWidget(second_);
  setFixedSize(first.pixmap.size().expandedTo(second.pixmap.size()));
  show(Shown::First);
}

void PicturePair::show(Shown which) {
  first_->setVisible(which == Shown::First);
  second_->setVisible(which == Shown::Second);
}

PicturePair::Shown PicturePair::shown() const {
  if (!first_->isHidden()) return Shown::First;
  if (!second_->isHidden()) return Shown::Second;
  return Shown::None;
}

void PicturePair::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && shown() != Shown::None) emit pressed();
}

void PicturePair::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && shown() != Shown::None) emit released();
}

}  // namespace tervane
