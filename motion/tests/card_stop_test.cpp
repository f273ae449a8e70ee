// Stopping a group on the virtual card in virtual time, cases the random soak
// found: an abort while the group's command has left the planner but the card
// queue still holds its tail; aborts while the card's interrupts come late;
// the pulse jog after such an abort; the continuous jog into the software
// limit. What reaches the plant is what the library reports.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "motion/tests/virtual_card_fixture.h"

namespace {

class CardStop : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  }
};

// The line's 100 pulses are all planned within a few periods; 20 ms later
// the card queue still holds its tail. The group is not idle while its axes
// move: the abort stops it where the card got to and says so.
TEST_F(CardStop, AbortWhileOnlyTheCardQueueStillMovesStopsTheGroup) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(5, 0), 5.0);
  ASSERT_EQ(VNL_Line(0.1, 0, 0, 0, 0, 0, 0), 0);
  VNL_TimeDelay(20);
  ASSERT_GT(stock(0), 0u) << "the card still moves";
  EXPECT_EQ(VNL_AbortMotion(0), 0);
  const std::int64_t x = position(0);
  EXPECT_GT(x, 0);
  EXPECT_LT(x, 100) << "the line was cut short";
  vnl::test::sleepCycles(50);
  EXPECT_EQ(position(0), x) << "nothing more reaches the axis";
  expectPlantAtPulsePositions();
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  EXPECT_EQ(VNL_GetErrorCode(0), 0);
  // The last targets are where the axis stopped: an incremental move and a
  // circle start from there and end on their targets.
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_GE(VNL_Line(0.05, 0.02, 0, 0, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(position(0), x + 50);
  EXPECT_EQ(position(1), 20);
  ASSERT_GE(VNL_CircleXY(0.02, 0, 1, 0), 0);
  waitStopped();
  EXPECT_EQ(VNL_GetErrorCode(0), 0) << "the circle was planned";
  EXPECT_EQ(position(0), x + 50);
  EXPECT_EQ(position(1), 20);
  expectPlantAtPulsePositions();
  // An abort of a group that has stopped is still refused as before.
  EXPECT_EQ(VNL_AbortMotion(0), -13);
}

// A line of W while the card's interrupt raised 36 cycles later comes 257
// cycles late: the abort's request times out (-13) and is served late. The
// axis's output is then off while the planner runs the line to its end, and
// the end-point correction that follows must not reach the card in one
// command wrapped to 16 bits: the plant stands where the library says.
TEST_F(CardStop, AnEndPointCorrectionAfterALateAbortIsNotWrapped) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(20, 0), 20.0);
  card_->delayCycleInterrupt(card_->cycles() + 36, 257);
  ASSERT_GE(VNL_Line(0, 0, 0, 0, 0, 50, 0), 0);
  VNL_TimeDelay(88);
  EXPECT_EQ(VNL_AbortMotion(0), -13) << "the cycle is not served in time";
  VNL_TimeDelay(4000);
  // The late abort left the group held on its path; a second one stops it.
  EXPECT_EQ(VNL_AbortMotion(0), 0);
  waitStopped();
  expectPlantAtPulsePositions();
  EXPECT_LT(position(5), 50000);
}

// Axis 5 (slot W) with software limits at +-50 units, checked.
void limitW() {
  MACHINE_PARAM p{};
  VNL_GetMachParam(&p, 5, 0);
  p.dfHighLimit = 50.0;
  p.dfLowLimit = -50.0;
  ASSERT_EQ(VNL_SetMachParam(&p, 5, 0), 0);
}

