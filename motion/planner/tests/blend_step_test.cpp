#include "planner/blend_step.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "planner/cycle_step.h"
#include "planner/line.h"
#include "step_harness.h"
#include "sweep.h"

namespace vnl::planner {
namespace {

using Pos = std::array<double, kAxes>;

// Output layer that hands every block on in the pass after it was put.
using Output = testing::FakeEnv;

double dist(const Pos& a, const Pos& b) {
  double s = 0;
  for (int i = 0; i < kAxes; ++i)
    s += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(s);
}

class BlendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    queue.attach(storage.get());
    params.periodMs = 1;
    params.sysMaxSpeed = 100;
    params.axisCount = 3;
    for (auto& a : params.axis) {
      a.pulsesPerUnit = 1000;
      a.maxSpeed = 20;
    }
    resetGroup(g, params, shared);
  }
  void put(const MotionCommand& c) {
    ASSERT_TRUE(queue.put(c));
    shared.startFlag.store(kRaised);
  }
  void blending(bool on) {
    MotionCommand c{};
    c.code = on ? code::kBlendOn : code::kBlendOff;
    put(c);
  }
  static MotionCommand line(Pos target, double feed) {
    MotionCommand c{};
    c.code = code::kLine;
    c.speed = feed;
    c.coordMode = kCoordAbsolute;
    for (int i = 0; i < kAxes; ++i)
      c.target[i] = target[static_cast<std::size_t>(i)];
    return c;
  }
  // Arc in X-Y about `centre` from `from` through `sweep` radians (counter-
  // clockwise when positive); U, V, W end on `uvw`.
  static MotionCommand arc(const Pos& from, double cx, double cy, double sweep, double feed,
                           std::array<double, 3> uvw = {}) {
    MotionCommand c{};
    c.code = code::kArc;
    c.speed = feed;
    c.coordMode = kCoordAbsolute;
    c.plane = plane::kXY;
    c.direction = sweep > 0 ? 1 : 0;
    c.centre[0] = cx;
    c.centre[1] = cy;
    c.centre[2] = from[2];
    const double a0 = std::atan2(from[1] - cy, from[0] - cx);
    const double r = std::hypot(from[0] - cx, from[1] - cy);
    c.target[0] = cx + r * std::cos(a0 + sweep);
    c.target[1] = cy + r * std::sin(a0 + sweep);
    c.target[2] = from[2];
    for (int i = 0; i < 3; ++i)
      c.target[3 + i] = uvw[static_cast<std::size_t>(i)];
    return c;
  }
  static Pos targetOf(const MotionCommand& c) {
    Pos p;
    for (int i = 0; i < kAxes; ++i)
      p[static_cast<std::size_t>(i)] = c.target[i];
    return p;
  }
  // Runs every queued command until the group is idle and everything has
  // been output; records the path position of every cycle.
  void run(int limit = 2000000) {
    path.clear();
    blends = 0;
    for (int n = 0; n < limit; ++n) {
      const bool wasStarting = g.ctx.blend.awaitingFetch;
      cycleStep(g, shared, queue, env);
      if (g.ctx.blend.awaitingFetch && !wasStarting) ++blends;
      env.output();
      Pos p;
      for (int i = 0; i < kAxes; ++i)
        p[static_cast<std::size_t>(i)] = g.ctx.pos[i];
      path.push_back(p);
      if (shared.state.load() == 1 && shared.drained.load() == kRaised && env.queue.empty()) return;
    }
    FAIL() << "the group did not finish";
  }
  // Travel of each cycle, from the first cycle that moves to the last.
  std::vector<double> travel() const {
    std::vector<double> d;
    for (std::size_t k = 1; k < path.size(); ++k)
      d.push_back(dist(path[k], path[k - 1]));
    std::size_t first = 0, last = d.size();
    while (first < d.size() && d[first] == 0)
      ++first;
    while (last > first && d[last - 1] == 0)
      --last;
    return {d.begin() + static_cast<std::ptrdiff_t>(first),
            d.begin() + static_cast<std::ptrdiff_t>(last)};
  }
  void expectOnTargetInPulses(const Pos& target) {
    for (int i = 0; i < kAxes; ++i) {
      const double tp = target[static_cast<std::size_t>(i)] * 1000.0;
      const double d = tp - env.out[i];
      // Whole-pulse targets are met exactly; others to the pulse that
      // truncation keeps short of them.
      EXPECT_LT(std::fabs(d), 1.0) << "axis " << i;
      if (tp == std::round(tp)) {
        EXPECT_EQ(env.out[i], static_cast<int32_t>(tp)) << "axis " << i;
      }
      EXPECT_EQ(env.issued()[size_t(i)], env.out[i]) << "axis " << i;
      EXPECT_EQ(g.ctx.cmdPulse[i], env.out[i]) << "axis " << i;
    }
  }

