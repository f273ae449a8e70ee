// The program's look: the Fusion style with a calm light palette, dark
// position read-outs and framed tool and run bars.
#pragma once

class QApplication;

namespace tervane {

void applyTheme(QApplication& app);

}  // namespace tervane
