#include "planner/arc_geometry.h"
#include "sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

using namespace vnl::planner;

namespace {

constexpr double kPi = std::numbers::pi;

double dist(const Vec3& a, const Vec3& b) {
  return norm(sub(a, b));
}
Vec3 xyzOf(const Axes6& a) {
  return {a[0], a[1], a[2]};
}

}  // namespace

TEST(ThreePointCentre, FindsTheCircleAndTheTurnOfThePoints) {
  Vec3 turn;
  auto c = threePointCentre({1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, &turn);
  ASSERT_TRUE(c);
  EXPECT_NEAR(dist(*c, {0, 0, 0}), 0.0, 1e-12);
  EXPECT_GT(turn[2], 0.0);  // counter-clockwise about +Z

  c = threePointCentre({1, 0, 0}, {0, -1, 0}, {-1, 0, 0}, &turn);
  ASSERT_TRUE(c);
  EXPECT_LT(turn[2], 0.0);

  // Off the origin, in space.
  c = threePointCentre({3, 2, 5}, {2, 2 + std::sqrt(0.5), 5 + std::sqrt(0.5)}, {1, 2, 5});
  ASSERT_TRUE(c);
  EXPECT_NEAR((*c)[0], 2.0, 1e-9);
  EXPECT_NEAR((*c)[1], 2.0, 1e-9);
  EXPECT_NEAR((*c)[2], 5.0, 1e-9);
}

TEST(ThreePointCentre, CollinearPointsHaveNoCentre) {
  EXPECT_FALSE(threePointCentre({0, 0, 0}, {1, 1, 1}, {2, 2, 2}));
  EXPECT_FALSE(threePointCentre({0, 0, 0}, {1, 0, 0}, {1, 0, 0}));
  EXPECT_FALSE(threePointCentre({0, 0, 0}, {0, 0, 0}, {0, 0, 0}));
}

TEST(ArcValidation, AcceptsWithinOnePulseDiagonalAndRejectsBeyond) {
  const double e = arcTolerance(1000, 1000, 1000);  // ~0.00173
  EXPECT_NEAR(e, std::sqrt(3.0) / 1000, 1e-15);
  const Vec3 c{0, 0, 0};
  EXPECT_TRUE(arcIsValid({10, 0, 0}, {0, 10 + 0.9 * e, 0}, c, 3, e));
  EXPECT_FALSE(arcIsValid({10, 0, 0}, {0, 10 + 1.1 * e, 0}, c, 3, e));
  EXPECT_FALSE(arcIsValid({0.5 * e, 0, 0}, {0, 0.5 * e, 0}, c, 3, e));  // radius below a pulse
  // A two-axis group ignores Z.
  EXPECT_TRUE(arcIsValid({10, 0, 3}, {0, 10, -7}, c, 2, e));
}

TEST(ArcPlanning, FullCircleReturnsToItsStartWithUvwOnTargetAfterTwoPi) {
  const Axes6 s{10, 0, 0, 0, 0, 0};
  const Axes6 end{10, 0, 0, 6, -3, 1.5};  // a circle with U, V, W moving
  ArcGeometry g;
  ASSERT_EQ(planArc(s, end, {0, 0, 0}, 1, kPlaneXY, {}, 3, 1e-3, &g), ArcPlanError::None);
  EXPECT_DOUBLE_EQ(g.totalAngle, 2 * kPi);
  EXPECT_NEAR(g.length, 2 * kPi * 10, 1e-12);
  const Axes6 p = arcPoint(g, g.totalAngle);
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_NEAR(p[i], end[i], 1e-9) << i;
  // Counter-clockwise about +Z from (10, 0): a quarter turn reaches (0, 10).
  const Axes6 q = arcPoint(g, kPi / 2);
  EXPECT_NEAR(q[0], 0.0, 1e-9);
  EXPECT_NEAR(q[1], 10.0, 1e-9);
  EXPECT_NEAR(q[3], 1.5, 1e-9);  // U moves linearly in the angle
}

TEST(ArcPlanning, HalfCircleTurnsInTheGivenSenseAboutThePlaneAxis) {
  const Axes6 s{0, 0, 0, 0, 0, 0};
  const Axes6 end{0, 0, 0, 0, 0, 0};
  struct Case {
    std::uint16_t plane;
    Vec3 centre;
    Axes6 end;
    int sense;
    std::size_t axis;  // which axis is positive a quarter turn in
    double expected;
  };
  // Start at the origin, centre one unit along the first plane axis, end
  // opposite. Counter-clockwise about +Z from (0,0) around (1,0): through (1,-1).
  const Case cases[] = {
      {kPlaneXY, {1, 0, 0}, {2, 0, 0, 0, 0, 0}, 1, 1, -1.0},
      {kPlaneXY, {1, 0, 0}, {2, 0, 0, 0, 0, 0}, 0, 1, +1.0},
      {kPlaneYZ, {0, 1, 0}, {0, 2, 0, 0, 0, 0}, 1, 2, -1.0},
      {kPlaneZX, {0, 0, 1}, {0, 0, 2, 0, 0, 0}, 1, 0, -1.0},
  };
  (void)end;
  for (const auto& c : cases) {
    ArcGeometry g;
    ASSERT_EQ(planArc(s, c.end, c.centre, c.sense, c.plane, {}, 3, 1e-3, &g), ArcPlanError::None);
    EXPECT_NEAR(g.totalAngle, kPi, 1e-9) << c.plane;
    const Axes6 q = arcPoint(g, kPi / 2);
    EXPECT_NEAR(q[c.axis], c.expected, 1e-9) << c.plane << " sense " << c.sense;
    const Axes6 p = arcPoint(g, g.totalAngle);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_NEAR(p[i], c.end[i], 1e-9);
  }
}

TEST(ArcPlanning, ShortAndLongWayBetweenTheSamePoints) {
  const Axes6 s{10, 0, 0, 0, 0, 0};
  const Axes6 e{0, 10, 0, 0, 0, 0};
  ArcGeometry ccw, cw;
  ASSERT_EQ(planArc(s, e, {0, 0, 0}, 1, kPlaneXY, {}, 3, 1e-3, &ccw), ArcPlanError::None);
  ASSERT_EQ(planArc(s, e, {0, 0, 0}, 0, kPlaneXY, {}, 3, 1e-3, &cw), ArcPlanError::None);
  EXPECT_NEAR(ccw.totalAngle, kPi / 2, 1e-12);
  EXPECT_NEAR(cw.totalAngle, 3 * kPi / 2, 1e-12);
  EXPECT_NEAR(arcPoint(cw, kPi / 2)[1], -10.0, 1e-9);
}

TEST(ArcPlanning, SpaceArcThroughItsReferenceAndItsDegenerateHalfCircle) {
  // A circle of radius 5 about (1, 2, 3) in a tilted plane.
  const Vec3 c{1, 2, 3};
  const Vec3 u = {1 / std::sqrt(2.0), 1 / std::sqrt(2.0), 0};
  const Vec3 v = {0, 0, 1};
  auto at = [&](double a) {
    return add(c, add(scale(u, 5 * std::cos(a)), scale(v, 5 * std::sin(a))));
  };
  const double tol = arcTolerance(1000, 1000, 1000);
  for (double endAngle : {0.7, 2.0, kPi, 4.0, 6.0}) {
    for (double refFraction : {0.3, 0.5, 0.8}) {
      const Vec3 a = at(0), b = at(endAngle * refFraction), e = at(endAngle);
      const auto centre = threePointCentre(a, b, e);
      ASSERT_TRUE(centre);
      const std::int32_t dir = spaceArcDirection(a, b, e, *centre, tol);
      ArcGeometry g;
      ASSERT_EQ(planArc({a[0], a[1], a[2], 0, 0, 0}, {e[0], e[1], e[2], 0, 0, 0}, *centre, dir,
                        kPlaneSpace, b, 3, tol, &g),
                ArcPlanError::None);
      EXPECT_NEAR(g.totalAngle, endAngle, 1e-7) << endAngle << " " << refFraction;
      EXPECT_NEAR(dist(xyzOf(arcPoint(g, g.totalAngle)), e), 0.0, 1e-7);
      EXPECT_NEAR(dist(xyzOf(arcPoint(g, endAngle * refFraction)), b), 0.0, 1e-7);
    }
  }
}

TEST(ArcPlanning, RandomArcsEndOnTargetAndStayOnTheirCircle) {
  std::mt19937_64 rng(test::sweepSeed(20261208));
  std::uniform_real_distribution<double> coord(-500, 500), radius(1, 300), angle(0, 2 * kPi),
      sweepOf(0.01, 2 * kPi - 0.01);
  std::uniform_int_distribution<int> planePick(0, 2), sense(0, 1);
  const std::uint16_t planes[] = {kPlaneXY, kPlaneYZ, kPlaneZX};
  const auto count = static_cast<int>(test::sweepCount(5000));
  for (int n = 0; n < count; ++n) {
    const std::uint16_t plane = planes[planePick(rng)];
    // Plane axes (i, j) with the normal k: XY (0,1), YZ (1,2), ZX (2,0).
    const std::size_t i = plane == kPlaneXY ? 0 : plane == kPlaneYZ ? 1 : 2;
    const std::size_t j = (i + 1) % 3;
    const Vec3 centre{coord(rng), coord(rng), coord(rng)};
    const double r = radius(rng), a0 = angle(rng), sweep = sweepOf(rng);
    const int dir = sense(rng);
    const double a1 = a0 + (dir == 1 ? sweep : -sweep);
    Axes6 s{}, e{};
    for (std::size_t k = 0; k < 3; ++k)
      s[k] = e[k] = centre[k];
    s[i] += r * std::cos(a0);
    s[j] += r * std::sin(a0);
    e[i] += r * std::cos(a1);
    e[j] += r * std::sin(a1);
    for (std::size_t k = 3; k < 6; ++k)
      e[k] = coord(rng);
    ArcGeometry g;
    ASSERT_EQ(planArc(s, e, centre, dir, plane, {}, 3, 1e-3, &g), ArcPlanError::None);
    EXPECT_NEAR(g.totalAngle, sweep, 1e-9) << n;
    const Axes6 p = arcPoint(g, g.totalAngle);
    for (std::size_t k = 0; k < 6; ++k)
      ASSERT_NEAR(p[k], e[k], 1e-6) << n << " axis " << k;
    for (int step = 1; step < 8; ++step) {
      const Axes6 m = arcPoint(g, g.totalAngle * step / 8);
      ASSERT_NEAR(dist(xyzOf(m), centre), r, 1e-8 * (1 + r)) << n;
    }
  }
}

TEST(ArcPlanning, TangentFollowsTheDirectionOfTravel) {
  ArcGeometry g;
  ASSERT_EQ(
      planArc({10, 0, 0, 0, 0, 0}, {10, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, kPlaneXY, {}, 3, 1e-3, &g),
      ArcPlanError::None);
  const double h = 1e-6;
  for (double th : {0.0, 1.0, 3.0}) {
    const Axes6 a = arcPoint(g, th), b = arcPoint(g, th + h);
    const Vec3 t = arcTangent(g, th);
    EXPECT_NEAR((b[0] - a[0]) / (10 * h), t[0], 1e-5);
    EXPECT_NEAR((b[1] - a[1]) / (10 * h), t[1], 1e-5);
  }
  EXPECT_NEAR(arcTangent(g, 0)[1], -1.0, 1e-12);  // clockwise from (10, 0) heads to -Y
}
