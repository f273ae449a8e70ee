// Register writes of the module functions as the virtual card sees them: a
// card is opened through the driver service, its write log switched on, and
// the chip writes (address space 2) of each call compared with the register
// values the chip expects. Refused calls must leave the log and their
// outputs alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"

namespace {

using vcard::ChipModel;
using Writes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // offset, value

int init(ChipModel model, std::uint16_t card) {
  if (model == ChipModel::Qora310)
    return QORA310_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, card);
  return QORA210_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, card);
}

class RegisterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    previous_ = platform::msgbox::setHandler([](const std::string&, const std::string&) {});
    vcard::bus().clear();
  }
  void TearDown() override {
    for (std::uint16_t c = 0; c < QORA_MAX_CARDS; ++c)
      QORA_Close(c);
    vcard::bus().clear();
    platform::msgbox::setHandler(previous_);
    platform::useRealTime();
  }
  // Opens card 0 of `model` with a fresh log.
  void open(ChipModel model = ChipModel::Qora210) {
    card_ = vcard::bus().install(model);
    ASSERT_EQ(init(model, 0), 1);
    card_->recordWrites(true);
    card_->clearWrites();
  }
  // The chip writes since the last call.
  Writes take() {
    Writes out;
    for (const auto& w : card_->writes()) {
      if (w.space != 2) continue;
      EXPECT_EQ(w.width, 16) << "offset " << w.offset;
      out.emplace_back(w.offset, w.value);
    }
    card_->clearWrites();
    return out;
  }
  // The last value written to `offset` since the last take(), 0xDEAD if none.
  std::uint32_t last(std::uint32_t offset) {
    std::uint32_t value = 0xDEAD;
    for (const auto& [o, v] : take())
      if (o == offset) value = v;
    return value;
  }

  std::shared_ptr<vcard::VirtualCard> card_;
  platform::msgbox::Handler previous_;
};

TEST_F(RegisterTest, FrameRegisters) {
  open();
  ASSERT_EQ(QORA_SetIRQNo(15, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x04, 0x8000}}));
  ASSERT_EQ(QORA_SetIRQNo(10, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x04, 0x1000}}));
  ASSERT_EQ(QORA_ResetModule(1, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x00, 0x0001}, {0x00, 0x0000}}));
  EXPECT_EQ(QORA_SetIRQNo(4, 0), 0);
  EXPECT_EQ(QORA_ResetModule(11, 0), 0);
  EXPECT_TRUE(take().empty());
}

// Without an interrupt service the sources stay pending for a poll.
TEST_F(RegisterTest, InterruptSourceFlagsOfAPoll) {
  vcard::Faults f;
  f.interruptEnableFails = true;
  vcard::bus().setFaults(f);
  open();
  std::uint8_t flags[QORA_INTSRC_FLAGS];
  std::fill(std::begin(flags), std::end(flags), 0x55);
  EXPECT_EQ(QORA_GetIntSource(flags, 0), 0) << "nothing pending";
  for (std::uint8_t b : flags)
    EXPECT_EQ(b, 0);
  // A DDA cycle and a falling LDI input 0: sources 0x0081.
  card_->withChip([](vcard::Chip& c) { c.plant().setLdiInputs(1, 1); });
  ASSERT_EQ(QORA_LIO_SetLDIIntType(0, 1, 0), 1);
  ASSERT_EQ(QORA_LIO_EnableLDIInt(0, 0), 1);
  card_->withChip([](vcard::Chip& c) { c.plant().setLdiInputs(1, 0); });
  ASSERT_EQ(QORA_DDA_SetTime(1.0f, 5, 0), 1);
  ASSERT_EQ(QORA_DDA_EnableCycleInt(0), 1);
  ASSERT_EQ(QORA_DDA_StartEngine(0), 1);
  platform::clock().sleepFor(std::chrono::nanoseconds(819200));
  ASSERT_EQ(QORA_DDA_StopEngine(0), 1);
  ASSERT_EQ(card_->withChip([](vcard::Chip& c) { return c.pendingSources(); }), 0x0081);
  EXPECT_EQ(QORA_GetIntSource(flags, 0), 1);
  EXPECT_EQ(std::vector<std::uint8_t>(flags, flags + QORA_INTSRC_FLAGS),
            (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 1, 0}));
}

