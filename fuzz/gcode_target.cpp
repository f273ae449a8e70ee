// Fuzz target: the G-code reader on arbitrary text.
//
// Contracts checked besides crashes and undefined behaviour:
//   - every diagnostic names a line of the text (1 .. the number of lines),
//     a column of 0 or more and says what is wrong; at most kMaxErrors errors;
//   - reading the same text again gives the same result;
//   - the moves come in line order, every number in them is finite, each
//     move starts where the one before ended (within what dropped moves of
//     less than a micrometre may leave between them);
//   - a rapid or a line goes somewhere, and lines and arcs have a feed;
//   - an arc lies on its circle: the start at its radius, the end within
//     the reader's tolerance of it, a sweep of at most one turn that is a
//     whole turn exactly for a full circle.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string_view>

#include "fuzz/input.h"
#include "gcode.h"

namespace {

namespace gc = tv::gcode;

bool finite(const gc::Axes& a) {
  return std::all_of(a.begin(), a.end(), [](double v) { return std::isfinite(v); });
}

void checkDiagnostics(const std::vector<gc::Diagnostic>& list, int lines) {
  for (const gc::Diagnostic& d : list) {
    FUZZ_CHECK(d.line >= 1 && d.line <= lines, "diagnostic on line %d of %d", d.line, lines);
    FUZZ_CHECK(d.column >= 0, "column %d", d.column);
    FUZZ_CHECK(!d.message.empty(), "line %d: a diagnostic without a message", d.line);
  }
}

void checkArc(const gc::Move& m) {
  const gc::PlaneAxes p = gc::planeAxes(m.plane);
  FUZZ_CHECK(std::isfinite(m.centre[0]) && std::isfinite(m.centre[1]) && std::isfinite(m.radius) &&
                 std::isfinite(m.sweep),
             "line %d: arc centre %g %g radius %g sweep %g", m.line, m.centre[0], m.centre[1],
             m.radius, m.sweep);
  FUZZ_CHECK(m.radius > 0, "line %d: radius %g", m.line, m.radius);
  const double r0 = std::hypot(m.start[p.first] - m.centre[0], m.start[p.second] - m.centre[1]);
  const double r1 = std::hypot(m.end[p.first] - m.centre[0], m.end[p.second] - m.centre[1]);
  const double rounding =
      1e-9 * std::max({1.0, m.radius, std::fabs(m.centre[0]), std::fabs(m.centre[1])});
  FUZZ_CHECK(std::fabs(r0 - m.radius) <= rounding, "line %d: start %g off radius %g", m.line, r0,
             m.radius);
  FUZZ_CHECK(std::fabs(r1 - m.radius) <= std::max(gc::kArcTolerance, 0.001 * m.radius) + rounding,
             "line %d: end %g off radius %g", m.line, r1, m.radius);
  const double turn = 2 * std::numbers::pi;
  FUZZ_CHECK(m.sweep != 0 && std::fabs(m.sweep) <= turn + 1e-12, "line %d: sweep %g", m.line,
             m.sweep);
  FUZZ_CHECK(!m.fullCircle || std::fabs(m.sweep) == turn, "line %d: full circle of sweep %g",
             m.line, m.sweep);
  FUZZ_CHECK((m.sweep < 0) == m.clockwise, "line %d: sweep %g against the sense", m.line, m.sweep);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  const gc::Result result = gc::read(text);
  const gc::Result again = gc::read(text);
  FUZZ_CHECK(again.ok() == result.ok() && again.moves.size() == result.moves.size() &&
                 again.errors.size() == result.errors.size() &&
                 again.warnings.size() == result.warnings.size(),
             "a second reading differs");
  FUZZ_CHECK(result.errors.size() <= static_cast<std::size_t>(gc::kMaxErrors), "%zu errors",
             result.errors.size());
  checkDiagnostics(result.errors, lines);
  checkDiagnostics(result.warnings, lines);

  int last = 0;
  const gc::Move* previous = nullptr;
  for (const gc::Move& m : result.moves) {
    FUZZ_CHECK(m.line >= last && m.line <= lines, "move on line %d after %d of %d", m.line, last,
               lines);
    last = m.line;
    FUZZ_CHECK(finite(m.start) && finite(m.end) && std::isfinite(m.feed) && std::isfinite(m.dwell),
               "line %d: a number that is not finite", m.line);
    // Each line between the two may have dropped a sub-micrometre move.
    if (previous != nullptr)
      for (int i = 0; i < 6; ++i) {
        const double gap = std::fabs(m.start[static_cast<std::size_t>(i)] -
                                     previous->end[static_cast<std::size_t>(i)]);
        FUZZ_CHECK(gap <= 1e-6 * (m.line - previous->line + 1) +
                              1e-12 * std::fabs(m.start[static_cast<std::size_t>(i)]),
                   "line %d: starts %g from where line %d ended", m.line, gap, previous->line);
      }
    previous = &m;
    switch (m.kind) {
      case gc::MoveKind::Rapid:
      case gc::MoveKind::Feed: {
        bool moves = false;
        for (std::size_t i = 0; i < 6; ++i)
          moves = moves || std::fabs(m.end[i] - m.start[i]) > 1e-6;
        FUZZ_CHECK(moves, "line %d: a move to where the tool stands", m.line);
        FUZZ_CHECK(m.kind == gc::MoveKind::Rapid || m.feed > 0, "line %d: feed %g", m.line, m.feed);
        break;
      }
      case gc::MoveKind::Arc:
        FUZZ_CHECK(m.feed > 0, "line %d: arc feed %g", m.line, m.feed);
        checkArc(m);
        break;
      case gc::MoveKind::Dwell:
        FUZZ_CHECK(m.dwell >= 0, "line %d: dwell %g", m.line, m.dwell);
        break;
      case gc::MoveKind::Pause:
        break;
    }
  }
  return 0;
}
