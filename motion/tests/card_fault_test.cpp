// Faults while lines and arcs run on the virtual card in virtual time: late
// interrupts that let the card queue run dry, a card whose interrupt stops,
// failing transfers, and the emergency stop input. What a machine builder
// needs: no pulse invented (the plant never goes beyond what was commanded),
// the library's pulse positions equal what the card output, a failure that
// shows through the status functions, and no hang of the caller or of close.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>

#include "motion/tests/virtual_card_fixture.h"
#include "qoradrv.h"

namespace {

class CardFault : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
  }
  void lineAndArc() {
    ASSERT_GE(VNL_Line(1, 0.5, 0, 0, 0, 0, 0), 0);
    ASSERT_GE(VNL_ArcXY(1.5, 1.0, 1.0, 1.5, 0), 0);
  }
};

// Interrupts 200 cycles late, longer than the card queue (63 periods) lasts:
// the queue runs dry and the axes stand for the rest of the gap. Nothing is
// lost or invented: the moves go on when cycles come again and end on their
// targets, the plant at the pulse positions.
TEST_F(CardFault, InterruptsLaterThanTheCardQueueLastsLoseNoPulse) {
  lineAndArc();
  card_->delayCycleInterrupt(card_->cycles() + 30, 200);
  vnl::test::sleepCycles(150);
  EXPECT_EQ(stock(0), 0u) << "the card queue ran dry";
  const std::int64_t stood = position(0);
  vnl::test::sleepCycles(20);
  EXPECT_EQ(position(0), stood) << "the axes stand while the queue is dry";
  waitStopped();
  EXPECT_EQ(position(0), 1000);
  EXPECT_EQ(position(1), 1500);
  expectPlantAtPulsePositions();
  EXPECT_EQ(VNL_GetErrorCode(0), 0);
}

// A card whose interrupt stops for good: the axes output what the card queue
// held and stand; the library counted exactly that. Requests report -3 (the
// caller waits at most three periods, or two seconds where it would wait
// without limit), and close returns and closes the card.
TEST_F(CardFault, ACardWhoseInterruptStopsHangsNothing) {
  lineAndArc();
  vnl::test::sleepCycles(100);
  card_->delayCycleInterrupt(card_->cycles() + 1, 0xFFFFFFFFu);
  vnl::test::sleepCycles(200);
  const std::int64_t stood = position(0);
  vnl::test::sleepCycles(200);
  EXPECT_EQ(position(0), stood) << "the card queue is dry";
  expectPlantAtPulsePositions();
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), -3);
  EXPECT_EQ(VNL_AbortMotion(0), -13);
  EXPECT_EQ(VNL_ClearError(0), -3);
  EXPECT_EQ(VNL_CloseSystem(), 0);
  EXPECT_FALSE(vcard::bus().registered(*card_));
}

// Transfers that fail for 40 cycles while the moves run: reads give 0 and
// writes are lost. The write that re-arms the card's interrupt after each
// service is lost with them, so the cycle does not come back: the axes stand
// where the card queue left them, nothing beyond the commanded path; the
// library's pulse positions are what the card output; requests report -3;
// close returns, and a new initialisation brings the card back.
TEST_F(CardFault, FailingTransfersInventNoPulseAndCloseRecovers) {
  lineAndArc();
  vnl::test::sleepCycles(60);
  vcard::Faults f;
  f.transfersFail = true;
  vcard::bus().setFaults(f);
  vnl::test::sleepCycles(40);
  vcard::bus().setFaults(vcard::Faults{});
  vnl::test::sleepCycles(200);
  EXPECT_LE(position(0), 1500) << "no pulse beyond the commanded path";
  EXPECT_LE(position(1), 1500);
  expectPlantAtPulsePositions();
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), -3);
  EXPECT_EQ(VNL_CloseSystem(), 0);
  const std::int64_t x = position(0), y = position(1);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(10, 0), 10.0);
  ASSERT_GE(VNL_Line(0.5, 0.25, 0, 0, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(position(0) - x, 500) << "the new run starts at 0 where the axes stand";
  EXPECT_EQ(position(1) - y, 250);
}

// The emergency stop input with the card's emergency stop enabled: the card
// outputs nothing while it is pressed. No pulse is invented. The library does
// not watch the input itself: the application reads it with
// VNL_GetEmgcStopStatus and aborts, which takes what the card output as the
// positions; close returns.
TEST_F(CardFault, TheEmergencyStopInputStopsTheAxesAndCloseReturns) {
  ASSERT_EQ(QORA_DDA_EnableEmgcStop(0), 1);
  lineAndArc();
  vnl::test::sleepCycles(60);
  card_->withChip([](vcard::Chip& chip) { chip.plant().setEmergencyStop(true); });
  const std::int64_t stopped = position(0);
  vnl::test::sleepCycles(30);
  EXPECT_EQ(position(0), stopped) << "nothing is output while the stop is pressed";
  uint16_t status = 0;
  ASSERT_EQ(VNL_GetEmgcStopStatus(&status, 0), 0);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(VNL_AbortMotion(0), 0);
  card_->withChip([](vcard::Chip& chip) { chip.plant().setEmergencyStop(false); });
  waitStopped();
  EXPECT_LE(position(0), 1000);
  EXPECT_EQ(pulsePos()[0], position(0)) << "the abort takes what the card output";
  EXPECT_EQ(VNL_CloseSystem(), 0);
}

}  // namespace
