// Pitch compensation: interpolation between table entries, the table of the
// direction of travel, and the running correction that never drifts from
// the table's value at the commanded position.
#include "motion/core/compensation.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using vnl::CompensationTrack;

// Entries every 100 pulses, entry 10 at position 0: +4 per entry forwards,
// -6 per entry backwards.
COMP_PARAM rampTable() {
  COMP_PARAM t{};
  t.dwInterval = 100;
  t.wZeroIndex = 10;
  for (int i = 0; i < 256; ++i) {
    t.wPositive[i] = static_cast<int16_t>(4 * (i - 10));
    t.wNegative[i] = static_cast<int16_t>(-6 * (i - 10));
  }
  return t;
}

TEST(Compensation, InterpolatesBetweenEntriesOfTheTableOfTheDirection) {
  const COMP_PARAM t = rampTable();
  EXPECT_EQ(vnl::compensationAt(t, 1, 0), 0);
  EXPECT_EQ(vnl::compensationAt(t, 1, 50), 2);
  EXPECT_EQ(vnl::compensationAt(t, 1, 100), 4);
  EXPECT_EQ(vnl::compensationAt(t, 1, 250), 10);
  EXPECT_EQ(vnl::compensationAt(t, -1, 250), -15);
  // Far beyond either end the outermost entries hold (and nothing is read
  // outside the tables).
  EXPECT_EQ(vnl::compensationAt(t, 1, 1000000), 4 * 245);
  EXPECT_EQ(vnl::compensationAt(t, -1, -1000000), 60);
}

TEST(Compensation, AStandingAxisKeepsTheTableOfItsLastMove) {
  const COMP_PARAM t = rampTable();
  CompensationTrack track;
  EXPECT_EQ(vnl::compensationStep(t, track, 0, 200), 8);
  EXPECT_EQ(vnl::compensationStep(t, track, 200, 0), 0) << "still the positive table";
  // Turning round at 200 switches to the negative table: -11.94 at 199,
  // truncated, less the 8 applied.
  EXPECT_EQ(vnl::compensationStep(t, track, 200, -1), -11 - 8);
  EXPECT_EQ(track.direction, -1);
  EXPECT_EQ(track.applied, vnl::compensationAt(t, -1, 199));
  // Without an interval nothing is added and nothing is tracked.
  COMP_PARAM off = t;
  off.dwInterval = 0;
  CompensationTrack idle;
  EXPECT_EQ(vnl::compensationStep(off, idle, 0, 500), 0);
  EXPECT_EQ(idle.applied, 0);
}

TEST(Compensation, TheAddedPulsesSumToTheCorrectionAtTheCommandedPosition) {
  const COMP_PARAM t = rampTable();
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> count(-300, 300);
  CompensationTrack track;
  int64_t position = 0, added = 0;
  for (int period = 0; period < 5000; ++period) {
    const int32_t c = count(random);
    added += vnl::compensationStep(t, track, position, c);
    position += c;
    ASSERT_EQ(added, vnl::compensationAt(t, track.direction, position)) << "period " << period;
  }
}

}  // namespace
