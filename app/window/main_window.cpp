#include "window/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>

#include "binding/motion_library.h"
#include "forms/editor_form.h"
#include "forms/motion_form.h"
#include "forms/parameter_form.h"
#include "forms/testing_form.h"
#include "glyphkey/piccommand.h"
#include "platform/msgbox/msgbox.h"
#include "run/settings.h"
#include "run/text_entry.h"
#include "run/units.h"
#include "state/parameter_file.h"
#include "widgets/picture_pair.h"
#include "widgets/pictures.h"
#include "window/child_size.h"

namespace tervane {

namespace {

constexpr int kStatusPeriodMs = 200;
constexpr int kEncoderPeriodMs = 200;
constexpr int kHomePeriodMs = 100;
// Posting: calls per tick while the library accepts them, and the pause
// before trying again once its queue is full.
constexpr int kPostsPerTick = 400;
constexpr int kQueueFullRetryMs = 50;
constexpr int kSimulationPeriodMs = kInterpolationMs;

const char* const kAxisLetters[4] = {"X", "Y", "Z", "U"};

QLabel* positionLabel(const QString& name, const QString& role, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("0"), parent);
  label->setObjectName(name);
  label->setProperty("role", role);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(110);
  label->setAccessibleName(name);
  return label;
}

}  // namespace

MainWindow::MainWindow(MotionLibrary& lib, ProgramOptions options, QWidget* parent)
    : QMainWindow(parent), lib_(lib), options_(std::move(options)) {
  setObjectName(QStringLiteral("mdifrmMain"));
  setWindowTitle(QStringLiteral("Tervane Ver.1.0"));
  // No maximize and no close button: the window is closed through Exit.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
  setAccessibleName(QStringLiteral("Tervane"));

  for (auto* t : {&statusTimer_, &encoderTimer_, &homeTimer_, &postingTimer_, &simulationTimer_})
    t->setParent(this);
  statusTimer_.setObjectName(QStringLiteral("tmrStatus"));
  encoderTimer_.setObjectName(QStringLiteral("tmrEncoder"));
  homeTimer_.setObjectName(QStringLiteral("tmrHome"));
  statusTimer_.setInterval(kStatusPeriodMs);
  encoderTimer_.setInterval(kEncoderPeriodMs);
  homeTimer_.setInterval(kHomePeriodMs);
  simulationTimer_.setInterval(kSimulationPeriodMs);
  simulationTimer_.setTimerType(Qt::PreciseTimer);
  connect(&statusTimer_, &QTimer::timeout, this, &MainWindow::statusTick);
  connect(&encoderTimer_, &QTimer::timeout, this, &MainWindow::encoderTick);
  connect(&homeTimer_, &QTimer::timeout, this, &MainWindow::homeTick);
  connect(&postingTimer_, &QTimer::timeout, this, &MainWindow::postingTick);
  connect(&simulationTimer_, &QTimer::timeout, this, [this] { lib_.SimulationRoutine(); });

  buildWidgets();

  // Start-up: encoder values 0, the motion defaults, only Parameter and Exit.
  state_.encoder = {};
  state_.motion.speed = 1000;
  state_.motion.destination = {1000, 1000, 1000};
  state_.motion.spare = 1000;
  for (Command c : {Command::Initialize, Command::Motion, Command::Testing, Command::Run,
                    Command::Stop, Command::Hold, Command::Continue, Command::Abort})
    setCommandVisible(c, false);
  setHomeIndicator(HomeIndicator::Hidden);
  resetPicture_->show(PicturePair::Shown::None);
  resetCaption_->hide();
  if (!options_.machineDescription.isEmpty()) addStatus(options_.machineDescription);
}

MainWindow::~MainWindow() = default;

ParameterForm* MainWindow::parameterForm() const {
  return parameterForm_;
}
MotionForm* MainWindow::motionForm() const {
  return motionForm_;
}
TestingForm* MainWindow::testingForm() const {
  return testingForm_;
}
EditorForm* MainWindow::editorForm() const {
  return editorForm_;
}

// ---------------------------------------------------------------- widgets

