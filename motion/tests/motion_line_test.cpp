// Lines, speed settings and the command queue through the exported functions,
// in simulation: the cycle step of the planner wired into the simulated cycle
// and the output layer.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "motion/tests/group_helpers.h"
#include "platform/clock/clock.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

extern "C" int32_t vnl_test_push_pulses(uint16_t group, const int32_t* block);
extern "C" void vnl_test_interface_simulation(int32_t on);
extern "C" int32_t VNL_set_acc_type(char type, uint16_t group);  // older name, not in the header

namespace {

// What the output layer handed out in one period, as the queries see it.
struct Period {
  std::array<int32_t, 6> pulses;
  double pathSpeed;
};

void record(void* user) {
  auto* log = static_cast<std::vector<Period>*>(user);
  Period p{};
  VNL_GetPulsePos(&p.pulses[0], &p.pulses[1], &p.pulses[2], &p.pulses[3], &p.pulses[4],
                  &p.pulses[5], 0);
  p.pathSpeed = VNL_GetCurFeedSpeed(0);
  log->push_back(p);
}

using vnl::test::commandCount;
using vnl::test::pulsePos;
using vnl::test::waitStopped;

class MotionSim : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    // The records a test changes are put back as the library had them.
    for (uint16_t a = 0; a < 6; ++a)
      VNL_GetMachParam(&saved[a], a, 0);
    VNL_EnableSimulation();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    init();
  }
  void TearDown() override {
    vnl_set_period_observer(nullptr, nullptr);
    VNL_CloseSystem();
    for (uint16_t a = 0; a < 6; ++a)
      VNL_SetMachParam(&saved[a], a, 0);
  }
  void init() {
    CardConfig c{2, 576, 0, 0};
    ASSERT_EQ(VNL_InitSystem(1, &c, 1), 0);
  }
  void observe() { vnl_set_period_observer(&record, &periods); }

  std::vector<Period> periods;
  MACHINE_PARAM saved[6]{};
};

