// Jogs, hold, continue, abort, blending, delays and the raw enqueue through
// the exported functions, in simulation: every wait of the library runs one
// simulated cycle on the test's thread.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "motion/tests/group_helpers.h"
#include "platform/clock/clock.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

extern "C" {
int32_t VNL_jog_i(int32_t, uint8_t, uint16_t);
int32_t VNL_jog_s(double, int32_t, uint8_t, uint16_t);
int32_t VNL_motion_abort(uint16_t);
int32_t VNL_check_blend(uint16_t);
int32_t vnl_test_step_home_state(uint16_t axis);
}

namespace {

using vnl::test::commandCount;
using vnl::test::pulsePos;
using vnl::test::waitStopped;

MotionCommand lineRecord(uint32_t index, double x, double speed) {
  MotionCommand c{};
  c.dwCode = 0x8101;
  c.dfSpeed = speed;
  c.dwIndex = index;
  c.dwCoordMode = 0x8600;
  c.dfTarget[0] = x;
  return c;
}

class InterveneSim : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_EnableSimulation();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    setUpMachine();
    CardConfig c{2, 576, 0, 0};
    ASSERT_EQ(VNL_InitSystem(1, &c, 1), 0);
    // Short moves: 10 periods of acceleration and of deceleration, so a
    // line of 0.3 units at 10 units/s lasts about 40 periods.
    ASSERT_EQ(VNL_SetAccStep(10, 0), 0);
    ASSERT_EQ(VNL_SetDecStep(10, 0), 0);
    ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
  }
  void TearDown() override {
    vnl_set_period_observer(nullptr, nullptr);
    VNL_CloseSystem();
    MACHINE_PARAM p{};
    VNL_GetMachParam(&p, 1, 0);
    p.wDirReverse = 0;
    VNL_SetMachParam(&p, 1, 0);
  }
  virtual void setUpMachine() {}
};

TEST_F(InterveneSim, ChecksComeInOrderAndBadInputChangesNothing) {
  EXPECT_EQ(VNL_JogSpace(1.0, 50, 0, 72), -6);
  EXPECT_EQ(VNL_JogSpace(1.0, 50, 0, 1), -6) << "group 1 is not configured";
  EXPECT_EQ(VNL_JogSpace(1.0, 50, 6, 0), -5);
  EXPECT_EQ(VNL_JogSpace(1.0, 50, 0x80, 0), -5);
  EXPECT_EQ(VNL_JogSpace(1.0, 0, 0, 0), -5);
  EXPECT_EQ(VNL_JogSpace(std::numeric_limits<double>::quiet_NaN(), 50, 0, 0), -5);
  EXPECT_EQ(VNL_JogSpace(3.0e6, 50, 0, 0), -5) << "3e9 pulses do not fit a pulse counter";
  EXPECT_EQ(VNL_JogConti(0, 50, 0, 0), -5);
  EXPECT_EQ(VNL_JogConti(2, 50, 0, 0), -5);
  EXPECT_EQ(VNL_JogConti(1, 50, 6, 0), -5);
  EXPECT_EQ(VNL_JogPulse(10, 6, 0), -5);
  EXPECT_EQ(VNL_JogPulse(10, 0, 72), -6);
  EXPECT_EQ(VNL_EnqueueCommand(nullptr, 0), -5);
  MotionCommand c = lineRecord(0, 1.0, 5.0);
  EXPECT_EQ(VNL_EnqueueCommand(&c, 72), -6);
  EXPECT_EQ(VNL_EnqueueCommand(&c, 65535), -6);
  EXPECT_EQ(VNL_HoldMotion(72), -6);
  EXPECT_EQ(VNL_ContiMotion(72), -6);
  EXPECT_EQ(VNL_AbortMotion(72), -6);
  EXPECT_EQ(VNL_CheckBlend(72), -6);
  EXPECT_EQ(VNL_CheckDelay(72), -6);
  EXPECT_EQ(VNL_DelayMotion(5, 72), -6);
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(VNL_GetPtPSpeed(0), 10) << "a refused jog leaves the point-to-point speed";
  EXPECT_EQ(pulsePos(), (std::array<int32_t, 6>{}));
}

