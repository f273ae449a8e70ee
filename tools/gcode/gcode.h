// The G-code reader: RS274/NGC part-program text in, the moves it describes
// out, in the motion library's terms (millimetres as the caller's units,
// speeds in units per second, axes X Y Z U V W). Pure: no clock, no file, no
// motion library; the callers (tv-run, Tervane's Import) decide what runs.
//
// What it reads, and how it reads the parts the language leaves open:
//
// - A line is one block. Letters are case-insensitive and blanks are ignored
//   everywhere outside comments ("g0x0y0z0" and "G0 X 1 0" both read).
//   "( ... )" comments may sit anywhere, ";" comments run to the line's end,
//   a line starting with "/" is deleted (the block-delete switch is taken as
//   on), and a line holding only "%" is skipped.
// - Start state: no motion mode, X-Y plane (G17), millimetres (G21),
//   absolute (G90), arc centres incremental (G91.1), exact path (G61, the
//   library's blending off), feed per minute (G94), no feed rate.
// - A block is executed in the standard order: feed mode, F, the accepted
//   tool words, dwell, plane, units, the modes, distance mode, motion, and
//   last the stops. A block with coordinates and no motion word continues
//   the last motion mode; coordinates with no motion mode are an error.
// - G20 scales every length that follows (coordinates, centres, radii, F) by
//   25.4. A B C are angles mapped straight onto U V W, unscaled by G20.
// - F is in units per minute and turns into units per second.
// - An arc's centre by I J K (the two offsets of its plane; an offset along
//   the plane's normal is an error) or by R (R > 0 the short way, R < 0 the
//   long way). With I J K and the end on the start it is a full circle; R
//   cannot make one. Start and end must lie within kArcTolerance (or 0.1 %
//   of the radius, whichever is larger) of one radius. Coordinates along the
//   plane's normal and on U V W make the arc a helix: they move in
//   proportion to the angle.
// - A move to where the tool already stands is dropped.
// - M0 makes a Pause move (the run waits until the machine has stopped);
//   M2 and M30 end the program: later lines are not read.
// - S, T, M3 M4 M5 M6 M7 M8 M9 and the default-stating G40 G49 G80 G54 are
//   accepted and reported once each (at the first line that has them) as
//   warnings. G80 also ends the motion mode, as the standard says.
// - Everything else is an error with its line and column. The reader goes
//   on after an erroneous block (so that one reading lists every error, up
//   to kMaxErrors), but a result with errors is to be refused as a whole.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tv::gcode {

inline constexpr double kMmPerInch = 25.4;
// How far (mm) the end point of an arc may lie off the start point's radius.
inline constexpr double kArcTolerance = 0.005;
inline constexpr int kMaxErrors = 100;

using Axes = std::array<double, 6>;  // X Y Z U V W

enum class Plane { XY, ZX, YZ };  // G17, G18, G19

// The plane's axes in the order the library's arc functions take them
// (X-Y, Z-X, Y-Z) and its normal axis. Counter-clockwise in the plane means
// from the first axis towards the second, seen from the normal's positive end.
struct PlaneAxes {
  int first, second, normal;
};
PlaneAxes planeAxes(Plane plane);

enum class MoveKind {
  Rapid,  // G0: point to point at the point-to-point speed
  Feed,   // G1: a straight line at the feed
  Arc,    // G2 / G3, with full circles and helices
  Dwell,  // G4: standing still for `dwell` seconds
  Pause,  // M0: wait until stopped
};

struct Move {
  MoveKind kind = MoveKind::Feed;
  int line = 0;        // 1-based line of the block
  Axes start{};        // where the move starts, mm (U V W: the A B C values)
  Axes end{};          // where it ends
  double feed = 0;     // Feed and Arc: mm per second
  bool blend = false;  // G64 in force
  double dwell = 0;    // Dwell: seconds
  // Arc only.
  Plane plane = Plane::XY;
  bool clockwise = false;
  double centre[2] = {0, 0};  // in the plane's axes (first, second), absolute
  double radius = 0;
  double sweep = 0;  // signed angle, radians, counter-clockwise positive; +-2 pi for a full circle
  bool fullCircle = false;
  // True when the normal axis or U V W moves during the arc.
  bool helix() const;
};

// The point a fraction f (0 to 1) along a move; arcs follow their circle.
Axes pointAlong(const Move& move, double f);

struct Diagnostic {
  int line = 0;
  int column = 0;  // 1-based; 0 for a whole-line diagnostic
  std::string message;
  std::string text() const;  // "line L, column C: message"
};

struct Result {
  std::vector<Move> moves;
  std::vector<Diagnostic> warnings;
  std::vector<Diagnostic> errors;
  bool ok() const { return errors.empty(); }
};

Result read(std::string_view text);

// One move as --check prints it ("line 12: arc G2 XY to X10 Y0 Z0 ...").
std::string describe(const Move& move);

}  // namespace tv::gcode
