#include "platform/clock/handoff.h"

namespace platform {

void Handoff::post() {
  std::uint64_t ticket;
  std::thread::id server;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    ticket = ++posted_;
    server = server_;
  }
  wake_.notify_all();
  if (server == std::thread::id{}) return;  // nobody serves yet: nothing to wait for
  clock_.holdUntil(
      [this, ticket] {
        std::lock_guard lock(mutex_);
        return closed_ || served_ >= ticket;
      },
      server);
}

bool Handoff::take() {
  std::unique_lock lock(mutex_);
  server_ = std::this_thread::get_id();
  wake_.wait(lock, [&] { return closed_ || taken_ < posted_; });
  if (closed_) return false;
  ++taken_;
  return true;
}

void Handoff::done() {
  {
    std::lock_guard lock(mutex_);
    ++served_;
  }
  clock_.notify();
}

void Handoff::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  wake_.notify_all();
  clock_.notify();
}

std::uint64_t Handoff::posted() const {
  std::lock_guard lock(mutex_);
  return posted_;
}

std::uint64_t Handoff::served() const {
  std::lock_guard lock(mutex_);
  return served_;
}

}  // namespace platform