TEST_F(InterveneSim, AfterCloseEveryFunctionRefusesAndNoFreedQueueIsWritten) {
  ASSERT_EQ(VNL_CloseSystem(), 0);
  MotionCommand c = lineRecord(0, 1.0, 5.0);
  EXPECT_EQ(VNL_EnqueueCommand(&c, 0), -1) << "the queue storage is gone";
  EXPECT_EQ(VNL_JogSpace(1.0, 50, 0, 0), -1);
  EXPECT_EQ(VNL_JogConti(1, 50, 0, 0), -1);
  EXPECT_EQ(VNL_JogPulse(10, 0, 0), -1);
  EXPECT_EQ(VNL_HoldMotion(0), -1);
  EXPECT_EQ(VNL_ContiMotion(0), -1);
  EXPECT_EQ(VNL_AbortMotion(0), -1);
  EXPECT_EQ(VNL_EnableBlend(0), -1);
  EXPECT_EQ(VNL_DisableBlend(0), -1);
  EXPECT_EQ(VNL_CheckBlend(0), -1);
  EXPECT_EQ(VNL_DelayMotion(5, 0), -1);
  EXPECT_EQ(VNL_CheckDelay(0), -1);
  EXPECT_EQ(VNL_GetErrorCode(0), -1);
}

TEST_F(InterveneSim, HoldAndContinueRefuseAGroupInTheWrongState) {
  EXPECT_EQ(VNL_HoldMotion(0), -11) << "an idle group cannot be held";
  EXPECT_EQ(VNL_ContiMotion(0), -12) << "nor continued";
  ASSERT_EQ(VNL_LineX(0.3, 0), 0);
  EXPECT_EQ(VNL_ContiMotion(0), -12) << "a running group is not held";
  waitStopped();
}

TEST_F(InterveneSim, AHeldLineIsFinishedByContinue) {
  ASSERT_EQ(VNL_LineX(0.3, 0), 0);
  VNL_TimeDelay(3);
  ASSERT_EQ(VNL_HoldMotion(0), 0);
  EXPECT_EQ(VNL_GetMotionStatus(0), 2) << "held";
  const auto atHold = pulsePos();
  VNL_TimeDelay(20);
  EXPECT_EQ(pulsePos(), atHold) << "a held group stands";
  EXPECT_EQ(VNL_ContiMotion(0), 0);
  VNL_TimeDelay(1);
  EXPECT_EQ(VNL_ContiMotion(0), -12) << "the cycle took the continue: no longer held";
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 300);
}

TEST_F(InterveneSim, AbortDiscardsTheQueueAndTheNextIncrementalLineStartsWhereTheAxesStopped) {
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(VNL_LineX(0.3, 0), i);
  VNL_TimeDelay(5);
  ASSERT_GT(commandCount(), 90);
  EXPECT_EQ(VNL_AbortMotion(0), 0);
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1) << "nothing left to run";
  const int32_t stopped = pulsePos()[0];
  EXPECT_GT(stopped, 0);
  EXPECT_LE(stopped, 300) << "the queued lines never ran";
  VNL_TimeDelay(50);
  EXPECT_EQ(pulsePos()[0], stopped);
  double x = 0, y = 0, z = 0, u = 0, v = 0, w = 0;
  ASSERT_EQ(VNL_GetCurPos(&x, &y, &z, &u, &v, &w, 0), 0);
  EXPECT_DOUBLE_EQ(x, stopped / 1000.0);
  ASSERT_GE(VNL_LineX(0.25, 0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], stopped + 250);
}

TEST_F(InterveneSim, AbortOfAnIdleGroupReportsFailureButStillEmptiesTheQueue) {
  MotionCommand c = lineRecord(7, 1.0, 5.0);
  ASSERT_EQ(VNL_EnqueueCommand(&c, 0), 0);
  EXPECT_EQ(VNL_motion_abort(0), -13) << "neither running nor held";
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
}

TEST_F(InterveneSim, AbortOfAHeldGroupDropsTheHeldCommand) {
  ASSERT_EQ(VNL_LineX(0.3, 0), 0);
  ASSERT_EQ(VNL_LineX(0.6, 0), 1);
  VNL_TimeDelay(3);
  ASSERT_EQ(VNL_HoldMotion(0), 0);
  const int32_t held = pulsePos()[0];
  EXPECT_EQ(VNL_AbortMotion(0), 0);
  EXPECT_EQ(VNL_ContiMotion(0), -12) << "abort clears the held state";
  VNL_TimeDelay(50);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  EXPECT_EQ(pulsePos()[0], held) << "neither the rest of the line nor the next one ran";
}

