// The arc step through the cycle step: full turns, half circles, helices,
// validation when the arc is reached, and randomised arcs in every plane.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <numbers>
#include <random>
#include <vector>

#include "planner/arc_geometry.h"
#include "planner/cycle_step.h"
#include "step_harness.h"

namespace vnl::planner {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kPpu = 1000;               // pulses per unit on every axis
const double kTol = std::sqrt(3.0) / kPpu;  // one-pulse diagonal step

using Env = testing::FakeEnv;  // a PulseQueue of 3 blocks drained one per period

// One period as the test sees it: the path position after the step, the
// swept angle, and the pulses handed out so far.
struct Sample {
  std::array<double, kAxes> pos;
  double theta;
  std::array<int32_t, kAxes> out;
  std::array<int32_t, kAxes> cmd;  // pulses commanded up to this step
};

// The harness's group: 1 ms, kPpu pulses per unit, 10 units/s per axis.
class ArcStepTest : public ::testing::Test, protected testing::GroupHarness {
 protected:
  MotionCommand arc(std::array<double, kAxes> target, Vec3 centre, int32_t dir, uint32_t plane,
                    double feed = 2, Vec3 reference = {}) {
    MotionCommand c{};
    c.code = code::kArc;
    c.speed = feed;
    c.index = nextIndex++;
    c.coordMode = kCoordAbsolute;
    for (int i = 0; i < kAxes; ++i)
      c.target[i] = target[static_cast<size_t>(i)];
    for (size_t i = 0; i < 3; ++i) {
      c.centre[i] = centre[i];
      c.reference[i] = reference[i];
    }
    c.direction = dir;
    c.plane = plane;
    return c;
  }
  void put(const MotionCommand& c) {
    ASSERT_TRUE(queue.put(c));
    shared.startFlag.store(kRaised);
  }
  // Runs until idle, sampling every period in which the arc was current.
  std::vector<Sample> run(int limit = 200000) {
    std::vector<Sample> s;
    int n = 0;
    do {
      cycleStep(g, shared, queue, env);
      env.output();
      if (g.movedLast) {
        Sample x{};
        for (int i = 0; i < kAxes; ++i) {
          x.pos[static_cast<size_t>(i)] = g.ctx.pos[i];
          x.out[static_cast<size_t>(i)] = env.out[i];
          x.cmd[static_cast<size_t>(i)] = g.ctx.cmdPulse[i];
        }
        x.theta = g.ctx.arc.theta;
        s.push_back(x);
      }
      ++n;
    } while (n < limit &&
             !(shared.state.load() == 1 && shared.drained.load() == kRaised && env.queue.empty()));
    EXPECT_LT(n, limit);
    return s;
  }
};

double dist(const std::array<double, kAxes>& p, const Vec3& c, int n = 3) {
  double s = 0;
  for (int i = 0; i < n; ++i)
    s += (p[static_cast<size_t>(i)] - c[static_cast<size_t>(i)]) *
         (p[static_cast<size_t>(i)] - c[static_cast<size_t>(i)]);
  return std::sqrt(s);
}

TEST_F(ArcStepTest, FullCircleReturnsToItsStartAfterTwoPiWithUvwOnTargetInTheSameStep) {
  // From the origin about (1, 0): counter-clockwise about +Z first heads to -Y.
  put(arc({0, 0, 0, 2, -1, 0.5}, {1, 0, 0}, 1, plane::kXY));
  const std::vector<Sample> s = run();
  ASSERT_GT(s.size(), 100u);
  EXPECT_DOUBLE_EQ(g.ctx.arc.g.totalAngle, 2 * kPi);
  const Sample& last = s.back();
  const Sample& before = s[s.size() - 2];
  EXPECT_EQ(last.pos, (std::array<double, kAxes>{0, 0, 0, 2, -1, 0.5}));
  // The last profile step lies on the end angle up to rounding, and U, V, W
  // are not yet on their targets before the finishing step.
  EXPECT_NEAR(before.theta, 2 * kPi, 1e-9);
  for (int i = 0; i < kAxes; ++i)
    EXPECT_EQ(env.out[i], (std::array<int32_t, kAxes>{0, 0, 0, 2000, -1000, 500})[size_t(i)]);
  bool sawNegativeY = false;
  for (size_t k = 0; k + 1 < s.size(); ++k) {
    const Sample& x = s[k];
    EXPECT_NEAR(dist(x.pos, {1, 0, 0}), 1.0, 1e-9);
    // Helical: U, V, W linear in the swept angle.
    EXPECT_NEAR(x.pos[3], 2.0 * x.theta / (2 * kPi), 1e-9) << x.theta;
    EXPECT_NEAR(x.pos[4], -1.0 * x.theta / (2 * kPi), 1e-9);
    if (x.pos[1] != 0 && !sawNegativeY) {
      EXPECT_LT(x.pos[1], 0);
      sawNegativeY = true;
    }
  }
  EXPECT_EQ(shared.error.load(), 0);
  EXPECT_EQ(shared.readInfo().kind, kind::kArcCcw);
}

TEST_F(ArcStepTest, HalfCircleTurnsInTheGivenSenseAboutThePlaneNormal) {
  for (int32_t dir : {0, 1}) {
    SCOPED_TRACE(dir);
    queue.attach(storage.get());
    reset();
    env = Env{};
    // Y-Z plane (normal +X): from the origin to (Y 2, Z 0) about (Y 1, Z 0).
    // Counter-clockwise about +X takes Y toward Z: from angle pi about the
    // centre, increasing, the point passes Z < 0; clockwise passes Z > 0.
    put(arc({0, 2, 0, 0, 0, 0}, {0, 1, 0}, dir, plane::kYZ));
    const std::vector<Sample> s = run();
    EXPECT_NEAR(g.ctx.arc.g.totalAngle, kPi, 1e-12);
    const Sample& mid = s[s.size() / 2];
    if (dir == 1)
      EXPECT_LT(mid.pos[2], -0.5);
    else
      EXPECT_GT(mid.pos[2], 0.5);
    EXPECT_EQ(mid.pos[0], 0.0);
    EXPECT_EQ(env.out[1], 2000);
    EXPECT_EQ(env.out[2], 0);
    EXPECT_EQ(shared.readInfo().kind, dir == 1 ? kind::kArcCcw : kind::kArcCw);
  }
}

TEST_F(ArcStepTest, ArcOffItsCircleIsDroppedWithTheArcErrorWhenReached) {
  // Off by two pulse diagonals: queued without complaint, dropped at its start.
  put(arc({2 + 2 * kTol, 0, 0, 0, 0, 0}, {1, 0, 0}, 1, plane::kXY));
  MotionCommand next = arc({0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 0);
  next.code = code::kLine;
  next.target[2] = 1;
  put(next);
  for (int k = 0; k < 100; ++k) {
    cycleStep(g, shared, queue, env);
    env.output();
    EXPECT_FALSE(g.movedLast);
  }
  EXPECT_EQ(shared.error.load(), error::kArc);
  EXPECT_EQ(env.out[0], 0);
  EXPECT_EQ(queue.count(), 1u);  // the line waits until the error is cleared
  shared.errorAck.store(kRaised);
  run();
  EXPECT_EQ(shared.error.load(), 0);
  EXPECT_EQ(env.out[0], 0);
  EXPECT_EQ(env.out[2], 1000);
}

TEST_F(ArcStepTest, ArcOffByLessThanAPulseDiagonalRunsAndEndsOnItsTarget) {
  put(arc({2 + 0.5 * kTol, 0, 0, 0, 0, 0}, {1, 0, 0}, 0, plane::kXY));
  run();
  EXPECT_EQ(shared.error.load(), 0);
  EXPECT_EQ(env.out[0], 2000);
  EXPECT_EQ(env.out[1], 0);
}

TEST_F(ArcStepTest, SpaceArcBackOnItsStartTurnsInThePlaneOfItsReferencePoint) {
  // End on the start leaves the chord no normal; the turn lies in the plane
  // through the reference point and stays on its circle.
  const Vec3 c{0.5, 0.5, 0.5 * std::sqrt(2.0)};
  put(arc({0, 0, 0, 0, 0, 0}, c, 1, plane::kSpace, 2, {1, 1, std::sqrt(2.0)}));
  const std::vector<Sample> s = run();
  ASSERT_FALSE(s.empty());
  EXPECT_DOUBLE_EQ(g.ctx.arc.g.totalAngle, 2 * kPi);
  const Vec3 n = cross(Vec3{1, 1, std::sqrt(2.0)}, g.ctx.arc.g.toCentre);
  for (const Sample& x : s) {
    EXPECT_NEAR(dist(x.pos, c), 1.0, 1e-9);
    const Vec3 p{x.pos[0], x.pos[1], x.pos[2]};
    EXPECT_NEAR(dot(p, n), 0.0, 1e-9);
  }
  EXPECT_EQ(env.out[0], 0);
  EXPECT_EQ(env.out[1], 0);
  EXPECT_EQ(env.out[2], 0);
}

int32_t pulsesOf(double units) {
  return static_cast<int32_t>(std::lround(units * kPpu));
}

TEST_F(ArcStepTest, RandomArcsCirclesAndHelicesEndOnTargetAndStayWithinAPulseDiagonal) {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> unit(-1, 1), radius(0.05, 0.6), angle(0, 2 * kPi),
      sweep(0.2, 2 * kPi - 0.2);
  std::array<double, kAxes> at{};
  const uint32_t planes[] = {plane::kXY, plane::kYZ, plane::kZX, plane::kSpace};
  for (int k = 0; k < 40; ++k) {
    SCOPED_TRACE(k);
    const uint32_t pl = planes[k % 4];
    const int32_t dir = static_cast<int32_t>(rng() % 2);
    const bool full = k % 5 == 0;
    const double sw = full ? 2 * kPi : sweep(rng);
    // In-plane axes (a, b) with a x b along the plane's normal axis.
    Vec3 ea{}, eb{};
    if (pl == plane::kXY) ea = {1, 0, 0}, eb = {0, 1, 0};
    if (pl == plane::kYZ) ea = {0, 1, 0}, eb = {0, 0, 1};
    if (pl == plane::kZX) ea = {0, 0, 1}, eb = {1, 0, 0};
    if (pl == plane::kSpace) {
      Vec3 n{unit(rng), unit(rng), unit(rng)};
      n = scale(n, 1 / norm(n));
      ea = cross(n, Vec3{0.3, -0.5, 0.8});
      ea = scale(ea, 1 / norm(ea));
      eb = cross(n, ea);
    }
    const double r = radius(rng), a0 = angle(rng);
    const Vec3 s{at[0], at[1], at[2]};
    const Vec3 c = sub(s, add(scale(ea, r * std::cos(a0)), scale(eb, r * std::sin(a0))));
    auto onCircle = [&](double a) {
      return add(c, add(scale(ea, r * std::cos(a)), scale(eb, r * std::sin(a))));
    };
    const double sense = (pl == plane::kSpace || dir == 1) ? 1.0 : -1.0;
    // Targets on whole pulses: off the circle by less than a pulse diagonal.
    auto grid = [](double v) { return std::round(v * kPpu) / kPpu; };
    const Vec3 e = full ? s : onCircle(a0 + sense * sw);
    std::array<double, kAxes> target{grid(e[0]),
                                     grid(e[1]),
                                     grid(e[2]),
                                     grid(at[3] + unit(rng)),
                                     grid(at[4] + unit(rng)),
                                     grid(at[5] + unit(rng))};
    MotionCommand m;
    if (pl == plane::kSpace) {
      const Vec3 ref = onCircle(a0 + sw / 3);
      m = arc(target, c, spaceArcDirection(s, ref, e, c, kTol), pl, 1.5, ref);
    } else {
      m = arc(target, c, dir, pl, 1.5);
    }
    if (full) {
      for (int i = 0; i < 3; ++i)
        m.target[i] = at[static_cast<size_t>(i)];
    }
    put(m);
    const std::vector<Sample> samples = run();
    ASSERT_EQ(shared.error.load(), 0);
    EXPECT_NEAR(g.ctx.arc.g.totalAngle, sw, full ? 0 : 5e-2);
    ASSERT_FALSE(samples.empty());
    for (size_t j = 0; j + 1 < samples.size(); ++j) {
      // The pulses of each step (what the card is given) stay near the circle.
      const Sample& x = samples[j];
      std::array<double, kAxes> p{};
      for (size_t i = 0; i < 3; ++i)
        p[i] = x.cmd[i] / kPpu;
      EXPECT_LE(std::fabs(dist(p, c) - r), kTol) << x.theta;
      // In the intended sense: the point at the swept angle of the circle. An
      // arc in space takes its plane from the chord to the end point on the
      // pulse grid, so it may tilt by that rounding.
      EXPECT_NEAR(dist(x.pos, onCircle(a0 + sense * x.theta)), 0.0,
                  pl == plane::kSpace ? kTol : 1e-9)
          << x.theta;
    }
    for (int i = 0; i < kAxes; ++i) {
      EXPECT_EQ(env.out[i], pulsesOf(m.target[i])) << "axis " << i;
      at[static_cast<size_t>(i)] = m.target[i];
    }
  }
}

}  // namespace
}  // namespace vnl::planner
