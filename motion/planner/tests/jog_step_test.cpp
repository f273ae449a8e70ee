// The distance-jog step: the dominant axis, its speed and times, the
// point-to-point over-speed ratio, the exact end point and dropped jogs.
#include "planner/jog_step.h"

#include <gtest/gtest.h>

#include <cmath>

#include "step_harness.h"

namespace vnl::planner {
namespace {

using testing::GroupHarness;

class JogStepTest : public ::testing::Test, public GroupHarness {
 protected:
  // Runs until the jog's cruise and returns the axis speeds there.
  void runIntoCruise() {
    for (int n = 0; n < 100000 && g.ctx.profile.state != SegmentState::Cruise; ++n)
      cycle();
    ASSERT_EQ(g.ctx.profile.state, SegmentState::Cruise);
    cycle();
  }
};

TEST_F(JogStepTest, DominantAxisTakesTheLongestTimeAndRunsAtItsShareOfItsMaximum) {
  params.axis[1].maxSpeed = 2;
  reset();
  // At 50 %: X needs 5 / 5 = 1 s, Y needs 2 / 1 = 2 s, so Y leads at 1 unit/s.
  jog({5, 2}, 50);
  runIntoCruise();
  EXPECT_EQ(g.ctx.jog.dominant, 1);
  EXPECT_NEAR(g.ctx.axisSpeed[1], 1.0, 1e-3);
  EXPECT_NEAR(g.ctx.axisSpeed[0], 2.5, 2.5e-3);
  EXPECT_EQ(shared.readInfo().kind, kind::kPointToPoint);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 5000);
  EXPECT_EQ(env.out[1], 2000);
  // The last step landed on the target: nothing was left to correct.
  EXPECT_TRUE(env.direct.empty());
  EXPECT_EQ(g.ctx.pos[0], 5.0);
  EXPECT_EQ(g.ctx.pos[1], 2.0);
}

TEST_F(JogStepTest, TheFirstAxisWinsATieAndNegativeDistancesCount) {
  jog({-1, 1, 0.5}, 20);
  cycle();
  EXPECT_EQ(g.ctx.jog.dominant, 0);
  EXPECT_DOUBLE_EQ(g.ctx.line.k[0], -1.0);
  EXPECT_DOUBLE_EQ(g.ctx.line.k[1], 1.0);
  EXPECT_DOUBLE_EQ(g.ctx.line.k[2], 0.5);
  runUntilIdle();
  EXPECT_EQ(env.out[0], -1000);
  EXPECT_EQ(env.out[1], 1000);
  EXPECT_EQ(env.out[2], 500);
}

TEST_F(JogStepTest, PercentIsCappedAndScaledByThePointToPointRatioOnly) {
  shared.overSpeed.store(30);     // the path ratio does not apply to a jog
  shared.ptpOverSpeed.store(50);  // the point-to-point ratio does
  reset();
  jog({0, 0, 0, 20}, 100);
  runIntoCruise();
  EXPECT_NEAR(g.ctx.axisSpeed[3], 5.0, 1e-3);
  EXPECT_EQ(g.ctx.unscaledSpeed, 100.0);
  runUntilIdle();
  EXPECT_EQ(env.out[3], 20000);

  shared.ptpOverSpeed.store(100);
  reset();
  jog({0, 0, 0, 40}, 150);  // above 100 %: the axis maximum
  runIntoCruise();
  EXPECT_NEAR(g.ctx.axisSpeed[3], 10.0, 1e-3);
}

TEST_F(JogStepTest, ZeroDistanceIsDroppedAndTheNextCommandRuns) {
  jog({0, 0}, 50);
  line({0.2}, 5);
  cycle();
  EXPECT_TRUE(g.ctx.readyForNext);
  EXPECT_EQ(env.out[0], 0);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 200);
  EXPECT_EQ(shared.error.load(), 0);
}

// Planning alone: the times come from the dominant axis's point-to-point
// settings (its deceleration time first when entering by deceleration).
// With blending on, a jog runs into a following jog without stopping; a line
// after a jog is not blended: the jog stops first.
TEST_F(JogStepTest, AJogBlendsOnlyIntoAFollowingJog) {
  MotionCommand on = command(code::kBlendOn, 0, {});
  put(on);
  jog({2}, 50);
  jog({2, 2}, 50);
  line({2, 3}, 5);
  double minSpeed = 1e9;
  bool inSecond = false, stoppedBeforeLine = false;
  for (int n = 0; n < 100000 && (n == 0 || !idleAndDrained()); ++n) {
    cycle();
    const double v = std::hypot(g.ctx.axisSpeed[0], g.ctx.axisSpeed[1]);
    inSecond = inSecond || g.ctx.pos[1] > 0.5;
    if (g.ctx.pos[0] > 0.5 && !inSecond) minSpeed = std::min(minSpeed, v);
    if (std::fabs(g.ctx.pos[1] - 2.0) < 0.01 && v < 0.1) stoppedBeforeLine = true;
  }
  EXPECT_GT(minSpeed, 0.5) << "the jogs blend at their joint";
  EXPECT_TRUE(stoppedBeforeLine) << "the line after the jog starts from rest";
  EXPECT_EQ(env.out[0], 2000);
  EXPECT_EQ(env.out[1], 3000);
}

TEST(JogPlanTest, SegmentTimesAreTheDominantAxisPointToPointTimes) {
  GroupContext ctx;
  ctx.params.periodMs = 1;
  for (auto& a : ctx.params.axis)
    a.maxSpeed = 10;
  ProfileShape shapes[kAxes];
  for (int i = 0; i < kAxes; ++i)
    shapes[i] = {ProfileType::SCurve, ProfileType::Linear, 10 + 2 * i, 40 + 2 * i};
  ctx.cmd = MotionCommand{};
  ctx.cmd.code = code::kJog;
  ctx.cmd.speed = 40;
  ctx.cmd.target[2] = -3;
  ctx.cmd.target[4] = 1;
  ASSERT_EQ(planJog(ctx, shapes), PlanResult::Ok);
  EXPECT_EQ(ctx.jog.dominant, 2);
  EXPECT_EQ(ctx.profile.T1, 14);
  EXPECT_EQ(ctx.profile.T3, 44);
  EXPECT_EQ(ctx.jog.shape.decType, ProfileType::Linear);
  EXPECT_DOUBLE_EQ(ctx.profile.L, 3.0);
  EXPECT_NEAR(ctx.profile.S1 + ctx.profile.S2 + ctx.profile.S3, 3.0, 1e-12);
  EXPECT_LE(ctx.profile.V, 4.0);
  EXPECT_GT(ctx.profile.V, 3.9);

  ctx.profile.entry = EntryMode::Decelerate;
  ctx.profile.Vs = 4;
  ASSERT_EQ(planJog(ctx, shapes), PlanResult::Ok);
  EXPECT_EQ(ctx.profile.T1, 44);

  // A start speed whose first segment alone overshoots the distance fails.
  ctx.cmd.target[2] = -0.01;
  ctx.cmd.target[4] = 0;
  ctx.profile.Vs = 10;
  EXPECT_NE(planJog(ctx, shapes), PlanResult::Ok);

  ctx.cmd.target[2] = 0;
  ctx.profile.Vs = 0;
  EXPECT_EQ(planJog(ctx, shapes), PlanResult::ZeroLength);
  ctx.cmd.target[0] = 1;
  ctx.cmd.speed = 0;
  EXPECT_EQ(planJog(ctx, shapes), PlanResult::ZeroSpeed);
}

}  // namespace
}  // namespace vnl::planner
