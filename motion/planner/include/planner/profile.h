// Three-segment speed profiles: acceleration, cruise, deceleration.
//
// Pure functions of time: nothing here reads a clock. Times are whole
// milliseconds and every segment lasts a whole number of interpolation
// periods P. Inside a segment the distance travelled since the segment's start
// is a closed-form polynomial of the normalised time h = t / T:
//
//   acceleration  S-curve  s = v t + l (2h^3 - h^4)        linear  s = v t + l h^2
//   deceleration  S-curve  s = v t + l (2h - 2h^3 + h^4)   linear  s = v t + l (2h - h^2)
//   cruise                 s = h S
//
// with l = S - v T (t and T in ms, v in units/s, hence the 0.001 factors).
// For an acceleration v is the start speed, for a deceleration the end speed.
//
// Planning recomputes the cruise speed from the time rounded up to whole
// periods, so S1 + S2 + S3 is the path length and the last step of the final
// deceleration (h = 1) lands on the end point.
#pragma once

#include <cstdint>
#include <limits>

namespace vnl::planner {

enum class ProfileType : int32_t { SCurve = 1, Linear = 2 };

// Phase sub-state of the running segment.
enum class PathPhase : int32_t {
  AccStart = 1,
  Accelerating = 2,
  AccDone = 3,
  CruiseStart = 4,
  Cruising = 5,
  CruiseDone = 6,
  DecStart = 7,
  Decelerating = 8,
  DecDone = 9,
  LookAheadStart = 10,  // blending into the next command
  LookAhead = 11,
  LookAheadDone = 12,
};

// What one call of a path step generator produced.
enum class StepResult : int32_t {
  Accelerate = 41,
  Cruise = 42,
  Decelerate = 43,  // initial or final deceleration
  BlendJog = 44,
  BlendLine = 45,
  BlendArc = 46,
  Finished = 47,
  Again = 255,  // only the segment state changed; call again in this period
};

// Segment state of a path command.
enum class SegmentState : int32_t {
  Plan = 10,
  LookAhead = 20,  // end of the cruise with blending on
  FinalDecel = 30,
  Accel = 41,
  Cruise = 42,
  InitialDecel = 43,
};

// How the first segment reaches the cruise speed.
enum class EntryMode : int32_t { Accelerate = 16, Decelerate = 32 };

enum class SegmentKind : int32_t { Accel, Cruise, Decel };

// The longest acceleration, deceleration or cruise segment, in ms (about
// three days): segment times, their sums and their roundings to whole
// periods stay far inside an int however large the step counts, periods or
// distances that produced them.
inline constexpr int kMaxSegmentMs = 1 << 28;

// Acceleration or deceleration time of a step count: 2 x ceil(steps / 2) x P,
// at most kMaxSegmentMs (then the largest such time that fits).
constexpr int derivedTime(int steps, int periodMs) {
  if (steps <= 0 || periodMs <= 0) return 0;
  const std::int64_t period = periodMs < kMaxSegmentMs / 2 ? periodMs : kMaxSegmentMs / 2;
  const std::int64_t pairs = (std::int64_t{steps} + 1) / 2;
  const std::int64_t maxPairs = kMaxSegmentMs / (2 * period);
  return static_cast<int>(2 * (pairs < maxPairs ? pairs : maxPairs) * period);
}

// Duration of an acceleration or deceleration segment given its time
// parameter: rounded up to whole periods, then to an even number of ms.
constexpr int rampDuration(int timeMs, int periodMs) {
  if (timeMs <= 0 || periodMs <= 0) return 0;
  const std::int64_t P = periodMs;
  const std::int64_t whole = P * ((timeMs + P - 1) / P);
  return static_cast<int>(2 * ((whole < kMaxSegmentMs ? whole : kMaxSegmentMs) / 2));
}

// Duration of a cruise segment: rounded up to whole periods.
constexpr int cruiseDuration(int timeMs, int periodMs) {
  if (timeMs <= 0 || periodMs <= 0) return 0;
  const std::int64_t P = periodMs;
  const std::int64_t whole = P * ((timeMs + P - 1) / P);
  return static_cast<int>(
      whole < std::numeric_limits<int>::max() ? whole : P * (std::numeric_limits<int>::max() / P));
}

// Distance since the segment start at elapsed time t (ms) of a segment of
// duration T (ms) with speed parameter v and distance S.
inline double accelDistance(ProfileType type, double v, double S, double T, double t) {
  const double h = t / T;
  const double l = S - T * v * 0.001;
  const double h2 = h * h;
  return v * t * 0.001 + l * (type == ProfileType::SCurve ? h2 * h * (2.0 - h) : h2);
}

inline double decelDistance(ProfileType type, double v, double S, double T, double t) {
  const double h = t / T;
  const double l = S - T * v * 0.001;
  const double shape = type == ProfileType::SCurve ? h * (2.0 + h * h * (h - 2.0)) : h * (2.0 - h);
  return v * t * 0.001 + l * shape;
}

inline double cruiseDistance(double S, double T, double t) {
  return (t / T) * S;
}

// Speed (units/s) at the end of an acceleration, or the start of a
// deceleration, with parameters v, S, T.
inline double rampOtherSpeed(double v, double S, double T) {
  return v + 2.0 * (S - T * v * 0.001) / (T / 1000.0);
}

// Profile record of one path command.
struct PathProfile {
  double Vs = 0;               // start speed, units/s
  double V = 0;                // cruise speed, units/s
  double L = 0;                // path length
  int T1 = 0, T2 = 0, T3 = 0;  // segment times, ms
  int T = 0;                   // cruise-equivalent time l / V, ms
  double S1 = 0, S2 = 0, S3 = 0;
  bool hasCruise = false;
  double elapsed = 0;  // ms into the running segment
  double h = 0;        // normalised time of the last step
  SegmentState state = SegmentState::Plan;
  PathPhase phase = PathPhase::AccStart;
  EntryMode entry = EntryMode::Accelerate;
  // Parameters of the running segment.
  SegmentKind segKind = SegmentKind::Accel;
  double segV = 0;
  double segS = 0;
  int segT = 0;
  ProfileType segType = ProfileType::SCurve;
  int segDuration = 0;  // segT in whole periods, ms: set when the segment starts

