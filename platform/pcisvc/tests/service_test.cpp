// The service's requests as a card-access library issues them: opening,
// discovery, registration, configuration reads and port transfers, and the
// refusals for bad handles, records and codes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/pcisvc/tests/service_client.h"

namespace pcisvc {
namespace {
using test::openCard;
using test::request;

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vcard::bus().clear();
    vcard::bus().install(vcard::ChipModel::Qora210);
    vcard::bus().install(vcard::ChipModel::Qora310);
    vcard::bus().install(vcard::ChipModel::Qora210);
  }
  void TearDown() override { vcard::bus().clear(); }
};

TEST_F(ServiceTest, OpensOnlyByItsNameAndWhileAvailable) {
  EXPECT_EQ(openDevice("\\\\.\\WINDRVR5"), kInvalidHandle);
  EXPECT_EQ(openDevice(nullptr), kInvalidHandle);
  Handle h = openDevice(kDeviceName);
  ASSERT_NE(h, kInvalidHandle);
  VersionRecord v{};
  EXPECT_EQ(request(h, kVersionQuery, v), kStatusOk);
  EXPECT_GE(v.version, 602u);
  closeDevice(h);
  EXPECT_EQ(request(h, kVersionQuery, v), 0xFFFFFFFFu) << "a closed handle takes no request";

  vcard::Faults f;
  f.serviceUnavailable = true;
  vcard::bus().setFaults(f);
  EXPECT_EQ(openDevice(kDeviceName), kInvalidHandle);
  f = vcard::Faults{};
  f.version = 601;
  vcard::bus().setFaults(f);
  h = openDevice(kDeviceName);
  EXPECT_EQ(request(h, kVersionQuery, v), kStatusOk);
  EXPECT_EQ(v.version, 601u);
  closeDevice(h);
}

TEST_F(ServiceTest, EveryOpenHandleTakesRequestsUntilItIsClosed) {
  // More handles at once than the service keeps in its quick table.
  std::vector<Handle> open(600);
  for (Handle& h : open)
    h = openDevice(kDeviceName);
  VersionRecord v{};
  for (std::size_t i = 0; i < open.size(); i += 2)
    closeDevice(open[i]);
  for (std::size_t i = 0; i < open.size(); ++i)
    EXPECT_EQ(request(open[i], kVersionQuery, v), i % 2 == 0 ? 0xFFFFFFFFu : kStatusOk) << i;
  for (std::size_t i = 1; i < open.size(); i += 2)
    closeDevice(open[i]);
  for (const Handle h : open)
    EXPECT_EQ(request(h, kVersionQuery, v), 0xFFFFFFFFu);
  EXPECT_EQ(request(0, kVersionQuery, v), 0xFFFFFFFFu);
}

TEST_F(ServiceTest, RefusesUnknownCodesAndMalformedRecords) {
  Handle h = openDevice(kDeviceName);
  VersionRecord v{};
  std::uint32_t status = 0;
  EXPECT_TRUE(deviceControl(h, 0x95380000, &v, sizeof v, &status));
  EXPECT_EQ(status, kStatusUnsupported);
  EXPECT_FALSE(deviceControl(h, kVersionQuery, &v, sizeof v - 1, &status));
  EXPECT_FALSE(deviceControl(h, kVersionQuery, nullptr, sizeof v, &status));
  EXPECT_FALSE(deviceControl(h, kVersionQuery, &v, sizeof v, nullptr));
  ConfigAccessRecord c{};
  c.slot = vcard::bus().card(0)->slot();
  c.bytes = 4;
  c.read = 1;  // no buffer
  EXPECT_EQ(request(h, kPciConfigAccess, c), kStatusInvalidRecord);
  InterruptRecord irq{};
  irq.handle = 12345;
  EXPECT_EQ(request(h, kInterruptEnable, irq), kStatusInvalidHandle);
  CardRegisterRecord none{};
  EXPECT_EQ(request(h, kCardUnregister, none), kStatusInvalidHandle);
  closeDevice(h);
}