TEST_F(RegisterTest, PulseCommandsGoToTheAxisFifoInSignMagnitude) {
  open();
  ASSERT_EQ(QORA_DDA_SendPulse(3, static_cast<std::uint32_t>(-5), 0), 1);
  ASSERT_EQ(QORA_DDA_SendPulse(3, 5, 0), 1);
  ASSERT_EQ(QORA_DDA_SendPulse(0, static_cast<std::uint32_t>(-32768), 0), 1);
  ASSERT_EQ(QORA_DDA_SendPulse(5, 0x00017FFFu, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x26, 0x8005}, {0x26, 0x0005}, {0x20, 0x8000}, {0x2A, 0x7FFF}}));
  EXPECT_EQ(QORA_DDA_SendPulse(6, 1, 0), 0);
  EXPECT_TRUE(take().empty());
}

TEST_F(RegisterTest, DdaTimeWritesBitLengthThenDividerAndStoresTheObtainedTime) {
  open();
  struct Case {
    float ms;
    std::uint16_t code;
    std::uint32_t timing;
    float stored;
  };
  for (const Case& c : {Case{1.0f, 5, 0x5000, 0.8192f}, Case{10.0f, 5, 0x500B, 9.8304f},
                        Case{105.0f, 0, 0x0FFF, 104.8576f}, Case{0.0f, 5, 0x5FFF, 3355.4432f}}) {
    SCOPED_TRACE(c.ms);
    ASSERT_EQ(QORA_DDA_SetTime(c.ms, c.code, 0), 1);
    const Writes w = take();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].first, 0x3Au);
    EXPECT_EQ(w[1], (std::pair<std::uint32_t, std::uint32_t>{0x3A, c.timing}));
    EXPECT_EQ(w[0].second >> 12, c.code) << "bit length first";
    float t = 0;
    ASSERT_EQ(QORA_DDA_GetTime(&t, 0), 1);
    EXPECT_FLOAT_EQ(t, c.stored);
  }
  float t = -1;
  EXPECT_EQ(QORA_DDA_SetTime(106.0f, 0, 0), 0);
  EXPECT_EQ(QORA_DDA_SetTime(1.0f, 6, 0), 0);
  EXPECT_TRUE(take().empty());
  ASSERT_EQ(QORA_DDA_GetTime(&t, 0), 1);
  EXPECT_FLOAT_EQ(t, 3355.4432f) << "a refused time keeps the stored one";
}

TEST_F(RegisterTest, OutputConfigurationFieldsKeepTheirNeighbours) {
  open();
  ASSERT_EQ(QORA_DDA_EnableOutAInverse(2, 0), 1);  // bit 15
  ASSERT_EQ(QORA_DDA_EnableOutABSwap(2, 0), 1);    // bit 13
  ASSERT_EQ(QORA_DDA_SetOutputFormat(2, 1, 0), 1);
  EXPECT_EQ(last(0x30), 0xA800u) << "axis 2 configuration is 0x30";
  ASSERT_EQ(QORA_DDA_SetPulseWidth(2, 2047, 0), 1);
  EXPECT_EQ(last(0x30), 0xA000u | 0x0800u | 0x07FFu);
  ASSERT_EQ(QORA_DDA_SetPulseWidth(2, 5, 0), 1);
  EXPECT_EQ(last(0x30), 0xA805u);
  ASSERT_EQ(QORA_DDA_DisableOutAInverse(2, 0), 1);
  EXPECT_EQ(last(0x30), 0x2805u);
  EXPECT_EQ(QORA_DDA_SetPulseWidth(2, 0, 0), 0);
  EXPECT_EQ(QORA_DDA_SetPulseWidth(2, 2048, 0), 0);
  EXPECT_EQ(QORA_DDA_SetOutputFormat(2, 4, 0), 0);
  EXPECT_TRUE(take().empty());
}

