// G-code part programs for tv-run: the moves the G-code reader found, turned
// into the runner's statements, so that they run as a .tvp program does.
//
//   G0              ptp to the end point (the library's point-to-point speed)
//   G1              line, at the feed F / 60
//   G2 G3           arcxy / arczx / arcyz through the arc's midpoint; a full
//                   circle is circlexy / circlezx / circleyz about its centre;
//                   a helix along U V W the uvw form of the same; a helix
//                   along the plane's normal (Z in G17) becomes blended lines
//                   whose chords stay within kHelixChordError of the helix,
//                   since the library's helices move U V W only
//   G4 P            delay, the seconds rounded to whole periods
//   G64 / G61       blend on / off
//   M0              wait until the group has stopped
#pragma once

#include <string>

#include "gcode.h"
#include "program.h"

namespace tv::run {

inline constexpr double kHelixChordError = 0.001;  // mm

// True for the names tv-run reads as G-code: .ngc, .nc and .gcode (any case).
bool isGcodeFile(const std::string& path);

// The statements of a program the reader accepted (moves.ok()).
Program gcodeStatements(const gcode::Result& moves, int periodMs);

}  // namespace tv::run
