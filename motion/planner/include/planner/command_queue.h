// Per-group ring of queued motion commands.
//
// One producer (the caller's thread, through the queueing operation) and one
// consumer (the cycle step). The write index is written by the producer only.
// The read index is advanced by the consumer; a clear, which the caller's
// thread issues (jog, abort, motion reset), moves it to the write index. Both
// writers of the read index use compare-and-swap, so a take racing with a
// clear can neither undo the clear nor hand out a command the clear removed:
// a take whose advance loses against a clear discards its copy and looks again.
//
// The waiting count is derived from the two indices instead of being kept in
// a third variable that both sides would have to update; it is exact at every
// moment either side can observe it.
//
// The storage (kQueueSlots records) belongs to the caller: the library
// reserves it for all groups at initialisation without touching its pages.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "planner/command.h"

namespace vnl::planner {

class CommandQueue {
 public:
  static constexpr uint32_t kSlots = kQueueSlots;

  CommandQueue() = default;
  explicit CommandQueue(MotionCommand* storage) : slots_(storage) {}
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Attach storage of kSlots records and empty the ring. Not concurrent with
  // any other member.
  void attach(MotionCommand* storage);
  bool attached() const { return slots_ != nullptr; }

  // Producer: copy the record into the ring; false when full (29999 waiting).
  bool put(const MotionCommand& c);
  // Consumer: copy the oldest record out; false when empty.
  bool take(MotionCommand& out);
  // Consumer: the code of the oldest record, 0 when empty.
  uint32_t peekCode() const;
  // Consumer: copy the oldest record out without taking it; false when empty.
  bool peek(MotionCommand& out) const;
  // Producer side (or anyone, while the consumer does not run): drop every
  // waiting command.
  void clear();
  // Number of waiting commands.
  uint32_t count() const;
  bool empty() const { return count() == 0; }

  uint32_t readIndex() const { return read_.load(std::memory_order_acquire); }
  uint32_t writeIndex() const { return write_.load(std::memory_order_acquire); }

  // Storage for `groups` rings, uninitialised (pages untouched until used).
  static std::unique_ptr<MotionCommand[]> reserveStorage(uint32_t groups) {
    return std::unique_ptr<MotionCommand[]>(
        new MotionCommand[static_cast<size_t>(groups) * kSlots]);
  }

 private:
  static uint32_t next(uint32_t i) { return i + 1 == kSlots ? 0 : i + 1; }

  MotionCommand* slots_ = nullptr;
  std::atomic<uint32_t> write_{0};
  std::atomic<uint32_t> read_{0};
};

// Index that a building function gives its new command: the group's
// last-used index + 1, as an unsigned 16-bit number (-1 gives 0).
constexpr uint32_t nextCommandIndex(int32_t lastUsed) {
  return static_cast<uint16_t>(static_cast<uint32_t>(lastUsed) + 1u);
}

// Queueing rule: an index of kQueueSlots or more becomes 0 and the group's
// last-used index -1, so numbering starts again after 29999.
inline void normaliseIndex(MotionCommand& c, int32_t& lastUsed) {
  if (c.index >= kQueueSlots) {
    c.index = 0;
    lastUsed = -1;
  }
}

}  // namespace vnl::planner
