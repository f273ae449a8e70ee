// The program's message boxes: every message of the program and of the
// libraries goes through the platform's message-box hook, which this installs
// as a modal QMessageBox (error icon for "Error", information icon for
// "Notice" and the program's own notes).
#pragma once

class QWidget;

namespace tervane {

void installMessageBoxes(QWidget* owner);

}  // namespace tervane
