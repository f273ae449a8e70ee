// The one place where the libraries read monotonic time, sleep and wait.
//
// Two modes, chosen once by the program before anything runs:
//   - real time (default): sleeps are real; periodic events run on a ticker
//     thread paced by absolute-time clock_nanosleep, SCHED_FIFO when allowed;
//   - virtual time: time advances only when some thread sleeps. Periodic
//     events fire in time order as the clock passes them, on the sleeping
//     thread. An event may hand work to another thread and hold the advance
//     until that work is acknowledged (holdUntil), which is how a virtual
//     card's cycle waits until its interrupt has been served.
//
// Rules of virtual time (see VirtualClock for the details):
//   1. One thread advances at a time; a sleeper whose target is not reached
//      waits until the advancing thread passes it.
//   2. While the advancing thread is held inside an event waiting for a
//      server thread, a sleep from that server thread advances the clock
//      itself (it is nested inside the held advance), so an interrupt routine
//      that sleeps makes progress instead of deadlocking. Events fired by the
//      server's own advance are not held for it: it cannot serve them until
//      its sleep returns, and the work stays pending for it.
//   3. now() never decreases; every event fires exactly once per due time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/export.h"

namespace platform {

using Nanos = std::chrono::nanoseconds;
using TimerId = std::uint64_t;

class PLATFORM_EXPORT Clock {
 public:
  virtual ~Clock();

  // Monotonic time since the clock started.
  virtual Nanos now() const = 0;
  virtual void sleepFor(Nanos duration) = 0;
  void sleepMs(double ms);

  // Runs fn at phase + k * period for k = 1, 2, ... (phase is relative to
  // now()). Returns an id for removeTimer.
  virtual TimerId addPeriodic(Nanos period, std::function<void()> fn, Nanos phase = Nanos{0}) = 0;
  // Stops a timer. When its callback runs on another thread, waits until it
  // has returned; from inside its own callback it returns at once.
  virtual void removeTimer(TimerId id) = 0;

  // Called from inside a timer callback: holds the advance of time until
  // done() is true. `server` is the thread that will make done() true.
  // done() is evaluated under the clock's lock and, during a short spin
  // before the holder blocks, without it, so it must be safe to call from
  // any thread; whoever changes what it reads calls notify() afterwards.
  // Real time never holds.
  virtual void holdUntil(const std::function<bool()>& done, std::thread::id server) = 0;
  virtual void notify() = 0;

  virtual bool isVirtual() const = 0;
};

// The process-wide clock every library uses.
PLATFORM_EXPORT Clock& clock();

// Select the mode. Call before any timer is registered; a fresh virtual clock
// starts at 0. The previous clock object stays alive, so stale references do
// not dangle.
PLATFORM_EXPORT void useRealTime();
PLATFORM_EXPORT void useVirtualTime();

}  // namespace platform
