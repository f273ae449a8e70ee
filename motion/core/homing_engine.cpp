// The homing engine in the cycle.
//
// Once per cycle while the output mode is Homing, the engine drives the
// staged axes of the homing card: search (ramped to the home step, until the
// home sensor or the index), leave (off the sensor at a tenth of the step),
// index (on to the index mark), settle (149 silent passes), the offset move
// from the index to the home offset, and a 64-pass tail, after which it
// raises HomingDone (the mode machine then clears the encoder counters).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "export.h"
#include "library.h"

namespace vnl {
namespace {

constexpr int kSettlePasses = 150;
constexpr int kFinishPasses = 64;

int32_t slowStep(double step) {
  return std::max<int32_t>(1, static_cast<int32_t>(step * 0.1));
}

}  // namespace

// Arms the index latch of axis i of the homing card: the index-found byte is
// cleared and the latch is set to take the next index mark.
static void armIndex(Library& L, int i) {
  HomingRun& R = L.homingRun;
  cards::CardPath& path = *L.cardPath;
  L.indexFound[i].store(0, std::memory_order_release);
  if (L.cardCount > 1) {
    uint16_t status = 0;
    if (path.indexStatus(R.card, i, status) && status != 0) {
      int32_t v = 0;
      path.encoder(R.card, i, v);
      L.indexLatch[i].store(v, std::memory_order_relaxed);
      L.indexFound[i].store(vnl::kRaised, std::memory_order_release);
      return;
    }
    int32_t v = 0;
    path.latchValue(R.card, i, v);
    R.armedLatch[i] = v;
  }
  path.armIndexLatch(R.card, i);
}

void Library::homingPollLatches() {
  if (cardCount <= 1) return;
  HomingRun& R = homingRun;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (indexFound[i].load(std::memory_order_acquire) == vnl::kRaised) continue;
    int32_t v = 0;
    if (!cardPath->latchValue(R.card, i, v)) continue;
    if (v != R.armedLatch[i]) {
      indexLatch[i].store(v, std::memory_order_relaxed);
      indexFound[i].store(vnl::kRaised, std::memory_order_release);
    }
  }
}

// One search-phase step of axis i: its output for this pass.
static int32_t searchStep(Library& L, int i, bool sensor) {
  HomingRun& R = L.homingRun;
  const homing::Ramp& ramp = R.ramp[i];
  const int n = ramp.steps;
  const int type = L.param[R.card * kAxesPerCard + i].HomeConfig.wType;
  switch (R.search[i]) {
    case Search::Running: {
      const bool found = type == kHomeIndexOnly
                             ? L.indexFound[i].load(std::memory_order_acquire) == vnl::kRaised
                             : sensor;
      if (!found) return ramp.entry[static_cast<size_t>(std::min(R.counter, n))] * R.searchSign[i];
      if (type != kHomeIndexOnly) L.cardPath->eraseQueue(R.card, i);
      R.decel[i] = R.counter < n ? std::max(R.counter - 2, 0) : n - 1;
      R.search[i] = Search::Decelerating;
      return ramp.entry[static_cast<size_t>(R.decel[i])] * R.searchSign[i];
    }
    case Search::Decelerating:
      if (R.decel[i] == 0)
        R.search[i] = Search::Done;
      else
        --R.decel[i];
      return ramp.entry[static_cast<size_t>(R.decel[i])] * R.searchSign[i];
    default:
      return 0;
  }
}

// A closed-loop axis that reverses is first let come to rest: its drive
// follows the error counter, and pulses in the new direction while it still
// runs the old way would make it overshoot. The pass that reverses it holds
// its outputs (of every axis of the card, so that they stay in step) and the
// engine waits, pass by pass, until each reversing axis's encoder moved by
// no more than kStillCountsPerMs per millisecond since the pass before; it
// gives up after kStillWaitMs so that an axis that never settles (a runaway
// drive) cannot stop the run for good. Nothing sleeps in the cycle.
constexpr int kStillCountsPerMs = 9;
constexpr int kStillWaitMs = 500;

static int32_t encoderReading(Library& L, int card, int axis) {
  int32_t v = 0;
  L.cardPath->encoder(card, axis, v);
  return v;
}

// Sends outputs of the homing card and adds them to the axes' pulse positions.
static void send(Library& L, const int32_t (&out)[HomingRun::kAxes]) {
  HomingRun& R = L.homingRun;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    const int a = R.card * kAxesPerCard + i;
    const int32_t count = L.param[a].wDirReverse ? -out[i] : out[i];
    if (L.onCards() && R.card < L.cardCount) L.cardPath->send(R.card, i, count);
    L.pulsePos[a].fetch_add(out[i], std::memory_order_release);
  }
}

