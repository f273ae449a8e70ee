// The planner's private working state of one group.
//
// The cycle step loads this record, works on it, and stores it back; nothing
// else touches it while the cycle runs, and the pure step functions take it
// explicitly instead of reaching for shared tables.
#pragma once

#include <cstdint>

#include "planner/arc_geometry.h"
#include "planner/blend_state.h"
#include "planner/command.h"
#include "planner/hold_state.h"
#include "planner/profile.h"

namespace vnl::planner {

inline constexpr double kNoTarget = -1000000.0;  // previous-target sentinel

struct AxisParams {
  double pulsesPerUnit = 1000.0;  // signed: the sign carries the direction
  double maxSpeed = 1.0;          // units/s
  double upperLimit = 1e12;       // software limits, pulses
  double lowerLimit = -1e12;
  bool limitEnabled = false;
};

// Machine parameters the planner works with, taken at group reset.
//
// Time in the planner runs on a grid of whole milliseconds: one period is
// periodMs (the interpolation time), and every segment time, step count and
// rounding of the profiles is counted on it. On the machine one period lasts
// cycleMs, the DDA cycle the card runs (0.8192 ms for a 1 ms period: bit-length
// code 5 gives no cycle of exactly 1 ms). Speeds inside the profiles are
// therefore units per grid second, 1000 grid ms; machine speeds in units per
// second (feeds, maximum speeds) go in through toGrid() and come out divided
// by clockRatio(), so that a feed holds on the card and a ramp of N steps
// lasts N card cycles. A cycleMs of 0 means the grid's own period.
struct GroupParams {
  int axisCount = kAxes;
  int periodMs = 1;
  double cycleMs = 0;
  double sysMaxSpeed = 1e9;  // units/s of machine time
  AxisParams axis[kAxes];

  // Machine time per grid time.
  double clockRatio() const { return cycleMs > 0 && periodMs > 0 ? cycleMs / periodMs : 1.0; }
  double toGrid(double unitsPerSecond) const { return unitsPerSecond * clockRatio(); }
};

// Path speed settings as taken over through the parameter handshake.
struct PathSettings {
  ProfileShape shape;  // types and derived times
  int accSteps = 20;
  int decSteps = 20;
  int overSpeed = 100;     // percent, >= 1
  int ptpOverSpeed = 100;  // percent, >= 1
};

// Geometry of the running line.
struct LineGeometry {
  double k[kAxes] = {};  // direction factors
  double L = 0;          // path length
  bool uvwOnly = false;  // path along the dominant U-V-W axis
  int dominant = 3;      // dominant U-V-W axis, kept from line to line
};

// State of the running arc.
struct ArcState {
  ArcGeometry g;
  double theta = 0;      // swept angle so far, radians
  double segTheta = 0;   // angle at which the current segment started
  double tolerance = 0;  // one-pulse diagonal step, machine units
};

// One axis of a point-to-point move: its own profile along its own distance.
struct PtpAxis {
  PathProfile profile;
  ProfileShape shape;
  double segStart = 0;
  double sign = 0;  // +1, -1, or 0 for an axis that does not move
  bool arrived = true;
};

struct GroupContext {
  GroupParams params;
  PathSettings settings;

  // Path positions, machine units.
  double pos[kAxes] = {};
  double prevPos[kAxes] = {};
  double segStart[kAxes] = {};

  // Pulses.
  double pulsePos[kAxes] = {};      // new position in pulses
  double prevPulsePos[kAxes] = {};  // position in pulses of the last step
  double remainder[kAxes] = {};     // fractional pulse carried, signed
  int32_t cmdPulse[kAxes] = {};     // sum of all pulses issued
  int32_t pulses[kAxes] = {};       // counts of this step (kept until put)
  double prevTarget[kAxes] = {kNoTarget, kNoTarget, kNoTarget, kNoTarget, kNoTarget, kNoTarget};

  // Measured speeds.
  double axisSpeed[kAxes] = {};
  double pathSpeed = 0;  // published: all axes' displacement per second
  double pathRate = 0;   // along the path's own length (L's measure)
  double travelled = 0;  // along the path's own length

  // Commands.
  MotionCommand cmd{};       // working record (being planned / executed)
  MotionCommand planned{};   // record of the running plan
  MotionCommand previous{};  // record of the last finished plan
  double unscaledSpeed = 0;  // speed as queued, before the over-speed ratio
  double previousV = 0;      // cruise speed of the previous plan
  PathProfile profile;
  LineGeometry line;
  ArcState arc;
  PtpAxis ptp[kAxes];
  JogState jog;
  HoldState hold;
  BlendState blend;  // blend into the next command, while one runs

  bool startFromRest = false;
  bool readyForNext = true;
  bool ready = true;  // published ready flag: no command being executed
  bool blending = false;
};

// Machine units to pulses for every axis.
inline void toPulses(const GroupParams& g, const double units[kAxes], double pulses[kAxes]) {
  for (int i = 0; i < kAxes; ++i)
    pulses[i] = units[i] * g.axis[i].pulsesPerUnit;
}

}  // namespace vnl::planner
