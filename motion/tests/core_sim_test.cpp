#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "platform/clock/clock.h"
#include "varnelpci.h"

extern "C" int32_t vnl_test_push_pulses(uint16_t group, const int32_t* block);

namespace {

CardConfig oneCard() {
  return CardConfig{2, 576, 0, 0};
}

class SimCore : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_EnableSimulation();
    CardConfig c = oneCard();
    ASSERT_EQ(VNL_InitSystem(5, &c, 1), 0);
  }
  void TearDown() override { VNL_CloseSystem(); }
};

TEST(CoreFrame, ReadinessBeforeInitAndDoubleClose) {
  platform::useVirtualTime();
  EXPECT_EQ(VNL_GetErrorCode(0), -1);
  EXPECT_EQ(VNL_CheckDryRun(), -1);
  EXPECT_EQ(VNL_CloseSystem(), -1);
  int32_t cards[2] = {};
  EXPECT_EQ(VNL_init_motion(0, 5, cards, 13), -5);
  EXPECT_EQ(VNL_CheckDryRun(), -1);  // nothing initialised
  VNL_EnableSimulation();
  CardConfig c = oneCard();
  ASSERT_EQ(VNL_InitSystem(-3, &c, 1), 0);
  EXPECT_EQ(VNL_GetErrorCode(0), 0);  // the 0xF100 left before init is cleared
  EXPECT_EQ(VNL_GetErrorCode(1), -6);
  EXPECT_NEAR(VNL_GetInterpolateTime(), 4.9152, 1e-6);  // the cycle a card runs for 5 ms
  EXPECT_EQ(VNL_CheckDryRun(), 1);
  EXPECT_EQ(VNL_CloseSystem(), 0);
  EXPECT_EQ(VNL_CloseSystem(), -1);
  EXPECT_EQ(VNL_GetErrorCode(0), -1);
}

// The initialisation's interpolation time is kept to 1..200 ms like
// VNL_SetInterpolateTime's (clamped; a negative time still gives 5 ms), so a
// huge time cannot overflow the planner's segment times. A period lasts the
// cycle a card runs for the applied time: the longest multiple of 0.8192 ms
// not above it.
TEST(CoreFrame, InitialisationClampsTheInterpolationTime) {
  platform::useVirtualTime();
  VNL_EnableSimulation();
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  CardConfig c = oneCard();
  for (const auto& [given, applied] :
       {std::pair{std::numeric_limits<int32_t>::max(), 199.8848}, std::pair{201, 199.8848},
        std::pair{0, 0.8192}, std::pair{-3, 4.9152}, std::pair{7, 6.5536}}) {
    ASSERT_EQ(VNL_InitSystem(given, &c, 1), 0) << given;
    EXPECT_NEAR(VNL_GetInterpolateTime(), applied, 1e-4) << given;
    // A line still plans and ends on its target at the applied period.
    ASSERT_GT(VNL_SetFeedSpeed(50, 0), 0);
    ASSERT_GE(VNL_Line(3, 0, 0, 0, 0, 0, 0), 0);
    for (int n = 0; n < 2000 && VNL_GetMotionStatus(0) != 1; ++n)
      VNL_TimeDelay(1);
    int32_t p[6];
    ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
    EXPECT_EQ(p[0], 3000) << given;
    ASSERT_EQ(VNL_CloseSystem(), 0);
  }
}

TEST(CoreFrame, MachineParameterValidationAndOverTravelFields) {
  MACHINE_PARAM p{};
  EXPECT_EQ(VNL_SetMachParam(&p, 0, 12), -5);
  EXPECT_EQ(VNL_SetMachParam(nullptr, 0, 0), -5);
  p.dfPitch = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(VNL_SetMachParam(&p, 0, 0), -5);
  // A scale that overflows either way is refused too.
  p = MACHINE_PARAM{};
  p.dwPPR = 1000;
  p.dfPitch = 1e300;
  p.dfGearRatio = 1e-300;
  EXPECT_EQ(VNL_SetMachParam(&p, 0, 0), -5);
  p.dfPitch = 1e-300;
  p.dfGearRatio = 1e300;
  EXPECT_EQ(VNL_SetMachParam(&p, 0, 0), -5);
  p = MACHINE_PARAM{};
  p.wDirReverse = 7;
  p.wPulseMode = 5;
  p.wOverTravelUpSensorMode = 1;
  ASSERT_EQ(VNL_SetMachParam(&p, 1, 0), 0);
  platform::useVirtualTime();
  VNL_EnableSimulation();
  CardConfig c = oneCard();
  ASSERT_EQ(VNL_InitSystem(5, &c, 1), 0);
  MACHINE_PARAM out{};
  out.wOverTravelUpSensorMode = 9;
  out.wOverTravelDownSensorMode = 8;
  ASSERT_EQ(VNL_GetMachParam(&out, 1, 0), 0);
  EXPECT_EQ(out.dwPPR, 1u);
  EXPECT_EQ(out.wRPM, 1);
  EXPECT_EQ(out.dfPitch, 1.0);
  EXPECT_EQ(out.dfGearRatio, 1.0);
  EXPECT_EQ(out.wDirReverse, 0);
  EXPECT_EQ(out.wPulseMode, 0);
  EXPECT_EQ(out.wOverTravelUpSensorMode, 9);
  EXPECT_EQ(out.wOverTravelDownSensorMode, 8);
  ASSERT_EQ(VNL_GetMachParam(&out, 2, 0), 0);  // never set: defaults
  EXPECT_EQ(out.dwPPR, 1000u);
  EXPECT_EQ(out.wPulseWidth, 64);
  EXPECT_EQ(VNL_CloseSystem(), 0);
}

