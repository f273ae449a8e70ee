// The per-group PulseQueue between a group's cycle step and the output layer.
#pragma once

#include <atomic>
#include <cstdint>

#include "planner/command.h"
#include "sizes.h"

namespace vnl {

constexpr int kPulseSlots = 3;

// One queued motion command: the planner's record, so the storage the core
// reserves is exactly what the planner's queue holds.
using MotionCommand = planner::MotionCommand;

// Three-slot ring of pulse blocks (at most two wait), written by the planner's
// step, read by the output layer.
struct PulseQueue {
  std::atomic<int32_t> pulses[kPulseSlots][kSlots];
  std::atomic<uint32_t> read{0};
  std::atomic<uint32_t> write{0};

  bool push(const int32_t block[kSlots]) {
    uint32_t w = write.load(std::memory_order_relaxed);
    uint32_t next = (w + 1) % kPulseSlots;
    if (next == read.load(std::memory_order_acquire)) return false;
    for (int s = 0; s < kSlots; ++s)
      pulses[w][s].store(block[s], std::memory_order_relaxed);
    write.store(next, std::memory_order_release);
    return true;
  }
  bool pop(int32_t block[kSlots]) {
    uint32_t r = read.load(std::memory_order_relaxed);
    if (r == write.load(std::memory_order_acquire)) return false;
    for (int s = 0; s < kSlots; ++s)
      block[s] = pulses[r][s].load(std::memory_order_relaxed);
    read.store((r + 1) % kPulseSlots, std::memory_order_release);
    return true;
  }
  bool empty() const {
    return read.load(std::memory_order_acquire) == write.load(std::memory_order_acquire);
  }
  void clear() { read.store(write.load(std::memory_order_acquire), std::memory_order_release); }
};

}  // namespace vnl
