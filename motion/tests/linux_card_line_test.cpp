// The whole stack on real-card plumbing: a line through the motion library,
// the card-access library and the Linux backend of the driver service, on a
// fake machine whose sysfs tree and UIO node reach a virtual card. The plant
// ends on the library's pulse position, for both chip models.
#include <gtest/gtest.h>

#include <memory>

#include "platform/clock/clock.h"
#include "platform/pcisvc/testing/card_bench.h"
#include "varnelpci.h"

namespace {

using vcard::ChipModel;

class LinuxCardLine : public ::testing::TestWithParam<ChipModel> {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_DisableSimulation();
    bench_ = pcisvc::testing::makeBench(pcisvc::testing::BenchKind::Sysfs);
    card_ = bench_->install(GetParam());
  }
  void TearDown() override {
    VNL_CloseSystem();
    card_.reset();
    bench_.reset();
    platform::useRealTime();
  }
  std::int64_t position(unsigned axis) {
    return card_->withChip([&](vcard::Chip& chip) { return chip.plant().position(axis); });
  }

  std::unique_ptr<pcisvc::testing::CardBench> bench_;
  std::shared_ptr<vcard::VirtualCard> card_;
};

TEST_P(LinuxCardLine, ThePlantEndsOnTheLibrarysPulsePosition) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  const CardConfig config{static_cast<int16_t>(GetParam() == ChipModel::Qora310 ? 3 : 2), 0, 0, 0};
  ASSERT_EQ(VNL_InitSystem(1, &config, 1), 0);
  EXPECT_TRUE(bench_->registered(*card_));
  ASSERT_EQ(VNL_SetFeedSpeed(3, 0), 3.0);
  ASSERT_EQ(VNL_Line(2.5, -1.25, 0.7505, 0, 0, 0, 0), 0);
  int n = 0;
  while (VNL_GetMotionStatus(0) != 1 && n++ < 60000)
    VNL_TimeDelay(1);
  ASSERT_EQ(VNL_GetMotionStatus(0), 1) << "the group did not stop";
  std::int32_t p[6] = {};
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 2500);
  EXPECT_EQ(p[1], -1250);
  EXPECT_EQ(p[2], 750);
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_EQ(position(a), p[a]) << "axis " << a;
  EXPECT_GT(card_->interruptsDelivered(), 800u) << "the cycle ran on the card's interrupts";
  VNL_CloseSystem();
  EXPECT_FALSE(bench_->registered(*card_));
}

INSTANTIATE_TEST_SUITE_P(Models, LinuxCardLine,
                         ::testing::Values(ChipModel::Qora210, ChipModel::Qora310),
                         [](const auto& info) {
                           return info.param == ChipModel::Qora310 ? "Qora310" : "Qora210";
                         });

}  // namespace
