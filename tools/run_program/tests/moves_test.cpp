// Runs of arcs, circles, point-to-point moves and delays in simulation: where
// the axes go, and that what the library refuses names its statement.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "program.h"
#include "runner.h"

namespace tv::run {
namespace {

constexpr double kPulsesPerUnit = 1000.0;  // the library's default machine parameters

Program load(const std::string& name) {
  std::ifstream in(std::string(TV_PROGRAMS_DIR) + "/" + name);
  Program p;
  ParseError e;
  EXPECT_TRUE(in.good()) << name;
  EXPECT_TRUE(parseProgram(in, p, e)) << name << ": " << e.text();
  return p;
}

Program text(const std::string& source) {
  std::istringstream in(source);
  Program p;
  ParseError e;
  EXPECT_TRUE(parseProgram(in, p, e)) << e.text();
  return p;
}

// circle.tvp: radius 2 about (2, 0) from the origin, counter-clockwise, feed 5.
// The pulse positions after every period lie within one pulse diagonal of the
// circle (each axis rounds by at most half a pulse), and so does the straight
// run the card makes between two of them, give or take the chord's sag of
// (5 units/s x 1 ms)^2 / (8 x 2) = 1.6e-6 units.
TEST(ProgramMoves, CircleEndsOnItsStartAndStaysOnTheCircle) {
  const RunResult r = runProgram(load("circle.tvp"), RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_GT(r.trace.samples.size(), 2000u);
  const Sample& last = r.trace.samples.back();
  EXPECT_EQ(last.pulsePos[0], 0);
  EXPECT_EQ(last.pulsePos[1], 0);

  const double cx = 2, cy = 0, radius = 2;
  const double bound = std::sqrt(2.0) / kPulsesPerUnit + 0.005 * 0.005 / (8 * radius);
  double worst = 0, swept = 0;
  double px = 0, py = 0;  // the previous pulse position, in units
  for (const Sample& s : r.trace.samples) {
    const double x = s.pulsePos[0] / kPulsesPerUnit, y = s.pulsePos[1] / kPulsesPerUnit;
    const double mx = (x + px) / 2, my = (y + py) / 2;
    worst = std::max(worst, std::fabs(std::hypot(x - cx, y - cy) - radius));
    worst = std::max(worst, std::fabs(std::hypot(mx - cx, my - cy) - radius));
    double d = std::atan2(y - cy, x - cx) - std::atan2(py - cy, px - cx);
    if (d > std::numbers::pi) d -= 2 * std::numbers::pi;
    if (d < -std::numbers::pi) d += 2 * std::numbers::pi;
    swept += d;
    px = x, py = y;
    EXPECT_EQ(s.pulsePos[2], 0);
  }
  EXPECT_LE(worst, bound);
  // Once round, counter-clockwise (a circle that never moved would also end
  // on its start).
  EXPECT_NEAR(swept, 2 * std::numbers::pi, 1e-3);
}

// With 50 periods of deceleration the circle's last step leaves almost a
// whole pulse in the remainder; the end-point correction of the period that
// stops the group hands it out, and the trace must show that period.
TEST(ProgramMoves, CircleWithALongDecelerationEndsOnItsStart) {
  Program p;
  std::istringstream in("feed 5\ndecsteps 50\ncirclexy 2 0 1\n");
  ParseError e;
  ASSERT_TRUE(parseProgram(in, p, e));
  const RunResult r = runProgram(p, RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.trace.samples.back().pulsePos[0], 0);
  EXPECT_EQ(r.trace.samples.back().pulsePos[1], 0);
}

TEST(ProgramMoves, HelixTurnsWhileUClimbsAndEndsOnItsTargets) {
  const RunResult r = runProgram(load("helix.tvp"), RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  const Sample& last = r.trace.samples.back();
  EXPECT_EQ(last.pulsePos[0], 2000);
  EXPECT_EQ(last.pulsePos[1], 0);
  EXPECT_EQ(last.pulsePos[3], 2500);
  // U never goes back, and the half turn passes over the top through (1, 1).
  int32_t u = 0, topY = 0;
  for (const Sample& s : r.trace.samples) {
    EXPECT_GE(s.pulsePos[3], u);
    u = s.pulsePos[3];
    if (s.pulsePos[3] > 2000) topY = std::max(topY, s.pulsePos[1]);
  }
  EXPECT_NEAR(topY, 1000, 1);
}

TEST(ProgramMoves, ArcsInEachPlaneEndOnTheirEndPointsInBothCoordinateTypes) {
  // Quarter arcs of radius 1 in X-Y, Y-Z and Z-X, then the same incrementally.
  const RunResult r = runProgram(text("feed 4\n"
                                      "arcxy 0.2928932 0.7071068 1 1\n"  // about (0, 1)
                                      "arcyz 1.7071068 0.2928932 2 1\n"  // about (1, 1) in Y-Z
                                      "arczx 1.7071068 1.2928932 2 2\n"  // about (1, 1) in Z-X
                                      "incremental\n"
                                      "arcxyz 1 0 0.5 1 1 1\n"),
                                 RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  const Sample& last = r.trace.samples.back();
  EXPECT_EQ(last.pulsePos[0], 3000);
  EXPECT_EQ(last.pulsePos[1], 3000);
  EXPECT_EQ(last.pulsePos[2], 3000);
}

TEST(ProgramMoves, OnTheVirtualCardTheHelixAxesEndOnTheTargets) {
  RunOptions options;
  options.target = Target::VirtualCard;
  const RunResult r = runProgram(load("helix.tvp"), options);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.plantKnown);
  EXPECT_EQ(r.plant[0] - r.plantStart[0], 2000);
  EXPECT_EQ(r.plant[1] - r.plantStart[1], 0);
  EXPECT_EQ(r.plant[3] - r.plantStart[3], 2500);
}

TEST(ProgramMoves, PointToPointEndsOnItsTargetsAxisByAxis) {
  const RunResult r = runProgram(text("feed 1\nptpspeed 30\nptp 1 0.1 0 0.25\n"
                                      "incremental\nptp -0.5\n"),
                                 RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  const Sample& last = r.trace.samples.back();
  EXPECT_EQ(last.pulsePos[0], 500);
  EXPECT_EQ(last.pulsePos[1], 100);
  EXPECT_EQ(last.pulsePos[3], 250);
  // The short Y move arrives before the long X move does.
  size_t yArrived = 0, xArrived = 0;
  for (size_t i = 0; i < r.trace.samples.size() && xArrived == 0; ++i) {
    const Sample& s = r.trace.samples[i];
    if (yArrived == 0 && s.pulsePos[1] == 100) yArrived = i;
    if (s.pulsePos[0] == 1000) xArrived = i;
  }
  EXPECT_GT(yArrived, 0u);
  EXPECT_LT(yArrived, xArrived);
}

TEST(ProgramMoves, DelayKeepsTheAxesStillForItsPeriods) {
  const RunResult r =
      runProgram(text("feed 5\nline 0.3 0.1\ndelay 100\nline 0.6 0.2\n"), RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  const auto& samples = r.trace.samples;
  size_t lastOfFirst = 0, firstOfSecond = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (samples[i].pulsePos[0] <= 300 && (samples[i].pulses[0] || samples[i].pulses[1]))
      lastOfFirst = i;
    if (firstOfSecond == 0 && samples[i].pulsePos[0] > 300) firstOfSecond = i;
  }
  ASSERT_GT(firstOfSecond, lastOfFirst);
  EXPECT_EQ(samples[lastOfFirst].pulsePos[0], 300);
  EXPECT_EQ(samples[lastOfFirst].pulsePos[1], 100);
  // Periods with no pulses between the two lines: the delay's 100, and a few
  // more where a line starts or ends below one pulse and where the fetch
  // waits for the output layer to hand out the blocks already queued.
  const size_t still = firstOfSecond - lastOfFirst - 1;
  EXPECT_GE(still, 100u);
  EXPECT_LE(still, 105u);
  EXPECT_EQ(samples.back().pulsePos[0], 600);
  EXPECT_EQ(samples.back().pulsePos[1], 200);
}

TEST(ProgramMoves, RefusedMovesNameTheirLineAndFunction) {
  // Three collinear points have no circle through them.
  RunResult r = runProgram(text("feed 2\nline 1\narcxy 2 0 3 0\n"), RunOptions{});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "line 3: VNL_ArcXY returned -5 (argument out of range)");
  // Without a feed speed neither circles nor point-to-point moves are queued.
  r = runProgram(text("\ncirclezxuvw 1 0 1 1 1 0\n"), RunOptions{});
  EXPECT_EQ(r.error,
            "line 2: VNL_CircleZXUVW returned -7 (feed speed not positive (set one with feed))");
  r = runProgram(text("ptp 1\n"), RunOptions{});
  EXPECT_EQ(r.error, "line 1: VNL_PtP returned -7 (feed speed not positive (set one with feed))");
}

}  // namespace
}  // namespace tv::run
