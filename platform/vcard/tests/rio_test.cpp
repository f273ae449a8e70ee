#include "platform/vcard/tests/chip_fixture.h"

namespace vcard::test {
namespace {

class RioTest : public ChipTest {
 protected:
  // Port running, every slave polled, one cycle per 10 us.
  void startPort(unsigned port, std::uint16_t extraB = 0) {
    wr(r::rioControl(port, r::kRioCtlA), 0);
    wr(r::rioControl(port, r::kRioCtlB),
       static_cast<std::uint16_t>(0x7u | (1u << r::kRioSetControlBit) | extraB));
  }
};

TEST_F(RioTest, OutputsReachTheSlavesAndInputsComeBack) {
  startPort(1);
  wr(r::rioWord(1, 2, 3), 0xBEEF);  // 0xD6
  EXPECT_EQ(r::rioWord(1, 2, 3), 0xD6u);
  plant().setRioSlaveInput(1, 0, 1, 0x1234);
  EXPECT_EQ(plant().rioSlaveOutput(1, 2, 3), 0u);  // no port cycle yet
  EXPECT_EQ(rd(r::rioWord(1, 0, 1)), 0u);
  advance(10us);
  EXPECT_EQ(plant().rioSlaveOutput(1, 2, 3), 0xBEEFu);
  EXPECT_EQ(rd(r::rioWord(1, 0, 1)), 0x1234u);
  EXPECT_EQ(rd(r::rioWord(0, 0, 1)), 0u);  // the other port is idle
  const std::uint16_t status = rd(r::rioStatus(1));
  EXPECT_TRUE(r::bit(status, r::kRioMasterStatusBit));
  EXPECT_TRUE(r::bit(status, r::kRioSlaveStatusBit));
  EXPECT_TRUE(r::bit(status, r::kRioTransStatusBit));
  EXPECT_EQ(r::kRioSlaveFail.get(status), 0u);
}

TEST_F(RioTest, NothingMovesWhileThePortIsOff) {
  wr(r::rioWord(0, 0, 0), 7);
  plant().setRioSlaveInput(0, 0, 0, 9);
  advance(1ms);
  EXPECT_EQ(plant().rioSlaveOutput(0, 0, 0), 0u);
  EXPECT_EQ(rd(r::rioWord(0, 0, 0)), 0u);
  EXPECT_FALSE(r::bit(rd(r::rioStatus(0)), r::kRioMasterStatusBit));
}

TEST_F(RioTest, ClockDividerSetsTheCycle) {
  wr(r::rioControl(0, r::kRioCtlB),
     static_cast<std::uint16_t>(0x1u | (1u << r::kRioSetControlBit)));
  wr(r::rioControl(0, r::kRioCtlA), 0x20);  // 33 x 10 us
  plant().setRioSlaveInput(0, 0, 2, 5);
  advance(320us);
  EXPECT_EQ(rd(r::rioWord(0, 0, 2)), 0u);
  advance(10us);
  EXPECT_EQ(rd(r::rioWord(0, 0, 2)), 5u);
}

TEST_F(RioTest, InputInterruptsByType) {
  startPort(0);
  // Slave 0 word 1: type 1 (a bit going 0 -> 1); slave 1 word 2: type 0 (any change).
  wr(r::rioControl(0, r::kRioCtlC), 2u << 2);
  wr(r::rioControl(0, r::kRioCtlB),
     static_cast<std::uint16_t>(0x7u | (1u << r::kRioSetControlBit) | (1u << 12)));
  plant().setRioSlaveInput(0, 0, 1, 0x0001);
  advance(10us);
  EXPECT_EQ(chip.pendingSources(), 1u << 4);
  EXPECT_EQ(rd(r::rioCondition(0)), 1u << (4 * 0 + 1));
  plant().setRioSlaveInput(0, 0, 1, 0x0000);  // falling: not this type
  plant().setRioSlaveInput(0, 1, 2, 0x8000);
  advance(10us);
  EXPECT_EQ(rd(r::rioCondition(0)), 1u << (4 * 1 + 2));
  EXPECT_EQ(rd(r::rioCondition(0)), 0u);
}

TEST_F(RioTest, DisconnectedSlaveFailsAndRaisesTransmissionCondition) {
  startPort(0, r::kRioTransError.set(0, 1));  // failed after more than 1 error
  wr(r::rioControl(0, r::kRioCtlC), 1u << r::kRioTransIntBit);
  plant().setRioSlaveConnected(0, 1, false);
  advance(10us);
  EXPECT_EQ(chip.pendingSources(), 1u << 4);
  EXPECT_EQ(rd(r::rioCondition(0)), 1u << 12);
  std::uint16_t status = rd(r::rioStatus(0));
  EXPECT_FALSE(r::bit(status, r::kRioSlaveStatusBit));
  EXPECT_EQ(r::kRioSlaveFail.get(status), 0u);
  advance(10us);
  status = rd(r::rioStatus(0));
  EXPECT_EQ(r::kRioSlaveFail.get(status), 2u);  // slave 1
  plant().setRioSlaveConnected(0, 1, true);
  advance(10us);
  status = rd(r::rioStatus(0));
  EXPECT_EQ(r::kRioSlaveFail.get(status), 0u);
  EXPECT_TRUE(r::bit(status, r::kRioSlaveStatusBit));
}

}  // namespace
}  // namespace vcard::test
