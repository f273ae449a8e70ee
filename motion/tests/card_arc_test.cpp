// An arc on the virtual card in virtual time: the plant ends where the
// library's pulse position says, on the arc's end point.
#include <gtest/gtest.h>

#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"

namespace {

class CardArc : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_DisableSimulation();
    vcard::bus().clear();
    card_ = vcard::bus().install(vcard::ChipModel::Qora210);
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    CardConfig c{2, 0, 0, 0};
    ASSERT_EQ(VNL_InitSystem(1, &c, 1), 0);
  }
  void TearDown() override {
    VNL_CloseSystem();
    vcard::bus().clear();
    platform::useRealTime();
  }
  std::int64_t position(unsigned axis) {
    return card_->withChip([&](vcard::Chip& chip) { return chip.plant().position(axis); });
  }
  std::shared_ptr<vcard::VirtualCard> card_;
};

TEST_F(CardArc, AHelicalArcEndsWithThePlantOnTheLibrarysPulsePosition) {
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_ArcXYUVW(1, 1, 2, 0, 0.5, 0, 0, 0), 0);
  ASSERT_EQ(VNL_CircleXY(1.5, 0, 1, 0), 1);
  int n = 0;
  while (VNL_GetMotionStatus(0) != 1 && n++ < 60000)
    VNL_TimeDelay(1);
  ASSERT_LT(n, 60000) << "the group did not stop";
  int32_t p[6] = {};
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 2000);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[3], 500);
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_EQ(position(a), p[a]) << "axis " << a;
}

}  // namespace