// Sends this pass's outputs, or holds them when a closed-loop axis reverses.
static void sendOutputs(Library& L, const int32_t (&out)[HomingRun::kAxes]) {
  HomingRun& R = L.homingRun;
  const bool onCard = L.onCards() && R.card < L.cardCount;
  bool reverses = false;
  for (int i = 0; i < HomingRun::kAxes && onCard; ++i) {
    const int a = R.card * kAxesPerCard + i;
    const int32_t count = L.param[a].wDirReverse ? -out[i] : out[i];
    R.watched[i] = false;
    if (count == 0 || L.param[a].wCommandMode != 1) continue;
    const uint8_t dir = count > 0 ? 0 : 1;
    if (dir != R.lastDirection[i]) {
      R.watched[i] = true;
      R.lastReading[i] = encoderReading(L, R.card, i);
      reverses = true;
    }
    R.lastDirection[i] = dir;
  }
  if (!reverses) {
    send(L, out);
    return;
  }
  std::copy(std::begin(out), std::end(out), std::begin(R.heldOut));
  R.outputsHeld = true;
  R.heldPasses = 0;
}

// Whether this pass goes to held outputs: while a watched axis still moves
// the engine waits; once all stand, or the wait has lasted kStillWaitMs,
// this pass sends the held outputs and the engine goes on with the next.
bool Library::homingPassHeld() {
  HomingRun& R = homingRun;
  if (!R.outputsHeld) return false;
  const double period = std::max(1.0, interpTime.load(std::memory_order_relaxed));
  const auto limit = static_cast<int64_t>(std::llround(kStillCountsPerMs * period));
  bool still = true;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (!R.watched[i]) continue;
    const int32_t now = encoderReading(*this, R.card, i);
    still = still && std::llabs(int64_t{now} - R.lastReading[i]) <= limit;
    R.lastReading[i] = now;
  }
  if (!still && ++R.heldPasses * period < kStillWaitMs) return true;
  R.outputsHeld = false;
  send(*this, R.heldOut);
  return true;
}

