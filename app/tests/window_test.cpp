// The operator program's windows against the recording stand-in of the
// motion library: the order and arguments of the library calls each button,
// box and timer makes, what the forms show, and the faults the operator can
// run into.
#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "harness.h"
#include "recorder.h"
#include "state/parameter_file.h"
#include "widgets/plot_view.h"
#include "widgets/tick_box.h"

using namespace tervane;
using tervane::testing::Harness;

namespace {

std::vector<std::string> namesOf(const std::vector<vnl_recorder::Call>& calls) {
  std::vector<std::string> names;
  for (const auto& c : calls)
    names.push_back(c.name);
  return names;
}

std::vector<double> argsOf(const vnl_recorder::Call& c) {
  std::vector<double> v;
  for (const auto& a : c.args)
    v.push_back(a.value);
  return v;
}

QString fileText(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

void writeFile(const QString& path, const QByteArray& text) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text);
}

// The colour drawn at a world point: the closest to `colour` of the pixels
// within one pixel of it (the strokes are antialiased).
QColor colourAt(PlotView* plot, double x, double y, QColor colour = kPaletteLightMagenta) {
  const QPoint at = plot->imagePoint({x, y}).toPoint();
  QColor best = plot->image().pixelColor(at);
  auto distance = [&colour](QColor c) {
    return std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
           std::abs(c.blue() - colour.blue());
  };
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) {
      const QColor c = plot->image().pixelColor(at + QPoint(dx, dy));
      if (distance(c) < distance(best)) best = c;
    }
  return distance(best) < 40 ? colour : best;
}