// A continuous jog of W while the card's interrupt raised 36 cycles later
// comes 257 cycles late: the card queue runs dry meanwhile and the abort's
// hold cannot finish in its 50 polls. Nothing may wrap: once the interrupts
// come again the group stops, every axis stands where the library says, and
// no limit error appears far inside the limits.
TEST_F(CardStop, AbortUnderADelayedInterruptLeavesNoFalseLimit) {
  limitW();
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetOverTravelCheck(1, 1, 1, 1, 1, 1, 0), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(5, 0), 5.0);
  ASSERT_EQ(VNL_SetAccStep(79, 0), 0);
  ASSERT_EQ(VNL_SetDecType('S', 0), 0);
  card_->delayCycleInterrupt(card_->cycles() + 36, 257);
  ASSERT_GE(VNL_JogConti(1, 92, 5, 0), 0);
  VNL_TimeDelay(88);
  EXPECT_EQ(VNL_AbortMotion(0), -13) << "the cycle is not served in time";
  // Once cycles are served again a second abort stops the group.
  EXPECT_EQ(VNL_AbortMotion(0), 0) << "error word " << std::hex << VNL_GetErrorCode(0);
  waitStopped();
  EXPECT_EQ(VNL_GetErrorCode(0), 0) << "no limit error far inside the limits";
  expectPlantAtPulsePositions();
  vnl::test::sleepCycles(100);
  expectPlantAtPulsePositions();
  // Positions in user units agree with the plant too.
  double u[6];
  ASSERT_EQ(VNL_GetCurPos(&u[0], &u[1], &u[2], &u[3], &u[4], &u[5], 0), 0);
  EXPECT_DOUBLE_EQ(u[5], position(5) / 1000.0);
  EXPECT_GT(position(5), 0);
  EXPECT_LT(position(5), 50000);
}

// An abort whose request times out under late interrupts during a blended
// chain must not leave the group's output switched off (the request, served
// late, used to switch it off with nobody to switch it on again, and a
// pulse jog then moved nothing): once cycles are served again the group
// stops on its path, continues to the end of what it held, and a pulse jog
// moves the axis by its pulses.
TEST_F(CardStop, APulseJogAfterATimedOutAbortMovesTheAxis) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_GE(VNL_EnableBlend(0), 0);
  for (int i = 0; i < 20; ++i)
    ASSERT_GE(VNL_Line(0.2, i % 2 ? 0.1 : -0.1, 0, 0, 0, 0, 0), 0);
  card_->delayCycleInterrupt(card_->cycles() + 36, 257);
  VNL_TimeDelay(88);
  EXPECT_EQ(VNL_AbortMotion(0), -13) << "the cycle is not served in time";
  VNL_TimeDelay(400);
  EXPECT_EQ(VNL_GetMotionStatus(0), 2) << "held on its path";
  EXPECT_EQ(VNL_ContiMotion(0), 0);
  waitStopped();
  expectPlantAtPulsePositions();
  const std::int64_t y = position(1);
  ASSERT_EQ(VNL_JogPulse(-1217, 1, 0), 0);
  vnl::test::sleepCycles(10);
  EXPECT_EQ(position(1), y - 1217) << "the pulse jog reached the axis";
  expectPlantAtPulsePositions();
}