void Library::homingPass() {
  HomingRun& R = homingRun;
  const int card = R.card;
  if (homingPassHeld()) return;
  if (!R.built) {
    for (int i = 0; i < HomingRun::kAxes; ++i) {
      R.accSteps[i] = static_cast<uint16_t>(
          std::min<int32_t>(homingShared.accApi[i].load(std::memory_order_relaxed), 50));
      R.ramp[i] = homing::makeRamp(R.step[i], homing::effectiveAccelerationSteps(R.accSteps[i]));
      const HOME_CONFIG& h = param[card * kAxesPerCard + i].HomeConfig;
      R.searchSign[i] = h.wPhase0Dir == 0 ? 1 : -1;
      R.leaveSign[i] = h.wPhase1Dir == 0 ? 1 : -1;
    }
    R.stages = 0;
    for (int s = 0; s < HomingRun::kAxes; ++s) {
      R.stageSize[s] = 0;
      for (int i = 0; i < HomingRun::kAxes; ++i)
        if (R.order[i] == s) R.stageAxes[s][R.stageSize[s]++] = i;
      if (R.stageSize[s] > 0) R.stages = s + 1;
    }
    R.stage = 0;
    R.counter = 0;
    R.stageArmed = false;
    R.built = true;
  }
  int32_t out[HomingRun::kAxes]{};
  bool sensor[HomingRun::kAxes]{};
  for (int i = 0; i < HomingRun::kAxes; ++i)
    sensor[i] = onCards() && card < cardCount &&
                cards::sensorActive(*cardPath, cards::Sensor::Home, card, i,
                                    param[card * kAxesPerCard + i].HomeConfig.wSensorMode);
  auto type = [&](int i) { return param[card * kAxesPerCard + i].HomeConfig.wType; };

  if (!R.searchDone) {
    while (R.stage < R.stages) {
      bool finished = true;
      for (int k = 0; k < R.stageSize[R.stage]; ++k)
        finished = finished && R.search[R.stageAxes[R.stage][k]] == Search::Done;
      if (!finished) break;
      ++R.stage;
      R.counter = 0;
      R.stageArmed = false;
    }
    if (R.stage >= R.stages) {
      R.searchDone = true;
    } else {
      // Every stage arms the index latches of its index-only axes as it starts.
      if (!R.stageArmed) {
        for (int k = 0; k < R.stageSize[R.stage]; ++k)
          if (type(R.stageAxes[R.stage][k]) == 2) armIndex(*this, R.stageAxes[R.stage][k]);
        R.stageArmed = true;
      }
      int n = 1;
      for (int k = 0; k < R.stageSize[R.stage]; ++k) {
        const int i = R.stageAxes[R.stage][k];
        out[i] = searchStep(*this, i, sensor[i]);
        n = R.ramp[i].steps;
      }
      if (R.counter < n) ++R.counter;
      sendOutputs(*this, out);
      return;
    }
  }

  bool leaving = false;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (!R.staged(i) || !R.leaving[i]) continue;
    switch (type(i)) {
      case kHomeSensorOnly:
        if (!sensor[i]) {
          R.leaving[i] = false;
          indexFound[i].store(0, std::memory_order_relaxed);
          cardPath->eraseQueue(card, i);
        } else {
          out[i] = slowStep(R.step[i]) * R.leaveSign[i];
          leaving = true;
        }
        break;
      case kHomeIndexOnly:
        R.leaving[i] = false;
        break;
      default:
        if (sensor[i]) {
          out[i] = slowStep(R.step[i]) * R.leaveSign[i];
          leaving = true;
        } else {
          R.leaving[i] = false;
          armIndex(*this, i);
        }
        break;
    }
  }
  if (leaving) {
    sendOutputs(*this, out);
    return;
  }

  if (R.settle == 0) {
    bool all = true;
    for (int i = 0; i < HomingRun::kAxes; ++i) {
      if (!R.staged(i)) continue;
      const bool found = type(i) == kHomeSensorOnly || type(i) == kHomeIndexOnly ||
                         indexFound[i].load(std::memory_order_acquire) == vnl::kRaised;
      if (found) {
        cardPath->disarmIndexLatch(card, i);
      } else {
        out[i] = slowStep(R.step[i]) * R.leaveSign[i];
        all = false;
      }
    }
    if (!all) {
      sendOutputs(*this, out);
      return;
    }
    R.settle = 1;
  }

  if (R.settle < kSettlePasses) {
    if (++R.settle < kSettlePasses) return;  // silent passes: nothing is sent
    for (int i = 0; i < HomingRun::kAxes; ++i) {
      if (type(i) == kHomeSensorOnly) {
        R.sinceIndex[i] = 0;
      } else {
        int32_t v = 0;
        if (card < cardCount) cardPath->encoder(card, i, v);
        R.sinceIndex[i] = v - indexLatch[i].load(std::memory_order_relaxed);
      }
      R.search[i] = Search::Running;
      R.leaving[i] = true;
    }
    R.counter = 0;
    return;
  }

  if (!R.offsetStarted) {
    for (int i = 0; i < HomingRun::kAxes; ++i) {
      if (!R.staged(i)) continue;
      const int32_t diff = R.offset[i] - R.sinceIndex[i];
      const int n = homing::effectiveAccelerationSteps(R.accSteps[i]);
      if (diff != 0) R.move[i].start(diff, R.step[i], n >= 2 ? n : 1);
    }
    R.offsetStarted = true;
  }
  bool moving = false;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (!R.staged(i) || R.move[i].finished()) continue;
    out[i] = R.move[i].next();
    moving = true;
  }
  if (moving) {
    sendOutputs(*this, out);
    return;
  }
  sendOutputs(*this, out);
  if (++R.finishCounter < kFinishPasses) return;

  homingShared.done.store(vnl::kRaised, std::memory_order_release);
  std::fill(std::begin(R.lastDirection), std::end(R.lastDirection), HomingRun::kDirectionUnknown);
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (!R.staged(i)) continue;
    const int a = card * kAxesPerCard + i;
    pulsePos[a].store(0, std::memory_order_release);
    if (onCards() && card < cardCount) cardPath->restartPulseCounter(card, i);
  }
  R.clearEngine();
  modeCmd[kHomingDone].store(vnl::kRaised, std::memory_order_release);
}

void Library::homingPrepareStop() {
  HomingRun& R = homingRun;
  R.stopping = true;
  if (R.stage >= R.stages) return;
  for (int k = 0; k < R.stageSize[R.stage]; ++k) {
    const int i = R.stageAxes[R.stage][k];
    if (R.search[i] != Search::Running) continue;
    const int n = R.ramp[i].steps;
    R.decel[i] = R.counter < n ? std::max(R.counter - 2, 0) : n - 1;
    R.search[i] = Search::Decelerating;
  }
}

bool Library::homingStopPass() {
  HomingRun& R = homingRun;
  if (homingRanThisCycle) return true;
  homingRanThisCycle = true;
  if (homingPassHeld()) return true;
  int32_t out[HomingRun::kAxes]{};
  bool running = false;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (!R.staged(i) || R.search[i] == Search::Done) continue;
    if (R.search[i] == Search::Running) {
      // An axis of a later stage or in another phase: it stands; nothing to ramp down.
      R.search[i] = Search::Decelerating;
      R.decel[i] = 0;
    }
    out[i] = searchStep(*this, i, false);
    running = true;
  }
  if (running) {
    sendOutputs(*this, out);
    return true;
  }
  for (int i = 0; i < HomingRun::kAxes; ++i)
    if (R.card < cardCount) cardPath->disarmIndexLatch(R.card, i);
  R.clearEngine();
  return false;
}

}  // namespace vnl
