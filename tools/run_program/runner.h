// Runs a parsed program through the motion library, in simulation or on the
// virtual card, in virtual time, and records what the output layer handed out
// in every period.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "program.h"

namespace tv::run {

struct RunOptions {
  int periodMs = 1;              // interpolation period
  double sysMaxSpeed = 100.0;    // system maximum speed handed to the library
  long maxPeriods = 10'000'000;  // give up when the program runs longer
  bool onCard = false;           // the virtual card instead of simulation
};

// One interpolation period as the queries report it after the output.
struct Sample {
  double timeMs;        // end of the period
  double position[6];   // commanded position, caller's units (VNL_GetCurPos)
  int32_t pulsePos[6];  // pulse positions (VNL_GetPulsePos)
  int32_t pulses[6];    // pulses output in this period
  double speed[6];      // per-axis speeds, machine units per second (VNL_GetSpeed)
  double pathSpeed;     // path speed (VNL_GetCurFeedSpeed)
};

struct Trace {
  int periodMs = 1;
  std::vector<Sample> samples;
};

struct RunResult {
  bool ok = false;
  std::string error;  // "line N: ..." when a statement failed
  Trace trace;
  // On the card: where the plant's axes stand at the start and at the end, in
  // pulses (the virtual card, and so its plant, lives on from run to run).
  bool plantKnown = false;
  int64_t plantStart[6] = {};
  int64_t plant[6] = {};
};

// Initialises the library (simulation or the virtual card, one card, group 0
// on axes 0 to 5),
// runs every statement, waits until the group has stopped and closes the
// library. Uses the process-wide library and clock: one run at a time.
RunResult runProgram(const Program& program, const RunOptions& options);

}  // namespace tv::run