TEST_F(MotionSim, QueueingStartsAnIdleGroupAndReturnsOnceTheCycleTookTheStartFlag) {
  const uint8_t* run = VNL_GetIPORunFlagPtr(0);
  const uint8_t* drained = VNL_GetIPOCommandFlagPtr(0);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(*drained, 255);
  observe();
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(1, 0.5, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(*run, 0);  // taken by the cycle the call ran
  EXPECT_EQ(*drained, 0);
  EXPECT_FALSE(periods.empty());  // and that cycle already put motion out
  EXPECT_EQ(VNL_GetMotionStatus(0), 0);
  CurrentCommandInfo info{};
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.nKind, 1);
  EXPECT_EQ(info.nIndex, 0);
  EXPECT_EQ(info.dfSpeed, 3.0);
  EXPECT_EQ(info.dfTarget[1], 0.5);

  // Into a running group the call returns at once: no cycle runs inside it.
  const size_t before = periods.size();
  ASSERT_EQ(VNL_Line(2, 0, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(periods.size(), before);
  EXPECT_EQ(commandCount(), 1);
  waitStopped();
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(pulsePos()[0], 2000);
  EXPECT_EQ(pulsePos()[1], 0);
  EXPECT_EQ(*drained, 255);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.nIndex, 1);

  // The index counter restarts; the published record reads 0 until the next fetch.
  EXPECT_EQ(VNL_ResetCommandIndex(0), 0);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.nIndex, 0);
  EXPECT_EQ(info.dfTarget[0], 2.0);
  EXPECT_EQ(VNL_Line(0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(VNL_ResetCommandIndex(72), -6);
}

TEST_F(MotionSim, FullQueueRefusesWithMinusTwoAndNumberingWrapsAfter29999) {
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_LineX(0.01, 0), 0);  // running: the rest is queued behind it
  for (int i = 1; i <= 29999; ++i)
    ASSERT_EQ(VNL_LineX(i % 2 ? 0.02 : 0.01, 0), i);
  EXPECT_EQ(commandCount(), 29999);
  EXPECT_EQ(VNL_get_cmd_count(0), 29999);
  EXPECT_EQ(VNL_LineX(5, 0), -2);
  EXPECT_EQ(commandCount(), 29999);
  // The refused call did not use up an index: once one command has been
  // taken, the next one follows 29999 and so gets index 0.
  while (commandCount() == 29999)
    VNL_TimeDelay(1);
  ASSERT_EQ(VNL_LineUVW(0, 0, 0, 0), 0);
  const int32_t n = commandCount();
  EXPECT_EQ(n, 29999);
  EXPECT_EQ(VNL_ResetMotion(), 0);
  VNL_TimeDelay(1);
  EXPECT_EQ(commandCount(), 0);
}

TEST_F(MotionSim, MotionStatusIsZeroWhileOutputIsPendingAndOneAfter) {
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  EXPECT_EQ(VNL_GetMotionStatus(1), -6);
  // Blocks waiting for the output layer while the planner is idle.
  const int32_t block[6] = {7, 0, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  EXPECT_EQ(VNL_GetMotionStatus(0), 0);
  EXPECT_EQ(pulsePos()[0], 0);
  VNL_TimeDelay(1);  // one cycle: two passes, one block each
  EXPECT_EQ(pulsePos()[0], 14);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  EXPECT_EQ(pulsePos()[0], 14);  // the pushed pulses are not undone

  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(0.5, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(VNL_GetMotionStatus(0), 0);
  waitStopped();
  // The planner took the pushed pulses over as its position and ran from
  // there to the absolute target.
  EXPECT_EQ(pulsePos()[0], 500);
}

// At a 1 ms interpolation time a period lasts the card's cycle of 0.8192 ms:
// 10 units at 3 units/s are ceil(10 / 3 / 0.0008192) = 4070 periods at the
// cruise speed's time, of which 20 go to the halves of the two ramps.
TEST_F(MotionSim, TenUnitsAtFeedThreeTakes20Plus4050Plus20CardCyclesAndEndsOnTarget) {
  observe();
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(10, 0, 0, 0, 0, 0, 0), 0);
  waitStopped();
  // Periods in which the planner moved the path (the first steps of the
  // S-curve move less than a pulse, so the pulse count alone would miss them).
  size_t first = periods.size(), last = 0;
  for (size_t i = 0; i < periods.size(); ++i) {
    if (periods[i].pathSpeed > 0) {
      first = std::min(first, i);
      last = i;
    }
  }
  ASSERT_LT(first, periods.size());
  EXPECT_EQ(last - first + 1, 4090u);
  EXPECT_LT(periods[last - 1].pulses[0], 10000);
  EXPECT_EQ(periods[last].pulses[0], 10000);
  EXPECT_EQ(pulsePos()[0], 10000);
  // Accelerating for 20 periods, cruising at 10 units per 4070 cycles for
  // 4050, then decelerating for 20.
  const double cycleMs = double(0.8192f);  // as the card reports it
  const double V = 10.0 / (4070.0 * cycleMs) * 1000.0;
  for (size_t i = first; i < first + 19; ++i)
    EXPECT_LT(periods[i].pathSpeed, periods[i + 1].pathSpeed) << i - first;
  // The last ramp period averages just under V (zero acceleration at its end).
  EXPECT_LT(periods[first + 19].pathSpeed, V);
  EXPECT_GT(periods[first + 19].pathSpeed, 0.99 * V);
  EXPECT_NEAR(V / 3.0, 1.0, 5e-4);
  for (size_t i = first + 20; i < first + 4070; ++i)
    ASSERT_NEAR(periods[i].pathSpeed, V, 1e-9) << i - first;
  for (size_t i = first + 4070; i < first + 4089; ++i)
    EXPECT_GT(periods[i].pathSpeed, periods[i + 1].pathSpeed) << i - first;
  EXPECT_LT(periods[last].pathSpeed, 0.05);

  double speed[6];
  ASSERT_EQ(VNL_GetSpeed(&speed[0], &speed[1], &speed[2], &speed[3], &speed[4], &speed[5], 0), 0);
  EXPECT_EQ(speed[0], 0.0);  // cleared once the group stands
  EXPECT_EQ(VNL_GetCurFeedSpeed(0), 0.0);
}

TEST_F(MotionSim, SoftwareLimitStopsTheLineBeforeItCrossesOnAReversedAxis) {
  ASSERT_EQ(VNL_CloseSystem(), 0);
  MACHINE_PARAM p{};
  p.wDirReverse = 1;
  p.wRPM = 1000;
  p.dwPPR = 1000;
  p.dfPitch = 1.0;
  p.dfGearRatio = 1.0;
  p.dfHighLimit = 6.0;
  p.dfHighLimitOffset = 1.0;  // upper bound 5 units
  p.dfLowLimit = -10.0;
  ASSERT_EQ(VNL_SetMachParam(&p, 1, 0), 0);
  init();
  ASSERT_EQ(VNL_SetOverTravelCheck(0, 1, 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(0, 10, 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(VNL_Line(0, 0, 0, 0, 0, 0, 0), 1);  // waits behind the error
  int n = 0;
  while (VNL_GetErrorCode(0) == 0 && n++ < 10000)
    VNL_TimeDelay(1);
  EXPECT_EQ(VNL_GetErrorCode(0), 0xF302);  // 0x81: slot Y
  for (int i = 0; i < 20; ++i)
    VNL_TimeDelay(1);
  // The reversed axis counts down; no pulse of the crossing step was output.
  const int32_t y = pulsePos()[1];
  EXPECT_GT(y, -5000);
  EXPECT_LE(y, -4990);
  double pos[6];
  ASSERT_EQ(VNL_GetCurPos(&pos[0], &pos[1], &pos[2], &pos[3], &pos[4], &pos[5], 0), 0);
  EXPECT_NEAR(pos[1], -y / 1000.0, 1e-12);
  EXPECT_EQ(commandCount(), 1);  // the queue stands still until the error is cleared
  EXPECT_EQ(VNL_LineX(1, 0), -14);
  EXPECT_EQ(VNL_ClearError(0), 0);
  EXPECT_EQ(VNL_GetErrorCode(0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[1], 0);      // the waiting line ran back to 0
  EXPECT_EQ(VNL_ClearError(0), 0);  // no error: the acknowledge is still taken
}

TEST_F(MotionSim, IncrementalLineXTwiceEndsAtTwenty) {
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(5, 0), 5.0);
  ASSERT_EQ(VNL_LineX(10, 0), 0);
  ASSERT_EQ(VNL_LineX(10, 0), 1);  // queued before the first has run
  CurrentCommandInfo info{};
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.dfTarget[0], 10.0);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 20000);
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.dfTarget[0], 20.0);
  // Inch units scale the increment into machine units.
  EXPECT_EQ(VNL_SetUnit(2, 0), 2);
  EXPECT_DOUBLE_EQ(VNL_SetFeedSpeed(1, 0), 25.4);
  ASSERT_EQ(VNL_LineY(-0.01, 0), 2);
  waitStopped();
  EXPECT_EQ(pulsePos()[1], -254);
}

TEST_F(MotionSim, UOnlyLineRunsAtTheMaximumSpeedOfItsMachineParameters) {
  ASSERT_EQ(VNL_CloseSystem(), 0);
  MACHINE_PARAM p{};
  p.wRPM = 600;
  p.dwPPR = 1000;
  p.dfPitch = 2.0;  // 500 pulses per unit, 2 x 600 / 60 = 20 units/s
  p.dfGearRatio = 1.0;
  p.dfHighLimit = 1e6;
  p.dfLowLimit = -1e6;
  ASSERT_EQ(VNL_SetMachParam(&p, 3, 0), 0);
  init();
  observe();
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);  // ignored by a U-V-W-only line
  ASSERT_EQ(VNL_LineUVW(2, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[3], 1000);
  double top = 0;
  size_t moving = 0;
  for (const Period& q : periods) {
    top = std::max(top, q.pathSpeed);
    moving += q.pathSpeed > 0;
  }
  // Cruise at the axis maximum, rounded down to fill whole card cycles of
  // 0.8192 ms: 2 units in ceil(2 / 20 / 0.0008192) = 123 of them.
  EXPECT_NEAR(top, 2.0 / (123 * double(0.8192f)) * 1000.0, 1e-9);
  EXPECT_NEAR(top / 20.0, 1.0, 0.01);
  EXPECT_EQ(moving, 143u);  // 20 + 103 + 20 periods
}

TEST_F(MotionSim, InPositionSwitchesRunInOrderWithTheLines) {
  uint8_t f[6];
  auto status = [&] { return VNL_GetInPosStatus(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], 0); };
  EXPECT_EQ(status(), -4);
  ASSERT_EQ(VNL_SetFeedSpeed(5, 0), 5.0);
  EXPECT_EQ(VNL_EnableInPos(0), 0);
  EXPECT_EQ(status(), 0);  // the idle group took it inside the call
  EXPECT_EQ(VNL_Line(1, 0.5, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(VNL_DisableInPos(0), 2);
  EXPECT_EQ(status(), 0);  // the switch waits behind the line
  waitStopped();
  EXPECT_EQ(status(), -4);
  EXPECT_EQ(f[0], 255);  // standing: in position
  // The switches carry the last targets: they move nothing themselves.
  EXPECT_EQ(pulsePos()[0], 1000);
  EXPECT_EQ(pulsePos()[1], 500);
  CurrentCommandInfo info{};
  ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
  EXPECT_EQ(info.nIndex, 2);
  EXPECT_EQ(info.nKind, 1);  // a switch keeps the kind of the command before it
  EXPECT_EQ(info.dfTarget[1], 0.5);
  EXPECT_EQ(VNL_GetErrorCode(0), 0);  // the wait ended in position, not by time-out
}

TEST_F(MotionSim, DryRunLineReachesNoAxisAndThePlannerComesBackToThem) {
  ASSERT_EQ(VNL_SetFeedSpeed(5, 0), 5.0);
  ASSERT_EQ(VNL_EnableDryRun(), 0);
  ASSERT_EQ(VNL_Line(1, -1, 0, 0, 0, 0, 0), 0);
  waitStopped();
  // Nothing reached the axes, not even the end-point correction of the
  // fetch that found the queue empty.
  EXPECT_EQ(pulsePos()[0], 0);
  EXPECT_EQ(pulsePos()[1], 0);
  ASSERT_EQ(VNL_DisableDryRun(), 0);
  VNL_TimeDelay(1);
  ASSERT_EQ(VNL_LineX(0.5, 0), 1);  // from where the axes are, not from the dry run's end
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 500);
  EXPECT_EQ(pulsePos()[1], -1000);  // Y runs to the last target the group holds

  // Closing while a line runs stops it and returns.
  ASSERT_EQ(VNL_LineX(100, 0), 2);
  EXPECT_EQ(VNL_CloseSystem(), 0);
  init();
}

TEST_F(MotionSim, BadInputReturnsMinusFiveAndQueuesNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(VNL_Line(1, 0, 0, 0, 0, 0, 0), -7);  // no feed speed yet
  EXPECT_EQ(VNL_SetFeedSpeed(nan, 0), -5.0);
  EXPECT_EQ(VNL_SetFeedSpeed(inf, 0), -5.0);
  EXPECT_EQ(VNL_GetFeedSpeed(0), 0.0);
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  EXPECT_EQ(VNL_Line(nan, 0, 0, 0, 0, 0, 0), -5);
  EXPECT_EQ(VNL_Line(0, 0, 0, 0, 0, -inf, 0), -5);
  EXPECT_EQ(VNL_LineX(inf, 0), -5);
  EXPECT_EQ(VNL_LineUVW(0, nan, 0, 0), -5);
  EXPECT_EQ(VNL_LineZ(2.2e6, 0), -5);  // 2.2e9 pulses
  EXPECT_EQ(VNL_LineY(-2.2e6, 0), -5);
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(100, 0), 100.0);
  EXPECT_EQ(VNL_LineX(0.01, 0), 0);
  // 2147483.64 units alone are 2147483640 pulses; added to the last target
  // they leave the 32-bit range.
  EXPECT_EQ(VNL_LineX(2147483.64, 0), -5);
  EXPECT_EQ(commandCount(), 0);
  waitStopped();
  EXPECT_EQ(pulsePos()[0], 10);  // nothing of the refused calls ran
  EXPECT_EQ(VNL_LineX(-0.01, 0), 1);

  EXPECT_EQ(VNL_Line(1, 0, 0, 0, 0, 0, 1), -6);
  EXPECT_EQ(VNL_SetFeedSpeed(1, 72), -6.0);
  EXPECT_EQ(VNL_GetCurFeedSpeed(72), -6.0);
  double d[6];
  EXPECT_EQ(VNL_GetSpeed(&d[0], nullptr, &d[2], &d[3], &d[4], &d[5], 0), -5);
  EXPECT_EQ(VNL_GetCommandCount(nullptr, 0), -5);
  EXPECT_EQ(VNL_GetCurCommand(nullptr, 0), -5);
  CurrentCommandInfo info{};
  EXPECT_EQ(VNL_GetCurCommand(&info, 72), -6);
  uint8_t t[6];
  EXPECT_EQ(VNL_GetPtPAccType(&t[0], &t[1], &t[2], nullptr, &t[4], &t[5], 0), -5);
  ASSERT_EQ(VNL_CloseSystem(), 0);
  EXPECT_EQ(VNL_Line(1, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(VNL_SetFeedSpeed(1, 0), -1.0);
  EXPECT_EQ(VNL_GetMotionStatus(0), -1);
  EXPECT_EQ(VNL_SetAccStep(3, 0), -1);
  init();
}

TEST_F(MotionSim, SpeedSettingsReachThePlannerThroughTheHandshake) {
  EXPECT_EQ(VNL_GetAccType(0), 1);
  EXPECT_EQ(VNL_SetAccType('x', 0), -5);
  EXPECT_EQ(VNL_SetDecType('t', 0), 0);
  EXPECT_EQ(VNL_GetDecType(0), 0);
  EXPECT_EQ(VNL_set_acc_type('s', 0), 0);
  EXPECT_EQ(VNL_GetAccType(0), 1);
  EXPECT_EQ(VNL_SetAccStep(-4, 0), 0);
  EXPECT_EQ(VNL_GetAccStep(0), 0);
  EXPECT_EQ(VNL_SetDecStep(0, 0), 0);
  EXPECT_EQ(VNL_SetOverSpeed(0, 0), 1);
  EXPECT_EQ(VNL_GetOverSpeed(0), 1);
  EXPECT_EQ(VNL_SetOverSpeed(100, 0), 100);
  EXPECT_EQ(VNL_SetPtPAccType('S', 'T', 'q', 's', 'S', 'S', 0), 0);
  uint8_t t[6];
  ASSERT_EQ(VNL_GetPtPAccType(&t[0], &t[1], &t[2], &t[3], &t[4], &t[5], 0), 0);
  EXPECT_EQ((std::array<uint8_t, 6>{t[0], t[1], t[2], t[3], t[4], t[5]}),
            (std::array<uint8_t, 6>{1, 0, 0, 1, 1, 1}));
  EXPECT_EQ(VNL_SetPtPDecStep(-1, 5, 6, 7, 8, 9, 0), 0);
  int32_t s[6];
  ASSERT_EQ(VNL_GetPtPDecStep(&s[0], &s[1], &s[2], &s[3], &s[4], &s[5], 0), 0);
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(s[5], 9);

  // No ramps: 10 units at feed 3 run in 4070 card cycles flat out.
  observe();
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(10, 0, 0, 0, 0, 0, 0), 0);
  waitStopped();
  size_t moving = 0;
  for (size_t i = 0; i < periods.size(); ++i)
    moving += periods[i].pulses[0] != (i ? periods[i - 1].pulses[0] : 0);
  EXPECT_EQ(moving, 4070u);
  EXPECT_EQ(pulsePos()[0], 10000);

  // An over-speed that would take the last cruise above the system maximum
  // is cut to it: 4 / (10 / (4070 x 0.8192) x 1000) x 100 = 133.36.
  ASSERT_EQ(VNL_CloseSystem(), 0);
  ASSERT_EQ(VNL_SetSysMaxSpeed(4), 0);
  init();
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  EXPECT_EQ(VNL_SetOverSpeed(200, 0), 200);  // no previous command: kept
  EXPECT_EQ(VNL_SetOverSpeed(100, 0), 100);
  ASSERT_EQ(VNL_Line(10, 0, 0, 0, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(VNL_SetOverSpeed(200, 0), 133);
  EXPECT_EQ(VNL_SetFeedSpeed(7, 0), 7.0);  // the caller gets the request...
  EXPECT_EQ(VNL_GetFeedSpeed(0), 4.0);     // ...the group keeps the maximum
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
}

TEST_F(MotionSim, HandshakeWithAGroupNoCycleStepsTimesOut) {
  // Group 5 on card 1, but one card is installed: the cycle never steps it.
  ASSERT_EQ(VNL_SetGroupContent(5, 1, 0, 1, -1, -1, -1, -1), 0);
  const auto t0 = platform::clock().now();
  EXPECT_EQ(VNL_SetAccStep(10, 5), -3);
  EXPECT_GE(platform::clock().now() - t0, std::chrono::milliseconds(50));
  EXPECT_EQ(VNL_GetAccStep(5), 10);  // stored nevertheless
  ASSERT_EQ(VNL_SetFeedSpeed(1, 5), 1.0);
  EXPECT_EQ(VNL_LineX(1, 5), 0);  // queued; no cycle will take it, the call does not hang
  EXPECT_EQ(commandCount(5), 1);
  int32_t cfg[72 + 72 * 7] = {};
  for (int g = 0; g < 72; ++g) {
    cfg[g] = g == 0 ? 0 : -1;
    for (int s = 0; s < 6; ++s)
      cfg[72 + g * 7 + 1 + s] = s;
  }
  ASSERT_EQ(VNL_SetGroupConfig(cfg), 0);
}

// The cycle on a thread of its own, as with a card: the caller's waits only
// sleep, and the two sides meet through the handshake bytes and the queue.
TEST(MotionThreads, LinesQueuedFromTheCallerRunOnTheCycleThread) {
  platform::useRealTime();
  VNL_EnableSimulation();
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  CardConfig c{2, 576, 0, 0};
  ASSERT_EQ(VNL_InitSystem(1, &c, 1), 0);
  vnl_test_interface_simulation(0);
  std::atomic<bool> stop{false};
  std::thread cycle([&] {
    while (!stop.load()) {
      VNL_SimulationRoutine();
      platform::clock().sleepMs(0.5);
    }
  });
  EXPECT_EQ(VNL_SetAccStep(4, 0), 0);
  EXPECT_EQ(VNL_SetDecStep(4, 0), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  EXPECT_EQ(VNL_Line(0.05, -0.02, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(VNL_LineX(0.1, 0), 1);
  int n = 0;
  while (VNL_GetMotionStatus(0) != 1 && n++ < 5000)
    platform::clock().sleepMs(1);
  const auto p = pulsePos();
  EXPECT_EQ(p[0], 100);
  EXPECT_EQ(p[1], -20);
  EXPECT_EQ(commandCount(), 0);

  // Short lines queued at varying moments, some just as the group runs out
  // of commands: none is left behind in the queue.
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  for (int i = 0; i < 30; ++i) {
    ASSERT_GE(VNL_LineX(0.002, 0), 0);
    platform::clock().sleepMs((i * 7) % 13);
  }
  n = 0;
  while (VNL_GetMotionStatus(0) != 1 && n++ < 5000)
    platform::clock().sleepMs(1);
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(pulsePos()[0], 160);
  stop.store(true);
  cycle.join();
  vnl_test_interface_simulation(1);
  EXPECT_EQ(VNL_CloseSystem(), 0);
  platform::useVirtualTime();
}

}  // namespace