TEST_F(RegisterTest, StopEngineClearsOnlyTheRunBit) {
  open();
  ASSERT_EQ(QORA_DDA_EnableOutputChannel(1, 0), 1);
  ASSERT_EQ(QORA_DDA_EnableStockInt(4, 0), 1);
  ASSERT_EQ(QORA_DDA_EnableCycleInt(0), 1);
  ASSERT_EQ(QORA_DDA_StartEngine(0), 1);
  EXPECT_EQ(last(0x38), 0x4000u | 0x1000u | 0x0080u | 0x0002u);
  ASSERT_EQ(QORA_DDA_StopEngine(0), 1);
  EXPECT_EQ(last(0x38), 0x4000u | 0x1000u | 0x0002u);
}

TEST_F(RegisterTest, EncoderChannelFourUsesItsBaseAndGroupRegister) {
  open();
  ASSERT_EQ(QORA_ENC_EnableIndexInt(4, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x78, 0x0010}}));
  ASSERT_EQ(QORA_ENC_EnableCompInt(4, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x78, 0x0012}}));
  ASSERT_EQ(QORA_ENC_DisableIndexInt(4, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x78, 0x0002}}));
  ASSERT_EQ(QORA_ENC_SetCompValue(4, -2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x68, 0xFFFE}, {0x6A, 0xFFFF}}));
  ASSERT_EQ(QORA_ENC_SetCompValue(8, 0x12345678, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x90, 0x5678}, {0x92, 0x1234}}));
  ASSERT_EQ(QORA_ENC_EnableCompInt(8, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x98, 0x0004}}));
  // The group shadows are separate: channel 3 shares channel 4's register.
  ASSERT_EQ(QORA_ENC_EnableCompInt(3, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x78, 0x0003}}));
}

TEST_F(RegisterTest, TriggerModeAndSourceShareOneRegister) {
  open();
  EXPECT_EQ(QORA_ENC_SetTrigSource(5, 0x8000, 0), 0);
  EXPECT_TRUE(take().empty());
  ASSERT_EQ(QORA_ENC_SetTrigMode(5, 1, 0), 1);
  EXPECT_EQ(last(0x76), 0x8000u);
  ASSERT_EQ(QORA_ENC_SetTrigSource(5, 5, 0), 1);
  EXPECT_EQ(last(0x76), 0x8005u);
  ASSERT_EQ(QORA_ENC_SetTrigMode(5, 0, 0), 1);
  EXPECT_EQ(last(0x76), 0x0005u);
  EXPECT_EQ(QORA_ENC_SetTrigMode(5, 2, 0), 0);
  EXPECT_EQ(QORA_ENC_SetInputRate(5, 4, 0), 0);
  EXPECT_TRUE(take().empty());
}

// Servo and position-ready bits of both models, written as the two LDO halves.
TEST_F(RegisterTest, ServoAndPositionReadyBitsPerModel) {
  for (ChipModel model : {ChipModel::Qora210, ChipModel::Qora310}) {
    SCOPED_TRACE(model == ChipModel::Qora210 ? "210" : "310");
    vcard::bus().clear();
    open(model);
    for (std::uint16_t a = 0; a < 6; ++a)
      ASSERT_EQ(QORA_LIO_ServoOff(a, 0), 1);
    const Writes off = take();
    ASSERT_GE(off.size(), 3u);
    // The last servo-off writes the word 0x003F0000 then enables groups 4 and 5.
    std::uint32_t low = 0xDEAD, high = 0xDEAD;
    for (const auto& [o, v] : off) {
      if (o == 0x100) low = v;
      if (o == 0x102) high = v;
    }
    EXPECT_EQ(low, 0x0000u);
    EXPECT_EQ(high, 0x003Fu);
    EXPECT_EQ(card_->withChip([](vcard::Chip& c) { return c.plant().servoOn(0); }), false);
    ASSERT_EQ(QORA_LIO_ServoOn(2, 0), 1);
    EXPECT_EQ(last(0x102), 0x003Bu);
    EXPECT_TRUE(card_->withChip([](vcard::Chip& c) { return c.plant().servoOn(2); }));
    // Position ready: bit 20 on the 210 (shared with axis 4's servo bit, an
    // axis that card does not have), 22 on the 310; active low.
    const std::uint32_t prdyBit = model == ChipModel::Qora210 ? 0x10u : 0x40u;
    ASSERT_EQ(QORA_LIO_EnablePrdy(0), 1);
    EXPECT_EQ(last(0x102), 0x003Bu & ~prdyBit);
    ASSERT_EQ(QORA_LIO_DisablePrdy(0), 1);
    EXPECT_EQ(last(0x102), 0x003Bu | prdyBit);
    EXPECT_FALSE(card_->withChip([](vcard::Chip& c) { return c.plant().positionReady(); }));
    ASSERT_EQ(QORA_LIO_EnablePrdy(0), 1);
    EXPECT_EQ(last(0x102), 0x003Bu & ~prdyBit);
    EXPECT_TRUE(card_->withChip([](vcard::Chip& c) { return c.plant().positionReady(); }));
    EXPECT_EQ(QORA_LIO_ServoOn(6, 0), 0);
    EXPECT_TRUE(take().empty());
    QORA_Close(0);
  }
}

