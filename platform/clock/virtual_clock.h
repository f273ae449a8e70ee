// Virtual time: the clock stands still until a thread sleeps.
//
// A sleep to target t makes the sleeping thread the advancing thread (when no
// other thread advances): it fires every timer due up to t in time order (ties
// in creation order), on its own thread, then sets the time to t. Other
// sleepers wait on the clock and return as soon as the time has passed their
// targets. A timer callback may call holdUntil(): the advancing thread then
// waits for its server thread, and only that server may advance the clock
// meanwhile (nested); see clock.h for why.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"

namespace platform {

class PLATFORM_EXPORT VirtualClock final : public Clock {
 public:
  VirtualClock();
  ~VirtualClock() override;

  Nanos now() const override;
  void sleepFor(Nanos duration) override;
  TimerId addPeriodic(Nanos period, std::function<void()> fn, Nanos phase = Nanos{0}) override;
  void removeTimer(TimerId id) override;
  void holdUntil(const std::function<bool()>& done, std::thread::id server) override;
  void notify() override;
  bool isVirtual() const override { return true; }

  // Advance to now() + duration on behalf of a test bench (same as a sleep).
  void advance(Nanos duration) { sleepFor(duration); }

  // The clock's state in words, for a watchdog's report: the time, the
  // advancing threads (held or not, and for whom), the timers and those
  // running. Says so when the clock's lock cannot be had.
  std::string describe() const;

 private:
  struct Timer {
    std::int64_t due;
    std::int64_t period;
    std::function<void()> fn;
  };
  // One entry per thread that is currently advancing; the last is active.
  struct AdvanceFrame {
    std::thread::id thread;
    bool held = false;
    std::thread::id server;
  };

  bool mayAdvance(std::thread::id self) const;
  void advanceTo(std::unique_lock<std::mutex>& lock, std::int64_t target);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<std::int64_t> now_{0};
  std::map<TimerId, Timer> timers_;
  std::set<std::pair<std::int64_t, TimerId>> queue_;  // (due, id)
  TimerId nextId_ = 1;
  std::vector<AdvanceFrame> frames_;
  std::map<TimerId, std::thread::id> running_;  // callbacks in progress
};

}  // namespace platform
