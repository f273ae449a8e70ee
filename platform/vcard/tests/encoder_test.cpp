#include "platform/vcard/tests/chip_fixture.h"

namespace vcard::test {
namespace {

class EncoderTest : public ChipTest {
 protected:
  void SetUp() override { wr(r::kEncControl, 1u << r::kEncStartBit); }
  std::uint16_t config(unsigned type, unsigned rate, unsigned flags = 0) {
    return static_cast<std::uint16_t>(r::kEncCfgType.set(r::kEncCfgRate.set(flags, rate), type));
  }
  std::int32_t counter(unsigned ch) {
    return static_cast<std::int32_t>(rd32(r::encCounterLow(ch), r::encCounterHigh(ch)));
  }
  std::int32_t latch(unsigned ch) {
    return static_cast<std::int32_t>(rd32(r::encLatchLow(ch), r::encLatchHigh(ch)));
  }
  void clear(unsigned ch) {
    wr(r::kEncClear, static_cast<std::uint16_t>(1u << ch));
    wr(r::kEncClear, 0);
  }
};

TEST_F(EncoderTest, FollowsTheAxisWithEachTypeRateAndInversion) {
  struct Case {
    unsigned type, rate, flags;
    std::int32_t per100;
  };
  const unsigned invA = 1u << r::kEncCfgAInverseBit, invB = 1u << r::kEncCfgBInverseBit;
  const unsigned swap = 1u << r::kEncCfgABSwapBit;
  const Case cases[] = {
      {0, 3, 0, 100},
      {0, 2, 0, 50},
      {0, 1, 0, 25},
      {0, 0, 0, 25},
      {0, 3, invA, -100},
      {0, 3, invB, -100},
      {0, 3, invA | invB, 100},
      {0, 3, swap, -100},
      {1, 1, 0, 100},
      {1, 2, 0, 200},
      {1, 1, swap, -100},
      {1, 1, invA | invB, 100},
      {2, 3, 0, 200},
      {2, 1, invB, -100},
      {2, 1, invA, 100},
      {3, 3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << c.type << " rate " << c.rate << " flags " << c.flags);
    wr(r::encConfig(1), config(c.type, c.rate, c.flags));
    clear(1);
    plant().moveBy(1, 100);
    EXPECT_EQ(counter(1), c.per100);
    plant().moveBy(1, -100);
    EXPECT_EQ(counter(1), 0);
  }
}

TEST_F(EncoderTest, PlantScaleAndDirectionAndNegativeCounts) {
  wr(r::encConfig(3), config(0, 3));
  plant().axis(3).encoderCountsPerPulse = 4;
  plant().moveBy(3, 10);
  EXPECT_EQ(counter(3), 40);
  plant().axis(3).encoderReversed = true;  // takes effect as a jump of the feedback
  clear(3);
  plant().moveBy(3, 1);
  EXPECT_EQ(counter(3), -4);
  EXPECT_EQ(rd(r::encCounterHigh(3)), 0xFFFFu);
}

TEST_F(EncoderTest, CountsOnlyWhileStarted) {
  wr(r::encConfig(0), config(0, 3));
  wr(r::kEncControl, 10);  // filter clock, not started
  plant().moveBy(0, 30);
  EXPECT_EQ(counter(0), 0);
  wr(r::kEncControl, static_cast<std::uint16_t>(10 | (1u << r::kEncStartBit)));
  plant().moveBy(0, 30);
  EXPECT_EQ(counter(0), 30);
}

TEST_F(EncoderTest, FollowsPulsesOutputInACycle) {
  wr(r::encConfig(5), config(0, 3));
  startEngine();
  push(5, -300);
  chip.runCycle();
  EXPECT_EQ(counter(5), -300);
}

TEST_F(EncoderTest, AuxChannelsFollowTheBench) {
  wr(r::encConfig(7), config(2, 1));
  plant().moveAuxEncoder(7, 40);
  EXPECT_EQ(counter(7), 40);
  plant().setAuxEncoder(7, 10);
  EXPECT_EQ(counter(7), 10);
}

TEST_F(EncoderTest, IndexLatchesAndRaisesConditionOnlyWhenEnabled) {
  const unsigned ch = 4, g = 1, p = 1;
  wr(r::encConfig(ch), config(0, 3));
  plant().axis(ch).indexEvery = 1000;
  wr(r::encTrigger(ch), static_cast<std::uint16_t>(1u << ch));  // mode 0, own index
  plant().moveBy(ch, 1500);
  EXPECT_EQ(latch(ch), 1000);
  EXPECT_EQ(chip.pendingSources(), 0u);  // index interrupt not enabled
  EXPECT_EQ(rd(r::encGroup(g)) & 0x1F8u, 0u);

  wr(r::encGroup(g), static_cast<std::uint16_t>(1u << (r::kEncGroupIndexIntBit + p)));
  wr(r::encTrigger(ch), static_cast<std::uint16_t>(1u << ch));  // re-arm
  plant().moveBy(ch, 1000);                                     // passes 2000
  EXPECT_EQ(latch(ch), 2000);
  EXPECT_EQ(chip.pendingSources(), 1u << 2);  // ENC345
  const std::uint16_t group = rd(r::encGroup(g));
  EXPECT_TRUE(r::bit(group, 6 + p));
  EXPECT_EQ(group & 0x1F8u, 1u << (6 + p));
  EXPECT_EQ(rd(r::encGroup(g)) & 0x1F8u, 0u);  // cleared by the read
  EXPECT_EQ(chip.pendingSources(), 0u);
}

TEST_F(EncoderTest, TriggerModeOnceOrEveryEvent) {
  const unsigned ch = 0;
  wr(r::encConfig(ch), config(0, 3));
  plant().axis(ch).indexEvery = 100;
  wr(r::encTrigger(ch), 1u << ch);
  plant().moveBy(ch, 350);  // marks 100, 200, 300: the first one latches
  EXPECT_EQ(latch(ch), 100);
  plant().moveBy(ch, 100);  // not re-armed
  EXPECT_EQ(latch(ch), 100);
  wr(r::encTrigger(ch), static_cast<std::uint16_t>((1u << r::kEncTrigModeBit) | (1u << ch)));
  plant().moveBy(ch, 300);  // 500, 600, 700: every one, the last stays
  EXPECT_EQ(latch(ch), 700);
  plant().moveBy(ch, -250);  // down through 700? no: 750 -> 500 passes 700, 600, 500
  EXPECT_EQ(latch(ch), 500);
}

TEST_F(EncoderTest, LatchHoldsTheCounterAtTheMarkWithRate) {
  const unsigned ch = 2;
  wr(r::encConfig(ch), config(0, 1));  // x1: a quarter
  plant().axis(ch).indexEvery = 400;
  wr(r::encTrigger(ch), 1u << ch);
  plant().moveBy(ch, 1000);
  EXPECT_EQ(latch(ch), 100);
  EXPECT_EQ(counter(ch), 250);
}

TEST_F(EncoderTest, HomeSensorAsLatchSource) {
  const unsigned ch = 1;
  wr(r::encConfig(ch), config(0, 3));
  plant().axis(1).homePosition = 500;
  wr(r::encTrigger(ch), static_cast<std::uint16_t>(1u << (9 + 1)));
  plant().setPosition(1, 300);
  EXPECT_EQ(latch(ch), 0);
  plant().setPosition(1, 520);
  EXPECT_EQ(latch(ch), 520);
}

TEST_F(EncoderTest, IndexStatusIsTheIndexLevel) {
  plant().axis(0).indexEvery = 1000;
  plant().setAuxIndex(8, 50);
  EXPECT_TRUE(r::bit(rd(r::encGroup(0)), 0));  // axis 0 at 0: on the mark
  plant().moveBy(0, 1);
  EXPECT_FALSE(r::bit(rd(r::encGroup(0)), 0));
  wr(r::encConfig(0), 1u << r::kEncCfgCInverseBit);
  EXPECT_TRUE(r::bit(rd(r::encGroup(0)), 0));
  plant().setAuxEncoder(8, 150);
  EXPECT_TRUE(r::bit(rd(r::encGroup(2)), 2));
}

TEST_F(EncoderTest, CompareMatchCondition) {
  wr(r::encConfig(0), config(0, 3));
  wr(r::encCompLow(0), 0xFFFE);  // -2
  wr(r::encCompHigh(0), 0xFFFF);
  wr(r::encGroup(0), 1u << r::kEncGroupCompIntBit);
  plant().moveBy(0, 5);
  advance(0ns);  // the chip sees plant changes at its next access or advance
  EXPECT_EQ(chip.pendingSources(), 0u);
  plant().moveBy(0, -10);  // passes -2 on the way down
  advance(0ns);
  EXPECT_EQ(chip.pendingSources(), 1u << 1);
  EXPECT_EQ(rd(r::encGroup(0)) & 0x1F8u, 1u << 3);
}

TEST_F(EncoderTest, GroupResetClearsOnlyThatGroup) {
  wr(r::encConfig(0), config(0, 3));
  wr(r::encConfig(3), config(0, 3));
  plant().moveBy(0, 10);
  plant().moveBy(3, 10);
  wr(r::kModuleReset, 1u << 2);  // module 3: ENC345
  wr(r::kModuleReset, 0);
  EXPECT_EQ(counter(0), 10);
  EXPECT_EQ(counter(3), 0);
  plant().moveBy(3, 10);  // type and rate back to 0 (x1): whole cycles 12, 16, 20
  EXPECT_EQ(counter(3), 3);
  EXPECT_EQ(plant().position(3), 20);
}

}  // namespace
}  // namespace vcard::test
