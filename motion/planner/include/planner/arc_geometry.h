// Geometry of arcs, circles and helices: the three-point centre, the sense of
// rotation, validation against the circle, and the rotation formula that
// places a point of the arc at a swept angle. Pure functions in machine units;
// the speed profile along the arc length is planned like a line's.
//
// An arc starts at S and turns about its centre C. With U the unit vector from
// S toward C, N the unit normal (the sense of rotation) and V = U x N the unit
// tangent at S in the direction of travel, the point at swept angle theta is
//   S + R ((1 - cos theta) U + sin theta V)
// on the plane axes, and U, V, W move linearly in the angle.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vnl::planner {

using Vec3 = std::array<double, 3>;
using Axes6 = std::array<double, 6>;

// Plane codes of the arc command.
inline constexpr std::uint16_t kPlaneXY = 0x8400;     // normal Z
inline constexpr std::uint16_t kPlaneZX = 0x8401;     // normal Y
inline constexpr std::uint16_t kPlaneYZ = 0x8402;     // normal X
inline constexpr std::uint16_t kPlaneSpace = 0x8403;  // through three points

// Components of the cross product below this magnitude count as zero when
// deciding that three points are collinear.
inline constexpr double kCollinearEpsilon = 1e-5;

inline Vec3 sub(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Vec3 add(const Vec3& a, const Vec3& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline Vec3 scale(const Vec3& a, double k) {
  return {a[0] * k, a[1] * k, a[2] * k};
}
inline double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double norm(const Vec3& a);

// The unit vector of the plane's normal axis (Z for X-Y, Y for Z-X, X for Y-Z).
Vec3 planeNormalAxis(std::uint16_t plane);

// Centre of the circle through A, B, E; nothing when the points are collinear
// (every component of (B - A) x (E - A) within kCollinearEpsilon of 0).
// `turn` receives (B - A) x (E - A): its component along a plane's normal axis
// is >= 0 when A, B, E turn counter-clockwise about it.
std::optional<Vec3> threePointCentre(const Vec3& a, const Vec3& b, const Vec3& e,
                                     Vec3* turn = nullptr);

// Length of a one-pulse diagonal step: sqrt(1/pX^2 + 1/pY^2 + 1/pZ^2).
double arcTolerance(double pulsesPerUnitX, double pulsesPerUnitY, double pulsesPerUnitZ);

// Start and end on one circle about the centre within the tolerance, and
// neither radius below it, over the first `planeAxes` axes (1 to 3).
bool arcIsValid(const Vec3& start, const Vec3& end, const Vec3& centre, int planeAxes,
                double tolerance);

// Everything the arc step needs, worked out once when the arc is planned.
struct ArcGeometry {
  Axes6 start{};                         // S, all six axes
  Vec3 centre{};                         // C
  double radius = 0.0;                   // R
  Vec3 toCentre{};                       // U
  Vec3 normal{};                         // N, oriented by the sense of rotation
  Vec3 tangent{};                        // V = U x N
  double totalAngle = 0.0;               // Theta, radians, (0, 2 pi]
  std::array<double, 3> uvwPerRadian{};  // U, V, W per radian of sweep
  double length = 0.0;                   // Theta x R (U, V, W do not add to it)
  int planeAxes = 3;
};

enum class ArcPlanError { None, InconsistentChord };

// Plans the arc from `start` to `end` (six axes) about `centre`; `direction`
// is 1 for counter-clockwise about the plane's normal axis (for an arc in
// space, the sense stored with the command), `reference` the middle point of
// an arc in space. An end point equal to the start gives a full turn.
ArcPlanError planArc(const Axes6& start, const Axes6& end, const Vec3& centre,
                     std::int32_t direction, std::uint16_t plane, const Vec3& reference,
                     int planeAxes, double tolerance, ArcGeometry* out);

// The point of the arc at swept angle theta (all six axes).
Axes6 arcPoint(const ArcGeometry& g, double theta);

// Unit tangent of the arc at swept angle theta, in the direction of travel.
Vec3 arcTangent(const ArcGeometry& g, double theta);

// Sense of rotation of a three-point arc in space from `start` through
// `reference` to `end` about `centre`: 1 when planning it with direction 1
// sweeps through the reference point, else 0.
std::int32_t spaceArcDirection(const Vec3& start, const Vec3& reference, const Vec3& end,
                               const Vec3& centre, double tolerance);

}  // namespace vnl::planner
