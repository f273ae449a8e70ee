// A watchdog for runs in virtual time: a thread that looks at the clock once
// a real second and, when virtual time has not advanced for `stuckSeconds`
// of real time, writes the report of `describe` to standard error and
// aborts the process, so that a stuck clock ends a test run with the state
// that stopped it instead of hanging it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock/clock.h"

namespace platform {

class ClockWatchdog {
 public:
  ClockWatchdog(int stuckSeconds, std::function<std::string()> describe)
      : describe_(std::move(describe)), thread_([this, stuckSeconds] { watch(stuckSeconds); }) {}
  ~ClockWatchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  // Whether time is expected to stand (a run that is done, or idle between
  // parts): a paused watchdog does not bite.
  void pause(bool on) { paused_.store(on, std::memory_order_release); }

 private:
  void watch(int stuckSeconds) {
    Nanos last = clock().now();
    int still = 0;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
      const Nanos now = clock().now();
      if (now != last || paused_.load(std::memory_order_acquire)) {
        last = now;
        still = 0;
        continue;
      }
      if (++still < stuckSeconds) continue;
      std::fprintf(stderr, "watchdog: virtual time stood at %lld ns for %d s\n%s\n",
                   static_cast<long long>(now.count()), still, describe_().c_str());
      std::fflush(stderr);
      std::abort();
    }
  }

  std::function<std::string()> describe_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<bool> paused_{false};
  std::thread thread_;
};

}  // namespace platform
