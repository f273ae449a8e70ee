// The operator program end to end: the real motion library on the virtual
// card in real time, with the program's machine behind it (home sensors and
// index marks just above 0, over-travel sensors at +-120000 pulses). What an
// operator does by hand, checked on what reaches the axes.
// The virtual card's headers come before Qt's, which define "slots".
#include "platform/vcard/bus.h"

#include <QFile>
#include <QTest>
#include <atomic>
#include <thread>

#include "harness.h"
#include "machine/machine.h"
#include "state/command_list.h"
#include "widgets/plot_view.h"

using namespace tervane;
using tervane::testing::Harness;

namespace {

// The threads of the libraries: they carry the program's own name, unlike
// Qt's (a watchdog, pooled threads); the main thread does not count.
int libraryThreads() {
  QFile comm(QStringLiteral("/proc/self/comm"));
  const QByteArray program = comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : "";
  return tervane::testing::threadsNamed(program) - 1;
}

int64_t plantPosition(unsigned axis) {
  return vcard::bus().card(0)->withChip(
      [axis](vcard::Chip& chip) { return chip.plant().position(axis); });
}

void setPlantPosition(unsigned axis, int64_t pulses) {
  vcard::bus().card(0)->withChip(
      [&](vcard::Chip& chip) { chip.plant().setPosition(axis, pulses); });
}

int shown(QLabel* label) {
  return label->text().toInt();
}

}  // namespace

class MachineTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Harness> h;

  QLabel* actual(int axis) {
    const char* names[] = {"lblActualPosX", "lblActualPosY", "lblActualPosZ", "lblActualPosU"};
    return h->find<QLabel>(names[axis]);
  }
  QLabel* commanded(int axis) {
    const char* names[] = {"lblCommPosX", "lblCommPosY", "lblCommPosZ", "lblCommPosU"};
    return h->find<QLabel>(names[axis]);
  }
  void setText(const char* box, const QString& text, QWidget* in = nullptr) {
    auto* edit = h->find<QLineEdit>(box, in);
    QVERIFY2(edit, box);
    edit->setText(text);
  }
  // A fast machine: 100000 pulses per second at most, short ramps.
  void firstRun() {
    h->click(Command::Parameter);
    setText("txtMaxSpeed", QStringLiteral("100000"));
    setText("txtAccTime", QStringLiteral("50"));
    setText("txtDecTime", QStringLiteral("50"));
    QTest::mouseClick(h->find<SettingButton>("CmdParaSetting"), Qt::LeftButton);
    h->click(Command::Initialize);
    QVERIFY(h->state().initialised);
  }
  void stopped() { QTRY_VERIFY_WITH_TIMEOUT(h->lib.GetMotionStatus(0) == 1, 10000); }

 private slots:
  void initTestCase() { installVirtualMachine(Machine{}); }
  void cleanupTestCase() { tervane::testing::endQtPoolThreads(); }
  void init() {
    for (unsigned a = 0; a < 6; ++a)
      setPlantPosition(a, 0);
    h = std::make_unique<Harness>(TV_MOTION_LIBRARY_FILE);
  }
  void cleanup() {
    if (!h->state().exiting) h->click(Command::Exit);
    QCOMPARE(h->finished, 0);
    QVERIFY2(h->fatal.isEmpty(), qPrintable(h->fatal));
    h.reset();
    QTRY_COMPARE(QApplication::topLevelWidgets().size(), 0);
    // The library's threads (the card's cycle and its interrupt thread) have ended.
    QTRY_COMPARE(libraryThreads(), 0);
  }

  void aFirstRunInitialisesAndExitCloses() {
    firstRun();
    QCOMPARE(h->status(), QStringLiteral(" Initialize Successful  "));
    QVERIFY(libraryThreads() > 0);
    h->click(Command::Initialize);  // again: the library is closed and opened anew
    QVERIFY(h->state().initialised);
    QCOMPARE(h->lib.GetMotionStatus(0), 1);
    h->click(Command::Exit);
    QVERIFY(!h->state().initialised);
    QVERIFY(QFile(h->parameterFile()).size() > 0);
    QCOMPARE(h->lib.GetMotionStatus(0), VNL_ERR_NOT_READY);  // closed
  }

  void aLineReachesItsDestinationAndRepeatGoesBackAndForth() {
    firstRun();
    h->click(Command::Motion);
    setText("txtMotionSpeed", QStringLiteral("100000"));
    setText("txtDestinationX", QStringLiteral("5000"));
    setText("txtDestinationY", QStringLiteral("-2500"));
    setText("txtDestinationZ", QStringLiteral("1000"));
    h->click(Command::Run);
    QTRY_COMPARE_WITH_TIMEOUT(shown(actual(0)), 5000, 10000);
    QTRY_COMPARE(shown(actual(1)), -2500);
    QCOMPARE(shown(commanded(2)), 1000);
    QCOMPARE(plantPosition(0), 5000);
    QCOMPARE(plantPosition(1), -2500);
    QTRY_VERIFY(h->available(Command::Run));  // stopped: Run offered again

    // Repeat: back and forth until unticked; Stop suspends the posting. A
    // one-second delay at each end keeps the turning points long enough for
    // the polls to see them on a loaded machine.
    setText("txtDelay", QStringLiteral("1"));
    QTest::mousePress(h->find<PicturePair>("chkRepeat"), Qt::LeftButton);
    h->click(Command::Run);
    // It goes there (10000) and back (5000) at least once.
    QTRY_VERIFY_WITH_TIMEOUT(plantPosition(0) >= 9000, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(plantPosition(0) <= 6000, 10000);
    QVERIFY(h->w().posting());
    h->click(Command::Stop);
    stopped();
    const int64_t where = plantPosition(0);
    QTest::qWait(300);
    QCOMPARE(plantPosition(0), where);  // suspended: nothing new posted
    QTest::mousePress(h->find<PicturePair>("chkRepeat"), Qt::LeftButton);
    QTRY_VERIFY(!h->w().posting());
    QTRY_COMPARE(shown(actual(0)), static_cast<int>(where));
  }

  void distanceAndContinuousJogs() {
    firstRun();
    h->click(Command::Motion);
    h->find<QRadioButton>("optJog")->setChecked(true);
    setText("txtSpdRatio", QStringLiteral("50000"));
    setText("txtOffset", QStringLiteral("3000"));
    auto* axis = h->find<QComboBox>("cboAxis");
    axis->setCurrentIndex(1);
    QMetaObject::invokeMethod(axis, "activated", Q_ARG(int, 1));
    auto* positive = h->find<QPushButton>("CmdPositive");
    QTest::mouseClick(positive, Qt::LeftButton);
    QVERIFY(!positive->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(plantPosition(1), 3000, 10000);
    QTRY_VERIFY(positive->isEnabled());  // the encoder timer saw the stop
    QCOMPARE(shown(actual(1)), 3000);

    auto* mode = h->find<QComboBox>("cboJogMode");
    mode->setCurrentIndex(1);
    QMetaObject::invokeMethod(mode, "activated", Q_ARG(int, 1));
    QTest::mouseClick(h->find<QPushButton>("CmdNegative"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(plantPosition(1) < 0, 5000);
    h->click(Command::Abort);
    stopped();
    const int64_t end = plantPosition(1);
    QVERIFY(end < 0);
    QTest::qWait(200);
    QCOMPARE(plantPosition(1), end);
    QTRY_COMPARE(shown(actual(1)), static_cast<int>(end));
    QVERIFY(positive->isEnabled());
  }

  void homingAxesZeroAndOneInOrder() {
    firstRun();
    h->click(Command::Motion);
    h->find<QRadioButton>("optHome")->setChecked(true);
    auto* lamp = h->find<PicturePair>("ledHome");
    QCOMPARE(lamp->shown(), PicturePair::Shown::Second);  // the running lamp while waiting
    setText("txtHomeSpeedX", QStringLiteral("20000"));
    setText("txtHomeSpeedY", QStringLiteral("20000"));
    h->find<QComboBox>("cboOrderX")->setCurrentIndex(1);  // first
    h->find<QComboBox>("cboOrderY")->setCurrentIndex(2);  // then axis 1
    // Axis 1 waits for its stage: a sampler off the GUI thread (which a
    // loaded machine may starve) notes where axis 0 stood when axis 1 first
    // moved.
    std::atomic<int64_t> axis0WhenAxis1Moved{-1};
    std::jthread sampler([&](std::stop_token stop) {
      while (!stop.stop_requested()) {
        const int64_t p0 = plantPosition(0);
        if (plantPosition(1) != 0) {
          axis0WhenAxis1Moved = p0;
          return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    h->click(Command::Run);
    QTRY_COMPARE_WITH_TIMEOUT(lamp->shown(), PicturePair::Shown::First, 30000);
    sampler.request_stop();
    sampler.join();
    // Axis 0 ran its stage of the search first (it stops past its sensor).
    QVERIFY2(axis0WhenAxis1Moved.load() > 1000,
             qPrintable(QString::number(axis0WhenAxis1Moved.load())));
    QCOMPARE(h->status(), QStringLiteral(" Home Finish ... "));
    // Both stand on the index mark after the sensor (3000); counters zeroed.
    QCOMPARE(plantPosition(0), 3000);
    QCOMPARE(plantPosition(1), 3000);
    QCOMPARE(plantPosition(2), 0);
    QTRY_COMPARE(shown(commanded(0)), 0);
    QCOMPARE(shown(actual(1)), 0);
  }

  void aCommandListRunsAndItsTraceEndsOnThePreview() {
    firstRun();
    h->click(Command::Testing);
    TestingForm* testing = h->w().testingForm();
    Harness::click(h->find<glyphkey::picCommand>("picCmdEditor", testing));
    EditorForm* editor = h->w().editorForm();
    auto* type = h->find<QComboBox>("cboMotionType", editor);
    auto choose = [&](int index) {
      type->setCurrentIndex(index);
      QMetaObject::invokeMethod(type, "activated", Q_ARG(int, index));
    };
    auto* add = h->find<glyphkey::picCommand>("picCmdAdd", editor);
    setText("txtMotionSpeed", QStringLiteral("100000"), editor);
    setText("txtEditDestX", QStringLiteral("30000"), editor);
    setText("txtEditDestY", QStringLiteral("10000"), editor);
    Harness::click(add);  // Line to (30000, 10000)
    choose(1);
    setText("txtEditRefX", QStringLiteral("10000"), editor);
    setText("txtEditRefY", QStringLiteral("0"), editor);
    Harness::click(add);  // Circle about (40000, 10000)
    choose(2);            // the example arc: to (50000, 10000) via (40000, 20000)
    Harness::click(add);
    QCOMPARE(editor->plotCursor(), QPointF(50000, 10000));
    Harness::click(h->find<glyphkey::picCommand>("picCmdCancel", editor));

    h->click(Command::Run);
    QVERIFY(h->state().listRunning);
    // The running entry is highlighted as the run goes on.
    QTRY_COMPARE_WITH_TIMEOUT(testing->list()->currentRow(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!h->state().listRunning, 20000);
    QCOMPARE(plantPosition(0), 50000);
    QCOMPARE(plantPosition(1), 10000);
    QCOMPARE(shown(commanded(0)), 50000);
    // The yellow trace ends where the magenta preview ends. Its strokes are
    // smoothed, so a pixel there is yellow blended over the preview: more
    // green than blue, where the preview alone has no green at all.
    PlotView* plot = testing->plot();
    const QPoint end = plot->imagePoint({50000, 10000}).toPoint();
    QString seen;
    bool yellow = false;
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy) {
        const QColor c = plot->image().pixelColor(end + QPoint(dx, dy));
        yellow |= c.green() > c.blue() + 64;
        seen += c.name() + QLatin1Char(' ');
      }
    QVERIFY2(yellow, qPrintable(seen));
  }

  void exitWhileTheMachineMovesEndsCleanly_data() {
    QTest::addColumn<QString>("what");
    for (const char* what : {"line", "repeat", "jog", "homing", "list"})
      QTest::newRow(what) << QString::fromLatin1(what);
  }
  void exitWhileTheMachineMovesEndsCleanly() {
    QFETCH(QString, what);
    firstRun();
    QFile::remove(h->parameterFile());
    if (what == QLatin1String("list")) {
      h->click(Command::Testing);
      h->state().list.add({MoveType::Line, 2000, 100000, 0, 0, 0, 0});
      h->w().testingForm()->addListLine(QStringLiteral("Line, 2000, 100000, 0"));
    } else {
      h->click(Command::Motion);
    }
    if (what == QLatin1String("line") || what == QLatin1String("repeat")) {
      setText("txtMotionSpeed", QStringLiteral("2000"));
      setText("txtDestinationX", QStringLiteral("100000"));
      if (what == QLatin1String("repeat"))
        QTest::mousePress(h->find<PicturePair>("chkRepeat"), Qt::LeftButton);
    } else if (what == QLatin1String("jog")) {
      h->find<QRadioButton>("optJog")->setChecked(true);
      setText("txtSpdRatio", QStringLiteral("2000"));
      auto* mode = h->find<QComboBox>("cboJogMode");
      mode->setCurrentIndex(1);
      QMetaObject::invokeMethod(mode, "activated", Q_ARG(int, 1));
    } else if (what == QLatin1String("homing")) {
      h->find<QRadioButton>("optHome")->setChecked(true);
      setText("txtHomeSpeedX", QStringLiteral("500"));  // 100 s to the sensor
      h->find<QComboBox>("cboOrderX")->setCurrentIndex(1);
    }
    if (what == QLatin1String("jog")) {
      QTest::mouseClick(h->find<QPushButton>("CmdPositive"), Qt::LeftButton);
    } else {
      h->click(Command::Run);
    }
    QTRY_VERIFY_WITH_TIMEOUT(plantPosition(0) > 100, 5000);
    h->click(Command::Exit);
    QCOMPARE(h->finished, 0);
    QVERIFY(!h->state().initialised);
    QVERIFY(QFile::exists(h->parameterFile()));
    QVERIFY(!h->w().posting());
    const int64_t stoppedAt = plantPosition(0);
    QTest::qWait(100);
    QCOMPARE(plantPosition(0), stoppedAt);  // closing the library stopped the axes
  }

  void anOverTravelSensorLightsItsLampAndAbortsWhileItLasts() {
    firstRun();
    h->click(Command::Motion);
    setText("txtMotionSpeed", QStringLiteral("10000"));
    setText("txtDestinationX", QStringLiteral("0"));
    setText("txtDestinationY", QStringLiteral("0"));
    setText("txtDestinationZ", QStringLiteral("50000"));  // 5 s at 10000 pulses/s
    h->messages.clear();
    setPlantPosition(2, 125000);  // axis 2 stands on its upper sensor
    QTRY_VERIFY(!h->find("ledOT0(2)")->isHidden());
    QVERIFY(h->find("ledOT(2)")->isHidden());
    h->click(Command::Run);
    // Every status tick aborts: the line never gets far.
    QTest::qWait(700);
    stopped();
    QVERIFY(plantPosition(2) < 125000 + 5000);
    // Off the sensor, the lamp goes dark and a line runs again.
    setPlantPosition(2, 0);
    QTRY_VERIFY(h->find("ledOT0(2)")->isHidden());
    setText("txtDestinationZ", QStringLiteral("2000"));
    const int64_t from = plantPosition(2);
    h->click(Command::Run);
    QTRY_COMPARE_WITH_TIMEOUT(plantPosition(2), from + 2000, 10000);
  }

  // Last: the library's simulation switch stays on for the rest of the process.
  void simulationModeMovesNoCard() {
    h.reset();
    h = std::make_unique<Harness>(TV_MOTION_LIBRARY_FILE, true);
    firstRun();
    h->click(Command::Motion);
    setText("txtMotionSpeed", QStringLiteral("50000"));
    setText("txtDestinationX", QStringLiteral("4000"));
    h->click(Command::Run);
    // The program drives the library's simulated cycle: the command position
    // arrives, the virtual card's axes stay where they are.
    QTRY_COMPARE_WITH_TIMEOUT(shown(commanded(0)), 4000, 10000);
    QTRY_VERIFY(h->available(Command::Run));
    QCOMPARE(plantPosition(0), 0);
    QCOMPARE(libraryThreads(), 0);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  MachineTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "machine_test.moc"