void MainWindow::buildWidgets() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("centralArea"));
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(8, 6, 8, 8);
  layout->setSpacing(6);
  layout->addWidget(buildToolBar());

  auto* middle = new QHBoxLayout;
  middle->setSpacing(8);
  mdi_ = new QMdiArea(central);
  mdi_->setObjectName(QStringLiteral("mdiArea"));
  mdi_->setAccessibleName(tr("Forms"));
  const QSize child = childFormSize(logicalDpiX());
  mdi_->setMinimumSize(child + QSize(4, 4));
  mdi_->setBackground(QColor(58, 64, 72));
  middle->addWidget(mdi_, 1);
  middle->addWidget(buildPositionPanel());
  layout->addLayout(middle, 1);

  layout->addWidget(buildRunBar());
  statusList_ = new QListWidget(central);
  statusList_->setObjectName(QStringLiteral("lstStatus"));
  statusList_->setAccessibleName(tr("Status"));
  statusList_->setFixedHeight(118);
  layout->addWidget(statusList_);
  setCentralWidget(central);
}

glyphkey::picCommand* MainWindow::addCommand(Command command, const QString& objectName,
                                             const QString& caption, QWidget* bar) {
  auto* button = new glyphkey::picCommand(bar);
  button->setObjectName(objectName);
  button->setCaption(caption);
  button->setCursor(Qt::PointingHandCursor);
  commands_[command] = button;
  return button;
}

QWidget* MainWindow::buildToolBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("toolBar"));
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(6, 4, 6, 4);
  row->setSpacing(6);
  const struct {
    Command command;
    const char* name;
    const char* caption;
  } tools[] = {{Command::Initialize, "picCmdInitialize", "Initialize"},
               {Command::Parameter, "picCmdParameter", "Parameter"},
               {Command::Motion, "picCmdMotion", "Motion"},
               {Command::Testing, "picCmdTesting", "Testing"},
               {Command::Exit, "picCmdExit", "Exit"}};
  for (const auto& t : tools)
    row->addWidget(
        addCommand(t.command, QString::fromLatin1(t.name), QString::fromLatin1(t.caption), bar));
  auto* initialize = commands_[Command::Initialize];
  connect(initialize, &glyphkey::picCommand::MouseDown, this, &MainWindow::initializePressed);
  connect(commands_[Command::Parameter], &glyphkey::picCommand::MouseDown, this,
          &MainWindow::parameterPressed);
  connect(commands_[Command::Motion], &glyphkey::picCommand::MouseDown, this,
          &MainWindow::motionPressed);
  connect(commands_[Command::Testing], &glyphkey::picCommand::MouseDown, this,
          &MainWindow::testingPressed);
  connect(commands_[Command::Testing], &glyphkey::picCommand::MouseUp, this,
          &MainWindow::testingReleased);
  connect(commands_[Command::Exit], &glyphkey::picCommand::MouseDown, this,
          &MainWindow::exitPressed);
  connect(commands_[Command::Exit], &glyphkey::picCommand::MouseUp, this,
          &MainWindow::exitReleased);
  row->addStretch(1);

  resetPicture_ = new PicturePair({QStringLiteral("picCmdReset(0)"), pictures::resetButton(false),
                                   tr("Reset: resets the motion library's groups")},
                                  {QStringLiteral("picCmdReset(1)"), pictures::resetButton(true),
                                   tr("Reset: resets the motion library's groups")},
                                  bar);
  resetPicture_->setObjectName(QStringLiteral("picCmdReset"));
  resetPicture_->setCursor(Qt::PointingHandCursor);
  connect(resetPicture_, &PicturePair::pressed, this, &MainWindow::resetPressed);
  connect(resetPicture_, &PicturePair::released, this, &MainWindow::resetReleased);
  resetCaption_ = new QLabel(QStringLiteral("Reset"), bar);
  resetCaption_->setObjectName(QStringLiteral("Label5"));
  row->addWidget(resetPicture_);
  row->addWidget(resetCaption_);
  return bar;
}

