// Exported arc and circle functions: arcs through a reference point in the
// X-Y, Y-Z and Z-X planes, full circles about a given centre, their helical
// variants with U, V, W moving in proportion to the swept angle, and
// three-point arcs in space. Each checks readiness, the group, the error
// byte and the feed speed, turns its arguments into machine coordinates,
// works out the centre and the sense of rotation, and queues one arc.
#include <cmath>
#include <cstdint>
#include <limits>

#include "export.h"
#include "library.h"
#include "planner/arc_geometry.h"

using vnl::kSlots;
using vnl::lib;
using vnl::Library;

namespace {

namespace pl = vnl::planner;

constexpr uint32_t kCollinearError = 0xF104;

// The plane's two axes in argument order and its normal axis.
struct PlaneAxes {
  int first, second, normal;
  uint32_t code;
};
constexpr PlaneAxes kXY{0, 1, 2, pl::plane::kXY};
constexpr PlaneAxes kYZ{1, 2, 0, pl::plane::kYZ};
constexpr PlaneAxes kZX{2, 0, 1, pl::plane::kZX};

// A caller's coordinate of slot s in machine units: scaled by the unit
// factor and, in incremental coordinates, offset by the last target.
// Not finite: false.
bool machine(Library& L, uint16_t group, int s, double value, double* out) {
  if (!std::isfinite(value)) return false;
  const double unit = L.unitFactor[group].load(std::memory_order_relaxed);
  const bool incremental = L.coordType[group].load(std::memory_order_relaxed) == 0;
  *out = value * unit + (incremental ? L.lastTargets(group)[s] : 0.0);
  return std::isfinite(*out);
}

// A machine coordinate that lands in the 32-bit pulse range of its axis.
bool inPulseRange(Library& L, uint16_t group, int s, double units) {
  return vnl::inPulseRange(units, L.groupParams[group].axis[s].pulsesPerUnit);
}

pl::Vec3 startPoint(Library& L, uint16_t group) {
  return {L.lastTargets(group)[0], L.lastTargets(group)[1], L.lastTargets(group)[2]};
}

// Queues an arc whose coordinates are already machine coordinates.
int32_t queueArc(Library& L, uint16_t group, const double (&target)[kSlots], const pl::Vec3& centre,
                 const pl::Vec3& reference, int32_t direction, uint32_t plane) {
  for (int s = 0; s < kSlots; ++s)
    if (!inPulseRange(L, group, s, target[s])) return VNL_ERR_RANGE;
  for (int s = 0; s < 3; ++s)
    if (!std::isfinite(centre[static_cast<std::size_t>(s)]) ||
        !std::isfinite(reference[static_cast<std::size_t>(s)]))
      return VNL_ERR_RANGE;
  // The whole circle must stay inside the pulse range of its axes.
  const pl::Vec3 start = startPoint(L, group);
  const double radius = pl::norm(pl::sub(centre, start));
  for (int s = 0; s < 3; ++s) {
    const double ci = centre[static_cast<std::size_t>(s)];
    if (!inPulseRange(L, group, s, ci + radius) || !inPulseRange(L, group, s, ci - radius))
      return VNL_ERR_RANGE;
  }
  pl::MotionCommand c{};
  c.code = pl::code::kArc;
  c.speed = L.feedSpeed[group];
  for (int s = 0; s < kSlots; ++s)
    c.target[s] = target[s];
  for (std::size_t i = 0; i < 3; ++i) {
    c.centre[i] = centre[i];
    c.reference[i] = reference[i];
  }
  c.direction = direction;
  c.plane = plane;
  return L.queueMotion(c, group);
}

// The end on the start (within the collinearity tolerance) and the reference
// point away from it: a full turn, which three points alone cannot describe.
bool endsOnStart(const pl::Vec3& a, const pl::Vec3& ref, const pl::Vec3& e) {
  const pl::Vec3 d = pl::sub(e, a), r = pl::sub(ref, a);
  auto small = [](const pl::Vec3& v) {
    return std::fabs(v[0]) <= pl::kCollinearEpsilon && std::fabs(v[1]) <= pl::kCollinearEpsilon &&
           std::fabs(v[2]) <= pl::kCollinearEpsilon;
  };
  return small(d) && !small(r);
}

// Three-point arc in a principal plane, machine coordinates. The third axis
// keeps its current value for all three points.
int32_t planeArcMachine(Library& L, uint16_t group, const PlaneAxes& p, const pl::Vec3& ref,
                        const double (&target)[kSlots]) {
  const pl::Vec3 a = startPoint(L, group);
  const pl::Vec3 e{target[0], target[1], target[2]};
  pl::Vec3 turn{};
  auto centre = pl::threePointCentre(a, ref, e, &turn);
  if (!centre && endsOnStart(a, ref, e)) {
    // End on the start: a full turn through the reference point, which is
    // taken as the point opposite the start. Counter-clockwise, as for a
    // zero turn vector.
    centre = pl::scale(pl::add(a, ref), 0.5);
    turn = {};
  }
  if (!centre) {
    L.apiError[group].store(kCollinearError, std::memory_order_relaxed);
    return VNL_ERR_RANGE;
  }
  const int32_t direction = turn[static_cast<std::size_t>(p.normal)] >= 0 ? 1 : 0;
  return queueArc(L, group, target, *centre, pl::Vec3{}, direction, p.code);
}

// VNL_Arc.. and VNL_Arc..UVW: reference and end in the plane's two axes,
// U, V, W ends when `uvw` is given.
int32_t planeArc(const PlaneAxes& p, double ref1, double ref2, double end1, double end2,
                 const double* uvw, uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkFeedMotion(L, group)) return r;
  double target[kSlots];
  for (int s = 0; s < kSlots; ++s)
    target[s] = L.lastTargets(group)[s];
  pl::Vec3 ref = startPoint(L, group);
  const auto f = static_cast<std::size_t>(p.first), sec = static_cast<std::size_t>(p.second);
  if (!machine(L, group, p.first, ref1, &ref[f]) || !machine(L, group, p.second, ref2, &ref[sec]) ||
      !machine(L, group, p.first, end1, &target[p.first]) ||
      !machine(L, group, p.second, end2, &target[p.second]))
    return VNL_ERR_RANGE;
  if (uvw != nullptr)
    for (int i = 0; i < 3; ++i)
      if (!machine(L, group, 3 + i, uvw[i], &target[3 + i])) return VNL_ERR_RANGE;
  return planeArcMachine(L, group, p, ref, target);
}