  std::unique_ptr<MotionCommand[]> storage = CommandQueue::reserveStorage(1);
  CommandQueue queue;
  GroupParams params;
  GroupShared shared;
  GroupRecord g;
  Output env;
  std::vector<Pos> path;
  int blends = 0;  // blends started during the last run
};

TEST_F(BlendTest, RightAngleCornerIsCutWithoutStoppingAndTheSecondLineEndsOnTarget) {
  blending(true);
  put(line({10, 0, 0}, 5));
  put(line({10, 10, 0}, 5));
  run();
  const std::vector<double> d = travel();
  const double cruiseStep = 5 * 0.001;
  double slowest = 1e9;
  for (double s : d)
    slowest = std::min(slowest, s);
  // Only the ramps at the chain's two ends are slower than the dip at the
  // corner; the speed inside the chain stays far from 0.
  double cornerSlowest = 1e9;
  double closest = 1e9;
  for (std::size_t k = 1; k < path.size(); ++k) {
    const Pos& p = path[k];
    const double toCorner = std::hypot(p[0] - 10, p[1]);
    if (toCorner < 0.2) cornerSlowest = std::min(cornerSlowest, dist(p, path[k - 1]));
    closest = std::min(closest, toCorner);
    // Inside the corner: never past X = 10 nor below Y = 0.
    EXPECT_LE(p[0], 10 + 1e-12);
    EXPECT_GE(p[1], -1e-12);
  }
  EXPECT_GT(cornerSlowest, 0.5 * cruiseStep);
  EXPECT_LE(cornerSlowest, cruiseStep * (1 + 1e-9));
  EXPECT_GT(closest, 0.005);  // the corner itself is never reached
  EXPECT_EQ(blends, 1);
  for (std::size_t k = 0; k < d.size(); ++k)
    ASSERT_GT(d[k], 0.0) << "standstill at cycle " << k;
  expectOnTargetInPulses({10, 10, 0});
  EXPECT_EQ(env.out[0], 10000);
  EXPECT_EQ(env.out[1], 10000);
}

TEST_F(BlendTest, WithBlendingOffTheCornerIsAStop) {
  put(line({10, 0, 0}, 5));
  put(line({10, 10, 0}, 5));
  run();
  const std::vector<double> d = travel();
  bool stopped = false;
  bool reachedCorner = false;
  for (std::size_t k = 1; k < path.size(); ++k)
    if (path[k][0] == 10 && path[k][1] == 0) reachedCorner = true;
  for (double s : d)
    stopped = stopped || s == 0;
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(reachedCorner);
  expectOnTargetInPulses({10, 10, 0});
}

// The longest travel of one cycle, against the feed's step.
double longestStep(const std::vector<double>& d) {
  double m = 0;
  for (double s : d)
    m = std::max(m, s);
  return m;
}