TEST_F(RegisterTest, SensorBitsPerModel) {
  for (ChipModel model : {ChipModel::Qora210, ChipModel::Qora310}) {
    const bool m210 = model == ChipModel::Qora210;
    SCOPED_TRACE(m210 ? "210" : "310");
    vcard::bus().clear();
    open(model);
    auto ldi = [&](std::uint32_t bits) {
      card_->withChip([&](vcard::Chip& c) { c.plant().setLdiInputs(0x0FFFFFFF, bits); });
    };
    std::uint16_t s = 9;
    ldi(1u << (m210 ? 5 : 7));
    ASSERT_EQ(QORA_LIO_GetOverTravelDown(1, &s, 0), 1);
    EXPECT_EQ(s, 1);
    ldi(~(1u << (m210 ? 5 : 7)) & 0x0FFFFFFF);
    ASSERT_EQ(QORA_LIO_GetOverTravelDown(1, &s, 0), 1);
    EXPECT_EQ(s, 0);
    ldi(1u << (m210 ? 10 : 14));
    ASSERT_EQ(QORA_LIO_GetHomeSensor(2, &s, 0), 1);
    EXPECT_EQ(s, 1);
    s = 9;
    if (m210)
      EXPECT_EQ(QORA_LIO_GetOverTravelDown(4, &s, 0), 0);
    else {
      ldi(1u << 11);
      EXPECT_EQ(QORA_LIO_GetOverTravelDown(5, &s, 0), 1);
      EXPECT_EQ(s, 1);
    }
    QORA_Close(0);
  }
}

TEST_F(RegisterTest, LdiInterruptTypeIsMaskedByItsEnable) {
  open();
  // The shadows outlive a close: start from every input disabled, type 0.
  for (std::uint16_t i = 0; i < 8; ++i) {
    QORA_LIO_DisableLDIInt(i, 0);
    QORA_LIO_SetLDIIntType(i, 0, 0);
  }
  take();
  ASSERT_EQ(QORA_LIO_SetLDIIntType(2, 1, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x106, 0x0000}}));
  ASSERT_EQ(QORA_LIO_EnableLDIInt(2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x106, 0x0020}}));
  ASSERT_EQ(QORA_LIO_SetLDIIntType(0, 2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x106, 0x0020}})) << "input 0 is not enabled";
  ASSERT_EQ(QORA_LIO_EnableLDIInt(0, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x106, 0x0023}}));
  ASSERT_EQ(QORA_LIO_DisableLDIInt(2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x106, 0x0003}}));
  ASSERT_EQ(QORA_LIO_EnableLDIInt(2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x106, 0x0023}})) << "the type survives the disable";
  EXPECT_EQ(QORA_LIO_SetLDIIntType(8, 0, 0), 0);
  EXPECT_EQ(QORA_LIO_SetLDIIntType(1, 3, 0), 0);
  EXPECT_TRUE(take().empty());
}

TEST_F(RegisterTest, TimerAndOutputWordsAreSplitIntoHalves) {
  open();
  ASSERT_EQ(QORA_LIO_SetTimer(0x123456, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x10A, 0x3456}, {0x10C, 0x0012}}));
  EXPECT_EQ(QORA_LIO_SetTimer(0x01000000, 0), 0);
  EXPECT_TRUE(take().empty());
  ASSERT_EQ(QORA_LIO_SetLDOOutput(0xFFFFFFFF, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x100, 0xFFFF}, {0x102, 0x0FFF}}));
  ASSERT_EQ(RELM_LIO_SetLDOOutput(0xFFFFFFFF, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x100, 0xFFFF}, {0x102, 0xFFFF}}));
}

