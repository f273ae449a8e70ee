// The output layer's mode machine carried out: callers raise mode commands
// (modeCmd); the dispatch takes all raised commands of a cycle at once and
// makes the one step of the pure table (mode_machine.h), then does the
// step's action. A command the mode cannot take, or two starts in one
// cycle, set the output latch.
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
  bool conflict = false;
  const int cmd = resolveModeCommands(raised, conflict);
  if (conflict) setLatch(Latch::ConflictingCommands);
  const ModeStep step = modeStep(mode.load(std::memory_order_relaxed), cmd);
  switch (step.action) {
    case ModeAction::None:
      break;
    case ModeAction::RestartOutput:
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
            cardPath->restartPulseCounter(c, ax);
            pulsePos[c * kAxesPerCard + ax].store(0, std::memory_order_release);
            lastOutputPulse[c * kAxesPerCard + ax].store(0, std::memory_order_relaxed);
          }
      }
      break;
    case ModeAction::PrepareHomingStop:
      homingPrepareStop();
      break;
    case ModeAction::ClearEncoders:
      if (onCards())
        for (int c = 0; c < cardCount; ++c)
          for (int ax = 0; ax < kAxesPerCard; ++ax)
            cardPath->clearEncoder(c, ax);
      break;
    case ModeAction::BadCommand:
      setLatch(Latch::BadModeCommand);
      return;
  }
  if (step.accept) acceptance = 1;
  if (step.next != mode.load(std::memory_order_relaxed))
    mode.store(step.next, std::memory_order_release);
}

}  // namespace vnl