// The group stops or moves, as VNL_GetMotionStatus reports it.
void groupStopped(bool stopped) {
  vnl_recorder::setResult("VNL_GetMotionStatus", stopped ? 1 : 0);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Harness> h;

  void initialized() {
    h->firstRun();
    vnl_recorder::clearCalls();
  }
  MotionForm* openMotion() {
    h->click(Command::Motion);
    return h->w().motionForm();
  }

 private slots:
  void cleanupTestCase() { tervane::testing::endQtPoolThreads(); }
  void init() {
    vnl_recorder::reset();
    h = std::make_unique<Harness>(TV_RECORDER_FILE);
  }
  void cleanup() {
    QVERIFY2(h->fatal.isEmpty(), qPrintable(h->fatal));
    h.reset();
    // No form, timer or window is left behind.
    QTRY_COMPARE(QApplication::topLevelWidgets().size(), 0);
  }

  void startsWithParameterAndExitOnly() {
    QCOMPARE(h->w().windowTitle(), QStringLiteral("Tervane Ver.1.0"));
    QVERIFY(!(h->w().windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(h->w().windowFlags() & Qt::WindowCloseButtonHint));
    for (Command c : {Command::Parameter, Command::Exit})
      QVERIFY(h->visible(c));
    for (Command c : {Command::Initialize, Command::Motion, Command::Testing, Command::Run,
                      Command::Stop, Command::Hold, Command::Continue, Command::Abort})
      QVERIFY(!h->visible(c));
    for (Timer t : {Timer::Status, Timer::Encoder, Timer::Home})
      QVERIFY(!h->w().timerEnabled(t));
    QCOMPARE(h->find<QLabel>("lblActualPosX")->text(), QStringLiteral("0"));
    QCOMPARE(h->find<QLabel>("lblCommPosU")->text(), QStringLiteral("0"));
    QCOMPARE(h->state().motion.destination, (std::array<int32_t, 3>{1000, 1000, 1000}));
    QVERIFY(vnl_recorder::calls().empty());  // nothing binds the library before it is needed
  }

  void parameterFormOpensWithTheDefaultsOfAMissingFile() {
    h->click(Command::Parameter);
    ParameterForm* form = h->w().parameterForm();
    QVERIFY(form);
    QCOMPARE(form->parentWidget()->size(), QSize(693, 391));
    QCOMPARE(form->parentWidget()->pos(), QPoint(0, 0));
    QCOMPARE(h->find<QLineEdit>("txtMaxSpeed")->text(), QStringLiteral("50000"));
    auto* axis = h->find<QComboBox>("cboAxis");
    for (int a = 0; a < 4; ++a) {
      axis->setCurrentIndex(a);
      QCOMPARE(h->find<QLineEdit>("txtHighLimit")->text(), QStringLiteral("100000"));
      QCOMPARE(h->find<QLineEdit>("txtLowLimit")->text(), QStringLiteral("-100000"));
      QCOMPARE(h->find<QComboBox>("cboPulseMode")->currentText(), QStringLiteral("CW/CCW"));
    }
    QCOMPARE(h->find<QLineEdit>("txtAccTime")->text(), QStringLiteral("200"));
    QCOMPARE(h->find<QLineEdit>("txtDecTime")->text(), QStringLiteral("200"));
    QCOMPARE(h->state().parameters.accelerationSteps, 40);
    QCOMPARE(h->state().parameters.accelerationType, 'T');
    QVERIFY(h->state().parameters.encoderReading);
    QVERIFY(!h->available(Command::Motion));
    QCOMPARE(h->find<QLineEdit>("txtMaxSpeed")->toolTip(), QStringLiteral("VNL_SetSysMaxSpeed"));
    QCOMPARE(h->find<QComboBox>("cboInPosition")->toolTip(), QStringLiteral("VNL_DisableInPos"));
  }

  void settingAndInitializeCallTheLibraryInOrder() {
    h->click(Command::Parameter);
    auto* setting = h->find<SettingButton>("CmdParaSetting");
    QTest::mousePress(setting, Qt::LeftButton);
    QVERIFY(setting->sunken());
    auto names = vnl_recorder::names();
    QCOMPARE(names.size(), 7u);
    QCOMPARE(names.front(), std::string("VNL_SetSysMaxSpeed"));
    QCOMPARE(vnl_recorder::calls().front().arg(0), 100.0);
    QTest::mouseRelease(setting, Qt::LeftButton);
    QVERIFY(!h->w().parameterForm());
    QVERIFY(h->state().parameterFormOpen);  // Setting leaves the flag set
    QVERIFY(h->visible(Command::Initialize));
    QVERIFY(fileText(h->parameterFile()).contains(QStringLiteral("PulseMode(3)=1")));

    vnl_recorder::clearCalls();
    h->click(Command::Initialize);
    const auto calls = vnl_recorder::calls();
    QVERIFY(!calls.empty());
    QCOMPARE(calls[0].name, std::string("VNL_InitSystem"));
    QCOMPARE(argsOf(calls[0])[0], 5.0);
    QVERIFY(calls[0].cardConfig);
    QCOMPARE(calls[0].cardConfig->wCardType, 2);
    QCOMPARE(calls[0].cardConfig->wParam1, 576);
    QCOMPARE(calls[0].cardConfig->wParam2, 0);
    QCOMPARE(calls[0].arg(2), 1.0);
    const std::vector<std::string> sequence{"VNL_InitSystem",
                                            "VNL_SetIncrease",
                                            "VNL_SetOverTravelCheck",
                                            "VNL_EnableLimitSwitchCheck",
                                            "VNL_SetUnit",
                                            "VNL_SetAccStep",
                                            "VNL_SetAccType",
                                            "VNL_SetDecStep",
                                            "VNL_SetDecType",
                                            "VNL_SetPtPAccStep",
                                            "VNL_SetPtPAccType",
                                            "VNL_SetPtPDecStep",
                                            "VNL_SetPtPDecType"};
    QCOMPARE(namesOf(calls), sequence);
    QVERIFY(h->state().applyAfterInit);
    QVERIFY(!h->state().parameterFormOpen);
    QVERIFY(h->state().initialised);
    QCOMPARE(h->status(), QStringLiteral(" Initialize Successful  "));
    QVERIFY(h->visible(Command::Motion) && h->available(Command::Motion));
    QVERIFY(!h->find("picCmdReset(0)")->isHidden());
    QVERIFY(h->find("picCmdReset(1)")->isHidden());

    // Every later Setting also updates the running library; a later
    // Initialize with the form closed leaves applyAfterInit as it is.
    h->click(Command::Parameter);
    vnl_recorder::clearCalls();
    QTest::mouseClick(h->find<SettingButton>("CmdParaSetting"), Qt::LeftButton);
    names = vnl_recorder::names();
    QVERIFY(names.size() > 8);
    QCOMPARE(names[7], std::string("VNL_UpdateMachParam"));
    vnl_recorder::clearCalls();
    h->click(Command::Initialize);  // the form's flag was still set: stays set
    QVERIFY(h->state().applyAfterInit);
    // The running library is closed before it is initialised again.
    names = vnl_recorder::names();
    QCOMPARE(std::vector<std::string>(names.begin(), names.begin() + 2),
             (std::vector<std::string>{"VNL_CloseSystem", "VNL_InitSystem"}));
    h->click(Command::Initialize);  // flag clear now
    QVERIFY(h->state().applyAfterInit);
  }

  void exitBeforeInitializeClosesNothingAndWritesTheFile() {
    h->click(Command::Parameter);
    h->find<QLineEdit>("txtMaxSpeed")->setText(QStringLiteral("42000"));
    vnl_recorder::clearCalls();
    h->click(Command::Exit);
    QVERIFY(vnl_recorder::callsOf("VNL_CloseSystem").empty());
    QCOMPARE(h->finished, 0);
    QVERIFY(fileText(h->parameterFile()).contains(QStringLiteral("MaxSpeed=42000")));
  }

  void exitWithoutLoadingTheFormKeepsTheFile() {
    writeFile(h->parameterFile(), "[Parameter]\nMaxSpeed=12345\n");
    h->click(Command::Exit);
    QCOMPARE(h->finished, 0);
    QCOMPARE(fileText(h->parameterFile()), QStringLiteral("[Parameter]\nMaxSpeed=12345\n"));
  }

  void exitClosesTheRunningLibraryAndStopsTheTimers() {
    initialized();
    openMotion();
    QVERIFY(h->w().timerEnabled(Timer::Status));
    h->press(Command::Exit);
    QCOMPARE(namesOf(vnl_recorder::calls()), std::vector<std::string>{"VNL_CloseSystem"});
    for (Timer t : {Timer::Status, Timer::Encoder, Timer::Home})
      QVERIFY(!h->w().timerEnabled(t));
    QVERIFY(!h->w().motionForm());
    QVERIFY(h->state().exiting);
    QVERIFY(!h->finished);
    h->release(Command::Exit);
    QCOMPARE(h->finished, 0);
  }

  void theWindowManagersCloseGoesThroughExit() {
    initialized();
    h->w().close();
    QCOMPARE(vnl_recorder::callsOf("VNL_CloseSystem").size(), 1u);
    QCOMPARE(h->finished, 0);
  }

  void aFailedInitializeEndsWithoutWritingTheFile() {
    h->firstRun();  // Setting wrote the file once
    QFile::remove(h->parameterFile());
    vnl_recorder::clearCalls();
    vnl_recorder::setResult("VNL_InitSystem", -1);
    h->click(Command::Initialize);
    QCOMPARE(h->finished, 2);
    QVERIFY(!h->state().initialised);
    QVERIFY(!QFile::exists(h->parameterFile()));
    QVERIFY(vnl_recorder::callsOf("VNL_SetIncrease").empty());  // no settings sent
  }

  void theFileIsReadThroughNineCharactersAndJunkGivesDefaults() {
    writeFile(h->parameterFile(),
              "[Parameter]\nMaxSpeed=123456789012\nHighLimit(0)=999\nLowLimit(0)=-999\n"
              "PulseMode(0)=7\nHomeType(1)=2\nEncoderType(2)=3\nCoordinateMode=1\n"
              "AccTime=152\nDecTime=157\nAccelerationCurve=1\n");
    h->click(Command::Parameter);
    const auto& p = h->state().parameters;
    QCOMPARE(p.maxSpeed, 123456789.0);
    QCOMPARE(p.highLimitUnits[0], 1.0);
    QCOMPARE(p.lowLimitUnits[0], -1.0);
    QCOMPARE(p.pulseMode[0], int16_t(1));  // out of the list: the default
    QVERIFY(h->status().contains(QStringLiteral("PulseMode(0)")));
    QCOMPARE(p.accelerationSteps, 30);
    QCOMPARE(p.decelerationSteps, 31);
    QCOMPARE(p.accelerationType, 'S');
    QCOMPARE(p.coordinateMode, int16_t(0));  // the mode held in memory
    QCOMPARE(h->find<QComboBox>("cboCoordinateMode")->currentText(), QStringLiteral("Relative"));
    QVERIFY(vnl_recorder::callsOf("VNL_SetIncrease").empty());  // nothing sent at load
    QVERIFY(p.encoderReading);                                  // axis 3 came last with A/B
    // Index Sensor Only disables the leave-home list for its axis only.
    auto* axis = h->find<QComboBox>("cboAxis");
    auto* leave = h->find<QComboBox>("cboLeftHome");
    QVERIFY(leave->isEnabled());
    axis->setCurrentIndex(1);
    QVERIFY(!leave->isEnabled());
    axis->setCurrentIndex(2);
    QVERIFY(leave->isEnabled());
    h->find<QComboBox>("cboHomeType")->setCurrentIndex(2);
    QVERIFY(!leave->isEnabled());
    QCOMPARE(h->state().parameters.homeType[2], int16_t(2));
    axis->setCurrentIndex(0);
    QVERIFY(leave->isEnabled());
    // Disable on any axis switches the encoder display off, another type on.
    h->find<QComboBox>("cboEncoderType")->setCurrentIndex(3);
    QVERIFY(!h->state().parameters.encoderReading);
    h->find<QComboBox>("cboEncoderType")->setCurrentIndex(1);
    QVERIFY(h->state().parameters.encoderReading);
    // Choosing Absoulte sends it at once.
    h->find<QComboBox>("cboCoordinateMode")->setCurrentIndex(1);
    QCOMPARE(namesOf(vnl_recorder::calls()).back(), std::string("VNL_SetAbsolute"));
    QCOMPARE(h->find<QComboBox>("cboCoordinateMode")->toolTip(), QStringLiteral("VNL_SetAbsolute"));
  }

  void parameterBoxesTakeOnlyTheirKeys_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    QTest::newRow("digits only") << "txtMaxSpeed"
                                 << "12a-3"
                                 << "123"
                                 << "";
    QTest::newRow("eight at most") << "txtHighLimit"
                                   << "1234567890"
                                   << "12345678"
                                   << "";
    QTest::newRow("minus alone ignored") << "txtLowLimit"
                                         << "-"
                                         << "-"
                                         << "";
    QTest::newRow("minus inside") << "txtLowLimit"
                                  << "5-"
                                  << "0"
                                  << "Error: Error";
    QTest::newRow("leading zeros") << "txtAccTime"
                                   << "0070"
                                   << "70"
                                   << "";
    QTest::newRow("over 32 bits") << "txtDecTime"
                                  << "9999999999"
                                  << "0"
                                  << "Error: Error";
  }
  void parameterBoxesTakeOnlyTheirKeys() {
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    h->click(Command::Parameter);
    auto* edit = h->find<QLineEdit>(qPrintable(box));
    edit->clear();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(h->messages.join(u'|'), message);
  }

  void aPastedTextIsFilteredLikeTypedKeys() {
    h->click(Command::Parameter);
    auto* edit = h->find<QLineEdit>("txtMaxSpeed");
    edit->selectAll();
    edit->insert(QStringLiteral("7 500x0"));  // what a paste does
    QCOMPARE(edit->text(), QStringLiteral("75000"));
    QCOMPARE(h->state().parameters.maxSpeed, 75000.0);
  }

  void tickBoxesToggleAndHighlight() {
    h->click(Command::Parameter);
    auto* box = h->find<TickBox>("picchkZ");
    QCOMPARE(box->look(), pictures::TickLook::Unticked);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(box, &enter);
    QCOMPARE(box->look(), pictures::TickLook::UntickedHighlighted);
    QTest::mousePress(box, Qt::LeftButton);
    QCOMPARE(box->look(), pictures::TickLook::TickedHighlighted);
    QCOMPARE(h->state().parameters.softwareLimitCheck[2], 1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(box, &leave);
    QCOMPARE(box->look(), pictures::TickLook::Ticked);
    QTest::mousePress(h->find<TickBox>("picchkLimitSwitch"), Qt::LeftButton);
    QCOMPARE(h->state().parameters.hardwareLimitCheck, 1);
  }

  void parameterClosesTheMotionFormWithItsWarning() {
    initialized();
    openMotion();
    h->click(Command::Parameter);
    QVERIFY(!h->w().motionForm());
    QCOMPARE(h->status(1), QStringLiteral(" Must Update Machine Parameter"));
    QCOMPARE(h->status(), QStringLiteral(" Call VNL_UpdateMachParam"));
    for (Command c :
         {Command::Run, Command::Stop, Command::Hold, Command::Continue, Command::Abort})
      QVERIFY(!h->visible(c));
    for (Timer t : {Timer::Status, Timer::Encoder, Timer::Home})
      QVERIFY(!h->w().timerEnabled(t));
  }

  // ---------------------------------------------------------------- motion form

  void generalMotionRunsALineInUnits() {
    initialized();
    MotionForm* form = openMotion();
    QVERIFY(form);
    QCOMPARE(h->state().operationMode, OperationMode::GeneralMotion);
    QVERIFY(h->visible(Command::Run) && h->visible(Command::Stop));
    QVERIFY(!h->visible(Command::Hold));
    h->find<QLineEdit>("txtMotionSpeed")->setText(QStringLiteral("1000"));
    h->find<QLineEdit>("txtDestinationX")->setText(QStringLiteral("20000"));
    h->find<QLineEdit>("txtDestinationY")->setText(QStringLiteral("-1234"));
    h->find<QLineEdit>("txtDestinationZ")->setText(QStringLiteral("0"));
    vnl_recorder::clearCalls();
    h->click(Command::Run);
    const auto calls = vnl_recorder::calls();
    QCOMPARE(namesOf(calls), (std::vector<std::string>{"VNL_SetFeedSpeed", "VNL_Line"}));
    QCOMPARE(argsOf(calls[0]), (std::vector<double>{2, 0}));
    QCOMPARE(argsOf(calls[1]), (std::vector<double>{40, -2.468, 0, 0, 0, 0, 0}));
    QCOMPARE(h->status(), QStringLiteral(" Run Line Motion ... "));
    QVERIFY(h->w().timerEnabled(Timer::Encoder));
    QVERIFY(!h->find("optJog")->isEnabled() && !h->find("optHome")->isEnabled());
    // The encoder timer gives the options back once the group stops.
    groupStopped(false);
    h->w().encoderTick();
    QVERIFY(!h->available(Command::Testing));
    groupStopped(true);
    h->w().encoderTick();
    QVERIFY(h->find("optJog")->isEnabled() && h->find("optHome")->isEnabled());
    QVERIFY(h->available(Command::Run) && !h->available(Command::Stop));
  }

  void destinationsStoreNumbersAndWarnWhenAllAreZero() {
    initialized();
    openMotion();
    auto* x = h->find<QLineEdit>("txtDestinationX");
    auto* y = h->find<QLineEdit>("txtDestinationY");
    auto* z = h->find<QLineEdit>("txtDestinationZ");
    x->clear();
    QTest::keyClicks(x, QStringLiteral("-"));
    QCOMPARE(h->state().motion.destination[0], 1000);  // "-" alone stores nothing
    QVERIFY(h->messages.isEmpty());
    x->setText(QStringLiteral("0"));
    y->setText(QStringLiteral("0"));
    QVERIFY(h->messages.isEmpty());
    z->setText(QStringLiteral("0"));
    QCOMPARE(h->messages.size(), 1);
    QVERIFY(h->messages[0].startsWith(QStringLiteral("Notice: When axis 0,1,2 are set to 0")));
    z->setText(QStringLiteral("00"));  // rewritten to "0": one change, one notice
    QCOMPARE(h->messages.size(), 2);
    QCOMPARE(z->text(), QStringLiteral("0"));
    z->setText(QStringLiteral("5"));
    QCOMPARE(h->messages.size(), 2);
  }

  void theRepeatLoopPostsUntilUntickedAndStopSuspendsIt() {
    initialized();
    openMotion();
    h->find<QLineEdit>("txtDestinationX")->setText(QStringLiteral("500"));
    auto* repeat = h->find<PicturePair>("chkRepeat");
    QTest::mousePress(repeat, Qt::LeftButton);
    QVERIFY(h->state().repeat);
    QVERIFY(h->find("txtDelay")->isEnabled());
    h->find<QLineEdit>("txtDelay")->setText(QStringLiteral("2"));
    // The queue takes 10 commands, then refuses.
    int taken = 0;
    auto queue = [&taken](const vnl_recorder::Call&) -> double {
      return taken < 10 ? taken++ : VNL_ERR_QUEUE_FULL;
    };
    vnl_recorder::setHandler("VNL_Line", queue);
    vnl_recorder::setHandler("VNL_DelayMotion", queue);
    vnl_recorder::clearCalls();
    h->click(Command::Run);
    QVERIFY(h->w().posting());
    QVERIFY(!h->available(Command::Run));
    QTRY_COMPARE(taken, 10);
    const auto lines = vnl_recorder::callsOf("VNL_Line");
    QCOMPARE(lines[0].arg(0), 1.0);
    QCOMPARE(lines[1].arg(0), -1.0);
    QCOMPARE(vnl_recorder::callsOf("VNL_DelayMotion")[0].arg(0), 400.0);  // 2 s of 5 ms
    // Nothing busy-waits while the queue is full: a few retries in 200 ms.
    vnl_recorder::clearCalls();
    QTest::qWait(200);
    const auto tries =
        vnl_recorder::callsOf("VNL_Line").size() + vnl_recorder::callsOf("VNL_DelayMotion").size();
    QVERIFY2(tries >= 1 && tries <= 6, qPrintable(QString::number(tries)));
    // The queue takes again: posting resumes with the refused command.
    taken = 0;
    QTRY_COMPARE(taken, 10);
    // Stop aborts and suspends the posting.
    vnl_recorder::clearCalls();
    h->click(Command::Stop);
    QCOMPARE(namesOf(vnl_recorder::calls()).front(), std::string("VNL_AbortMotion"));
    QCOMPARE(h->status(), QStringLiteral(" Stop Motion ... "));
    taken = 0;
    QTest::qWait(150);
    QCOMPARE(taken, 0);
    QVERIFY(h->w().posting());
    // Unticking ends the loop.
    QTest::mousePress(repeat, Qt::LeftButton);
    QVERIFY(!h->state().repeat);
    QTRY_VERIFY(!h->w().posting());
  }

  void jogButtonsIssueOneJogAndWaitForTheStop() {
    initialized();
    openMotion();
    h->find<QRadioButton>("optJog")->setChecked(true);
    QCOMPARE(h->state().operationMode, OperationMode::Jog);
    QVERIFY(!h->visible(Command::Run));
    QVERIFY(h->visible(Command::Hold) && !h->available(Command::Hold));
    h->find<QLineEdit>("txtSpdRatio")->setText(QStringLiteral("93750"));  // 37.5 %
    h->find<QLineEdit>("txtOffset")->setText(QStringLiteral("1234"));
    h->find<QComboBox>("cboAxis")->setCurrentIndex(2);
    QMetaObject::invokeMethod(h->find<QComboBox>("cboAxis"), "activated", Q_ARG(int, 2));
    vnl_recorder::clearCalls();
    auto* positive = h->find<QPushButton>("CmdPositive");
    auto* negative = h->find<QPushButton>("CmdNegative");
    QTest::mouseClick(negative, Qt::LeftButton);
    QCOMPARE(namesOf(vnl_recorder::calls()), std::vector<std::string>{"VNL_JogSpace"});
    QCOMPARE(argsOf(vnl_recorder::calls()[0]), (std::vector<double>{-2.468, 38, 2, 0}));
    QVERIFY(!positive->isEnabled() && !negative->isEnabled());
    QVERIFY(h->available(Command::Hold));
    QTest::mouseClick(positive, Qt::LeftButton);  // disabled: no second jog
    QCOMPARE(vnl_recorder::calls().size(), 1u);
    groupStopped(false);
    h->w().encoderTick();
    QVERIFY(!positive->isEnabled());
    groupStopped(true);
    h->w().encoderTick();
    QVERIFY(positive->isEnabled() && negative->isEnabled());
    QVERIFY(!h->available(Command::Hold));
    // Continuous: direction and ratio, and the tool tip follows the mode.
    auto* mode = h->find<QComboBox>("cboJogMode");
    mode->setCurrentIndex(1);
    QMetaObject::invokeMethod(mode, "activated", Q_ARG(int, 1));
    QCOMPARE(mode->toolTip(), QStringLiteral("VNL_JogConti"));
    QVERIFY(!h->find("txtOffset")->isEnabled());
    vnl_recorder::clearCalls();
    QTest::mouseClick(positive, Qt::LeftButton);
    QCOMPARE(argsOf(vnl_recorder::calls()[0]), (std::vector<double>{1, 38, 2, 0}));
    // Hold, Continue and Abort, each with its library call.
    vnl_recorder::clearCalls();
    h->click(Command::Hold);
    h->click(Command::Continue);
    h->click(Command::Abort);
    QCOMPARE(namesOf(vnl_recorder::calls()),
             (std::vector<std::string>{"VNL_HoldMotion", "VNL_ContiMotion", "VNL_AbortMotion"}));
    QCOMPARE(h->status(), QStringLiteral(" Jog Abort... "));
    QVERIFY(positive->isEnabled());
    // Run on the jog page only starts the encoder timer.
    vnl_recorder::clearCalls();
    h->w().setTimerEnabled(Timer::Encoder, false);
    h->click(Command::Run);
    QVERIFY(vnl_recorder::calls().empty());
    QVERIFY(h->w().timerEnabled(Timer::Encoder));
  }

  void speedRatioIsLimitedAndRounded_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("ratio");
    QTest::newRow("250000") << "250000" << 100.0;
    QTest::newRow("300000") << "300000" << 100.0;
    QTest::newRow("2000") << "2000" << 1.0;
    QTest::newRow("0") << "0" << 1.0;
    QTest::newRow("91250") << "91250" << 36.5;
  }
  void speedRatioIsLimitedAndRounded() {
    QFETCH(QString, typed);
    QFETCH(double, ratio);
    initialized();
    openMotion();
    h->find<QLineEdit>("txtSpdRatio")->setText(typed);
    QCOMPARE(h->state().motion.speedRatio, ratio);
  }

  void homeRunsTheChosenOrderAndFinishes() {
    initialized();
    openMotion();
    h->state().motion.homeOrder = {0, 1, 2, 3};  // left from before: the page resets them
    h->find<QRadioButton>("optHome")->setChecked(true);
    QCOMPARE(h->state().motion.homeOrder, (std::array<int32_t, 4>{255, 255, 255, 255}));
    QVERIFY(!h->find("lblHome")->isHidden());
    h->find<QLineEdit>("txtHomeSpeedX")->setText(QStringLiteral("20000"));
    h->find<QLineEdit>("txtHomeSpeedY")->setText(QStringLiteral("300"));  // below 1 unit/s
    h->find<QComboBox>("cboOrderX")->setCurrentIndex(1);
    h->find<QComboBox>("cboOrderY")->setCurrentIndex(2);
    vnl_recorder::clearCalls();
    h->click(Command::Run);
    const auto home = vnl_recorder::callsOf("VNL_GoHome");
    QCOMPARE(home.size(), 1u);
    QCOMPARE(argsOf(home[0]),
             (std::vector<double>{40, 1, 0, 0, 0, 0, 0, 1, 255, 255, 255, 255, 0}));
    QCOMPARE(h->find<QLineEdit>("txtHomeSpeedY")->text(), QStringLiteral("500"));
    QCOMPARE(h->status(1), QStringLiteral(" Home Speed Must be Greater than PPR "));
    QCOMPARE(h->status(), QStringLiteral(" Run Home ... "));
    QVERIFY(h->w().timerEnabled(Timer::Home));
    QVERIFY(!h->find("txtHomeSpeedX")->isEnabled());
    // Running: the running lamp; finished: the finished lamp and the boxes back.
    vnl_recorder::setResult("VNL_GetGoHomeStatus", 0);
    groupStopped(false);
    h->w().homeTick();
    auto* lamp = h->find<PicturePair>("ledHome");
    QCOMPARE(lamp->shown(), PicturePair::Shown::Second);  // ledHome(1), running
    vnl_recorder::setResult("VNL_GetGoHomeStatus", 1);
    h->w().homeTick();
    QCOMPARE(lamp->shown(), PicturePair::Shown::First);  // ledHome(0), finished
    QVERIFY(!h->w().timerEnabled(Timer::Home));
    QCOMPARE(h->status(), QStringLiteral(" Home Finish ... "));
    QVERIFY(h->find("txtHomeSpeedX")->isEnabled());
    QVERIFY(h->find("optGeneralMotion")->isEnabled());
  }

  void anOverTravelThatStaysAbortsOnEveryStatusTick() {
    initialized();
    openMotion();
    // Axis 2's upper sensor is active.
    vnl_recorder::setHandler("VNL_GetLimitSwitchStatus", [](const vnl_recorder::Call& c) {
      *c.out<int16_t>(0) = (c.arg(1) == 1 && c.arg(2) == 2) ? 1 : 0;
      return 0.0;
    });
    vnl_recorder::setHandler("VNL_GetHomeSensorStatus", [](const vnl_recorder::Call& c) {
      *c.out<int16_t>(0) = c.arg(1) == 0 ? 1 : 0;
      return 0.0;
    });
    for (int tick = 1; tick <= 3; ++tick) {
      vnl_recorder::clearCalls();
      h->w().statusTick();
      QCOMPARE(vnl_recorder::callsOf("VNL_AbortMotion").size(), 1u);
    }
    QVERIFY(!h->find("ledOT0(2)")->isHidden() && h->find("ledOT(2)")->isHidden());
    QVERIFY(h->find("ledOT0(1)")->isHidden() && !h->find("ledOT(1)")->isHidden());
    QVERIFY(h->find("ledOTN0(2)")->isHidden());
    QVERIFY(!h->find("ledHome0(0)")->isHidden() &&
            h->find("ledHome(0)", h->w().motionForm())->isHidden());
    vnl_recorder::setHandler("VNL_GetLimitSwitchStatus", {});
    vnl_recorder::clearCalls();
    h->w().statusTick();
    QVERIFY(vnl_recorder::callsOf("VNL_AbortMotion").empty());
    QVERIFY(h->find("ledOT0(2)")->isHidden());
  }

  void reopeningTheMotionFormKeepsItsPageAndWhatRunDoes() {
    initialized();
    openMotion();
    h->find<QRadioButton>("optHome")->setChecked(true);
    h->click(Command::Testing);
    QCOMPARE(h->state().operationMode, OperationMode::ListTest);
    openMotion();
    QVERIFY(h->find<QRadioButton>("optHome")->isChecked());
    QCOMPARE(h->state().operationMode, OperationMode::Home);
  }

  // ---------------------------------------------------------------- testing form

  void runWithAnEmptyListOnlySetsRelative() {
    initialized();
    h->click(Command::Testing);
    QVERIFY(h->w().testingForm());
    QVERIFY(h->visible(Command::Run) && !h->visible(Command::Hold));
    vnl_recorder::clearCalls();
    h->click(Command::Run);
    QCOMPARE(namesOf(vnl_recorder::calls()), std::vector<std::string>{"VNL_SetIncrease"});
    QCOMPARE(h->status(), QStringLiteral(" No Function in ListBox"));
  }

  void theEditorPreviewsAndTheListRunsInOrder() {
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    Harness::click(h->find<glyphkey::picCommand>("picCmdEditor", testing));
    EditorForm* editor = h->w().editorForm();
    QVERIFY(editor);
    auto* type = h->find<QComboBox>("cboMotionType", editor);
    auto set = [&](const char* box, const char* text) {
      h->find<QLineEdit>(box, editor)->setText(QString::fromLatin1(text));
    };
    auto choose = [&](int index) {
      type->setCurrentIndex(index);
      QMetaObject::invokeMethod(type, "activated", Q_ARG(int, index));
    };
    auto* add = h->find<glyphkey::picCommand>("picCmdAdd", editor);
    // Line, Circle, Line.
    QVERIFY(!h->find("txtEditRefX", editor)->isEnabled());
    Harness::click(add);
    choose(1);
    QVERIFY(h->find("txtEditRefX", editor)->isEnabled());
    QCOMPARE(type->toolTip(), QStringLiteral("VNL_CircleXY"));
    set("txtEditRefX", "10000");
    set("txtEditRefY", "0");
    h->find<QRadioButton>("optAntiClockwise", editor)->setChecked(true);
    Harness::click(add);
    choose(0);
    set("txtEditDestX", "-20000");
    set("txtEditDestY", "0");
    Harness::click(add);
    auto* list = h->find<QListWidget>("lstStatus", testing);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Line, 1000, 20000, 20000"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("Circle, 1000, 10000, 0, 20000, 20000, 1"));
    QCOMPARE(list->currentRow(), 2);
    QCOMPARE(editor->plotCursor(), QPointF(0, 20000));
    QVERIFY(h->visible(Command::Run) && h->available(Command::Run));
    // The preview: the circle about the first line's end plus the reference,
    // the second line from the first one's end.
    PlotView* plot = testing->plot();
    // The colour drawn at a world point: the closest to `colour` of the
    // pixels within one pixel of it (the strokes are antialiased).
    auto pixel = [plot](double x, double y, QColor colour = kPaletteLightMagenta) {
      return colourAt(plot, x, y, colour);
    };
    QCOMPARE(pixel(10000, 10000), kPaletteLightMagenta);  // on the first line
    QCOMPARE(pixel(40000, 20000), kPaletteLightMagenta);  // circle's far side: (30000,20000)+10000
    QCOMPARE(pixel(30000, 30000), kPaletteLightMagenta);  // its top
    QCOMPARE(pixel(10000, 20000), kPaletteLightMagenta);  // on the second line
    QCOMPARE(pixel(30000, 20000, kPlotBackground), kPlotBackground);  // the circle's centre
    QCOMPARE(pixel(-150000, 150000, kPlotBackground), kPlotBackground);
    QCOMPARE(pixel(0, 100000, Qt::white), QColor(Qt::white));     // the y axis
    QCOMPARE(pixel(50000, 1000, Qt::white), QColor(Qt::white));   // a tick across the x axis
    QVERIFY(pixel(50000, 8000, Qt::white) != QColor(Qt::white));  // ticks are short

    // The example arc from the cursor (0, 20000): centre (10000, 20000).
    choose(2);
    QCOMPARE(h->find<QLineEdit>("txtEditDestX", editor)->text(), QStringLiteral("20000"));
    QCOMPARE(h->find<QLineEdit>("txtEditRefY", editor)->text(), QStringLiteral("10000"));
    Harness::click(add);
    QCOMPARE(list->count(), 4);
    QCOMPARE(editor->plotCursor(), QPointF(20000, 20000));
    QCOMPARE(pixel(10000, 30000), kPaletteLightMagenta);  // the arc's top, through the via point
    QCOMPARE(pixel(17071, 12929, kPlotBackground), kPlotBackground);  // not the lower half
    // A refused arc adds nothing; the next one judges its own points.
    set("txtEditRefX", "20000");
    set("txtEditRefY", "0");
    Harness::click(add);
    QCOMPARE(h->messages.last(), QStringLiteral("Tervane: Please Check your ARC Argriment"));
    QCOMPARE(list->count(), 4);
    QCOMPARE(h->state().list.count(), 4);
    set("txtEditRefX", "40000");
    set("txtEditRefY", "40000");
    set("txtEditDestX", "1");
    set("txtEditDestY", "46341");
    Harness::click(add);
    QCOMPARE(h->messages.last(), QStringLiteral("Tervane: Error Setting"));
    set("txtEditRefX", "10000");
    set("txtEditRefY", "10000");
    set("txtEditDestX", "20000");
    set("txtEditDestY", "0");
    Harness::click(add);
    QCOMPARE(list->count(), 5);

    // Run: every entry at once, at its own feed; the running entry shows.
    Harness::click(h->find<glyphkey::picCommand>("picCmdCancel", editor));
    QVERIFY(!h->w().editorForm());
    vnl_recorder::clearCalls();
    h->click(Command::Run);
    QVERIFY(h->state().listRunning);
    const std::vector<std::string> run{"VNL_SetIncrease",  "VNL_SetFeedSpeed", "VNL_Line",
                                       "VNL_SetFeedSpeed", "VNL_CircleXY",     "VNL_SetFeedSpeed",
                                       "VNL_Line",         "VNL_SetFeedSpeed", "VNL_ArcXY",
                                       "VNL_SetFeedSpeed", "VNL_ArcXY"};
    QCOMPARE(namesOf(vnl_recorder::calls()), run);
    QCOMPARE(argsOf(vnl_recorder::calls()[2]), (std::vector<double>{40, 40, 0, 0, 0, 0, 0}));
    QCOMPARE(vnl_recorder::calls()[1].arg(0), 2.0);
    vnl_recorder::setHandler("VNL_get_cur_command", [](const vnl_recorder::Call& c) {
      c.out<CurrentCommandInfo>(0)->nIndex = 3;
      return 0.0;
    });
    vnl_recorder::setHandler("VNL_GetCurPos", [](const vnl_recorder::Call& c) {
      for (int a = 0; a < 6; ++a)
        *c.out<double>(a) = 10.0 * (a + 1);  // each axis its own value
      return 0.0;
    });
    groupStopped(false);
    h->w().encoderTick();
    QCOMPARE(list->currentRow(), 3);
    QCOMPARE(h->find<QLabel>("lblCommPosX")->text(), QStringLiteral("5000"));
    QCOMPARE(h->find<QLabel>("lblCommPosY")->text(), QStringLiteral("10000"));
    QCOMPARE(h->find<QLabel>("lblCommPosZ")->text(), QStringLiteral("15000"));
    QCOMPARE(h->find<QLabel>("lblCommPosU")->text(), QStringLiteral("20000"));
    QCOMPARE(pixel(2500, 5000, kPaletteYellow),
             kPaletteYellow);  // the trace (0, 0) to (5000, 10000)
    QVERIFY(!h->available(Command::Motion));
    vnl_recorder::clearCalls();
    groupStopped(true);
    h->w().encoderTick();
    QVERIFY(!h->state().listRunning);
    QCOMPARE(vnl_recorder::callsOf("VNL_ResetCommandIndex").size(), 1u);
    QVERIFY(h->available(Command::Run) && h->available(Command::Motion));
  }

  void aFullListTakesNoMoreAndThePlotTellsWhereTheCursorIs() {
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    Harness::click(h->find<glyphkey::picCommand>("picCmdEditor", testing));
    h->state().list.entries.assign(CommandList::kMaxEntries, CommandEntry{});
    Harness::click(h->find<glyphkey::picCommand>("picCmdAdd", h->w().editorForm()));
    QCOMPARE(h->state().list.count(), CommandList::kMaxEntries);
    QCOMPARE(testing->list()->count(), 0);
    QCOMPARE(h->messages.last(),
             QStringLiteral("Tervane:  The command list is full (32767 entries)"));
    PlotView* plot = testing->plot();
    QCOMPARE(plot->positionText(QPoint(plot->width() / 2, plot->height() / 2)),
             QStringLiteral("0, 0 pulses"));
    QCOMPARE(plot->positionText(QPoint(0, 0)), QStringLiteral("-200000, 200000 pulses"));
  }

  void aParameterFileThatCannotBeWrittenIsReported() {
    h.reset();
    vnl_recorder::reset();
    h = std::make_unique<Harness>(TV_RECORDER_FILE);
    QVERIFY(QDir().mkpath(h->parameterFile()));  // a folder where the file should be
    h->firstRun();
    QVERIFY(!h->messages.isEmpty());
    QVERIFY2(h->messages.last().startsWith(
                 QStringLiteral("Error: The machine parameters were not saved")),
             qPrintable(h->messages.last()));
    QVERIFY(h->status(1).startsWith(QStringLiteral(" Parameter file not written")));
    QVERIFY(h->state().initialised);  // the library runs all the same
  }

  void deleteMovesTheLaterEntriesDown() {
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    auto* del = h->find<glyphkey::picCommand>("picCmdDelete", testing);
    Harness::click(del);  // an empty list: nothing changes
    QCOMPARE(h->state().list.count(), 0);
    h->state().list.add({MoveType::Line, 100, 1, 2, 0, 0, 0});
    h->state().list.add({MoveType::Circle, 200, 0, 0, 3, 4, 1});
    h->state().list.add({MoveType::Arc, 300, 5, 6, 7, 8, 0});
    for (const char* line : {"a", "b", "c"})
      testing->addListLine(QString::fromLatin1(line));
    auto* list = h->find<QListWidget>("lstStatus", testing);
    list->setCurrentRow(1);
    Harness::click(del);
    QCOMPARE(h->state().list.count(), 2);
    QCOMPARE(h->state().list.entries[1], (CommandEntry{MoveType::Arc, 300, 5, 6, 7, 8, 0}));
    QCOMPARE(list->item(1)->text(), QStringLiteral("c"));
    QCOMPARE(list->currentRow(), 1);
    Harness::click(del);  // the selected last line
    Harness::click(del);
    QCOMPARE(h->state().list.count(), 0);
    QVERIFY(!del->picture(0)->isVisible());  // unavailable once empty
    vnl_recorder::clearCalls();
    h->click(Command::Run);
    QCOMPARE(h->status(), QStringLiteral(" No Function in ListBox"));
  }

  void clearEmptiesTheListAndThePlot() {
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    testing->drawPreviewLine({0, 0}, {50000, 50000});
    h->state().list.add({MoveType::Line, 100, 1, 2, 0, 0, 0});
    testing->addListLine(QStringLiteral("Line, 100, 1, 2"));
    vnl_recorder::clearCalls();
    Harness::click(h->find<glyphkey::picCommand>("picCmdClear", testing));
    QCOMPARE(testing->list()->count(), 0);
    QCOMPARE(h->state().list.count(), 0);
    QCOMPARE(testing->plot()->strokeCount(), 0u);
    QCOMPARE(namesOf(vnl_recorder::calls()), std::vector<std::string>{"VNL_ResetMotion"});
  }

  // Import: the outline's X-Y moves become entries in order, each relative to
  // the one before, with the preview; Run posts them at their feeds.
  void importAddsTheProgramsMovesWithTheirPreview() {
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    testing->setFileChooser([] { return QStringLiteral(TV_PROGRAMS_DIR "/outline_xy.gcode"); });
    Harness::click(h->find<glyphkey::picCommand>("picCmdImport", testing));
    QVERIFY2(h->messages.isEmpty(), qPrintable(h->messages.join('\n')));
    QCOMPARE(h->status(), QStringLiteral(" Imported 10 entries from outline_xy.gcode"));
    QListWidget* list = testing->list();
    QCOMPARE(list->count(), 10);
    const std::vector<CommandEntry>& e = h->state().list.entries;
    QCOMPARE(e.size(), 10u);
    const std::vector<MoveType> types{
        MoveType::Line, MoveType::Arc,  MoveType::Line, MoveType::Arc,    MoveType::Line,
        MoveType::Arc,  MoveType::Line, MoveType::Line, MoveType::Circle, MoveType::Line};
    for (size_t i = 0; i < types.size(); ++i)
      QCOMPARE(e[i].type, types[i]);
    // G1 X120 at F1200: 20 mm/s, 500 pulses a millimetre.
    QCOMPARE(list->item(0)->text(), QStringLiteral("Line, 10000, 60000, 0"));
    // The corner R40 from (120, 0) to (160, 40) about (120, 40), through its
    // middle (148.284, 11.716) mm.
    QCOMPARE(list->item(1)->text(), QStringLiteral("Arc, 10000, 14142, 5858, 20000, 20000"));
    // The rapid to the hole at the program's feed, then the hole clockwise
    // about (80, 80) mm from (80, 60) mm.
    QCOMPARE(list->item(7)->text(), QStringLiteral("Line, 10000, 40000, 30000"));
    QCOMPARE(list->item(8)->text(), QStringLiteral("Circle, 10000, 0, 10000, 0, 0, 0"));
    QCOMPARE(list->currentRow(), 9);
    // The program returns to its start: the relative moves add up to nothing.
    QPointF sum;
    for (const CommandEntry& c : e)
      if (c.type != MoveType::Circle) sum += QPointF(c.destinationX, c.destinationY);
    QCOMPARE(sum, QPointF(0, 0));

    PlotView* plot = testing->plot();
    QCOMPARE(plot->strokeCount(), 10u);
    QCOMPARE(colourAt(plot, 40000, 0), kPaletteLightMagenta);      // the bottom edge
    QCOMPARE(colourAt(plot, 74142, 5858), kPaletteLightMagenta);   // the first corner's middle
    QCOMPARE(colourAt(plot, 40000, 50000), kPaletteLightMagenta);  // the top of the hole
    QCOMPARE(colourAt(plot, 40000, 40000, kPlotBackground), kPlotBackground);  // its centre
    QCOMPARE(colourAt(plot, 78000, 2000, kPlotBackground), kPlotBackground);   // cut by the corner
    QVERIFY(h->visible(Command::Run) && h->available(Command::Run));

    vnl_recorder::clearCalls();
    h->click(Command::Run);
    const auto calls = vnl_recorder::calls();
    QCOMPARE(namesOf(calls).size(), 21u);
    QCOMPARE(calls[1].name, std::string("VNL_SetFeedSpeed"));
    QCOMPARE(calls[1].arg(0), 20.0);
    QCOMPARE(argsOf(calls[2]), (std::vector<double>{120, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(calls[4].name, std::string("VNL_ArcXY"));
    QCOMPARE(argsOf(calls[4]), (std::vector<double>{28.284, 11.716, 40, 40, 0}));
    QCOMPARE(calls[18].name, std::string("VNL_CircleXY"));
    QCOMPARE(argsOf(calls[18]), (std::vector<double>{0, 20, 0, 0}));
  }

  // A program with a move the list cannot hold adds nothing at all, and says
  // which line it is; a second import adds its path after the first one's.
  void importRefusesAProgramAsAWhole_data() {
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QString>("says");
    QTest::newRow("Z move") << QByteArray("G1 X10 F100\nG1 Z-1\nG1 Y10\n")
                            << "line 2: a Z move cannot go into the command list";
    QTest::newRow("helix") << QByteArray("G1 X10 F100\nG2 X10 Y0 Z-1 I-5\n")
                           << "line 2: a helix cannot go into the command list";
    QTest::newRow("Z-X arc") << QByteArray("G18 G2 Z10 X0 K5 F100\n")
                             << "line 1: the command list holds arcs in the X-Y plane only (G17)";
    QTest::newRow("A axis") << QByteArray("G1 X1 A5 F100\n")
                            << "line 1: an A B C move cannot go into the command list";
    QTest::newRow("dwell") << QByteArray("G1 X1 F100\nG4 P1\n")
                           << "line 2: a dwell (G4) cannot go into the command list";
    QTest::newRow("reader error") << QByteArray("G1 X1 F100\nG1 X#1\n")
                                  << "line 2, column 5: parameters # are not supported";
    QFile refused(QStringLiteral(TV_PROGRAMS_DIR "/refused.ngc"));
    QVERIFY(refused.open(QIODevice::ReadOnly));
    QTest::newRow("refused.ngc") << refused.readAll()
                                 << "line 2, column 5: expressions [...] are not supported (and 13 "
                                    "more)";
  }
  void importRefusesAProgramAsAWhole() {
    QFETCH(QByteArray, program);
    QFETCH(QString, says);
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    QVERIFY(testing->importFile(QStringLiteral(TV_PROGRAMS_DIR "/outline_xy.gcode")));
    const std::vector<CommandEntry> before = h->state().list.entries;
    const std::size_t strokes = testing->plot()->strokeCount();
    const QString file = h->dir.filePath(QStringLiteral("bad.ngc"));
    writeFile(file, program);
    QVERIFY(!testing->importFile(file));
    QCOMPARE(h->messages.last(), "Tervane:  Import refused, nothing added: " + says);
    QCOMPARE(h->state().list.entries, before);
    QCOMPARE(testing->list()->count(), 10);
    QCOMPARE(testing->plot()->strokeCount(), strokes);
    // A good one goes on from where the list ends: the outline again, a
    // first line along the bottom edge from (0, 0) to (60000, 0) again.
    writeFile(file, "G1 X10 Y10 F60\n");
    QVERIFY(testing->importFile(file));
    QCOMPARE(h->state().list.count(), 11);
    QCOMPARE(testing->list()->item(10)->text(), QStringLiteral("Line, 500, 5000, 5000"));
    QCOMPARE(colourAt(testing->plot(), 2500, 2500), kPaletteLightMagenta);
  }

  void importRespectsTheListsCapacity() {
    initialized();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    const QString outline = QStringLiteral(TV_PROGRAMS_DIR "/outline_xy.gcode");
    h->state().list.entries.assign(CommandList::kMaxEntries - 9, CommandEntry{});
    QVERIFY(!testing->importFile(outline));
    QCOMPARE(h->messages.last(),
             QStringLiteral("Tervane:  Import refused, nothing added: the program has 10 moves; "
                            "the command list has room for 9"));
    QCOMPARE(h->state().list.count(), CommandList::kMaxEntries - 9);
    h->state().list.entries.pop_back();
    QVERIFY(testing->importFile(outline));
    QCOMPARE(h->state().list.count(), CommandList::kMaxEntries);
    QVERIFY(!testing->importFile(h->dir.filePath(QStringLiteral("missing.ngc"))));
    QVERIFY(h->messages.last().contains(QStringLiteral("cannot open")));
  }

  void picCommandIsAnAccessiblePushButton() {
    QAccessibleInterface* button =
        QAccessible::queryAccessibleInterface(h->w().command(Command::Parameter));
    QVERIFY(button);
    QCOMPARE(button->role(), QAccessible::Button);
    QCOMPARE(button->text(QAccessible::Name), QStringLiteral("Parameter"));
    QAccessibleActionInterface* actions = button->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    QSignalSpy down(h->w().command(Command::Parameter), &glyphkey::picCommand::MouseDown);
    QSignalSpy click(h->w().command(Command::Parameter), &glyphkey::picCommand::Click);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(down.size(), 1);
    QCOMPARE(click.size(), 1);
    QVERIFY(h->w().parameterForm());  // the press opened the form
    QCOMPARE(QAccessible::queryAccessibleInterface(h->w().parameterForm())->text(QAccessible::Name),
             QStringLiteral("Parameter"));
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  glyphkey::installAccessibility();
  WindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
