#include "forms/motion_form.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "binding/motion_library.h"
#include "forms/form_kit.h"
#include "platform/msgbox/msgbox.h"
#include "run/units.h"
#include "state/public_variant.h"
#include "widgets/number_box.h"
#include "widgets/picture_pair.h"
#include "widgets/pictures.h"
#include "window/frame.h"

namespace tervane {

namespace {

const char* const kAxisLetters[4] = {"X", "Y", "Z", "U"};
constexpr int kOrderValues[] = {255, 0, 1, 2, 3, 4};  // "None", "0" ... "4"

PicturePair* lampPair(const QString& inactive, const QString& active, QColor colour,
                      const QString& meaning, QWidget* parent) {
  auto* pair = new PicturePair(
      {inactive, pictures::lamp(colour, false), meaning + QObject::tr(": off")},
      {active, pictures::lamp(colour, true), meaning + QObject::tr(": on")}, parent);
  return pair;
}

}  // namespace

MotionForm::MotionForm(PublicVariant& state, MotionLibrary& lib, Frame& frame, QWidget* parent)
    : QWidget(parent), state_(state), lib_(lib), frame_(frame) {
  setObjectName(QStringLiteral("frmMotion"));
  setAccessibleName(tr("Motion"));
  setChildFormSize(this);

  optGeneral_ = new QRadioButton(QStringLiteral("General Motion (Line)"), this);
  optGeneral_->setObjectName(QStringLiteral("optGeneralMotion"));
  optJog_ = new QRadioButton(QStringLiteral("JOG"), this);
  optJog_->setObjectName(QStringLiteral("optJog"));
  optHome_ = new QRadioButton(QStringLiteral("Home"), this);
  optHome_->setObjectName(QStringLiteral("optHome"));
  optHome_->setToolTip(QStringLiteral("VNL_GoHome"));
  auto* options = new QButtonGroup(this);
  for (QRadioButton* o : {optGeneral_, optJog_, optHome_})
    options->addButton(o);
  connect(optGeneral_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) generalSelected();
  });
  connect(optJog_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) jogSelected();
  });
  connect(optHome_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) homeSelected();
  });

  pages_ = new QStackedWidget(this);
  pages_->setObjectName(QStringLiteral("motionPages"));
  pages_->addWidget(buildGeneralPage());
  pages_->addWidget(buildJogPage());
  pages_->addWidget(buildHomePage());

  auto* optionRow = new QHBoxLayout;
  optionRow->setSpacing(14);
  for (QRadioButton* o : {optGeneral_, optJog_, optHome_})
    optionRow->addWidget(o);
  optionRow->addStretch(1);

  auto* left = new QVBoxLayout;
  left->addLayout(optionRow);
  left->addWidget(pages_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(10, 8, 10, 8);
  layout->setSpacing(10);
  layout->addLayout(left, 1);
  layout->addWidget(buildStatusColumn());

  // Load: the page last chosen, the values kept in the shared state, the
  // parameter form's curves and coordinate mode.
  switch (state_.motionPage) {
    case 2:
      optJog_->setEnabled(true);
      break;
    case 3:
      optHome_->setChecked(true);
      break;
    default:
      optGeneral_->setChecked(true);
      break;
  }
  for (QRadioButton* o : {optGeneral_, optJog_, optHome_})
    o->setEnabled(true);
  const MotionDefaults m = state_.motion;  // each fill runs its change handler
  motionSpeed_->setText(QString::number(m.speed));
  for (int a = 0; a < 3; ++a)
    destination_[a]->setText(QString::number(m.destination[a]));
  speedRatio_->setText(QString::number(m.jogSpeed));
  jogDistance_->setText(QString::number(m.jogDistance));
  for (int a = 0; a < 4; ++a)
    homeSpeed_[a]->setText(QString::number(m.homeSpeed[a]));
  frame_.setTimerEnabled(Timer::Encoder, true);
}

// ---------------------------------------------------------------- building