TEST_F(BlendTest, LineIntoArcArcIntoLineAndArcIntoArcMoveContinuously) {
  blending(true);
  const double feed = 4;
  const MotionCommand l1 = line({5, 0, 0, 1, 0, 0}, feed);
  // A quarter circle that turns left at the end of the line (not tangent:
  // it starts heading 45 degrees off the line).
  const MotionCommand a1 = arc(targetOf(l1), 5 - 2, 2, std::numbers::pi / 2, feed, {2, 1, 0});
  // Then an arc the other way round about a centre on the far side.
  const Pos a1End = targetOf(a1);
  const MotionCommand a2 = arc(a1End, a1End[0] + 1.5, a1End[1] + 1.5, -2.0, feed, {2, 1, 0.5});
  const MotionCommand l2 = line({0, 0, 0, 0, 0, 0}, feed);
  for (const MotionCommand& c : {l1, a1, a2, l2})
    put(c);
  run();
  const std::vector<double> d = travel();
  for (std::size_t k = 0; k < d.size(); ++k)
    ASSERT_GT(d[k], 0.0) << "standstill at cycle " << k;
  // No jump: never more than one cruise step in one cycle (the Bezier may
  // run a little faster than the feed where it rounds a corner).
  EXPECT_LT(longestStep(d), 1.25 * feed * 0.001);
  EXPECT_EQ(blends, 3);
  expectOnTargetInPulses(targetOf(l2));
  for (int i = 0; i < kAxes; ++i)
    EXPECT_EQ(env.out[i], 0) << "axis " << i;
}

TEST_F(BlendTest, ArcIntoALineOfLessThanOneUnitStopsAtTheArcsEnd) {
  blending(true);
  const MotionCommand a1 = arc({0, 0, 0}, 0, 2, std::numbers::pi / 2, 3);
  const Pos end = targetOf(a1);
  put(a1);
  put(line({end[0] + 0.9, end[1] - 0.5, 0}, 3));
  run();
  // The arc decelerates to rest on its end point (its finishing step only
  // moves the last rounding onto it), and the line starts from rest.
  double slowest = 1e9;
  for (double s : travel())
    slowest = std::min(slowest, s);
  EXPECT_LT(slowest, 1e-3 * 3 * 0.001);
  expectOnTargetInPulses({end[0] + 0.9, end[1] - 0.5, 0});
}

TEST_F(BlendTest, BlendIntoALineOfZeroLengthStopsOnTheCorner) {
  blending(true);
  put(line({6, 3, 0}, 5));
  put(line({6, 3, 0}, 5));  // zero length
  put(line({0, 3, 0}, 5));
  run();
  std::size_t atCorner = 0;
  for (std::size_t k = 0; k < path.size(); ++k)
    if (path[k][0] == 6 && path[k][1] == 3 && atCorner == 0) atCorner = k;
  ASSERT_GT(atCorner, 0u);
  // Arrives on the corner at speed 0: the last steps before it shrink to
  // nothing, and the path stands there before the third line starts.
  EXPECT_LT(dist(path[atCorner], path[atCorner - 1]), 0.05 * 5 * 0.001);
  EXPECT_EQ(dist(path[atCorner + 1], path[atCorner]), 0.0);
  for (std::size_t k = 0; k < atCorner; ++k) {
    EXPECT_LE(path[k][0], 6 + 1e-12);
    EXPECT_LE(path[k][1], 3 + 1e-12);
  }
  expectOnTargetInPulses({0, 3, 0});
}

TEST_F(BlendTest, ShortLinesWithoutCruiseBlendCornerToCorner) {
  blending(true);
  Pos at{};
  for (int k = 0; k < 12; ++k) {
    at[0] += 0.04;
    at[1] = k % 2 == 0 ? 0.03 : 0.0;
    put(line(at, 10));  // 0.05 long: far too short to reach the feed
  }
  run();
  EXPECT_EQ(blends, 11);
  const std::vector<double> d = travel();
  for (std::size_t k = 0; k < d.size(); ++k)
    ASSERT_GT(d[k], 0.0) << "standstill at cycle " << k;
  // The first line's acceleration, one blend of 2 Tb = 20 ms per corner,
  // and the last line's deceleration: nothing else.
  EXPECT_EQ(d.size(), 20u + 11u * 20u + 20u);
  expectOnTargetInPulses(at);
  EXPECT_EQ(env.out[0], 480);
  EXPECT_EQ(env.out[1], 0);
}

