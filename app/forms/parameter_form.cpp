#include "forms/parameter_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "binding/motion_library.h"
#include "forms/form_kit.h"
#include "platform/msgbox/msgbox.h"
#include "run/settings.h"
#include "run/units.h"
#include "state/parameter_file.h"
#include "state/public_variant.h"
#include "widgets/number_box.h"
#include "widgets/setting_button.h"
#include "widgets/tick_box.h"
#include "window/frame.h"

namespace tervane {

namespace {

const QStringList kSensorChoices{"Normal Open", "Normal Close", "Not Check"};

int textValue(const ParameterTexts& texts, const QString& key) {
  return parseInt32(texts.value(key)).value_or(0);
}

QString perAxisKey(const char* name, int axis) {
  return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(axis);
}

}  // namespace

ParameterForm::ParameterForm(PublicVariant& state, MotionLibrary& lib, Frame& frame,
                             QWidget* parent)
    : QWidget(parent), state_(state), lib_(lib), frame_(frame) {
  setObjectName(QStringLiteral("frmParameter"));
  setAccessibleName(tr("Parameter"));
  setChildFormSize(this);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabParameter"));
  auto* eachAxis = new QWidget(tabs_);
  eachAxis->setObjectName(QStringLiteral("tabEachAxis"));
  auto* allAxes = new QWidget(tabs_);
  allAxes->setObjectName(QStringLiteral("tabAllAxes"));
  buildEachAxisTab(eachAxis);
  buildAllAxesTab(allAxes);
  tabs_->addTab(eachAxis, QStringLiteral("Each Axis"));
  tabs_->addTab(allAxes, QStringLiteral("All Axes"));

  setting_ = new SettingButton(this);
  setting_->setToolTip(QStringLiteral("VNL_SetMachParam"));
  connect(setting_, &SettingButton::pressed, this, &ParameterForm::settingPressed);
  connect(setting_, &SettingButton::released, this, &ParameterForm::settingReleased);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(4);
  layout->addWidget(tabs_, 1);
  auto* bottom = new QHBoxLayout;
  auto* hint =
      new QLabel(tr("Setting sends these values to the motion library and saves them."), this);
  hint->setObjectName(QStringLiteral("lblSettingHint"));
  bottom->addWidget(hint, 1);
  bottom->addWidget(setting_);
  layout->addLayout(bottom);

  load();
}

// ---------------------------------------------------------------- building

void ParameterForm::buildEachAxisTab(QWidget* tab) {
  auto* grid = new QGridLayout(tab);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(6);

  auto* axisRow = new QHBoxLayout;
  axisBox_ = namedCombo(QStringLiteral("cboAxis"), {"0", "1", "2", "3"}, tr("Axis"), tab);
  connect(axisBox_, &QComboBox::currentIndexChanged, this, &ParameterForm::axisSelected);
  axisRow->addWidget(caption(QStringLiteral("Axis :"), tab, axisBox_));
  axisRow->addWidget(axisBox_);
  axisRow->addStretch(1);
  grid->addLayout(axisRow, 0, 0, 1, 2);

  auto* soft = new QGroupBox(QStringLiteral("Software Limit"), tab);
  soft->setObjectName(QStringLiteral("fraSoftwareLimit"));
  auto* softGrid = new QGridLayout(soft);
  softGrid->setVerticalSpacing(3);
  highLimit_ = new NumberBox(QStringLiteral("txtHighLimit"), kHighLimitKeys, soft);
  highLimit_->setAccessibleName(tr("Upper software limit"));
  lowLimit_ = new NumberBox(QStringLiteral("txtLowLimit"), kLowLimitKeys, soft);
  lowLimit_->setAccessibleName(tr("Lower software limit"));
  connect(highLimit_, &QLineEdit::textChanged, this, [this] {
    numberChanged(highLimit_, state_.parameters.highLimit[axis_],
                  state_.parameters.highLimitUnits[axis_], false);
  });
  connect(lowLimit_, &QLineEdit::textChanged, this, [this] {
    numberChanged(lowLimit_, state_.parameters.lowLimit[axis_],
                  state_.parameters.lowLimitUnits[axis_], true);
  });
  softGrid->addWidget(caption(QStringLiteral("+Limit :"), soft, highLimit_), 0, 0);
  softGrid->addWidget(highLimit_, 0, 1);
  softGrid->addWidget(caption(QStringLiteral("Pulses"), soft), 0, 2);
  softGrid->addWidget(caption(QStringLiteral("-Limit : "), soft, lowLimit_), 1, 0);
  softGrid->addWidget(lowLimit_, 1, 1);
  softGrid->addWidget(caption(QStringLiteral("Pulses"), soft), 1, 2);
  softGrid->addWidget(caption(QStringLiteral("Check Software Limit"), soft), 2, 0, 1, 3);
  auto* ticks = new QHBoxLayout;
  const char* const names[4] = {"picchkX", "picchkY", "picchkZ", "picchkU"};
  for (int a = 0; a < 4; ++a) {
    const QString label = QStringLiteral("%1 Axis").arg(a);
    softLimit_[a] = new TickBox(QString::fromLatin1(names[a]), label, soft);
    softLimit_[a]->setToolTip(QStringLiteral("VNL_SetOverTravelCheck"));
    connect(softLimit_[a], &TickBox::toggled, this,
            [this, a](bool on) { state_.parameters.softwareLimitCheck[a] = on ? 1 : 0; });
    ticks->addWidget(softLimit_[a]);
    ticks->addWidget(caption(label, soft));
    ticks->addSpacing(4);
  }
  ticks->addStretch(1);
  softGrid->addLayout(ticks, 3, 0, 1, 3);
  grid->addWidget(soft, 1, 0);

  auto* hard = new QGroupBox(QStringLiteral("Hardware Limit"), tab);
  hard->setObjectName(QStringLiteral("fraHardwareLimit"));
  auto* hardGrid = new QGridLayout(hard);
  hardGrid->setVerticalSpacing(3);
  overTravelUp_ = namedCombo(QStringLiteral("cboOverTravelUp"), kSensorChoices,
                             tr("Upper over-travel sensor"), hard);
  overTravelDown_ = namedCombo(QStringLiteral("cboOverTravelDown"), kSensorChoices,
                               tr("Lower over-travel sensor"), hard);
  hardGrid->addWidget(caption(QStringLiteral("+ Limit :"), hard, overTravelUp_), 0, 0);
  hardGrid->addWidget(overTravelUp_, 0, 1);
  hardGrid->addWidget(caption(QStringLiteral(" - Limit :"), hard, overTravelDown_), 1, 0);
  hardGrid->addWidget(overTravelDown_, 1, 1);
  hardLimit_ = new TickBox(QStringLiteral("picchkLimitSwitch"),
                           QStringLiteral("Check Hardware Limit (for All Axes)"), hard);
  hardLimit_->setToolTip(QStringLiteral("VNL_EnableLimitSwitchCheck"));
  connect(hardLimit_, &TickBox::toggled, this,
          [this](bool on) { state_.parameters.hardwareLimitCheck = on ? 1 : 0; });
  auto* hardRow = new QHBoxLayout;
  hardRow->addWidget(hardLimit_);
  hardRow->addWidget(caption(QStringLiteral("Check Hardware Limit (for All Axes)"), hard), 1);
  hardGrid->addLayout(hardRow, 2, 0, 1, 2);
  grid->addWidget(hard, 2, 0);

  auto* drive = new QGroupBox(tr("Drive and Encoder"), tab);
  drive->setObjectName(QStringLiteral("fraDrive"));
  auto* driveForm = new QFormLayout(drive);
  driveForm->setVerticalSpacing(3);
  pulseMode_ = namedCombo(QStringLiteral("cboPulseMode"), {"Step/Dir", "CW/CCW", "A/B"},
                          tr("Driver pulse mode"), drive);
  encoderType_ =
      namedCombo(QStringLiteral("cboEncoderType"), {"A/B", "CW/CCW", "Pulse Direction", "Disable"},
                 tr("Encoder type"), drive);
  abPhaseSwap_ =
      namedCombo(QStringLiteral("cboABPhaseSwap"), {"NO", "YES"}, tr("AB phase swap"), drive);
  driveForm->addRow(QStringLiteral("Driver Pulse Mode :"), pulseMode_);
  driveForm->addRow(QStringLiteral("Encoder Type :"), encoderType_);
  driveForm->addRow(QStringLiteral("AB Phase Swap :"), abPhaseSwap_);
  grid->addWidget(drive, 1, 1);

  auto* home = new QGroupBox(QStringLiteral("Home"), tab);
  home->setObjectName(QStringLiteral("fraHome"));
  auto* homeForm = new QFormLayout(home);
  homeForm->setVerticalSpacing(3);
  homeType_ =
      namedCombo(QStringLiteral("cboHomeType"), {"Normal", "Home Sensor Only", "Index Sensor Only"},
                 tr("Home type"), home);
  sensorMode_ = namedCombo(QStringLiteral("cboSensorMode"), {"Normal Open", "Normal Close"},
                           tr("Home sensor mode"), home);
  findHome_ = namedCombo(QStringLiteral("cboFindHome"), {"0  (+)", "1  (\u2212)"},
                         tr("Find home direction"), home);
  leftHome_ = namedCombo(QStringLiteral("cboLeftHome"), {"0  (+)", "1  (\u2212)"},
                         tr("Leave home direction"), home);
  homeForm->addRow(QStringLiteral("Type:"), homeType_);
  homeForm->addRow(QStringLiteral("Sensor Mode:"), sensorMode_);
  homeForm->addRow(QStringLiteral("Find Home Direction :"), findHome_);
  homeForm->addRow(QStringLiteral("Leave Home Direction :"), leftHome_);
  grid->addWidget(home, 2, 1);

  // The per-axis lists store their position into the current axis.
  auto& p = state_.parameters;
  const std::pair<QComboBox*, MachineParameters::PerAxis<int16_t>*> lists[] = {
      {overTravelUp_, &p.overTravelUp},  {overTravelDown_, &p.overTravelDown},
      {abPhaseSwap_, &p.abPhaseSwap},    {pulseMode_, &p.pulseMode},
      {sensorMode_, &p.homeSensorMode},  {findHome_, &p.findHomeDirection},
      {leftHome_, &p.leaveHomeDirection}};
  for (const auto& [box, values] : lists) {
    connect(box, &QComboBox::currentIndexChanged, this, [this, values = values](int index) {
      if (index >= 0) (*values)[axis_] = static_cast<int16_t>(index);
    });
  }
  connect(homeType_, &QComboBox::currentIndexChanged, this, &ParameterForm::homeTypeChosen);
  connect(encoderType_, &QComboBox::currentIndexChanged, this, &ParameterForm::encoderTypeChosen);
}

void ParameterForm::buildAllAxesTab(QWidget* tab) {
  auto* grid = new QGridLayout(tab);
  grid->setContentsMargins(12, 10, 12, 10);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  int row = 0;
  auto unitRow = [&](const QString& text, QWidget* field, const QString& unit) {
    grid->addWidget(caption(text, tab, field), row, 0);
    grid->addWidget(field, row, 1);
    if (!unit.isEmpty()) grid->addWidget(caption(unit, tab), row, 2);
    ++row;
  };
  maxSpeed_ = new NumberBox(QStringLiteral("txtMaxSpeed"), kMaxSpeedKeys, tab);
  maxSpeed_->setToolTip(QStringLiteral("VNL_SetSysMaxSpeed"));
  maxSpeed_->setAccessibleName(tr("Maximum speed"));
  connect(maxSpeed_, &QLineEdit::textChanged, this, [this] {
    numberChanged(maxSpeed_, state_.parameters.maxSpeed, state_.parameters.maxSpeedUnits, false);
  });
  unitRow(QStringLiteral("Max. Speed :"), maxSpeed_, QStringLiteral("pulse/sec"));

  inPosition_ = namedCombo(QStringLiteral("cboInPosition"), {"Disable", "Enable"},
                           tr("In-position check"), tab);
  connect(inPosition_, &QComboBox::currentIndexChanged, this, &ParameterForm::inPositionChosen);
  unitRow(QStringLiteral("In Position :"), inPosition_, QString());
  coordinateMode_ = namedCombo(QStringLiteral("cboCoordinateMode"), {"Relative", "Absoulte"},
                               tr("Coordinate mode"), tab);
  connect(coordinateMode_, &QComboBox::currentIndexChanged, this,
          &ParameterForm::coordinateModeChosen);
  unitRow(QStringLiteral("Coordinate Mode :"), coordinateMode_, QString());

  accTime_ = new NumberBox(QStringLiteral("txtAccTime"), kTimeKeys, tab);
  accTime_->setToolTip(QStringLiteral("VNL_SetAccStep"));
  accTime_->setAccessibleName(tr("Acceleration time"));
  connect(accTime_, &QLineEdit::textChanged, this, [this] {
    timeChanged(accTime_, state_.parameters.accelerationTime, state_.parameters.accelerationSteps);
  });
  unitRow(QStringLiteral("Acceleration Time :"), accTime_, QStringLiteral("ms"));
  decTime_ = new NumberBox(QStringLiteral("txtDecTime"), kTimeKeys, tab);
  decTime_->setToolTip(QStringLiteral("VNL_SetDecStep"));
  decTime_->setAccessibleName(tr("Deceleration time"));
  connect(decTime_, &QLineEdit::textChanged, this, [this] {
    timeChanged(decTime_, state_.parameters.decelerationTime, state_.parameters.decelerationSteps);
  });
  unitRow(QStringLiteral("Deceleration Time :"), decTime_, QStringLiteral("ms"));

  accCurve_ = namedCombo(QStringLiteral("cboAccelerationCurve"), {"Trapezoid", "S-Curve"},
                         tr("Acceleration curve"), tab);
  accCurve_->setToolTip(QStringLiteral("VNL_SetAccType"));
  connect(accCurve_, &QComboBox::currentIndexChanged, this, [this](int index) {
    curveChosen(state_.parameters.accelerationCurve, state_.parameters.accelerationType, index);
  });
  unitRow(QStringLiteral("Acceleration Curve :"), accCurve_, QString());
  decCurve_ = namedCombo(QStringLiteral("cboDecelerationCurve"), {"Trapezoid", "S-Curve"},
                         tr("Deceleration curve"), tab);
  decCurve_->setToolTip(QStringLiteral("VNL_SetDecType"));
  connect(decCurve_, &QComboBox::currentIndexChanged, this, [this](int index) {
    curveChosen(state_.parameters.decelerationCurve, state_.parameters.decelerationType, index);
  });
  unitRow(QStringLiteral("Deceleration Curve :"), decCurve_, QString());
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(3, 1);
}

// ---------------------------------------------------------------- load

void ParameterForm::choose(QComboBox* box, int index) {
  if (box->currentIndex() == index) {
    // Selecting the item shown already still runs its handler.
    emit box->currentIndexChanged(index);
  } else {
    box->setCurrentIndex(index);
  }
}

void ParameterForm::load() {
  const ParameterTexts texts = loadParameterFile(frame_.parameterFile());
  for (const QString& key : texts.replaced)
    frame_.addStatus(QStringLiteral(" Parameter.ini: %1 unusable, default used").arg(key));
  for (int a = 0; a < kScreenAxes; ++a) {
    choose(axisBox_, a);
    maxSpeed_->setText(texts.value(QStringLiteral("MaxSpeed")));
    highLimit_->setText(texts.value(perAxisKey("HighLimit", a)));
    lowLimit_->setText(texts.value(perAxisKey("LowLimit", a)));
    choose(overTravelUp_, textValue(texts, perAxisKey("OverTravelUp", a)));
    choose(overTravelDown_, textValue(texts, perAxisKey("OverTravelDown", a)));
    choose(encoderType_, textValue(texts, perAxisKey("EncoderType", a)));
    choose(abPhaseSwap_, textValue(texts, perAxisKey("ABPhaseSwap", a)));
    choose(pulseMode_, textValue(texts, perAxisKey("PulseMode", a)));
    choose(homeType_, textValue(texts, perAxisKey("HomeType", a)));
    choose(sensorMode_, textValue(texts, perAxisKey("SensorMode", a)));
    choose(findHome_, textValue(texts, perAxisKey("FindHome", a)));
    choose(leftHome_, textValue(texts, perAxisKey("LeftHome", a)));
    accTime_->setText(texts.value(QStringLiteral("AccTime")));
    decTime_->setText(texts.value(QStringLiteral("DecTime")));
  }
  auto& p = state_.parameters;
  for (int a = 0; a < kScreenAxes; ++a)
    softLimit_[a]->setTicked(p.softwareLimitCheck[a] == 1);
  hardLimit_->setTicked(p.hardwareLimitCheck == 1);
  {
    // The coordinate mode held in memory; the file's value is not applied.
    const QSignalBlocker quiet(coordinateMode_);
    coordinateMode_->setCurrentIndex(p.coordinateMode);
    coordinateMode_->setToolTip(p.coordinateMode == 1 ? QStringLiteral("VNL_SetAbsolute")
                                                      : QStringLiteral("VNL_SetIncrease"));
  }
  choose(accCurve_, textValue(texts, QStringLiteral("AccelerationCurve")));
  choose(decCurve_, textValue(texts, QStringLiteral("DecelerationCurve")));
  inPositionChosen(inPosition_->currentIndex());
  choose(axisBox_, 0);
  // The software-limit checks start off; the boxes are drawn to say so.
  for (int a = 0; a < kScreenAxes; ++a) {
    p.softwareLimitCheck[a] = 0;
    softLimit_[a]->setTicked(false);
  }
  state_.parametersLoaded = true;
}

void ParameterForm::axisSelected(int axis) {
  if (axis < 0) return;
  axis_ = axis;
  const auto& p = state_.parameters;
  maxSpeed_->setText(plainNumber(p.maxSpeed));
  highLimit_->setText(plainNumber(p.highLimit[axis]));
  lowLimit_->setText(plainNumber(p.lowLimit[axis]));
  const std::pair<QComboBox*, int16_t> lists[] = {
      {overTravelUp_, p.overTravelUp[axis]},  {overTravelDown_, p.overTravelDown[axis]},
      {encoderType_, p.encoderType[axis]},    {abPhaseSwap_, p.abPhaseSwap[axis]},
      {pulseMode_, p.pulseMode[axis]},        {homeType_, p.homeType[axis]},
      {sensorMode_, p.homeSensorMode[axis]},  {findHome_, p.findHomeDirection[axis]},
      {leftHome_, p.leaveHomeDirection[axis]}};
  for (const auto& [box, value] : lists) {
    const QSignalBlocker quiet(box);  // showing the axis's values changes none of them
    box->setCurrentIndex(value);
  }
  leftHome_->setEnabled(p.homeType[axis] != static_cast<int16_t>(HomeType::IndexSensorOnly));
}

// ---------------------------------------------------------------- handlers

void ParameterForm::numberChanged(NumberBox* box, double& stored, double& units, bool ignoreMinus) {
  if (const auto value = box->takeNumber(ignoreMinus)) {
    stored = *value;
    units = wholeUnits(*value);
  }
}

void ParameterForm::timeChanged(NumberBox* box, int32_t& time, int32_t& steps) {
  if (const auto value = box->takeWholeNumber()) {
    time = *value;
    steps = periodsOf(*value);
  }
}

void ParameterForm::homeTypeChosen(int index) {
  if (index < 0) return;
  state_.parameters.homeType[axis_] = static_cast<int16_t>(index);
  leftHome_->setEnabled(index != static_cast<int>(HomeType::IndexSensorOnly));
}

void ParameterForm::encoderTypeChosen(int index) {
  if (index < 0) return;
  state_.parameters.encoderType[axis_] = static_cast<int16_t>(index);
  state_.parameters.encoderReading = index != static_cast<int>(EncoderType::Disable);
}

void ParameterForm::curveChosen(int16_t& curve, char& type, int index) {
  if (index < 0) return;
  curve = static_cast<int16_t>(index);
  type = index == 1 ? 'S' : 'T';
}

void ParameterForm::inPositionChosen(int index) {
  if (index < 0) return;
  state_.parameters.inPositionCheck = static_cast<int16_t>(index);
  inPosition_->setToolTip(index == 1 ? QStringLiteral("VNL_EnableInPos")
                                     : QStringLiteral("VNL_DisableInPos"));
}

void ParameterForm::coordinateModeChosen(int index) {
  if (index < 0) return;
  state_.parameters.coordinateMode = static_cast<int16_t>(index);
  if (index == 1) {
    lib_.SetAbsolute(0);
    coordinateMode_->setToolTip(QStringLiteral("VNL_SetAbsolute"));
  } else {
    lib_.SetIncrease(0);
    coordinateMode_->setToolTip(QStringLiteral("VNL_SetIncrease"));
  }
}

// ---------------------------------------------------------------- Setting

void ParameterForm::settingPressed() {
  sendMachineParameters(lib_, state_.parameters, state_.applyAfterInit);
}

void ParameterForm::settingReleased() {
  frame_.setCommandVisible(Command::Initialize, true);
  frame_.setLook(Command::Parameter, Look::Available);
  frame_.writeParameterFile();
  frame_.setLook(Command::Motion, Look::Available);
  frame_.setLook(Command::Testing, Look::Available);
  frame_.unload(Form::Parameter);  // the open flag stays set
}

}  // namespace tervane
