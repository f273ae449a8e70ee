// Homing runs on the virtual card in virtual time: each home type in both
// search directions ends with the axis at the home offset from its index mark
// (or sensor edge) and the encoder counter cleared; staged order; abort.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "motion/tests/virtual_card_fixture.h"
#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"
#include "varnelpci.h"

extern "C" int32_t vnl_test_step_home_state(uint16_t axis);

namespace {

// 1 ms period; 20 units/s with pitch 1 and 1000 pulses per revolution is
// limited to 1000 / 75 rev/s: a home step of 13.3 pulses per period.
constexpr double kSpeed = 20.0;

class Homing : public vnl::test::VirtualCardTest {
 protected:
  void TearDown() override {
    VirtualCardTest::TearDown();
    for (uint16_t a = 0; a < 6; ++a)
      setHome(a, 0, 0, 1, 0.0);
  }
  static void setHome(uint16_t axis, int16_t type, int16_t searchDir, int16_t leaveDir,
                      double offset) {
    MACHINE_PARAM p{};
    VNL_GetMachParam(&p, axis, 0);
    p.HomeConfig.wType = type;
    p.HomeConfig.wPhase0Dir = searchDir;
    p.HomeConfig.wPhase1Dir = leaveDir;
    p.HomeConfig.wSensorMode = 0;
    p.HomeConfig.dfHomeOffset = offset;
    ASSERT_EQ(VNL_SetMachParam(&p, axis, 0), 0);
  }
  template <class F>
  void plant(F f) {
    card_->withChip([&](vcard::Chip& chip) { f(chip.plant()); });
  }
  // Waits (virtual time) until the run reports finished; false after `ms`.
  bool waitHomed(int ms) {
    for (int t = 0; t < ms; t += 10) {
      if (VNL_GetGoHomeStatus() == 1) return true;
      VNL_TimeDelay(10);
    }
    return false;
  }
};

TEST_F(Homing, StatusAndAbortBeforeAnyRun) {
  EXPECT_EQ(VNL_GetGoHomeStatus(), -1);
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(VNL_GetGoHomeStatus(), -10);
  EXPECT_EQ(VNL_AbortGoHome(), -10);
  EXPECT_EQ(VNL_GoHome(1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 12), -5);
  EXPECT_EQ(VNL_SetGoHomeAccStep(1, 2, 3, 4, 5, -1), -5);
  ASSERT_EQ(VNL_SetGoHomeAccStep(1, 2, 3, 4, 5, 60), 0);
  int32_t s[6]{};
  VNL_GetGoHomeAccStep(&s[0], &s[1], &s[2], &s[3], &s[4], &s[5]);
  EXPECT_EQ(s[2], 3);
  EXPECT_EQ(s[5], 60);
}

TEST_F(Homing, RefusedWhileAGroupMoves) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(1.0, 0), 1.0);
  ASSERT_GE(VNL_LineX(1.0, 0), 0);
  VNL_TimeDelay(5);
  EXPECT_EQ(VNL_GoHome(kSpeed, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0), -4);
  EXPECT_EQ(VNL_GetGoHomeStatus(), -10);
}

// Home speeds that are not numbers, infinite, or not positive for an axis to
// be homed are refused with -5 before anything changes: no run starts, the
// acceleration steps set before stay, and no axis moves. An axis left out of
// the run (order 255) may have speed 0, as the operator program passes it.
TEST_F(Homing, BadHomeSpeedsAreRefusedBeforeAnythingChanges) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetGoHomeAccStep(7, 7, 7, 7, 7, 7), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf, 0.0, -5.0}) {
    EXPECT_EQ(VNL_GoHome(bad, bad, bad, bad, bad, bad, 0, 0, 0, 0, 0, 0, 0), -5) << bad;
    EXPECT_EQ(VNL_GoHome(kSpeed, kSpeed, bad, 0, 0, 0, 0, 1, 2, 255, 255, 255, 0), -5) << bad;
  }
  // A speed that is not finite is refused also for an axis that is not homed.
  EXPECT_EQ(VNL_GoHome(kSpeed, nan, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0), -5);
  EXPECT_EQ(VNL_GoHome(kSpeed, 0, inf, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0), -5);
  VNL_TimeDelay(50);
  EXPECT_EQ(VNL_GetGoHomeStatus(), -10);
  int32_t s[6]{};
  VNL_GetGoHomeAccStep(&s[0], &s[1], &s[2], &s[3], &s[4], &s[5]);
  for (int32_t v : s)
    EXPECT_EQ(v, 7);
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_EQ(position(a), 0) << "axis " << a;
  EXPECT_EQ(VNL_AbortGoHome(), -10);  // the output layer never went Homing
}

