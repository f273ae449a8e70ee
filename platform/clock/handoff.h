// Work handed by a clock event to a serving thread, with the advance of time
// held until the server has acknowledged it. The serving thread loops on
// take() ... done(); the event side calls post().
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock/clock.h"

namespace platform {

class PLATFORM_EXPORT Handoff {
 public:
  explicit Handoff(Clock& clock) : clock_(clock) {}

  // Event side: hand one unit of work over; in virtual time, returns once the
  // server has acknowledged it (or at once when there is no server or the
  // handoff is closed).
  void post();
  // Server side: blocks until work is pending (true) or the handoff is closed
  // (false). The calling thread becomes the server.
  bool take();
  // Server side: the unit taken last is done.
  void done();
  // Ends take() for good; post() no longer holds.
  void close();

  std::uint64_t posted() const;
  std::uint64_t served() const;

 private:
  Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::uint64_t posted_ = 0;
  std::uint64_t taken_ = 0;
  std::uint64_t served_ = 0;
  bool closed_ = false;
  std::thread::id server_;
};

}  // namespace platform
