#include "platform/clock/real_clock.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <future>
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

}  // namespace

bool raiseToFifo(int& priority) {
  sched_param param{};
  param.sched_priority = priority;
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return true;
  rlimit limit{};
  if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur == 0 || limit.rlim_cur >= static_cast<rlim_t>(priority))
    return false;
  param.sched_priority = static_cast<int>(limit.rlim_cur);
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) return false;
  priority = param.sched_priority;
  return true;
}

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMayLockMemory = false;  // the sanitizers' shadow memory must stay releasable
#else
constexpr bool kMayLockMemory = true;
#endif

// The process-wide part of real time, held while any real-time ticker runs:
// locked memory and the processors' wake-up latency held at 0.
struct RealtimeHold {
  std::mutex mutex;
  int tickers = 0;
  bool locked = false;
  int latencyFd = -1;

  void enter(RealtimeState& state) {
    std::lock_guard lock(mutex);
    if (tickers++ == 0) {
      locked = kMayLockMemory && mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) == 0;
      latencyFd = open("/dev/cpu_dma_latency", O_RDWR | O_CLOEXEC);
      const std::int32_t zero = 0;
      if (latencyFd >= 0 && write(latencyFd, &zero, sizeof zero) != sizeof zero) {
        close(latencyFd);
        latencyFd = -1;
      }
    }
    state.memoryLocked = locked;
    state.dmaLatencyHeld = latencyFd >= 0;
  }

  void leave() {
    std::lock_guard lock(mutex);
    if (--tickers != 0) return;
    if (latencyFd >= 0) close(latencyFd);  // closing gives the latency request back
    latencyFd = -1;
    if (locked) munlockall();
    locked = false;
  }
};

RealtimeHold& realtimeHold() {
  static RealtimeHold* hold = new RealtimeHold;  // never destroyed: tickers may outlive main
  return *hold;
}

// Touches the stack a tick may use, so that no tick takes a page fault on it.
__attribute__((noinline)) void prefaultStack() {
  constexpr std::size_t kBytes = 256 * 1024;
  unsigned char stack[kBytes];
  for (std::size_t i = 0; i < kBytes; i += 4096)
    stack[i] = 0;
  asm volatile("" : : "r"(stack) : "memory");  // the stores must happen
}

}  // namespace

std::int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * kNsPerSec + ts.tv_nsec;
}

std::string describe(const RealtimeState& state) {
  std::string s = state.fifo ? "SCHED_FIFO " + std::to_string(state.priority)
                             : "normal priority (SCHED_FIFO refused)";
  s += state.memoryLocked ? ", memory locked" : ", memory not locked";
  s += state.dmaLatencyHeld ? ", cpu_dma_latency held at 0" : ", cpu_dma_latency not held";
  return s;
}

struct RealClock::Ticker {
  std::atomic<bool> stop{false};
  RealtimeState state;  // written before addPeriodic returns, then only read
  std::int64_t firstDeadline = 0;
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
  ticker->firstDeadline = first;
  const bool realtime = fifo_.load();
  const int priority = std::clamp(priority_.load(), sched_get_priority_min(SCHED_FIFO),
                                  sched_get_priority_max(SCHED_FIFO));
  std::promise<void> prepared;
  std::future<void> ready = prepared.get_future();
  ticker->thread = std::thread([t = ticker, fn = std::move(fn), p, first, realtime, priority,
                                prepared = std::move(prepared)]() mutable {
    // Ask the kernel to wake the ticker as close to its deadline as it can
    // (the default slack is 50 us), then prepare for real time if asked.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (realtime) {
      realtimeHold().enter(t->state);
      int granted = priority;
      t->state.fifo = raiseToFifo(granted);
      if (t->state.fifo) t->state.priority = granted;
      prefaultStack();
    }
    prepared.set_value();
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
    if (realtime) realtimeHold().leave();
  });
  ready.wait();
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
  return realtimeState(id).fifo;
}

RealtimeState RealClock::realtimeState(TimerId id) const {
  std::lock_guard lock(mutex_);
  auto it = tickers_.find(id);
  return it != tickers_.end() ? it->second->state : RealtimeState{};
}

std::int64_t RealClock::firstDeadlineNs(TimerId id) const {
  std::lock_guard lock(mutex_);
  auto it = tickers_.find(id);
  return it != tickers_.end() ? it->second->firstDeadline : 0;
}

}  // namespace platform