TEST_F(SimCore, PulseLimitClampingAndLatches) {
  EXPECT_EQ(VNL_SetMaxPulseSpeed(40000, -1, 5, 5, 5, 5), 0);
  int32_t v[6];
  ASSERT_EQ(VNL_GetMaxPulseSpeed(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0);
  EXPECT_EQ(v[0], 32767);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(VNL_SetMaxPulseAcc(40000, -1, 5, 5, 5, 5), 0);
  ASSERT_EQ(VNL_GetMaxPulseAcc(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 0);
  EXPECT_EQ(v[0], 32767);
  EXPECT_EQ(v[1], 0);
}

TEST_F(SimCore, UnitsCoordinatesAndInterpolationTime) {
  EXPECT_EQ(VNL_SetUnit(2, 0), 2);
  EXPECT_EQ(VNL_SetUnit(3, 0), 1);
  EXPECT_EQ(VNL_GetUnit(0), 2);  // type 3 kept the previous factor
  EXPECT_EQ(VNL_SetUnit(1, 1), -6);
  EXPECT_EQ(VNL_GetCoordType(0), 1);
  EXPECT_EQ(VNL_SetIncrease(0), 0);
  EXPECT_EQ(VNL_GetCoordType(0), 0);
  EXPECT_EQ(VNL_SetInterpolateTime(0.5), 1);
  EXPECT_EQ(VNL_SetInterpolateTime(500), 200);
  EXPECT_EQ(VNL_SetInterpolateTime(std::nan("")), -5);
  // What a period lasts: the DDA cycle a card runs for 200 ms, 244 x 0.8192 ms.
  EXPECT_NEAR(VNL_GetInterpolateTime(), 199.8848, 1e-4);
  EXPECT_EQ(VNL_SetInterpolateTime(5), 5);
  EXPECT_NEAR(VNL_GetInterpolateTime(), 4.9152, 1e-6);
}

TEST_F(SimCore, GroupConfigWithCardTwelveKeepsSlots) {
  EXPECT_EQ(VNL_SetGroupContent(3, 0, 0, 1, -1, -1, -1, -1), 0);
  EXPECT_EQ(VNL_GetCoordType(3), 1);
  int32_t cfg[576];
  for (int g = 0; g < 72; ++g)
    cfg[g] = -1;
  cfg[0] = 0;
  cfg[3] = 0;
  for (int g = 0; g < 72; ++g) {
    int32_t* r = cfg + 72 + g * 7;
    r[0] = 0;
    for (int s = 0; s < 6; ++s)
      r[1 + s] = s;
  }
  cfg[72 + 3 * 7] = 12;
  EXPECT_EQ(VNL_SetGroupConfig(cfg), 0);
  EXPECT_EQ(VNL_GetCoordType(3), -6);
  EXPECT_EQ(VNL_GetCoordType(0), 1);
}

TEST_F(SimCore, PositionsInUserUnits) {
  const int32_t block[6] = {2000, 0, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  VNL_TimeDelay(1);
  VNL_TimeDelay(1);
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 2000);
  // pitch 5 with the default 1000 pulses per revolution: 2000 pulses read 10.0
  ASSERT_EQ(VNL_CloseSystem(), 0);
  MACHINE_PARAM mp{};
  mp.wRPM = 1000;
  mp.dwPPR = 1000;
  mp.dfPitch = 5.0;
  mp.dfGearRatio = 1.0;
  ASSERT_EQ(VNL_SetMachParam(&mp, 0, 0), 0);
  mp.wDirReverse = 1;
  ASSERT_EQ(VNL_SetMachParam(&mp, 1, 0), 0);
  CardConfig c = oneCard();
  ASSERT_EQ(VNL_InitSystem(5, &c, 1), 0);
  const int32_t b2[6] = {2000, 2000, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, b2), 0);
  VNL_TimeDelay(1);
  double x[6];
  ASSERT_EQ(VNL_GetCurPos(&x[0], &x[1], &x[2], &x[3], &x[4], &x[5], 0), 0);
  EXPECT_DOUBLE_EQ(x[0], 10.0);
  EXPECT_DOUBLE_EQ(x[1], -10.0);
  EXPECT_EQ(x[2], 0.0);
  EXPECT_EQ(VNL_SetUnit(2, 0), 2);
  ASSERT_EQ(VNL_GetCurPos(&x[0], &x[1], &x[2], &x[3], &x[4], &x[5], 0), 0);
  EXPECT_DOUBLE_EQ(x[0], 10.0 / 25.4);
  EXPECT_EQ(VNL_GetCurPos(nullptr, &x[1], &x[2], &x[3], &x[4], &x[5], 0), -5);
  EXPECT_EQ(VNL_define_pos_here(0), 1);
}

// A record set after initialisation is used as stored by VNL_UpdateMachParam
// and read at once by the position queries; values initialisation would
// replace (0 pulses per revolution, a pitch or gear ratio of 0) give finite
// positions, converted as initialisation would have validated them.
TEST_F(SimCore, DegenerateScalingGivesFinitePositions) {
  const int32_t block[6] = {300, 300, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  VNL_TimeDelay(1);
  MACHINE_PARAM mp{};
  ASSERT_EQ(VNL_GetMachParam(&mp, 0, 0), 0);
  mp.dwPPR = 0;
  mp.dfGearRatio = 0.0;
  mp.dfPitch = 1.0;
  ASSERT_EQ(VNL_SetMachParam(&mp, 0, 0), 0);
  mp.dwPPR = 100;
  mp.dfGearRatio = 1.0;
  mp.dfPitch = -2.0;
  ASSERT_EQ(VNL_SetMachParam(&mp, 1, 0), 0);
  double x[6];
  ASSERT_EQ(VNL_GetCurPos(&x[0], &x[1], &x[2], &x[3], &x[4], &x[5], 0), 0);
  EXPECT_DOUBLE_EQ(x[0], 300.0) << "1 pulse per revolution, gear ratio 1";
  EXPECT_DOUBLE_EQ(x[1], 3.0) << "pitch 1";
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(VNL_UpdateMachParam(), 0);
  VNL_TimeDelay(5);  // the groups take their resets
  ASSERT_GT(VNL_SetFeedSpeed(10, 0), 0);
  ASSERT_GE(VNL_Line(302, 4, 0, 0, 0, 0, 0), 0);
  for (int n = 0; n < 5000 && VNL_GetMotionStatus(0) != 1; ++n)
    VNL_TimeDelay(1);
  ASSERT_EQ(VNL_GetCurPos(&x[0], &x[1], &x[2], &x[3], &x[4], &x[5], 0), 0);
  EXPECT_DOUBLE_EQ(x[0], 302.0);
  EXPECT_DOUBLE_EQ(x[1], 4.0);
}

TEST_F(SimCore, PGainCompSlotAndTolerance) {
  EXPECT_EQ(VNL_SetPGain(0, 200, 5, 64, 64, 64, 0), 0);
  int16_t g[6];
  ASSERT_EQ(VNL_GetPGain(&g[0], &g[1], &g[2], &g[3], &g[4], &g[5], 0), 0);
  EXPECT_EQ(g[0], 1);
  EXPECT_EQ(g[1], 1);
  EXPECT_EQ(g[2], 5);
  COMP_PARAM cp{};
  EXPECT_EQ(VNL_SetCompParam(&cp, 6, 0), -5);
  EXPECT_EQ(VNL_SetCompParam(&cp, 0, 0), 0);
  EXPECT_EQ(VNL_SetInPosTolerance(1, 1, 1, 1, 1, 1, 0), 0);
  EXPECT_EQ(VNL_SetInPosCheckTime(0, 0), -5);
  EXPECT_EQ(VNL_SetInPosCheckTime(1001, 0), -5);
}

TEST_F(SimCore, CompensationLeavesTheCommandedPositionAlone) {
  // The correction goes to the axis only (checked on the virtual card); the
  // pulse position the planner follows stays the commanded one.
  COMP_PARAM cp{};
  cp.dwInterval = 100;
  cp.wZeroIndex = 0;
  cp.wPositive[0] = 0;
  cp.wPositive[1] = 10;
  ASSERT_EQ(VNL_SetCompParam(&cp, 0, 0), 0);
  ASSERT_EQ(VNL_UpdateCompParam(), 0);
  const int32_t block[6] = {50, 0, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  VNL_TimeDelay(1);
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  VNL_TimeDelay(1);
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 100);
  cp = COMP_PARAM{};
  VNL_SetCompParam(&cp, 0, 0);
  VNL_UpdateCompParam();
}

TEST_F(SimCore, DryRunRestoresPositions) {
  const int32_t block[6] = {100, 0, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  VNL_TimeDelay(1);
  ASSERT_EQ(VNL_EnableDryRun(), 0);
  EXPECT_EQ(VNL_CheckDryRun(), 0);
  VNL_TimeDelay(1);
  ASSERT_EQ(vnl_test_push_pulses(0, block), 0);
  VNL_TimeDelay(1);
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 100);
  ASSERT_EQ(VNL_DisableDryRun(), 0);
  VNL_TimeDelay(1);
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 100);
}

}  // namespace
