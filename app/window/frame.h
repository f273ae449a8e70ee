// What the main window offers its child forms: status messages, the looks
// and visibility of its command buttons, its timers, its homing lamp, the
// parameter file and the loading and unloading of child forms. Forms never
// reach into the main window's widgets otherwise.
#pragma once

#include <QString>

namespace tervane {

enum class Command {
  Initialize,
  Parameter,
  Motion,
  Testing,
  Exit,
  Run,
  Stop,
  Hold,
  Continue,
  Abort
};
enum class Look { Available, Unavailable };
enum class Timer { Status, Encoder, Home };
// The homing indicator: both lamps and "Home Finish" hidden, or the caption
// with the running or the finished lamp.
enum class HomeIndicator { Hidden, Running, Finished };
enum class Form { Parameter, Motion, Testing, Editor };

class Frame {
 public:
  virtual ~Frame() = default;
  // Appends a line to the status list and selects it.
  virtual void addStatus(const QString& message) = 0;
  virtual void setLook(Command command, Look look) = 0;
  virtual void setCommandVisible(Command command, bool visible) = 0;
  virtual void setTimerEnabled(Timer timer, bool enabled) = 0;
  virtual void setHomeIndicator(HomeIndicator indicator) = 0;

  virtual QString parameterFile() const = 0;
  // Writes the parameter file from the parameter values; a failure is shown
  // through the message-box hook and answered false.
  virtual bool writeParameterFile() = 0;
  // Hides and unloads a child form (its open flag is the caller's business).
  virtual void unload(Form form) = 0;
  virtual void showEditor() = 0;
};

}  // namespace tervane