QWidget* MotionForm::buildGeneralPage() {
  auto* page = new QGroupBox(tr("Line of axes 0 to 2"), this);
  page->setObjectName(QStringLiteral("fraGeneralMotion"));
  auto* form = new QGridLayout(page);
  form->setHorizontalSpacing(8);
  motionSpeed_ = new NumberBox(QStringLiteral("txtMotionSpeed"), kMotionSpeedKeys, page);
  motionSpeed_->setToolTip(QStringLiteral("VNL_SetFeedSpeed"));
  motionSpeed_->setAccessibleName(tr("Speed"));
  connect(motionSpeed_, &QLineEdit::textChanged, this,
          [this] { wholeNumberChanged(motionSpeed_, state_.motion.speed); });
  form->addWidget(caption(QStringLiteral("Speed :"), page, motionSpeed_), 0, 0);
  form->addWidget(motionSpeed_, 0, 1);
  form->addWidget(caption(QStringLiteral("pulse/sec"), page), 0, 2);

  auto* command = new QGroupBox(QStringLiteral("Command (pulse)"), page);
  auto* grid = new QGridLayout(command);
  for (int a = 0; a < 3; ++a) {
    destination_[a] =
        new NumberBox(QStringLiteral("txtDestination%1").arg(QLatin1String(kAxisLetters[a])),
                      kDestinationKeys, command);
    destination_[a]->setToolTip(QStringLiteral("VNL_Line"));
    destination_[a]->setAccessibleName(tr("Destination of axis %1").arg(a));
    connect(destination_[a], &QLineEdit::textChanged, this, [this, a] { destinationChanged(a); });
    grid->addWidget(caption(QStringLiteral("%1 :").arg(a), command, destination_[a]), a, 0);
    grid->addWidget(destination_[a], a, 1);
  }
  form->addWidget(command, 1, 0, 1, 3);

  delay_ = new NumberBox(QStringLiteral("txtDelay"), kDelayKeys, page);
  delay_->setToolTip(QStringLiteral("VNL_DelayMotion"));
  delay_->setAccessibleName(tr("Delay"));
  connect(delay_, &QLineEdit::textChanged, this, [this] { delay_->takeWholeNumber(); });
  form->addWidget(caption(QStringLiteral("Delay :"), page, delay_), 2, 0);
  form->addWidget(delay_, 2, 1);
  form->addWidget(caption(QStringLiteral("sec"), page), 2, 2);

  repeat_ = new PicturePair(
      {QStringLiteral("chkRepeat(0)"), pictures::repeatBox(false), tr("Repeat: not ticked")},
      {QStringLiteral("chkRepeat(1)"), pictures::repeatBox(true), tr("Repeat: ticked")}, page);
  repeat_->setObjectName(QStringLiteral("chkRepeat"));
  repeat_->setCursor(Qt::PointingHandCursor);
  connect(repeat_, &PicturePair::pressed, this, &MotionForm::repeatPressed);
  auto* repeatRow = new QHBoxLayout;
  repeatRow->addWidget(repeat_);
  repeatRow->addWidget(caption(QStringLiteral("Repeat"), page));
  repeatRow->addStretch(1);
  form->addLayout(repeatRow, 3, 0, 1, 3);
  form->setRowStretch(4, 1);
  setRepeatShown(state_.repeat);
  return page;
}

