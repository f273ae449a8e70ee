// Round ranges and tick values of the plots.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "axis_ticks.h"

namespace tv::run {
namespace {

bool isRoundStep(double step) {
  const double mag = std::pow(10.0, std::floor(std::log10(step) + 1e-12));
  const double norm = step / mag;
  return std::fabs(norm - 1) < 1e-9 || std::fabs(norm - 2) < 1e-9 || std::fabs(norm - 5) < 1e-9;
}

bool isMultiple(double v, double step) {
  const double k = v / step;
  return std::fabs(k - std::round(k)) < 1e-6;
}

TEST(AxisTicks, RangesHoldTheDataWithRoundEndsAndSteps) {
  const double cases[][2] = {{0, 10},         {0.013, 4.26829}, {-3.7, 12.2}, {1000, 1003.5},
                             {-0.004, 0.002}, {-250, -240},     {0, 1e-5},    {7, 123456}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c[0] << " .. " << c[1]);
    const AxisScale s = roundScale(c[0], c[1], 6);
    EXPECT_LE(s.low, c[0]);
    EXPECT_GE(s.high, c[1]);
    EXPECT_TRUE(isRoundStep(s.step)) << s.step;
    EXPECT_TRUE(isMultiple(s.low, s.step)) << s.low;
    EXPECT_TRUE(isMultiple(s.high, s.step)) << s.high;
    const double intervals = (s.high - s.low) / s.step;
    EXPECT_GE(intervals, 3);
    EXPECT_LE(intervals, 10);
  }
}

TEST(AxisTicks, ZeroIsShownWhenTheDataComeNearIt) {
  EXPECT_EQ(roundScale(0.013, 4.26829, 5).low, 0);
  EXPECT_EQ(roundScale(-9.5, -1.0, 5).high, 0);
  // Far from zero the range stays on the data.
  const AxisScale far = roundScale(1000, 1003.5, 5);
  EXPECT_GE(far.low, 999);
  EXPECT_LE(far.high, 1004);
}

TEST(AxisTicks, FlatSeriesGetARangeAroundTheirValue) {
  // A straight line at Y = 0, and one at a value no round step hits.
  const AxisScale zero = roundScale(0, 0, 5);
  EXPECT_LT(zero.low, 0);
  EXPECT_GT(zero.high, 0);
  const AxisScale flat = roundScale(4.26829, 4.26829, 5);
  EXPECT_LT(flat.low, 4.26829);
  EXPECT_GT(flat.high, 4.26829);
  EXPECT_GT(flat.low, 2);
  EXPECT_LT(flat.high, 7);
  EXPECT_TRUE(isRoundStep(flat.step));
}

TEST(AxisTicks, TicksAreTheStepsMultiplesWithAnExactZero) {
  const std::vector<double> t = ticksWithin(-0.3, 0.5, 0.1);
  ASSERT_EQ(t.size(), 9u);
  EXPECT_NEAR(t.front(), -0.3, 1e-12);
  EXPECT_NEAR(t.back(), 0.5, 1e-12);
  EXPECT_EQ(t[3], 0.0);
  EXPECT_FALSE(std::signbit(t[3]));
  // Ends off the grid: only the multiples inside.
  EXPECT_EQ(ticksWithin(0.05, 0.29, 0.1).size(), 2u);
}

TEST(AxisTicks, BadInputFallsBackInsteadOfLooping) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const AxisScale s = roundScale(nan, 1, 5);
  EXPECT_EQ(s.low, 0);
  EXPECT_EQ(s.high, 1);
  EXPECT_EQ(roundScale(-inf, inf, 5).high, 1);
  EXPECT_TRUE(ticksWithin(0, 1, 0).empty());
  EXPECT_TRUE(ticksWithin(0, inf, 1).empty());
  EXPECT_LE(ticksWithin(0, 1e9, 1).size(), 1000u);
}

}  // namespace
}  // namespace tv::run
