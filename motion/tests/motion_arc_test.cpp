// Arcs and circles through the exported functions, in simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "motion/tests/group_helpers.h"
#include "platform/clock/clock.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

extern "C" int32_t VNL_arc_xyz(double, double, double, double, double, double, uint16_t);
extern "C" int32_t VNL_circle_yz(double, double, uint8_t, uint16_t);

namespace {

using Pulses = std::array<int32_t, 6>;

void record(void* user) {
  auto* log = static_cast<std::vector<Pulses>*>(user);
  Pulses p{};
  VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
  if (log->empty() || log->back() != p) log->push_back(p);
}

using vnl::test::commandCount;
using vnl::test::pulsePos;
using vnl::test::waitStopped;

class ArcSim : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_EnableSimulation();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    CardConfig c{2, 576, 0, 0};
    ASSERT_EQ(VNL_InitSystem(1, &c, 1), 0);
    ASSERT_EQ(VNL_SetFeedSpeed(4, 0), 4.0);
  }
  void TearDown() override {
    vnl_set_period_observer(nullptr, nullptr);
    VNL_CloseSystem();
  }
  // The distinct pulse positions the output layer went through while `queue`
  // ran from the origin.
  template <class F>
  std::vector<Pulses> trace(F queue) {
    std::vector<Pulses> log;
    vnl_set_period_observer(&record, &log);
    EXPECT_GE(queue(), 0);
    waitStopped();
    vnl_set_period_observer(nullptr, nullptr);
    return log;
  }
};

TEST_F(ArcSim, ArcXYZWithThreePointsOfEqualZRunsExactlyAsArcXY) {
  ASSERT_EQ(VNL_LineZ(0.25, 0), 0);
  waitStopped();
  const auto a = trace([] { return VNL_ArcXY(1, 1, 2, 0, 0); });
  CurrentCommandInfo ia{};
  ASSERT_EQ(VNL_GetCurCommand(&ia, 0), 0);
  ASSERT_EQ(VNL_Line(0, 0, 0.25, 0, 0, 0, 0), 2);
  waitStopped();
  const auto b = trace([] { return VNL_arc_xyz(1, 1, 0.25, 2, 0, 0.25, 0); });
  CurrentCommandInfo ib{};
  ASSERT_EQ(VNL_GetCurCommand(&ib, 0), 0);
  ASSERT_GT(a.size(), 100u);
  EXPECT_EQ(a, b);
  EXPECT_EQ(ia.nKind, 2);  // start, reference, end turn clockwise about +Z
  EXPECT_EQ(ib.nKind, ia.nKind);
  EXPECT_EQ(pulsePos(), (Pulses{2000, 0, 250, 0, 0, 0}));
  // The arc passed over the top of its circle, through the reference point:
  // within the pulse that truncation toward zero takes off when no step
  // lands exactly on the top.
  int32_t top = 0;
  for (const Pulses& p : b)
    top = std::max(top, p[1]);
  EXPECT_GE(top, 999);
  EXPECT_LE(top, 1000);
}

TEST_F(ArcSim, HelicalArcBackOnItsStartIsAFullTurnThroughTheReferencePoint) {
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_EQ(VNL_LineX(1, 0), 0);
  waitStopped();
  // Incremental: the reference point is 2 beyond the start in X, the end on
  // the start, U, V, W move by 1, 2, -3 over the turn.
  const auto log = trace([] { return VNL_ArcXYUVW(2, 0, 0, 0, 1, 2, -3, 0); });
  int32_t maxX = 0, minY = 0, maxY = 0;
  for (const Pulses& p : log) {
    maxX = std::max(maxX, p[0]);
    minY = std::min(minY, p[1]);
    maxY = std::max(maxY, p[1]);
  }
  EXPECT_NEAR(maxX, 3000, 1);
  EXPECT_NEAR(minY, -1000, 1);
  EXPECT_NEAR(maxY, 1000, 1);
  EXPECT_EQ(pulsePos(), (Pulses{1000, 0, 0, 1000, 2000, -3000}));
  // Half way round (on the far side, crossing Y 0) U, V, W are half way too.
  const Pulses* half = nullptr;
  for (const Pulses& p : log)
    if (p[0] > 2000 && (half == nullptr || std::abs(p[1]) < std::abs((*half)[1]))) half = &p;
  ASSERT_NE(half, nullptr);
  EXPECT_NEAR((*half)[3], 500, 3);
  EXPECT_NEAR((*half)[4], 1000, 4);
  EXPECT_NEAR((*half)[5], -1500, 5);
}

