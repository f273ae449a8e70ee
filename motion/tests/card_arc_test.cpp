// An arc on the virtual card in virtual time: the plant ends where the
// library's pulse position says, on the arc's end point.
#include <gtest/gtest.h>

#include "motion/tests/virtual_card_fixture.h"

namespace {

class CardArc : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    ASSERT_EQ(init(), 0);
  }
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