// VNL_Circle.. and VNL_Circle..UVW: a full turn about the given centre.
int32_t planeCircle(const PlaneAxes& p, double c1, double c2, const double* uvw, uint8_t dir,
                    uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkFeedMotion(L, group)) return r;
  double target[kSlots];
  for (int s = 0; s < kSlots; ++s)
    target[s] = L.lastTargets(group)[s];
  pl::Vec3 centre = startPoint(L, group);
  if (!machine(L, group, p.first, c1, &centre[static_cast<std::size_t>(p.first)]) ||
      !machine(L, group, p.second, c2, &centre[static_cast<std::size_t>(p.second)]))
    return VNL_ERR_RANGE;
  if (uvw != nullptr)
    for (int i = 0; i < 3; ++i)
      if (!machine(L, group, 3 + i, uvw[i], &target[3 + i])) return VNL_ERR_RANGE;
  return queueArc(L, group, target, centre, pl::Vec3{}, dir != 0 ? 1 : 0, p.code);
}

}  // namespace

VNL_EXPORT int32_t VNL_ArcXY(double refX, double refY, double endX, double endY, uint16_t group) {
  return planeArc(kXY, refX, refY, endX, endY, nullptr, group);
}
VNL_EXPORT int32_t VNL_ArcYZ(double refY, double refZ, double endY, double endZ, uint16_t group) {
  return planeArc(kYZ, refY, refZ, endY, endZ, nullptr, group);
}
VNL_EXPORT int32_t VNL_ArcZX(double refZ, double refX, double endZ, double endX, uint16_t group) {
  return planeArc(kZX, refZ, refX, endZ, endX, nullptr, group);
}
VNL_EXPORT int32_t VNL_ArcXYUVW(double refX, double refY, double endX, double endY, double u,
                                double v, double w, uint16_t group) {
  const double uvw[3] = {u, v, w};
  return planeArc(kXY, refX, refY, endX, endY, uvw, group);
}
VNL_EXPORT int32_t VNL_ArcYZUVW(double refY, double refZ, double endY, double endZ, double u,
                                double v, double w, uint16_t group) {
  const double uvw[3] = {u, v, w};
  return planeArc(kYZ, refY, refZ, endY, endZ, uvw, group);
}
VNL_EXPORT int32_t VNL_ArcZXUVW(double refZ, double refX, double endZ, double endX, double u,
                                double v, double w, uint16_t group) {
  const double uvw[3] = {u, v, w};
  return planeArc(kZX, refZ, refX, endZ, endX, uvw, group);
}