TEST_F(InterveneSim, JogPulseSendsAtMost2048PulsesAndTheNextLineStartsThere) {
  EXPECT_EQ(VNL_JogPulse(5000, 0, 0), 0);
  EXPECT_EQ(pulsePos()[0], 2048);
  EXPECT_EQ(VNL_jog_i(-5000, 2, 0), 0);
  EXPECT_EQ(pulsePos()[2], -2048);
  EXPECT_EQ(VNL_JogPulse(7, 0, 0), 0);
  EXPECT_EQ(pulsePos()[0], 2055);
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_GE(VNL_LineX(0.5, 0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 2555) << "the jogged position is the base of incremental moves";
  EXPECT_EQ(pulsePos()[2], -2048) << "and of the axes the line does not move";
}

TEST_F(InterveneSim, JogPulseIsRefusedWhileTheGroupMoves) {
  ASSERT_EQ(VNL_LineX(0.3, 0), 0);
  EXPECT_EQ(VNL_JogPulse(10, 1, 0), -4);
  waitStopped();
  EXPECT_EQ(pulsePos()[1], 0);
}

TEST_F(InterveneSim, JogSpaceDiscardsWaitingCommandsAndRunsAtAtMostHundredPercent) {
  // Records put without starting the group wait in its queue.
  for (uint32_t i = 0; i < 3; ++i) {
    MotionCommand c = lineRecord(i, 5.0, 5.0);
    ASSERT_EQ(VNL_EnqueueCommand(&c, 0), 0);
  }
  ASSERT_EQ(commandCount(), 3);
  ASSERT_EQ(VNL_GetMotionStatus(0), 1) << "enqueueing does not start the group";
  const int32_t index = VNL_JogSpace(0.25, 150, 1, 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(VNL_GetPtPSpeed(0), 100);
  CurrentCommandInfo info{};
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.nKind, 0) << "the jog itself was fetched, not a waiting line";
  EXPECT_EQ(info.nIndex, index);
  EXPECT_DOUBLE_EQ(info.dfSpeed, 100.0);
  EXPECT_EQ(info.dfTarget[1], 0.25);
  EXPECT_EQ(info.dfTarget[0], 0.0);
  waitStopped();
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(pulsePos()[0], 0) << "the discarded lines never ran";
  EXPECT_EQ(pulsePos()[1], 250);
  // The jog is the base of the next jog: machine units, whatever the
  // coordinate type.
  EXPECT_EQ(VNL_jog_s(-0.05, 30, 1, 0), 1);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.dfTarget[1], 0.2);
  EXPECT_DOUBLE_EQ(info.dfSpeed, 30.0);
  waitStopped();
  EXPECT_EQ(pulsePos()[1], 200);
}

TEST_F(InterveneSim, JogContiRunsTowardsTheSoftwareLimit) {
  ASSERT_EQ(VNL_JogPulse(100, 0, 0), 0);
  MACHINE_PARAM p{};
  ASSERT_EQ(VNL_GetMachParam(&p, 0, 0), 0);
  p.dfHighLimit = 0.5;
  p.dfLowLimit = -0.2;
  ASSERT_EQ(VNL_SetMachParam(&p, 0, 0), 0);
  EXPECT_EQ(VNL_JogConti(1, 40, 0, 0), 0);
  CurrentCommandInfo info{};
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  // One pulse inside the limit, from the current position.
  EXPECT_NEAR(info.dfTarget[0], 0.499, 1e-12);
  waitStopped();
  EXPECT_EQ(VNL_JogConti(-1, 40, 0, 0), 1);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_NEAR(info.dfTarget[0], -0.199, 1e-12);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], -199);
  // The default limits lie beyond the pulse range: the jog goes as far as a
  // pulse counter reaches, or as far as it gets in the longest move the
  // planner takes (about three days), whichever is nearer.
  p.dfHighLimit = 10000000.0;
  ASSERT_EQ(VNL_SetMachParam(&p, 0, 0), 0);
  EXPECT_EQ(VNL_JogConti(1, 100, 0, 0), 2);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_NEAR(info.dfTarget[0], 2147483.646, 1e-6);
  VNL_AbortMotion(0);
  waitStopped();
  EXPECT_EQ(VNL_JogConti(1, 10, 0, 0), 3);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  const double start = pulsePos()[0] / 1000.0;
  // The longest move is 2^28 periods of the 1 ms grid, each a 0.8192 ms card cycle.
  EXPECT_NEAR(info.dfTarget[0] - start,
              0.1 * 1000 / 60.0 * double(0.8192f) * (1 << 28) / 1000.0 * 0.99, 1e-6);
  VNL_AbortMotion(0);  // ends the long jog, whatever state it has reached
}