struct Case {
  int16_t type, searchDir;
};

class HomingTypes : public Homing, public ::testing::WithParamInterface<Case> {};

// Axis 0: home sensor over [3000, 3200) when searching up, [-3200, -3000)
// when searching down; index marks every 1000 edges at 500 (mod 1000). The
// leave phase goes back the other way.
TEST_P(HomingTypes, EndsAtTheOffsetFromTheReference) {
  const Case c = GetParam();
  const int sign = c.searchDir == 0 ? 1 : -1;
  setHome(0, c.type, c.searchDir, c.searchDir == 0 ? 1 : 0, 0.2);  // 200 pulses
  plant([&](vcard::Plant& p) {
    auto& a = p.axis(0);
    a.indexEvery = 1000;
    a.indexPhase = 500;
    a.homePosition = sign > 0 ? 3000 : -3200;
    a.homeWidth = 200;
  });
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_GoHome(kSpeed, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0), 0);
  EXPECT_EQ(VNL_GetGoHomeStatus(), 0);
  ASSERT_TRUE(waitHomed(8000));
  // Where the reference lies: the first index mark past the sensor edge on
  // the way back (type 0), the sensor edge itself (type 1), the first mark
  // on the way out (type 2).
  std::int64_t reference = 0;
  switch (c.type) {
    case 0:
      reference = sign > 0 ? 2500 : -2500;
      break;
    case 1:
      reference = sign > 0 ? 2999 : -3000;
      break;
    default:
      reference = sign > 0 ? 500 : -500;
      break;
  }
  const std::int64_t end = position(0);
  if (c.type == 1)
    EXPECT_NEAR(end, reference + 200, 2);  // the leave stops within a period of the edge
  else
    EXPECT_EQ(end, reference + 200);
  int32_t enc = -1;
  ASSERT_NE(QORA_ENC_GetValue(0, &enc, 0), 0);
  EXPECT_EQ(enc, 0);
  int32_t pos[6]{-1, -1, -1, -1, -1, -1};
  ASSERT_EQ(VNL_GetPulsePos(&pos[0], &pos[1], &pos[2], &pos[3], &pos[4], &pos[5], 0), 0);
  EXPECT_EQ(pos[0], 0);
  EXPECT_EQ(VNL_GetGoHomeStatus(), 1);
}

INSTANTIATE_TEST_SUITE_P(TypesAndDirections, HomingTypes,
                         ::testing::Values(Case{0, 0}, Case{0, 1}, Case{1, 0}, Case{1, 1},
                                           Case{2, 0}, Case{2, 1}),
                         [](const auto& i) {
                           return "Type" + std::to_string(i.param.type) +
                                  (i.param.searchDir == 0 ? "Up" : "Down");
                         });

TEST_F(Homing, StagesRunInOrderAndUnstagedAxesStay) {
  for (uint16_t a = 0; a < 3; ++a)
    setHome(a, 1, 0, 1, 0.0);
  plant([&](vcard::Plant& p) {
    for (unsigned a = 0; a < 6; ++a) {
      p.axis(a).homePosition = 1000;
      p.axis(a).homeWidth = 200;
    }
  });
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_GoHome(kSpeed, kSpeed, kSpeed, kSpeed, kSpeed, kSpeed, 0, 0, 1, 255, 255, 255, 0),
            0);
  // While axes 0 and 1 search, axis 2 waits.
  VNL_TimeDelay(40);
  EXPECT_GT(position(0), 100);
  EXPECT_EQ(position(0), position(1));
  EXPECT_EQ(position(2), 0);
  ASSERT_TRUE(waitHomed(8000));
  for (unsigned a = 0; a < 3; ++a)
    EXPECT_NEAR(position(a), 999, 2) << "axis " << a;
  for (unsigned a = 3; a < 6; ++a)
    EXPECT_EQ(position(a), 0) << "axis " << a;
}

