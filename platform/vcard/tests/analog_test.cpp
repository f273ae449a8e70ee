#include <cmath>
#include <cstdlib>

#include "platform/vcard/tests/chip_fixture.h"

namespace vcard::test {
namespace {

constexpr double kVoltsPerCode = 1.0 / 3276.7;

class PclTest : public ChipTest {
 protected:
  void SetUp() override {
    wr(r::encConfig(0), r::kEncCfgRate.set(0, 3));
    wr(r::kEncControl, 1u << r::kEncStartBit);
    startEngine();
    wr(r::kDdaTiming, static_cast<std::uint16_t>(r::kDdaTimingBitLength.set(0, 5) | 11));
  }
  // The closed-loop set-up the motion library makes for axis 0.
  void closeLoop(std::uint16_t scaleGain = 0x0940) {
    wr(r::kDacMode, 1u << (r::kDacCmdSourceBit + 0));
    wr(r::kPclControl, 1u << (r::kPclCtlClearBit + 0));
    wr(r::kPclControl, 0);
    wr(r::pclScaleGain(0), scaleGain);
    wr(r::kPclOverflowEnable, 1u << 0);
    wr(r::kPclControl, 1u << r::kPclCtlCounterEnableBit);
    wr(r::kDacControl, static_cast<std::uint16_t>(10 | (1u << r::kDacRunBit)));
    wr(r::kPclControl,
       static_cast<std::uint16_t>((1u << r::kPclCtlCounterEnableBit) | (1u << r::kPclCtlRunBit)));
  }
  std::int16_t error(unsigned axis) {
    wr(r::kPclCounterPrepare, r::kPclCounterPrepareValue);
    return static_cast<std::int16_t>(rd(r::pclErrorCounter(axis)));
  }
};

TEST_F(PclTest, ErrorCounterReturnsToZeroInClosedLoop) {
  closeLoop();
  push(0, 1000);
  chip.runCycle();
  const int first = error(0);
  EXPECT_GT(first, 0);
  EXPECT_LT(first, 1000);
  EXPECT_GT(plant().position(0), 0);
  EXPECT_EQ(plant().pulsesReceived(0), 0);  // a velocity drive takes no pulses
  int last = first;
  for (int i = 0; i < 30; ++i) {
    chip.runCycle();
    const int e = error(0);
    EXPECT_LE(std::abs(e), std::abs(last) + 1);
    last = e;
  }
  EXPECT_LE(std::abs(last), 1);
  EXPECT_NEAR(static_cast<double>(plant().position(0)), 1000.0, 1.0);
}

TEST_F(PclTest, OpenLoopErrorStaysZeroWhileTheEncoderFollows) {
  wr(r::kPclControl, 1u << r::kPclCtlCounterEnableBit);
  push(0, 100);
  chip.runCycle();
  EXPECT_EQ(error(0), 0);
  EXPECT_EQ(plant().position(0), 100);
  wr(r::kEncControl, 0);  // feedback lost
  push(0, -40);
  chip.runCycle();
  EXPECT_EQ(error(0), -40);
  EXPECT_EQ(rd(r::pclErrorCounter(0)), 0xFFD8u);
}

TEST_F(PclTest, ScaleGainAndShiftSetTheCommand) {
  wr(r::kEncControl, 0);  // no feedback: the error stays where the pulses put it
  closeLoop(0x0940);      // gain 64, shift -1
  push(0, 100);
  chip.runCycle();
  EXPECT_EQ(error(0), 100);
  EXPECT_NEAR(plant().dacVolts(0), 100 * 32 * kVoltsPerCode, 1e-9);
  wr(r::pclScaleGain(0), 0x0140);  // gain 64, shift 1
  EXPECT_NEAR(plant().dacVolts(0), 100 * 128 * kVoltsPerCode, 1e-9);
  wr(r::pclScaleGain(0), 0x0701);  // gain 1, shift 7
  EXPECT_NEAR(plant().dacVolts(0), 100 * 128 * kVoltsPerCode, 1e-9);
  push(0, 1000);
  chip.runCycle();
  EXPECT_NEAR(plant().dacVolts(0), 32767 * kVoltsPerCode, 1e-9);  // limited
  wr(r::kPclControl, 1u << r::kPclCtlCounterEnableBit);           // control stopped
  EXPECT_EQ(plant().dacVolts(0), 0.0);
}

TEST_F(PclTest, OverflowSaturatesAndRaisesCondition) {
  wr(r::kEncControl, 0);
  wr(r::kPclOverflowEnable, 1u << 0);
  wr(r::kPclControl, 1u << r::kPclCtlCounterEnableBit);
  push(0, 30000);
  chip.runCycle();
  EXPECT_EQ(chip.pendingSources(), 0u);
  push(0, 30000);
  chip.runCycle();
  EXPECT_EQ(error(0), 32767);
  EXPECT_EQ(chip.pendingSources(), 1u << 8);
  EXPECT_EQ(rd(r::kPclIntCondition), 1u << 0);
  EXPECT_EQ(chip.pendingSources(), 0u);
  wr(r::kPclControl,
     static_cast<std::uint16_t>((1u << r::kPclCtlCounterEnableBit) | (1u << r::kPclCtlClearBit)));
  EXPECT_EQ(error(0), 0);
}

using DacTest = ChipTest;

TEST_F(DacTest, OutputCodeReadsBackAsVolts) {
  wr(r::dacOutput(3), 32766);
  EXPECT_EQ(plant().dacVolts(3), 0.0);  // conversion not running
  wr(r::kDacControl, 1u << r::kDacRunBit);
  EXPECT_NEAR(plant().dacVolts(3), 10.0, 1e-3);
  wr(r::dacOutput(3), 0x8002);  // -32766
  EXPECT_NEAR(plant().dacVolts(3), -10.0, 1e-3);
  wr(r::dacOutput(7), 1638);  // 0.5 V as the library writes it
  EXPECT_NEAR(plant().dacVolts(7), 0.5, 1.0 / 3276.7);
  wr(r::kDacControl, 0);  // stopped: outputs hold
  wr(r::dacOutput(7), 0);
  EXPECT_NEAR(plant().dacVolts(7), 0.5, 1.0 / 3276.7);
}

TEST_F(DacTest, TriggerModeSwitchesToTheTriggerValue) {
  wr(r::encConfig(0), r::kEncCfgRate.set(0, 3));
  plant().axis(0).indexEvery = 100;
  wr(r::kDacControl, 1u << r::kDacRunBit);
  wr(r::dacOutput(2), 1000);
  wr(r::dacTrigOutput(2), 2000);
  wr(r::dacTrigSourceLow(2), 1u << 0);  // index of encoder channel 0
  wr(r::dacTrigSourceHigh(2), 0);
  wr(r::kDacMode, 1u << (r::kDacTrigModeBit + 2));
  plant().moveBy(0, 50);
  advance(0ns);
  EXPECT_NEAR(plant().dacVolts(2), 1000 * kVoltsPerCode, 1e-9);
  plant().moveBy(0, 60);
  advance(0ns);
  EXPECT_NEAR(plant().dacVolts(2), 2000 * kVoltsPerCode, 1e-9);
  wr(r::kDacMode, 0);
  EXPECT_NEAR(plant().dacVolts(2), 1000 * kVoltsPerCode, 1e-9);
}

class AdcTest : public ChipTest {
 protected:
  void SetUp() override {
    // Channels 1 (unipolar) and 2 (bipolar) enabled, scanning.
    wr(r::kAdcConversion,
       static_cast<std::uint16_t>((1u << 1) | (1u << 2) | (1u << (r::kAdcConvTypeBit + 1))));
    wr(r::kAdcClockDivider, 9);  // 10 us per conversion
    wr(r::kAdcControl, 1u << r::kAdcRunBit);
  }
  std::uint16_t result(unsigned ch) {
    return static_cast<std::uint16_t>(r::kAdcResult.get(rd(r::adcResult(ch))));
  }
};

TEST_F(AdcTest, ConvertsWithEachChannelsEncoding) {
  plant().setAdcVolts(1, 2.5);
  plant().setAdcVolts(2, -0.00244140625);
  EXPECT_EQ(result(1), 0u);  // nothing converted yet
  advance(100us);
  EXPECT_EQ(result(1), 1024u);
  EXPECT_EQ(result(2), 0x0FFFu);
  plant().setAdcVolts(1, 12.0);  // beyond the range: limited
  plant().setAdcVolts(2, 4.0);
  advance(100us);
  EXPECT_EQ(result(1), 4095u);
  EXPECT_EQ(result(2), 1638u);
  plant().setAdcVolts(1, -1.0);
  plant().setAdcVolts(2, -9.0);
  advance(100us);
  EXPECT_EQ(result(1), 0u);
  EXPECT_EQ(result(2), 0x800u);
  EXPECT_TRUE(r::bit(rd(r::kAdcStatus), r::kAdcWorkStatusBit));
}

TEST_F(AdcTest, ConversionTakesTheDividerTime) {
  plant().setAdcVolts(1, 1.0);
  advance(9us);
  EXPECT_EQ(result(1), 0u);
  advance(1us);  // first conversion: channel 1
  EXPECT_EQ(result(1), 410u);
}

TEST_F(AdcTest, ConversionTagAndCompareConditions) {
  wr(r::kAdcIntEnable, (1u << r::kAdcConvIntBit) | (1u << r::kAdcTagIntBit));
  wr(r::kAdcControl,
     static_cast<std::uint16_t>((1u << r::kAdcRunBit) | r::kAdcTagChannel.set(0, 2)));
  advance(10us);  // channel 1 only: no scan end, no tag
  EXPECT_EQ(rd(r::kAdcStatus) & 0x3FFu, 0u);
  advance(10us);  // channel 2 ends the scan and is the tag channel
  EXPECT_EQ(chip.pendingSources(), 1u << 6);
  EXPECT_EQ(rd(r::kAdcStatus) & 0x3FFu, 0x3u);
  wr(r::kAdcIntEnable, 0);
  // Comparator of channel 1: type 0 (rise above) at code 2048.
  wr(r::adcComparator(1), static_cast<std::uint16_t>(r::kAdcCompType.set(2048, 1)));
  plant().setAdcVolts(1, 4.0);
  advance(100us);
  EXPECT_EQ(rd(r::kAdcStatus) & 0x3FFu, 0u);
  plant().setAdcVolts(1, 6.0);
  advance(100us);
  EXPECT_EQ(rd(r::kAdcStatus) & 0x3FFu, 1u << (2 + 1));
  plant().setAdcVolts(1, 4.0);  // falling: not this type
  advance(100us);
  EXPECT_EQ(rd(r::kAdcStatus) & 0x3FFu, 0u);
  wr(r::kAdcControl, static_cast<std::uint16_t>((1u << r::kAdcRunBit) | r::kAdcCompMask.set(0, 1)));
  plant().setAdcVolts(1, 6.0);  // masked
  advance(100us);
  EXPECT_EQ(rd(r::kAdcStatus) & 0x3FFu, 0u);
}

TEST_F(AdcTest, SingleChannelMode) {
  wr(r::kAdcControl, static_cast<std::uint16_t>((1u << r::kAdcRunBit) | (1u << r::kAdcConvModeBit) |
                                                r::kAdcSingleChannel.set(0, 5)));
  plant().setAdcVolts(5, 1.0);  // channel 5 is not enabled for scanning, bipolar
  plant().setAdcVolts(1, 1.0);
  advance(10us);
  EXPECT_EQ(result(5), 410u);
  EXPECT_EQ(result(1), 0u);
  wr(r::kAdcControl, 0);
  EXPECT_FALSE(r::bit(rd(r::kAdcStatus), r::kAdcWorkStatusBit));
}

}  // namespace
}  // namespace vcard::test
