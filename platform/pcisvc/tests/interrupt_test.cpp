// The level-triggered interrupt line through the service: enable with the
// two acknowledge commands, waits woken once per DDA cycle, the line silent
// until the bridge bits are set again, disable and interruption, and the
// virtual-time contract (a cycle completes only when its interrupt was served);
// on the virtual bus and through the Linux backend on a fake machine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/pcisvc/testing/card_bench.h"
#include "platform/pcisvc/tests/service_client.h"

namespace pcisvc {
namespace {
namespace r = chip::reg;
using test::request;

constexpr std::uint16_t kRun = 1u << r::kDdaCtlRunBit;
constexpr std::uint16_t kCycleInt = 1u << r::kDdaCtlCycleIntBit;

std::uint16_t timing(unsigned code, unsigned divider) {
  return static_cast<std::uint16_t>((code << 12) | divider);
}

// The acknowledge commands run as the interrupt is delivered, but a waiter
// thread counts its wake-up only when the scheduler runs it, which virtual time
// does not wait for. Gives it up to two real seconds to reach `count`.
int awaitCount(const std::atomic<int>& counter, int count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (counter.load() < count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  return counter.load();
}

class InterruptTest : public ::testing::TestWithParam<testing::BenchKind> {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    bench_ = testing::makeBench(GetParam());
    bench_->clear();
    bench_->install(vcard::ChipModel::Qora210);
    card_ = test::openCard(0x0210);
    vcard_ = bench_->card(0);
    card_.chipWrite(r::kModuleReset, 0x0200);
    card_.chipWrite(r::kModuleReset, 0);
  }
  void TearDown() override {
    stopService();
    test::closeCard(card_);
    vcard_.reset();
    bench_->clear();
    bench_.reset();
    platform::useRealTime();
  }

  // Arms the interrupt as the card-access library does: the acknowledge
  // commands read the bridge register and write it back with bit 6 cleared.
  void enable() {
    const std::uint8_t v = card_.bridgeRead();
    ack_[0] = TransferRecord{card_.bridgeBase + r::kBridgeIntCsr, kPortRead8, 1, 1, 0, 0};
    ack_[1] = TransferRecord{card_.bridgeBase + r::kBridgeIntCsr,   kPortWrite8, 1, 1, 0,
                             static_cast<std::uint32_t>(v & ~0x40u)};
    irq_ = InterruptRecord{};
    irq_.handle = card_.interruptHandle;
    irq_.options = kInterruptLevelSensitive | kInterruptRunCommands;
    irq_.commands = ack_;
    irq_.commandCount = 2;
    ASSERT_EQ(request(card_.handle, kInterruptEnable, irq_), kStatusOk);
  }
  void setBridgeBits() { card_.bridgeWrite(static_cast<std::uint8_t>(card_.bridgeRead() | 0x41)); }

  // One wait on a handle of its own, as the interrupt thread issues it.
  InterruptRecord waitOnce() {
    InterruptRecord w = irq_;
    TransferRecord commands[2] = {ack_[0], ack_[1]};
    w.commands = commands;
    Handle own = openDevice(kDeviceName);
    EXPECT_EQ(request(own, kInterruptWait, w), kStatusOk);
    closeDevice(own);
    return w;
  }

  // The interrupt thread: serve each interrupt (acknowledge, bridge bits
  // again, read the source and conditions until the source reads 0).
  void startService() {
    service_ = std::thread([this] {
      for (;;) {
        InterruptRecord w = waitOnce();
        if (w.stopped == kInterruptStopped) return;
        if (w.stopped != kInterruptReceived) continue;
        cyclesAtService_.push_back(vcard_->cycles());
        card_.chipWrite(r::kIntAck, 0);
        setBridgeBits();
        while (card_.chipRead(r::kIntSource) != 0)
          card_.chipRead(r::kDdaIntCondition);
      }
    });
  }
  void stopService() {
    if (!service_.joinable()) return;
    request(card_.handle, kInterruptDisable, irq_);
    service_.join();
  }

  std::unique_ptr<testing::CardBench> bench_;
  test::OpenCard card_;
  std::shared_ptr<vcard::VirtualCard> vcard_;
  TransferRecord ack_[2]{};
  InterruptRecord irq_{};
  std::thread service_;
  std::vector<std::uint64_t> cyclesAtService_;
};

TEST_P(InterruptTest, EveryCycleIsServedBeforeTheNextAtSeveralCycleLengths) {
  // (code, divider) and the cycle length they give: 2^(k+8) (d+1) 0.1 us.
  struct Setting {
    unsigned code, divider;
    std::int64_t nanos;
  };
  for (Setting s : {Setting{5, 0, 819200}, Setting{5, 11, 9830400}, Setting{0, 4095, 104857600},
                    Setting{2, 3, 409600}}) {
    SCOPED_TRACE(s.nanos);
    cyclesAtService_.clear();
    enable();
    startService();
    setBridgeBits();
    card_.chipWrite(r::kDdaTiming, timing(s.code, s.divider));
    const std::uint64_t before = vcard_->cycles();
    card_.chipWrite(r::kDdaControl, kRun | kCycleInt);
    platform::clock().sleepFor(platform::Nanos{s.nanos * 1000});
    EXPECT_EQ(vcard_->cycles() - before, 1000u);
    card_.chipWrite(r::kDdaControl, 0);
    stopService();
    ASSERT_EQ(cyclesAtService_.size(), 1000u);
    for (std::size_t i = 0; i < cyclesAtService_.size(); ++i)
      ASSERT_EQ(cyclesAtService_[i], before + i + 1) << "served in its own cycle";
    platform::clock().sleepFor(platform::Nanos{s.nanos * 2});  // the stopped timer ends
  }
}

TEST_P(InterruptTest, LineStaysSilentAfterTheAcknowledgeUntilTheBridgeBitsAreSet) {
  enable();
  setBridgeBits();
  card_.chipWrite(r::kDdaTiming, timing(5, 0));
  std::atomic<int> woken{0};
  std::atomic<std::uint32_t> bridgeSeen{0};
  std::thread waiter([&] {
    for (;;) {
      InterruptRecord w = waitOnce();
      if (w.stopped != kInterruptReceived) return;
      bridgeSeen = ack_[0].data;
      ++woken;
    }
  });
  card_.chipWrite(r::kDdaControl, kRun | kCycleInt);
  platform::clock().sleepFor(platform::Nanos{819200 * 10});
  // The first cycle's interrupt ran the acknowledge commands, which wrote
  // back the value read at enable, bit 6 cleared; nothing else reached the waiter although every
  // cycle raised the condition.
  EXPECT_EQ(awaitCount(woken, 1), 1);
  EXPECT_EQ(card_.bridgeRead() & 0x40, 0x00);
  EXPECT_EQ(vcard_->cycles(), 10u);
  setBridgeBits();  // the condition is still pending: the line asserts at once
  platform::clock().sleepFor(platform::Nanos{819200});
  EXPECT_EQ(awaitCount(woken, 2), 2);
  card_.chipWrite(r::kDdaControl, 0);
  request(card_.handle, kInterruptDisable, irq_);
  waiter.join();
}

TEST_P(InterruptTest, AnInputEdgeTakenInByARegisterReadAssertsTheLine) {
  enable();
  setBridgeBits();
  card_.chipWrite(r::kLdiIntType, 2u);  // input 0: falling edge
  vcard_->withChip([](vcard::Chip& chip) {
    chip.plant().axis(0).upperLimit = 100;
    chip.plant().setPosition(0, 150);  // the limit sensor goes active: input 0 falls
  });
  EXPECT_FALSE(vcard_->interruptLineAsserted());  // nothing has taken the change in yet
  card_.chipRead(r::kDdaFifoFlags);               // the pulse engine's registers do not
  EXPECT_FALSE(vcard_->interruptLineAsserted());
  card_.chipRead(r::kLdiLow);
  EXPECT_TRUE(vcard_->interruptLineAsserted());
}

TEST_P(InterruptTest, DisableAndInterruptionEndABlockedWait) {
  enable();
  std::atomic<std::uint32_t> stop{99};
  std::thread waiter([&] { stop = waitOnce().stopped; });
  bench_->interruptWait(*vcard_);
  waiter.join();
  EXPECT_EQ(stop.load(), static_cast<std::uint32_t>(kInterruptInterrupted));

  std::thread second([&] { stop = waitOnce().stopped; });
  while (!vcard_->interruptArmed())
    std::this_thread::yield();
  EXPECT_EQ(request(card_.handle, kInterruptDisable, irq_), kStatusOk);
  second.join();
  EXPECT_EQ(stop.load(), static_cast<std::uint32_t>(kInterruptStopped));
  // A wait after the disable returns at once.
  EXPECT_EQ(waitOnce().stopped, static_cast<std::uint32_t>(kInterruptStopped));
}

TEST_P(InterruptTest, EnableRefusesASecondArmingAndAnInjectedFault) {
  enable();
  InterruptRecord again = irq_;
  EXPECT_EQ(request(card_.handle, kInterruptEnable, again), kStatusBusy);
  request(card_.handle, kInterruptDisable, irq_);
  vcard::Faults f;
  f.interruptEnableFails = true;
  ASSERT_TRUE(bench_->setFaults(f));
  EXPECT_EQ(request(card_.handle, kInterruptEnable, again), kStatusFailed);
}

TEST_P(InterruptTest, DelayedInterruptsLetTheCyclesBetweenRunUnheld) {
  enable();
  startService();
  setBridgeBits();
  card_.chipWrite(r::kDdaTiming, timing(5, 0));
  vcard_->delayCycleInterrupt(5, 3);
  card_.chipWrite(r::kDdaControl, kRun | kCycleInt);
  platform::clock().sleepFor(platform::Nanos{819200 * 20});
  card_.chipWrite(r::kDdaControl, 0);
  stopService();
  EXPECT_EQ(vcard_->cycles(), 20u);
  // Cycles 5, 6 and 7 raised no interrupt of their own; cycle 8 delivered
  // the pending condition. Every other cycle was served in its own cycle.
  std::vector<std::uint64_t> expected;
  for (std::uint64_t c = 1; c <= 20; ++c)
    if (c < 5 || c > 7) expected.push_back(c);
  EXPECT_EQ(cyclesAtService_, expected);
}

TEST_P(InterruptTest, TheSameRunTwiceLogsTheSameWrites) {
  std::vector<vcard::RegisterWrite> logs[2];
  for (auto& log : logs) {
    // Each run starts from a freshly installed card.
    test::closeCard(card_);
    vcard_.reset();
    bench_->clear();
    bench_->install(vcard::ChipModel::Qora210);
    card_ = test::openCard(0x0210);
    vcard_ = bench_->card(0);
    vcard_->recordWrites(true);
    cyclesAtService_.clear();
    enable();
    startService();
    setBridgeBits();
    card_.chipWrite(r::kDdaTiming, timing(5, 0));
    card_.chipWrite(r::kDdaControl, kRun | kCycleInt);
    platform::clock().sleepFor(platform::Nanos{819200 * 50});
    card_.chipWrite(r::kDdaControl, 0);
    stopService();
    vcard_->recordWrites(false);
    log = vcard_->writes();
    platform::clock().sleepFor(platform::Nanos{819200 * 2});
  }
  EXPECT_GT(logs[0].size(), 100u);
  EXPECT_EQ(logs[0], logs[1]);
}

INSTANTIATE_TEST_SUITE_P(Backends, InterruptTest,
                         ::testing::Values(testing::BenchKind::Virtual, testing::BenchKind::Sysfs),
                         [](const auto& info) { return testing::benchName(info.param); });

}  // namespace
}  // namespace pcisvc
