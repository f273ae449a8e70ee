#include "run/posting.h"

#include "binding/motion_library.h"
#include "run/units.h"

namespace tervane {

int32_t post(MotionLibrary& lib, const MotionCall& c) {
  switch (c.kind) {
    case MotionCall::Kind::FeedSpeed:
      lib.SetFeedSpeed(c.a, 0);
      return 0;
    case MotionCall::Kind::Line:
      return lib.Line(c.a, c.b, c.c, 0, 0, 0, 0);
    case MotionCall::Kind::CircleXY:
      return lib.CircleXY(c.a, c.b, c.direction, 0);
    case MotionCall::Kind::ArcXY:
      return lib.ArcXY(c.a, c.b, c.c, c.d, 0);
    case MotionCall::Kind::Delay:
      return lib.DelayMotion(c.periods, 0);
  }
  return 0;
}

std::vector<MotionCall> listCalls(const CommandList& list) {
  using K = MotionCall::Kind;
  std::vector<MotionCall> calls;
  calls.reserve(list.entries.size() * 2);
  for (const CommandEntry& e : list.entries) {
    calls.push_back({K::FeedSpeed, toUnits(e.speed)});
    switch (e.type) {
      case MoveType::Line:
        calls.push_back({K::Line, toUnits(e.destinationX), toUnits(e.destinationY)});
        break;
      case MoveType::Circle:
        calls.push_back(
            {K::CircleXY, toUnits(e.referenceX), toUnits(e.referenceY), 0, 0, e.direction});
        break;
      case MoveType::Arc:
        calls.push_back({K::ArcXY, toUnits(e.referenceX), toUnits(e.referenceY),
                         toUnits(e.destinationX), toUnits(e.destinationY)});
        break;
    }
  }
  return calls;
}

std::vector<MotionCall> repeatPass(double d0, double d1, double d2, uint32_t delayPeriods) {
  using K = MotionCall::Kind;
  MotionCall pause{K::Delay};
  pause.periods = delayPeriods;
  return {{K::Line, d0, d1, d2}, pause, {K::Line, -d0, -d1, -d2}, pause};
}

Poster::Outcome Poster::postSome(MotionLibrary& lib, int budget) {
  if (calls_.empty()) return Outcome::Done;
  for (int i = 0; i < budget; ++i) {
    if (done()) return Outcome::Done;
    if (post(lib, calls_[next_]) == VNL_ERR_QUEUE_FULL) return Outcome::QueueFull;
    ++posted_;
    if (++next_ == calls_.size() && cyclic_) next_ = 0;
  }
  return done() ? Outcome::Done : Outcome::Posted;
}

}  // namespace tervane