TEST_F(BlendTest, ChainEndingWithBlendingOffIsCorrectedToItsLastTarget) {
  blending(true);
  put(line({2, 1, 0}, 5));
  put(line({4, 0, 0}, 5));
  blending(false);
  // Run until the second line has finished, then lose one pulse on X in the
  // output before the next fetch: the fetch of the switch still corrects the
  // line's end point, although blending is on and the queue is not empty.
  for (int n = 0; n < 1000000 && !(g.ctx.readyForNext && !blendInProgress(g.ctx) &&
                                   g.ctx.cmd.target[0] == 4 && env.queue.empty());
       ++n) {
    cycleStep(g, shared, queue, env);
    env.output();
  }
  ASSERT_TRUE(g.ctx.blending);
  ASSERT_EQ(queue.peekCode(), code::kBlendOff);
  env.out[0] -= 1;
  env.direct.push_back(
      {-1, 0, 0, 0, 0, 0});  // the lost pulse, so that what reached the axes adds up
  run();
  EXPECT_FALSE(g.ctx.blending);
  expectOnTargetInPulses({4, 0, 0});
}

// Random chains of lines and arcs (helices included, lines short enough to
// have no cruise among them), blending on, with random ramp times and types
// at periods of 1 and 2 ms: every corner is blended, no standstill from the
// first acceleration to the last deceleration, no jump, and each chain ends
// on its last target in pulses with every pulse counted once.
TEST_F(BlendTest, RandomChainsOfLinesAndArcsNeverStopInsideAndEndOnTarget) {
  std::mt19937_64 rng(test::sweepSeed(7));
  std::uniform_real_distribution<double> unit(0, 1);
  params.axisCount = 6;
  resetGroup(g, params, shared);
  blending(true);
  Pos at{};
  const auto chains = test::sweepCount(25);
  for (uint64_t chain = 0; chain < chains; ++chain) {
    SCOPED_TRACE(chain);
    // Between chains the group stands still: a new period and new ramps.
    const int P = 1 + chain % 2;
    ProfileShape& shape = g.ctx.settings.shape;
    g.ctx.params.periodMs = P;
    shape.accTime = derivedTime(1 + static_cast<int>(rng() % 30), P);
    shape.decTime = derivedTime(1 + static_cast<int>(rng() % 30), P);
    shape.accType = rng() % 2 ? ProfileType::SCurve : ProfileType::Linear;
    shape.decType = rng() % 2 ? ProfileType::SCurve : ProfileType::Linear;
    const int count = 2 + static_cast<int>(rng() % 5);
    double fastest = 0;
    bool afterArc = false;
    for (int c = 0; c < count; ++c) {
      const double feed = 1 + 6 * unit(rng);
      fastest = std::max(fastest, feed);
      MotionCommand m;
      if (rng() % 2 == 0) {
        // After an arc a line of at least one unit along X; after a line
        // sometimes a very short one.
        const bool isShort = !afterArc && rng() % 3 == 0;
        Pos t = at;
        t[0] += (rng() % 2 ? 1 : -1) * (isShort ? 0.01 + 0.1 * unit(rng) : 1.5 + 3 * unit(rng));
        const double across = isShort ? 0.02 : 1.0;
        t[1] += (unit(rng) - 0.5) * 4 * across;
        t[2] += (unit(rng) - 0.5) * 2 * across;
        t[3] += (unit(rng) - 0.5) * across;
        if (c == count - 1)  // the chain ends on whole pulses
          for (double& v : t)
            v = std::round(v * 1000) / 1000;
        m = line(t, feed);
        afterArc = false;
      } else {
        const double r = 1 + 2 * unit(rng);
        const double phi = 2 * std::numbers::pi * unit(rng);
        const double sweep = (rng() % 2 ? 1 : -1) * (0.4 + 4 * unit(rng));
        m = arc(at, at[0] + r * std::cos(phi), at[1] + r * std::sin(phi), sweep, feed,
                {at[3] + unit(rng) - 0.5, at[4] + unit(rng) - 0.5, at[5]});
        afterArc = true;
      }
      at = targetOf(m);
      put(m);
    }
    // The chain's commands are queued before the group starts it.
    run();
    const std::vector<double> d = travel();
    for (std::size_t k = 0; k < d.size(); ++k)
      ASSERT_GT(d[k], 0.0) << "standstill at cycle " << k;
    EXPECT_LT(longestStep(d), 1.5 * fastest * P * 0.001);
    EXPECT_EQ(blends, count - 1);
    expectOnTargetInPulses(at);
  }
}