// Two axes of one machine reach their index marks in the same cycle: both
// marks are taken, so both axes finish (the first latch event used to hide
// the second, and that axis searched for ever).
TEST_F(Homing, AxesWhoseIndexMarksCoincideBothFinish) {
  for (uint16_t a = 0; a < 2; ++a)
    setHome(a, 0, 0, 0, 0.0);
  plant([&](vcard::Plant& p) {
    for (unsigned a = 0; a < 2; ++a) {
      p.axis(a).homePosition = 1000;
      p.axis(a).homeWidth = 200;
      p.axis(a).indexEvery = 1000;
      p.axis(a).indexPhase = 400;
    }
  });
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_GoHome(kSpeed, kSpeed, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0), 0);
  ASSERT_TRUE(waitHomed(8000));
  EXPECT_EQ(position(0), 1400);
  EXPECT_EQ(position(1), 1400);
}

TEST_F(Homing, AbortDeceleratesAndReturnsToIdle) {
  setHome(0, 1, 0, 1, 0.0);  // no sensor on the plant: the search never ends
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_GoHome(kSpeed, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0), 0);
  VNL_TimeDelay(100);
  EXPECT_EQ(VNL_GetGoHomeStatus(), 0);
  EXPECT_GT(position(0), 500);
  // Without a sensor the search keeps going at the home step until aborted.
  VNL_TimeDelay(3000);
  EXPECT_EQ(VNL_GetGoHomeStatus(), 0);
  const std::int64_t before = position(0);
  VNL_TimeDelay(300);
  const std::int64_t mid = position(0);
  VNL_TimeDelay(300);
  const std::int64_t before2 = position(0);
  EXPECT_GT(mid - before, 3000);
  EXPECT_NEAR(static_cast<double>(before2 - mid), static_cast<double>(mid - before), 26.0)
      << "still searching at the home step";
  EXPECT_EQ(VNL_AbortGoHome(), 0);
  VNL_TimeDelay(20);
  const std::int64_t stopped = position(0);
  EXPECT_LT(stopped - before2, 13 * 12);  // no more than the ramp down
  VNL_TimeDelay(20);
  EXPECT_EQ(position(0), stopped);
  EXPECT_EQ(VNL_AbortGoHome(), -10);  // no longer homing
  // The output layer takes motion again.
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
}

// A closed-loop axis homes too: its drive follows the error counter, and
// the engine lets it come to rest before it reverses for the leave.
TEST_F(Homing, AClosedLoopAxisHomesToTheSensorEdge) {
  setHome(0, 1, 0, 1, 0.0);
  MACHINE_PARAM p{};
  VNL_GetMachParam(&p, 0, 0);
  p.wCommandMode = 1;
  ASSERT_EQ(VNL_SetMachParam(&p, 0, 0), 0);
  plant([&](vcard::Plant& pl) {
    pl.axis(0).homePosition = 1000;
    pl.axis(0).homeWidth = 200;
  });
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_GoHome(kSpeed, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0), 0);
  const bool homed = waitHomed(8000);
  p.wCommandMode = 0;
  VNL_SetMachParam(&p, 0, 0);
  ASSERT_TRUE(homed);
  VNL_TimeDelay(200);
  // The loop lags the commanded pulses, so the leave sees the sensor edge a
  // following error late (about 12 counts at the leave speed here).
  EXPECT_NEAR(static_cast<double>(position(0)), 999.0, 15.0);
  EXPECT_LT(position(0), 1000) << "off the sensor";
  EXPECT_EQ(card_->withChip([](vcard::Chip& chip) { return chip.plant().pulsesReceived(0); }), 0)
      << "the drive moved by the loop's command";
}

