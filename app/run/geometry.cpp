#include "run/geometry.h"

#include <cmath>
#include <numbers>

#include "run/units.h"

namespace tervane {

namespace {

// 32-bit steps that report overflow instead of wrapping.
struct Checked {
  bool overflow = false;
  int32_t sub(int32_t a, int32_t b) {
    int32_t r = 0;
    overflow |= __builtin_sub_overflow(a, b, &r);
    return r;
  }
  int32_t add(int32_t a, int32_t b) {
    int32_t r = 0;
    overflow |= __builtin_add_overflow(a, b, &r);
    return r;
  }
  int32_t mul(int32_t a, int32_t b) {
    int32_t r = 0;
    overflow |= __builtin_mul_overflow(a, b, &r);
    return r;
  }
  int32_t dot(IntPoint a, IntPoint b) { return add(mul(a.x, b.x), mul(a.y, b.y)); }
  int32_t toInt(double v) {
    if (!(v >= -2147483648.0 && v < 2147483648.0)) {
      overflow = true;
      return 0;
    }
    return static_cast<int32_t>(v);
  }
};

// An angle brought into [0, 2 pi).
double normalised(double a) {
  const double turn = 2 * std::numbers::pi;
  a = std::fmod(a, turn);
  return a < 0 ? a + turn : a;
}

}  // namespace

std::variant<IntPoint, ArcFailure> arcCentre(IntPoint p0, IntPoint p1, IntPoint p2) {
  Checked c;
  const IntPoint u{c.sub(p1.x, p0.x), c.sub(p1.y, p0.y)};
  const IntPoint w{c.sub(p2.x, p0.x), c.sub(p2.y, p0.y)};
  const int32_t cross = c.sub(c.mul(u.x, w.y), c.mul(u.y, w.x));
  if (c.overflow) return ArcFailure::Overflow;
  if (cross == 0) return ArcFailure::Collinear;
  const int32_t uu = c.dot(u, u), ww = c.dot(w, w), uw = c.dot(u, w);
  if (c.overflow) return ArcFailure::Overflow;
  const double d = 2.0 * (static_cast<double>(uu) * ww - static_cast<double>(uw) * uw);
  if (d == 0)
    return ArcFailure::Overflow;  // cannot happen with cross != 0; fail rather than divide
  const double s = static_cast<double>(ww) * (static_cast<double>(uu) - uw) / d;
  const double t = static_cast<double>(uu) * (static_cast<double>(ww) - uw) / d;
  const int32_t bx = c.toInt(roundHalfEven(s * u.x + t * w.x));
  const int32_t by = c.toInt(roundHalfEven(s * u.y + t * w.y));
  const IntPoint centre{c.add(p0.x, bx), c.add(p0.y, by)};
  if (c.overflow) return ArcFailure::Overflow;
  return centre;
}

ArcSweep arcThrough(double cx, double cy, IntPoint p0, IntPoint p1, IntPoint p2) {
  const double a0 = std::atan2(p0.y - cy, p0.x - cx);
  const double a1 = std::atan2(p1.y - cy, p1.x - cx);
  const double a2 = std::atan2(p2.y - cy, p2.x - cx);
  // Counter-clockwise from p0: if p1 comes before p2 the arc runs that way,
  // otherwise it runs clockwise through the rest of the circle.
  const double toVia = normalised(a1 - a0);
  const double toEnd = normalised(a2 - a0);
  if (toEnd == 0) return {a0, 0};
  if (toVia <= toEnd) return {a0, toEnd};
  return {a0, toEnd - 2 * std::numbers::pi};
}

}  // namespace tervane
