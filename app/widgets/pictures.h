// The small pictures of the forms, drawn once on first use: lamps, the four
// looks of a tick box and the Setting button.
#pragma once

#include <QColor>
#include <QPixmap>

namespace tervane::pictures {

// A round lamp of the given colour, lit or dark.
QPixmap lamp(QColor colour, bool lit, int size = 16);

enum class TickLook { Unticked, UntickedHighlighted, Ticked, TickedHighlighted };
QPixmap tick(TickLook look, int size = 16);

QPixmap settingButton();
// The main window's Reset picture, released or held down.
QPixmap resetButton(bool pressed);
// The Repeat box's pictures.
QPixmap repeatBox(bool ticked);

// Lamp colours.
inline const QColor kAlarm{220, 40, 40};    // an over-travel sensor
inline const QColor kSensor{40, 200, 80};   // the home sensor
inline const QColor kRunning{240, 170, 0};  // homing runs
inline const QColor kDone{40, 200, 80};     // homing finished

}  // namespace tervane::pictures
