#include "planner/command_queue.h"

#include <atomic>

namespace vnl::planner {

namespace {

// A slot is copied field by field through relaxed atomic references. After a
// clear the producer may refill a slot that a consumer with a stale read
// index is copying; that copy is discarded (its compare-and-swap fails), but
// it must not be a data race. Relaxed accesses cost plain moves here; the
// ordering comes from the indices.
template <class T>
void relaxedCopy(T& dst, const T& src) {
  std::atomic_ref<T>(dst).store(
      std::atomic_ref<T>(const_cast<T&>(src)).load(std::memory_order_relaxed),
      std::memory_order_relaxed);
}

// dst and src may each be a slot the other side touches.
void copySlot(MotionCommand& dst, const MotionCommand& src) {
  relaxedCopy(dst.code, src.code);
  relaxedCopy(dst.reserved, src.reserved);
  relaxedCopy(dst.speed, src.speed);
  relaxedCopy(dst.index, src.index);
  relaxedCopy(dst.coordMode, src.coordMode);
  for (int i = 0; i < kAxes; ++i)
    relaxedCopy(dst.target[i], src.target[i]);
  for (int i = 0; i < 3; ++i) {
    relaxedCopy(dst.centre[i], src.centre[i]);
    relaxedCopy(dst.reference[i], src.reference[i]);
  }
  relaxedCopy(dst.direction, src.direction);
  relaxedCopy(dst.plane, src.plane);
}

}  // namespace

void CommandQueue::attach(MotionCommand* storage) {
  slots_ = storage;
  write_.store(0, std::memory_order_relaxed);
  read_.store(0, std::memory_order_release);
}

bool CommandQueue::put(const MotionCommand& c) {
  const uint32_t w = write_.load(std::memory_order_relaxed);
  const uint32_t n = next(w);
  if (n == read_.load(std::memory_order_acquire)) return false;
  copySlot(slots_[w], c);
  write_.store(n, std::memory_order_release);
  return true;
}

bool CommandQueue::take(MotionCommand& out) {
  uint32_t r = read_.load(std::memory_order_acquire);
  for (;;) {
    if (r == write_.load(std::memory_order_acquire)) return false;
    copySlot(out, slots_[r]);
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
  uint32_t code = 0;
  relaxedCopy(code, slots_[r].code);
  return code;
}

bool CommandQueue::peek(MotionCommand& out) const {
  uint32_t r = read_.load(std::memory_order_acquire);
  for (;;) {
    if (r == write_.load(std::memory_order_acquire)) return false;
    copySlot(out, slots_[r]);
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
