#include "planner/line.h"
#include "sweep.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

namespace vnl::planner {
namespace {

GroupContext makeContext(int P, double ppu = 1000.0) {
  GroupContext ctx;
  ctx.params.periodMs = P;
  ctx.params.sysMaxSpeed = 1000;
  for (auto& a : ctx.params.axis) {
    a.pulsesPerUnit = ppu;
    a.maxSpeed = 50;
  }
  ctx.settings.shape.accTime = derivedTime(20, P);
  ctx.settings.shape.decTime = derivedTime(20, P);
  return ctx;
}

void startLine(GroupContext& ctx, const double target[kAxes], double feed) {
  ctx.cmd = MotionCommand{};
  ctx.cmd.code = code::kLine;
  ctx.cmd.speed = feed;
  ctx.cmd.coordMode = kCoordAbsolute;
  for (int i = 0; i < kAxes; ++i)
    ctx.cmd.target[i] = target[i];
  ctx.startFromRest = true;
  ctx.readyForNext = false;
  ctx.profile.state = SegmentState::Plan;
}

// What the group handed out, as the output layer sees it.
struct Trace {
  int moves = 0;
  int32_t outputPos[kAxes] = {};
  std::vector<double> pathSpeed;
  std::vector<std::array<int32_t, kAxes>> blocks;
  std::vector<std::array<double, kAxes>> positions;
};

// Steps the current line to its end; every block goes to the output layer.
void runLine(GroupContext& ctx, Trace& tr, int maxSteps = 10000000) {
  for (int guard = 0; guard < maxSteps; ++guard) {
    if (lineStep(ctx) == StepOutcome::Finished) return;
    toPulses(ctx.params, ctx.pos, ctx.pulsePos);
    computePulses(ctx.pulsePos, ctx.prevPulsePos, ctx.remainder, ctx.cmdPulse, ctx.pulses);
    for (int i = 0; i < kAxes; ++i) {
      ctx.prevPulsePos[i] = ctx.pulsePos[i];
      tr.outputPos[i] += ctx.pulses[i];
    }
    std::array<int32_t, kAxes> b;
    std::array<double, kAxes> p;
    for (int i = 0; i < kAxes; ++i) {
      b[i] = ctx.pulses[i];
      p[i] = ctx.pos[i];
    }
    tr.blocks.push_back(b);
    tr.positions.push_back(p);
    tr.pathSpeed.push_back(ctx.pathRate);
    ++tr.moves;
  }
  FAIL() << "line did not finish";
}

// Where an axis that starts on a whole pulse ends: the displacement to the
// target, in pulses, truncated toward zero (the whole pulse that does not
// pass the target), with the correction's tolerance of 1e-10 pulse.
int32_t expectedPulses(double targetPulses, int32_t start = 0) {
  const double d = targetPulses - start;
  return start + static_cast<int32_t>(d >= 0 ? d + 1e-10 : d - 1e-10);
}

TEST(LineTest, TenUnitsAtFeedThreeLasts3354msAndEndsOnTarget) {
  GroupContext ctx = makeContext(1);
  const double target[kAxes] = {10, 0, 0, 0, 0, 0};
  startLine(ctx, target, 3);
  Trace tr;
  runLine(ctx, tr);
  EXPECT_EQ(tr.moves, 20 + 3314 + 20);
  EXPECT_EQ(tr.positions.back()[0], 10.0);
  EXPECT_EQ(tr.outputPos[0], 10000);
  EXPECT_TRUE(ctx.readyForNext);
  EXPECT_TRUE(ctx.ready);
  // Cruise speed just below the feed.
  EXPECT_NEAR(tr.pathSpeed[1000], 10.0 / 3334 * 1000, 1e-9);
  EXPECT_LT(tr.pathSpeed[1000], 3.0);
}

TEST(LineTest, ShortLineRunsWithoutCruiseInT1PlusT3) {
  GroupContext ctx = makeContext(1);
  const double target[kAxes] = {0.01, 0.01, 0, 0, 0, 0};
  startLine(ctx, target, 3);
  Trace tr;
  runLine(ctx, tr);
  EXPECT_FALSE(ctx.profile.hasCruise);
  EXPECT_EQ(tr.moves, 40);
  double peak = 0;
  for (double v : tr.pathSpeed)
    peak = std::max(peak, v);
  EXPECT_LT(peak, 3.0);
  EXPECT_NEAR(ctx.profile.V, std::sqrt(2) * 0.01 / 20 * 1000, 1e-12);
}

TEST(LineTest, UOnlyLineRunsAtUsMaximumSpeed) {
  GroupContext ctx = makeContext(1);
  ctx.params.axis[3].maxSpeed = 4;
  const double target[kAxes] = {0, 0, 0, 20, 0, 0};
  startLine(ctx, target, 0.5);  // the feed does not apply
  Trace tr;
  runLine(ctx, tr);
  EXPECT_TRUE(ctx.line.uvwOnly);
  EXPECT_EQ(ctx.line.dominant, 3);
  EXPECT_NEAR(tr.pathSpeed[tr.moves / 2], 4.0, 1e-9);
  EXPECT_EQ(tr.moves, 40 + 4980);
  EXPECT_EQ(tr.outputPos[3], 20000);
}

TEST(LineTest, DominantUvwAxisIsTheSlowestToArrive) {
  GroupContext ctx = makeContext(1);
  ctx.params.axis[3].maxSpeed = 10;
  ctx.params.axis[4].maxSpeed = 1;
  const double target[kAxes] = {0, 0, 0, 5, -2, 0};
  startLine(ctx, target, 1);
  Trace tr;
  runLine(ctx, tr);
  EXPECT_EQ(ctx.line.dominant, 4);
  // V runs at its own maximum, U in proportion below its own.
  EXPECT_NEAR(std::fabs(tr.pathSpeed[tr.moves / 2]), 1.0, 1e-9);
  EXPECT_EQ(tr.outputPos[3], 5000);
  EXPECT_EQ(tr.outputPos[4], -2000);
}

TEST(LineTest, ZeroLengthAndZeroSpeedFinishAtOnceWithoutMoving) {
  GroupContext ctx = makeContext(1);
  const double same[kAxes] = {0, 0.000001, 0, 0, 0, 0};
  startLine(ctx, same, 3);
  EXPECT_EQ(lineStep(ctx), StepOutcome::Finished);
  EXPECT_TRUE(ctx.readyForNext);
  const double far[kAxes] = {1, 0, 0, 0, 0, 0};
  startLine(ctx, far, 0);
  EXPECT_EQ(lineStep(ctx), StepOutcome::Finished);
  EXPECT_EQ(ctx.pos[0], 0.0);
}

TEST(LineTest, OverSpeedOnACappedFeedKeepsTheMaximum) {
  GroupContext ctx = makeContext(1);
  ctx.params.sysMaxSpeed = 2;
  ctx.settings.overSpeed = 150;
  const double target[kAxes] = {0, 10, 0, 0, 0, 0};
  startLine(ctx, target, 2);  // the feed setter already capped it
  Trace tr;
  runLine(ctx, tr);
  double peak = 0;
  for (double v : tr.pathSpeed)
    peak = std::max(peak, v);
  EXPECT_LE(peak, 2.0 + 1e-9);
  EXPECT_GT(peak, 1.99);
  EXPECT_EQ(ctx.unscaledSpeed, 2.0);
}

TEST(LineTest, LoweringTheOverSpeedInTheCruiseSlowsWithoutStopping) {
  GroupContext ctx = makeContext(1);
  const double target[kAxes] = {20, 0, 0, 0, 0, 0};
  startLine(ctx, target, 4);
  Trace tr;
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(lineStep(ctx), StepOutcome::Moved);
  ASSERT_EQ(ctx.profile.state, SegmentState::Cruise);
  const double before = ctx.pathSpeed;
  changePathOverSpeed(ctx, 50);
  EXPECT_EQ(ctx.profile.entry, EntryMode::Decelerate);
  std::vector<double> speeds;
  for (int guard = 0; guard < 100000 && lineStep(ctx) == StepOutcome::Moved; ++guard)
    speeds.push_back(ctx.pathSpeed);
  ASSERT_GT(speeds.size(), 100u);
  // Down into the new cruise within the deceleration time, smoothly, never
  // near standstill before the final deceleration.
  EXPECT_NEAR(speeds[0], before, 0.05);
  EXPECT_NEAR(speeds[40], 2.0, 0.01);
  for (size_t i = 0; i + 40 < speeds.size(); ++i)
    ASSERT_GT(speeds[i], 1.9) << i;
  for (size_t i = 1; i < 20; ++i)
    ASSERT_LE(speeds[i], speeds[i - 1] + 1e-12);
  EXPECT_EQ(ctx.pos[0], 20.0);
}

TEST(LineTest, OverSpeedNearTheEndDeceleratesOverTheRest) {
  GroupContext ctx = makeContext(1);
  const double target[kAxes] = {1, 0, 0, 0, 0, 0};
  startLine(ctx, target, 4);
  for (int i = 0; i < 255; ++i)
    ASSERT_EQ(lineStep(ctx), StepOutcome::Moved);
  changePathOverSpeed(ctx, 300);
  EXPECT_EQ(ctx.profile.state, SegmentState::FinalDecel);
  int steps = 0;
  while (lineStep(ctx) == StepOutcome::Moved)
    ++steps;
  EXPECT_EQ(steps, 20);
  EXPECT_EQ(ctx.pos[0], 1.0);
}

TEST(PulseTest, RemainderCarriesAndTruncatesTowardZero) {
  double prev[kAxes] = {}, rem[kAxes] = {}, next[kAxes] = {};
  int32_t counter[kAxes] = {}, out[kAxes] = {};
  next[0] = 2.7;
  next[1] = -2.7;
  computePulses(next, prev, rem, counter, out);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[1], -2);
  EXPECT_NEAR(rem[0], 0.7, 1e-12);
  EXPECT_NEAR(rem[1], -0.7, 1e-12);
  double next2[kAxes] = {5.4, -5.4};
  computePulses(next2, next, rem, counter, out);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[1], -3);
  EXPECT_EQ(counter[0], 5);
  EXPECT_EQ(counter[1], -5);
  EXPECT_NEAR(rem[1], -0.4, 1e-12);
  // Beyond 32 bits the count saturates instead of wrapping.
  double huge[kAxes] = {1e12, -1e12};
  double zero[kAxes] = {};
  double rem2[kAxes] = {};
  computePulses(huge, zero, rem2, counter, out);
  EXPECT_EQ(out[0], std::numeric_limits<int32_t>::max());
  EXPECT_EQ(out[1], std::numeric_limits<int32_t>::min());
  // A position that is not a number gives no pulse.
  const double notANumber[kAxes] = {std::numeric_limits<double>::quiet_NaN()};
  computePulses(notANumber, zero, rem2, counter, out);
  EXPECT_EQ(out[0], 0);
}