class ReversedAxisSim : public InterveneSim {
  void setUpMachine() override {
    MACHINE_PARAM p{};
    ASSERT_EQ(VNL_GetMachParam(&p, 1, 0), 0);
    p.wDirReverse = 1;
    ASSERT_EQ(VNL_SetMachParam(&p, 1, 0), 0);
  }
};

TEST_F(ReversedAxisSim, JogPulseNegatesTheCountOfAReversedAxis) {
  EXPECT_EQ(VNL_JogPulse(300, 1, 0), 0);
  EXPECT_EQ(pulsePos()[1], -300);
  double x = 0, y = 0, z = 0, u = 0, v = 0, w = 0;
  ASSERT_EQ(VNL_GetCurPos(&x, &y, &z, &u, &v, &w, 0), 0);
  EXPECT_DOUBLE_EQ(y, 0.3) << "in the caller's terms the axis moved forward";
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_GE(VNL_LineY(0.1, 0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[1], -400);
}

TEST_F(InterveneSim, BlendMarkFollowsTheLastSwitchQueued) {
  EXPECT_EQ(VNL_CheckBlend(0), 1);
  EXPECT_EQ(VNL_EnableBlend(0), 0);
  EXPECT_EQ(VNL_CheckBlend(0), 0);
  EXPECT_EQ(VNL_LineX(0.3, 0), 1);
  EXPECT_EQ(VNL_DisableBlend(0), 2);
  EXPECT_EQ(VNL_check_blend(0), 1);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 300) << "the switches do not move the axes";
}

TEST_F(InterveneSim, AFullQueueRefusesTheSwitchesAndDisableReportsBlendingStillOn) {
  ASSERT_EQ(VNL_EnableBlend(0), 0);
  waitStopped();
  MotionCommand c = lineRecord(1, 0.0, 5.0);
  int32_t put = 0;
  while (VNL_EnqueueCommand(&c, 0) == 0)
    ++put;
  EXPECT_EQ(put, 29999);
  EXPECT_EQ(commandCount(), 29999);
  EXPECT_EQ(VNL_DisableBlend(0), -8);
  EXPECT_EQ(VNL_CheckBlend(0), 0) << "blending is still on";
  EXPECT_EQ(VNL_EnableBlend(0), -2);
  EXPECT_EQ(VNL_DelayMotion(3, 0), -2);
  ASSERT_EQ(VNL_ResetMotion(), 0);
  EXPECT_EQ(commandCount(), 0);
}

TEST_F(InterveneSim, EnqueuedRecordsAreRunUnchangedOnceTheGroupStarts) {
  MotionCommand c = lineRecord(777, 0.2, 4.0);
  ASSERT_EQ(VNL_EnqueueCommand(&c, 0), 0);
  EXPECT_EQ(commandCount(), 1);
  // The next queued command starts the group, which takes the record first.
  ASSERT_EQ(VNL_LineX(0.1, 0), 0);
  CurrentCommandInfo info{};
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.nIndex, 777);
  EXPECT_EQ(info.nKind, 1);
  EXPECT_DOUBLE_EQ(info.dfSpeed, 4.0);
  EXPECT_DOUBLE_EQ(info.dfTarget[0], 0.2);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 100);
}

