// The text of a command-list line: the move's name, then each number after a
// "," with a blank before a non-negative number and "-" before a negative one
// ("Line, 1000, 20000, 20000").
#pragma once

#include <QString>

#include "state/command_list.h"

namespace tervane {

// A number as the list writes it: " 20000", "-500".
QString listNumber(double value);

// The values of the editor's boxes when ADD is pressed.
struct EditorValues {
  int32_t speed = 0;
  double destinationX = 0, destinationY = 0;
  double referenceX = 0, referenceY = 0;
  uint8_t direction = 0;
};

// Line: name, speed, destination; circle: name, speed, reference,
// destination, direction; arc: name, speed, reference, destination.
QString listLine(MoveType type, const EditorValues& v);

}  // namespace tervane
