// Abort and the pulse jog on the virtual card in virtual time: what reaches
// the plant, and what the card queues hold afterwards.
#include <gtest/gtest.h>

#include <array>

#include "motion/tests/virtual_card_fixture.h"

namespace {

class CardIntervene : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(VNL_SetAccStep(10, 0), 0);
    ASSERT_EQ(VNL_SetDecStep(10, 0), 0);
    ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
    ASSERT_EQ(VNL_SetIncrease(0), 0);
  }
};

TEST_F(CardIntervene, AbortEmptiesTheCardQueuesAndTheNextLineStartsWhereThePlantStopped) {
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(VNL_Line(0.3, 0.15, 0, 0, 0, 0, 0), i);
  vnl::test::sleepCycles(8);
  ASSERT_GT(stock(0), 0u) << "the card queue holds pulses that have not been output";
  ASSERT_EQ(VNL_AbortMotion(0), 0);
  int32_t count = -1;
  ASSERT_EQ(VNL_GetCommandCount(&count, 0), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(stock(0), 0u);
  EXPECT_EQ(stock(1), 0u);
  const std::int64_t x = position(0), y = position(1);
  EXPECT_GT(x, 0);
  EXPECT_LT(x, 300) << "the first line was cut short";
  auto p = pulsePos();
  EXPECT_EQ(p[0], x) << "the pulse position is what reached the axis";
  EXPECT_EQ(p[1], y);
  vnl::test::sleepCycles(50);
  EXPECT_EQ(position(0), x) << "nothing more reaches the axes";
  EXPECT_EQ(position(1), y);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  ASSERT_GE(VNL_Line(0.2, -0.1, 0, 0, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(position(0), x + 200);
  EXPECT_EQ(position(1), y - 100);
  p = pulsePos();
  EXPECT_EQ(p[0], position(0));
  EXPECT_EQ(p[1], position(1));
}

TEST_F(CardIntervene, JogPulseReachesThePlantClampedAndTheCardQueueDrains) {
  ASSERT_EQ(VNL_JogPulse(5000, 2, 0), 0);
  EXPECT_EQ(position(2), 2048);
  EXPECT_EQ(stock(2), 0u);
  ASSERT_EQ(VNL_JogPulse(-40, 2, 0), 0);
  EXPECT_EQ(position(2), 2008);
  ASSERT_GE(VNL_LineZ(-0.008, 0), 0);
  waitStopped();
  EXPECT_EQ(position(2), 2000);
  EXPECT_EQ(pulsePos()[2], 2000);
}

}  // namespace
