// The peripheral functions on the virtual card: index and argument checks,
// the rate code, the closed-loop refusal of the DAC, -14 from a card that is
// not open, and the peripheral request codes served by the cycle.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "motion/tests/virtual_card_fixture.h"
#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"
#include "varnelpci.h"

extern "C" int32_t vnl_test_post_read(uint8_t code, uint16_t value, uint32_t* data);

namespace {

class Passthrough : public vnl::test::VirtualCardTest {
 protected:
  void TearDown() override {
    VirtualCardTest::TearDown();
    MACHINE_PARAM p{};
    VNL_GetMachParam(&p, 3, 0);
    p.wCommandMode = 0;
    VNL_SetMachParam(&p, 3, 0);
  }
};

TEST_F(Passthrough, RefusedBeforeInitialisation) {
  EXPECT_EQ(VNL_SetENCInputRate(1, 0, 0), -1);
  EXPECT_EQ(VNL_ClearENCCounter(0, 0), -1);
  EXPECT_EQ(VNL_StartADCConv(0), -1);
}

TEST_F(Passthrough, EncoderRateIsCheckedAndCoded) {
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(VNL_SetENCInputRate(3, 0, 0), -5);
  EXPECT_EQ(VNL_SetENCInputRate(0, 0, 0), -5);
  EXPECT_EQ(VNL_SetENCInputRate(4, 6, 0), -5);
  EXPECT_EQ(VNL_SetENCInputRate(4, 0, 12), -5);
  EXPECT_EQ(VNL_SetENCInputRate(4, 2, 0), 0);
  uint16_t rate = 0;
  ASSERT_NE(QORA_ENC_GetInputRate(2, &rate, 0), 0);
  EXPECT_EQ(rate, 3);
  EXPECT_EQ(VNL_SetENCInputRate(2, 2, 0), 0);
  ASSERT_NE(QORA_ENC_GetInputRate(2, &rate, 0), 0);
  EXPECT_EQ(rate, 2);
  // Card 1 is within range but not installed: the card call fails.
  EXPECT_EQ(VNL_SetENCInputRate(4, 2, 1), -14);
  EXPECT_EQ(VNL_ClearENCCounter(0, 1), -14);
  EXPECT_EQ(VNL_StartADCConv(1), -14);
}

TEST_F(Passthrough, ArgumentChecksOfTheFamily) {
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(VNL_SetENCLatchSource(3, 0, 0), -5);
  EXPECT_EQ(VNL_SetENCLatchSource(0, 0, 0), -5);
  EXPECT_EQ(VNL_SetENCLatchSource(1u << 15, 0, 0), -5);
  EXPECT_EQ(VNL_SetENCLatchSource(1u << 14, 0, 0), 0);
  EXPECT_EQ(VNL_SetENCLatchType(2, 0, 0), -5);
  EXPECT_EQ(VNL_SetENCLatchType(1, 0, 0), 0);
  EXPECT_EQ(VNL_SetLIOTriggerType(1, 6, 0), 0);
  EXPECT_EQ(VNL_SetLIOTriggerType(1, 7, 0), -5);
  EXPECT_EQ(VNL_SetLIOTriggerType(3, 0, 0), -5);
  EXPECT_EQ(VNL_EnableLIOTrigger(7, 0), -5);
  EXPECT_EQ(VNL_SetADCConvMode(1, 0), -5);
  EXPECT_EQ(VNL_SetADCConvMode(0, 0), 0);
  EXPECT_EQ(VNL_SetADCConvType(2, 0, 0), -5);
  EXPECT_EQ(VNL_SetADCCompMask(4, 0), -5);
  EXPECT_EQ(VNL_SetADCCompType(0, 3, 0), -5);
  EXPECT_EQ(VNL_SetDACOutput(10.5f, 0, 0), -5);
  EXPECT_EQ(VNL_SetDACOutput(-10.5f, 0, 0), -5);
  EXPECT_EQ(VNL_SetDACOutput(10.0f, 0, 0), 0);
  EXPECT_EQ(VNL_SetDACTriggerSource(6, 0, 0), -5);
  EXPECT_EQ(VNL_SetDACTriggerSource(1u << 31, 0, 0), 0);
  EXPECT_EQ(VNL_GetENCValue(nullptr, 0, 0), -5);
  int32_t v = -1;
  EXPECT_EQ(VNL_ClearENCCounter(0, 0), 0);
  EXPECT_EQ(VNL_GetENCValue(&v, 0, 0), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(VNL_SetADCConvType(1, 4, 0), 0);
  uint16_t type = 0;
  EXPECT_EQ(VNL_GetADCConvType(&type, 4, 0), 0);
  EXPECT_EQ(type, 1);
}

TEST_F(Passthrough, DacOfAClosedLoopAxisIsRefused) {
  MACHINE_PARAM p{};
  VNL_GetMachParam(&p, 3, 0);
  p.wCommandMode = 1;
  ASSERT_EQ(VNL_SetMachParam(&p, 3, 0), 0);
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(VNL_SetDACOutput(1.0f, 3, 0), -9);
  EXPECT_EQ(VNL_SetDACTriggerOutput(1.0f, 3, 0), -9);
  EXPECT_EQ(VNL_EnableDACTriggerMode(3, 0), -9);
  EXPECT_EQ(VNL_StartDACConv(0), -9);
  EXPECT_EQ(VNL_StopDACConv(0), -9);
  EXPECT_EQ(VNL_SetDACOutput(1.0f, 2, 0), 0);
}

TEST_F(Passthrough, TheCycleServesThePeripheralRequestCodes) {
  ASSERT_EQ(init(), 0);
  uint32_t data = 4;
  ASSERT_EQ(vnl_test_post_read(16, 1, &data), 0);  // axis 1 of card 0, rate 4
  uint16_t rate = 0;
  ASSERT_NE(QORA_ENC_GetInputRate(1, &rate, 0), 0);
  EXPECT_EQ(rate, 3);
  data = 1;
  ASSERT_EQ(vnl_test_post_read(65, 5, &data), 0);  // conversion type 1 on channel 5
  data = 0;
  ASSERT_EQ(vnl_test_post_read(66, 5, &data), 0);
  EXPECT_EQ(data, 1u);
  data = std::bit_cast<uint32_t>(2.5f);
  ASSERT_EQ(vnl_test_post_read(78, 2, &data), 0);
  float comp = 0.0f;
  ASSERT_NE(QORA_ADC_GetCompValue(2, &comp, 0), 0);
  EXPECT_NEAR(comp, 2.5f, 0.01f);
  data = 0;
  ASSERT_EQ(vnl_test_post_read(79, 2, &data), 0);
  EXPECT_NEAR(std::bit_cast<float>(data), 2.5f, 0.01f);
  // The counter cleared through the mailbox reads 0 on the card.
  card_->withChip([](vcard::Chip& chip) { chip.plant().setPosition(0, 1234); });
  platform::clock().sleepMs(2);
  ASSERT_EQ(vnl_test_post_read(17, 0, nullptr), 0);
  int32_t v = -1;
  ASSERT_NE(QORA_ENC_GetValue(0, &v, 0), 0);
  EXPECT_EQ(v, 0);
}

}  // namespace