  int totalTime() const { return T1 + T2 + T3; }
};

// Shape settings of path profiles (derived times in ms).
struct ProfileShape {
  ProfileType accType = ProfileType::SCurve;
  ProfileType decType = ProfileType::SCurve;
  int accTime = 20;
  int decTime = 20;
};

enum class PlanResult : int32_t { Ok = 0, ZeroSpeed = 1, ZeroLength = 2 };

// First segment time and deceleration time of a new plan.
void chooseSegmentTimes(PathProfile& p, const ProfileShape& shape);

// Plans the profile over length L (> 0) at `speed` (> 0) from start speed
// p.Vs, with p.T1 and p.T3 already chosen: has-cruise, T, T2, V, S1..S3;
// clears the elapsed and normalised time. False, and nothing planned, when the
// move would take longer than kMaxSegmentMs at that speed.
[[nodiscard]] bool planOnLength(PathProfile& p, double L, double speed, int periodMs);

// Advance the running segment by one period; returns the distance since the
// segment's start and moves the phase sub-state.
double advanceSegment(PathProfile& p, int periodMs);

// One transition of the segment sequencing. `blending` selects the
// look-ahead at the end of the cruise; `lookAhead()` is then asked for the
// blend result (BlendJog, BlendLine, BlendArc) or anything else for the
// final deceleration.
template <class LookAhead>
StepResult sequenceStep(PathProfile& p, const ProfileShape& shape, bool blending,
                        LookAhead&& lookAhead);

// ---- implementation of the template ----

namespace detail {
inline void loadSegment(PathProfile& p, SegmentKind kind, double v, double S, int T,
                        ProfileType type) {
  p.segKind = kind;
  p.segV = v;
  p.segS = S;
  p.segT = T;
  p.segType = type;
}
inline void endOfCruise(PathProfile& p, bool blending) {
  if (blending) {
    p.state = SegmentState::LookAhead;
  } else {
    p.state = SegmentState::FinalDecel;
    p.phase = PathPhase::DecStart;
  }
}
inline void afterFirst(PathProfile& p, bool blending) {
  if (p.hasCruise) {
    p.state = SegmentState::Cruise;
    p.phase = PathPhase::CruiseStart;
  } else {
    endOfCruise(p, blending);
  }
}
}  // namespace detail

template <class LookAhead>
StepResult sequenceStep(PathProfile& p, const ProfileShape& shape, bool blending,
                        LookAhead&& lookAhead) {
  switch (p.state) {
    case SegmentState::Plan:
      if (p.entry == EntryMode::Decelerate) {
        p.state = SegmentState::InitialDecel;
        p.phase = PathPhase::DecStart;
      } else {
        p.state = SegmentState::Accel;
        p.phase = PathPhase::AccStart;
      }
      return StepResult::Again;
    case SegmentState::Accel:
      if (p.phase == PathPhase::AccStart) {
        detail::loadSegment(p, SegmentKind::Accel, p.Vs, p.S1, p.T1, shape.accType);
        if (p.T1 == 0) {
          detail::afterFirst(p, blending);
          return StepResult::Again;
        }
      } else if (p.phase == PathPhase::AccDone) {
        detail::afterFirst(p, blending);
        return StepResult::Again;
      }
      return StepResult::Accelerate;
    case SegmentState::InitialDecel:
      if (p.phase == PathPhase::DecStart) {
        detail::loadSegment(p, SegmentKind::Decel, p.V, p.S1, p.T1, shape.decType);
        if (p.T1 == 0) {
          detail::afterFirst(p, blending);
          return StepResult::Again;
        }
      } else if (p.phase == PathPhase::DecDone) {
        detail::afterFirst(p, blending);
        return StepResult::Again;
      }
      return StepResult::Decelerate;
    case SegmentState::Cruise:
      if (p.phase == PathPhase::CruiseStart) {
        detail::loadSegment(p, SegmentKind::Cruise, p.V, p.S2, p.T2, shape.accType);
        if (p.T2 == 0) {
          detail::endOfCruise(p, blending);
          return StepResult::Again;
        }
      } else if (p.phase == PathPhase::CruiseDone) {
        detail::endOfCruise(p, blending);
        return StepResult::Again;
      }
      return StepResult::Cruise;
    case SegmentState::LookAhead: {
      const StepResult r = lookAhead();
      if (r == StepResult::BlendJog || r == StepResult::BlendLine || r == StepResult::BlendArc)
        return r;
      p.state = SegmentState::FinalDecel;
      p.phase = PathPhase::DecStart;
      return StepResult::Again;
    }
    case SegmentState::FinalDecel:
      if (p.phase == PathPhase::DecStart) {
        detail::loadSegment(p, SegmentKind::Decel, 0.0, p.S3, p.T3, shape.decType);
        if (p.T3 == 0) {
          p.state = SegmentState::Plan;
          return StepResult::Finished;
        }
      } else if (p.phase == PathPhase::DecDone) {
        p.state = SegmentState::Plan;
        return StepResult::Finished;
      }
      return StepResult::Decelerate;
  }
  p.state = SegmentState::Plan;
  return StepResult::Finished;
}

// Decision of a look-ahead when nothing can be blended.
struct NoBlend {
  StepResult operator()() const { return StepResult::Again; }
};

}  // namespace vnl::planner
