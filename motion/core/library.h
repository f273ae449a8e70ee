// The library's one state object and the tables it is made of.
//
// Three layers share this memory: the interface layer (exported functions, on
// the caller's thread), the planner (the per-group cycle step) and the output
// layer (mode machine, request service, pulse output). The planner and the
// output layer run inside the cycle: on card 0's interrupt thread with a card,
// or on the caller's thread inside the wait routine in simulation. They meet
// only through handshake bytes and tables written by one side (atomics); no
// lock is taken by the cycle.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <utility>

#include "card_path.h"
#include "homing.h"
#include "planner/command_queue.h"
#include "planner/cycle_step.h"
#include "platform/chip/dda_timing.h"
#include "platform/clock/clock.h"
#include "pulse_queue.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

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

struct GroupConfig {
  std::atomic<int32_t> inUse{-1};
  std::atomic<int16_t> card{0};
  std::atomic<int16_t> axis[kSlots];
};

// All state of the library.
struct Library {
  // frame
  std::atomic<uint8_t> hwReady{0};
  std::atomic<uint8_t> runState{0};
  // The interpolation time as set (1 to 200 ms), and how long one period
  // lasts on the machine: the DDA cycle the card runs for it (the longest
  // cycle not above it that bit-length code 5 allows: 0.8192 ms for 1 ms,
  // 4.9152 ms for 5 ms). The planner plans with the cycle, so speeds in units
  // per second hold on the card; in simulation it is the cycle a card would
  // run, so that a program takes as many periods in both.
  std::atomic<double> interpTime{10.0};
  std::atomic<double> cycleTime{10.0};
  int cardCount = 0;
  int16_t cardType[kCards]{};
  // Whether the cycle serves the groups of each card, set at initialisation:
  // in simulation every card below the count; on cards those opened, and
  // only while card 0 is open, whose interrupt drives the cycle (a card of a
  // type other than 2 or 3 is left uninitialised).
  std::atomic<bool> cardServed[kCards]{};
  std::atomic<uint8_t> simApi{0};
  std::atomic<uint8_t> simOut{0};
  std::atomic<uint32_t> apiError[kGroups]{};
  MotionCommand* storage = nullptr;  // kGroups x kQueueRecords, reserved at init
  PulseQueue pulseQueues[kGroups];
  std::mutex mailboxLock;
  std::atomic<uint8_t> reqCode{0};
  std::atomic<uint16_t> reqValue{0};
  std::atomic<uint32_t> reqData{0};
  std::atomic<uint8_t> reqPending{0};
  std::atomic<uint8_t> reqDone{0};

  // planner: per group the shared handshake record, the command queue (on the
  // storage above) and the cycle's private record; the parameter block is
  // what a group reset takes (written by VNL_InitSystem, VNL_UpdateMachParam
  // and VNL_SetInterpolateTime before they raise the groups' resets).
  planner::GroupShared shared[kGroups];
  planner::CommandQueue queues[kGroups];
  planner::GroupRecord records[kGroups];
  planner::GroupParams groupParams[kGroups];
  std::mutex handshakeLock;  // callers of the parameter handshake; never the cycle
  // interface layer's per-group motion state (caller's thread only)
  double feedSpeed[kGroups]{};
  std::atomic<int32_t> ptpSpeed[kGroups]{};  // percent of each axis's maximum speed
  int32_t lastIndex[kGroups]{};
  double lastTarget[kGroups][kSlots]{};
  // An abort that did not finish (-13) cleared the group's commands without
  // taking where its axes stop as the last targets; the first base read once
  // the group is at rest takes them (lastTargets()).
  bool staleTargets[kGroups]{};
  // Interventions (hold, continue, abort, blending, delay), caller's thread:
  // 1 after a successful hold until continue or abort; the last blend switch
  // queued (1 on, 0 off); the index of the last delay command (30000 until
  // the first, which then gets index 0).
  std::atomic<int32_t> heldMark[kGroups]{};
  std::atomic<int32_t> blendMark[kGroups]{};
  std::atomic<int32_t> delayIndex[kGroups]{};
  // observer of every output period (simulation tools)
  std::atomic<VNL_PeriodObserver> periodObserver{nullptr};
  std::atomic<void*> periodObserverUser{nullptr};

