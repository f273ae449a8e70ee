#include "platform/vcard/tests/chip_fixture.h"

namespace vcard::test {
namespace {

std::uint32_t ldi(Chip& c) {
  const std::uint32_t low = c.read(r::kLdiLow);
  return (static_cast<std::uint32_t>(c.read(r::kLdiHigh) & r::kLdiHighMask) << 16) | low;
}
std::uint32_t dfi(Chip& c) {
  const std::uint32_t low = c.read(r::kDfiLow);
  return (static_cast<std::uint32_t>(c.read(r::kDfiHigh) & r::kDfiHighMask) << 16) | low;
}

class LioModelTest : public ChipTest, public ::testing::WithParamInterface<ChipModel> {
 protected:
  LioModelTest() : ChipTest(GetParam()) {}
  const r::LioLayout& layout() const { return lioLayout(GetParam()); }
  std::uint32_t ldiWord() { return ldi(chip); }
};

TEST_P(LioModelTest, OverTravelAndHomeSwitchAtConfiguredPositions) {
  for (unsigned a = 0; a < layout().overTravelAxes; ++a) {
    SCOPED_TRACE(a);
    AxisConfig& c = plant().axis(a);
    c.upperLimit = 1000;
    c.lowerLimit = -1000;
    c.homePosition = 0;
    c.homeWidth = 50;
    const unsigned up = a, down = layout().overTravelDownBase + a, home = layout().homeBase + a;
    plant().setPosition(a, 500);  // nothing active: active-low inputs read 1
    EXPECT_TRUE(r::bit(ldiWord(), up));
    EXPECT_TRUE(r::bit(ldiWord(), down));
    if (a < 4) {
      EXPECT_TRUE(r::bit(ldiWord(), home));
    }
    plant().setPosition(a, 999);
    EXPECT_TRUE(r::bit(ldiWord(), up));
    plant().setPosition(a, 1000);
    EXPECT_FALSE(r::bit(ldiWord(), up));
    EXPECT_TRUE(r::bit(ldiWord(), down));
    plant().setPosition(a, -1000);
    EXPECT_FALSE(r::bit(ldiWord(), down));
    EXPECT_TRUE(r::bit(ldiWord(), up));
    plant().setPosition(a, 49);
    if (a < 4) {
      EXPECT_FALSE(r::bit(ldiWord(), home));
    }
    plant().setPosition(a, 50);
    if (a < 4) {
      EXPECT_TRUE(r::bit(ldiWord(), home));
    }
    plant().setPosition(a, 0);
    c.homeLevel = 1;  // an active-high sensor
    if (a < 4) {
      EXPECT_TRUE(r::bit(ldiWord(), home));
    }
  }
}

TEST_P(LioModelTest, HomeOfAxesFourAndFiveOnDfi) {
  for (unsigned a = 4; a < 6; ++a) {
    plant().axis(a).homePosition = 100;
    plant().setPosition(a, 0);
    EXPECT_TRUE(r::bit(dfi(chip), r::kDfiHomeBase + a));
    plant().setPosition(a, 120);
    EXPECT_FALSE(r::bit(dfi(chip), r::kDfiHomeBase + a));
  }
}

TEST_P(LioModelTest, ServoAndPositionReadyThroughEnabledGroups) {
  // Servo of axis 0 on, the others off, position ready. On the 210 the
  // position-ready bit (20) is also the servo-off bit of axis 4.
  const unsigned prdy = layout().prdyBit - 16;
  const auto high = static_cast<std::uint16_t>(0x003Eu & ~(1u << prdy));
  wr(r::kLdoLow, 0);
  wr(r::kLdoHigh, high);
  EXPECT_FALSE(plant().servoOn(0));  // groups not enabled: undriven outputs read 1
  EXPECT_FALSE(plant().positionReady());
  wr(r::kLioControl, (1u << r::kLdoServoGroupA) | (1u << r::kLdoServoGroupB));
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_EQ(plant().servoOn(a), !r::bit(high, a)) << a;
  EXPECT_TRUE(plant().positionReady());
  EXPECT_TRUE(plant().pulseDacEnabled());
  wr(r::kLdoHigh, static_cast<std::uint16_t>(high | (1u << prdy)));
  EXPECT_FALSE(plant().positionReady());
  EXPECT_TRUE(plant().servoOn(0));
}

INSTANTIATE_TEST_SUITE_P(Models, LioModelTest,
                         ::testing::Values(ChipModel::Qora210, ChipModel::Qora310));

using LioTest = ChipTest;

TEST_F(LioTest, Model210HasNoOverTravelInputsForAxesFourAndFive) {
  plant().axis(4).upperLimit = 0;  // active at position 0
  plant().axis(4).lowerLimit = 0;
  const std::uint32_t word = ldi(chip);
  EXPECT_EQ(word & 0xF000u, 0u);  // bits 12..15 are general inputs
  EXPECT_EQ(word & 0xFFu, 0xFFu);
}

TEST_F(LioTest, EmergencyStopSupplyAndOverrides) {
  EXPECT_FALSE(r::bit(dfi(chip), r::kDfiEmgcStopBit));
  EXPECT_TRUE(r::bit(dfi(chip), r::kDfi24VBit));
  EXPECT_EQ(rd(r::kDfiHigh), 1u << (r::kDfi24VBit - 16));
  plant().setEmergencyStop(true);
  plant().set24V(false);
  EXPECT_TRUE(r::bit(dfi(chip), r::kDfiEmgcStopBit));
  EXPECT_FALSE(r::bit(dfi(chip), r::kDfi24VBit));
  plant().setLdiInputs(0x00F00000u, 0x00500000u);
  plant().setLdiInputs(0x1u, 0x0u);  // over a sensor bit
  EXPECT_EQ(ldi(chip) & 0x00F00001u, 0x00500000u);
  plant().clearInputOverrides();
  EXPECT_EQ(ldi(chip) & 0x00F00001u, 0x1u);
}

TEST_F(LioTest, InputEdgeRaisesConditionPerType) {
  plant().axis(0).upperLimit = 100;
  wr(r::kLdiIntType, 2u << 0);  // input 0: type 1, falling edge
  plant().setPosition(0, 150);  // sensor active: bit 0 goes 1 -> 0
  advance(0ns);
  EXPECT_EQ(chip.pendingSources(), 1u << 7);
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << 0);
  EXPECT_EQ(rd(r::kLioIntCondition), 0u);
  plant().setPosition(0, 0);  // rising: not this type
  advance(0ns);
  EXPECT_EQ(chip.pendingSources(), 0u);
  wr(r::kDfiIntType, 3u << 4);  // DFI input 2: both edges
  plant().setDfiInputs(1u << 2, 1u << 2);
  advance(0ns);
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << (8 + 2));
}

