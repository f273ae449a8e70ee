#include "planner/profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace vnl::planner {
namespace {

TEST(DerivedTimeTest, StepCountsRoundUpToEvenPeriods) {
  EXPECT_EQ(derivedTime(20, 1), 20);
  EXPECT_EQ(derivedTime(21, 1), 22);
  EXPECT_EQ(derivedTime(0, 1), 0);
  EXPECT_EQ(derivedTime(-3, 1), 0);
  EXPECT_EQ(derivedTime(20, 4), 80);
  EXPECT_EQ(derivedTime(1, 3), 6);
}

TEST(DerivedTimeTest, HugeStepCountsAndPeriodsStayPositiveWholeRamps) {
  constexpr int kMax = std::numeric_limits<int>::max();
  for (const auto& [steps, period] : {std::pair{20, kMax}, std::pair{kMax, 200}, std::pair{kMax, 1},
                                      std::pair{kMax, kMax}, std::pair{kMax - 1, 7}}) {
    const int t = derivedTime(steps, period);
    EXPECT_GT(t, 0) << steps << " steps of " << period << " ms";
    EXPECT_EQ(t % 2, 0) << steps << " steps of " << period << " ms";
    if (period <= 200) {
      EXPECT_EQ(t % (2 * period), 0) << steps << " steps of " << period << " ms";
    }
    // Two ramps rounded to whole periods still fit an int.
    EXPECT_GT(rampDuration(t, period) + rampDuration(t, period), 0) << steps << " steps";
    EXPECT_GT(cruiseDuration(kMax, period), 0) << period << " ms";
  }
}

TEST(SegmentFormulaTest, RampsMeetTheirEndSpeedsAndDistances) {
  for (ProfileType type : {ProfileType::SCurve, ProfileType::Linear}) {
    const double v0 = 1.5, S = 0.4, T = 40;
    EXPECT_DOUBLE_EQ(accelDistance(type, v0, S, T, 0), 0.0);
    EXPECT_DOUBLE_EQ(accelDistance(type, v0, S, T, T), S);
    EXPECT_DOUBLE_EQ(decelDistance(type, v0, S, T, T), S);
    // Speeds at the ends from finite differences.
    const double e = 1e-4;
    const double vEnd =
        (accelDistance(type, v0, S, T, T) - accelDistance(type, v0, S, T, T - e)) / e * 1000;
    EXPECT_NEAR(vEnd, rampOtherSpeed(v0, S, T), 1e-3);
    const double vStartDec =
        (decelDistance(type, v0, S, T, e) - decelDistance(type, v0, S, T, 0)) / e * 1000;
    EXPECT_NEAR(vStartDec, rampOtherSpeed(v0, S, T), 1e-3);
    const double vEndDec =
        (decelDistance(type, v0, S, T, T) - decelDistance(type, v0, S, T, T - e)) / e * 1000;
    EXPECT_NEAR(vEndDec, v0, 1e-3);
  }
  // The S-curve starts without a jump in acceleration: its start speed is the
  // speed parameter and the second difference vanishes at both ends.
  const double T = 20;
  auto s = [&](double t) { return accelDistance(ProfileType::SCurve, 0.0, 1.0, T, t); };
  const double e = 1e-3;
  EXPECT_NEAR((s(2 * e) - 2 * s(e) + s(0)) / (e * e), 0.0, 1e-4);
  EXPECT_NEAR((s(T) - 2 * s(T - e) + s(T - 2 * e)) / (e * e), 0.0, 1e-4);
  EXPECT_DOUBLE_EQ(cruiseDistance(3.0, 30, 15), 1.5);
}

PathProfile planned(double L, double speed, int T1, int T3, int P, double Vs = 0) {
  PathProfile p;
  p.Vs = Vs;
  p.T1 = T1;
  p.T3 = T3;
  EXPECT_TRUE(planOnLength(p, L, speed, P));
  return p;
}

TEST(PathPlanningTest, TenUnitsAtFeedThreeLasts3354Periods) {
  const PathProfile p = planned(10, 3, 20, 20, 1);
  EXPECT_TRUE(p.hasCruise);
  EXPECT_EQ(p.T, 3334);
  EXPECT_EQ(p.T2, 3314);
  EXPECT_EQ(p.totalTime(), 3354);
  EXPECT_DOUBLE_EQ(p.V, 10.0 / 3334 * 1000);
  EXPECT_LT(p.V, 3.0);
  EXPECT_NEAR(p.S1 + p.S2 + p.S3, 10.0, 1e-12);
  EXPECT_NEAR(p.S3, p.V * p.T3 * 0.0005, 1e-12);
}

// A move that would cruise longer than the longest segment (about three
// days) is not planned: its time does not fit the profile's whole
// milliseconds, and running it faster than asked is no answer.
TEST(PathPlanningTest, AMoveTooLongForItsSpeedIsNotPlanned) {
  for (const auto& [L, speed] :
       {std::pair{2e6, 0.1}, std::pair{1.0, 1e-300}, std::pair{1e300, 1.0}}) {
    PathProfile p;
    p.T1 = p.T3 = 20;
    EXPECT_FALSE(planOnLength(p, L, speed, 1)) << L << " at " << speed;
  }
  PathProfile p;
  p.T1 = p.T3 = 20;
  ASSERT_TRUE(planOnLength(p, 2e4, 0.1, 1)) << "about 2.3 days";
  EXPECT_GT(p.T, 0);
  EXPECT_NEAR(p.V, 0.1, 1e-9);
}

TEST(PathPlanningTest, ShortMoveHasNoCruiseAndPeaksBelowTheFeed) {
  const PathProfile p = planned(0.02, 3, 20, 20, 1);
  EXPECT_FALSE(p.hasCruise);
  EXPECT_EQ(p.T2, 0);
  EXPECT_EQ(p.totalTime(), 40);
  EXPECT_DOUBLE_EQ(p.V, 0.02 / 20 * 1000);
  EXPECT_LT(p.V, 3.0);
}

TEST(PathPlanningTest, StartSpeedIsCarriedIntoTheFirstSegment) {
  const PathProfile p = planned(5, 2, 20, 20, 2, /*Vs=*/1.0);
  EXPECT_NEAR(p.S1, (p.V + 1.0) * 20 * 0.0005, 1e-12);
  EXPECT_NEAR(p.S1 + p.S2 + p.S3, 5.0, 1e-12);
  EXPECT_EQ(p.T2 % 2, 0);
}

// Runs the sequencing of a planned profile to the end and returns the number
// of steps and the distance reached (segment distances summed at each
// segment change).
struct ProfileRun {
  int steps = 0;
  double distance = 0;
  std::vector<StepResult> results;
};
ProfileRun runProfile(PathProfile p, const ProfileShape& shape, int P) {
  ProfileRun run;
  double base = 0, pos = 0;
  for (int guard = 0; guard < 1000000; ++guard) {
    StepResult r;
    do
      r = sequenceStep(p, shape, false, NoBlend{});
    while (r == StepResult::Again);
    if (r == StepResult::Finished) break;
    if (p.phase == PathPhase::AccStart || p.phase == PathPhase::CruiseStart ||
        p.phase == PathPhase::DecStart)
      base = pos;
    pos = base + advanceSegment(p, P);
    run.results.push_back(r);
    ++run.steps;
  }
  run.distance = pos;
  return run;
}

TEST(SequencingTest, SegmentsRunInOrderForWholePeriods) {
  ProfileShape shape;
  shape.accTime = 8;
  shape.decTime = 12;
  PathProfile p = planned(1.0, 10, 8, 12, 2);
  const ProfileRun run = runProfile(p, shape, 2);
  EXPECT_EQ(run.steps * 2, p.totalTime());
  EXPECT_NEAR(run.distance, 1.0, 1e-12);
  ASSERT_EQ(run.results.size(), static_cast<size_t>(run.steps));
  EXPECT_EQ(run.results.front(), StepResult::Accelerate);
  EXPECT_EQ(run.results[4], StepResult::Cruise);
  EXPECT_EQ(run.results.back(), StepResult::Decelerate);
}

TEST(SequencingTest, ZeroTimeSegmentsAreSkipped) {
  ProfileShape shape;
  shape.accTime = 0;
  shape.decTime = 0;
  PathProfile p = planned(1.0, 10, 0, 0, 1);
  const ProfileRun run = runProfile(p, shape, 1);
  EXPECT_EQ(run.steps, 100);
  EXPECT_NEAR(run.distance, 1.0, 1e-12);
  for (StepResult r : run.results)
    EXPECT_EQ(r, StepResult::Cruise);
}

TEST(SequencingTest, DecelerationEntryStartsWithInitialDeceleration) {
  ProfileShape shape;
  PathProfile p;
  p.entry = EntryMode::Decelerate;
  p.Vs = 4.0;
  chooseSegmentTimes(p, shape);
  ASSERT_TRUE(planOnLength(p, 2.0, 1.0, 1));
  EXPECT_NEAR(rampOtherSpeed(p.V, p.S1, p.T1), 4.0, 1e-9);
  const ProfileRun run = runProfile(p, shape, 1);
  EXPECT_EQ(run.results.front(), StepResult::Decelerate);
  EXPECT_EQ(run.steps, p.totalTime());
  EXPECT_NEAR(run.distance, 2.0, 1e-12);
}

TEST(SequencingTest, LookAheadIsAskedAtTheEndOfTheCruiseWithBlendingOn) {
  ProfileShape shape;
  PathProfile p = planned(1.0, 10, 20, 20, 1);
  int asked = 0;
  StepResult r = StepResult::Again;
  for (int guard = 0; guard < 10000 && asked == 0; ++guard) {
    do
      r = sequenceStep(p, shape, true, [&] {
        ++asked;
        return StepResult::BlendLine;
      });
    while (r == StepResult::Again);
    if (r == StepResult::BlendLine) break;
    advanceSegment(p, 1);
  }
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(r, StepResult::BlendLine);
  EXPECT_EQ(p.state, SegmentState::LookAhead);
  // Declining the blend leads to the final deceleration.
  do
    r = sequenceStep(p, shape, true, NoBlend{});
  while (r == StepResult::Again);
  EXPECT_EQ(r, StepResult::Decelerate);
  EXPECT_EQ(p.state, SegmentState::FinalDecel);
}

}  // namespace
}  // namespace vnl::planner