QWidget* MainWindow::buildPositionPanel() {
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("positionPanel"));
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(8);
  auto frame = [&](const QString& title, const QString& objectName, const char* prefix,
                   const QString& role, std::array<QLabel*, 4>& labels) {
    auto* box = new QGroupBox(title, panel);
    box->setObjectName(objectName);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    for (int a = 0; a < 4; ++a) {
      auto* axis = new QLabel(QStringLiteral("%1 :").arg(a), box);
      axis->setProperty("role", QStringLiteral("axis"));
      labels[a] = positionLabel(
          QStringLiteral("%1%2").arg(QLatin1String(prefix), QLatin1String(kAxisLetters[a])), role,
          box);
      grid->addWidget(axis, a, 0);
      grid->addWidget(labels[a], a, 1);
    }
    column->addWidget(box);
  };
  frame(QStringLiteral("Actual"), QStringLiteral("fraActual"), "lblActualPos",
        QStringLiteral("actual"), actual_);
  frame(QStringLiteral("Command"), QStringLiteral("fraCommand"), "lblCommPos",
        QStringLiteral("command"), commanded_);

  auto* home = new QHBoxLayout;
  homeLamp_ = new PicturePair({QStringLiteral("ledHome(0)"),
                               pictures::lamp(pictures::kDone, true, 18), tr("Homing finished")},
                              {QStringLiteral("ledHome(1)"),
                               pictures::lamp(pictures::kRunning, true, 18), tr("Homing runs")},
                              panel);
  homeLamp_->setObjectName(QStringLiteral("ledHome"));
  homeCaption_ = new QLabel(QStringLiteral("Home Finish"), panel);
  homeCaption_->setObjectName(QStringLiteral("lblHome"));
  home->addWidget(homeLamp_);
  home->addWidget(homeCaption_, 1);
  column->addLayout(home);
  column->addStretch(1);
  return panel;
}

QWidget* MainWindow::buildRunBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("runBar"));
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(6, 4, 6, 4);
  row->setSpacing(6);
  addCommand(Command::Run, QStringLiteral("picCmdRun"), QStringLiteral("Run"), bar);
  addCommand(Command::Stop, QStringLiteral("picCmdStop"), QStringLiteral("Stop"), bar);
  addCommand(Command::Hold, QStringLiteral("picCmdHold"), QStringLiteral("Hold"), bar);
  addCommand(Command::Continue, QStringLiteral("picCmdConti"), QStringLiteral("Continue"), bar);
  addCommand(Command::Abort, QStringLiteral("picCmdAbort"), QStringLiteral("Abort"), bar);
  for (Command c : {Command::Run, Command::Stop, Command::Hold, Command::Continue, Command::Abort})
    row->addWidget(commands_[c]);
  row->addStretch(1);
  // The bar keeps its height when every button is hidden.
  bar->setMinimumHeight(commands_[Command::Run]->sizeHint().height() + 8);
  using glyphkey::picCommand;
  connect(commands_[Command::Run], &picCommand::MouseDown, this, &MainWindow::runPressed);
  connect(commands_[Command::Run], &picCommand::MouseUp, this,
          [this] { setLook(Command::Stop, Look::Available); });
  connect(commands_[Command::Stop], &picCommand::MouseDown, this, &MainWindow::stopPressed);
  connect(commands_[Command::Stop], &picCommand::MouseUp, this,
          [this] { setLook(Command::Run, Look::Available); });
  connect(commands_[Command::Hold], &picCommand::MouseDown, this, &MainWindow::holdPressed);
  connect(commands_[Command::Continue], &picCommand::MouseDown, this, &MainWindow::continuePressed);
  connect(commands_[Command::Abort], &picCommand::MouseDown, this, &MainWindow::abortPressed);
  return bar;
}

QMdiSubWindow* MainWindow::addChild(QWidget* form, const QString& title) {
  auto* sub = new QMdiSubWindow(mdi_);
  sub->setWidget(form);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  // Fixed size, at the top left; no maximize, minimize or close of their own:
  // the tool bar opens and closes the forms.
  sub->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  sub->setWindowTitle(title);
  sub->setFixedSize(form->property("childSize").toSize().isValid()
                        ? form->property("childSize").toSize()
                        : childFormSize(logicalDpiX()));
  mdi_->addSubWindow(sub);
  sub->move(0, 0);
  sub->show();
  return sub;
}

void MainWindow::closeChild(QWidget* form) {
  if (!form) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget())) {
    mdi_->removeSubWindow(sub);
    sub->deleteLater();
  }
  form->hide();
  form->deleteLater();
}

// ---------------------------------------------------------------- Frame

void MainWindow::addStatus(const QString& message) {
  statusList_->addItem(message);
  statusList_->setCurrentRow(statusList_->count() - 1);
}

