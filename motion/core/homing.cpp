// The homing engine in the cycle and the homing-run functions of the
// interface layer.
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
#include "qoradrv.h"

namespace vnl {
namespace {

constexpr int kSettlePasses = 150;
constexpr int kFinishPasses = 64;

homing::AxisScale scaleOf(const MACHINE_PARAM& given) {
  const MACHINE_PARAM p = usable(given);
  homing::AxisScale s;
  s.pitch = p.dfPitch;
  s.gearRatio = p.dfGearRatio;
  s.ppr = p.dwPPR;
  s.rpm = p.wRPM;
  return s;
}

int32_t slowStep(double step) {
  return std::max<int32_t>(1, static_cast<int32_t>(step * 0.1));
}

}  // namespace

// Arms the index latch of axis i of the homing card: the index-found byte is
// cleared and the latch is set to take the next index mark.
static void armIndex(Library& L, int i) {
  HomingRun& R = L.homingRun;
  const auto ch = static_cast<uint16_t>(i);
  const auto card = static_cast<uint16_t>(R.card);
  L.indexFound[i].store(0, std::memory_order_release);
  if (L.cardCount > 1) {
    uint16_t status = 0;
    if (QORA_ENC_GetIndexStatus(ch, &status, card) != 0 && status != 0) {
      int32_t v = 0;
      QORA_ENC_GetValue(ch, &v, card);
      L.indexLatch[i].store(v, std::memory_order_relaxed);
      L.indexFound[i].store(vnl::kRaised, std::memory_order_release);
      return;
    }
    int32_t v = 0;
    QORA_ENC_GetLatchValue(ch, &v, card);
    R.armedLatch[i] = v;
  }
  QORA_ENC_EnableIndexInt(ch, card);
  QORA_ENC_SetTrigMode(ch, 0, card);
  QORA_ENC_SetTrigSource(ch, static_cast<uint16_t>(1u << i), card);
}

void Library::homingPollLatches() {
  if (cardCount <= 1) return;
  HomingRun& R = homingRun;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (indexFound[i].load(std::memory_order_acquire) == vnl::kRaised) continue;
    int32_t v = 0;
    if (QORA_ENC_GetLatchValue(static_cast<uint16_t>(i), &v, static_cast<uint16_t>(R.card)) == 0)
      continue;
    if (v != R.armedLatch[i]) {
      indexLatch[i].store(v, std::memory_order_relaxed);
      indexFound[i].store(vnl::kRaised, std::memory_order_release);
    }
  }
}

static void eraseQueue(int card, int axis) {
  uint16_t n = 0;
  if (QORA_DDA_GetStockCount(static_cast<uint16_t>(axis), &n, static_cast<uint16_t>(card)) != 0 &&
      n > 0)
    QORA_DDA_EraseFIFOCmd(static_cast<uint16_t>(axis), n, static_cast<uint16_t>(card));
}

// One search-phase step of axis i: its output for this pass.
static int32_t searchStep(Library& L, int i, bool sensor) {
  HomingRun& R = L.homingRun;
  const homing::Ramp& ramp = R.ramp[i];
  const int n = ramp.steps;
  const int type = L.param[R.card * kAxesPerCard + i].HomeConfig.wType;
  switch (R.search[i]) {
    case 1: {
      const bool found =
          type == 2 ? L.indexFound[i].load(std::memory_order_acquire) == vnl::kRaised : sensor;
      if (!found) return ramp.entry[static_cast<size_t>(std::min(R.counter, n))] * R.searchSign[i];
      if (type != 2) eraseQueue(R.card, i);
      R.decel[i] = R.counter < n ? std::max(R.counter - 2, 0) : n - 1;
      R.search[i] = 2;
      return ramp.entry[static_cast<size_t>(R.decel[i])] * R.searchSign[i];
    }
    case 2:
      if (R.decel[i] == 0)
        R.search[i] = 3;
      else
        --R.decel[i];
      return ramp.entry[static_cast<size_t>(R.decel[i])] * R.searchSign[i];
    default:
      return 0;
  }
}

