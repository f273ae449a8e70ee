#include "run/gcode_import.h"

#include <algorithm>
#include <cmath>

namespace tervane {

namespace {

using tv::gcode::Move;
using tv::gcode::MoveKind;

std::string at(int line) {
  return "line " + std::to_string(line) + ": ";
}

// A program point in whole pulses.
double pulses(double mm) {
  return std::round(mm * kImportPulsesPerMm);
}

// Why the list cannot hold a move; empty when it can.
std::string refusal(const Move& m) {
  switch (m.kind) {
    case MoveKind::Dwell:
      return "a dwell (G4) cannot go into the command list";
    case MoveKind::Pause:
      return "a pause (M0) cannot go into the command list";
    default:
      break;
  }
  if (m.kind == MoveKind::Arc && m.plane != tv::gcode::Plane::XY)
    return "the command list holds arcs in the X-Y plane only (G17)";
  if (m.helix()) return "a helix cannot go into the command list";
  if (std::fabs(m.end[2] - m.start[2]) > 1e-9) return "a Z move cannot go into the command list";
  for (int i = 3; i < 6; ++i)
    if (std::fabs(m.end[i] - m.start[i]) > 1e-9)
      return "an A B C move cannot go into the command list";
  return {};
}

}  // namespace

Import importMoves(const tv::gcode::Result& program, int room, int32_t fallbackSpeed) {
  Import out;
  if (!program.ok()) {
    const tv::gcode::Diagnostic& e = program.errors.front();
    out.error = e.text();
    if (program.errors.size() > 1)
      out.error += " (and " + std::to_string(program.errors.size() - 1) + " more)";
    return out;
  }
  double fastest = 0;
  for (const Move& m : program.moves)
    fastest = std::max(fastest, m.feed);
  const double rapid = fastest > 0 ? fastest * kImportPulsesPerMm : fallbackSpeed;
  for (const Move& m : program.moves) {
    if (const std::string why = refusal(m); !why.empty()) {
      out.entries.clear();
      out.error = at(m.line) + why;
      return out;
    }
    const double speed =
        std::round(m.kind == MoveKind::Rapid ? rapid : m.feed * kImportPulsesPerMm);
    if (speed < 1 || speed > 2147483647.0) {
      out.entries.clear();
      out.error = at(m.line) + "the speed does not fit the command list (1 to 2147483647 pulses/s)";
      return out;
    }
    ImportedEntry e;
    e.line = m.line;
    e.entry.speed = static_cast<int32_t>(speed);
    e.fromX = pulses(m.start[0]);
    e.fromY = pulses(m.start[1]);
    e.toX = pulses(m.end[0]);
    e.toY = pulses(m.end[1]);
    if (m.kind != MoveKind::Arc) {
      e.entry.type = MoveType::Line;
      e.entry.destinationX = e.toX - e.fromX;
      e.entry.destinationY = e.toY - e.fromY;
    } else {
      e.centreX = m.centre[0] * kImportPulsesPerMm;
      e.centreY = m.centre[1] * kImportPulsesPerMm;
      e.radius = m.radius * kImportPulsesPerMm;
      if (m.fullCircle) {
        e.entry.type = MoveType::Circle;
        e.entry.referenceX = pulses(m.centre[0]) - e.fromX;
        e.entry.referenceY = pulses(m.centre[1]) - e.fromY;
        e.entry.direction = m.clockwise ? 0 : 1;
        e.sweep = m.sweep;
      } else {
        const tv::gcode::Axes mid = tv::gcode::pointAlong(m, 0.5);
        e.entry.type = MoveType::Arc;
        e.entry.destinationX = e.toX - e.fromX;
        e.entry.destinationY = e.toY - e.fromY;
        e.entry.referenceX = pulses(mid[0]) - e.fromX;
        e.entry.referenceY = pulses(mid[1]) - e.fromY;
        const bool flat =
            e.entry.destinationX * e.entry.referenceY == e.entry.destinationY * e.entry.referenceX;
        if (flat) {
          out.entries.clear();
          out.error = at(m.line) + "the arc is too flat for whole pulses";
          return out;
        }
        e.start = std::atan2(m.start[1] - m.centre[1], m.start[0] - m.centre[0]);
        e.sweep = m.sweep;
      }
    }
    out.entries.push_back(e);
  }
  if (static_cast<int>(out.entries.size()) > room) {
    out.error = "the program has " + std::to_string(out.entries.size()) +
                " moves; the command list has room for " + std::to_string(room);
    out.entries.clear();
  }
  return out;
}

}  // namespace tervane