// The look-ahead's choice by the next command.
TEST(BlendDecision, WhatBlendsIntoWhat) {
  MotionCommand lineCmd{}, arcCmd{}, jog{}, delay{}, ptp{};
  lineCmd.code = code::kLine;
  arcCmd.code = code::kArc;
  jog.code = code::kJog;
  delay.code = code::kDelay;
  ptp.code = code::kPtP;
  EXPECT_EQ(lookAheadFromLine(lineCmd), StepResult::BlendLine);
  EXPECT_EQ(lookAheadFromLine(arcCmd), StepResult::BlendArc);
  EXPECT_EQ(lookAheadFromLine(jog), StepResult::Again);
  EXPECT_EQ(lookAheadFromLine(delay), StepResult::Again);
  EXPECT_EQ(lookAheadFromArc(arcCmd, arcCmd), StepResult::BlendArc);
  EXPECT_EQ(lookAheadFromArc(arcCmd, ptp), StepResult::Again);
  // A line after an arc must move some axis by a whole unit, counted in
  // whole units of the difference of the targets.
  MotionCommand cur = arcCmd;
  cur.target[4] = 2.5;
  MotionCommand next = lineCmd;
  next.target[4] = 3.4;
  next.target[0] = -0.99;
  EXPECT_EQ(lookAheadFromArc(cur, next), StepResult::Again);
  next.target[4] = 1.5;  // -1.0 on V
  EXPECT_EQ(lookAheadFromArc(cur, next), StepResult::BlendArc);
  EXPECT_EQ(lookAheadFromJog(jog), StepResult::BlendJog);
  EXPECT_EQ(lookAheadFromJog(lineCmd), StepResult::Again);
}

GroupContext cruisingLine(double feed) {
  GroupContext ctx;
  ctx.params.periodMs = 2;
  ctx.params.sysMaxSpeed = 100;
  for (auto& a : ctx.params.axis) {
    a.pulsesPerUnit = 1000;
    a.maxSpeed = 20;
  }
  ctx.settings.shape.accTime = derivedTime(10, 2);
  ctx.settings.shape.decTime = derivedTime(10, 2);
  ctx.blending = true;
  ctx.cmd.code = code::kLine;
  ctx.cmd.speed = feed;
  ctx.cmd.target[0] = 10;
  ctx.startFromRest = true;
  ctx.readyForNext = false;
  while (!(ctx.profile.state == SegmentState::Cruise && ctx.profile.phase == PathPhase::CruiseDone))
    lineStep(ctx);
  return ctx;
}

// The first blend step by itself: the current line is finished for the fetch,
// the next one planned from the corner at its over-speed, with Tb half its
// first segment (the deceleration time).
TEST(BlendStart, PlansTheNextCommandFromTheCornerAndHandsTheCurrentOneToTheFetch) {
  GroupContext ctx = cruisingLine(4);
  ctx.settings.overSpeed = 150;
  ctx.prevTarget[0] = 10;
  MotionCommand next{};
  next.code = code::kLine;
  next.speed = 2;
  next.target[0] = 10;
  next.target[1] = 6;
  ASSERT_TRUE(beginBlend(ctx, next, PathKind::Line, PathKind::Line));
  EXPECT_TRUE(ctx.readyForNext);
  EXPECT_EQ(ctx.prevTarget[0], kNoTarget);
  EXPECT_EQ(ctx.blend.halfTime, 10);
  EXPECT_EQ(ctx.profile.T1, 20);
  EXPECT_DOUBLE_EQ(ctx.blend.planned.speed, 3.0);
  EXPECT_DOUBLE_EQ(ctx.unscaledSpeed, 2.0);
  EXPECT_NEAR(ctx.profile.V, 3.0, 0.01);
  EXPECT_NEAR(ctx.profile.L, 6.0, 1e-12);
  EXPECT_EQ(ctx.blend.shape, BlendShape::Corner);
  EXPECT_NEAR(ctx.blend.a[0], -ctx.blend.b[0] - (10 - ctx.pos[0]), 1e-12);  // b[0] = 0
  EXPECT_TRUE(blendInProgress(ctx));
  // The fetch takes exactly that command; another one ends the blend.
  EXPECT_TRUE(takeBlendedCommand(ctx, &next));
  EXPECT_FALSE(takeBlendedCommand(ctx, &next));  // only once
}

