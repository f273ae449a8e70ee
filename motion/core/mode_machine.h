// The output layer's mode machine as a pure transition table. The dispatch
// takes every mode command raised in a cycle at once, resolves them to one
// (resolveModeCommands) and makes one step (modeStep); what a step does
// besides changing the mode is its action, which the output layer carries
// out (mode_machine.cpp).
#pragma once

#include <cstdint>
#include <initializer_list>

namespace vnl {

enum Mode : uint8_t {
  kIdle = 1,
  kRunning = 2,
  kHeld = 3,
  kStopping = 4,
  kHolding = 5,
  kHoming = 6
};
enum Cmd { kStartOutput, kHold, kStartHoming, kStop, kResume, kOutputDone, kHomingDone, kCmdCount };

enum class ModeAction : uint8_t {
  None,
  RestartOutput,      // a stop while idle: the output layer, card queues and counters afresh
  PrepareHomingStop,  // a stop while homing: the homing run starts decelerating
  ClearEncoders,      // homing done: every card's encoder counters to 0
  BadCommand,         // a command the mode cannot take: the output latch
};

struct ModeStep {
  uint8_t next;       // the mode after the step
  ModeAction action;  // what the output layer does besides
  bool accept;        // the mode waits for the group steps to acknowledge (Holding, Stopping)
};

// The one command of a cycle: a done command, replaced by a start, hold or
// resume (a second of these in the same cycle is a conflict), replaced by a
// stop. -1 when nothing is raised.
constexpr int resolveModeCommands(const bool (&raised)[kCmdCount], bool& conflict) {
  conflict = false;
  int cmd = -1;
  if (raised[kOutputDone]) cmd = kOutputDone;
  if (raised[kHomingDone]) cmd = kHomingDone;
  for (int c : {kStartHoming, kStartOutput, kHold, kResume}) {
    if (!raised[c]) continue;
    if (cmd == kStartHoming || cmd == kStartOutput || cmd == kHold || cmd == kResume)
      conflict = true;
    else
      cmd = c;
  }
  if (raised[kStop]) cmd = kStop;
  return cmd;
}

constexpr ModeStep modeStep(uint8_t mode, int cmd) {
  const ModeStep stay{mode, ModeAction::None, false};
  switch (mode) {
    case kIdle:
      if (cmd == kStartOutput) return {kRunning, ModeAction::None, false};
      if (cmd == kStartHoming) return {kHoming, ModeAction::None, false};
      if (cmd == kStop) return {kIdle, ModeAction::RestartOutput, false};
      break;
    case kRunning:
      if (cmd == kStartOutput) return stay;
      if (cmd == kHold) return {kHolding, ModeAction::None, true};
      if (cmd == kStop) return {kStopping, ModeAction::None, true};
      if (cmd == kOutputDone) return {kIdle, ModeAction::None, false};
      break;
    case kHeld:
      if (cmd == kHold) return stay;
      if (cmd == kResume) return {kRunning, ModeAction::None, false};
      if (cmd == kStop) return {kStopping, ModeAction::None, true};
      break;
    case kHoming:
      if (cmd == kStartHoming) return stay;
      if (cmd == kStop) return {kStopping, ModeAction::PrepareHomingStop, true};
      if (cmd == kHomingDone) return {kIdle, ModeAction::ClearEncoders, false};
      break;
    default:
      break;
  }
  return {mode, ModeAction::BadCommand, false};
}

}  // namespace vnl
