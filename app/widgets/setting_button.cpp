#include "widgets/setting_button.h"

#include <QMouseEvent>

#include "widgets/pictures.h"

namespace tervane {

SettingButton::SettingButton(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("CmdParaSetting"));
  setAccessibleName(tr("Setting"));
  setPixmap(pictures::settingButton());
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Plain);
  setLineWidth(2);
  QPalette frameColour = palette();
  frameColour.setColor(QPalette::WindowText, QColor(150, 156, 164));
  setPalette(frameColour);
  setFixedSize(pixmap().size() + QSize(4, 4));
  setAlignment(Qt::AlignCenter);
  setCursor(Qt::PointingHandCursor);
}

void SettingButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFrameShadow(QFrame::Sunken);
  emit pressed();
}

void SettingButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFrameShadow(QFrame::Plain);
  emit released();
}

void SettingButton::click() {
  setFrameShadow(QFrame::Sunken);
  emit pressed();
  setFrameShadow(QFrame::Plain);
  emit released();
}

}  // namespace tervane
