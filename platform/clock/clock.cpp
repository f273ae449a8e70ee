#include "platform/clock/clock.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock/real_clock.h"
#include "platform/clock/virtual_clock.h"

namespace platform {

Clock::~Clock() = default;

void Clock::sleepMs(double ms) {
  if (!(ms > 0.0)) return;
  sleepFor(std::chrono::duration_cast<Nanos>(std::chrono::duration<double, std::milli>(ms)));
}

namespace {

struct ClockRegistry {
  std::mutex mutex;
  std::vector<std::unique_ptr<Clock>> all;  // every clock ever selected
  std::atomic<Clock*> current{nullptr};

  Clock& get() {
    Clock* c = current.load(std::memory_order_acquire);
    if (c) return *c;
    std::lock_guard lock(mutex);
    c = current.load(std::memory_order_relaxed);
    if (!c) c = install(std::make_unique<RealClock>());
    return *c;
  }
  Clock* install(std::unique_ptr<Clock> clock) {
    Clock* raw = clock.get();
    all.push_back(std::move(clock));
    current.store(raw, std::memory_order_release);
    return raw;
  }
};

ClockRegistry& registry() {
  static ClockRegistry* r = new ClockRegistry;  // never destroyed: threads may outlive main
  return *r;
}

}  // namespace

Clock& clock() {
  return registry().get();
}

void useRealTime() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.install(std::make_unique<RealClock>());
}

void useVirtualTime() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.install(std::make_unique<VirtualClock>());
}

}  // namespace platform
