// Point-to-point moves through the exported functions, in simulation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "motion/tests/group_helpers.h"
#include "platform/clock/clock.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

extern "C" int32_t VNL_set_ptp_spd(int32_t, uint16_t);

namespace {

struct Period {
  std::array<int32_t, 6> pulses;
  int32_t status;
};

void record(void* user) {
  auto* log = static_cast<std::vector<Period>*>(user);
  Period p{};
  VNL_GetPulsePos(&p.pulses[0], &p.pulses[1], &p.pulses[2], &p.pulses[3], &p.pulses[4],
                  &p.pulses[5], 0);
  CurrentCommandInfo info{};
  VNL_GetCurCommand(&info, 0);
  p.status = info.nKind;
  log->push_back(p);
}

class PtpSim : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_EnableSimulation();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    CardConfig c{2, 576, 0, 0};
    ASSERT_EQ(VNL_InitSystem(1, &c, 1), 0);
  }
  void TearDown() override {
    vnl_set_period_observer(nullptr, nullptr);
    VNL_CloseSystem();
  }
  static void waitStopped() { vnl::test::waitStopped(0, 200000); }
};

TEST_F(PtpSim, SpeedIsClampedToZeroToHundredAndDefaultsToTen) {
  EXPECT_EQ(VNL_GetPtPSpeed(0), 10);
  EXPECT_EQ(VNL_SetPtPSpeed(150, 0), 100);
  EXPECT_EQ(VNL_GetPtPSpeed(0), 100);
  EXPECT_EQ(VNL_set_ptp_spd(-3, 0), 0);
  EXPECT_EQ(VNL_GetPtPSpeed(0), 0);
  EXPECT_EQ(VNL_SetPtPSpeed(50, 72), -6);
  EXPECT_EQ(VNL_GetPtPSpeed(72), -6);
}

TEST_F(PtpSim, ShortAxisArrivesFirstAndTheMoveFinishesWithTheLongOne) {
  ASSERT_EQ(VNL_SetFeedSpeed(1, 0), 1.0);  // required, though the move does not use it
  ASSERT_EQ(VNL_SetPtPSpeed(100, 0), 100);
  std::vector<Period> log;
  vnl_set_period_observer(&record, &log);
  ASSERT_EQ(VNL_PtP(100, 10, 0, 0, 0, 0, 0), 0);
  waitStopped();
  vnl_set_period_observer(nullptr, nullptr);
  size_t yDone = log.size(), xDone = log.size();
  for (size_t i = 0; i < log.size(); ++i) {
    if (yDone == log.size() && log[i].pulses[1] == 10000) yDone = i;
    if (xDone == log.size() && log[i].pulses[0] == 100000) xDone = i;
  }
  ASSERT_LT(yDone, xDone);
  // X runs on alone: Y stays put, X keeps moving, the move is still current.
  EXPECT_GT(xDone - yDone, 1000u);
  for (size_t i = yDone; i < log.size(); ++i)
    EXPECT_EQ(log[i].pulses[1], 10000);
  EXPECT_LT(log[(yDone + xDone) / 2].pulses[0], 100000);
  EXPECT_GT(log[(yDone + xDone) / 2].pulses[0], log[yDone].pulses[0]);
  EXPECT_EQ(log[yDone].status, 0);  // point-to-point kind
  // Both started together: in the first periods both axes move.
  size_t firstY = 0;
  while (firstY < log.size() && log[firstY].pulses[1] == 0)
    ++firstY;
  EXPECT_LT(firstY, 30u);
  EXPECT_EQ(VNL_GetMotionStatus(0), 1);
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 100000);
  EXPECT_EQ(p[1], 10000);
  EXPECT_EQ(p[2], 0);
}

TEST_F(PtpSim, ChecksAsForLinesAndBadNumbersQueueNothing) {
  EXPECT_EQ(VNL_PtP(1, 0, 0, 0, 0, 0, 0), -7);  // no feed speed
  ASSERT_EQ(VNL_SetFeedSpeed(1, 0), 1.0);
  EXPECT_EQ(VNL_PtP(std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 0, 0, 0), -5);
  EXPECT_EQ(VNL_PtP(0, 0, 0, 0, 0, 1e12, 0), -5);
  EXPECT_EQ(VNL_PtP(0, 0, 0, 0, 0, 0, 72), -6);
  int32_t n = -1;
  ASSERT_EQ(VNL_GetCommandCount(&n, 0), 0);
  EXPECT_EQ(n, 0);
  // Incremental: the targets add to the last ones.
  ASSERT_EQ(VNL_SetPtPSpeed(100, 0), 100);
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_EQ(VNL_PtP(0.5, -0.25, 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(VNL_PtP(0.5, -0.25, 0, 0.125, 0, 0, 0), 1);
  waitStopped();
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 1000);
  EXPECT_EQ(p[1], -500);
  EXPECT_EQ(p[3], 125);
}

}  // namespace
