// Real time: sleeps are real, and each periodic timer has a ticker thread
// paced by absolute-time clock_nanosleep on CLOCK_MONOTONIC. A ticker asks
// for SCHED_FIFO when the process may use it and silently stays at normal
// priority otherwise.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/clock/clock.h"

namespace platform {

class PLATFORM_EXPORT RealClock final : public Clock {
 public:
  RealClock();
  ~RealClock() override;

  Nanos now() const override;
  void sleepFor(Nanos duration) override;
  TimerId addPeriodic(Nanos period, std::function<void()> fn, Nanos phase = Nanos{0}) override;
  void removeTimer(TimerId id) override;
  void holdUntil(const std::function<bool()>&, std::thread::id) override {}
  void notify() override {}
  bool isVirtual() const override { return false; }

  // Whether new tickers ask for SCHED_FIFO (default true).
  void setRealtimePriority(bool on) { fifo_.store(on); }
  // Whether the ticker of a timer got SCHED_FIFO (false when unknown).
  bool hasRealtimePriority(TimerId id) const;

 private:
  struct Ticker;
  std::int64_t epoch_;
  std::atomic<bool> fifo_{true};
  mutable std::mutex mutex_;
  std::map<TimerId, std::shared_ptr<Ticker>> tickers_;
  TimerId nextId_ = 1;
};

// Monotonic time of the system, nanoseconds.
PLATFORM_EXPORT std::int64_t monotonicNs();

}  // namespace platform
