// Lines on the virtual card in virtual time: the planner's pulses go through
// the output layer and the card queues to the plant, and end exactly on the
// target, also when cycle interrupts arrive late as on a loaded PC.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "motion/tests/virtual_card_fixture.h"

namespace {

constexpr auto kCycle = std::chrono::nanoseconds(vnl::test::kCycleNs);

class CardLine : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    ASSERT_EQ(init(), 0);
  }
};

TEST_F(CardLine, AThreeAxisLineMovesThePlantExactlyToItsTarget) {
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(2.5, -1.25, 0.7505, 0, 0, 0, 0), 0);
  EXPECT_EQ(VNL_GetMotionStatus(0), 0);
  waitStopped();
  EXPECT_EQ(position(0), 2500);
  EXPECT_EQ(position(1), -1250);
  EXPECT_EQ(position(2), 750) << "truncated toward zero";
  EXPECT_EQ(position(3), 0);
  EXPECT_EQ(stock(0), 0u) << "stopped means the card queue is drained too";
}

// A reset makes where the axes stand the new zero: pulse and command
// positions read 0, and the next incremental line goes from there. A line
// queued right after it runs: the reset is over when VNL_ResetMotion returns
// (it used to be taken a cycle later, with the line's start, and the line was
// dropped while reported queued; and a second reset took the card counters,
// restarted by the first, for positions).
TEST_F(CardLine, AResetZeroesThePositionsWhereTheAxesStand) {
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(VNL_ResetMotion(), 0);
    int32_t p[6]{-1, -1, -1, -1, -1, -1};
    ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
    EXPECT_EQ(p[0], 0);
    double u[6]{};
    ASSERT_EQ(VNL_GetCurPos(&u[0], &u[1], &u[2], &u[3], &u[4], &u[5], 0), 0);
    EXPECT_EQ(u[0], 0.0);
    ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
    ASSERT_EQ(VNL_Line(0.5, 0, 0, 0, 0, 0, 0), 0);
    waitStopped();
    EXPECT_EQ(position(0), 500 * (round + 1)) << "round " << round;
  }
}

TEST_F(CardLine, LateInterruptsLoseNoPulseAndNeverEmptyTheQueue) {
  // From the next cycle on, now and then a cycle delivers its interrupt 1 to
  // 40 cycles late; no interrupt is ever later than 40 cycles, and the queue
  // has 40 cycles to refill after each late one.
  std::mt19937 random(20261208);
  const std::uint64_t first = card_->cycles() + 1;
  int late = 0;
  for (std::uint64_t c = first; c < first + 20000; ++c) {
    if (random() % 50 != 0) continue;
    const std::uint32_t delay = 1 + random() % 40;
    card_->delayCycleInterrupt(c, delay);
    ++late;
    c += delay + 40;
  }

  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(12, 5, 0, 0, 0, 0, 0), 0);
  bool filled = false;
  int emptyWhileRunning = 0;
  int32_t x = 0, y = 0, z = 0, u = 0, v = 0, w = 0;
  for (int n = 0; n < 60000 && VNL_GetMotionStatus(0) != 1; ++n) {
    platform::clock().sleepFor(kCycle);
    VNL_GetPulsePos(&x, &y, &z, &u, &v, &w, 0);
    const bool producing = x != 12000 || y != 5000;
    const unsigned s = stock(0);
    if (s >= 40) filled = true;
    if (filled && producing && s == 0) ++emptyWhileRunning;
  }
  ASSERT_EQ(VNL_GetMotionStatus(0), 1);
  EXPECT_TRUE(filled);
  EXPECT_EQ(emptyWhileRunning, 0);
  EXPECT_EQ(position(0), 12000);
  EXPECT_EQ(position(1), 5000);
  EXPECT_GT(card_->cycles() - first, 4000u);
  EXPECT_GT(late, 20);
}

}  // namespace