TEST_F(RegisterTest, DacVoltsAndScaleGain) {
  open();
  ASSERT_EQ(QORA_DAC_SetOutput(0, 10.0f, 0), 1);
  ASSERT_EQ(QORA_DAC_SetOutput(3, -10.0f, 0), 1);
  ASSERT_EQ(QORA_DAC_SetOutput(7, 0.5f, 0), 1);
  const Writes dac = take();
  ASSERT_EQ(dac.size(), 3u);
  EXPECT_EQ(dac[0].second, 0x7FFEu);
  EXPECT_EQ(dac[1].second, 0x8002u);
  EXPECT_EQ(dac[2].second, 1638u);
  EXPECT_EQ(dac[0].first, 0x140u);
  EXPECT_EQ(dac[1].first & ~0x7u, 0x160u) << "channel 3 is the first of group 1";
  EXPECT_EQ(dac[2].first & ~0x7u, 0x188u);
  EXPECT_EQ(QORA_DAC_SetOutput(0, 10.01f, 0), 0);
  EXPECT_EQ(QORA_DAC_SetOutput(8, 0.0f, 0), 0);
  EXPECT_TRUE(take().empty());

  // Closed-loop set-up of an axis: gain 64, shift -1.
  ASSERT_EQ(QORA_PCL_SetScaleGain(2, 64, -1, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x124, 0x0940}}));
  ASSERT_EQ(QORA_PCL_SetScaleGain(2, 1, 7, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x124, 0x0701}}));
  EXPECT_EQ(QORA_PCL_SetScaleGain(2, 128, 0, 0), 0);
  EXPECT_EQ(QORA_PCL_SetScaleGain(2, 1, 8, 0), 0);
  EXPECT_EQ(QORA_PCL_SetScaleGain(2, 0, 0, 0), 0);
  EXPECT_TRUE(take().empty());
  ASSERT_EQ(QORA_PCL_EnableOverflowInt(1, 0), 1);
  ASSERT_EQ(QORA_PCL_EnableOverflowInt(2, 0), 1);
  ASSERT_EQ(QORA_PCL_DisableOverflowInt(2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0x12C, 0x2}, {0x12C, 0x6}, {0x12C, 0x2}}));
}

TEST_F(RegisterTest, ComparatorWritesOnlyTheValueWhileItsInterruptIsDisabled) {
  open();
  ASSERT_EQ(QORA_ADC_SetCompValue(3, 5.0f, 0), 1);
  const std::uint32_t value = last(0xE6);
  ASSERT_NE(value, 0xDEADu);
  EXPECT_EQ(value & 0xF000u, 0u);
  ASSERT_EQ(QORA_ADC_SetCompType(3, 1, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xE6, value}}));
  ASSERT_EQ(QORA_ADC_EnableCompInt(3, 0), 1);
  EXPECT_EQ(last(0xE6), value | 0x2000u);
  ASSERT_EQ(QORA_ADC_DisableCompInt(3, 0), 1);
  EXPECT_EQ(last(0xE6), value);
  EXPECT_EQ(QORA_ADC_SetCompType(3, 3, 0), 0);
  EXPECT_TRUE(take().empty());
}

TEST_F(RegisterTest, RemoteIoTypesAreMaskedByTheirEnables) {
  open();
  ASSERT_EQ(QORA_RIO_SetIntType(0, 1, 2, 0, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xBA, 0x0000}}));
  ASSERT_EQ(QORA_RIO_EnableInputInt(0, 1, 2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xBA, 0x1000}}));
  ASSERT_EQ(QORA_RIO_SetTransError(0, 15, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xBA, 0x10F0}}));
  ASSERT_EQ(QORA_RIO_DisableInputInt(0, 1, 2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xBA, 0x00F0}}));
  // Slave 2's types share control A with the clock divider.
  ASSERT_EQ(QORA_RIO_SetIntType(0, 2, 0, 2, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xB8, 0x0000}}));
  ASSERT_EQ(QORA_RIO_SetClockDivider(0, 0x20, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xB8, 0x0020}}));
  ASSERT_EQ(QORA_RIO_EnableInputInt(0, 2, 0, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xB8, 0x0320}}));
  // The transmission interrupt bit is outside the type byte of control C.
  ASSERT_EQ(QORA_RIO_EnableTransInt(1, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xDC, 0x0100}}));
  ASSERT_EQ(QORA_RIO_SetOutputValue(1, 2, 3, 0xBEEF, 0), 1);
  EXPECT_EQ(take(), (Writes{{0xD6, 0xBEEF}}));
  EXPECT_EQ(QORA_RIO_SetOutputValue(1, 3, 0, 1, 0), 0);
  EXPECT_EQ(QORA_RIO_SetOutputValue(1, 0, 4, 1, 0), 0);
  EXPECT_EQ(QORA_RIO_SetOutputValue(2, 0, 0, 1, 0), 0);
  EXPECT_EQ(QORA_RIO_SetTransError(0, 16, 0), 0);
  EXPECT_TRUE(take().empty());
}

