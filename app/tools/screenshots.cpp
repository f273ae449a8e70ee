// Takes the pictures of the operator program in docs/: the program is worked
// as an operator would (Parameter, Setting, Initialize, the motion form's
// three pages, a command list run on the testing form, an imported G-code
// program), on the virtual card in real time, and the main window is saved at
// each step.
//
//   tervane-screenshots OUTPUT_DIR     (run by scripts/screenshots under Xvfb)
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "binding/motion_library.h"
#include "forms/editor_form.h"
#include "forms/motion_form.h"
#include "forms/testing_form.h"
#include "glyphkey/accessible.h"
#include "glyphkey/piccommand.h"
#include "machine/machine_file.h"
#include "window/main_window.h"
#include "window/theme.h"

using namespace tervane;

namespace {

QString outputDir;

void settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool waitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

void save(QWidget& window, const char* name) {
  settle(150);
  const QString file = outputDir + QLatin1Char('/') + QLatin1String(name);
  if (!window.grab().save(file)) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
  std::printf("%s\n", qPrintable(file));
}

void click(MainWindow& w, Command c) {
  w.command(c)->activate();
  settle(50);
}

template <typename T>
T* find(QWidget* in, const char* name) {
  return in->findChild<T*>(QLatin1String(name));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: tervane-screenshots OUTPUT_DIR\n");
    return 2;
  }
  outputDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outputDir);
  QTemporaryDir config;
  applyTheme(app);
  glyphkey::installAccessibility();
  const Machine machine{};
  installVirtualMachine(machine);

  MotionLibrary lib;
  ProgramOptions options;
  options.parameterFile = config.filePath(QStringLiteral("Parameter.ini"));
  options.machineDescription = describeVirtualMachine(machine);
  MainWindow w(lib, options);
  w.show();
  settle(300);

  click(w, Command::Parameter);
  save(w, "parameter-each-axis.png");
  w.findChild<QTabWidget*>(QStringLiteral("tabParameter"))->setCurrentIndex(1);
  save(w, "parameter-all-axes.png");
  w.findChild<QTabWidget*>(QStringLiteral("tabParameter"))->setCurrentIndex(0);
  auto* setting = w.findChild<QWidget*>(QStringLiteral("CmdParaSetting"));
  QTest::mouseClick(setting, Qt::LeftButton);
  settle(100);
  click(w, Command::Initialize);
  save(w, "initialized.png");

  // Homing first, from where the machine starts: the search runs up to the
  // home sensor above 0.
  click(w, Command::Motion);
  find<QRadioButton>(&w, "optHome")->setChecked(true);
  for (const char* box : {"txtHomeSpeedX", "txtHomeSpeedY"})
    find<QLineEdit>(&w, box)->setText(QStringLiteral("20000"));
  find<QComboBox>(&w, "cboOrderX")->setCurrentIndex(1);
  find<QComboBox>(&w, "cboOrderY")->setCurrentIndex(2);
  click(w, Command::Run);
  waitFor([&] { return lib.GetGoHomeStatus() == 1; }, 30000);
  settle(400);
  save(w, "motion-home.png");

  // General motion: a line, its positions reached.
  find<QRadioButton>(&w, "optGeneralMotion")->setChecked(true);
  find<QLineEdit>(&w, "txtMotionSpeed")->setText(QStringLiteral("40000"));
  find<QLineEdit>(&w, "txtDestinationX")->setText(QStringLiteral("20000"));
  find<QLineEdit>(&w, "txtDestinationY")->setText(QStringLiteral("10000"));
  find<QLineEdit>(&w, "txtDestinationZ")->setText(QStringLiteral("5000"));
  click(w, Command::Run);
  waitFor([&] { return lib.GetMotionStatus(0) == 1 && w.state().shownCommandPosition[0] == 20000; },
          10000);
  settle(500);
  save(w, "motion-general.png");

  // Back to where homing left the axes, so the test run starts at 0, 0.
  find<QLineEdit>(&w, "txtDestinationX")->setText(QStringLiteral("-20000"));
  find<QLineEdit>(&w, "txtDestinationY")->setText(QStringLiteral("-10000"));
  find<QLineEdit>(&w, "txtDestinationZ")->setText(QStringLiteral("-5000"));
  click(w, Command::Run);
  waitFor([&] { return lib.GetMotionStatus(0) == 1 && w.state().shownCommandPosition[0] == 0; },
          10000);
  settle(300);

  find<QRadioButton>(&w, "optJog")->setChecked(true);
  find<QLineEdit>(&w, "txtSpdRatio")->setText(QStringLiteral("25000"));
  find<QLineEdit>(&w, "txtOffset")->setText(QStringLiteral("5000"));
  save(w, "motion-jog.png");

  // Testing: Line, Circle, Arc, run, the trace over the preview.
  click(w, Command::Testing);
  w.testingForm()->findChild<glyphkey::picCommand*>(QStringLiteral("picCmdEditor"))->activate();
  settle(100);
  EditorForm* editor = w.editorForm();
  auto* type = find<QComboBox>(editor, "cboMotionType");
  find<QLineEdit>(editor, "txtMotionSpeed")->setText(QStringLiteral("50000"));
  find<QLineEdit>(editor, "txtEditDestX")->setText(QStringLiteral("40000"));
  find<QLineEdit>(editor, "txtEditDestY")->setText(QStringLiteral("30000"));
  editor->add();
  type->setCurrentIndex(1);
  QMetaObject::invokeMethod(type, "activated", Q_ARG(int, 1));
  find<QLineEdit>(editor, "txtEditRefX")->setText(QStringLiteral("25000"));
  find<QLineEdit>(editor, "txtEditRefY")->setText(QStringLiteral("0"));
  find<QRadioButton>(editor, "optAntiClockwise")->setChecked(true);
  editor->add();
  type->setCurrentIndex(2);
  QMetaObject::invokeMethod(type, "activated", Q_ARG(int, 2));
  find<QLineEdit>(editor, "txtEditDestX")->setText(QStringLiteral("-40000"));
  find<QLineEdit>(editor, "txtEditDestY")->setText(QStringLiteral("0"));
  find<QLineEdit>(editor, "txtEditRefX")->setText(QStringLiteral("-20000"));
  find<QLineEdit>(editor, "txtEditRefY")->setText(QStringLiteral("20000"));
  editor->add();
  save(w, "testing-editor.png");
  editor->findChild<glyphkey::picCommand*>(QStringLiteral("picCmdCancel"))->activate();
  settle(100);
  click(w, Command::Run);
  waitFor([&] { return !w.state().listRunning; }, 60000);
  settle(600);
  save(w, "testing-run.png");

  // Import: the plate outline from a G-code program, previewed in the list.
  w.testingForm()->findChild<glyphkey::picCommand*>(QStringLiteral("picCmdClear"))->activate();
  settle(100);
  w.testingForm()->importFile(QStringLiteral(TV_PROGRAMS_DIR "/outline_xy.gcode"));
  save(w, "testing-import.png");

  click(w, Command::Exit);
  return 0;
}