// A closed-loop axis that reverses is first let come to rest: its drive
// follows the error counter, and pulses in the new direction while it still
// runs the old way would make it overshoot. Still means two encoder readings
// 1 ms apart within 9 counts. The wait runs on the interrupt thread and delays
// the cycle; it gives up after kStillWaitMs so that an axis that never settles
// (a runaway drive) cannot stop the cycle for good.
constexpr int kStillWaitMs = 500;

static void waitUntilStill(int card, int axis) {
  const auto ch = static_cast<uint16_t>(axis);
  const auto c = static_cast<uint16_t>(card);
  int32_t before = 0;
  QORA_ENC_GetValue(ch, &before, c);
  for (int n = 0; n < kStillWaitMs; ++n) {
    platform::clock().sleepMs(1);
    int32_t after = 0;
    QORA_ENC_GetValue(ch, &after, c);
    if (std::abs(static_cast<int64_t>(after) - before) <= 9) return;
    before = after;
  }
}

// Sends this pass's outputs of the homing card and adds them to the axes'
// pulse positions.
static void sendOutputs(Library& L, const int32_t (&out)[HomingRun::kAxes]) {
  HomingRun& R = L.homingRun;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    const int a = R.card * kAxesPerCard + i;
    const int32_t count = L.param[a].wDirReverse ? -out[i] : out[i];
    const bool onCard = L.onCards() && R.card < L.cardCount;
    if (onCard && count != 0 && L.param[a].wCommandMode == 1) {
      const uint8_t dir = count > 0 ? 0 : 1;
      if (dir != R.lastDirection[i]) waitUntilStill(R.card, i);
      R.lastDirection[i] = dir;
    }
    if (onCard) cards::send(R.card, i, count);
    L.pulsePos[a].fetch_add(out[i], std::memory_order_release);
  }
}