// An abort that times out under late interrupts drops the queued commands
// and holds the running one; continued, that one ends on its own target. The
// next command starts from there, not from the last target of the dropped
// ones: a circle about a centre near where the axes stand is a circle (its
// start was the dropped line's end, and the planner refused it with 0xF401),
// and an incremental line counts from the standing position.
TEST_F(CardStop, CommandsAfterATimedOutAbortStartWhereTheAxesStand) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_GE(VNL_Line(1, 0, 0, 0, 0, 0, 0), 0);
  ASSERT_GE(VNL_Line(0, 0.5, 0, 0, 0, 0, 0), 0);
  ASSERT_GE(VNL_Line(0.2, 0.2, 0, 0, 0, 0, 0), 0);
  card_->delayCycleInterrupt(card_->cycles() + 20, 257);
  VNL_TimeDelay(40);
  EXPECT_EQ(VNL_AbortMotion(0), -13) << "the cycle is not served in time";
  VNL_TimeDelay(400);
  ASSERT_EQ(VNL_GetMotionStatus(0), 2) << "held on its path";
  ASSERT_EQ(VNL_ContiMotion(0), 0);
  waitStopped();
  const auto standing = pulsePos();
  EXPECT_EQ(standing[0], 1000);
  EXPECT_EQ(standing[1], 0);
  ASSERT_GE(VNL_CircleXY(0.3, 0, 0, 0), 0);
  ASSERT_GE(VNL_Line(0.1, 0, 0, 0, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(VNL_GetErrorCode(0), 0) << std::hex << VNL_GetErrorCode(0);
  const auto end = pulsePos();
  EXPECT_EQ(end[0], standing[0] + 100);
  EXPECT_EQ(end[1], standing[1]);
  expectPlantAtPulsePositions();
}

// A continuous jog runs to the software limit and stops there without an
// error: it ends one pulse inside the bound the planner checks (the limit
// less its offset), which the check requires positions to lie strictly
// inside. Also on a reversed axis, whose upper limit lies at negative pulses.
TEST_F(CardStop, AContinuousJogStopsAtTheSoftwareLimitWithoutAnError) {
  limitW();
  MACHINE_PARAM p{};
  VNL_GetMachParam(&p, 4, 0);
  p.dfHighLimit = 20.0;
  p.dfLowLimit = -20.0;
  p.dfLowLimitOffset = 5.0;
  p.wDirReverse = 1;
  ASSERT_EQ(VNL_SetMachParam(&p, 4, 0), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetOverTravelCheck(1, 1, 1, 1, 1, 1, 0), 0);
  struct Case {
    int32_t direction;
    uint8_t axis;
    std::int64_t plant;
  };
  for (const Case& c :
       {Case{1, 5, 49999}, Case{-1, 5, -49999}, Case{1, 4, -19999}, Case{-1, 4, 14999}}) {
    ASSERT_GE(VNL_JogConti(c.direction, 100, c.axis, 0), 0);
    waitStopped();
    EXPECT_EQ(VNL_GetErrorCode(0), 0) << "axis " << int(c.axis) << " direction " << c.direction;
    EXPECT_EQ(position(c.axis), c.plant);
    expectPlantAtPulsePositions();
  }
  double u[6];
  ASSERT_EQ(VNL_GetCurPos(&u[0], &u[1], &u[2], &u[3], &u[4], &u[5], 0), 0);
  EXPECT_DOUBLE_EQ(u[4], -14.999) << "one pulse inside the lower limit plus its offset";
}

// The hunt for a virtual clock that stands still with a cycle waiting for an
// interrupt its thread never gets: holds interrupted by aborts and by close
// at many different moments, some with late interrupts. The fixture's
// watchdog ends the test with the clock's and the card's state should time
// stop; every round must also close and leave the plant at the positions.
TEST_F(CardStop, CloseAndAbortDuringHoldsNeverStopTheClock) {
  for (int round = 0; round < 60; ++round) {
    // Each initialisation starts the pulse positions at 0 where the plant stands.
    std::int64_t at[6];
    for (unsigned a = 0; a < 6; ++a)
      at[a] = position(a);
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(VNL_SetDecStep(5 + round % 40, 0), 0);
    ASSERT_EQ(VNL_SetFeedSpeed(5 + round % 7, 0), 5 + round % 7);
    if (round % 3 == 0) {
      ASSERT_GE(VNL_EnableBlend(0), 0);
    }
    for (int k = 0; k < 4; ++k)
      ASSERT_GE(VNL_Line(0.3 * (k + 1), 0.2 * (k % 2), 0, 0, 0, 0, 0), 0);
    if (round % 4 == 1) card_->delayCycleInterrupt(card_->cycles() + round % 13, 40 + round);
    VNL_TimeDelay(5 + (round * 7) % 60);
    VNL_HoldMotion(0);
    VNL_TimeDelay(round % 9);
    if (round % 2 == 0) {
      for (int k = 0; k < 5 && VNL_AbortMotion(0) != 0; ++k)
        VNL_TimeDelay(100);
      waitStopped();
      const auto p = pulsePos();
      for (unsigned a = 0; a < 6; ++a)
        EXPECT_EQ(position(a) - at[a], p[a]) << "round " << round << " axis " << a;
    }
    ASSERT_EQ(VNL_CloseSystem(), 0) << "round " << round;
  }
}

}  // namespace
