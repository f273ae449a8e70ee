#include "planner/blend_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace vnl::planner;

TEST(CornerBlend, LeavesAtCruiseSpeedAndArrivesOnTheNextLine) {
  // Current line along +X cruising at 2 units/ms... the rest of it, a = -10,
  // covered at -a / Tb. Next line along +Y: 100 units in T = 1000 ms.
  const double a = -10.0, b = 100.0, tb = 10.0, T = 1000.0;
  EXPECT_DOUBLE_EQ(cornerBlendOffset(a, b, tb, T, 0.0), 0.0);
  // End: the corner (start - a) plus Tb / T of the next displacement.
  EXPECT_NEAR(cornerBlendOffset(a, 0.0, tb, T, 1.0), -a, 1e-12);
  EXPECT_NEAR(cornerBlendOffset(0.0, b, tb, T, 1.0), tb * b / T, 1e-12);
  // Speeds (d/dt = d/dh / (2 Tb)) at both ends.
  const double dh = 1e-7;
  const double v0 = (cornerBlendOffset(a, 0.0, tb, T, dh) - 0.0) / dh / (2 * tb);
  EXPECT_NEAR(v0, -a / tb, 1e-5);
  const double v1 =
      (cornerBlendOffset(0.0, b, tb, T, 1.0) - cornerBlendOffset(0.0, b, tb, T, 1.0 - dh)) / dh /
      (2 * tb);
  EXPECT_NEAR(v1, b / T, 1e-5);
  // Along the current axis the speed falls monotonically and never reverses.
  double prev = 0.0;
  for (int k = 1; k <= 100; ++k) {
    const double p = cornerBlendOffset(a, 0.0, tb, T, k / 100.0);
    EXPECT_GE(p, prev - 1e-12);
    prev = p;
  }
}

TEST(BezierBlend, EndsOnItsControlPointsWithTheirTangents) {
  const Axes6 q0{0, 0, 0, 0, 0, 0}, ahead{9, 0, 0, 3, 0, 0};
  Axes6 q3, q2;
  nextLineEnds({9, 0, 0, 3, 0, 0}, {0, 90, 0, 0, 6, 0}, 0.05, &q3, &q2);
  EXPECT_DOUBLE_EQ(q3[1], 4.5);
  EXPECT_DOUBLE_EQ(q2[1], 1.5);  // two thirds of the way back to the corner
  const BezierBlend b = makeBezierBlend(q0, ahead, q2, q3);
  EXPECT_DOUBLE_EQ(b.q1[0], 6.0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_DOUBLE_EQ(b.at(0)[i], q0[i]);
    EXPECT_NEAR(b.at(1)[i], q3[i], 1e-12);
  }
  // Leaves along +X, arrives along +Y: the corner is cut inside.
  const Axes6 mid = b.at(0.5);
  EXPECT_LT(mid[0], 9.0);
  EXPECT_GT(mid[1], 0.0);
}

TEST(BezierBlend, IntoAnArcEndsOnTheArcAlongItsTangent) {
  ArcGeometry g;
  ASSERT_EQ(
      planArc({10, 0, 0, 0, 0, 0}, {0, 10, 0, 0, 0, 0}, {0, 0, 0}, 1, kPlaneXY, {}, 3, 1e-3, &g),
      ArcPlanError::None);
  Axes6 q3, q2;
  nextArcEnds(g, {0, 0, 0}, 0.1, &q3, &q2);
  const double th = 0.1 * std::numbers::pi / 2;
  EXPECT_NEAR(q3[0], 10 * std::cos(th), 1e-12);
  EXPECT_NEAR(q3[1], 10 * std::sin(th), 1e-12);
  // Q3 - Q2 points along the arc's direction of travel at Q3.
  const Vec3 t = arcTangent(g, th);
  const double len = 2.0 / 3.0 * 0.1 * g.length;
  EXPECT_NEAR(q3[0] - q2[0], len * t[0], 1e-12);
  EXPECT_NEAR(q3[1] - q2[1], len * t[1], 1e-12);

  const Axes6 ahead = aheadOnArc({0, 0, 0, 0, 0, 0}, {1, 0, 0}, 3.0, 30.0, {6, 0, 0});
  EXPECT_DOUBLE_EQ(ahead[0], 3.0);
  EXPECT_DOUBLE_EQ(ahead[3], 0.6);
}
