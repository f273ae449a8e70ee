#include "motion/core/homing_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace vnl::homing;

TEST(HomeStep, LimitedToEightyPercentOfTheMotorSpeed) {
  // 1000 units/s, 1000 pulses per revolution, pitch 10, 3000 rpm, 5 ms: 100
  // rev/s wanted, 40 allowed, 200 pulses per period with the default ramp.
  const AxisScale axis{10.0, 1.0, 1000, 3000};
  const HomeStep h = homeStep(1000.0, axis, 5.0);
  EXPECT_DOUBLE_EQ(h.pulsesPerPeriod, 200.0);
  EXPECT_EQ(effectiveAccelerationSteps(h.accelerationSteps), 10);
}

TEST(HomeStep, SmallStepsShortenTheRamp) {
  const AxisScale axis{1.0, 1.0, 1000, 3000};
  const HomeStep a = homeStep(1.34, axis, 5.0);  // 6.7 pulses per period
  EXPECT_NEAR(a.pulsesPerPeriod, 6.7, 1e-12);
  EXPECT_EQ(a.accelerationSteps, 6);
  const HomeStep b = homeStep(0.08, axis, 5.0);  // 0.4 pulses per period
  EXPECT_DOUBLE_EQ(b.pulsesPerPeriod, 1.0);
  EXPECT_EQ(b.accelerationSteps, 1);
  EXPECT_EQ(effectiveAccelerationSteps(1), 1);
  EXPECT_EQ(effectiveAccelerationSteps(80), 50);
  const HomeStep c = homeStep(std::nan(""), axis, 5.0);
  EXPECT_DOUBLE_EQ(c.pulsesPerPeriod, 1.0);
}

TEST(HomeOffset, PulsesTruncateTowardZero) {
  const AxisScale axis{3.0, 1.0, 1000, 3000};
  EXPECT_EQ(homeOffsetPulses(1.0, axis), 333);
  EXPECT_EQ(homeOffsetPulses(-1.0, axis), -333);
}

TEST(Ramp, EntriesClimbToTheHomeStep) {
  const Ramp r = makeRamp(200.0, 10);
  EXPECT_EQ(r.entry[0], 0);
  EXPECT_EQ(r.entry[3], 60);
  EXPECT_EQ(r.entry[10], 200);
  const Ramp s = makeRamp(6.7, 6);
  EXPECT_EQ(s.entry[1], 1);  // 1.116 truncated
  EXPECT_EQ(s.entry[6], 6);
}

TEST(OffsetMove, SpreadsTheDistanceExactlyWithAndWithoutSmoothing) {
  std::mt19937 rng(1208);
  std::uniform_int_distribution<std::int32_t> dist(-100000, 100000);
  std::uniform_real_distribution<double> step(1.0, 400.0);
  std::uniform_int_distribution<int> smooth(1, 55);
  for (int n = 0; n < 2000; ++n) {
    const std::int32_t distance = dist(rng);
    const double h = step(rng);
    const int s = smooth(rng);
    OffsetMove m;
    m.start(distance, h, s);
    std::int64_t total = 0;
    std::int32_t peak = 0;
    int periods = 0;
    while (!m.finished() && periods < 1'000'000) {
      const std::int32_t c = m.next();
      total += c;
      peak = std::max(peak, std::abs(c));
      ++periods;
    }
    ASSERT_EQ(total, distance) << "distance " << distance << " step " << h << " smoothing " << s;
    // Uniform at about half the home step: no period above the even share
    // (the moving average never exceeds what it averages).
    const double periodsWanted = std::max(1.0, std::trunc(2.0 * std::abs(distance) / h));
    EXPECT_LE(peak, static_cast<std::int32_t>(std::ceil(std::abs(distance) / periodsWanted)))
        << distance << " " << h;
  }
}

TEST(OffsetMove, ShortDistanceGoesOutInOnePeriod) {
  OffsetMove m;
  m.start(7, 200.0, 1);
  EXPECT_EQ(m.next(), 7);
  EXPECT_TRUE(m.finished());
  m.start(0, 200.0, 10);
  EXPECT_TRUE(m.finished());
  EXPECT_EQ(m.next(), 0);
}
