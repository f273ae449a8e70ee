// The random sweeps of the planner's tests: each has its own seed and count,
// which VNL_SWEEP_SEED and VNL_SWEEP_COUNT override (to replay a failure or
// to run longer).
#pragma once

#include <cstdint>
#include <cstdlib>

namespace vnl::planner::test {

inline std::uint64_t sweepSeed(std::uint64_t fallback) {
  const char* v = std::getenv("VNL_SWEEP_SEED");
  return v ? std::strtoull(v, nullptr, 10) : fallback;
}

inline std::uint64_t sweepCount(std::uint64_t fallback) {
  const char* v = std::getenv("VNL_SWEEP_COUNT");
  return v ? std::strtoull(v, nullptr, 10) : fallback;
}

}  // namespace vnl::planner::test
