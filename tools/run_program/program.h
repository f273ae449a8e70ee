// The text program that tv-run executes: one statement per line.
//
//   # comment (also after a statement)
//   feed 3                  feed speed, caller's units per second
//   absolute | incremental  coordinate type of the following moves
//   line x [y [z [u [v [w]]]]]
//                           line; axes left out keep their last target
//                           (absolute) or do not move (incremental)
//   linex x | liney y | linez z | lineuvw u v w
//
//   arcxy rx ry ex ey       arc from where the group stands through the
//   arcyz ry rz ey ez       reference point r to the end point e, in the
//   arczx rz rx ez ex       plane named; the sense of rotation is the one
//                           that passes through r
//   arcxyuvw rx ry ex ey u v w      helical arcs: U, V, W move to their
//   arcyzuvw ry rz ey ez u v w      targets in proportion to the angle
//   arczxuvw rz rx ez ex u v w
//   arcxyz rx ry rz ex ey ez        arc in space through three points
//   circlexy cx cy dir      full circle about the centre c from where the
//   circleyz cy cz dir      group stands; dir 1 counter-clockwise, 0
//   circlezx cz cx dir      clockwise, seen from the plane's normal axis
//   circlexyuvw cx cy u v w dir     full helical turns: U, V, W move to
//   circleyzuvw cy cz u v w dir     their targets during the circle
//   circlezxuvw cz cx u v w dir
//
//   ptpspeed percent        point-to-point speed, percent of each axis's
//                           maximum speed
//   ptp x [y [z [u [v [w]]]]]
//                           point-to-point move: every axis on its own
//                           profile; axes left out as for line
//   jog distance percent axis
//                           distance jog of one axis (0 to 5 for X to W), in
//                           machine units, neither absolute nor incremental
//   jogconti dir percent axis
//                           jog towards the axis's software limit, upper
//                           with dir 1, lower with dir -1
//   jogpulse pulses axis    hands that many pulses of one axis straight to
//                           the output
//                           The library takes jogs only from a stopped
//                           group: each jog statement first waits until the
//                           group has stopped, and afterwards until the jog
//                           has ended, so that the following moves start
//                           from where the jog left the axis.
//   blend on | off          blending of the following commands
//   delay periods           the group stands still for that many periods
//
//   accsteps n | decsteps n acceleration / deceleration in periods
//   acctype S|T | dectype S|T
//   overspeed percent
//   wait                    until the group has stopped
//
// Keywords and the words S, T, on and off are case-insensitive. Numbers are
// decimal (C locale); steps, percents, pulses and periods are whole numbers.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace tv::run {

enum class Op {
  Feed,
  Absolute,
  Incremental,
  Line,
  LineX,
  LineY,
  LineZ,
  LineUVW,
  ArcXY,
  ArcYZ,
  ArcZX,
  ArcXYUVW,
  ArcYZUVW,
  ArcZXUVW,
  ArcXYZ,
  CircleXY,
  CircleYZ,
  CircleZX,
  CircleXYUVW,
  CircleYZUVW,
  CircleZXUVW,
  PtPSpeed,
  PtP,
  Jog,
  JogConti,
  JogPulse,
  Blend,
  Delay,
  AccSteps,
  DecSteps,
  AccType,
  DecType,
  OverSpeed,
  Wait,
};

inline constexpr int kMaxValues = 7;  // a helical arc: reference, end and U, V, W

struct Statement {
  Op op;
  int line;                   // 1-based line of the source
  double values[kMaxValues];  // numeric arguments in order; blend: 1 on, 0 off
  int count;                  // how many values were given
  char type;                  // 'S' or 'T' for acctype / dectype
};

struct Program {
  std::vector<Statement> statements;
};

struct ParseError {
  int line = 0;
  std::string message;
  std::string text() const;  // "line N: message"
};

// Parses the whole text; on the first bad line returns false and fills error.
bool parseProgram(std::istream& in, Program& out, ParseError& error);

}  // namespace tv::run