void MainWindow::setLook(Command command, Look look) {
  if (look == Look::Available) {
    commands_[command]->setPicBlue(true);
  } else {
    commands_[command]->setPicGray(true);
  }
}

void MainWindow::setCommandVisible(Command command, bool visible) {
  commands_[command]->setVisible(visible);
}

void MainWindow::setTimerEnabled(Timer timer, bool enabled) {
  QTimer& t = timer == Timer::Status    ? statusTimer_
              : timer == Timer::Encoder ? encoderTimer_
                                        : homeTimer_;
  if (!enabled) {
    t.stop();
  } else if (!t.isActive()) {
    t.start();
  }
}

bool MainWindow::timerEnabled(Timer timer) const {
  const QTimer& t = timer == Timer::Status    ? statusTimer_
                    : timer == Timer::Encoder ? encoderTimer_
                                              : homeTimer_;
  return t.isActive();
}

void MainWindow::setHomeIndicator(HomeIndicator indicator) {
  homeLamp_->show(indicator == HomeIndicator::Hidden    ? PicturePair::Shown::None
                  : indicator == HomeIndicator::Running ? PicturePair::Shown::Second
                                                        : PicturePair::Shown::First);
  homeCaption_->setVisible(indicator != HomeIndicator::Hidden);
}

bool MainWindow::writeParameterFile() {
  if (!state_.parametersLoaded) return true;  // nothing read, so nothing of the file to write
  if (const auto error = saveParameterFile(options_.parameterFile, state_.parameters)) {
    platform::msgbox::show(
        tr("The machine parameters were not saved: %1").arg(*error).toStdString(), "Error");
    addStatus(QStringLiteral(" Parameter file not written: ") + *error);
    return false;
  }
  return true;
}

void MainWindow::unload(Form form) {
  switch (form) {
    case Form::Parameter:
      closeChild(parameterForm_);
      parameterForm_ = nullptr;
      break;
    case Form::Motion:
      closeChild(motionForm_);
      motionForm_ = nullptr;
      break;
    case Form::Testing:
      closeChild(editorForm_);  // the editor belongs to the testing form
      editorForm_ = nullptr;
      closeChild(testingForm_);
      testingForm_ = nullptr;
      break;
    case Form::Editor:
      closeChild(editorForm_);
      editorForm_ = nullptr;
      break;
  }
}

void MainWindow::showEditor() {
  if (!testingForm_) return;
  unload(Form::Motion);
  if (!editorForm_) {
    editorForm_ = new EditorForm(state_, *this, *testingForm_);
    addChild(editorForm_, tr("Editor"));
  }
  editorForm_->parentWidget()->raise();
  editorForm_->setFocus();
}

// ---------------------------------------------------------------- tool bar

void MainWindow::initializePressed() {
  if (state_.parameterFormOpen) {
    // A form still on screen stays there.
    state_.parameterFormOpen = false;
    state_.applyAfterInit = true;
    setLook(Command::Parameter, Look::Available);
  }
  if (state_.initialised) {
    // Initialize again: the running library is closed first, as a second
    // VNL_InitSystem on a running library would open its card twice.
    simulationTimer_.stop();
    lib_.CloseSystem();
    state_.initialised = false;
  }
  if (options_.simulation) lib_.EnableSimulation();
  const CardConfig card{options_.cardType, 576, 0, 0};
  const int32_t result = lib_.InitSystem(kInterpolationMs, &card, 1);
  state_.exiting = false;
  setCommandVisible(Command::Exit, true);
  if (result != 0) {
    state_.initialised = false;
    std::fprintf(stderr,
                 "Tervane: the motion library did not initialise (VNL_InitSystem returned %d); "
                 "the program ends without writing the parameter file\n",
                 static_cast<int>(result));
    emit finished(2);
    return;
  }
  addStatus(QStringLiteral(" Initialize Successful  "));
  sendSettings(lib_, state_.parameters);
  state_.initialised = true;
  if (options_.simulation) simulationTimer_.start();
  for (Command c : {Command::Motion, Command::Testing}) {
    setCommandVisible(c, true);
    setLook(c, Look::Available);
  }
  resetPicture_->show(PicturePair::Shown::First);
  resetCaption_->show();
}

