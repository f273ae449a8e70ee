#include "platform/clock/virtual_clock.h"

#include <algorithm>
#include <sstream>

#include "platform/clock/spin.h"

namespace platform {

VirtualClock::VirtualClock() = default;

std::string VirtualClock::describe() const {
  std::ostringstream out;
  out << "virtual clock at " << now_.load(std::memory_order_acquire) << " ns";
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return out.str() + "; its lock is held";
  out << "; " << frames_.size() << " advancing thread(s)";
  for (const AdvanceFrame& f : frames_) {
    out << " [thread " << f.thread << (f.held ? " held for server " : " not held");
    if (f.held) out << f.server;
    out << "]";
  }
  out << "; " << timers_.size() << " timer(s), next due at "
      << (queue_.empty() ? -1 : queue_.begin()->first) << " ns; " << running_.size()
      << " callback(s) running";
  for (const auto& [id, thread] : running_)
    out << " [timer " << id << " on thread " << thread << "]";
  return out.str();
}
VirtualClock::~VirtualClock() = default;

Nanos VirtualClock::now() const {
  return Nanos{now_.load(std::memory_order_acquire)};
}

bool VirtualClock::mayAdvance(std::thread::id self) const {
  if (frames_.empty()) return true;
  const AdvanceFrame& top = frames_.back();
  // A timer callback that sleeps nests inside its own thread's advance; the
  // server of a held advance nests inside the holder's.
  return top.thread == self || (top.held && top.server == self);
}

void VirtualClock::sleepFor(Nanos duration) {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  const std::int64_t target =
      now_.load(std::memory_order_relaxed) + std::max<std::int64_t>(0, duration.count());
  while (now_.load(std::memory_order_relaxed) < target) {
    if (mayAdvance(self)) {
      frames_.push_back(AdvanceFrame{self, false, {}});
      advanceTo(lock, target);
      frames_.pop_back();
      changed_.notify_all();
      return;
    }
    changed_.wait(lock);
  }
}

void VirtualClock::advanceTo(std::unique_lock<std::mutex>& lock, std::int64_t target) {
  for (;;) {
    if (queue_.empty() || queue_.begin()->first > target) {
      now_.store(std::max(now_.load(std::memory_order_relaxed), target), std::memory_order_release);
      return;
    }
    auto [due, id] = *queue_.begin();
    queue_.erase(queue_.begin());
    if (due > now_.load(std::memory_order_relaxed)) {
      now_.store(due, std::memory_order_release);
      changed_.notify_all();  // sleepers whose targets are reached may go on
    }
    Timer& timer = timers_.at(id);
    timer.due = due + timer.period;
    queue_.emplace(timer.due, id);
    std::function<void()> fn = timer.fn;  // the timer may be removed meanwhile
    running_[id] = std::this_thread::get_id();
    lock.unlock();
    fn();
    lock.lock();
    running_.erase(id);
    changed_.notify_all();
  }
}

TimerId VirtualClock::addPeriodic(Nanos period, std::function<void()> fn, Nanos phase) {
  std::lock_guard lock(mutex_);
  const TimerId id = nextId_++;
  const std::int64_t p = std::max<std::int64_t>(1, period.count());
  const std::int64_t due =
      now_.load(std::memory_order_relaxed) + std::max<std::int64_t>(0, phase.count()) + p;
  timers_.emplace(id, Timer{due, p, std::move(fn)});
  queue_.emplace(due, id);
  return id;
}

void VirtualClock::removeTimer(TimerId id) {
  std::unique_lock lock(mutex_);
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  queue_.erase({it->second.due, id});
  timers_.erase(it);
  const std::thread::id self = std::this_thread::get_id();
  changed_.wait(lock, [&] {
    auto r = running_.find(id);
    return r == running_.end() || r->second == self;
  });
}

void VirtualClock::holdUntil(const std::function<bool()>& done, std::thread::id server) {
  const std::thread::id self = std::this_thread::get_id();
  if (server == self) return;  // the server is advancing itself: it cannot serve now
  std::unique_lock lock(mutex_);
  auto frame = std::find_if(frames_.rbegin(), frames_.rend(),
                            [&](const AdvanceFrame& f) { return f.thread == self; });
  if (frame == frames_.rend()) return;  // not called from a timer callback
  const std::size_t index = static_cast<std::size_t>(frames_.rend() - frame) - 1;
  frames_[index].held = true;
  frames_[index].server = server;
  changed_.notify_all();
  if (!done()) {
    // The server usually answers within a few microseconds: watch for that
    // without the lock (the server's notify() takes it) before blocking.
    lock.unlock();
    spinWhile([&] { return !done(); });
    lock.lock();
  }
  changed_.wait(lock, [&] { return done(); });
  frames_[index].held = false;
}

void VirtualClock::notify() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

}  // namespace platform
