// The test run's plane geometry: the centre of the circle through three
// points, as the editor computes it in 32-bit integer steps, and the arc of
// that circle from the first point through the second to the third.
#pragma once

#include <cstdint>
#include <variant>

namespace tervane {

struct IntPoint {
  int32_t x = 0, y = 0;
  bool operator==(const IntPoint&) const = default;
};

enum class ArcFailure {
  Collinear,  // "Please Check your ARC Argriment"
  Overflow,   // a 32-bit step overflowed: "Error Setting"
};

// Centre of the circle through p0, p1 and p2: u = p1 - p0, w = p2 - p0,
// cross = u x w, uu, ww, uw in 32-bit integers (any overflow fails), then
// s = ww (uu - uw) / D and t = uu (ww - uw) / D with D = 2 (uu ww - uw^2), and
// the centre p0 + round(s u + t w).
std::variant<IntPoint, ArcFailure> arcCentre(IntPoint p0, IntPoint p1, IntPoint p2);

// The arc of a circle about `centre` that starts at p0, passes p1 and ends at
// p2: its start angle and signed sweep in radians (counter-clockwise
// positive, y upwards). A sweep of 0 means p2 lies on p0.
struct ArcSweep {
  double start = 0;
  double sweep = 0;
};
ArcSweep arcThrough(double cx, double cy, IntPoint p0, IntPoint p1, IntPoint p2);

}  // namespace tervane