QWidget* MotionForm::buildJogPage() {
  auto* page = new QGroupBox(tr("Jog one axis"), this);
  page->setObjectName(QStringLiteral("fraJog"));
  auto* grid = new QGridLayout(page);
  grid->setHorizontalSpacing(8);
  jogAxis_ = namedCombo(QStringLiteral("cboAxis"), {"0", "1", "2", "3"}, tr("Axis"), page);
  connect(jogAxis_, &QComboBox::activated, this, &MotionForm::axisChosen);
  grid->addWidget(caption(QStringLiteral("Axis : "), page, jogAxis_), 0, 0);
  grid->addWidget(jogAxis_, 0, 1);

  speedRatio_ = new NumberBox(QStringLiteral("txtSpdRatio"), kSpeedRatioKeys, page);
  speedRatio_->setAccessibleName(tr("Jog speed"));
  connect(speedRatio_, &QLineEdit::textChanged, this, &MotionForm::speedRatioChanged);
  grid->addWidget(caption(QStringLiteral("Speed :"), page, speedRatio_), 1, 0);
  grid->addWidget(speedRatio_, 1, 1);
  grid->addWidget(caption(QStringLiteral("pulse/sec"), page), 1, 2);

  jogDistance_ = new NumberBox(QStringLiteral("txtOffset"), kJogDistanceKeys, page);
  jogDistance_->setAccessibleName(tr("Jog distance"));
  connect(jogDistance_, &QLineEdit::textChanged, this,
          [this] { wholeNumberChanged(jogDistance_, state_.motion.jogDistance); });
  grid->addWidget(caption(QStringLiteral("Distance :"), page, jogDistance_), 2, 0);
  grid->addWidget(jogDistance_, 2, 1);
  grid->addWidget(caption(QStringLiteral("Pulses"), page), 2, 2);

  jogMode_ =
      namedCombo(QStringLiteral("cboJogMode"), {"Distance", "Continuous"}, tr("Jog mode"), page);
  connect(jogMode_, &QComboBox::activated, this, &MotionForm::jogModeChosen);
  grid->addWidget(caption(QStringLiteral("Mode :"), page, jogMode_), 3, 0);
  grid->addWidget(jogMode_, 3, 1);

  negative_ = new QPushButton(QStringLiteral("\u25C0  \u2212"), page);
  negative_->setObjectName(QStringLiteral("CmdNegative"));
  negative_->setAccessibleName(tr("Jog negative"));
  negative_->setToolTip(tr("Jog in the negative direction"));
  positive_ = new QPushButton(QStringLiteral("+  \u25B6"), page);
  positive_->setObjectName(QStringLiteral("CmdPositive"));
  positive_->setAccessibleName(tr("Jog positive"));
  positive_->setToolTip(tr("Jog in the positive direction"));
  for (QPushButton* b : {negative_, positive_}) {
    b->setMinimumSize(84, 34);
    b->setProperty("role", QStringLiteral("jog"));
  }
  connect(negative_, &QPushButton::clicked, this, [this] { jog(-1); });
  connect(positive_, &QPushButton::clicked, this, [this] { jog(1); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(negative_);
  buttons->addWidget(positive_);
  buttons->addStretch(1);
  grid->addLayout(buttons, 4, 0, 1, 3);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(3, 1);
  return page;
}

QWidget* MotionForm::buildHomePage() {
  auto* page = new QGroupBox(tr("Home axes 0 to 3"), this);
  page->setObjectName(QStringLiteral("fraHome"));
  auto* grid = new QGridLayout(page);
  grid->setHorizontalSpacing(10);
  grid->addWidget(caption(QStringLiteral("Speed(pulse/sec)"), page), 0, 1);
  grid->addWidget(caption(QStringLiteral("Order"), page), 0, 2);
  for (int a = 0; a < 4; ++a) {
    const QString letter = QLatin1String(kAxisLetters[a]);
    homeSpeed_[a] = new NumberBox(QStringLiteral("txtHomeSpeed") + letter, kHomeSpeedKeys, page);
    homeSpeed_[a]->setAccessibleName(tr("Home speed of axis %1").arg(a));
    connect(homeSpeed_[a], &QLineEdit::textChanged, this,
            [this, a] { wholeNumberChanged(homeSpeed_[a], state_.motion.homeSpeed[a]); });
    homeOrder_[a] =
        namedCombo(QStringLiteral("cboOrder") + letter, {"None", "0", "1", "2", "3", "4"},
                   tr("Home order of axis %1").arg(a), page);
    connect(homeOrder_[a], &QComboBox::currentIndexChanged, this,
            [this, a](int index) { homeOrderChosen(a, index); });
    grid->addWidget(caption(QStringLiteral("%1 :").arg(a), page, homeSpeed_[a]), a + 1, 0);
    grid->addWidget(homeSpeed_[a], a + 1, 1);
    grid->addWidget(homeOrder_[a], a + 1, 2);
  }
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(3, 1);
  return page;
}

QWidget* MotionForm::buildStatusColumn() {
  auto* column = new QWidget(this);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);

  auto* modes = new QGroupBox(tr("Profile"), column);
  auto* form = new QFormLayout(modes);
  form->setVerticalSpacing(2);
  const auto& p = state_.parameters;
  auto* acc = new QLabel(p.accelerationCurve == 1 ? "S-Curve" : "Trapezoid", modes);
  acc->setObjectName(QStringLiteral("lblAccVelocityMode"));
  auto* dec = new QLabel(p.decelerationCurve == 1 ? "S-Curve" : "Trapezoid", modes);
  dec->setObjectName(QStringLiteral("lblDecVelocityMode"));
  auto* coord = new QLabel(p.coordinateMode == 1 ? "Absoulte" : "Relative", modes);
  coord->setObjectName(QStringLiteral("lblCoordinateMode"));
  form->addRow(QStringLiteral("Acc Curve Mode"), acc);
  form->addRow(QStringLiteral("Dec CurveMode"), dec);
  form->addRow(QStringLiteral("Coordinate Mode"), coord);
  layout->addWidget(modes);

  auto* lamps = new QGroupBox(tr("Sensors"), column);
  lamps->setObjectName(QStringLiteral("fraSensors"));
  auto* grid = new QGridLayout(lamps);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(3);
  grid->addWidget(caption(QStringLiteral("Axes"), lamps), 0, 0);
  for (int a = 0; a < 4; ++a) {
    auto* axis = caption(QString::number(a), lamps);
    axis->setAlignment(Qt::AlignCenter);
    grid->addWidget(axis, 0, a + 1);
  }
  const struct {
    const char* title;
    const char* inactive;
    const char* active;
    QColor colour;
    std::array<PicturePair*, 4>* pairs;
  } rows[] = {
      {"       Over Travel Up [OT+]", "ledOT", "ledOT0", pictures::kAlarm, &overTravelUp_},
      {"       Over Travel Down [OT-]", "ledOTN", "ledOTN0", pictures::kAlarm, &overTravelDown_},
      {"Home Sensor", "ledHome", "ledHome0", pictures::kSensor, &homeSensor_},
  };
  int row = 1;
  for (const auto& r : rows) {
    auto* title = caption(QString::fromLatin1(r.title).trimmed(), lamps);
    title->setAccessibleName(QString::fromLatin1(r.title));
    grid->addWidget(title, row, 0);
    for (int a = 0; a < 4; ++a) {
      auto* pair = lampPair(QStringLiteral("%1(%2)").arg(QLatin1String(r.inactive)).arg(a),
                            QStringLiteral("%1(%2)").arg(QLatin1String(r.active)).arg(a), r.colour,
                            QStringLiteral("%1 %2").arg(title->text()).arg(a), lamps);
      (*r.pairs)[a] = pair;
      grid->addWidget(pair, row, a + 1, Qt::AlignCenter);
    }
    ++row;
  }
  layout->addWidget(lamps);
  layout->addStretch(1);
  return column;
}

// ---------------------------------------------------------------- main window's side

void MotionForm::setOptionEnabled(MotionOption option, bool enabled) {
  (option == MotionOption::GeneralMotion ? optGeneral_
   : option == MotionOption::Jog         ? optJog_
                                         : optHome_)
      ->setEnabled(enabled);
}

bool MotionForm::optionEnabled(MotionOption option) const {
  return (option == MotionOption::GeneralMotion ? optGeneral_
          : option == MotionOption::Jog         ? optJog_
                                                : optHome_)
      ->isEnabled();
}

void MotionForm::selectPage(int page) {
  QRadioButton* option = page == 2 ? optJog_ : page == 3 ? optHome_ : optGeneral_;
  if (option->isChecked()) {
    // Already chosen: its selection still runs, as setting the option does.
    if (option == optJog_) jogSelected();
    if (option == optHome_) homeSelected();
    if (option == optGeneral_) generalSelected();
  } else {
    option->setChecked(true);
  }
}

void MotionForm::setJogButtonsEnabled(bool enabled) {
  negative_->setEnabled(enabled);
  positive_->setEnabled(enabled);
}

void MotionForm::setHomeInputsEnabled(bool enabled) {
  for (int a = 0; a < 4; ++a) {
    homeSpeed_[a]->setEnabled(enabled);
    homeOrder_[a]->setEnabled(enabled);
  }
}

bool MotionForm::repeatTicked() const {
  return repeat_->shown() == PicturePair::Shown::Second;
}

void MotionForm::hideRepeatUntickedPicture() {
  repeat_->first()->hide();
}

QString MotionForm::motionSpeedText() const {
  return motionSpeed_->text();
}
QString MotionForm::destinationText(int axis) const {
  return destination_.at(axis)->text();
}
QString MotionForm::delayText() const {
  return delay_->text();
}
QString MotionForm::homeSpeedText(int axis) const {
  return homeSpeed_.at(axis)->text();
}
void MotionForm::setHomeSpeedText(int axis, const QString& text) {
  homeSpeed_.at(axis)->setText(text);
}

void MotionForm::showOverTravelUp(int axis, bool active) {
  overTravelUp_.at(axis)->show(active ? PicturePair::Shown::Second : PicturePair::Shown::First);
}
void MotionForm::showOverTravelDown(int axis, bool active) {
  overTravelDown_.at(axis)->show(active ? PicturePair::Shown::Second : PicturePair::Shown::First);
}
void MotionForm::showHomeSensor(int axis, bool active) {
  homeSensor_.at(axis)->show(active ? PicturePair::Shown::Second : PicturePair::Shown::First);
}

// ---------------------------------------------------------------- pages

void MotionForm::showPageOf(MotionOption option) {
  pages_->setCurrentIndex(static_cast<int>(option));
}

void MotionForm::generalSelected() {
  showPageOf(MotionOption::GeneralMotion);
  if (state_.motionFormOpen) {
    state_.operationMode = OperationMode::GeneralMotion;
    state_.motionPage = 1;
  }
  frame_.setHomeIndicator(HomeIndicator::Hidden);
  frame_.setCommandVisible(Command::Run, true);
  frame_.setCommandVisible(Command::Stop, true);
  frame_.setLook(Command::Stop, Look::Unavailable);
  for (Command c : {Command::Hold, Command::Continue, Command::Abort})
    frame_.setCommandVisible(c, false);
  motionSpeed_->setEnabled(true);
  for (auto* d : destination_)
    d->setEnabled(true);
  for (QWidget* w : std::initializer_list<QWidget*>{delay_, jogAxis_, jogMode_, speedRatio_,
                                                    jogDistance_, negative_, positive_})
    w->setEnabled(false);
  setHomeInputsEnabled(false);
}

void MotionForm::homeSelected() {
  showPageOf(MotionOption::Home);
  frame_.setHomeIndicator(HomeIndicator::Running);
  state_.operationMode = OperationMode::Home;
  state_.motionPage = 3;
  frame_.setTimerEnabled(Timer::Encoder, false);
  frame_.setCommandVisible(Command::Run, true);
  frame_.setLook(Command::Run, Look::Available);
  frame_.setCommandVisible(Command::Stop, true);
  frame_.setLook(Command::Stop, Look::Unavailable);
  for (Command c : {Command::Hold, Command::Continue, Command::Abort})
    frame_.setCommandVisible(c, false);
  setHomeInputsEnabled(true);
  for (QWidget* w : std::initializer_list<QWidget*>{
           motionSpeed_, delay_, destination_[0], destination_[1], destination_[2], jogMode_,
           speedRatio_, jogDistance_, jogAxis_, negative_, positive_})
    w->setEnabled(false);
  setRepeatShown(false);  // the repeat flag itself is left as it is
  delay_->setText(QStringLiteral("0"));
  for (int a = 0; a < 4; ++a) {
    homeOrder_[a]->setCurrentIndex(0);
    homeOrderChosen(a, 0);  // also when the list showed "None" already
  }
}

void MotionForm::jogSelected() {
  showPageOf(MotionOption::Jog);
  jogMode_->setEnabled(true);
  jogAxis_->setEnabled(true);
  frame_.setTimerEnabled(Timer::Encoder, true);
  frame_.setTimerEnabled(Timer::Home, false);
  jogDistance_->setEnabled(state_.motion.jogMode == 0);
  jogMode_->setCurrentIndex(state_.motion.jogMode);
  jogModeChosen(state_.motion.jogMode);
  jogAxis_->setCurrentIndex(0);
  axisChosen(0);
  speedRatio_->setEnabled(true);
  frame_.setHomeIndicator(HomeIndicator::Hidden);
  state_.repeat = false;
  state_.operationMode = OperationMode::Jog;
  state_.motionPage = 2;
  for (Command c : {Command::Hold, Command::Continue, Command::Abort}) {
    frame_.setCommandVisible(c, true);
    frame_.setLook(c, Look::Unavailable);
  }
  frame_.setCommandVisible(Command::Run, false);
  frame_.setCommandVisible(Command::Stop, false);
  motionSpeed_->setEnabled(false);
  delay_->setEnabled(false);
  setRepeatShown(false);
  delay_->setText(QStringLiteral("0"));
  for (auto* d : destination_)
    d->setEnabled(false);
  setHomeInputsEnabled(false);
}

// ---------------------------------------------------------------- jog page

void MotionForm::axisChosen(int index) {
  state_.motion.jogAxis = static_cast<int16_t>(index);
  setJogButtonsEnabled(true);
}

void MotionForm::jogModeChosen(int index) {
  state_.motion.jogMode = static_cast<int16_t>(index);
  speedRatio_->setEnabled(true);
  jogDistance_->setEnabled(index == 0);
  jogMode_->setToolTip(index == 0 ? QStringLiteral("VNL_JogSpace")
                                  : QStringLiteral("VNL_JogConti"));
  setJogButtonsEnabled(true);
}

void MotionForm::jog(int direction) {
  optGeneral_->setEnabled(false);
  optHome_->setEnabled(false);
  frame_.setLook(Command::Hold, Look::Available);
  (direction > 0 ? negative_ : positive_)->setEnabled(false);
  const int32_t ratio = ratioArgument(state_.motion.speedRatio);
  const double distance = toUnits(valueOrZero(jogDistance_->text()));
  const auto axis = static_cast<uint8_t>(state_.motion.jogAxis);
  if (state_.motion.jogMode == 0) {
    lib_.JogSpace(direction * distance, ratio, axis, 0);
  } else {
    lib_.JogConti(direction, ratio, axis, 0);
  }
  // One click, one jog: both buttons stay disabled until the group stops.
  (direction > 0 ? positive_ : negative_)->setEnabled(false);
}

// ---------------------------------------------------------------- boxes

void MotionForm::wholeNumberChanged(NumberBox* box, int32_t& stored) {
  if (const auto value = box->takeWholeNumber()) stored = *value;
}

void MotionForm::destinationChanged(int axis) {
  const auto value = destination_[axis]->takeWholeNumber(true);
  if (!value) return;
  state_.motion.destination[axis] = *value;
  const bool allZero = std::all_of(destination_.begin(), destination_.end(),
                                   [](NumberBox* d) { return parseInt32(d->text()) == 0; });
  if (allZero)
    platform::msgbox::show(
        "When axis 0,1,2 are set to 0 and axis 3 is set to non-zero value,Please notice that "
        "axis 3 would not work properly!",
        "Notice");
}

void MotionForm::speedRatioChanged() {
  // An unusable speed is out of range: the box shows 100, the ratio is then 1.
  if (const auto value = speedRatio_->takeWholeNumber(false, {"Over Range 1~100%", "100"})) {
    state_.motion.jogSpeed = *value;
    state_.motion.speedRatio = speedRatio(*value);
  }
}

void MotionForm::homeOrderChosen(int axis, int index) {
  if (index < 0) return;
  state_.motion.homeOrder[axis] = kOrderValues[index];
}

void MotionForm::repeatPressed() {
  const bool ticked = !repeatTicked();
  setRepeatShown(ticked);
  state_.repeat = ticked;
  delay_->setEnabled(ticked);
}

void MotionForm::setRepeatShown(bool ticked) {
  repeat_->show(ticked ? PicturePair::Shown::Second : PicturePair::Shown::First);
}

}  // namespace tervane
