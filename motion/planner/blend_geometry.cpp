#include "planner/blend_geometry.h"

namespace vnl::planner {

double cornerBlendOffset(double a, double b, double halfTime, double nextTotalTime, double h) {
  const double lead = nextTotalTime > 0.0 ? halfTime * b / nextTotalTime : 0.0;
  return h * ((2.0 - h) * h * h * (lead + a) - 2.0 * a);
}

Axes6 BezierBlend::at(double h) const {
  const double u = 1.0 - h;
  const double w0 = u * u * u, w1 = 3.0 * u * u * h, w2 = 3.0 * u * h * h, w3 = h * h * h;
  Axes6 p{};
  for (std::size_t i = 0; i < 6; ++i)
    p[i] = w0 * q0[i] + w1 * q1[i] + w2 * q2[i] + w3 * q3[i];
  return p;
}

Axes6 aheadOnArc(const Axes6& q0, const Vec3& tangentAtQ0, double finalDecelDistance,
                 double arcLength, const std::array<double, 3>& uvwDisplacement) {
  Axes6 a = q0;
  for (std::size_t i = 0; i < 3; ++i)
    a[i] += finalDecelDistance * tangentAtQ0[i];
  const double share = arcLength > 0.0 ? finalDecelDistance / arcLength : 0.0;
  for (std::size_t i = 0; i < 3; ++i)
    a[3 + i] += share * uvwDisplacement[i];
  return a;
}

void nextLineEnds(const Axes6& corner, const Axes6& displacement, double f, Axes6* q3, Axes6* q2) {
  // For a line f L' t' is f d on X, Y, Z, and the U, V, W rule gives f d too.
  for (std::size_t i = 0; i < 6; ++i) {
    (*q3)[i] = corner[i] + f * displacement[i];
    (*q2)[i] = (*q3)[i] - (2.0 / 3.0) * f * displacement[i];
  }
}

void nextArcEnds(const ArcGeometry& next, const std::array<double, 3>& uvwDisplacement, double f,
                 Axes6* q3, Axes6* q2) {
  const double theta = f * next.totalAngle;
  *q3 = arcPoint(next, theta);
  const Vec3 t = arcTangent(next, theta);
  *q2 = *q3;
  for (std::size_t i = 0; i < 3; ++i)
    (*q2)[i] -= (2.0 / 3.0) * f * next.length * t[i];
  for (std::size_t i = 0; i < 3; ++i)
    (*q2)[3 + i] -= (2.0 / 3.0) * f * uvwDisplacement[i];
}

BezierBlend makeBezierBlend(const Axes6& q0, const Axes6& ahead, const Axes6& q2, const Axes6& q3) {
  BezierBlend b;
  b.q0 = q0;
  b.q2 = q2;
  b.q3 = q3;
  for (std::size_t i = 0; i < 6; ++i)
    b.q1[i] = q0[i] + (2.0 / 3.0) * (ahead[i] - q0[i]);
  return b;
}

}  // namespace vnl::planner