TEST(BlendStart, ArcThatCannotBeInterpolatedFromTheCornerIsNotBlendedInto) {
  GroupContext ctx = cruisingLine(4);
  const GroupContext before = ctx;
  MotionCommand bad{};
  bad.code = code::kArc;
  bad.speed = 4;
  bad.plane = plane::kXY;
  bad.direction = 1;
  bad.centre[0] = 10;
  bad.centre[1] = 2;
  bad.target[0] = 12.5;  // 2.5 from the centre, the corner 2
  bad.target[1] = 2;
  EXPECT_FALSE(beginBlend(ctx, bad, PathKind::Line, PathKind::Arc));
  EXPECT_FALSE(ctx.readyForNext);
  EXPECT_EQ(ctx.profile.L, before.profile.L);
  EXPECT_EQ(ctx.profile.state, before.profile.state);
  EXPECT_EQ(ctx.cmd.target[0], 10);
  // Without a jog planner a jog is not blended either; with one, it is
  // planned at the point-to-point over-speed and blended on the corner
  // polynomial.
  MotionCommand jog{};
  jog.code = code::kJog;
  jog.speed = 40;
  jog.target[0] = 10;
  jog.target[2] = 3;
  ctx.cmd.code = code::kJog;
  EXPECT_FALSE(beginBlend(ctx, jog, PathKind::Jog, PathKind::Jog));
  ctx.settings.ptpOverSpeed = 50;
  ctx.settings.overSpeed = 300;
  int planned = 0;
  auto planner = [&planned](GroupContext& c) {
    ++planned;
    return planLine(c);
  };
  ASSERT_TRUE(beginBlend(ctx, jog, PathKind::Jog, PathKind::Jog, planner));
  EXPECT_EQ(planned, 1);
  EXPECT_DOUBLE_EQ(ctx.blend.planned.speed, 20.0);
  EXPECT_EQ(ctx.blend.shape, BlendShape::Corner);
  EXPECT_NEAR(ctx.profile.L, 3.0, 1e-12);
}

TEST(CommandQueuePeek, CopiesTheOldestWithoutTakingIt) {
  auto storage = CommandQueue::reserveStorage(1);
  CommandQueue q(storage.get());
  MotionCommand c{}, out{};
  EXPECT_FALSE(q.peek(out));
  c.code = code::kArc;
  c.target[2] = 7;
  ASSERT_TRUE(q.put(c));
  c.code = code::kLine;
  ASSERT_TRUE(q.put(c));
  ASSERT_TRUE(q.peek(out));
  EXPECT_EQ(out.code, code::kArc);
  EXPECT_EQ(out.target[2], 7);
  EXPECT_EQ(q.count(), 2u);
  q.clear();
  EXPECT_FALSE(q.peek(out));
}

// The cycle peeks and then takes while the caller's thread keeps putting:
// what the peek copied is what the take hands out next.
TEST(CommandQueuePeek, PeekedRecordIsTheNextTakenWhileTheProducerPuts) {
  auto storage = CommandQueue::reserveStorage(1);
  CommandQueue q(storage.get());
  constexpr uint32_t kTotal = 20000;
  std::thread producer([&] {
    MotionCommand c{};
    c.code = code::kLine;
    for (uint32_t i = 0; i < kTotal;) {
      c.index = i;
      c.target[0] = i * 0.5;
      if (q.put(c)) ++i;
    }
  });
  uint32_t expected = 0;
  MotionCommand seen{}, taken{};
  while (expected < kTotal) {
    if (!q.peek(seen)) continue;
    ASSERT_TRUE(q.take(taken));
    ASSERT_EQ(seen.index, expected);
    ASSERT_EQ(taken.index, expected);
    ASSERT_EQ(seen.target[0], taken.target[0]);
    ++expected;
  }
  producer.join();
  EXPECT_FALSE(q.peek(seen));
}

}  // namespace
}  // namespace vnl::planner
