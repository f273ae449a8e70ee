#include "platform/vcard/dda_module.h"
#include "platform/vcard/tests/chip_fixture.h"

namespace vcard::test {
namespace {

using DdaTest = ChipTest;

TEST_F(DdaTest, NegativeCommandMovesAxisAndCounter) {
  startEngine();
  push(0, -5);
  EXPECT_EQ(rd(r::ddaFifo(0)), 0u);  // nothing output yet
  chip.runCycle();
  EXPECT_EQ(plant().position(0), -5);
  EXPECT_EQ(outputPulses(0), -5);
  wr(r::kDdaCounterPrepare, r::kDdaCounterPrepareValue);
  EXPECT_EQ(rd(r::ddaPulseCounterLow(0)), 0xFFFBu);
  EXPECT_EQ(rd(r::ddaPulseCounterHigh(0)), 0xFFFFu);
  EXPECT_EQ(rd(r::ddaFifo(0)), 0x8005u);  // the command output in that cycle
  chip.runCycle();
  EXPECT_EQ(rd(r::ddaFifo(0)), 0u);
  EXPECT_EQ(plant().position(0), -5);
}

TEST_F(DdaTest, AxesOutputIndependentlyOneCommandPerCycle) {
  startEngine();
  for (unsigned a = 0; a < 6; ++a) {
    push(a, static_cast<std::int32_t>(a + 1));
    push(a, 100);
  }
  chip.runCycle();
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_EQ(plant().position(a), a + 1);
  chip.runCycle();
  for (unsigned a = 0; a < 6; ++a) {
    EXPECT_EQ(plant().position(a), a + 101);
    EXPECT_EQ(outputPulses(a), static_cast<std::int32_t>(a + 101));
  }
}

TEST_F(DdaTest, StockFullFlagAndEraseAtCapacity) {
  const unsigned cap = DdaModule::kFifoCapacity;
  EXPECT_EQ(rd(r::kDdaFifoFlags) & 0x3Fu, 0x3Fu);  // all empty
  for (unsigned i = 0; i < cap - 1; ++i)
    push(3, 1);
  EXPECT_EQ(stock(3), cap - 1);
  EXPECT_FALSE(r::bit(rd(r::kDdaFifoFlags), r::kDdaFifoFullBit + 3));
  push(3, 1);
  EXPECT_EQ(stock(3), cap);
  EXPECT_TRUE(r::bit(rd(r::kDdaFifoFlags), r::kDdaFifoFullBit + 3));
  EXPECT_FALSE(r::bit(rd(r::kDdaFifoFlags), r::kDdaFifoEmptyBit + 3));
  push(3, 1);  // past capacity: dropped
  EXPECT_EQ(stock(3), cap);
  EXPECT_EQ(chip.fifoOverruns(3), 1u);
  // Neighbouring axis shares the stock register and is untouched.
  EXPECT_EQ(stock(2), 0u);
  wr(r::ddaErase(3), 10);
  EXPECT_EQ(stock(3), cap - 10);
  EXPECT_FALSE(r::bit(rd(r::kDdaFifoFlags), r::kDdaFifoFullBit + 3));
  wr(r::ddaErase(3), 1000);  // more than the stock empties the FIFO
  EXPECT_EQ(stock(3), 0u);
  EXPECT_TRUE(r::bit(rd(r::kDdaFifoFlags), r::kDdaFifoEmptyBit + 3));
}

TEST_F(DdaTest, EraseRemovesTheOldestCommands) {
  startEngine();
  push(1, 1);
  push(1, 2);
  push(1, 4);
  wr(r::ddaErase(1), 2);
  chip.runCycle();
  EXPECT_EQ(plant().position(1), 4);
}

TEST_F(DdaTest, ShiftOutDiscardsWithoutOutput) {
  startEngine();
  push(0, 7);
  push(0, 9);
  push(5, 3);
  rd(r::kDdaShiftOut);
  EXPECT_EQ(stock(0), 1u);
  EXPECT_EQ(stock(5), 0u);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 9);
  EXPECT_EQ(plant().position(5), 0);
}

TEST_F(DdaTest, DisabledChannelConsumesWithoutOutput) {
  wr(r::kDdaPulseCounterEnable, 0x3F);
  wr(r::kDdaControl, static_cast<std::uint16_t>((1u << r::kDdaCtlRunBit) | 0x3E));  // axis 0 off
  push(0, 50);
  push(1, 50);
  chip.runCycle();
  EXPECT_EQ(stock(0), 0u);
  EXPECT_EQ(plant().position(0), 0);
  EXPECT_EQ(outputPulses(0), 0);
  EXPECT_EQ(plant().position(1), 50);
}

TEST_F(DdaTest, StoppedEngineKeepsTheQueue) {
  wr(r::kDdaControl, 0x3F);
  push(0, 5);
  EXPECT_FALSE(chip.engineRunning());
  chip.runCycle();
  EXPECT_EQ(stock(0), 1u);
  EXPECT_EQ(plant().position(0), 0);
}

TEST_F(DdaTest, CounterCountsOnlyWhileEnabledAndClears) {
  startEngine();
  wr(r::kDdaPulseCounterEnable, 0x3E);  // axis 0 counter off
  push(0, 10);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 10);
  EXPECT_EQ(outputPulses(0), 0);
  wr(r::kDdaPulseCounterEnable, 0x3F);
  push(0, 10);
  chip.runCycle();
  EXPECT_EQ(outputPulses(0), 10);
  wr(r::kDdaClearStrobes, 1u << (r::kDdaClearCounterBit + 0));
  wr(r::kDdaClearStrobes, 0);
  EXPECT_EQ(outputPulses(0), 0);
}