  // configuration
  MACHINE_PARAM param[kAxes];
  bool paramSet[kAxes]{};
  GroupConfig config[kGroups];  // interface layer's copy
  GroupConfig table[kGroups];   // output layer's group table
  std::atomic<int32_t> coordType[kGroups];
  std::atomic<double> unitFactor[kGroups];
  std::atomic<uint8_t> otCheck[kGroups][kSlots];
  std::atomic<double> refPos[kGroups];
  std::atomic<double> sysMaxSpeed{0.0};
  std::atomic<int32_t> maxPulseApi[kSlots];
  std::atomic<int32_t> maxAccApi[kSlots];
  std::atomic<uint8_t> dryRunApi{0};
  std::atomic<uint16_t> pGainApi[kAxes];
  std::atomic<int16_t> tolApi[kGroups][kSlots];
  std::atomic<uint16_t> inPosTime[kGroups];
  COMP_PARAM compApi[kSlots]{};

  // output layer
  std::atomic<int16_t> otUp[kAxes], otDown[kAxes], home[kAxes];
  // sensor levels: over-travel 0 or 1 (2 = not used), home 0 or 1
  std::atomic<int16_t> levelUp[kAxes], levelDown[kAxes], levelHome[kAxes];
  std::atomic<uint8_t> reversed[kAxes];  // the axis's direction-reverse flag
  std::atomic<int32_t> lastOutputPulse[kAxes];
  // encoder index latches of axes 0..5, shared by all cards (homing)
  std::atomic<int32_t> indexLatch[kSlots];
  std::atomic<uint8_t> indexFound[kSlots];

  std::atomic<uint8_t> limitState[kAxes], tripped[kAxes], direction[kAxes];
  std::atomic<uint8_t> limitMode{0};
  std::atomic<uint8_t> pulseEnable[kAxes];
  std::atomic<int16_t> stock[kAxes];
  std::atomic<int32_t> encoder[kAxes], errCounter[kAxes];
  std::atomic<int32_t> pulsePos[kAxes];
  std::atomic<int32_t> simFeedback[kAxes];
  std::atomic<int32_t> dryPos[kAxes];
  int32_t savedPos[kAxes]{};
  int32_t maxPulse[kSlots]{}, maxAcc[kSlots]{};
  uint16_t pGain[kAxes]{};
  uint16_t gainShift[kAxes]{};
  int16_t tol[kGroups][kSlots]{};
  std::atomic<uint8_t> inPosFlag[kGroups][kSlots];
  int32_t lastEnc[kGroups][kSlots]{};
  std::atomic<uint8_t> inPosEnabled[kGroups];
  std::atomic<uint8_t> mode{kIdle};
  int acceptance = -1;
  std::atomic<uint8_t> latch{0};
  std::atomic<uint8_t> outErrorFlag{0};
  std::atomic<uint8_t> outClearRequest{0};
  std::atomic<uint8_t> modeCmd[kCmdCount];
  std::atomic<uint8_t> outputIdle{255};
  std::atomic<uint8_t> suspendStep{0};
  std::atomic<uint8_t> definePosFlag[kGroups];
  int32_t lastCount[kGroups][kSlots]{};
  bool dryRun = false;
  // compensation in the output layer
  COMP_PARAM comp[kSlots]{};
  int compDir[kGroups][kSlots]{};
  int32_t compLast[kGroups][kSlots]{};

  // homing run (homing.cpp)
  HomingRun homingRun;
  HomingShared homingShared;
  bool homingRanThisCycle = false;
  // One pass of the homing engine (output mode Homing).
  void homingPass();
  // Stop in Homing mode: the current stage starts decelerating.
  void homingPrepareStop();
  // One pass of the decelerating stop; false once the axes stand and the run is cleared.
  bool homingStopPass();
  // The latch polling of the cycle while homing with more than one card.
  void homingPollLatches();
  // Stepwise homing of axes 0..5 of card 0: active flag, state, touched flag
  // (the index flag and latch are indexFound/indexLatch).
  std::atomic<uint8_t> stepActive[6]{}, stepState[6]{}, stepTouched[6]{};
  // The stepwise-homing machine, once per cycle.
  void stepwiseHoming();

