// The output layer's mode machine: Idle, Running, Holding, Held, Stopping,
// Homing. Callers raise mode commands (modeCmd, 255 = raised); the dispatch
// takes all raised commands of a cycle at once, resolves them by priority
// (done before start, stop before all) and makes one transition. A command
// the mode cannot take, or two starts in one cycle, set the output latch.
#include "library.h"

namespace vnl {

void Library::setLatch(Latch v) {
  latch.store(static_cast<uint8_t>(v), std::memory_order_relaxed);
  outErrorFlag.store(kRaised, std::memory_order_release);
}

void Library::evaluateModeCommands() {
  bool raised[kCmdCount];
  bool any = false;
  for (int c = 0; c < kCmdCount; ++c) {
    raised[c] = modeCmd[c].exchange(0, std::memory_order_acq_rel) == kRaised;
    any = any || raised[c];
  }
  if (!any) return;
  int cmd = -1;
  if (raised[kOutputDone]) cmd = kOutputDone;
  if (raised[kHomingDone]) cmd = kHomingDone;
  for (int c : {kStartHoming, kStartOutput, kHold, kResume}) {
    if (!raised[c]) continue;
    if (cmd == kStartHoming || cmd == kStartOutput || cmd == kHold || cmd == kResume) {
      setLatch(Latch::ConflictingCommands);
    } else {
      cmd = c;
    }
  }
  if (raised[kStop]) cmd = kStop;
  uint8_t m = mode.load(std::memory_order_relaxed);
  auto set = [&](uint8_t next) { mode.store(next, std::memory_order_release); };
  if (m == kIdle && cmd == kStartOutput)
    set(kRunning);
  else if (m == kIdle && cmd == kStartHoming)
    set(kHoming);
  else if (m == kIdle && cmd == kStop) {
    resetOutput();
    if (onCards()) {
      for (int g = 0; g < kGroups; ++g) {
        if (!tableGroupOk(g)) continue;
        flushGroup(g);
      }
      // The pulse positions are the card's output counters: restarted,
      // they are 0 again, as the groups' planner positions after their reset.
      for (int c = 0; c < cardCount; ++c)
        for (int ax = 0; ax < kAxesPerCard; ++ax) {
          cards::restartPulseCounter(c, ax);
          pulsePos[c * kAxesPerCard + ax].store(0, std::memory_order_release);
          lastOutputPulse[c * kAxesPerCard + ax].store(0, std::memory_order_relaxed);
        }
    }
  } else if (m == kRunning && cmd == kStartOutput) {
  } else if (m == kRunning && cmd == kHold) {
    set(kHolding);
    acceptance = 1;
  } else if ((m == kRunning || m == kHeld || m == kHoming) && cmd == kStop) {
    if (m == kHoming) homingPrepareStop();
    set(kStopping);
    acceptance = 1;
  } else if (m == kRunning && cmd == kOutputDone)
    set(kIdle);
  else if (m == kHeld && cmd == kHold) {
  } else if (m == kHeld && cmd == kResume)
    set(kRunning);
  else if (m == kHoming && cmd == kStartHoming) {
  } else if (m == kHoming && cmd == kHomingDone) {
    if (onCards())
      for (int c = 0; c < cardCount; ++c)
        for (int ax = 0; ax < kAxesPerCard; ++ax)
          QORA_ENC_ClearCounter(static_cast<uint16_t>(ax), static_cast<uint16_t>(c));
    set(kIdle);
  } else
    setLatch(Latch::BadModeCommand);
}

}  // namespace vnl
