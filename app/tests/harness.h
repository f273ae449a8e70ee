// The operator program under test: a main window bound to a motion library
// (the recording stand-in or the real one), a parameter file in a temporary
// folder, the message boxes captured instead of shown.
#pragma once

#include <dirent.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <memory>
#include <optional>

#include "binding/motion_library.h"
#include "forms/editor_form.h"
#include "forms/motion_form.h"
#include "forms/parameter_form.h"
#include "forms/testing_form.h"
#include "glyphkey/accessible.h"
#include "glyphkey/piccommand.h"
#include "glyphkey/picturelayer.h"
#include "platform/msgbox/msgbox.h"
#include "widgets/number_box.h"
#include "widgets/picture_pair.h"
#include "widgets/setting_button.h"
#include "window/main_window.h"

namespace tervane::testing {

class Harness {
 public:
  explicit Harness(const char* libraryFile, bool simulation = false) : lib(libraryFile) {
    lib.setFatalHandler([this](const std::string& why) { fatal = QString::fromStdString(why); });
    platform::msgbox::setHandler([this](const std::string& text, const std::string& caption) {
      messages << QString::fromStdString(caption) + QStringLiteral(": ") +
                      QString::fromStdString(text);
    });
    ProgramOptions options;
    options.parameterFile = parameterFile();
    options.simulation = simulation;
    window = std::make_unique<MainWindow>(lib, options);
    QObject::connect(window.get(), &MainWindow::finished, [this](int s) { finished = s; });
    window->show();
  }
  ~Harness() {
    window.reset();
    platform::msgbox::setHandler({});
  }

  QString parameterFile() const { return dir.filePath(QStringLiteral("Parameter.ini")); }
  MainWindow& w() { return *window; }
  PublicVariant& state() { return window->state(); }

  // The picture buttons act on the mouse going down and up.
  static void press(glyphkey::picCommand* b) {
    QTest::mousePress(b, Qt::LeftButton, {}, b->rect().center());
  }
  static void release(glyphkey::picCommand* b) {
    QTest::mouseRelease(b, Qt::LeftButton, {}, b->rect().center());
  }
  static void click(glyphkey::picCommand* b) {
    press(b);
    release(b);
  }
  void press(Command c) { press(window->command(c)); }
  void release(Command c) { release(window->command(c)); }
  void click(Command c) { click(window->command(c)); }
  bool visible(Command c) { return !window->command(c)->isHidden(); }
  // Blue is the available look, gray the unavailable one.
  bool available(Command c) { return !window->command(c)->picture(0)->isHidden(); }

  template <typename T = QWidget>
  T* find(const char* name, QWidget* in = nullptr) {
    return (in ? in : window.get())->findChild<T*>(QLatin1String(name));
  }
  QString status(int fromEnd = 0) {
    QListWidget* list = window->statusList();
    return list->count() > fromEnd ? list->item(list->count() - 1 - fromEnd)->text() : QString();
  }

  // Parameter, Setting, Initialize: the usual first run.
  void firstRun() {
    click(Command::Parameter);
    auto* setting = find<SettingButton>("CmdParaSetting");
    QTest::mouseClick(setting, Qt::LeftButton);
    click(Command::Initialize);
  }

  QTemporaryDir dir;
  MotionLibrary lib;
  std::unique_ptr<MainWindow> window;
  QStringList messages;  // "caption: text"
  QString fatal;
  std::optional<int> finished;
};

// How many of this process's threads carry the name (the kernel's copy).
inline int threadsNamed(const QByteArray& name) {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(QLatin1String(e->d_name)));
      if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name) ++n;
    }
    closedir(d);
  }
  return n;
}

// Qt's image code hands work to its global thread pool. At the end of a test
// run its threads are joined and their exit awaited, so that none is still
// releasing its thread data while the process ends (the leak check at exit
// would count that data as lost).
inline void endQtPoolThreads() {
  QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
  QTRY_COMPARE(threadsNamed(QByteArrayLiteral("Thread (pooled)")), 0);
}

}  // namespace tervane::testing
