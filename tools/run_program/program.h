// The text program that tv-run executes: one statement per line.
//
//   # comment (also after a statement)
//   feed 3                  feed speed, caller's units per second
//   absolute | incremental  coordinate type of the following lines
//   line x [y [z [u [v [w]]]]]
//                           line; axes left out keep their last target
//                           (absolute) or do not move (incremental)
//   linex x | liney y | linez z | lineuvw u v w
//   accsteps n | decsteps n acceleration / deceleration in periods
//   acctype S|T | dectype S|T
//   overspeed percent
//   wait                    until the group has stopped
//
// Keywords are case-insensitive. Numbers are decimal (C locale).
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
  AccSteps,
  DecSteps,
  AccType,
  DecType,
  OverSpeed,
  Wait,
};

struct Statement {
  Op op;
  int line;          // 1-based line of the source
  double values[6];  // numeric arguments in order
  int count;         // how many values were given
  char type;         // 'S' or 'T' for acctype / dectype
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
