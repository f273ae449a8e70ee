// The parameter form's Setting button: a picture that shows a sunken border
// while the mouse is held down on it.
#pragma once

#include <QLabel>

namespace tervane {

class SettingButton : public QLabel {
  Q_OBJECT

 public:
  explicit SettingButton(QWidget* parent = nullptr);
  bool sunken() const { return frameShadow() == QFrame::Sunken; }
  // What a click does, for the accessibility press action.
  void click();

 signals:
  void pressed();
  void released();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tervane
