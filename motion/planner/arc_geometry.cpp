#include "planner/arc_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vnl::planner {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The first `n` of X, Y, Z; the others zero.
Vec3 planePart(const Vec3& v, int n) {
  Vec3 r{};
  for (int i = 0; i < std::clamp(n, 1, 3); ++i)
    r[static_cast<std::size_t>(i)] = v[static_cast<std::size_t>(i)];
  return r;
}

Vec3 xyz(const Axes6& a) {
  return {a[0], a[1], a[2]};
}

Vec3 normalised(const Vec3& v) {
  const double n = norm(v);
  return n > 0.0 ? scale(v, 1.0 / n) : v;
}

bool allBelow(const Vec3& v, double limit) {
  return std::fabs(v[0]) < limit && std::fabs(v[1]) < limit && std::fabs(v[2]) < limit;
}

// Some unit vector perpendicular to u (u a unit vector).
Vec3 anyPerpendicular(const Vec3& u) {
  const std::size_t least = static_cast<std::size_t>(
      std::min_element(u.begin(), u.end(),
                       [](double a, double b) { return std::fabs(a) < std::fabs(b); }) -
      u.begin());
  Vec3 axis{};
  axis[least] = 1.0;
  return normalised(cross(u, axis));
}

}  // namespace

double norm(const Vec3& a) {
  return std::sqrt(dot(a, a));
}

Vec3 planeNormalAxis(std::uint16_t plane) {
  switch (plane) {
    case kPlaneZX:
      return {0.0, 1.0, 0.0};
    case kPlaneYZ:
      return {1.0, 0.0, 0.0};
    default:
      return {0.0, 0.0, 1.0};
  }
}

std::optional<Vec3> threePointCentre(const Vec3& a, const Vec3& b, const Vec3& e, Vec3* turn) {
  const Vec3 ab = sub(b, a);
  const Vec3 ae = sub(e, a);
  const Vec3 n = cross(ab, ae);
  if (turn) *turn = n;
  if (std::fabs(n[0]) <= kCollinearEpsilon && std::fabs(n[1]) <= kCollinearEpsilon &&
      std::fabs(n[2]) <= kCollinearEpsilon) {
    return std::nullopt;
  }
  const double aa = dot(ab, ab);
  const double bb = dot(ae, ae);
  const double abDot = dot(ab, ae);
  const double f = aa * bb - abDot * abDot;
  if (!(f > 0.0)) return std::nullopt;  // numerically collinear after all
  const double ka = bb * (aa - abDot) / (2.0 * f);
  const double kb = aa * (bb - abDot) / (2.0 * f);
  return add(a, add(scale(ab, ka), scale(ae, kb)));
}

double arcTolerance(double px, double py, double pz) {
  auto inv2 = [](double p) { return p != 0.0 ? 1.0 / (p * p) : 0.0; };
  return std::sqrt(inv2(px) + inv2(py) + inv2(pz));
}

bool arcIsValid(const Vec3& start, const Vec3& end, const Vec3& centre, int planeAxes,
                double tolerance) {
  const double rs = norm(planePart(sub(centre, start), planeAxes));
  const double re = norm(planePart(sub(centre, end), planeAxes));
  return std::fabs(rs - re) <= tolerance && rs >= tolerance && re >= tolerance;
}