void Library::homingPass() {
  HomingRun& R = homingRun;
  const int card = R.card;
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
                cards::homeSensor(card, i, param[card * kAxesPerCard + i].HomeConfig.wSensorMode);
  auto type = [&](int i) { return param[card * kAxesPerCard + i].HomeConfig.wType; };

  if (!R.searchDone) {
    while (R.stage < R.stages) {
      bool finished = true;
      for (int k = 0; k < R.stageSize[R.stage]; ++k)
        finished = finished && R.search[R.stageAxes[R.stage][k]] == 3;
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
    if (!R.staged(i) || R.leave[i] != 1) continue;
    switch (type(i)) {
      case 1:
        if (!sensor[i]) {
          R.leave[i] = 0;
          indexFound[i].store(0, std::memory_order_relaxed);
          eraseQueue(card, i);
        } else {
          out[i] = slowStep(R.step[i]) * R.leaveSign[i];
          leaving = true;
        }
        break;
      case 2:
        R.leave[i] = 0;
        break;
      default:
        if (sensor[i]) {
          out[i] = slowStep(R.step[i]) * R.leaveSign[i];
          leaving = true;
        } else {
          R.leave[i] = 0;
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
      const bool found = type(i) == 1 || type(i) == 2 ||
                         indexFound[i].load(std::memory_order_acquire) == vnl::kRaised;
      if (found) {
        QORA_ENC_DisableIndexInt(static_cast<uint16_t>(i), static_cast<uint16_t>(card));
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
      if (type(i) == 1) {
        R.sinceIndex[i] = 0;
      } else {
        int32_t v = 0;
        if (card < cardCount) QORA_ENC_GetValue(static_cast<uint16_t>(i), &v, card);
        R.sinceIndex[i] = v - indexLatch[i].load(std::memory_order_relaxed);
      }
      R.search[i] = 1;
      R.leave[i] = 1;
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
    if (onCards() && card < cardCount) cards::restartPulseCounter(card, i);
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
    if (R.search[i] != 1) continue;
    const int n = R.ramp[i].steps;
    R.decel[i] = R.counter < n ? std::max(R.counter - 2, 0) : n - 1;
    R.search[i] = 2;
  }
}

bool Library::homingStopPass() {
  HomingRun& R = homingRun;
  if (homingRanThisCycle) return true;
  homingRanThisCycle = true;
  int32_t out[HomingRun::kAxes]{};
  bool running = false;
  for (int i = 0; i < HomingRun::kAxes; ++i) {
    if (!R.staged(i) || R.search[i] == 3) continue;
    if (R.search[i] == 1) {
      // An axis of a later stage or in another phase: it stands; nothing to ramp down.
      R.search[i] = 2;
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
    if (R.card < cardCount)
      QORA_ENC_DisableIndexInt(static_cast<uint16_t>(i), static_cast<uint16_t>(R.card));
  R.clearEngine();
  return false;
}

}  // namespace vnl

using vnl::kAxesPerCard;
using vnl::lib;

// ---------------- homing run, interface layer ----------------
VNL_EXPORT int32_t VNL_GoHome(double s0, double s1, double s2, double s3, double s4, double s5,
                              int32_t o0, int32_t o1, int32_t o2, int32_t o3, int32_t o4,
                              int32_t o5, uint16_t card) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  const double speed[6] = {s0, s1, s2, s3, s4, s5};
  const int32_t order[6] = {o0, o1, o2, o3, o4, o5};
  // A speed that is not finite, or not positive for an axis to be homed,
  // has no home step; the run is refused before anything is prepared. An
  // axis left out of the run may come with speed 0.
  for (int i = 0; i < 6; ++i) {
    const bool homed = order[i] >= 0 && order[i] <= 5;
    if (!std::isfinite(speed[i]) || (homed && !(speed[i] > 0))) return VNL_ERR_RANGE;
  }
  for (uint16_t g = 0; g < vnl::kGroups; ++g)
    if (L.groupOk(g) && VNL_GetMotionStatus(g) != 1) return VNL_ERR_NOT_AT_REST;
  vnl::HomingRun& R = L.homingRun;
  R.clearEngine();
  // Pulses per period at the home speed: a period lasts one card cycle.
  const double period = L.cycleTime.load();
  for (int i = 0; i < 6; ++i) {
    const MACHINE_PARAM& p = L.param[card * kAxesPerCard + i];
    const vnl::homing::AxisScale scale = vnl::scaleOf(p);
    const vnl::homing::HomeStep h = vnl::homing::homeStep(speed[i], scale, period);
    R.step[i] = h.pulsesPerPeriod;
    // An order value outside 0..5 leaves the axis out of the run.
    R.order[i] = order[i] >= 0 && order[i] <= 5 ? order[i] : 255;
    R.offset[i] = vnl::homing::homeOffsetPulses(p.HomeConfig.dfHomeOffset, scale);
    // Earlier acceleration-step settings are replaced by what the home step allows.
    L.homingShared.accApi[i].store(h.accelerationSteps, std::memory_order_relaxed);
  }
  R.card = card;
  for (auto& r : L.refPos)
    r.store(0.0, std::memory_order_relaxed);
  L.homingShared.done.store(0, std::memory_order_relaxed);
  L.homingShared.status.store(0, std::memory_order_relaxed);
  L.homingShared.requested.store(vnl::kRaised, std::memory_order_relaxed);
  L.modeCmd[vnl::kStartHoming].store(vnl::kRaised, std::memory_order_release);
  return 0;
}

VNL_EXPORT int32_t VNL_GetGoHomeStatus(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  vnl::HomingShared& H = L.homingShared;
  if (H.requested.load(std::memory_order_acquire) == vnl::kRaised) {
    if (L.modeCmd[vnl::kStartHoming].load(std::memory_order_acquire) == vnl::kRaised ||
        H.done.load(std::memory_order_acquire) != vnl::kRaised) {
      H.status.store(0, std::memory_order_relaxed);
      return 0;
    }
    H.requested.store(0, std::memory_order_relaxed);
    H.status.store(1, std::memory_order_relaxed);
    return 1;
  }
  const int32_t s = H.status.load(std::memory_order_relaxed);
  return s < 0 ? VNL_ERR_NO_HOMING : s;
}

VNL_EXPORT int32_t VNL_AbortGoHome(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (L.mode.load(std::memory_order_acquire) != vnl::kHoming) return VNL_ERR_NO_HOMING;
  L.modeCmd[vnl::kStop].store(vnl::kRaised, std::memory_order_release);
  if (!L.poll([&] { return L.mode.load(std::memory_order_acquire) == vnl::kIdle; }, L.pollLimit()))
    return VNL_ERR_TIMEOUT;
  // The run is over: its status stays 0 (not finished) and no longer waits for the engine.
  L.homingShared.requested.store(0, std::memory_order_relaxed);
  return 0;
}

VNL_EXPORT int32_t VNL_SetGoHomeAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                        int32_t w) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  const int32_t s[6] = {x, y, z, u, v, w};
  for (int32_t k : s)
    if (k < 0) return VNL_ERR_RANGE;
  for (int i = 0; i < 6; ++i) {
    L.homingShared.accApi[i].store(s[i], std::memory_order_relaxed);
  }
  return 0;
}

VNL_EXPORT int32_t VNL_GetGoHomeAccStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                        int32_t* w) {
  auto& L = lib();
  int32_t* p[6] = {x, y, z, u, v, w};
  for (int i = 0; i < 6; ++i)
    if (p[i]) *p[i] = L.homingShared.accApi[i].load(std::memory_order_relaxed);
  return 0;
}

VNL_OLD(VNL_go_home, VNL_GoHome)
VNL_OLD(VNL_check_homef, VNL_GetGoHomeStatus)
VNL_OLD(VNL_abort_home, VNL_AbortGoHome)
VNL_OLD(VNL_set_home_acc_step, VNL_SetGoHomeAccStep)
VNL_OLD(VNL_get_home_acc_step, VNL_GetGoHomeAccStep)

// ---------------- stepwise homing ----------------
namespace vnl {

void Library::stepwiseHoming() {
  if (cardCount < 1) return;
  for (int j = 0; j < 6; ++j) {
    if (stepActive[j].load(std::memory_order_acquire) == 0) continue;
    const auto ch = static_cast<uint16_t>(j);
    const bool sensor = cards::homeSensor(0, j, param[j].HomeConfig.wSensorMode);
    switch (stepState[j].load(std::memory_order_acquire)) {
      case 0:
        QORA_ENC_DisableIndexInt(ch, 0);
        stepTouched[j].store(sensor ? 1 : 0, std::memory_order_release);
        if (sensor) stepState[j].store(1, std::memory_order_release);
        break;
      case 2:
        stepTouched[j].store(sensor ? 1 : 0, std::memory_order_release);
        if (!sensor) {
          indexFound[j].store(0, std::memory_order_release);
          QORA_ENC_EnableIndexInt(ch, 0);
          QORA_ENC_SetTrigMode(ch, 0, 0);
          QORA_ENC_SetTrigSource(ch, static_cast<uint16_t>(1u << j), 0);
          stepState[j].store(3, std::memory_order_release);
        }
        break;
      case 3:
        if (indexFound[j].load(std::memory_order_acquire) == vnl::kRaised) {
          QORA_ENC_DisableIndexInt(ch, 0);
          stepState[j].store(4, std::memory_order_release);
        }
        break;
      default:  // 1, 4, 5 and 10: the application acts
        break;
    }
  }
}

}  // namespace vnl

VNL_EXPORT int32_t VNL_InitGoHome(void) {
  auto& L = lib();
  for (int g = 0; g < vnl::kGroups; ++g) {
    if (g < 4) {
      for (vnl::GroupConfig* c : {&L.config[g], &L.table[g]}) {
        c->card.store(0, std::memory_order_relaxed);
        c->axis[0].store(static_cast<int16_t>(g), std::memory_order_relaxed);
        for (int s = 1; s < vnl::kSlots; ++s)
          c->axis[s].store(c == &L.table[g] ? 6 : -1, std::memory_order_relaxed);
        c->inUse.store(0, std::memory_order_release);
      }
    } else {
      L.config[g].inUse.store(-1, std::memory_order_release);
      L.table[g].inUse.store(-1, std::memory_order_release);
    }
  }
  // The planner of each new single-axis group takes its axis's scaling with a reset.
  if (L.ready()) {
    L.buildGroupParams();
    for (int g = 0; g < 4; ++g) {
      if (!L.stepped(g)) continue;
      auto& sh = L.shared[g];
      sh.resetRequest.store(vnl::kRaised, std::memory_order_release);
      L.poll([&] { return sh.resetRequest.load(std::memory_order_acquire) == 0; }, L.pollLimit());
    }
  }
  // Every axis starts afresh, not only axis 0: a flag left from an earlier
  // session would otherwise keep the cycle arming that axis's index.
  for (int j = 0; j < 6; ++j) {
    L.stepActive[j].store(0, std::memory_order_release);
    L.indexFound[j].store(0, std::memory_order_release);
    L.stepTouched[j].store(0, std::memory_order_relaxed);
    L.stepState[j].store(10, std::memory_order_release);
  }
  return 1;
}

namespace {

// The line move of a stepwise phase: sets the feed speed of group = axis and
// starts VNL_LineX(distance) on it, with the axis's step state set to `state`
// first so that the cycle watches the sensor from the first period. The
// arguments are checked before anything changes; when the feed speed or the
// line is refused, the feed speed and the step state are put back and the
// refusal is returned. 1 once the line is queued.
int32_t stepwiseLine(double distance, double speed, uint16_t axis, uint8_t state) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(axis)) return VNL_ERR_GROUP;
  if (!std::isfinite(distance) || !std::isfinite(speed)) return VNL_ERR_RANGE;
  const double feed = L.feedSpeed[axis];
  const uint8_t previousState = L.stepState[axis].load(std::memory_order_acquire);
  const uint8_t previousActive = L.stepActive[axis].load(std::memory_order_acquire);
  L.stepState[axis].store(state, std::memory_order_release);
  L.stepActive[axis].store(1, std::memory_order_release);
  VNL_SetFeedSpeed(speed, axis);  // its refusals are the ones checked above
  const int32_t r = VNL_LineX(distance, axis);
  if (r >= 0) return 1;
  L.feedSpeed[axis] = feed;
  L.stepActive[axis].store(previousActive, std::memory_order_release);
  L.stepState[axis].store(previousState, std::memory_order_release);
  return r;
}

}  // namespace

