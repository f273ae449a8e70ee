#include "planner/command_queue.h"

namespace vnl::planner {

void CommandQueue::attach(MotionCommand* storage) {
  slots_ = storage;
  write_.store(0, std::memory_order_relaxed);
  read_.store(0, std::memory_order_release);
}

bool CommandQueue::put(const MotionCommand& c) {
  const uint32_t w = write_.load(std::memory_order_relaxed);
  const uint32_t n = next(w);
  if (n == read_.load(std::memory_order_acquire)) return false;
  slots_[w] = c;
  write_.store(n, std::memory_order_release);
  return true;
}

bool CommandQueue::take(MotionCommand& out) {
  uint32_t r = read_.load(std::memory_order_acquire);
  for (;;) {
    if (r == write_.load(std::memory_order_acquire)) return false;
    out = slots_[r];
    // A clear in between moves the read index; the copy is then stale and
    // the ring is looked at again from the new read index.
    if (read_.compare_exchange_strong(r, next(r), std::memory_order_acq_rel,
                                      std::memory_order_acquire))
      return true;
  }
}

uint32_t CommandQueue::peekCode() const {
  const uint32_t r = read_.load(std::memory_order_acquire);
  if (r == write_.load(std::memory_order_acquire)) return 0;
  return slots_[r].code;
}

bool CommandQueue::peek(MotionCommand& out) const {
  uint32_t r = read_.load(std::memory_order_acquire);
  for (;;) {
    if (r == write_.load(std::memory_order_acquire)) return false;
    out = slots_[r];
    // A clear in between moves the read index: the copy may be of a dropped
    // command, so the ring is looked at again.
    const uint32_t now = read_.load(std::memory_order_acquire);
    if (now == r) return true;
    r = now;
  }
}

void CommandQueue::clear() {
  const uint32_t w = write_.load(std::memory_order_acquire);
  uint32_t r = read_.load(std::memory_order_acquire);
  while (!read_.compare_exchange_weak(r, w, std::memory_order_acq_rel, std::memory_order_acquire)) {
  }
}

uint32_t CommandQueue::count() const {
  const uint32_t r = read_.load(std::memory_order_acquire);
  const uint32_t w = write_.load(std::memory_order_acquire);
  return w >= r ? w - r : w + kSlots - r;
}

}  // namespace vnl::planner