TEST_F(LioTest, TimerCountsAndRepeats) {
  wr(r::kLioTimerLow, 1000);  // 1000 us
  wr(r::kLioTimerHigh, 0);
  wr(r::kDfiIntType, 1u << r::kDfiTimerIntBit);
  wr(r::kLioControl, 1u << r::kLioCtlTimerBit);
  advance(999us);
  EXPECT_EQ(chip.pendingSources(), 0u);
  advance(1us);
  EXPECT_EQ(chip.pendingSources(), 1u << 7);
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << 15);
  advance(999us);
  EXPECT_EQ(rd(r::kLioIntCondition), 0u);
  advance(1us);
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << 15);
  advance(5500us);  // several periods at once: one condition
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << 15);
  advance(499us);  // 5500 = 5 periods + 500: next one 500 us later
  EXPECT_EQ(rd(r::kLioIntCondition), 0u);
  advance(1us);
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << 15);
  wr(r::kDfiIntType, 0);  // interrupt off: the timer runs on silently
  advance(3ms);
  EXPECT_EQ(rd(r::kLioIntCondition), 0u);
}

TEST_F(LioTest, WatchdogExpiresUnlessRefreshed) {
  wr(r::kLdoHigh, 0);  // all servos on
  wr(r::kLioControl, (1u << r::kLdoServoGroupA) | (1u << r::kLdoServoGroupB));
  ASSERT_TRUE(plant().servoOn(2));
  wr(r::kLioWDogResetLow, 100);
  wr(r::kLioWDogResetHigh, 0);
  wr(r::kLioWDogTimer, 9);  // one count every 10 us: 1 ms
  const std::uint16_t groups = (1u << r::kLdoServoGroupA) | (1u << r::kLdoServoGroupB);
  wr(r::kLioControl, static_cast<std::uint16_t>(groups | (1u << r::kLioCtlWDogBit)));
  advance(900us);
  wr(r::kLioWDogRefresh, 0);
  advance(900us);
  EXPECT_FALSE(plant().watchdogTripped());
  EXPECT_EQ(rd(r::kLioIntCondition), 0u);
  advance(100us);
  EXPECT_TRUE(plant().watchdogTripped());
  EXPECT_FALSE(plant().servoOn(2));
  EXPECT_FALSE(plant().positionReady());
  EXPECT_EQ(rd(r::kLioIntCondition), 1u << 15);
  wr(r::kLioWDogRefresh, 0);
  EXPECT_FALSE(plant().watchdogTripped());
  EXPECT_TRUE(plant().servoOn(2));
}

TEST_F(LioTest, ResetReleasesTheOutputs) {
  wr(r::kLdoHigh, 0);
  wr(r::kLioControl, (1u << r::kLdoServoGroupA) | (1u << r::kLdoServoGroupB));
  ASSERT_TRUE(plant().servoOn(0));
  wr(r::kModuleReset, 1u << 9);
  wr(r::kModuleReset, 0);
  EXPECT_FALSE(plant().servoOn(0));
  EXPECT_EQ(plant().ldoOutputs(), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace vcard::test
