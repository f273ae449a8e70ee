// Runs a parsed program through the motion library, in simulation or on the
// virtual card in virtual time, or on a real card through the Linux backend in
// real time, and records what the output layer handed out in every period.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "program.h"

namespace tv::run {

// Where the pulses go.
enum class Target {
  Simulation,   // no card
  VirtualCard,  // the virtual card, in virtual time
  LinuxCard,    // the first real card the Linux backend can open, in real time
};

struct RunOptions {
  int periodMs = 1;              // interpolation period
  double sysMaxSpeed = 100.0;    // system maximum speed handed to the library
  long maxPeriods = 10'000'000;  // give up when the program runs longer
  Target target = Target::Simulation;
  // Called with the backend and the card chosen, before the library starts
  // (before any axis moves): a program says there what runs.
  std::function<void(const std::string& backend, const std::string& card)> chosen;
};

// One interpolation period as the queries report it after the output.
struct Sample {
  double timeMs;        // end of the period in machine time (periods x cycleMs)
  double position[6];   // commanded position, caller's units (VNL_GetCurPos)
  int32_t pulsePos[6];  // pulse positions (VNL_GetPulsePos)
  int32_t pulses[6];    // pulses output in this period
  double speed[6];      // per-axis speeds, machine units per second (VNL_GetSpeed)
  double pathSpeed;     // path speed (VNL_GetCurFeedSpeed)
};

struct Trace {
  int periodMs = 1;      // the interpolation time the run was given
  double cycleMs = 1.0;  // how long a period lasts (VNL_GetInterpolateTime): the card's DDA cycle
  std::vector<Sample> samples;
};

struct RunResult {
  bool ok = false;
  std::string error;  // "line N: ..." when a statement failed
  // On a card: the driver service's backend, and the card the run used.
  std::string backend;
  std::string card;
  // True when no card could be used (the error says why): nothing ran.
  bool noCard = false;
  Trace trace;
  // On the virtual card: where the plant's axes stand at the start and at the
  // end, in pulses (the virtual card, and so its plant, lives on from run to run).
  bool plantKnown = false;
  int64_t plantStart[6] = {};
  int64_t plant[6] = {};
};

// Chooses the driver service's backend for a card target (never falling back
// from a real card to the virtual one), initialises the library (one card,
// group 0 on axes 0 to 5),
// runs every statement, waits until the group has stopped and closes the
// library. Uses the process-wide library and clock: one run at a time.
RunResult runProgram(const Program& program, const RunOptions& options);

}  // namespace tv::run