ArcPlanError planArc(const Axes6& start, const Axes6& end, const Vec3& centre,
                     std::int32_t direction, std::uint16_t plane, const Vec3& reference,
                     int planeAxes, double tolerance, ArcGeometry* out) {
  ArcGeometry g;
  g.start = start;
  g.centre = centre;
  g.planeAxes = std::clamp(planeAxes, 1, 3);
  const Vec3 s = xyz(start);
  Axes6 d6{};
  for (std::size_t i = 0; i < 6; ++i)
    d6[i] = end[i] - start[i];
  const Vec3 d = planePart(xyz(d6), g.planeAxes);

  const Vec3 toCentre = planePart(sub(centre, s), g.planeAxes);
  g.radius = norm(toCentre);
  g.toCentre = g.radius > 0.0 ? scale(toCentre, 1.0 / g.radius) : Vec3{};

  Vec3 n = cross(d, g.toCentre);
  if (allBelow(n, tolerance)) {
    // End on the start or diametrically opposite: the chord does not fix the
    // plane. A principal-plane arc turns about its plane's axis; an arc in
    // space turns in the plane through its reference point (the three points
    // are not collinear, or the command would not have been queued).
    if (plane == kPlaneSpace) {
      n = cross(planePart(sub(reference, s), g.planeAxes), g.toCentre);
      if (allBelow(n, tolerance)) n = anyPerpendicular(g.toCentre);
    } else {
      n = planeNormalAxis(plane);
    }
  } else if (plane == kPlaneSpace) {
    // Near a half turn the chord is almost along U and d x U is small: its
    // direction then follows the rounding of the end point. The reference
    // point on the circle fixes the plane better whenever it is further from
    // that line; the chord still gives the sense.
    const Vec3 r = planePart(sub(reference, s), g.planeAxes);
    const Vec3 nr = cross(r, g.toCentre);
    const double chord = norm(d), rl = norm(r);
    if (chord > 0.0 && rl > 0.0 && norm(nr) / rl > norm(n) / chord)
      n = dot(nr, n) >= 0.0 ? nr : scale(nr, -1.0);
  }
  n = normalised(n);
  if (plane == kPlaneSpace) {
    if (direction != 1) n = scale(n, -1.0);
  } else {
    for (double& c : n)
      c = direction == 1 ? std::fabs(c) : -std::fabs(c);
  }
  g.normal = n;
  g.tangent = cross(g.toCentre, g.normal);

  const double chord = norm(d);
  if (chord >= tolerance) {
    double x = dot(d, g.tangent) / chord;
    // The ratio is at most 1 in magnitude; rounding may push a valid chord a
    // hair past it.
    if (std::fabs(x) > 1.0 + 1e-12) return ArcPlanError::InconsistentChord;
    x = std::clamp(x, -1.0, 1.0);
    g.totalAngle = 2.0 * std::acos(x);
  } else {
    g.totalAngle = kTwoPi;
  }
  const double sweep = std::fabs(g.totalAngle);
  for (std::size_t i = 0; i < 3; ++i)
    g.uvwPerRadian[i] = sweep > 0.0 ? d6[3 + i] / sweep : 0.0;
  g.length = g.totalAngle * g.radius;
  *out = g;
  return ArcPlanError::None;
}

Axes6 arcPoint(const ArcGeometry& g, double theta) {
  Axes6 p = g.start;
  const double c = 1.0 - std::cos(theta);
  const double s = std::sin(theta);
  for (std::size_t i = 0; i < static_cast<std::size_t>(g.planeAxes); ++i) {
    p[i] = g.start[i] + g.radius * (c * g.toCentre[i] + s * g.tangent[i]);
  }
  for (std::size_t i = 0; i < 3; ++i)
    p[3 + i] = g.start[3 + i] + theta * g.uvwPerRadian[i];
  return p;
}

Vec3 arcTangent(const ArcGeometry& g, double theta) {
  return add(scale(g.toCentre, std::sin(theta)), scale(g.tangent, std::cos(theta)));
}

std::int32_t spaceArcDirection(const Vec3& start, const Vec3& reference, const Vec3& end,
                               const Vec3& centre, double tolerance) {
  ArcGeometry g;
  const Axes6 s{start[0], start[1], start[2], 0, 0, 0};
  const Axes6 e{end[0], end[1], end[2], 0, 0, 0};
  if (planArc(s, e, centre, 1, kPlaneSpace, reference, 3, tolerance, &g) != ArcPlanError::None ||
      g.radius <= 0.0) {
    return 1;
  }
  const Vec3 rel = sub(reference, start);
  const double cosB = 1.0 - dot(rel, g.toCentre) / g.radius;
  const double sinB = dot(rel, g.tangent) / g.radius;
  double angle = std::atan2(sinB, cosB);
  if (angle < 0.0) angle += kTwoPi;
  return angle <= g.totalAngle ? 1 : 0;
}

}  // namespace vnl::planner