void MainWindow::parameterPressed() {
  state_.parameterFormOpen = true;
  for (Timer t : {Timer::Encoder, Timer::Status, Timer::Home})
    setTimerEnabled(t, false);
  if (!parameterForm_) {
    parameterForm_ = new ParameterForm(state_, lib_, *this);
    addChild(parameterForm_, tr("Parameter"));
  }
  parameterForm_->parentWidget()->raise();
  setLook(Command::Motion, Look::Unavailable);
  setLook(Command::Testing, Look::Unavailable);
  if (motionForm_) {
    closeMotionForm();
    addStatus(QStringLiteral(" Must Update Machine Parameter"));
    addStatus(QStringLiteral(" Call VNL_UpdateMachParam"));
  }
  if (testingForm_) {
    closeTestingForm();
    addStatus(QStringLiteral(" Must Update Machine Parameter "));
    addStatus(QStringLiteral(" Call VNL_UpdateMachParam"));
  }
  for (Command c : {Command::Run, Command::Stop, Command::Hold, Command::Abort, Command::Continue})
    setCommandVisible(c, false);
}

void MainWindow::closeMotionForm() {
  state_.repeat = false;  // the repeat loop lives on the general-motion page
  unload(Form::Motion);
  state_.motionFormOpen = false;
}

void MainWindow::closeTestingForm() {
  unload(Form::Testing);
  state_.testingFormOpen = false;
}

void MainWindow::motionPressed() {
  setTimerEnabled(Timer::Status, true);
  state_.operationMode = OperationMode::GeneralMotion;
  if (testingForm_) {
    setLook(Command::Testing, Look::Available);
    closeTestingForm();
    state_.list.entries.clear();
    state_.currentListIndex = 0;
  }
  state_.motionFormOpen = true;
  if (parameterForm_) {
    unload(Form::Parameter);
    state_.parameterFormOpen = false;
    setLook(Command::Parameter, Look::Available);
  }
  if (!motionForm_) {
    motionForm_ = new MotionForm(state_, lib_, *this);
    addChild(motionForm_, tr("Motion"));
  }
  motionForm_->parentWidget()->raise();
  // The page last chosen, and what Run does follows it (general motion for
  // a form never shown before).
  motionForm_->selectPage(state_.motionPage);
}

void MainWindow::testingPressed() {
  setTimerEnabled(Timer::Status, false);
  setTimerEnabled(Timer::Encoder, false);
  state_.testingFormOpen = true;
  setHomeIndicator(HomeIndicator::Hidden);
  state_.operationMode = OperationMode::ListTest;
  if (motionForm_) {
    closeMotionForm();
    setLook(Command::Motion, Look::Available);
  }
  if (parameterForm_) {
    unload(Form::Parameter);
    state_.parameterFormOpen = false;
    setLook(Command::Parameter, Look::Available);
  }
  setCommandVisible(Command::Run, true);
  setLook(Command::Run, Look::Available);
  setCommandVisible(Command::Stop, true);
  setLook(Command::Stop, Look::Unavailable);
  setLook(Command::Testing, Look::Unavailable);
  for (Command c : {Command::Hold, Command::Continue, Command::Abort})
    setCommandVisible(c, false);
}

void MainWindow::testingReleased() {
  lib_.ResetMotion();
  lib_.ResetCommandIndex(0);
  if (!testingForm_) {
    testingForm_ = new TestingForm(state_, lib_, *this);
    addChild(testingForm_, tr("Testing"));
  }
  testingForm_->parentWidget()->raise();
}

void MainWindow::exitPressed() {
  setTimerEnabled(Timer::Encoder, false);
  setTimerEnabled(Timer::Status, false);
  // Also the homing timer and the posting: nothing may call the library
  // once it is closed.
  setTimerEnabled(Timer::Home, false);
  postingTimer_.stop();
  poster_.reset();
  state_.repeat = false;
  state_.listRunning = false;
  setLook(Command::Initialize, Look::Available);
  for (Command c : {Command::Motion, Command::Testing, Command::Run, Command::Stop, Command::Hold,
                    Command::Abort, Command::Continue})
    setCommandVisible(c, false);
  setHomeIndicator(HomeIndicator::Hidden);
  resetCaption_->hide();
  resetPicture_->show(PicturePair::Shown::None);
  if (parameterForm_) {
    unload(Form::Parameter);
    state_.parameterFormOpen = false;
    setLook(Command::Parameter, Look::Available);
  }
  closeMotionForm();
  closeTestingForm();
  if (state_.initialised) {
    simulationTimer_.stop();
    lib_.CloseSystem();
    state_.initialised = false;
  }
  state_.exiting = true;
}

