// The seam between the cycle and each group's planner step.
#pragma once

#include <atomic>
#include <cstdint>

#include "planner/command.h"

namespace vnl {

constexpr int kGroups = 72;
constexpr int kAxes = 72;
constexpr int kSlots = 6;
constexpr int kCards = 12;
constexpr int kQueueRecords = 30000;
constexpr int kPulseSlots = 3;

// One queued motion command: the planner's record, so the storage the core
// reserves is exactly what the planner's queue holds.
using MotionCommand = planner::MotionCommand;

// Three-slot ring of pulse blocks, written by the planner, read by the output layer.
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
  void clear() { read.store(write.load(std::memory_order_acquire), std::memory_order_release); }
};

// Per-group handshake bytes shared by the interface layer and the planner.
struct GroupHandshake {
  std::atomic<uint8_t> startFlag{0};
  std::atomic<uint8_t> drainedFlag{255};
  std::atomic<uint8_t> readyFlag{255};
  std::atomic<uint8_t> resetRequest{0};
  std::atomic<uint8_t> clearErrorRequest{0};
  std::atomic<uint8_t> paramRequest{0};
  std::atomic<uint8_t> paramId{0};
  std::atomic<uint8_t> paramAck{0};
  std::atomic<uint8_t> errorByte{0};
  std::atomic<uint8_t> motionState{1};
};

// Shared tables the planner reaches through the seam.
struct SharedTables {
  PulseQueue* pulseQueues;               // kGroups
  GroupHandshake* handshakes;            // kGroups
  std::atomic<int32_t>* pulsePositions;  // kAxes, the output layer's pulse positions
  std::atomic<uint8_t>* outputIdle;      // 255 when every pulse queue was empty
  std::atomic<uint8_t>* startOutput;     // StartOutput mode command
  MotionCommand* commandStorage;         // kGroups * kQueueRecords, reserved untouched
};

// The planner side of the seam: the cycle calls step() per due group and reset() on a
// group reset. The default planner finds no commands.
class PlannerStep {
 public:
  virtual ~PlannerStep() = default;
  virtual void attach(const SharedTables& tables) { tables_ = tables; }
  virtual void step(int group);
  virtual void reset(int group);

 protected:
  SharedTables tables_{};
};

}  // namespace vnl
