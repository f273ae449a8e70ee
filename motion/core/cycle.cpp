// The cycle: what runs once per interpolation period.
//
// Threads. With cards the cycle runs on card 0's interrupt thread
// (cardCycle, the card-access library's timer routine); in simulation it
// runs on the caller's thread inside every wait (waitRoutine calls
// simulatedCycle). The exported functions run on the caller's threads. The
// cycle takes no lock: it meets the callers only through atomics written by
// one side.
//
// Handshake bytes (255 = raised, 0 = lowered):
//   - reqPending / reqDone: a caller raises reqPending with a request in the
//     mailbox; the dispatch lowers it, serves the request, raises reqDone.
//   - modeCmd[]: callers (and the pulse output, kOutputDone) raise mode
//     commands; the dispatch lowers them all when it evaluates them.
//   - outClearRequest: VNL_ClearError raises it; the dispatch clears the
//     output latch and lowers it.
//   - the groups' request bytes (hold, continue, abort while held, error
//     acknowledge, reset, parameter handshake) live in planner::GroupShared:
//     callers raise them, the group's cycle step lowers them.
//   - definePosFlag[g]: VNL_DefinePos raises it; the dispatch of an idle
//     output layer lowers it after moving the group's positions.
//
// Time budget. A period is 1 to 200 ms; on cards the pulse engine runs a
// DDA cycle of at most that length and each axis's card queue holds 127
// entries, so a cycle that comes late by less than the 63 queued periods
// loses nothing. The cycle samples the cards once (sensor words, limits,
// directions), runs the homing passes, steps every due group (a group is
// due while its first axis's card queue holds fewer than
// kCardQueueThreshold entries) and runs the dispatch, twice, so that a
// group whose queue is low catches up by one extra period.
//
// Register accesses. Each card's inputs are read once a cycle (four
// registers), and each axis in use once however many groups share it: its
// output pulse counter once a cycle (three accesses), its queue stock once a
// stepping pass, its encoder (and, in the closed loop, its error counter)
// once a dispatch. An idle cycle of one card with its six axes in use makes
// about 70 accesses, one with twelve cards about 770.
#include "library.h"

