// A blended chain and a hold on the virtual card in virtual time: the chain
// never stops at its corners, a held line stands still and continues. In both
// cases the plant ends where the library's pulse position says, so no pulse
// was lost or invented on the way to the card.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "motion/tests/virtual_card_fixture.h"

namespace {

class CardChain : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  }
  void expectPlantOnPulsePosition() {
    int32_t p[6] = {};
    ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
    for (unsigned a = 0; a < 6; ++a)
      EXPECT_EQ(position(a), p[a]) << "axis " << a;
  }
};

TEST_F(CardChain, ABlendedSquareKeepsMovingThroughItsCornersAndEndsOnItsTarget) {
  ASSERT_GE(VNL_EnableBlend(0), 0);
  EXPECT_EQ(VNL_CheckBlend(0), 0);
  ASSERT_GE(VNL_Line(1, 0, 0, 0, 0, 0, 0), 0);
  ASSERT_GE(VNL_Line(1, 1, 0, 0, 0, 0, 0), 0);
  ASSERT_GE(VNL_Line(0, 1, 0, 0, 0, 0, 0), 0);
  ASSERT_GE(VNL_Line(0, 0.5, 0, 0, 0, 0, 0), 0);
  ASSERT_GE(VNL_DisableBlend(0), 0);
  // From leaving the start to the approach of the last target the plant
  // never stands still for a whole millisecond (in the first and last 20
  // pulses the S-curve moves less than a pulse per cycle).
  bool started = false;
  int still = 0, maxStill = 0, n = 0;
  std::int64_t last[2] = {position(0), position(1)};
  while (VNL_GetMotionStatus(0) != 1 && n++ < 20000) {
    VNL_TimeDelay(1);
    const std::int64_t x = position(0), y = position(1);
    const bool moved = x != last[0] || y != last[1];
    started = started || std::abs(x) + std::abs(y) >= 20;
    const bool nearEnd = std::abs(x) < 20 && std::abs(y - 500) < 20;
    if (started && !moved && !nearEnd) maxStill = std::max(maxStill, ++still);
    if (moved) still = 0;
    last[0] = x;
    last[1] = y;
  }
  ASSERT_LT(n, 20000) << "the group did not stop";
  EXPECT_EQ(maxStill, 0) << "the chain stopped inside";
  EXPECT_EQ(position(0), 0);
  EXPECT_EQ(position(1), 500);
  expectPlantOnPulsePosition();
}

TEST_F(CardChain, AHeldLineStandsStillAndContinuesToItsTarget) {
  ASSERT_GE(VNL_Line(10, 0, 0, 0, 0, 0, 0), 0);
  VNL_TimeDelay(1000);
  ASSERT_EQ(VNL_HoldMotion(0), 0);
  const std::int64_t held = position(0);
  EXPECT_GT(held, 1000);
  EXPECT_LT(held, 9000) << "the hold stopped the line before its end";
  VNL_TimeDelay(300);
  EXPECT_EQ(position(0), held) << "held means still";
  ASSERT_EQ(VNL_ContiMotion(0), 0);
  waitStopped();
  EXPECT_EQ(position(0), 10000);
  expectPlantOnPulsePosition();
}

// A hold with a long deceleration outlasts the caller's wait (-11) and the
// group is still Holding when the library is closed: the close resets it
// there and returns.
TEST_F(CardChain, ALibraryClosedDuringALongHoldCloses) {
  ASSERT_EQ(VNL_SetDecStep(400, 0), 0);
  ASSERT_GE(VNL_Line(10, 0, 0, 0, 0, 0, 0), 0);
  VNL_TimeDelay(1000);
  EXPECT_EQ(VNL_HoldMotion(0), -11);
  EXPECT_EQ(VNL_CloseSystem(), 0);
}

// Random moves (lines and arcs, blending on or off) interrupted at random
// times by a hold and continue or by an abort: at rest the plant stands
// exactly where the library's pulse position says.
TEST_F(CardChain, RandomHoldsAndAbortsNeverLoseOrInventAPulse) {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> coord(-2.0, 2.0);
  std::uniform_int_distribution<int> when(5, 400);
  ASSERT_EQ(VNL_SetFeedSpeed(4, 0), 4.0);
  int holds = 0, aborts = 0;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    const bool blend = round % 2 == 1;
    if (blend) {
      ASSERT_GE(VNL_EnableBlend(0), 0);
    }
    for (int k = 0; k < 4; ++k) {
      const double x = coord(rng), y = coord(rng);
      if (k == 2) {
        // A full circle from the last line's end about a centre nearby.
        ASSERT_GE(VNL_CircleXY(x * 0.1, y * 0.1, 1, 0), 0);
      } else {
        ASSERT_GE(VNL_Line(x, y, 0, 0, 0, 0, 0), 0);
      }
    }
    if (blend) {
      ASSERT_GE(VNL_DisableBlend(0), 0);
    }
    VNL_TimeDelay(when(rng));
    if (round % 3 == 2) {
      aborts += VNL_AbortMotion(0) == 0;  // -13 when the group had already stopped
    } else if (VNL_HoldMotion(0) == 0) {
      ++holds;
      VNL_TimeDelay(when(rng) / 4);
      EXPECT_EQ(VNL_ContiMotion(0), 0);
    }
    waitStopped();
    expectPlantOnPulsePosition();
  }
  EXPECT_EQ(holds, 4) << "every hold met running motion";
  EXPECT_EQ(aborts, 2);
}

}  // namespace