void MainWindow::exitReleased() {
  if (!state_.exiting) return;  // a release without its press
  writeParameterFile();
  emit finished(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The window manager's close goes through Exit, so the library is closed
  // and the parameter file written.
  event->ignore();
  if (!state_.exiting) exitPressed();
  exitReleased();
}

// ---------------------------------------------------------------- run bar

void MainWindow::runPressed() {
  setLook(Command::Stop, Look::Available);
  setTimerEnabled(Timer::Encoder, true);
  state_.stop = false;
  state_.listRunning = false;
  switch (state_.operationMode) {
    case OperationMode::GeneralMotion:
      runGeneralMotion();
      break;
    case OperationMode::Jog:
      break;
    case OperationMode::Home:
      runHome();
      break;
    case OperationMode::ListTest:
      runList();
      break;
  }
}

void MainWindow::runGeneralMotion() {
  if (!motionForm_) return;
  motionForm_->setOptionEnabled(MotionOption::Jog, false);
  motionForm_->setOptionEnabled(MotionOption::Home, false);
  // The loop runs when the Repeat box shows ticked: a flag left set while
  // another page showed the box unticked does not start one.
  state_.repeat = motionForm_->repeatTicked();
  const double d0 = toUnits(valueOrZero(motionForm_->destinationText(0)));
  const double d1 = toUnits(valueOrZero(motionForm_->destinationText(1)));
  const double d2 = toUnits(valueOrZero(motionForm_->destinationText(2)));
  const auto delay = delayPeriods(static_cast<int32_t>(valueOrZero(motionForm_->delayText())));
  const double speed = toUnits(valueOrZero(motionForm_->motionSpeedText()));
  lib_.SetFeedSpeed(speed, 0);
  if (!state_.repeat) {
    lib_.Line(d0, d1, d2, 0, 0, 0, 0);
    addStatus(QStringLiteral(" Run Line Motion ... "));
    return;
  }
  setLook(Command::Run, Look::Unavailable);
  setLook(Command::Stop, Look::Available);
  motionForm_->hideRepeatUntickedPicture();
  startPosting(repeatPass(d0, d1, d2, static_cast<uint32_t>(delay)), true);
}

void MainWindow::runHome() {
  state_.repeat = false;
  setLook(Command::Stop, Look::Available);
  if (!motionForm_) return;
  motionForm_->setHomeInputsEnabled(false);
  std::array<double, 4> speed{};
  for (int a = 0; a < 4; ++a) {
    speed[a] = toUnits(valueOrZero(motionForm_->homeSpeedText(a)));
    if (speed[a] != 0 && speed[a] < 1) {
      speed[a] = 1;
      motionForm_->setHomeSpeedText(a, QStringLiteral("500"));
      addStatus(a == 1 ? QStringLiteral(" Home Speed Must be Greater than PPR ")
                       : QStringLiteral(" Home Speed Must More than PPR "));
    }
  }
  const auto& order = state_.motion.homeOrder;
  lib_.GoHome(speed[0], speed[1], speed[2], speed[3], 0, 0, order[0], order[1], order[2], order[3],
              255, 255, 0);
  addStatus(QStringLiteral(" Run Home ... "));
  setTimerEnabled(Timer::Home, true);
}

void MainWindow::runList() {
  state_.repeat = false;
  lib_.SetIncrease(0);
  state_.parameters.coordinateMode = 0;
  if (testingForm_ && !testingForm_->firstLineEmpty()) {
    state_.listRunning = true;
    startPosting(listCalls(state_.list), false);
  } else {
    addStatus(QStringLiteral(" No Function in ListBox"));
  }
}

void MainWindow::startPosting(std::vector<MotionCall> calls, bool cyclic) {
  poster_.emplace(std::move(calls), cyclic);
  postingList_ = !cyclic;
  postingTimer_.setInterval(0);
  postingTimer_.start();
  postingTick();  // the first commands go out at once
}

void MainWindow::postingTick() {
  // The loop ends when the operator unticks Repeat or leaves the page (repeat
  // flag cleared), or the list run is stopped; Stop suspends the repeat loop.
  const bool wanted = poster_ && (postingList_ ? state_.listRunning : state_.repeat);
  if (!wanted) {
    postingTimer_.stop();
    poster_.reset();
    return;
  }
  if (!postingList_ && state_.stop) {
    postingTimer_.setInterval(kQueueFullRetryMs);
    return;
  }
  switch (poster_->postSome(lib_, kPostsPerTick)) {
    case Poster::Outcome::Done:
      postingTimer_.stop();
      poster_.reset();
      break;
    case Poster::Outcome::QueueFull:
      postingTimer_.setInterval(kQueueFullRetryMs);
      break;
    case Poster::Outcome::Posted:
      postingTimer_.setInterval(0);
      break;
  }
}

void MainWindow::stopPressed() {
  state_.stop = true;
  switch (state_.operationMode) {
    case OperationMode::GeneralMotion:
      lib_.AbortMotion(0);
      if (motionForm_) {
        motionForm_->setOptionEnabled(MotionOption::Jog, true);
        motionForm_->setOptionEnabled(MotionOption::Home, true);
      }
      addStatus(QStringLiteral(" Stop Motion ... "));
      break;
    case OperationMode::Home:
      if (motionForm_) motionForm_->setHomeInputsEnabled(true);
      lib_.AbortGoHome();
      if (motionForm_) {
        motionForm_->setOptionEnabled(MotionOption::Jog, true);
        motionForm_->setOptionEnabled(MotionOption::GeneralMotion, true);
      }
      addStatus(QStringLiteral(" Home Stop ... "));
      break;
    case OperationMode::ListTest:
      state_.listRunning = false;
      lib_.AbortMotion(0);
      break;
    case OperationMode::Jog:
      break;
  }
}

void MainWindow::holdPressed() {
  setLook(Command::Continue, Look::Available);
  setLook(Command::Abort, Look::Available);
  lib_.HoldMotion(0);
  addStatus(QStringLiteral(" Jog Hold ... "));
}

void MainWindow::continuePressed() {
  setLook(Command::Abort, Look::Unavailable);
  setLook(Command::Hold, Look::Available);
  lib_.ContiMotion(0);
  addStatus(QStringLiteral(" Jog Continue ... "));
}

void MainWindow::abortPressed() {
  setLook(Command::Continue, Look::Unavailable);
  setLook(Command::Hold, Look::Available);
  if (motionForm_) motionForm_->setJogButtonsEnabled(true);
  lib_.AbortMotion(0);
  addStatus(QStringLiteral(" Jog Abort... "));
  if (motionForm_) {
    motionForm_->setOptionEnabled(MotionOption::GeneralMotion, true);
    motionForm_->setOptionEnabled(MotionOption::Home, true);
  }
}

void MainWindow::resetPressed() {
  resetPicture_->show(PicturePair::Shown::Second);
  lib_.ResetMotion();
  if (motionForm_ && motionForm_->optionEnabled(MotionOption::Jog)) {
    for (Command c : {Command::Hold, Command::Abort, Command::Continue})
      setLook(c, Look::Unavailable);
  }
  if (motionForm_ && motionForm_->optionEnabled(MotionOption::GeneralMotion)) {
    setLook(Command::Run, Look::Available);
    setLook(Command::Stop, Look::Unavailable);
  }
}

void MainWindow::resetReleased() {
  resetPicture_->show(PicturePair::Shown::First);
}

// ---------------------------------------------------------------- timers

void MainWindow::statusTick() {
  for (int a = 0; a < 4; ++a) {
    const auto axis = static_cast<uint16_t>(a);
    int16_t s = 0;
    lib_.GetLimitSwitchStatus(&s, 1, axis, 0);
    if (motionForm_) motionForm_->showOverTravelUp(a, s == 1);
    if (s == 1) lib_.AbortMotion(0);
    s = 0;
    lib_.GetLimitSwitchStatus(&s, 0, axis, 0);
    if (motionForm_) motionForm_->showOverTravelDown(a, s == 1);
    if (s == 1) lib_.AbortMotion(0);
    s = 0;
    lib_.GetHomeSensorStatus(&s, axis, 0);
    if (motionForm_) motionForm_->showHomeSensor(a, s == 1);
  }
}

void MainWindow::showPositions() {
  if (state_.parameters.encoderReading) {
    for (int a = 0; a < 4; ++a)
      lib_.GetENCValue(&state_.encoder[a], static_cast<uint16_t>(a), 0);
  }
  for (int a = 0; a < 4; ++a)
    actual_[a]->setText(QString::number(state_.encoder[a]));
  double p[6] = {};
  lib_.GetCurPos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
  for (int a = 0; a < 4; ++a) {
    state_.commandPosition[a] = p[a];
    // Whole pulses: a position read back in units is a multiple of 1/500.
    const double pulses = roundHalfEven(toPulses(p[a]));
    state_.shownCommandPosition[a] = static_cast<int32_t>(pulses);
    commanded_[a]->setText(QString::number(state_.shownCommandPosition[a]));
  }
}

void MainWindow::offerOtherPages(bool stopped) {
  const Look look = stopped ? Look::Available : Look::Unavailable;
  setLook(Command::Testing, look);
  setLook(Command::Parameter, look);
}

void MainWindow::encoderTick() {
  const std::array<int32_t, 4> previous = state_.shownCommandPosition;
  showPositions();
  switch (state_.operationMode) {
    case OperationMode::GeneralMotion: {
      const bool stopped = lib_.GetMotionStatus(0) == 1;
      if (stopped) {
        setLook(Command::Run, Look::Available);
        setLook(Command::Stop, Look::Unavailable);
        if (motionForm_) {
          motionForm_->setOptionEnabled(MotionOption::Jog, true);
          motionForm_->setOptionEnabled(MotionOption::Home, true);
        }
      }
      offerOtherPages(stopped);
      break;
    }
    case OperationMode::Jog: {
      const bool stopped = lib_.GetMotionStatus(0) == 1;
      if (stopped) {
        setLook(Command::Hold, Look::Unavailable);
        if (motionForm_) {
          motionForm_->setJogButtonsEnabled(true);
          motionForm_->setOptionEnabled(MotionOption::GeneralMotion, true);
          motionForm_->setOptionEnabled(MotionOption::Home, true);
        }
      }
      offerOtherPages(stopped);
      break;
    }
    case OperationMode::ListTest: {
      // The status first: once the group has stopped, the position read
      // after it is the end of the list, so the trace reaches it in this tick.
      const bool stopped = lib_.GetMotionStatus(0) == 1;
      if (stopped) showPositions();
      if (testingForm_)
        testingForm_->drawTrace(
            QPointF(previous[0], previous[1]),
            QPointF(state_.shownCommandPosition[0], state_.shownCommandPosition[1]));
      if (state_.listRunning) {
        CurrentCommandInfo info{};
        lib_.get_cur_command(&info, 0);
        if (testingForm_) testingForm_->selectLine(info.nIndex);
      }
      if (stopped) {
        setLook(Command::Run, Look::Available);
        setLook(Command::Stop, Look::Unavailable);
        state_.listRunning = false;
        lib_.ResetCommandIndex(0);
        setLook(Command::Motion, Look::Available);
        setLook(Command::Parameter, Look::Available);
      } else {
        setLook(Command::Motion, Look::Unavailable);
      }
      break;
    }
    case OperationMode::Home:
      break;
  }
}

void MainWindow::homeTick() {
  if (lib_.GetGoHomeStatus() == 1) {
    setHomeIndicator(HomeIndicator::Finished);
    setTimerEnabled(Timer::Home, false);
    setLook(Command::Run, Look::Available);
    setLook(Command::Stop, Look::Unavailable);
    if (motionForm_) {
      motionForm_->setHomeInputsEnabled(true);
      motionForm_->setOptionEnabled(MotionOption::Jog, true);
      motionForm_->setOptionEnabled(MotionOption::GeneralMotion, true);
    }
    addStatus(QStringLiteral(" Home Finish ... "));
    setTimerEnabled(Timer::Encoder, true);
    setLook(Command::Testing, Look::Available);
    setLook(Command::Parameter, Look::Available);
    return;
  }
  const bool stopped = lib_.GetMotionStatus(0) == 1;
  if (motionForm_) {
    motionForm_->setOptionEnabled(MotionOption::GeneralMotion, stopped);
    motionForm_->setOptionEnabled(MotionOption::Jog, stopped);
  }
  if (!stopped) homeLamp_->show(PicturePair::Shown::Second);
  offerOtherPages(stopped);
}

}  // namespace tervane