namespace vnl {

void Library::sampleCards() {
  for (int c = 0; c < cardCount; ++c) {
    // One reading of the card's inputs a cycle serves both the sensor words
    // and the limit states.
    cards::SensorLevels raw;
    cardPath->sensors(c, raw);
    for (int ax = 0; ax < kAxesPerCard; ++ax) {
      const int a = c * kAxesPerCard + ax;
      const int16_t up = levelUp[a].load(std::memory_order_relaxed);
      const int16_t down = levelDown[a].load(std::memory_order_relaxed);
      const bool upActive = cards::sensorActive(raw.up[ax], up);
      const bool downActive = cards::sensorActive(raw.down[ax], down);
      otUp[a].store(upActive ? 1 : 0, std::memory_order_relaxed);
      otDown[a].store(downActive ? 1 : 0, std::memory_order_relaxed);
      const bool homeActive =
          cards::sensorActive(raw.home[ax], levelHome[a].load(std::memory_order_relaxed));
      home[a].store(homeActive ? 1 : 0, std::memory_order_relaxed);
      const bool upLimit = (up == 0 || up == 1) && upActive;
      const bool downLimit = (down == 0 || down == 1) && downActive;
      limitState[a].store(cards::limitState(upLimit, downLimit), std::memory_order_relaxed);
      tripped[a].store(upLimit || downLimit ? 1 : 0, std::memory_order_relaxed);
    }
  }
  if (!dryRun) {
    // Each axis once, however many groups share it: a second read in the
    // same cycle would find it standing.
    bool sampled[kMachineAxes]{};
    for (int g = 0; g < kGroups; ++g) {
      if (!tableGroupOk(g)) continue;
      const int c = table[g].card.load(std::memory_order_relaxed);
      for (auto& slot : table[g].axis) {
        const int ax = slot.load(std::memory_order_relaxed);
        if (ax < 0 || ax >= kAxesPerCard) continue;
        const int a = c * kAxesPerCard + ax;
        if (std::exchange(sampled[a], true)) continue;
        int32_t now = 0;
        if (!cardPath->outputPulses(c, ax, now)) continue;
        const int32_t before = lastOutputPulse[a].exchange(now, std::memory_order_relaxed);
        direction[a].store(
            cards::direction(before, now, reversed[a].load(std::memory_order_relaxed)),
            std::memory_order_relaxed);
      }
    }
  }
  const uint8_t check = limitMode.load(std::memory_order_relaxed);
  if (check == 0) return;
  for (int c = 0; c < cardCount; ++c)
    for (int ax = 0; ax < kAxesPerCard; ++ax) {
      const int a = c * kAxesPerCard + ax;
      if (cards::stopsAxis(check, limitState[a].load(std::memory_order_relaxed),
                           direction[a].load(std::memory_order_relaxed)))
        cardPath->stopAxis(c, ax);
    }
}

void Library::cardCycle() {
  cyclesRun.fetch_add(1, std::memory_order_release);
  if (VNL_CycleRoutine r = cycleRoutine.load(std::memory_order_acquire)) r();
  simOut.store(0, std::memory_order_relaxed);
  if (runState.load(std::memory_order_acquire) == 0) return;
  sampleCards();
  homingRanThisCycle = false;
  if (mode.load(std::memory_order_relaxed) == kHoming) homingPollLatches();
  stepwiseHoming();
  bool due = false;
  for (int pass = 0; pass < 2; ++pass) {
    // Each axis's queue is read once a pass: groups that share an axis see
    // the same count, and nothing reaches the card before the dispatch.
    int stockSeen[kMachineAxes];
    std::fill(std::begin(stockSeen), std::end(stockSeen), -1);
    due = stepDueGroups([&](int card, int axis) {
            int& n = stockSeen[card * kAxesPerCard + axis];
            if (n < 0) n = cardPath->stock(card, axis);
            return n;
          }) ||
          due;
    if (due) dispatch();
  }
  for (int c = 0; c < cardCount; ++c)
    for (int ax = 0; ax < kAxesPerCard; ++ax)
      stock[c * kAxesPerCard + ax].store(static_cast<int16_t>(cardPath->stock(c, ax)),
                                         std::memory_order_relaxed);
}

void Library::encoderEvent(int card, int firstChannel, uint8_t* flags) {
  for (int i = 0; i < 3; ++i) {
    if (flags[3 + i] == 0) continue;
    int32_t v = 0;
    cardPath->latchValue(card, firstChannel + i, v);
    indexLatch[firstChannel + i].store(v, std::memory_order_relaxed);
    indexFound[firstChannel + i].store(kRaised, std::memory_order_release);
  }
  if (VNL_Routine r = enc[card].load(std::memory_order_acquire)) r(flags);
}

void Library::simulatedCycle() {
  if (runState.load(std::memory_order_acquire) == 0 || !simOut.load(std::memory_order_acquire))
    return;
  cyclesRun.fetch_add(1, std::memory_order_release);
  homingRanThisCycle = false;
  // No card queue: every group is due in both passes.
  for (int pass = 0; pass < 2; ++pass) {
    stepDueGroups([](int, int) { return 0; });
    dispatch();
  }
}

void Library::takeCycleTime() {
  float t = 0.0f;
  if (!(onCards() && cardCount > 0 && cardPath->cycleTime(t) && t > 0.0f)) {
    const auto timing =
        chip::ddaTiming(static_cast<float>(interpTime.load()), chip::kDdaMotionBitLengthCode);
    t = timing ? timing->timeMs : static_cast<float>(interpTime.load());
  }
  cycleTime.store(t);
}

}  // namespace vnl
