// frmMotion: running motion by hand. Three pages chosen by three options:
// "General Motion (Line)" (a line of axes 0 to 2, once or back and forth),
// "JOG" (one axis by a distance or continuously) and "Home" (axes 0 to 3 in
// a chosen order); the sensor lamps the status timer drives; the curves and
// coordinate mode chosen on the parameter form. The general-motion and home
// pages prepare values for the main window's Run; the jog page jogs itself.
#pragma once

#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace tervane {

class Frame;
class MotionLibrary;
class NumberBox;
class PicturePair;
struct PublicVariant;

enum class MotionOption { GeneralMotion, Jog, Home };

class MotionForm : public QWidget {
  Q_OBJECT

 public:
  MotionForm(PublicVariant& state, MotionLibrary& lib, Frame& frame, QWidget* parent = nullptr);

  // ---- what the main window works
  void setOptionEnabled(MotionOption option, bool enabled);
  bool optionEnabled(MotionOption option) const;
  // Selects a page (1 general motion, 2 jog, 3 home; 0 general motion) and
  // runs its selection.
  void selectPage(int page);
  void setJogButtonsEnabled(bool enabled);
  // The four home-speed boxes and the four order lists.
  void setHomeInputsEnabled(bool enabled);
  bool repeatTicked() const;
  void hideRepeatUntickedPicture();
  QString motionSpeedText() const;
  QString destinationText(int axis) const;
  QString delayText() const;
  QString homeSpeedText(int axis) const;
  void setHomeSpeedText(int axis, const QString& text);
  void showOverTravelUp(int axis, bool active);
  void showOverTravelDown(int axis, bool active);
  void showHomeSensor(int axis, bool active);

 private:
  QWidget* buildGeneralPage();
  QWidget* buildJogPage();
  QWidget* buildHomePage();
  QWidget* buildStatusColumn();
  void showPageOf(MotionOption option);

  void generalSelected();
  void jogSelected();
  void homeSelected();
  void axisChosen(int index);
  void jogModeChosen(int index);
  void jog(int direction);
  void repeatPressed();
  void setRepeatShown(bool ticked);

  // Change handlers of the boxes.
  void wholeNumberChanged(NumberBox* box, int32_t& stored);
  void destinationChanged(int axis);
  void speedRatioChanged();
  void homeOrderChosen(int axis, int index);

  PublicVariant& state_;
  MotionLibrary& lib_;
  Frame& frame_;

  QRadioButton* optGeneral_ = nullptr;
  QRadioButton* optJog_ = nullptr;
  QRadioButton* optHome_ = nullptr;
  QStackedWidget* pages_ = nullptr;

  NumberBox* motionSpeed_ = nullptr;
  std::array<NumberBox*, 3> destination_{};
  NumberBox* delay_ = nullptr;
  PicturePair* repeat_ = nullptr;

  QComboBox* jogAxis_ = nullptr;
  NumberBox* speedRatio_ = nullptr;
  NumberBox* jogDistance_ = nullptr;
  QComboBox* jogMode_ = nullptr;
  QPushButton* negative_ = nullptr;
  QPushButton* positive_ = nullptr;

  std::array<NumberBox*, 4> homeSpeed_{};
  std::array<QComboBox*, 4> homeOrder_{};

  std::array<PicturePair*, 4> overTravelUp_{}, overTravelDown_{}, homeSensor_{};
};

}  // namespace tervane
