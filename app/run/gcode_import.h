// Import of a G-code part program into the command list: the program's X-Y
// moves become Line, Circle and Arc entries, each relative to where the one
// before it ends, in pulses (kImportPulsesPerMm per millimetre, the factor the
// list's run divides by). The program's origin is where the imported part of
// the list starts.
//
// - G1 is a Line at its feed (mm per minute / 60 x 500 pulses per second).
// - G0 is a Line too, since the list has no point-to-point entry: at the
//   highest feed the program uses (the shared motion speed when it has none).
// - G2 / G3 in the X-Y plane become an Arc through the arc's midpoint; a full
//   circle becomes a Circle about its centre (G2 clockwise 0, G3 1).
// - Refused, naming the line: a move of Z or U V W (A B C), an arc in another
//   plane, a helix, a dwell (G4) and a pause (M0): the list holds only plane
//   moves. Blending and the accepted tool words have nothing to change.
// - Every point is rounded to whole pulses in the program's frame before the
//   differences are taken, so the rounding never adds up along the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gcode.h"
#include "state/command_list.h"

namespace tervane {

inline constexpr double kImportPulsesPerMm = 500;

// One entry and what its preview draws, in pulses from the import's start.
struct ImportedEntry {
  CommandEntry entry;
  int line = 0;  // the program's line
  double fromX = 0, fromY = 0, toX = 0, toY = 0;
  // Arc and Circle: the circle's centre and radius; Arc: start angle and
  // signed sweep (counter-clockwise positive).
  double centreX = 0, centreY = 0, radius = 0, start = 0, sweep = 0;
};

struct Import {
  std::vector<ImportedEntry> entries;
  std::string error;  // empty when the whole program fits the list
};

// The entries of a read program, or why it cannot go into a list that holds
// `room` more entries. fallbackSpeed: the rapids' speed (pulses per second)
// when the program has no feed.
Import importMoves(const tv::gcode::Result& program, int room, int32_t fallbackSpeed);

}  // namespace tervane
