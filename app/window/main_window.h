// mdifrmMain: the operator program's main window. A tool bar (Initialize,
// Parameter, Motion, Testing, Exit), the child forms in a multiple-document
// area, the position panel, the homing lamp, the Reset picture, the run bar
// (Run, Stop, Hold, Continue, Abort) and the status list; the three polling
// timers and the order of library calls each button makes.
//
// Everything runs on the window's thread. Long actions are states that timer
// ticks advance: the repeat loop of general motion and the command-list run
// post their commands from a posting timer, never from a loop that pumps
// events, so Stop, the Repeat box and the timers stay responsive.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>

#include "run/posting.h"
#include "state/public_variant.h"
#include "window/frame.h"

class QLabel;
class QListWidget;
class QMdiArea;
class QMdiSubWindow;

namespace glyphkey {
class picCommand;
}

namespace tervane {

class EditorForm;
class PicturePair;
class MotionForm;
class MotionLibrary;
class ParameterForm;
class TestingForm;

struct ProgramOptions {
  QString parameterFile;  // where the parameter file lies
  bool simulation = false;
  int16_t cardType = 2;        // the library's card type of card 0
  QString machineDescription;  // what the library runs on, for the status list
};

class MainWindow : public QMainWindow, public Frame {
  Q_OBJECT

 public:
  MainWindow(MotionLibrary& lib, ProgramOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  PublicVariant& state() { return state_; }
  const ProgramOptions& options() const { return options_; }

  // ---- Frame
  void addStatus(const QString& message) override;
  void setLook(Command command, Look look) override;
  void setCommandVisible(Command command, bool visible) override;
  void setTimerEnabled(Timer timer, bool enabled) override;
  void setHomeIndicator(HomeIndicator indicator) override;

  QString parameterFile() const override { return options_.parameterFile; }
  bool writeParameterFile() override;
  void unload(Form form) override;
  void showEditor() override;

  // For tests and the accessibility bus: the command buttons, the forms and
  // the timers.
  glyphkey::picCommand* command(Command command) const { return commands_.at(command); }
  ParameterForm* parameterForm() const;
  MotionForm* motionForm() const;
  TestingForm* testingForm() const;
  EditorForm* editorForm() const;
  bool timerEnabled(Timer timer) const;
  bool posting() const { return postingTimer_.isActive(); }
  QListWidget* statusList() const { return statusList_; }

  // Timer ticks, callable by tests.
  void statusTick();
  void encoderTick();
  void homeTick();

 signals:
  // The program ends with this status (a failed initialisation, or Exit).
  void finished(int status);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildWidgets();
  QWidget* buildToolBar();
  QWidget* buildPositionPanel();
  QWidget* buildRunBar();
  glyphkey::picCommand* addCommand(Command command, const QString& objectName,
                                   const QString& caption, QWidget* bar);
  QMdiSubWindow* addChild(QWidget* form, const QString& title);
  void closeChild(QWidget* form);

  // Buttons, as the operator works them.
  void initializePressed();
  void parameterPressed();
  void motionPressed();
  void testingPressed();
  void testingReleased();
  void exitPressed();
  void exitReleased();
  void runPressed();
  void stopPressed();
  void holdPressed();
  void continuePressed();
  void abortPressed();
  void resetPressed();
  void resetReleased();

  void runGeneralMotion();
  void runHome();
  void runList();
  void startPosting(std::vector<MotionCall> calls, bool cyclic);
  void postingTick();
  void closeMotionForm();
  void closeTestingForm();
  void showPositions();
  // Testing and Parameter are offered while the group stands.
  void offerOtherPages(bool stopped);

  MotionLibrary& lib_;
  ProgramOptions options_;
  PublicVariant state_;

  std::map<Command, glyphkey::picCommand*> commands_;
  QMdiArea* mdi_ = nullptr;
  QListWidget* statusList_ = nullptr;
  std::array<QLabel*, 4> actual_{};
  std::array<QLabel*, 4> commanded_{};
  PicturePair* homeLamp_ = nullptr;
  QLabel* homeCaption_ = nullptr;
  PicturePair* resetPicture_ = nullptr;
  QLabel* resetCaption_ = nullptr;

  QPointer<ParameterForm> parameterForm_;
  QPointer<MotionForm> motionForm_;
  QPointer<TestingForm> testingForm_;
  QPointer<EditorForm> editorForm_;

  QTimer statusTimer_, encoderTimer_, homeTimer_;
  QTimer postingTimer_;
  QTimer simulationTimer_;  // drives the library's cycle in simulation mode
  std::optional<Poster> poster_;
  bool postingList_ = false;  // the poster runs the command list (else the repeat loop)
};

}  // namespace tervane
