// The library's one object: its state (state.h) and the members that work
// on it, each defined in the file of its concern (mailbox, mode machine,
// output layer, cycle, hardware initialisation, planner link, homing). The
// planner and the output layer run inside the cycle: on card 0's interrupt
// thread with a card, or on the caller's thread inside the wait routine in
// simulation; no lock is taken by the cycle.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <mutex>
#include <utility>

#include "card_path.h"
#include "platform/chip/dda_timing.h"
#include "platform/clock/clock.h"
#include "state.h"

namespace vnl {

// A handshake byte raised (0 is lowered).
using planner::kRaised;

inline MACHINE_PARAM defaultParam() {
  MACHINE_PARAM p{};
  p.wRPM = 1000;
  p.dwPPR = 1000;
  p.dfPitch = 1.0;
  p.dfGearRatio = 1.0;
  p.dfHighLimit = 10000000.0;
  p.dfLowLimit = -10000000.0;
  p.wPulseWidth = 64;
  p.HomeConfig.wPhase1Dir = 1;
  p.wOverTravelUpSensorMode = 2;
  p.wOverTravelDownSensorMode = 2;
  return p;
}

inline bool finite(double v) {
  return std::isfinite(v);
}

// The validation of a record that VNL_SetMachParam marked, as initialisation
// applies it: values that would make the scaling meaningless are replaced.
inline void validate(MACHINE_PARAM& p) {
  if (p.wDirReverse != 0 && p.wDirReverse != 1) p.wDirReverse = 0;
  if (p.wRPM == 0) p.wRPM = 1;
  if (p.dwPPR == 0) p.dwPPR = 1;
  if (!(p.dfPitch > 0)) p.dfPitch = 1.0;
  if (!(p.dfGearRatio > 0)) p.dfGearRatio = 1.0;
  if (p.wPulseMode < 0 || p.wPulseMode > 2) p.wPulseMode = 0;
  if (p.HomeConfig.wType < 0 || p.HomeConfig.wType > 2) p.HomeConfig.wType = 0;
}
// A record as the conversions take it: VNL_SetMachParam stores records as
// given and VNL_UpdateMachParam applies them as stored, so a pulse count of
// 0 or a pitch of 0 between initialisations would give infinite or NaN
// positions; the conversions use the validated values instead.
inline MACHINE_PARAM usable(const MACHINE_PARAM& p) {
  MACHINE_PARAM q = p;
  validate(q);
  return q;
}

// Whether a target in machine units lands in the 32-bit pulse range of its
// axis (the planner's pulse counters and the card's positions are 32-bit).
inline bool inPulseRange(double units, double pulsesPerUnit) {
  const double p = units * pulsesPerUnit;
  return std::isfinite(p) && p <= double(std::numeric_limits<int32_t>::max()) &&
         p >= double(std::numeric_limits<int32_t>::min());
}

// The library: its state and the members that work on it.
struct Library : LibraryState {
  // The library's only way to its cards; tests put a fake card in its place
  // before anything runs.
  cards::CardPath* cardPath = &cards::qoraCards();

  // ---------------- homing ----------------
  // One pass of the homing engine (output mode Homing).
  void homingPass();
  // Stop in Homing mode: the current stage starts decelerating.
  void homingPrepareStop();
  // One pass of the decelerating stop; false once the axes stand and the run is cleared.
  bool homingStopPass();
  // Whether the homing pass of this cycle goes to outputs held for a
  // reversing closed-loop axis: waiting for it to stand, or sending them.
  bool homingPassHeld();
  // The latch polling of the cycle while homing with more than one card.
  void homingPollLatches();
  // The stepwise-homing machine, once per cycle.
  void stepwiseHoming();

  Library() {
    for (int a = 0; a < kMachineAxes; ++a)
      param[a] = defaultParam();
    for (auto& g : config) {
      for (auto& s : g.axis)
        s.store(-1);
    }
    for (auto& g : table) {
      for (auto& s : g.axis)
        s.store(6);
    }
    resetApiSettings();
  }

  void resetApiSettings() {
    for (int g = 0; g < kGroups; ++g) {
      coordType[g].store(1);
      unitFactor[g].store(1.0);
      refPos[g].store(0.0);
      inPosTime[g].store(1000);  // cycles the in-position wait may last; 1 to 1000
      for (int s = 0; s < kSlots; ++s) {
        otCheck[g][s].store(0);
        tolApi[g][s].store(2);
      }
      apiError[g].store(0);
    }
    for (int s = 0; s < kSlots; ++s) {
      maxPulseApi[s].store(30000);
      maxAccApi[s].store(3000);
    }
    for (auto& g : pGainApi)
      g.store(64);
    dryRunApi.store(0);
    for (int g = 0; g < kGroups; ++g) {
      feedSpeed[g] = 0;
      ptpSpeed[g].store(10, std::memory_order_relaxed);
      lastIndex[g] = -1;
      std::fill(std::begin(lastTarget[g]), std::end(lastTarget[g]), 0.0);
      staleTargets[g] = false;
      heldMark[g].store(0, std::memory_order_relaxed);
      blendMark[g].store(0, std::memory_order_relaxed);
      delayIndex[g].store(30000, std::memory_order_relaxed);
    }
  }

