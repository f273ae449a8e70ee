// Geometry of the corner between two blended commands. The blend replaces the
// end of the current command and the start of the next by one smooth segment
// of normalised time h in [0, 1] (h = t / (2 Tb), Tb the blend half time).
//
// Line to line (and distance jog to distance jog) uses the corner polynomial
//   p(h) = start + h ((2 - h) h^2 (Tb b / T + a) - 2 a)
// per axis, with a = blend start - corner (minus the rest of the current
// line), b the next line's displacement and T its total planned time. At
// h = 0 it leaves at the current cruise speed (-a / Tb); at h = 1 it arrives at
// the corner plus Tb / T of the next line, at the next line's cruise speed.
//
// Any blend with an arc uses a cubic Bezier curve Q0..Q3: Q0 the blend start,
// Q1 two thirds of the way to the point A one final-deceleration distance
// ahead along the current direction of travel, Q3 the next command's point at
// the fraction f of its planned length, Q2 two thirds of f times its length
// back along its direction of travel at Q3.
#pragma once

#include "planner/arc_geometry.h"

namespace vnl::planner {

// Offset from the blend start of one axis on the corner polynomial.
double cornerBlendOffset(double a, double b, double halfTime, double nextTotalTime, double h);

struct BezierBlend {
  Axes6 q0{}, q1{}, q2{}, q3{};
  Axes6 at(double h) const;
};

// A for a current line: its end point, the corner.
inline Axes6 aheadOnLine(const Axes6& corner) {
  return corner;
}
// A for a current arc: S3 along its unit tangent t at Q0 for X, Y, Z; S3 / L
// of the arc's U, V, W displacement for U, V, W.
Axes6 aheadOnArc(const Axes6& q0, const Vec3& tangentAtQ0, double finalDecelDistance,
                 double arcLength, const std::array<double, 3>& uvwDisplacement);

// Q3 and Q2 for a next line from `corner` with displacement d, at fraction f.
void nextLineEnds(const Axes6& corner, const Axes6& displacement, double f, Axes6* q3, Axes6* q2);
// Q3 and Q2 for a next arc (planned from the corner), at fraction f of its angle.
void nextArcEnds(const ArcGeometry& next, const std::array<double, 3>& uvwDisplacement, double f,
                 Axes6* q3, Axes6* q2);

// Q1 from Q0 and A; the curve from all four.
BezierBlend makeBezierBlend(const Axes6& q0, const Axes6& ahead, const Axes6& q2, const Axes6& q3);

}  // namespace vnl::planner
