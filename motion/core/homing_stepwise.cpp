// Stepwise homing: the application drives each axis of card 0 through
// find, touch and leave of the home sensor and reads its index latch; the
// cycle runs each axis's small state machine.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "export.h"
#include "library.h"

using vnl::kAxesPerCard;
using vnl::lib;

// ---------------- stepwise homing ----------------
namespace vnl {

void Library::stepwiseHoming() {
  if (cardCount < 1) return;
  for (int j = 0; j < 6; ++j) {
    if (stepActive[j].load(std::memory_order_acquire) == 0) continue;
    const bool sensor =
        cards::sensorActive(*cardPath, cards::Sensor::Home, 0, j, param[j].HomeConfig.wSensorMode);
    switch (stepState[j].load(std::memory_order_acquire)) {
      case kStepSeeking:
        cardPath->disarmIndexLatch(0, j);
        stepTouched[j].store(sensor ? 1 : 0, std::memory_order_release);
        if (sensor) stepState[j].store(kStepOnSensor, std::memory_order_release);
        break;
      case kStepLeaving:
        stepTouched[j].store(sensor ? 1 : 0, std::memory_order_release);
        if (!sensor) {
          indexFound[j].store(0, std::memory_order_release);
          cardPath->armIndexLatch(0, j);
          stepState[j].store(kStepSeekingIndex, std::memory_order_release);
        }
        break;
      case kStepSeekingIndex:
        if (indexFound[j].load(std::memory_order_acquire) == vnl::kRaised) {
          cardPath->disarmIndexLatch(0, j);
          stepState[j].store(kStepIndexFound, std::memory_order_release);
        }
        break;
      default:  // on the sensor, index found, done, closed: the application acts
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
    L.stepState[j].store(vnl::kStepClosed, std::memory_order_release);
  }
  return 1;
}

namespace {

// The line move of a stepwise phase: sets the feed speed of group = axis and
// queues a line of `distance` along its X slot, with the axis's step state set to `state`
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
  L.setFeedSpeed(axis, speed);
  const int32_t r = L.queueLine({distance, 0, 0, 0, 0, 0}, 1u, axis);
  if (r >= 0) return 1;
  L.feedSpeed[axis] = feed;
  L.stepActive[axis].store(previousActive, std::memory_order_release);
  L.stepState[axis].store(previousState, std::memory_order_release);
  return r;
}

}  // namespace

VNL_EXPORT int32_t VNL_FindHomeSensor(double distance, double speed, uint16_t axis) {
  if (axis > 5) return 0;
  return stepwiseLine(distance, speed, axis, vnl::kStepSeeking);
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
  return stepwiseLine(distance, speed, axis, vnl::kStepLeaving);
}

VNL_EXPORT int32_t VNL_GetEncoderIndex(int32_t* latch, uint16_t axis) {
  auto& L = lib();
  if (axis <= 5 && L.stepActive[axis].load(std::memory_order_acquire) != 0 &&
      L.indexFound[axis].load(std::memory_order_acquire) == vnl::kRaised) {
    if (latch) *latch = L.indexLatch[axis].load(std::memory_order_relaxed);
    L.stepState[axis].store(vnl::kStepDone, std::memory_order_release);
    L.stepActive[axis].store(0, std::memory_order_release);
    return 1;
  }
  L.waitRoutine(10);
  return 0;
}