  // routines
  std::atomic<VNL_CycleRoutine> cycleRoutine{nullptr};
  std::atomic<VNL_Routine> lio[kCards], enc[kCards], adc[kCards], pcl[kCards];

  Library() {
    for (int a = 0; a < kAxes; ++a)
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
    if (hwReady.load(std::memory_order_acquire) == 1 &&
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

  // Cycles run so far (card or simulated); the waits without a limit watch
  // it to tell a slow cycle from one that has stopped.
  std::atomic<uint64_t> cyclesRun{0};
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

  int32_t post(uint8_t code, uint16_t value, uint32_t data) {
    if (!ready()) return -1;
    std::lock_guard<std::mutex> lock(mailboxLock);
    reqCode.store(code, std::memory_order_relaxed);
    reqValue.store(value, std::memory_order_relaxed);
    reqData.store(data, std::memory_order_relaxed);
    reqDone.store(0, std::memory_order_relaxed);
    reqPending.store(255, std::memory_order_release);
    bool ok = poll(
        [&] {
          return reqPending.load(std::memory_order_acquire) == 0 &&
                 reqDone.load(std::memory_order_acquire) == 255;
        },
        pollLimit());
    return ok ? 0 : -3;
  }

  // Raise group g's error acknowledge and wait (no limit) until the cycle has
  // taken it; a group that no cycle steps is not waited for.
  bool clearPlannerError(int g) {
    auto& sh = shared[g];
    sh.errorAck.store(255, std::memory_order_release);
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
  bool clearOutputError(bool always = false) {
    if (!always && outErrorFlag.load(std::memory_order_acquire) == 0) return true;
    if (!dispatching()) {
      latch.store(0, std::memory_order_relaxed);
      outErrorFlag.store(0, std::memory_order_relaxed);
      outClearRequest.store(0, std::memory_order_release);
      return true;
    }
    outClearRequest.store(255, std::memory_order_release);
    return poll([&] { return outClearRequest.load(std::memory_order_acquire) == 0; }, 0);
  }

  // ---------------- output layer ----------------
  void resetOutput() {
    for (int s = 0; s < kSlots; ++s) {
      maxPulse[s] = 30000;
      maxAcc[s] = 3000;
    }
    for (int a = 0; a < kAxes; ++a) {
      pGain[a] = 64;
      gainShift[a] = 0;
    }
    for (auto& g : tol)
      std::fill(std::begin(g), std::end(g), int16_t{2});
    for (auto& c : modeCmd)
      c.store(0, std::memory_order_relaxed);
    reqPending.store(0, std::memory_order_relaxed);
    latch.store(0, std::memory_order_relaxed);
    outErrorFlag.store(0, std::memory_order_relaxed);
    dryRun = false;
    outputIdle.store(255, std::memory_order_release);
    reqDone.store(0, std::memory_order_relaxed);
    acceptance = -1;
    mode.store(kIdle, std::memory_order_release);
  }

  bool onCards() const { return simOut.load(std::memory_order_relaxed) == 0; }

  // The sensor levels and output parameters of every axis of the open cards.
  void takeSensorLevels() {
    for (int a = 0; a < kAxes; ++a) {
      levelUp[a].store(param[a].wOverTravelUpSensorMode, std::memory_order_relaxed);
      levelDown[a].store(param[a].wOverTravelDownSensorMode, std::memory_order_relaxed);
      levelHome[a].store(param[a].HomeConfig.wSensorMode, std::memory_order_relaxed);
      reversed[a].store(param[a].wDirReverse != 0 ? 1 : 0, std::memory_order_relaxed);
    }
  }
  void writeOutputParams() {
    for (int c = 0; c < cardCount; ++c)
      for (int a = 0; a < 6; ++a)
        cards::writeOutputParams(c, a, param[c * 6 + a]);
  }

  // Empties the group's card queues and restarts their channels. The erased
  // entries never reach the axes, so each axis's pulse position becomes what
  // its card has output (less the compensation, which the pulse position
  // does not hold); a standing group's planner re-synchronises to it.
  void flushGroup(int g) {
    const int card = table[g].card.load(std::memory_order_relaxed);
    if (card >= cardCount || !onCards()) return;
    for (int s = 0; s < kSlots; ++s) {
      const int ax = table[g].axis[s].load(std::memory_order_relaxed);
      if (ax < 0 || ax >= 6) continue;
      cards::flushAxis(card, ax);
      int32_t out = 0;
      if (!dryRun && cards::outputPulses(card, ax, out))
        pulsePos[card * 6 + ax].store(out - compLast[g][s], std::memory_order_release);
    }
    pulseQueues[g].clear();  // the group's planner output goes with the card queue
  }

  // The part of the cycle that reads and guards the cards: sensor sampling,
  // directions, limit states and the limit stop.
  void sampleCards() {
    for (int c = 0; c < cardCount; ++c) {
      for (int ax = 0; ax < 6; ++ax) {
        const int a = c * 6 + ax;
        const int16_t up = levelUp[a].load(std::memory_order_relaxed);
        const int16_t down = levelDown[a].load(std::memory_order_relaxed);
        // One read per sensor and cycle serves both the sensor words and the limit states.
        const bool upActive = cards::overTravelUp(c, ax, up);
        const bool downActive = cards::overTravelDown(c, ax, down);
        otUp[a].store(upActive ? 1 : 0, std::memory_order_relaxed);
        otDown[a].store(downActive ? 1 : 0, std::memory_order_relaxed);
        home[a].store(
            cards::homeSensor(c, ax, levelHome[a].load(std::memory_order_relaxed)) ? 1 : 0,
            std::memory_order_relaxed);
        const bool upLimit = (up == 0 || up == 1) && upActive;
        const bool downLimit = (down == 0 || down == 1) && downActive;
        limitState[a].store(cards::limitState(upLimit, downLimit), std::memory_order_relaxed);
        tripped[a].store(upLimit || downLimit ? 1 : 0, std::memory_order_relaxed);
      }
    }
    if (!dryRun) {
      for (int g = 0; g < kGroups; ++g) {
        if (!tableGroupOk(g)) continue;
        const int c = table[g].card.load(std::memory_order_relaxed);
        for (auto& slot : table[g].axis) {
          const int ax = slot.load(std::memory_order_relaxed);
          if (ax < 0 || ax >= 6) continue;
          const int a = c * 6 + ax;
          int32_t now = 0;
          if (!cards::outputPulses(c, ax, now)) continue;
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
      for (int ax = 0; ax < 6; ++ax) {
        const int a = c * 6 + ax;
        if (cards::stopsAxis(check, limitState[a].load(std::memory_order_relaxed),
                             direction[a].load(std::memory_order_relaxed)))
          cards::stopAxis(c, ax);
      }
  }

  // The cycle routine on card 0's interrupt thread, once per period.
  void cardCycle() {
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
      due = stepDueGroups([](int card, int axis) { return cards::stock(card, axis); }) || due;
      if (due) dispatch();
    }
    for (int c = 0; c < cardCount; ++c)
      for (int ax = 0; ax < 6; ++ax)
        stock[c * 6 + ax].store(static_cast<int16_t>(cards::stock(c, ax)),
                                std::memory_order_relaxed);
  }

  // An encoder group's latch events (flags 3..5) record the index latch of
  // every channel whose event is set, then the application's routine runs.
  // Axes of one machine often reach their marks in the same cycle; taking
  // only the first event would leave the others searching for ever.
  void encoderEvent(int card, int firstChannel, uint8_t* flags) {
    for (int i = 0; i < 3; ++i) {
      if (flags[3 + i] == 0) continue;
      int32_t v = 0;
      QORA_ENC_GetLatchValue(static_cast<uint16_t>(firstChannel + i), &v,
                             static_cast<uint16_t>(card));
      indexLatch[firstChannel + i].store(v, std::memory_order_relaxed);
      indexFound[firstChannel + i].store(255, std::memory_order_release);
    }
    if (VNL_Routine r = enc[card].load(std::memory_order_acquire)) r(flags);
  }

  void setLatch(uint8_t v) {
    latch.store(v, std::memory_order_relaxed);
    outErrorFlag.store(255, std::memory_order_release);
  }

  void evaluateModeCommands() {
    bool raised[kCmdCount];
    bool any = false;
    for (int c = 0; c < kCmdCount; ++c) {
      raised[c] = modeCmd[c].exchange(0, std::memory_order_acq_rel) == 255;
      any = any || raised[c];
    }
    if (!any) return;
    int cmd = -1;
    if (raised[kOutputDone]) cmd = kOutputDone;
    if (raised[kHomingDone]) cmd = kHomingDone;
    for (int c : {kStartHoming, kStartOutput, kHold, kResume}) {
      if (!raised[c]) continue;
      if (cmd == kStartHoming || cmd == kStartOutput || cmd == kHold || cmd == kResume) {
        setLatch(2);
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
          for (int ax = 0; ax < 6; ++ax) {
            cards::restartPulseCounter(c, ax);
            pulsePos[c * 6 + ax].store(0, std::memory_order_release);
            lastOutputPulse[c * 6 + ax].store(0, std::memory_order_relaxed);
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
          for (int ax = 0; ax < 6; ++ax)
            QORA_ENC_ClearCounter(static_cast<uint16_t>(ax), static_cast<uint16_t>(c));
      set(kIdle);
    } else
      setLatch(1);
  }

  void serveRequest() {
    uint16_t value = reqValue.load(std::memory_order_relaxed);
    uint8_t code = reqCode.load(std::memory_order_relaxed);
    if (simOut.load(std::memory_order_relaxed)) return;  // requests are ignored in simulation
    switch (code) {
      case 5:
        for (int s = 0; s < kSlots; ++s)
          maxPulse[s] = maxPulseApi[s].load(std::memory_order_relaxed);
        break;
      case 6:
        for (int s = 0; s < kSlots; ++s)
          maxAcc[s] = maxAccApi[s].load(std::memory_order_relaxed);
        break;
      case 12:
        limitMode.store(value ? 2 : 1, std::memory_order_relaxed);
        break;
      case 13:
        limitMode.store(0, std::memory_order_relaxed);
        break;
      case 14:
      case 15:
        if (value < kGroups) {
          if (code == 15) flushGroup(value);
          for (auto& s : table[value].axis) {
            int a = s.load(std::memory_order_relaxed);
            if (a < 6) pulseEnable[table[value].card.load() * 6 + a].store(code == 14 ? 1 : 0);
          }
        }
        break;
      case 1:
        if (value < cardCount)
          for (int ax = 0; ax < 6; ++ax) {
            const int a = value * 6 + ax;
            if (pGain[a] >= 1 && pGain[a] <= 127)
              QORA_PCL_SetScaleGain(static_cast<uint16_t>(ax), pGain[a],
                                    static_cast<int16_t>(gainShift[a]), value);
          }
        break;
      case 2:
        for (int c = 0; c < cardCount; ++c)
          QORA_DDA_SetTime(static_cast<float>(interpTime.load()), chip::kDdaMotionBitLengthCode,
                           static_cast<uint16_t>(c));
        takeCycleTime();
        break;
      case 3:
        takeCycleTime();
        break;
      case 4:
        for (int c = 0; c < cardCount; ++c)
          QORA_ResetModule(QORA_MODULE_CHIP, static_cast<uint16_t>(c));
        break;
      case 8:
        QORA_LIO_EnablePrdy(value);
        break;
      case 9:
        QORA_LIO_DisablePrdy(value);
        break;
      case 10:
        QORA_LIO_ServoOn(static_cast<uint16_t>(value % 6), static_cast<uint16_t>(value / 6));
        break;
      case 11:
        QORA_LIO_ServoOff(static_cast<uint16_t>(value % 6), static_cast<uint16_t>(value / 6));
        break;
      default:
        if (!servePeripheral(code, value, reqData.load(std::memory_order_relaxed))) setLatch(3);
        break;
    }
  }
  // The peripheral request codes 16 to 85 (passthrough.cpp).
  bool servePeripheral(uint8_t code, uint16_t value, uint32_t data);

  int compensation(int g, int s, int a, int32_t count) {
    const COMP_PARAM& c = comp[s];
    if (c.dwInterval <= 0) return 0;
    if (count != 0) compDir[g][s] = count >= 1 ? 1 : -1;
    const int16_t* tab = compDir[g][s] < 0 ? c.wNegative : c.wPositive;
    // The commanded position this period's count leads to.
    int64_t f = int64_t{pulsePos[a].load(std::memory_order_relaxed)} + count;
    int64_t h = f / c.dwInterval;
    int64_t m = std::clamp<int64_t>(c.wZeroIndex + h, 0, 255);
    int64_t ni = (h >= 0) ? m + 1 : m - 1;
    if (h == 0) ni = m + 1;
    double o = tab[m];
    double n = (ni < 0 || ni >= 255) ? 0.0 : tab[ni];
    int32_t u =
        static_cast<int32_t>(o + (n - o) / c.dwInterval * std::fabs(double(f - h * c.dwInterval)));
    int32_t add = u - compLast[g][s];
    compLast[g][s] = u;
    return add;
  }

  void pulseOutput() {
    int32_t blocks[kGroups][kSlots];
    bool popped[kGroups];
    bool anyPopped = false;
    for (int g = 0; g < kGroups; ++g) {
      popped[g] = tableGroupOk(g) && pulseQueues[g].pop(blocks[g]);
      if (!popped[g]) std::fill(std::begin(blocks[g]), std::end(blocks[g]), 0);
      anyPopped = anyPopped || popped[g];
    }
    if (!anyPopped) {
      outputIdle.store(255, std::memory_order_release);
      modeCmd[kOutputDone].store(255, std::memory_order_release);
      return;
    }
    outputIdle.store(0, std::memory_order_release);
    for (int g = 0; g < kGroups; ++g) {
      for (int s = 0; s < kSlots; ++s) {
        int32_t v = blocks[g][s];
        if (std::abs(int64_t{v}) > maxPulse[s]) setLatch(7);
        if (std::abs(int64_t{v} - lastCount[g][s]) > maxAcc[s]) setLatch(8);
        lastCount[g][s] = v;
      }
    }
    bool compActive = false;
    for (auto& c : comp)
      compActive = compActive || c.dwInterval != 0;
    // The commanded counts, and the compensation that goes to the axis on
    // top of them: it is not part of the pulse position the planner follows,
    // or its end-point correction would take it back out.
    int64_t sum[kAxes]{};
    int64_t compSum[kAxes]{};
    bool due[kAxes]{};
    for (int g = 0; g < kGroups; ++g) {
      if (!popped[g]) continue;
      int card = table[g].card.load(std::memory_order_relaxed);
      for (int s = 0; s < kSlots; ++s) {
        int ax = table[g].axis[s].load(std::memory_order_relaxed);
        if (ax < 0 || ax >= 6) continue;
        int a = card * 6 + ax;
        const int32_t v = blocks[g][s];
        if (compActive) compSum[a] += compensation(g, s, a, v);
        sum[a] += v;
        due[a] = true;
      }
    }
    for (int a = 0; a < kAxes; ++a) {
      if (!due[a]) continue;
      if (dryRun) {
        dryPos[a].fetch_add(static_cast<int32_t>(sum[a]), std::memory_order_relaxed);
        continue;
      }
      emit(a, sum[a], compSum[a]);
    }
    if (VNL_PeriodObserver f = periodObserver.load(std::memory_order_acquire))
      f(periodObserverUser.load(std::memory_order_relaxed));
  }

  // Hands `count` pulses of axis a (card x 6 + axis), with `extra`
  // compensation pulses on top, to its card as one command, or in
  // simulation to its simulated feedback, and adds the count to the axis's
  // pulse position. Nothing goes out, and nothing is counted, while the
  // axis's pulse output is off (an abort in progress). What one card command
  // cannot carry (beyond +-32767 pulses) is neither sent nor counted, so the
  // pulse position never runs ahead of the card by a wrapped count. A count
  // that the limit check holds back is counted (the commanded position runs
  // ahead of the card at a tripped limit).
  void emit(int a, int64_t count, int64_t extra) {
    if (pulseEnable[a].load(std::memory_order_relaxed) != 1) return;
    const int64_t output = count + extra;
    if (onCards()) {
      const int32_t sent = cards::sendable(output);
      count -= output - sent;
      if (cards::maySend(limitMode.load(std::memory_order_relaxed),
                         limitState[a].load(std::memory_order_relaxed), sent,
                         reversed[a].load(std::memory_order_relaxed) != 0))
        cards::send(a / 6, a % 6, sent);
    } else {
      simFeedback[a].fetch_add(static_cast<int32_t>(output), std::memory_order_relaxed);
    }
    pulsePos[a].fetch_add(static_cast<int32_t>(count), std::memory_order_release);
  }

  void inPosition(int g) {
    int card = table[g].card.load(std::memory_order_relaxed);
    for (int s = 0; s < kSlots; ++s) {
      int ax = table[g].axis[s].load(std::memory_order_relaxed);
      if (ax < 0 || ax >= 6) continue;
      int a = card * 6 + ax;
      int32_t encv =
          simOut.load(std::memory_order_relaxed) ? simFeedback[a].load() : encoder[a].load();
      int32_t e = std::abs(errCounter[a].load(std::memory_order_relaxed));
      int t = tol[g][s];
      if (e < t) {
        inPosFlag[g][s].store(std::abs(int64_t{encv} - lastEnc[g][s]) <= t ? 255 : 0,
                              std::memory_order_release);
        lastEnc[g][s] = encv;
      } else {
        inPosFlag[g][s].store(0, std::memory_order_release);
      }
    }
  }

  void definePosition(int g);

  void dispatch() {
    if (outClearRequest.load(std::memory_order_acquire) == 255) {
      latch.store(0, std::memory_order_relaxed);
      outErrorFlag.store(0, std::memory_order_relaxed);
      outClearRequest.store(0, std::memory_order_release);
    }
    if (acceptance == -1) evaluateModeCommands();
    bool dryNow = dryRunApi.load(std::memory_order_acquire) == 255;
    for (int g = 0; g < kGroups; ++g) {
      for (int s = 0; s < kSlots; ++s) {
        int16_t t = tolApi[g][s].load(std::memory_order_relaxed);
        if (t > 2) tol[g][s] = t;
      }
    }
    for (int a = 0; a < kAxes; ++a)
      pGain[a] = pGainApi[a].load(std::memory_order_relaxed);
    bool served = false;
    if (reqPending.load(std::memory_order_acquire) == 255) {
      reqPending.store(0, std::memory_order_relaxed);
      reqDone.store(0, std::memory_order_relaxed);
      serveRequest();
      served = true;
    }
    if (dryNow != dryRun) {
      if (dryNow) {
        for (int a = 0; a < kAxes; ++a) {
          savedPos[a] = pulsePos[a].load(std::memory_order_relaxed);
          dryPos[a].store(savedPos[a], std::memory_order_relaxed);
        }
      } else {
        for (int a = 0; a < kAxes; ++a)
          pulsePos[a].store(savedPos[a], std::memory_order_release);
      }
      dryRun = dryNow;
    }
    switch (mode.load(std::memory_order_relaxed)) {
      case kIdle:
        for (int g = 0; g < kGroups; ++g) {
          if (definePosFlag[g].exchange(0, std::memory_order_acq_rel) == 255) definePosition(g);
        }
        break;
      case kRunning:
        pulseOutput();
        break;
      case kStopping:
        if (homingRun.stopping && homingStopPass()) break;
        resetOutput();
        break;
      case kHoming:
        // One engine pass per cycle: the card queue drains one entry per period.
        if (!homingRanThisCycle) homingPass();
        homingRanThisCycle = true;
        break;
      case kHolding:
        mode.store(kHeld, std::memory_order_release);
        acceptance = -1;
        break;
      default:
        break;
    }
    for (int g = 0; g < kGroups; ++g) {
      if (!tableGroupOk(g)) continue;
      if (onCards()) {
        const int c = table[g].card.load(std::memory_order_relaxed);
        for (auto& slot : table[g].axis) {
          const int ax = slot.load(std::memory_order_relaxed);
          if (ax < 0 || ax >= 6) continue;
          encoder[c * 6 + ax].store(cards::encoder(c, ax), std::memory_order_relaxed);
          errCounter[c * 6 + ax].store(cards::errorCounter(c, ax), std::memory_order_relaxed);
        }
      }
      inPosition(g);
    }
    if (served) reqDone.store(255, std::memory_order_release);
  }

  void simulatedCycle() {
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

  // The cycle card 0 reports after its time was set; in simulation, or when
  // card 0 cannot say, the cycle it would run for the interpolation time.
  void takeCycleTime() {
    float t = 0.0f;
    if (!(onCards() && cardCount > 0 && QORA_DDA_GetTime(&t, 0) != 0 && t > 0.0f)) {
      const auto timing =
          chip::ddaTiming(static_cast<float>(interpTime.load()), chip::kDdaMotionBitLengthCode);
      t = timing ? timing->timeMs : static_cast<float>(interpTime.load());
    }
    cycleTime.store(t);
  }

  int32_t hardwareInit() {
    for (auto& q : pulseQueues)
      q.clear();
    takeSensorLevels();
    for (auto& s : cardServed)
      s.store(false, std::memory_order_relaxed);
    for (int c = 0; c < cardCount; ++c) {
      if (!onCards()) {
        cardServed[c].store(true, std::memory_order_relaxed);
        continue;
      }
      if (!cards::isCardType(cardType[c])) continue;  // left uninitialised, no error
      if (!cards::open(c, cardType[c], routinesOf(c))) {
        // The cards opened so far are closed again, so a later initialisation can open them.
        for (int k = 0; k < c; ++k)
          if (cardServed[k].load(std::memory_order_relaxed)) cards::close(k);
        for (auto& s : cardServed)
          s.store(false, std::memory_order_relaxed);
        return -1;
      }
      cardServed[c].store(true, std::memory_order_relaxed);
    }
    if (onCards() && !cardServed[0].load(std::memory_order_relaxed)) {
      // Without card 0 no cycle runs: no group is served on any card.
      for (auto& s : cardServed)
        s.store(false, std::memory_order_relaxed);
    }
    resetOutput();
    if (onCards()) {
      cards::initialise(cardCount, interpTime.load());
      writeOutputParams();
    }
    takeCycleTime();
    bool anyInUse = false;
    for (int g = 0; g < kGroups; ++g) {
      int32_t u = config[g].inUse.load();
      table[g].inUse.store(u == 0 ? 0 : -1);
      table[g].card.store(config[g].card.load());
      for (int s = 0; s < kSlots; ++s) {
        int16_t a = config[g].axis[s].load();
        table[g].axis[s].store(a < 0 ? 6 : a);
      }
      anyInUse = anyInUse || u == 0;
    }
    if (!anyInUse) {
      setGroup(0, 0, {0, 1, 2, 3, 4, 5});
    }
    if (onCards()) cards::start(cardCount);
    // A new run starts without the correction the previous one had applied.
    for (auto& g : compDir)
      std::fill(std::begin(g), std::end(g), 0);
    for (auto& g : compLast)
      std::fill(std::begin(g), std::end(g), 0);
    for (int a = 0; a < kAxes; ++a) {
      pulsePos[a].store(0);
      simFeedback[a].store(0);
      dryPos[a].store(0);
      encoder[a].store(0);
      errCounter[a].store(0);
      stock[a].store(0);
      limitState[a].store(0);
      tripped[a].store(0);
      direction[a].store(0);
      otUp[a].store(0);
      otDown[a].store(0);
      lastOutputPulse[a].store(0);
      pulseEnable[a].store(1);
    }
    return 0;
  }

  static cards::CardRoutines routinesOf(int card);

  void setGroup(int g, int card, std::initializer_list<int16_t> axes) {
    for (GroupConfig* c : {&config[g], &table[g]}) {
      c->inUse.store(0);
      c->card.store(static_cast<int16_t>(card));
      int s = 0;
      for (int16_t a : axes)
        c->axis[s++].store(a);
    }
  }

  double unitsPerPulse(int a, int g) {
    const MACHINE_PARAM p = usable(param[a]);
    double v = p.dfPitch / (double(p.dwPPR) * p.dfGearRatio * unitFactor[g].load());
    return p.wDirReverse ? -v : v;
  }

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
      if (a >= 0 && a < 6) return card * 6 + a;
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
      if (stockOf(a / 6, a % 6) >= 63) continue;
      if (suspendStep.load(std::memory_order_acquire) != 1) stepGroup(g);
    }
    return due;
  }
  // Queueing of a built command: its index, or -2 when the ring is full.
  int32_t queueCommand(MotionCommand& c, int g);
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
