#include "platform/clock/real_clock.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <thread>

namespace platform {

namespace {

constexpr std::int64_t kNsPerSec = 1'000'000'000;

timespec toTimespec(std::int64_t ns) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ns / kNsPerSec);
  ts.tv_nsec = static_cast<long>(ns % kNsPerSec);
  return ts;
}

void sleepUntilAbs(std::int64_t deadline) {
  const timespec ts = toTimespec(deadline);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

bool tryRealtimePriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace

std::int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * kNsPerSec + ts.tv_nsec;
}

struct RealClock::Ticker {
  std::atomic<bool> stop{false};
  std::atomic<bool> fifo{false};
  std::thread::id threadId;
  std::thread thread;
};

RealClock::RealClock() : epoch_(monotonicNs()) {}

RealClock::~RealClock() {
  std::map<TimerId, std::shared_ptr<Ticker>> tickers;
  {
    std::lock_guard lock(mutex_);
    tickers.swap(tickers_);
  }
  for (auto& [id, t] : tickers) {
    t->stop = true;
    if (t->thread.joinable()) t->thread.join();
  }
}

Nanos RealClock::now() const {
  return Nanos{monotonicNs() - epoch_};
}

void RealClock::sleepFor(Nanos duration) {
  if (duration.count() <= 0) return;
  sleepUntilAbs(monotonicNs() + duration.count());
}

TimerId RealClock::addPeriodic(Nanos period, std::function<void()> fn, Nanos phase) {
  auto ticker = std::make_shared<Ticker>();
  const std::int64_t p = std::max<std::int64_t>(1, period.count());
  const std::int64_t first = monotonicNs() + std::max<std::int64_t>(0, phase.count()) + p;
  const bool wantFifo = fifo_.load();
  ticker->thread = std::thread([t = ticker, fn = std::move(fn), p, first, wantFifo] {
    // Ask the kernel to wake the ticker as close to its deadline as it can
    // (the default slack is 50 us), then for real-time priority if allowed.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (wantFifo) t->fifo = tryRealtimePriority();
    std::int64_t next = first;
    while (!t->stop.load(std::memory_order_acquire)) {
      sleepUntilAbs(next);
      if (t->stop.load(std::memory_order_acquire)) break;
      fn();
      next += p;
      // After a long stall, start afresh instead of firing a burst of cycles.
      const std::int64_t nowNs = monotonicNs();
      if (nowNs - next > 100 * p) next = nowNs + p;
    }
  });
  ticker->threadId = ticker->thread.get_id();
  std::lock_guard lock(mutex_);
  const TimerId id = nextId_++;
  tickers_.emplace(id, std::move(ticker));
  return id;
}

void RealClock::removeTimer(TimerId id) {
  std::shared_ptr<Ticker> ticker;
  {
    std::lock_guard lock(mutex_);
    auto it = tickers_.find(id);
    if (it == tickers_.end()) return;
    ticker = std::move(it->second);
    tickers_.erase(it);
  }
  ticker->stop = true;
  if (ticker->threadId == std::this_thread::get_id()) {
    ticker->thread.detach();  // removed from its own callback: ends after it returns
  } else if (ticker->thread.joinable()) {
    ticker->thread.join();
  }
}

bool RealClock::hasRealtimePriority(TimerId id) const {
  std::lock_guard lock(mutex_);
  auto it = tickers_.find(id);
  return it != tickers_.end() && it->second->fifo.load();
}

}  // namespace platform