  bool ready() {
    if (hwReady.load(std::memory_order_acquire) == kHardwareReady &&
        runState.load(std::memory_order_acquire) == 1)
      return true;
    for (auto& e : apiError)
      e.store(VNL_ERRWORD_NOT_READY, std::memory_order_relaxed);
    return false;
  }

  bool groupOk(unsigned g) {
    return g < kGroups && config[g].inUse.load(std::memory_order_acquire) == 0;
  }
  bool tableGroupOk(int g) {
    const int card = table[g].card.load(std::memory_order_relaxed);
    return table[g].inUse.load(std::memory_order_relaxed) == 0 && card >= 0 && card < cardCount &&
           cardServed[card].load(std::memory_order_relaxed);
  }

  void waitRoutine(double ms) {
    if (simApi.load(std::memory_order_acquire)) simulatedCycle();
    platform::clock().sleepMs(ms);
  }

  // How long a wait without a limit goes on while no cycle runs at all: two
  // seconds, or 500 interpolation periods when that is longer. Interrupts
  // that come late by less go unnoticed; a card whose interrupt has stopped
  // (or whose chip was reset) would otherwise hold the caller for ever.
  int stallLimit() const {
    const double periods = std::ceil(500.0 * interpTime.load(std::memory_order_relaxed));
    return periods > 2000 ? static_cast<int>(periods) : 2000;
  }

  // Wait until pred holds, polling 1 ms apart. With a limit, false after
  // `limit` polls. Without one (0), false only once no cycle has run for
  // stallLimit() polls.
  template <class P>
  bool poll(P pred, int limit) {
    uint64_t seen = cyclesRun.load(std::memory_order_acquire);
    for (int n = 0, still = 0; !pred(); ++n) {
      if (limit && n >= limit) return false;
      if (!limit) {
        const uint64_t now = cyclesRun.load(std::memory_order_acquire);
        still = now == seen ? still + 1 : 0;
        seen = now;
        if (still > stallLimit()) return false;
      }
      waitRoutine(1);
    }
    return true;
  }

  // How many 1 ms polls a request or handshake waits for the cycle: 50, or
  // three interpolation periods when that is longer (the cycle serves a
  // request once per period, so at periods above 50 ms 50 polls could never
  // see it served).
  int pollLimit() const {
    const double periods = std::ceil(3.0 * interpTime.load(std::memory_order_relaxed));
    return periods > 50 ? static_cast<int>(std::min(periods, 1000.0)) : 50;
  }

  int32_t post(Request code, uint16_t value, uint32_t data);
  int32_t post(uint8_t code, uint16_t value, uint32_t data);

  // Raise group g's error acknowledge and wait (no limit) until the cycle has
  // taken it; a group that no cycle steps is not waited for.
  bool clearPlannerError(int g) {
    auto& sh = shared[g];
    sh.errorAck.store(kRaised, std::memory_order_release);
    if (!stepped(g)) return true;
    return poll([&] { return sh.errorAck.load(std::memory_order_acquire) == 0; }, 0);
  }

  // Whether some cycle runs the dispatch, which serves the output layer's
  // handshakes: the simulated cycle always does; the card cycle only while
  // it steps a group (none, when card 0 is not open or no group is in use).
  bool dispatching() {
    if (!onCards()) return true;
    for (int g = 0; g < kGroups; ++g)
      if (stepped(g)) return true;
    return false;
  }

  // Raises the output layer's clear-error handshake and waits (no limit)
  // until the dispatch has taken it; with no dispatch running, nothing can
  // race the caller and the latch is cleared here. `always` raises it also
  // when no latch is set (VNL_ClearError).
  // False when the cycle stopped before taking it.
  bool clearOutputError(bool always = false);

  // ---------------- output layer ----------------
  void resetOutput();

  bool onCards() const { return simOut.load(std::memory_order_relaxed) == 0; }

  // The settings of every axis that the cycle reads (sensor levels, direction
  // reverse, closed loop), and the output parameters of the open cards' axes.
  void takeAxisSettings();
  void writeOutputParams();

  // Empties the group's card queues and restarts their channels. The erased
  // entries never reach the axes, so each axis's pulse position becomes what
  // its card has output (less the compensation, which the pulse position
  // does not hold); a standing group's planner re-synchronises to it.
  void flushGroup(int g);

  // The part of the cycle that reads and guards the cards: sensor sampling,
  // directions, limit states and the limit stop.
  void sampleCards();

  // The cycle routine on card 0's interrupt thread, once per period.
  void cardCycle();

  // An encoder group's latch events (flags 3..5) record the index latch of
  // every channel whose event is set, then the application's routine runs.
  // Axes of one machine often reach their marks in the same cycle; taking
  // only the first event would leave the others searching for ever.
  void encoderEvent(int card, int firstChannel, uint8_t* flags);

  void setLatch(Latch v);

  void evaluateModeCommands();

  void serveRequest();

  int compensation(int g, int s, int a, int32_t count);

  void pulseOutput();