VNL_EXPORT int32_t VNL_FindHomeSensor(double distance, double speed, uint16_t axis) {
  if (axis > 5) return 0;
  return stepwiseLine(distance, speed, axis, 0);
}

VNL_EXPORT int32_t VNL_TouchHomeSensor(int32_t* touched, uint16_t axis) {
  auto& L = lib();
  if (axis > 5 || L.stepActive[axis].load(std::memory_order_acquire) == 0) return 0;
  if (touched) *touched = L.stepTouched[axis].load(std::memory_order_acquire);
  L.waitRoutine(10);
  return 1;
}

VNL_EXPORT int32_t VNL_LeaveHomeSensor(double distance, double speed, uint16_t axis) {
  auto& L = lib();
  if (axis > 5 || L.stepActive[axis].load(std::memory_order_acquire) == 0) return 0;
  return stepwiseLine(distance, speed, axis, 2);
}

VNL_EXPORT int32_t VNL_GetEncoderIndex(int32_t* latch, uint16_t axis) {
  auto& L = lib();
  if (axis <= 5 && L.stepActive[axis].load(std::memory_order_acquire) != 0 &&
      L.indexFound[axis].load(std::memory_order_acquire) == vnl::kRaised) {
    if (latch) *latch = L.indexLatch[axis].load(std::memory_order_relaxed);
    L.stepState[axis].store(5, std::memory_order_release);
    L.stepActive[axis].store(0, std::memory_order_release);
    return 1;
  }
  L.waitRoutine(10);
  return 0;
}
