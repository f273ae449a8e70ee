// frmParameter: the machine parameters of axes 0 to 3 and the settings common
// to all axes, on two tabs, read from the parameter file when the form loads.
// Setting hands them to the motion library, writes the file and closes the
// form (its open flag stays set, so a following Initialize counts it open).
#pragma once

#include <QWidget>
#include <array>

class QComboBox;
class QTabWidget;

namespace tervane {

class Frame;
class MotionLibrary;
class NumberBox;
class SettingButton;
class TickBox;
struct PublicVariant;

class ParameterForm : public QWidget {
  Q_OBJECT

 public:
  ParameterForm(PublicVariant& state, MotionLibrary& lib, Frame& frame, QWidget* parent = nullptr);

  int currentAxis() const { return axis_; }
  // Setting, as the mouse presses and releases it.
  void settingPressed();
  void settingReleased();

 private:
  void buildEachAxisTab(QWidget* tab);
  void buildAllAxesTab(QWidget* tab);
  void load();
  void axisSelected(int axis);

  // Change handlers.
  void numberChanged(NumberBox* box, double& stored, double& units, bool ignoreMinus);
  void timeChanged(NumberBox* box, int32_t& time, int32_t& steps);
  void homeTypeChosen(int index);
  void encoderTypeChosen(int index);
  void curveChosen(int16_t& curve, char& type, int index);
  void inPositionChosen(int index);
  void coordinateModeChosen(int index);
  // Selects an item by number, running the list's change handler.
  void choose(QComboBox* box, int index);

  PublicVariant& state_;
  MotionLibrary& lib_;
  Frame& frame_;
  int axis_ = 0;

  QTabWidget* tabs_ = nullptr;
  QComboBox* axisBox_ = nullptr;
  NumberBox* maxSpeed_ = nullptr;
  NumberBox* highLimit_ = nullptr;
  NumberBox* lowLimit_ = nullptr;
  std::array<TickBox*, 4> softLimit_{};
  TickBox* hardLimit_ = nullptr;
  QComboBox* overTravelUp_ = nullptr;
  QComboBox* overTravelDown_ = nullptr;
  QComboBox* pulseMode_ = nullptr;
  QComboBox* encoderType_ = nullptr;
  QComboBox* abPhaseSwap_ = nullptr;
  QComboBox* homeType_ = nullptr;
  QComboBox* sensorMode_ = nullptr;
  QComboBox* findHome_ = nullptr;
  QComboBox* leftHome_ = nullptr;
  QComboBox* inPosition_ = nullptr;
  QComboBox* coordinateMode_ = nullptr;
  NumberBox* accTime_ = nullptr;
  NumberBox* decTime_ = nullptr;
  QComboBox* accCurve_ = nullptr;
  QComboBox* decCurve_ = nullptr;
  SettingButton* setting_ = nullptr;
};

}  // namespace tervane