TEST(PulseTest, EndPointCorrectionSendsWholeMissingPulses) {
  const double target[kAxes] = {1000.99999999995, -1000.99999999995, 12.5, -12.5, 7, -7};
  const int32_t output[kAxes] = {999, -999, 12, -10, 7, -7};
  double rem[kAxes];
  int32_t n[kAxes];
  EXPECT_TRUE(endPointCorrection(target, output, rem, n));
  EXPECT_EQ(n[0], 2);  // 1.99999999995 is within the tolerance of 2
  EXPECT_EQ(n[1], -2);
  EXPECT_EQ(n[2], 0);
  EXPECT_EQ(n[3], -2);
  EXPECT_NEAR(rem[2], 0.5, 1e-12);
  EXPECT_NEAR(rem[3], -0.5, 1e-12);
  EXPECT_EQ(n[4], 0);
  const int32_t exact[kAxes] = {1001, -1001, 12, -12, 7, -7};
  EXPECT_FALSE(endPointCorrection(target, exact, rem, n));
}

// Randomised lines: each ends on its target in pulses (after the end-point
// correction that the next fetch makes), lasts exactly T1 + T2 + T3, keeps
// every count within what its cruise speed needs, and for S-curves never
// changes speed by more than one period's peak acceleration.
TEST(LineSweepTest, RandomLinesEndExactlyAndStayWithinLimits) {
  const uint64_t seed = test::sweepSeed(20261208);
  const uint64_t count = test::sweepCount(2000);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  for (uint64_t n = 0; n < count; ++n) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " line " << n);
    const int P = 1 + static_cast<int>(rng() % 10);
    const double ppu = std::pow(10.0, 1 + 3 * unit(rng)) * (rng() % 5 == 0 ? -1 : 1);
    GroupContext ctx = makeContext(P, ppu);
    const int acc = static_cast<int>(rng() % 60), dec = static_cast<int>(rng() % 60);
    ctx.settings.accSteps = acc;
    ctx.settings.shape.accTime = derivedTime(acc, P);
    ctx.settings.shape.decTime = derivedTime(dec, P);
    ctx.settings.shape.accType = rng() % 2 ? ProfileType::SCurve : ProfileType::Linear;
    ctx.settings.shape.decType = rng() % 2 ? ProfileType::SCurve : ProfileType::Linear;
    ctx.settings.overSpeed = 50 + static_cast<int>(rng() % 100);
    ctx.params.sysMaxSpeed = 5 + 20 * unit(rng);
    for (auto& a : ctx.params.axis)
      a.maxSpeed = 1 + 10 * unit(rng);
    // Start from a random position that the group already holds in pulses.
    Trace tr;
    int32_t startPulses[kAxes];
    for (int i = 0; i < kAxes; ++i) {
      const int32_t start = static_cast<int32_t>((unit(rng) - 0.5) * 20000);
      tr.outputPos[i] = start;
      startPulses[i] = start;
      ctx.cmdPulse[i] = start;
      ctx.pos[i] = start / ppu;
      ctx.prevPulsePos[i] = start;
    }
    double target[kAxes];
    const bool uvwOnly = rng() % 8 == 0;
    for (int i = 0; i < kAxes; ++i) {
      const bool moves = uvwOnly ? i >= 3 : rng() % 4 != 0;
      target[i] =
          ctx.pos[i] + (moves ? (unit(rng) - 0.5) * 40 * std::pow(10.0, -3 * unit(rng)) : 0.0);
    }
    const double feed = 0.2 + 10 * unit(rng);
    startLine(ctx, target, feed);
    runLine(ctx, tr);
    if (tr.moves == 0) continue;  // a line below the length threshold

    const PathProfile& p = ctx.profile;
    ASSERT_EQ(tr.moves * P, p.totalTime());
    double tp[kAxes];
    toPulses(ctx.params, target, tp);
    int32_t corr[kAxes];
    double rem[kAxes];
    endPointCorrection(tp, tr.outputPos, rem, corr);
    for (int i = 0; i < kAxes; ++i) {
      ASSERT_LE(std::abs(corr[i]), 1) << "axis " << i;  // the steps themselves end within a pulse
      ASSERT_EQ(tr.outputPos[i] + corr[i], expectedPulses(tp[i], startPulses[i])) << "axis " << i;
      ASSERT_EQ(tr.positions.back()[i], target[i]);
    }
    // Slot limits: no count above what the cruise speed needs in a period
    // (the carried remainder adds at most one pulse).
    const double cruise = std::max(p.V, p.Vs);
    for (const auto& b : tr.blocks) {
      for (int i = 0; i < kAxes; ++i) {
        const double need = cruise * std::fabs(ctx.line.k[i]) * std::fabs(ppu) * P / 1000.0;
        ASSERT_LE(std::abs(b[i]), std::ceil(need + 1e-9) + 1) << "axis " << i;
        // A line whose programmed speed fits the output layer's default
        // maximum of 30000 pulses per period never exceeds it. (U, V, W of an
        // X-Y-Z line move in proportion and are not checked against their
        // own speed, so random lines may legitimately need more.)
        if (need <= 29999) {
          ASSERT_LE(std::abs(b[i]), 30000);
        }
      }
    }
    if (ctx.settings.shape.accType == ProfileType::SCurve &&
        ctx.settings.shape.decType == ProfileType::SCurve) {
      double aMax = 0;  // units/s per ms
      if (p.T1 > 0) aMax = std::max(aMax, 1.5 * std::fabs(p.V - p.Vs) / p.T1);
      if (p.T3 > 0) aMax = std::max(aMax, 1.5 * p.V / p.T3);
      for (size_t k = 1; k < tr.pathSpeed.size(); ++k) {
        ASSERT_LE(std::fabs(tr.pathSpeed[k] - tr.pathSpeed[k - 1]), aMax * P * (1 + 1e-6) + 1e-9)
            << "step " << k;
      }
    }
  }
}

}  // namespace
}  // namespace vnl::planner
