// Real time: sleeps are real, and each periodic timer has a ticker thread
// paced by absolute deadlines (clock_nanosleep on CLOCK_MONOTONIC with
// TIMER_ABSTIME), so a late wake-up does not shift the ticks after it.
//
// A real-time ticker (the default) prepares itself the way a latency tester
// such as cyclictest does, each step only where the system permits it:
//   - SCHED_FIFO at a chosen priority (80 unless set), or the highest below
//     it that the process's rtprio limit allows;
//   - the process's memory locked (mlockall with MCL_ONFAULT: pages stay
//     resident once touched, while storage reserved and never touched, like
//     the motion library's command queues, stays out of memory);
//   - /dev/cpu_dma_latency held open at 0 while any real-time ticker of the
//     process runs, which keeps the processors out of deep idle states;
//   - its stack touched before the first tick, so no tick takes a page fault
//     on it.
// A step that is refused is left out and the ticker goes on; its state says
// which steps it got.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock/clock.h"

namespace platform {

// What a real-time ticker got of its preparation.
struct RealtimeState {
  bool fifo = false;            // runs under SCHED_FIFO
  int priority = 0;             // at this priority
  bool memoryLocked = false;    // the process's memory is locked
  bool dmaLatencyHeld = false;  // /dev/cpu_dma_latency is held at 0
};

// SCHED_FIFO for the calling thread at `priority`, or else at the highest
// priority below it that the process's rtprio limit allows; `priority`
// becomes the one granted. False when neither is permitted.
PLATFORM_EXPORT bool raiseToFifo(int& priority);

// The state in words, naming each step that was refused.
PLATFORM_EXPORT std::string describe(const RealtimeState& state);

class PLATFORM_EXPORT RealClock final : public Clock {
 public:
  static constexpr int kDefaultPriority = 80;

  RealClock();
  ~RealClock() override;

  Nanos now() const override;
  void sleepFor(Nanos duration) override;
  // Returns once the ticker has prepared itself (see realtimeState).
  TimerId addPeriodic(Nanos period, std::function<void()> fn, Nanos phase = Nanos{0}) override;
  void removeTimer(TimerId id) override;
  void holdUntil(const std::function<bool()>&, std::thread::id) override {}
  void notify() override {}
  bool isVirtual() const override { return false; }

  // Whether new tickers prepare themselves for real time (default true);
  // without it a ticker runs at normal priority and touches nothing else.
  void setRealtimePriority(bool on) { fifo_.store(on); }
  // The SCHED_FIFO priority of new real-time tickers (1..99).
  void setFifoPriority(int priority) { priority_.store(priority); }
  // Whether the ticker of a timer got SCHED_FIFO (false when unknown).
  bool hasRealtimePriority(TimerId id) const;
  // What the ticker of a timer got of its preparation (all false when unknown).
  RealtimeState realtimeState(TimerId id) const;
  // The deadline of a timer's first tick in monotonicNs() time; tick k is due
  // k whole periods after it (0 when unknown). Lateness is measured against it.
  std::int64_t firstDeadlineNs(TimerId id) const;

 private:
  struct Ticker;
  std::int64_t epoch_;
  std::atomic<bool> fifo_{true};
  std::atomic<int> priority_{kDefaultPriority};
  mutable std::mutex mutex_;
  std::map<TimerId, std::shared_ptr<Ticker>> tickers_;
  TimerId nextId_ = 1;
};

// Monotonic time of the system, nanoseconds.
PLATFORM_EXPORT std::int64_t monotonicNs();

}  // namespace platform