TEST_F(InterveneSim, DelayIndicesCountOnTheirOwnAndCheckDelayFollowsThem) {
  EXPECT_EQ(VNL_CheckDelay(0), 2) << "nothing started yet";
  EXPECT_EQ(VNL_DelayMotion(30, 0), 0) << "the first delay index, 30001, restarts the numbering";
  EXPECT_EQ(VNL_CheckDelay(0), 0) << "the delay runs";
  waitStopped();
  EXPECT_EQ(VNL_CheckDelay(0), 1);
  EXPECT_EQ(VNL_LineX(0.3, 0), 1);
  EXPECT_EQ(VNL_SetDelayCount(5), 1) << "the delay counter, not the line's index, counts on";
  EXPECT_EQ(VNL_LineX(0.1, 0), 2);
  waitStopped();
  EXPECT_EQ(VNL_CheckDelay(0), 1) << "the last queued command was started";
  // A command started out of the order of the indices: neither the last
  // queued index nor the delay counter.
  MotionCommand c = lineRecord(500, 0.2, 5.0);
  ASSERT_EQ(VNL_EnqueueCommand(&c, 0), 0);
  ASSERT_EQ(VNL_DelayMotion(1, 0), 2);
  waitStopped();
  EXPECT_EQ(VNL_CheckDelay(0), 1) << "the delay ran last";
  c.dfTarget[0] = 0.5;
  ASSERT_EQ(VNL_EnqueueCommand(&c, 0), 0);
  ASSERT_EQ(VNL_LineX(0.3, 0), 3);  // starts the group, which takes the record first
  ASSERT_EQ(VNL_AbortMotion(0), 0);
  EXPECT_EQ(VNL_CheckDelay(0), 2) << "index 500 ran last";
}

struct Sample {
  int32_t x;
  int32_t index;
};

void recordSample(void* user) {
  auto* log = static_cast<std::vector<Sample>*>(user);
  int32_t p[6]{};
  VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
  CurrentCommandInfo info{};
  VNL_GetCurCommand(&info, 0);
  log->push_back({p[0], info.nIndex});
}

TEST_F(InterveneSim, ADelayBetweenTwoLinesKeepsTheAxesStillForItsPeriods) {
  std::vector<Sample> log;
  log.reserve(4000);
  vnl_set_period_observer(recordSample, &log);
  ASSERT_EQ(VNL_LineX(0.3, 0), 0);
  const int32_t delay = VNL_DelayMotion(100, 0);
  ASSERT_GE(delay, 0);
  ASSERT_EQ(VNL_LineX(0.6, 0), delay + 1);
  waitStopped();
  vnl_set_period_observer(nullptr, nullptr);
  ASSERT_EQ(log.back().x, 600);
  // Output periods between the first line's arrival and the second line's
  // first pulse.
  size_t arrived = 0;
  while (arrived < log.size() && log[arrived].x != 300)
    ++arrived;
  size_t left = arrived;
  while (left < log.size() && log[left].x == 300)
    ++left;
  ASSERT_LT(left, log.size());
  size_t inDelay = 0;
  for (const Sample& s : log)
    inDelay += s.index == delay ? 1 : 0;
  EXPECT_GE(left - arrived, 100u);
  EXPECT_LE(left - arrived, 103u) << "the delay, not more than a period or so of fetching";
  EXPECT_GE(inDelay, 99u);
}

TEST_F(InterveneSim, StopGoHomeEndsStepwiseHomingAndRestoresTheSixAxisGroup) {
  ASSERT_EQ(VNL_InitGoHome(), 1);
  EXPECT_EQ(VNL_GetMotionStatus(3), 1) << "single-axis groups 0 to 3";
  ASSERT_EQ(VNL_FindHomeSensor(0.3, 10, 1), 1);
  EXPECT_EQ(vnl_test_step_home_state(1), 0);
  EXPECT_EQ(VNL_StopGoHome(), 0);
  for (uint16_t a = 0; a < 6; ++a)
    EXPECT_EQ(vnl_test_step_home_state(a), 10);
  EXPECT_EQ(VNL_GetMotionStatus(1), -6) << "group 1 is not in use any more";
  EXPECT_EQ(VNL_GetMotionStatus(3), -6);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  int32_t touched = -1;
  EXPECT_EQ(VNL_TouchHomeSensor(&touched, 1), 0) << "the axis is no longer active";
  // Group 0 drives six axes again.
  ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  const int32_t before = pulsePos()[5];
  ASSERT_GE(VNL_Line(0, 0, 0, 0, 0, 0.2, 0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[5], before + 200);
}

}  // namespace
