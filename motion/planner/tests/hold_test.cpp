// Hold, continue and abort while held through the whole cycle step: where the
// hold deceleration stops, that the path stays on its line or circle, and that
// a held command resumed or dropped never loses or invents a pulse.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "planner/blend_step.h"
#include "step_harness.h"

namespace vnl::planner {
namespace {

using testing::GroupHarness;

class HoldTest : public ::testing::Test, public GroupHarness {
 protected:
  void setRamps(int accSteps, int decSteps) {
    shared.accSteps.store(accSteps);
    shared.decSteps.store(decSteps);
    reset();
  }
  MotionCommand arcCmd(std::initializer_list<double> target, Vec3 centre, int32_t dir) {
    MotionCommand c = command(code::kArc, 0, target);
    c.speed = 2;
    for (int i = 0; i < 3; ++i)
      c.centre[i] = centre[static_cast<size_t>(i)];
    c.direction = dir;
    c.plane = plane::kXY;
    return c;
  }
  void expectEveryPulseAccountedFor() {
    const auto issued = env.issued();
    for (int i = 0; i < kAxes; ++i) {
      EXPECT_EQ(issued[static_cast<size_t>(i)], env.out[i]) << "axis " << i;
      EXPECT_EQ(g.ctx.cmdPulse[i], env.out[i]) << "axis " << i;
    }
  }
};

TEST_F(HoldTest, HoldDuringAccelerationStopsWithinT3FromTheSpeedReached) {
  setRamps(400, 100);  // 400 ms acceleration, 100 ms deceleration
  line({10, 5}, 5);
  for (int i = 0; i < 120; ++i)
    cycle();
  ASSERT_EQ(g.ctx.profile.state, SegmentState::Accel);
  const double v = g.ctx.pathRate;  // along the X-Y length
  ASSERT_GT(v, 0.2);
  ASSERT_LT(v, 2.5);  // well below the feed speed
  const double x0 = g.ctx.pos[0];
  hold();
  int cycles = 0;
  while (state() != GroupMotionState::Held && cycles < 1000) {
    cycle();
    ++cycles;
    ASSERT_NEAR(g.ctx.pos[1], 0.5 * g.ctx.pos[0], 1e-12) << "off the line";
  }
  EXPECT_EQ(cycles, 100);
  const double along = (g.ctx.pos[0] - x0) * std::sqrt(1.25);
  EXPECT_NEAR(along, 100 * v * 0.0005, 1e-9);
  EXPECT_LT(along, 100 * 5 * 0.0005 * 0.5);
  EXPECT_EQ(shared.ready.load(), kRaised);
  EXPECT_FALSE(g.ctx.readyForNext);
  // Standing: nothing more is issued while held.
  for (int i = 0; i < 20; ++i)
    cycle();
  const int32_t standing = env.out[0];
  for (int i = 0; i < 20; ++i)
    cycle();
  EXPECT_EQ(env.out[0], standing);
  EXPECT_EQ(shared.pathSpeed.load(), 0.0);

  resume();
  runUntilIdle();
  EXPECT_EQ(env.out[0], 10000);
  EXPECT_EQ(env.out[1], 5000);
  EXPECT_TRUE(env.direct.empty());
  expectEveryPulseAccountedFor();
}

TEST_F(HoldTest, HoldDuringCruiseRunsThePlannedFinalDeceleration) {
  line({10}, 5);
  for (int i = 0; i < 500; ++i)
    cycle();
  ASSERT_EQ(g.ctx.profile.state, SegmentState::Cruise);
  const double x0 = g.ctx.pos[0];
  const double S3 = g.ctx.profile.S3;
  hold();
  EXPECT_EQ(runUntilHeld(), 20);
  EXPECT_NEAR(g.ctx.pos[0] - x0, S3, 1e-12);
  EXPECT_FALSE(g.ctx.readyForNext);
  // The last step of the deceleration is slow: it ends at rest.
  EXPECT_LT(std::fabs(g.ctx.axisSpeed[0]), 0.05);
  for (int i = 0; i < 5; ++i)
    cycle();
  resume();
  runUntilIdle();
  EXPECT_EQ(env.out[0], 10000);
  expectEveryPulseAccountedFor();
}

TEST_F(HoldTest, HoldDuringASpeedChangeDeceleratesOverTheRestOfThatSegment) {
  setRamps(20, 200);
  line({20}, 8);
  for (int i = 0; i < 600; ++i)
    cycle();
  shared.overSpeed.store(25);  // down to 2 units/s: an initial deceleration
  shared.paramCode.store(param::kOverSpeed);
  shared.paramRequest.store(kRaised);
  for (int i = 0; i < 61; ++i)
    cycle();
  ASSERT_EQ(g.ctx.profile.state, SegmentState::InitialDecel);
  const double rest = rampDuration(g.ctx.profile.segT, 1) - g.ctx.profile.elapsed;
  ASSERT_GT(rest, 100);
  const double v = g.ctx.pathRate;
  const double x0 = g.ctx.pos[0];
  hold();
  const int cycles = runUntilHeld();
  EXPECT_EQ(cycles, 2 * static_cast<int>(std::ceil(rest / 2)));
  EXPECT_NEAR(g.ctx.pos[0] - x0, cycles * v * 0.0005, 1e-9);
  resume();
  runUntilIdle();
  EXPECT_EQ(env.out[0], 20000);
  expectEveryPulseAccountedFor();
}

TEST_F(HoldTest, HoldInTheFinalDecelerationCompletesTheCommand) {
  line({1}, 5);
  line({2}, 5);
  int n = 0;
  while (g.ctx.profile.state != SegmentState::FinalDecel && n++ < 10000)
    cycle();
  ASSERT_EQ(g.ctx.profile.state, SegmentState::FinalDecel);
  cycle();
  hold();
  runUntilHeld();
  EXPECT_TRUE(g.ctx.readyForNext);
  EXPECT_EQ(g.ctx.pos[0], 1.0);  // exactly on the first target
  EXPECT_EQ(g.info.index, 0);
  for (int i = 0; i < 5; ++i)
    cycle();
  EXPECT_EQ(env.out[0], 1000);
  resume();
  cycle();
  cycle();
  EXPECT_EQ(shared.readInfo().index, 1);  // the next command started
  runUntilIdle();
  EXPECT_EQ(env.out[0], 2000);
  expectEveryPulseAccountedFor();
}

TEST_F(HoldTest, HoldBetweenCommandsOrBeforeAPlanIsHeldAtOnce) {
  MotionCommand d{};
  d.code = code::kDelay;
  d.speed = 200;
  put(d);
  line({0.5}, 5);
  for (int i = 0; i < 50; ++i)
    cycle();
  hold();
  cycle();
  EXPECT_EQ(state(), GroupMotionState::Held);
  EXPECT_EQ(shared.error.load(), 0);
  for (int i = 0; i < 300; ++i)
    cycle();
  EXPECT_EQ(env.out[0], 0);  // the line has not started
  resume();
  runUntilIdle();
  EXPECT_EQ(env.out[0], 500);
  // The delay went on counting after the continue: 200 standstill periods
  // in all, then the line's 120.
  EXPECT_EQ(env.sent.size(), 200u + 120u);
  for (size_t i = 0; i < 200; ++i)
    ASSERT_EQ(env.sent[i][0], 0) << i;
}

TEST_F(HoldTest, HeldArcStaysOnItsCircleAndEndsOnItsTarget) {
  setRamps(100, 60);
  // Three quarters of a circle of radius 1 about (1, 0), counter-clockwise.
  put(arcCmd({1, 1}, {1, 0, 0}, 1));
  const int holdsAt[] = {40, 400, 900};  // acceleration, cruise, cruise
  for (int k = 0; k < 3; ++k) {
    while (g.ctx.ready && k == 0)
      cycle();
    for (int i = 0; i < holdsAt[k] && !idleAndDrained(); ++i)
      cycle();
    ASSERT_FALSE(g.ctx.readyForNext) << k;
    hold();
    for (int c = 0; c < 1000 && state() != GroupMotionState::Held; ++c) {
      cycle();
      const double r = std::hypot(g.ctx.pos[0] - 1, g.ctx.pos[1]);
      ASSERT_NEAR(r, 1.0, 1e-9) << "hold " << k << " off the circle";
    }
    ASSERT_EQ(state(), GroupMotionState::Held);
    for (int i = 0; i < 5; ++i)
      cycle();
    resume();
  }
  for (int c = 0; c < 100000 && !idleAndDrained(); ++c) {
    cycle();
    ASSERT_NEAR(std::hypot(g.ctx.pos[0] - 1, g.ctx.pos[1]), 1.0, 1e-9);
  }
  EXPECT_EQ(env.out[0], 1000);
  EXPECT_EQ(env.out[1], 1000);
  expectEveryPulseAccountedFor();
}

TEST_F(HoldTest, HeldPointToPointStopsEveryAxisOnItsOwnAndEndsOnTarget) {
  setRamps(20, 20);
  for (int i = 0; i < kAxes; ++i) {
    shared.ptpAccSteps[i].store(100);
    shared.ptpDecSteps[i].store(i == 1 ? 40 : 100);
  }
  shared.ptpOverSpeed.store(50);
  reset();
  ptp({3, 0.2}, 100);  // 100 % at a ratio of 50 %: 5 units/s; Y arrives long before X
  for (int i = 0; i < 60; ++i)
    cycle();
  // Both axes accelerating: each stops from its own speed over its own time.
  const double vx = std::fabs(g.ctx.axisSpeed[0]);
  const double vy = std::fabs(g.ctx.axisSpeed[1]);
  const double x0 = g.ctx.pos[0], y0 = g.ctx.pos[1];
  ASSERT_GT(vy, 0);
  hold();
  EXPECT_EQ(runUntilHeld(), 100);
  EXPECT_NEAR(g.ctx.pos[0] - x0, 100 * vx * 0.0005, 1e-9);
  EXPECT_NEAR(g.ctx.pos[1] - y0, 40 * vy * 0.0005, 1e-9);
  for (int i = 0; i < 5; ++i)
    cycle();
  resume();
  for (int i = 0; i < 400; ++i)
    cycle();
  ASSERT_TRUE(g.ctx.ptp[1].arrived);
  ASSERT_FALSE(g.ctx.ptp[0].arrived);
  EXPECT_EQ(g.ctx.pos[1], 0.2);
  // X alone in its cruise, at the percent scaled once (not twice, not never).
  EXPECT_NEAR(g.ctx.axisSpeed[0], 5.0, 0.01);
  hold();
  EXPECT_EQ(runUntilHeld(), 100);
  EXPECT_EQ(g.ctx.pos[1], 0.2);
  resume();
  runUntilIdle();
  EXPECT_EQ(env.out[0], 3000);
  EXPECT_EQ(env.out[1], 200);
  EXPECT_TRUE(env.direct.empty());
  expectEveryPulseAccountedFor();
}

TEST_F(HoldTest, PointToPointHeldWhileEveryAxisFinishesItsDecelerationIsComplete) {
  ptp({0.3, 0.3}, 50);
  line({0.5}, 5);
  while (g.ctx.ptp[0].profile.state != SegmentState::FinalDecel)
    cycle();
  hold();
  runUntilHeld();
  EXPECT_TRUE(g.ctx.readyForNext);
  EXPECT_EQ(g.ctx.pos[0], 0.3);
  EXPECT_EQ(g.ctx.pos[1], 0.3);
  resume();
  runUntilIdle();
  EXPECT_EQ(env.out[0], 500);
  EXPECT_EQ(env.out[1], 300);
}

TEST_F(HoldTest, AbortWhileHeldDropsTheCommandAndTheGroupGoesIdle) {
  line({10}, 5);
  line({20}, 5);
  for (int i = 0; i < 300; ++i)
    cycle();
  hold();
  runUntilHeld();
  const double stoppedAt = g.ctx.pos[0];
  queue.clear();  // as the abort does before it asks the cycle
  abortHeld();
  cycle();
  EXPECT_EQ(state(), GroupMotionState::Running);
  EXPECT_TRUE(g.ctx.readyForNext);
  EXPECT_EQ(shared.ready.load(), kRaised);
  cycle();
  runUntilIdle(100);
  EXPECT_TRUE(idleAndDrained());
  EXPECT_TRUE(env.direct.empty());  // no correction toward the dropped target
  EXPECT_EQ(g.ctx.pos[0], stoppedAt);
  EXPECT_LT(env.out[0], 3000);
  EXPECT_EQ(shared.error.load(), 0);
  expectEveryPulseAccountedFor();
  // The next command starts from where the motion stopped.
  last[0] = 2;
  line({2}, 5);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 2000);
}

// Random lines, arcs, point-to-point moves and jogs, held at random periods
// and continued after a random standstill: the axes end on the last target
// and every pulse planned reaches them once.
// A hold that arrives anywhere around a blended corner decelerates smoothly
// (no step changes the speed by more than the ramps allow, nothing stops
// dead), and continue ends the chain on its target with every pulse counted.
class HoldDuringBlendTest : public ::testing::TestWithParam<bool> {};

TEST_P(HoldDuringBlendTest, DeceleratesSmoothlyAndContinuesToTheTarget) {
  // A corner between two lines, or a line running into a quarter circle.
  const bool arc = GetParam();
  const double end[2] = {arc ? 2.0 : 1.0, 1.0};
  auto start = [arc, end](GroupHarness& h) {
    h.put(h.command(code::kBlendOn, 0, {}));
    h.line({1, 0}, 5);
    if (!arc) {
      h.line({end[0], end[1]}, 5);
      return;
    }
    MotionCommand c = h.command(code::kArc, 5, {end[0], end[1]});
    c.centre[0] = 1;
    c.centre[1] = 1;
    c.direction = 1;
    c.plane = plane::kXY;
    h.put(c);
  };
  auto speed = [](const GroupHarness& h) {
    return std::hypot(h.g.ctx.axisSpeed[0], h.g.ctx.axisSpeed[1]);
  };
  // Where the blend runs, without a hold.
  int first = -1, last = -1;
  {
    GroupHarness h;
    start(h);
    for (int n = 0; n < 5000 && (n == 0 || !h.idleAndDrained()); ++n) {
      h.cycle();
      if (h.g.ctx.blend.awaitingFetch || blendInProgress(h.g.ctx)) {
        if (first < 0) first = n;
        last = n;
      }
    }
  }
  ASSERT_GT(first, 0) << "the corner was blended";
  for (int k = first - 2; k <= last + 2; ++k) {
    GroupHarness h;
    start(h);
    for (int n = 0; n < k; ++n)
      h.cycle();
    h.hold();
    double v = speed(h), maxChange = 0;
    int n = 0;
    for (; n < 5000 && h.state() != GroupMotionState::Held; ++n) {
      h.cycle();
      maxChange = std::max(maxChange, std::fabs(speed(h) - v));
      v = speed(h);
    }
    ASSERT_EQ(h.state(), GroupMotionState::Held) << "hold at cycle " << k;
    EXPECT_LT(maxChange, 1.0) << "hold at cycle " << k;
    EXPECT_LT(v, 1.0) << "the last step before Held, hold at cycle " << k;
    h.resume();
    h.runUntilIdle();
    EXPECT_EQ(h.env.out[0], end[0] * 1000) << "hold at cycle " << k;
    EXPECT_EQ(h.env.out[1], end[1] * 1000) << "hold at cycle " << k;
    const auto issued = h.env.issued();
    EXPECT_EQ(issued[0], end[0] * 1000);
    EXPECT_EQ(issued[1], end[1] * 1000);
  }
}

INSTANTIATE_TEST_SUITE_P(LineOrArc, HoldDuringBlendTest, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "IntoAnArc" : "IntoALine"; });