  // Hands `count` pulses of axis a (card x 6 + axis), with `extra`
  // compensation pulses on top, to its card as one command, or in
  // simulation to its simulated feedback, and adds the count to the axis's
  // pulse position. Nothing goes out, and nothing is counted, while the
  // axis's pulse output is off (an abort in progress). What one card command
  // cannot carry (beyond +-32767 pulses) is neither sent nor counted, so the
  // pulse position never runs ahead of the card by a wrapped count. A count
  // that the limit check holds back is counted (the commanded position runs
  // ahead of the card at a tripped limit).
  void emit(int a, int64_t count, int64_t extra);

  void inPosition(int g);

  void definePosition(int g);

  void dispatch();

  void simulatedCycle();

  // The cycle card 0 reports after its time was set; in simulation, or when
  // card 0 cannot say, the cycle it would run for the interpolation time.
  void takeCycleTime();

  int32_t hardwareInit();

  static cards::CardRoutines routinesOf(int card);

  void setGroup(int g, int card, std::initializer_list<int16_t> axes);

  double unitsPerPulse(int a, int g);

  // ---------------- planner (planner_link.cpp) ----------------
  // Machine parameters of every group as the planner takes them.
  void buildGroupParams();
  // Every group's planner state from scratch (initialisation).
  void resetPlanner();
  // One cycle step of group g; the cycle routine calls it for a due group
  // (simulated cycle: every stepped group; card cycle: while the first axis's
  // card queue holds 62 entries or fewer).
  void stepGroup(int g);
  // The axis (card x 6 + axis) of group g's first non-empty slot, or -1.
  int firstAxis(int g) {
    const int card = table[g].card.load(std::memory_order_relaxed);
    for (int s = 0; s < kSlots; ++s) {
      const int a = table[g].axis[s].load(std::memory_order_relaxed);
      if (a >= 0 && a < 6) return card * kAxesPerCard + a;
    }
    return -1;
  }
  // Whether some cycle steps group g: configured, its card installed, some
  // slot holds an axis, and the queues exist.
  bool stepped(int g) { return tableGroupOk(g) && storage != nullptr && firstAxis(g) >= 0; }
  // One stepping pass of the cycle: every stepped group whose first axis's
  // card queue holds 62 entries or fewer (stockOf(card, axis) gives the
  // count; the simulated cycle has no queue and passes 0), unless stepping is
  // suspended. Returns whether any group was due (its queue was looked at),
  // which decides whether the card cycle runs the dispatch.
  template <class StockOf>
  bool stepDueGroups(StockOf stockOf) {
    bool due = false;
    for (int g = 0; g < kGroups; ++g) {
      if (!stepped(g)) continue;
      due = true;
      const int a = firstAxis(g);
      if (stockOf(a / kAxesPerCard, a % kAxesPerCard) >= kCardQueueThreshold) continue;
      if (suspendStep.load(std::memory_order_acquire) != 1) stepGroup(g);
    }
    return due;
  }
  // Queueing of a built command: its index, or -2 when the ring is full.
  int32_t queueCommand(MotionCommand& c, int g);
  // Queueing of a motion whose targets are absolute machine coordinates: it
  // takes the group's next index, and once queued its index and targets
  // become the group's last ones. Its index, or -2 when the ring is full.
  int32_t queueMotion(MotionCommand& c, int g);
  // The group's feed speed from `speed` in its units, capped at the system's
  // maximum (0 for a negative speed); returns the speed asked for, scaled.
  double setFeedSpeed(int g, double speed);
  // Builds and queues a line of group g: slots whose bit is set in `which`
  // take the new value (absolute, or added to the last target in incremental
  // coordinates), the others keep the last target. Its index, or the refusal.
  int32_t queueLine(const double (&value)[kSlots], unsigned which, int g);
  // Queueing of a switch command (blending, in-position wait) in order with
  // the motions: it carries the group's last targets, so the end point that
  // the next fetch corrects to stays where the motions left it. Its index
  // becomes the group's last-used index.
  int32_t queueSwitch(uint32_t code, int g);
  // The base of the group's next command: its last targets, first replaced by
  // where the axes stand when an unfinished abort left them stale and the
  // group has since come to rest.
  const double (&lastTargets(int g))[kSlots];
  // Takes the output layer's pulse positions as the group's last targets.
  void adoptPulsePositions(int g);
  // Whether the group's axes still have pulses to output: blocks in its
  // PulseQueue, or commands in the card queue of one of its axes. A group
  // whose last command has left the planner still moves until these are out.
  bool axesStillMove(int g);
  // The group's motion status (VNL_GetMotionStatus): 1 stopped, 0 moving,
  // 2 standing but not idle (held, in error), or the refusal.
  int32_t motionStatus(uint16_t group);
  // Parameter handshake with group g's cycle step: 0, or -3 after 50 polls.
  int32_t paramHandshake(int g, int32_t code);
};

Library& lib();
// The command-queue storage of all groups, reserved without touching its
// pages (null when it cannot be had), and its release.
MotionCommand* reserveQueueStorage();
void releaseQueueStorage(MotionCommand* storage);
int16_t axisOf(Library& L, int g, int s);

}  // namespace vnl