TEST_F(ServiceTest, ScanReportsEachModelInSlotOrderWithMatchingBaseRegisters) {
  Handle h = openDevice(kDeviceName);
  ScanRecord scan{};
  scan.search = PciId{0x1D7A, 0x0210};
  ASSERT_EQ(request(h, kPciScan, scan), kStatusOk);
  ASSERT_EQ(scan.count, 2u);
  EXPECT_LT(scan.slots[0].slot, scan.slots[1].slot);
  scan = ScanRecord{};
  scan.search = PciId{0x1D7A, 0x0310};
  ASSERT_EQ(request(h, kPciScan, scan), kStatusOk);
  ASSERT_EQ(scan.count, 1u);

  CardInfoRecord info{};
  info.slot = scan.slots[0];
  ASSERT_EQ(request(h, kPciCardInfo, info), kStatusOk);
  ASSERT_EQ(info.card.count, 3u);
  EXPECT_EQ(info.card.items[0].type, kResourceInterrupt);
  for (std::uint32_t bar = 1; bar <= 2; ++bar) {
    std::uint32_t value = 0;
    ConfigAccessRecord c{info.slot, &value, 0x10 + 4 * bar, 4, 1, 0};
    ASSERT_EQ(request(h, kPciConfigAccess, c), kStatusOk);
    EXPECT_EQ(value & 1u, 1u) << "an I/O base register";
    EXPECT_EQ(value & ~3u, info.card.items[bar].io.base);
    EXPECT_EQ(info.card.items[bar].type, kResourceIoPort);
  }
  std::uint32_t id = 0;
  ConfigAccessRecord c{info.slot, &id, 0, 4, 1, 0};
  ASSERT_EQ(request(h, kPciConfigAccess, c), kStatusOk);
  EXPECT_EQ(id, 0x03101D7Au);

  vcard::Faults f;
  f.scanFindsNothing = true;
  vcard::bus().setFaults(f);
  ASSERT_EQ(request(h, kPciScan, scan), kStatusOk);
  EXPECT_EQ(scan.count, 0u);
  closeDevice(h);
}

TEST_F(ServiceTest, RegistrationLocksTheCardUntilReleased) {
  test::OpenCard first = openCard(0x0210, 1);
  Handle other = openDevice(kDeviceName);
  CardRegisterRecord again{};
  again.card = first.reg.card;
  ASSERT_EQ(request(other, kCardRegister, again), kStatusOk);
  EXPECT_EQ(again.cardHandle, 0u) << "already in use";

  // Closing the owner's handle releases its registration, as a process exit would.
  closeDevice(first.handle);
  ASSERT_EQ(request(other, kCardRegister, again), kStatusOk);
  EXPECT_NE(again.cardHandle, 0u);
  EXPECT_EQ(request(other, kCardUnregister, again), kStatusOk);
  EXPECT_FALSE(vcard::bus().registered(*vcard::bus().card(2)));

  vcard::Faults f;
  f.cardInUse = true;
  vcard::bus().setFaults(f);
  ASSERT_EQ(request(other, kCardRegister, again), kStatusOk);
  EXPECT_EQ(again.cardHandle, 0u);
  closeDevice(other);
}