// Every refusal: index 12, a closed index, an argument out of range, a null
// output. None writes to the chip and none touches its outputs.
TEST_F(RegisterTest, RefusedCallsWriteNothingAndLeaveOutputsAlone) {
  open();
  struct Call {
    const char* name;
    std::function<int(std::uint16_t card)> fn;
  };
  std::uint16_t u16 = 0xA5A5;
  std::int32_t i32 = 0x5A5A5A5A;
  std::uint32_t u32 = 0xA5A5A5A5;
  float f = 123.25f;
  std::uint8_t flags[QORA_MAX_FLAGS];
  std::fill(std::begin(flags), std::end(flags), 0x77);
  char version[QORA_VERSION_BUFFER] = {'x', 'x', 'x', 'x', 'x'};
  // Valid arguments: refused only for a bad card.
  const std::vector<Call> valid{
      {"SendPulse", [](auto c) { return QORA_DDA_SendPulse(0, 1, c); }},
      {"GetStockCount", [&](auto c) { return QORA_DDA_GetStockCount(0, &u16, c); }},
      {"GetCurrentCmd", [&](auto c) { return QORA_DDA_GetCurrentCmd(0, &i32, c); }},
      {"SetTime", [](auto c) { return QORA_DDA_SetTime(1.0f, 5, c); }},
      {"GetTime", [&](auto c) { return QORA_DDA_GetTime(&f, c); }},
      {"StartEngine", [](auto c) { return QORA_DDA_StartEngine(c); }},
      {"DdaCondition", [&](auto c) { return QORA_DDA_GetIntCondition(flags, c); }},
      {"EncGetValue", [&](auto c) { return QORA_ENC_GetValue(0, &i32, c); }},
      {"EncSetComp", [](auto c) { return QORA_ENC_SetCompValue(0, 1, c); }},
      {"EncCondition", [&](auto c) { return QORA_ENC345_GetIntCondition(flags, c); }},
      {"LdiInput", [&](auto c) { return QORA_LIO_GetLDIInput(&u32, c); }},
      {"SetLDO", [](auto c) { return QORA_LIO_SetLDOOutput(1, c); }},
      {"ServoOn", [](auto c) { return QORA_LIO_ServoOn(0, c); }},
      {"SetTimer", [](auto c) { return QORA_LIO_SetTimer(5, c); }},
      {"ScaleGain", [](auto c) { return QORA_PCL_SetScaleGain(0, 1, 0, c); }},
      {"DacOut", [](auto c) { return QORA_DAC_SetOutput(0, 1.0f, c); }},
      {"AdcInput", [&](auto c) { return QORA_ADC_GetInput(0, &f, c); }},
      {"AdcCompValue", [&](auto c) { return QORA_ADC_GetCompValue(0, &f, c); }},
      {"RioOut", [](auto c) { return QORA_RIO_SetOutputValue(0, 0, 0, 1, c); }},
      {"RioIn", [&](auto c) { return QORA_RIO_GetInputValue(0, 0, 0, &u16, c); }},
      {"IntSource", [&](auto c) { return QORA_GetIntSource(flags, c); }},
      {"SetIRQ", [](auto c) { return QORA_SetIRQNo(5, c); }},
      {"Reset", [](auto c) { return QORA_ResetModule(1, c); }},
  };
  // Bad arguments on the open card 0.
  const std::vector<Call> bad{
      {"SendPulse axis 6", [](auto c) { return QORA_DDA_SendPulse(6, 1, c); }},
      {"GetStockCount null", [](auto c) { return QORA_DDA_GetStockCount(0, nullptr, c); }},
      {"GetCurrentCmd axis 6", [&](auto c) { return QORA_DDA_GetCurrentCmd(6, &i32, c); }},
      {"SetTime 3381/5", [](auto c) { return QORA_DDA_SetTime(3381.0f, 5, c); }},
      {"SetTime -1", [](auto c) { return QORA_DDA_SetTime(-1.0f, 5, c); }},
      {"GetTime null", [](auto c) { return QORA_DDA_GetTime(nullptr, c); }},
      {"Condition null", [](auto c) { return QORA_DDA_GetIntCondition(nullptr, c); }},
      {"EncGetValue ch 9", [&](auto c) { return QORA_ENC_GetValue(9, &i32, c); }},
      {"EncGetValue null", [](auto c) { return QORA_ENC_GetValue(0, nullptr, c); }},
      {"EncSetComp ch 9", [](auto c) { return QORA_ENC_SetCompValue(9, 1, c); }},
      {"InputType 4", [](auto c) { return QORA_ENC_SetInputType(0, 4, c); }},
      {"LdiInput null", [](auto c) { return QORA_LIO_GetLDIInput(nullptr, c); }},
      {"ServoOff 6", [](auto c) { return QORA_LIO_ServoOff(6, c); }},
      {"LdoGroup 7", [](auto c) { return QORA_LIO_EnableLDOOutput(7, c); }},
      {"Timer 2^24", [](auto c) { return QORA_LIO_SetTimer(0x1000000, c); }},
      {"DacOut 8", [](auto c) { return QORA_DAC_SetOutput(8, 1.0f, c); }},
      {"DacOut -10.5", [](auto c) { return QORA_DAC_SetOutput(0, -10.5f, c); }},
      {"AdcInput 8", [&](auto c) { return QORA_ADC_GetInput(8, &f, c); }},
      {"AdcInput null", [](auto c) { return QORA_ADC_GetInput(0, nullptr, c); }},
      {"RioIn slave 3", [&](auto c) { return QORA_RIO_GetInputValue(0, 3, 0, &u16, c); }},
      {"SetIRQ 4", [](auto c) { return QORA_SetIRQNo(4, c); }},
      {"Reset 0", [](auto c) { return QORA_ResetModule(0, c); }},
      {"Reset 11", [](auto c) { return QORA_ResetModule(11, c); }},
      {"IntSource null", [](auto c) { return QORA_GetIntSource(nullptr, c); }},
  };
  auto untouched = [&] {
    EXPECT_EQ(u16, 0xA5A5);
    EXPECT_EQ(i32, 0x5A5A5A5A);
    EXPECT_EQ(u32, 0xA5A5A5A5u);
    EXPECT_EQ(f, 123.25f);
    for (std::uint8_t b : flags)
      EXPECT_EQ(b, 0x77);
  };
  for (const Call& call : valid) {
    for (std::uint16_t c :
         {std::uint16_t{1}, std::uint16_t{QORA_MAX_CARDS}, std::uint16_t{0xFFFF}}) {
      SCOPED_TRACE(std::string(call.name) + " card " + std::to_string(c));
      EXPECT_EQ(call.fn(c), 0);
      EXPECT_TRUE(take().empty());
      untouched();
    }
  }
  for (const Call& call : bad) {
    SCOPED_TRACE(call.name);
    EXPECT_EQ(call.fn(0), 0);
    EXPECT_TRUE(take().empty());
    untouched();
  }
  EXPECT_EQ(QORA_GetVersion(nullptr), 0);
  EXPECT_EQ(QORA_GetVersion(version), 4);
  EXPECT_STREQ(version, "4.00");
  // The same calls on a card closed after use.
  ASSERT_EQ(QORA_Close(0), 1);
  card_->clearWrites();
  for (const Call& call : valid) {
    SCOPED_TRACE(std::string(call.name) + " closed");
    EXPECT_EQ(call.fn(0), 0);
    untouched();
  }
  EXPECT_TRUE(take().empty());
}

}  // namespace