// The application walks axis 1 through the stepwise states with line moves:
// onto the sensor over [1000, 1200), back off it, on to the index mark at 500.
TEST_F(Homing, StepwiseFunctionsWalkTheStates) {
  plant([&](vcard::Plant& p) {
    auto& a = p.axis(1);
    a.indexEvery = 1000;
    a.indexPhase = 500;
    a.homePosition = 1000;
    a.homeWidth = 200;
  });
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(VNL_InitGoHome(), 1);
  EXPECT_EQ(vnl_test_step_home_state(1), 10);
  int32_t touched = -1;
  EXPECT_EQ(VNL_TouchHomeSensor(&touched, 1), 0);  // not active yet
  EXPECT_EQ(VNL_FindHomeSensor(1.1, 5.0, 6), 0);
  // Refused arguments, and a line that is refused (feed speed 0: -7), change
  // neither the step state nor the feed speed; the refusal is returned.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ASSERT_EQ(VNL_SetFeedSpeed(3.0, 1), 3.0);
  EXPECT_EQ(VNL_FindHomeSensor(nan, nan, 1), -5);
  EXPECT_EQ(VNL_FindHomeSensor(1.1, nan, 1), -5);
  EXPECT_EQ(VNL_FindHomeSensor(1.1, -2.0, 1), -7);
  EXPECT_EQ(vnl_test_step_home_state(1), 10);
  EXPECT_EQ(VNL_TouchHomeSensor(&touched, 1), 0);  // still not active
  EXPECT_EQ(VNL_GetFeedSpeed(1), 3.0);
  ASSERT_EQ(VNL_FindHomeSensor(1.1, 5.0, 1), 1);  // group 1 drives axis 1
  EXPECT_EQ(vnl_test_step_home_state(1), 0);
  for (int t = 0; t < 100 && touched != 1; ++t)
    ASSERT_EQ(VNL_TouchHomeSensor(&touched, 1), 1);
  EXPECT_EQ(touched, 1);
  EXPECT_EQ(vnl_test_step_home_state(1), 1);
  EXPECT_GE(position(1), 1000);
  VNL_TimeDelay(300);  // the line ends on the sensor
  EXPECT_EQ(position(1), 1100);
  EXPECT_EQ(position(0), 0);

  int32_t latch = -1;
  EXPECT_EQ(VNL_GetEncoderIndex(&latch, 1), 0);
  EXPECT_EQ(VNL_LeaveHomeSensor(nan, nan, 1), -5);
  EXPECT_EQ(VNL_LeaveHomeSensor(0.0, std::numeric_limits<double>::infinity(), 1), -5);
  EXPECT_EQ(vnl_test_step_home_state(1), 1);
  EXPECT_EQ(VNL_GetFeedSpeed(1), 5.0);
  VNL_TimeDelay(20);
  EXPECT_EQ(position(1), 1100);
  ASSERT_EQ(VNL_LeaveHomeSensor(0.0, 5.0, 1), 1);
  EXPECT_EQ(vnl_test_step_home_state(1), 2);
  int state = 2;
  for (int t = 0; t < 100 && state != 3 && state != 4; ++t) {
    VNL_TimeDelay(2);
    state = vnl_test_step_home_state(1);
  }
  EXPECT_EQ(state, 3);
  EXPECT_LT(position(1), 1000);
  EXPECT_GT(position(1), 500);
  int found = 0;
  for (int t = 0; t < 100 && !found; ++t)
    found = VNL_GetEncoderIndex(&latch, 1);
  ASSERT_EQ(found, 1);
  EXPECT_EQ(latch, 500);
  EXPECT_EQ(vnl_test_step_home_state(1), 5);
  EXPECT_EQ(VNL_TouchHomeSensor(&touched, 1), 0);  // inactive once collected
}

}  // namespace
