#include "planner/profile.h"

#include <cmath>

namespace vnl::planner {

void chooseSegmentTimes(PathProfile& p, const ProfileShape& shape) {
  const bool decelFirst = p.entry == EntryMode::Decelerate || p.phase == PathPhase::LookAheadStart;
  p.T1 = decelFirst ? shape.decTime : shape.accTime;
  p.T3 = shape.decTime;
}

bool planOnLength(PathProfile& p, double L, double speed, int periodMs) {
  p.L = L;
  const double l = L - p.T1 * p.Vs * 0.0005;
  // Time to run l at the speed, rounded up to whole periods; the product of
  // two small integers, so the truncation is exact. A cruise longer than the
  // longest segment cannot be planned at that speed.
  const double whole = std::ceil(l / speed / (periodMs / 1000.0)) * periodMs;
  if (!(whole <= kMaxSegmentMs)) return false;
  const int t = static_cast<int>(whole);
  const int u = static_cast<int>((p.T1 + p.T3) * 0.5);
  if (u < t) {
    p.hasCruise = true;
    p.T = t;
    p.T2 = t - u;
  } else {
    p.hasCruise = false;
    p.T = u;
    p.T2 = 0;
  }
  p.V = p.T > 0 ? l / p.T * 1000.0 : 0.0;
  p.S1 = (p.V + p.Vs) * p.T1 * 0.0005;
  p.S2 = p.V * p.T2 * 0.001;
  p.S3 = L - p.S1 - p.S2;
  p.elapsed = 0;
  p.h = 0;
  return true;
}

namespace {

// Starts the loaded segment. Its duration in whole periods is worked out here,
// once, and not at every step: the integer division it takes would otherwise
// lie on the path from one step's time to its positions.
void startSegment(PathProfile& p, PathPhase running, int periodMs) {
  p.elapsed = 0;
  p.segDuration = p.segKind == SegmentKind::Cruise ? cruiseDuration(p.segT, periodMs)
                                                   : rampDuration(p.segT, periodMs);
  p.phase = running;
}

}  // namespace

double advanceSegment(PathProfile& p, int periodMs) {
  switch (p.phase) {
    case PathPhase::AccStart:
      startSegment(p, PathPhase::Accelerating, periodMs);
      break;
    case PathPhase::CruiseStart:
      startSegment(p, PathPhase::Cruising, periodMs);
      break;
    case PathPhase::DecStart:
      startSegment(p, PathPhase::Decelerating, periodMs);
      break;
    default:
      break;
  }
  p.elapsed += periodMs;
  // The durations are whole periods, so elapsed meets T exactly.
  const double T = p.segDuration;
  double s = 0;
  switch (p.segKind) {
    case SegmentKind::Accel:
      s = accelDistance(p.segType, p.segV, p.segS, T, p.elapsed);
      break;
    case SegmentKind::Decel:
      s = decelDistance(p.segType, p.segV, p.segS, T, p.elapsed);
      break;
    case SegmentKind::Cruise:
      s = cruiseDistance(p.segS, T, p.elapsed);
      break;
  }
  p.h = p.elapsed / T;
  if (p.elapsed >= T) {
    switch (p.phase) {
      case PathPhase::Accelerating:
        p.phase = PathPhase::AccDone;
        break;
      case PathPhase::Cruising:
        p.phase = PathPhase::CruiseDone;
        break;
      case PathPhase::Decelerating:
        p.phase = PathPhase::DecDone;
        break;
      default:
        break;
    }
  }
  return s;
}

}  // namespace vnl::planner
