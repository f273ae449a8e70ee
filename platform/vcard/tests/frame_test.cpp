#include "platform/vcard/tests/chip_fixture.h"

namespace vcard::test {
namespace {

using FrameTest = ChipTest;

TEST_F(FrameTest, ChipResetEmptiesQueuesAndClearsButKeepsPositions) {
  startEngine(1u << r::kDdaCtlCycleIntBit);
  push(0, 10);
  push(0, 10);
  chip.runCycle();
  wr(r::encConfig(0), r::kEncCfgRate.set(0, 3));
  wr(r::kEncControl, 1u << r::kEncStartBit);
  plant().moveBy(0, 4);
  ASSERT_NE(chip.pendingSources(), 0u);
  wr(r::kIrqSelect, 0x0200);
  wr(r::kIntOutputControl, 3);
  wr(r::kModuleReset, 0x0200);
  wr(r::kModuleReset, 0);
  EXPECT_EQ(chip.pendingSources(), 0u);
  EXPECT_FALSE(chip.engineRunning());
  EXPECT_EQ(stock(0), 0u);
  EXPECT_EQ(outputPulses(0), 0);
  EXPECT_EQ(chip.irqSelect(), 0u);
  EXPECT_EQ(plant().position(0), 14);
  EXPECT_EQ(rd(r::encCounterLow(0)), 0u);
  // Encoders restart from where the axis stands (rate back to x1: 4 edges = 1).
  wr(r::kEncControl, 1u << r::kEncStartBit);
  plant().moveBy(0, 4);
  EXPECT_EQ(rd(r::encCounterLow(0)), 1u);
}

TEST_F(FrameTest, ModuleResetActsOnItsModuleOnly) {
  startEngine();
  push(1, 5);
  wr(r::kPclControl, 1u << r::kPclCtlCounterEnableBit);
  wr(r::kModuleReset, 1u << 8);  // module 9: closed loop and DAC
  wr(r::kModuleReset, 0);
  EXPECT_EQ(stock(1), 1u);
  EXPECT_TRUE(chip.engineRunning());
  wr(r::kModuleReset, 1u << 0);  // module 1: pulse engine
  EXPECT_EQ(stock(1), 0u);
  EXPECT_FALSE(chip.engineRunning());
}

TEST_F(FrameTest, SourceRegisterCollectsModules) {
  startEngine(1u << r::kDdaCtlCycleIntBit);
  wr(r::kLioTimerLow, 10);
  wr(r::kDfiIntType, 1u << r::kDfiTimerIntBit);
  wr(r::kLioControl, 1u << r::kLioCtlTimerBit);
  chip.runCycle();
  advance(10us);
  EXPECT_EQ(rd(r::kIntSource), (1u << 0) | (1u << 7));
  EXPECT_EQ(rd(r::kIntSource), (1u << 0) | (1u << 7));  // not cleared by the source read
  rd(r::kDdaIntCondition);
  EXPECT_EQ(rd(r::kIntSource), 1u << 7);
  rd(r::kLioIntCondition);
  EXPECT_EQ(rd(r::kIntSource), 0u);
}

TEST_F(FrameTest, FrameRegistersAndUnmappedAccesses) {
  wr(r::kIrqSelect, 0x8000);
  wr(r::kIntOutputControl, 3);
  EXPECT_EQ(chip.irqSelect(), 0x8000u);
  EXPECT_EQ(chip.interruptOutputControl(), 3u);
  EXPECT_EQ(rd(r::kIrqSelect), 0u);  // write-only
  EXPECT_EQ(chip.unmappedAccesses(), 0u);
  EXPECT_EQ(rd(0x21), 0u);
  wr(0x1C0, 1);
  wr(0x0A, 1);
  EXPECT_EQ(rd(0x400), 0u);
  EXPECT_EQ(chip.unmappedAccesses(), 4u);
}

}  // namespace
}  // namespace vcard::test