TEST_F(HoldTest, RandomHoldsNeverLoseOrInventAPulse) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> unit(0, 1);
  setRamps(30, 24);
  for (int i = 0; i < kAxes; ++i) {
    shared.ptpAccSteps[i].store(10 + static_cast<int>(rng() % 40));
    shared.ptpDecSteps[i].store(10 + static_cast<int>(rng() % 40));
    shared.ptpDecType[i].store(i % 2 == 0 ? 1 : 2);
  }
  shared.decType.store(2);
  shared.paramCode.store(param::kDecType);
  shared.paramRequest.store(kRaised);
  cycle();
  reset();
  int holds = 0, completedInHold = 0;
  int arrivedIn[64] = {};
  for (int k = 0; k < 100; ++k) {
    SCOPED_TRACE(k);
    const int kind = static_cast<int>(rng() % 4);
    double t[kAxes];
    for (int i = 0; i < kAxes; ++i)
      t[i] = last[i] + (unit(rng) - 0.5) * 1.6;
    bool onCircle = false;
    double cx = 0, cy = 0, radius = 0;
    if (kind == 0) {
      line({t[0], t[1], t[2], t[3], t[4], t[5]}, 0.5 + 3 * unit(rng));
    } else if (kind == 1) {
      put(command(code::kPtP, 10 + 60 * unit(rng), {t[0], t[1], t[2], t[3], t[4], t[5]}));
    } else if (kind == 2) {
      put(command(code::kJog, 10 + 60 * unit(rng), {t[0], t[1], t[2]}));
    } else {
      const double a = unit(rng) * 6.28, phi = 0.3 + unit(rng) * 5.5;
      radius = 0.1 + 0.3 * unit(rng);
      cx = last[0] - radius * std::cos(a);
      cy = last[1] - radius * std::sin(a);
      const double ex = cx + radius * std::cos(a + phi), ey = cy + radius * std::sin(a + phi);
      put(arcCmd({ex, ey, last[2], t[3]}, {cx, cy, last[2]}, 1));
      onCircle = true;
    }
    cycle();
    while (!g.ctx.readyForNext || !queue.empty()) {
      const int run = static_cast<int>(rng() % 300);
      for (int i = 0; i < run && !g.ctx.readyForNext; ++i)
        cycle();
      if (g.ctx.readyForNext || state() != GroupMotionState::Running) break;
      hold();
      ++holds;
      for (int c = 0; c < 10000 && state() != GroupMotionState::Held; ++c) {
        cycle();
        if (onCircle && !g.ctx.readyForNext) {
          ASSERT_NEAR(std::hypot(g.ctx.pos[0] - cx, g.ctx.pos[1] - cy), radius, 1e-9);
        }
      }
      ASSERT_EQ(state(), GroupMotionState::Held);
      if (g.ctx.readyForNext) ++completedInHold;
      ++arrivedIn[static_cast<int>(g.ctx.hold.arrivedIn) % 64];
      const int wait = static_cast<int>(rng() % 8);
      for (int i = 0; i < wait; ++i)
        cycle();
      resume();
      cycle();
    }
    runUntilIdle();
    ASSERT_EQ(shared.error.load(), 0);
    for (int i = 0; i < kAxes; ++i)
      ASSERT_LT(std::fabs(last[i] * 1000 - env.out[i]), 1.0 + 1e-9) << "axis " << i;
  }
  expectEveryPulseAccountedFor();
  EXPECT_GT(holds, 150);
  EXPECT_GT(completedInHold, 0);
  // Holds arrived in every segment of the plan.
  EXPECT_GT(arrivedIn[static_cast<int>(SegmentState::Accel)], 0);
  EXPECT_GT(arrivedIn[static_cast<int>(SegmentState::Cruise)], 0);
  EXPECT_GT(arrivedIn[static_cast<int>(SegmentState::FinalDecel)], 0);
}

}  // namespace
}  // namespace vnl::planner
