// What every file of exported functions shares: the export macros and the
// checks of the arguments that name a card, an axis or a group.
#pragma once

#include <cstdint>

#include "library.h"

#define VNL_EXPORT extern "C" __attribute__((visibility("default")))
// An older name of an exported function: the same code under a second symbol.
#define VNL_OLD(old, target) VNL_EXPORT decltype(target) old __attribute__((alias(#target)));

namespace vnl {

inline bool cardOk(uint16_t card) {
  return card < kCards;
}
// An axis of a card (0 to 5).
inline bool axisOk(uint16_t axis) {
  return axis < kAxesPerCard;
}

// Readiness, then the group: 0 or the refusal.
inline int32_t checkGroup(Library& L, uint16_t group) {
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  return 0;
}

// Readiness, the group, then an unacknowledged planner error: 0 or the refusal.
inline int32_t checkMotionGroup(Library& L, uint16_t group) {
  if (int32_t r = checkGroup(L, group)) return r;
  if (L.shared[group].error.load(std::memory_order_acquire) != 0) return VNL_ERR_STATE;
  return 0;
}

// A motion's checks: checkMotionGroup, then a feed speed above 0.
inline int32_t checkFeedMotion(Library& L, uint16_t group) {
  if (int32_t r = checkMotionGroup(L, group)) return r;
  if (!(L.feedSpeed[group] > 0)) return VNL_ERR_FEED_SPEED;
  return 0;
}

// Copies the six slots of `src` (atomics) to the six outputs; -5 for a null output.
template <class T, class A>
int32_t readSix(A& src, T* x, T* y, T* z, T* u, T* v, T* w) {
  T* out[] = {x, y, z, u, v, w};
  for (T* p : out) {
    if (!p) return VNL_ERR_RANGE;
  }
  for (int s = 0; s < kSlots; ++s)
    *out[s] = static_cast<T>(src[s].load());
  return 0;
}

}  // namespace vnl