TEST_F(ServiceTest, PortTransfersReachTheRegisteredCardsSpaces) {
  test::OpenCard card = openCard(0x0210);
  auto virtualCard = vcard::bus().card(0);
  virtualCard->recordWrites(true);
  EXPECT_TRUE(card.bridgeWrite(0x41));
  EXPECT_EQ(card.bridgeRead() & 0x41, 0x41);
  EXPECT_TRUE(card.chipWrite(chip::reg::kIrqSelect, 0x0200));
  // A 16-bit register takes no byte access; a window the card lacks takes none either.
  EXPECT_FALSE(card.write(card.chipBase, chip::reg::kIrqSelect, 1, kPortWriteByte, 1));
  EXPECT_FALSE(card.write(card.chipBase, 0x400, 1, kPortWriteWord, 2));
  EXPECT_FALSE(card.write(card.chipBase, 0, 1, kPortWriteWord, 1)) << "byte count must match";
  const std::vector<vcard::RegisterWrite> expected{{1, 0x4C, 0x41, 8}, {2, 0x04, 0x0200, 16}};
  EXPECT_EQ(virtualCard->writes(), expected);

  // Another card's windows are not reachable until it is registered.
  auto unregistered = vcard::bus().card(1);
  EXPECT_FALSE(card.write(unregistered->ports().chipBase, 0x04, 1, kPortWriteWord, 2));

  vcard::Faults f;
  f.transfersFail = true;
  vcard::bus().setFaults(f);
  EXPECT_FALSE(card.chipWrite(chip::reg::kIrqSelect, 0x0400));
  EXPECT_EQ(virtualCard->writes().size(), 2u);
  test::closeCard(card);
}

// Accesses skip the clock while nothing on the chip is timed: the timer counts
// from the write that starts it, and time that passed without any access
// reaches it at the next read.
TEST_F(ServiceTest, ATimerStartedByAWriteIsSeenByTheReadsAfterIt) {
  namespace r = chip::reg;
  platform::useVirtualTime();
  test::OpenCard card = openCard(0x0210);
  EXPECT_EQ(card.chipRead(r::kLioIntCondition), 0u);
  platform::clock().sleepMs(5);                        // idle: nothing to catch up
  EXPECT_TRUE(card.chipWrite(r::kLioTimerLow, 1000));  // 1000 us
  EXPECT_TRUE(card.chipWrite(r::kLioTimerHigh, 0));
  EXPECT_TRUE(card.chipWrite(r::kDfiIntType, 1u << r::kDfiTimerIntBit));
  EXPECT_TRUE(card.chipWrite(r::kLioControl, 1u << r::kLioCtlTimerBit));
  platform::clock().sleepMs(0.999);
  EXPECT_EQ(card.chipRead(r::kLioIntCondition), 0u) << "the idle 5 ms must not count";
  platform::clock().sleepMs(0.001);
  EXPECT_EQ(card.chipRead(r::kLioIntCondition), 1u << 15);
  test::closeCard(card);
  platform::useRealTime();
}

TEST_F(ServiceTest, CardsTakenOffTheBusDuringTransfersAnswerNotFound) {
  test::OpenCard card = openCard(0x0210);
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};
  std::thread transfers([&] {
    while (!stop.load()) {
      TransferRecord t{card.chipBase + chip::reg::kIrqSelect, kPortReadWord, 2, 1, 0, 0};
      const std::uint32_t status = request(card.handle, kTransfer, t);
      if (status != kStatusOk && status != kStatusNotFound) ++unexpected;
    }
  });
  for (int round = 0; round < 1000; ++round) {
    vcard::bus().clear();
    vcard::bus().install(vcard::ChipModel::Qora210);
    // The new card has the same windows: registered, it answers the transfers
    // again, so that every round takes off a card that is in use.
    CardRegisterRecord again = card.reg;
    ASSERT_EQ(request(card.handle, kCardRegister, again), kStatusOk);
  }
  vcard::bus().clear();
  vcard::bus().install(vcard::ChipModel::Qora210);
  stop = true;
  transfers.join();
  EXPECT_EQ(unexpected.load(), 0);
  TransferRecord t{card.chipBase + chip::reg::kIrqSelect, kPortReadWord, 2, 1, 0, 0};
  EXPECT_EQ(request(card.handle, kTransfer, t), kStatusNotFound)
      << "the new card is not registered";
  closeDevice(card.handle);
}

}  // namespace
}  // namespace pcisvc