VNL_EXPORT int32_t VNL_CircleXY(double cx, double cy, uint8_t dir, uint16_t group) {
  return planeCircle(kXY, cx, cy, nullptr, dir, group);
}
VNL_EXPORT int32_t VNL_CircleYZ(double cy, double cz, uint8_t dir, uint16_t group) {
  return planeCircle(kYZ, cy, cz, nullptr, dir, group);
}
VNL_EXPORT int32_t VNL_CircleZX(double cz, double cx, uint8_t dir, uint16_t group) {
  return planeCircle(kZX, cz, cx, nullptr, dir, group);
}
VNL_EXPORT int32_t VNL_CircleXYUVW(double cx, double cy, double u, double v, double w, uint8_t dir,
                                   uint16_t group) {
  const double uvw[3] = {u, v, w};
  return planeCircle(kXY, cx, cy, uvw, dir, group);
}
VNL_EXPORT int32_t VNL_CircleYZUVW(double cy, double cz, double u, double v, double w, uint8_t dir,
                                   uint16_t group) {
  const double uvw[3] = {u, v, w};
  return planeCircle(kYZ, cy, cz, uvw, dir, group);
}
VNL_EXPORT int32_t VNL_CircleZXUVW(double cz, double cx, double u, double v, double w, uint8_t dir,
                                   uint16_t group) {
  const double uvw[3] = {u, v, w};
  return planeCircle(kZX, cz, cx, uvw, dir, group);
}

VNL_EXPORT int32_t VNL_ArcXYZ(double refX, double refY, double refZ, double endX, double endY,
                              double endZ, uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkFeedMotion(L, group)) return r;
  double target[kSlots];
  for (int s = 0; s < kSlots; ++s)
    target[s] = L.lastTargets(group)[s];
  pl::Vec3 ref{};
  if (!machine(L, group, 0, refX, &ref[0]) || !machine(L, group, 1, refY, &ref[1]) ||
      !machine(L, group, 2, refZ, &ref[2]) || !machine(L, group, 0, endX, &target[0]) ||
      !machine(L, group, 1, endY, &target[1]) || !machine(L, group, 2, endZ, &target[2]))
    return VNL_ERR_RANGE;
  const pl::Vec3 a = startPoint(L, group);
  const pl::Vec3 e{target[0], target[1], target[2]};
  // Three points in a principal plane are that plane's arc (exact equality).
  if (a[0] == ref[0] && a[0] == e[0]) return planeArcMachine(L, group, kYZ, ref, target);
  if (a[1] == ref[1] && a[1] == e[1]) return planeArcMachine(L, group, kZX, ref, target);
  if (a[2] == ref[2] && a[2] == e[2]) return planeArcMachine(L, group, kXY, ref, target);
  const auto centre = pl::threePointCentre(a, ref, e);
  if (!centre) {
    L.apiError[group].store(kCollinearError, std::memory_order_relaxed);
    return VNL_ERR_RANGE;
  }
  const double tol = pl::arcTolerance(L.groupParams[group].axis[0].pulsesPerUnit,
                                      L.groupParams[group].axis[1].pulsesPerUnit,
                                      L.groupParams[group].axis[2].pulsesPerUnit);
  const int32_t direction = pl::spaceArcDirection(a, ref, e, *centre, tol);
  return queueArc(L, group, target, *centre, ref, direction, pl::plane::kSpace);
}

VNL_OLD(VNL_arc_xy, VNL_ArcXY)
VNL_OLD(VNL_arc_yz, VNL_ArcYZ)
VNL_OLD(VNL_arc_zx, VNL_ArcZX)
VNL_OLD(VNL_arc_xyz, VNL_ArcXYZ)
VNL_OLD(VNL_arc_xyuvw, VNL_ArcXYUVW)
VNL_OLD(VNL_arc_yzuvw, VNL_ArcYZUVW)
VNL_OLD(VNL_arc_zxuvw, VNL_ArcZXUVW)
VNL_OLD(VNL_circle_xy, VNL_CircleXY)
VNL_OLD(VNL_circle_yz, VNL_CircleYZ)
VNL_OLD(VNL_circle_zx, VNL_CircleZX)
VNL_OLD(VNL_circle_xyuvw, VNL_CircleXYUVW)
VNL_OLD(VNL_circle_yzuvw, VNL_CircleYZUVW)
VNL_OLD(VNL_circle_zxuvw, VNL_CircleZXUVW)