TEST_F(ArcSim, CircleCentreIsOffsetInIncrementalCoordinatesAndTheSenseFollowsTheByte) {
  ASSERT_EQ(VNL_SetIncrease(0), 0);
  ASSERT_EQ(VNL_LineY(1, 0), 0);
  waitStopped();
  for (uint8_t dir : {uint8_t{0}, uint8_t{7}}) {
    // Circle about (Y 1 + 1, Z 0 + 0) in the Y-Z plane; counter-clockwise
    // about +X leaves the start toward -Z.
    const auto log = trace([dir] { return VNL_circle_yz(1, 0, dir, 0); });
    ASSERT_GT(log.size(), 10u);
    const Pulses& early = log[log.size() / 8];
    if (dir != 0)
      EXPECT_LT(early[2], 0);
    else
      EXPECT_GT(early[2], 0);
    int32_t maxY = 0;
    for (const Pulses& p : log)
      maxY = std::max(maxY, p[1]);
    EXPECT_NEAR(maxY, 3000, 1);
    EXPECT_EQ(pulsePos(), (Pulses{0, 1000, 0, 0, 0, 0}));
    CurrentCommandInfo info{};
    ASSERT_EQ(VNL_GetCurCommand(&info, 0), 0);
    EXPECT_EQ(info.nKind, dir != 0 ? 3 : 2);
  }
}

TEST_F(ArcSim, CollinearPointsAndBadNumbersReturnMinusFiveAndQueueNothing) {
  ASSERT_EQ(VNL_SetIncrease(0), 0);  // nothing queued must not move the last target
  EXPECT_EQ(VNL_ArcXY(1, 1, 2, 2, 0), -5);
  EXPECT_EQ(static_cast<uint32_t>(VNL_GetErrorCode(0)), 0xF104u);
  EXPECT_EQ(VNL_ArcXYZ(1, 2, 3, 2, 4, 6, 0), -5);
  EXPECT_EQ(VNL_ArcXYZ(0, 0, 0, 0, 0, 0, 0), -5);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(VNL_ArcXY(nan, 1, 2, 0, 0), -5);
  EXPECT_EQ(VNL_ArcYZ(1, 1, inf, 0, 0), -5);
  EXPECT_EQ(VNL_ArcZXUVW(1, 1, 2, 0, 0, nan, 0, 0), -5);
  EXPECT_EQ(VNL_CircleXY(inf, 0, 1, 0), -5);
  EXPECT_EQ(VNL_CircleZXUVW(1, 0, 0, 0, -inf, 1, 0), -5);
  EXPECT_EQ(VNL_ArcXYZ(1, 1, 1, 2, nan, 0, 0), -5);
  EXPECT_EQ(VNL_CircleXY(1e12, 0, 1, 0), -5);  // beyond the pulse range
  EXPECT_EQ(commandCount(), 0);
  EXPECT_EQ(VNL_CircleXY(1, 0, 1, 72), -6);
  // Nothing above moved the last target: a circle queued now starts at the origin.
  ASSERT_EQ(VNL_CircleXY(1, 0, 1, 0), 0);
  waitStopped();
  EXPECT_EQ(pulsePos(), (Pulses{}));
  EXPECT_EQ(VNL_SetFeedSpeed(0, 0), 0.0);
  EXPECT_EQ(VNL_CircleXY(1, 0, 1, 0), -7);
}

}  // namespace