TEST_F(DdaTest, CounterReadsTheLatchedValue) {
  startEngine();
  push(2, 70000 % 32768);
  wr(r::kDdaCounterPrepare, r::kDdaCounterPrepareValue);
  chip.runCycle();
  EXPECT_EQ(rd(r::ddaPulseCounterLow(2)), 0u);  // latched before the cycle
  EXPECT_EQ(outputPulses(2), 70000 % 32768);
}

TEST_F(DdaTest, PulseDividerDividesOutputWithCarriedRemainder) {
  startEngine();
  wr(r::ddaPulseDivider(4), 4);
  push(4, 10);
  push(4, 10);
  chip.runCycle();
  EXPECT_EQ(plant().position(4), 2);
  chip.runCycle();
  EXPECT_EQ(plant().position(4), 5);
  EXPECT_EQ(outputPulses(4), 5);
}

TEST_F(DdaTest, BitLengthLimitsTheMagnitude) {
  startEngine();
  wr(r::kDdaTiming, r::kDdaTimingBitLength.set(0, 0));  // 10 bits, as after reset
  push(0, 5000);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 1023);
  wr(r::kDdaTiming, r::kDdaTimingBitLength.set(0, 5));
  push(0, 32767);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 1023 + 32767);
}

TEST_F(DdaTest, CyclePeriodFromTiming) {
  wr(r::kDdaTiming, static_cast<std::uint16_t>(r::kDdaTimingBitLength.set(0, 5) | 11));
  EXPECT_EQ(chip.cyclePeriod(), std::chrono::nanoseconds(9830400));  // 9.8304 ms
  wr(r::kDdaTiming, r::kDdaTimingBitLength.set(0, 5));
  EXPECT_EQ(chip.cyclePeriod(), std::chrono::nanoseconds(819200));
  wr(r::kDdaTiming, static_cast<std::uint16_t>(r::kDdaTimingBitLength.set(0, 0) | 4095));
  EXPECT_EQ(chip.cyclePeriod(), std::chrono::nanoseconds(104857600));
}

TEST_F(DdaTest, CycleConditionOnlyWhenEnabledAndClearsOnRead) {
  startEngine();
  chip.runCycle();
  EXPECT_EQ(chip.pendingSources(), 0u);
  startEngine(1u << r::kDdaCtlCycleIntBit);
  chip.runCycle();
  EXPECT_EQ(chip.pendingSources(), 1u);
  EXPECT_EQ(rd(r::kIntSource), 1u);
  EXPECT_EQ(rd(r::kDdaIntCondition), 1u << 6);
  EXPECT_EQ(rd(r::kDdaIntCondition), 0u);
  EXPECT_EQ(chip.pendingSources(), 0u);
  chip.runCycle();
  startEngine();  // disabling drops the pending condition
  EXPECT_EQ(chip.pendingSources(), 0u);
}

TEST_F(DdaTest, MinStockConditionWhenStockFallsBelow) {
  startEngine(1u << (r::kDdaCtlStockIntBit + 2));
  wr(r::kDdaMinStock, 2);
  push(2, 1);
  push(2, 1);
  push(2, 1);
  push(1, 1);       // axis 1 has no stock interrupt
  chip.runCycle();  // 3 -> 2
  EXPECT_EQ(rd(r::kDdaIntCondition), 0u);
  chip.runCycle();  // 2 -> 1: below
  EXPECT_EQ(rd(r::kDdaIntCondition), 1u << 2);
  chip.runCycle();  // 1 -> 0: already below, no new event
  EXPECT_EQ(rd(r::kDdaIntCondition), 0u);
}

TEST_F(DdaTest, EmergencyStopStopsOutputOnlyWhenEnabled) {
  startEngine();
  plant().setEmergencyStop(true);
  push(0, 5);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 5);  // not enabled: runs on
  startEngine(1u << r::kDdaCtlEmgcStopBit);
  push(0, 5);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 5);
  EXPECT_EQ(stock(0), 0u);
  plant().setEmergencyStop(false);
  push(0, 5);
  chip.runCycle();
  EXPECT_EQ(plant().position(0), 10);
}

TEST_F(DdaTest, ServoOffIgnoredUnlessPlantSaysSo) {
  startEngine();
  plant().axis(0).ignorePulsesWhileServoOff = true;
  push(0, 5);
  push(1, 5);
  chip.runCycle();  // no output group enabled: every servo is off
  EXPECT_FALSE(plant().servoOn(0));
  EXPECT_EQ(plant().position(0), 0);
  EXPECT_EQ(plant().pulsesReceived(0), 5);
  EXPECT_EQ(plant().position(1), 5);
}

}  // namespace
}  // namespace vcard::test
