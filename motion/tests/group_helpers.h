// What the motion tests ask of a group through the exported functions: its
// pulse positions, its queued command count, and a wait until it stands.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "varnelpci.h"

namespace vnl::test {

inline std::array<int32_t, 6> pulsePos(uint16_t group = 0) {
  std::array<int32_t, 6> p{};
  EXPECT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], group), 0);
  return p;
}

inline int32_t commandCount(uint16_t group = 0) {
  int32_t n = -100;
  EXPECT_EQ(VNL_GetCommandCount(&n, group), 0);
  return n;
}

// Waits in 1 ms steps (simulated cycles in simulation) until the group
// reports stopped; the number of polls, a failure after `limit`.
inline int waitStopped(uint16_t group = 0, int limit = 100000) {
  int n = 0;
  while (VNL_GetMotionStatus(group) != 1 && n < limit) {
    VNL_TimeDelay(1);
    ++n;
  }
  EXPECT_LT(n, limit) << "the group did not stop";
  return n;
}

}  // namespace vnl::test
