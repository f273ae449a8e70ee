// Posting motion commands without waiting for them: the command-list runner
// and the repeat loop of general motion. A Poster walks a list of calls; a
// call the library refuses because its queue is full stays first in line and
// is tried again later, so nothing is skipped or posted twice. Any other
// result counts as posted (the program ignores the library's results there).
#pragma once

#include <cstdint>
#include <vector>

#include "state/command_list.h"

namespace tervane {

class MotionLibrary;

struct MotionCall {
  enum class Kind { FeedSpeed, Line, CircleXY, ArcXY, Delay };
  Kind kind = Kind::Line;
  double a = 0, b = 0, c = 0, d = 0;  // in library units, as the call takes them
  uint8_t direction = 0;              // CircleXY
  uint32_t periods = 0;               // Delay
  bool operator==(const MotionCall&) const = default;
};

// Makes the call for group 0; the library's result (0 for the feed speed).
int32_t post(MotionLibrary& lib, const MotionCall& call);

// The runner: for each entry, its feed speed then its move, lengths / 500.
std::vector<MotionCall> listCalls(const CommandList& list);
// One pass of the repeat loop: there, pause, back, pause.
std::vector<MotionCall> repeatPass(double d0, double d1, double d2, uint32_t delayPeriods);

class Poster {
 public:
  // A cyclic poster starts again at the first call after the last.
  Poster(std::vector<MotionCall> calls, bool cyclic) : calls_(std::move(calls)), cyclic_(cyclic) {}

  enum class Outcome { Posted, QueueFull, Done };
  // Posts up to `budget` calls in order; stops early at a full queue.
  Outcome postSome(MotionLibrary& lib, int budget);
  bool done() const { return !cyclic_ && next_ >= calls_.size(); }
  std::size_t posted() const { return posted_; }

 private:
  std::vector<MotionCall> calls_;
  bool cyclic_;
  std::size_t next_ = 0;
  std::size_t posted_ = 0;
};

}  // namespace tervane
