// Interrupt service on the virtual card in virtual time, for both chip models,
// on the virtual bus and through the Linux backend on a fake machine: the
// routines given at initialisation run on the card's interrupt thread with the
// condition flags the chip raised, one wake-up serves every source pending
// until the source register reads 0, and close ends the service.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/pcisvc/testing/card_bench.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"

namespace {

using vcard::ChipModel;
constexpr std::chrono::nanoseconds kCycle{819200};

// One routine call as the test sees it.
struct Call {
  int module;  // QORA_SRC_*
  std::thread::id thread;
  std::vector<std::uint8_t> flags;
  std::uint64_t wakeUp;  // interrupts the card had delivered at the call
};

std::mutex callsLock;
std::vector<Call> calls;
std::shared_ptr<vcard::VirtualCard> benchCard;
// Called once from the first DDA routine call, on the interrupt thread.
void (*firstDdaHook)() = nullptr;

void note(int module, const std::uint8_t* flags, int count) {
  Call c{module, std::this_thread::get_id(), std::vector<std::uint8_t>(flags, flags + count),
         benchCard->interruptsDelivered()};
  void (*hook)() = nullptr;
  {
    std::lock_guard guard(callsLock);
    if (module == QORA_SRC_DDA && firstDdaHook != nullptr) std::swap(hook, firstDdaHook);
    calls.push_back(std::move(c));
  }
  if (hook != nullptr) hook();
}
void onDda(std::uint8_t* f) {
  note(QORA_SRC_DDA, f, QORA_DDA_FLAGS);
}
void onEnc345(std::uint8_t* f) {
  note(QORA_SRC_ENC345, f, QORA_ENC_FLAGS);
}
void onLio(std::uint8_t* f) {
  note(QORA_SRC_LIO, f, QORA_LIO_FLAGS);
}
void onOther(std::uint8_t* f) {
  note(-1, f, 1);
}

std::vector<Call> takeCalls() {
  std::lock_guard guard(callsLock);
  return std::exchange(calls, {});
}
std::vector<Call> callsOf(const std::vector<Call>& all, int module) {
  std::vector<Call> out;
  for (const Call& c : all)
    if (c.module == module) out.push_back(c);
  return out;
}

using pcisvc::testing::BenchKind;

class InterruptTest : public ::testing::TestWithParam<std::tuple<BenchKind, ChipModel>> {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    previous_ = platform::msgbox::setHandler([](const std::string&, const std::string&) {});
    bench_ = pcisvc::testing::makeBench(std::get<0>(GetParam()));
    bench_->clear();
    benchCard = bench_->install(std::get<1>(GetParam()));
    takeCalls();
    firstDdaHook = nullptr;
    ASSERT_EQ(init(onDda, onOther, onEnc345, onOther, onOther, onOther, onOther, onLio, onOther),
              1);
    ASSERT_EQ(QORA_DDA_SetTime(1.0f, 5, 0), 1);
  }
  void TearDown() override {
    QORA_Close(0);
    benchCard.reset();
    bench_->clear();
    bench_.reset();
    platform::msgbox::setHandler(previous_);
    platform::useRealTime();
  }
  // Card 0 initialised as the model installed.
  static int init(QORA_ISR dda, QORA_ISR enc012, QORA_ISR enc345, QORA_ISR enc678, QORA_ISR rio0,
                  QORA_ISR rio1, QORA_ISR adc, QORA_ISR lio, QORA_ISR pcl) {
    return std::get<1>(GetParam()) == ChipModel::Qora310
               ? QORA310_Init(dda, enc012, enc345, enc678, rio0, rio1, adc, lio, pcl, 0)
               : QORA210_Init(dda, enc012, enc345, enc678, rio0, rio1, adc, lio, pcl, 0);
  }
  static void start() {
    ASSERT_EQ(QORA_DDA_EnableCycleInt(0), 1);
    ASSERT_EQ(QORA_DDA_StartEngine(0), 1);
  }
  static void runCycles(int n) { platform::clock().sleepFor(kCycle * n); }

  std::unique_ptr<pcisvc::testing::CardBench> bench_;
  platform::msgbox::Handler previous_;
};

TEST_P(InterruptTest, DdaRoutineRunsOnTheInterruptThreadWithTheRaisedConditions) {
  // Axis 2's stock falls below the minimum of 1 in the first cycle.
  ASSERT_EQ(QORA_DDA_SetMinStockNo(1, 0), 1);
  ASSERT_EQ(QORA_DDA_EnableStockInt(2, 0), 1);
  ASSERT_EQ(QORA_DDA_SendPulse(2, 3, 0), 1);
  start();
  runCycles(3);
  const std::vector<Call> all = takeCalls();
  ASSERT_EQ(all.size(), 3u) << "one DDA call per cycle, no other routine";
  const std::vector<std::uint8_t> stockAndCycle{0, 0, 1, 0, 0, 0, 1};
  const std::vector<std::uint8_t> cycleOnly{0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(all[0].flags, stockAndCycle);
  EXPECT_EQ(all[1].flags, cycleOnly);
  EXPECT_EQ(all[2].flags, cycleOnly);
  for (const Call& c : all) {
    EXPECT_EQ(c.module, QORA_SRC_DDA);
    EXPECT_NE(c.thread, std::this_thread::get_id());
    EXPECT_EQ(c.thread, all[0].thread) << "one interrupt thread per card";
  }
  EXPECT_EQ(all[0].wakeUp + 2, all[2].wakeUp);
  // Served: nothing left pending in the chip.
  EXPECT_EQ(benchCard->withChip([](vcard::Chip& c) { return c.pendingSources(); }), 0);
}

TEST_P(InterruptTest, ConditionsArisingDuringServiceAreServedInTheSameWakeUp) {
  // LDI input 2 interrupts on its rising edge; the DDA routine raises it while
  // the service is running, after the source register was read.
  benchCard->withChip([](vcard::Chip& c) { c.plant().setLdiInputs(1u << 2, 0); });
  ASSERT_EQ(QORA_LIO_SetLDIIntType(2, 0, 0), 1);
  ASSERT_EQ(QORA_LIO_EnableLDIInt(2, 0), 1);
  firstDdaHook = [] {
    benchCard->withChip([](vcard::Chip& c) { c.plant().setLdiInputs(1u << 2, 1u << 2); });
  };
  start();
  runCycles(2);
  const std::vector<Call> all = takeCalls();
  const std::vector<Call> lio = callsOf(all, QORA_SRC_LIO);
  ASSERT_EQ(callsOf(all, QORA_SRC_DDA).size(), 2u);
  ASSERT_EQ(lio.size(), 1u);
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all[0].module, QORA_SRC_DDA);
  EXPECT_EQ(all[1].module, QORA_SRC_LIO) << "served before the next cycle";
  EXPECT_EQ(lio[0].wakeUp, all[0].wakeUp) << "the loop read the source again in that wake-up";
  EXPECT_EQ(lio[0].thread, all[0].thread);
  std::vector<std::uint8_t> expected(QORA_LIO_FLAGS, 0);
  expected[2] = 1;
  EXPECT_EQ(lio[0].flags, expected);
}

TEST_P(InterruptTest, ConditionsOfSeveralModulesInOneCycleReachTheirRoutines) {
  // Channel 4 (ENC345, position 1) passes its compare value, and LDI input 5
  // falls, both taken in at the first cycle.
  ASSERT_EQ(QORA_ENC_StartInput(0), 1);
  ASSERT_EQ(QORA_ENC_SetCompValue(4, 2, 0), 1);
  ASSERT_EQ(QORA_ENC_EnableCompInt(4, 0), 1);
  benchCard->withChip([](vcard::Chip& c) { c.plant().setLdiInputs(1u << 5, 1u << 5); });
  ASSERT_EQ(QORA_LIO_SetLDIIntType(5, 1, 0), 1);
  ASSERT_EQ(QORA_LIO_EnableLDIInt(5, 0), 1);
  benchCard->withChip([](vcard::Chip& c) {
    c.plant().moveBy(4, 400);
    c.plant().setLdiInputs(1u << 5, 0);
  });
  start();
  runCycles(2);
  const std::vector<Call> all = takeCalls();
  const std::vector<Call> enc = callsOf(all, QORA_SRC_ENC345);
  const std::vector<Call> lio = callsOf(all, QORA_SRC_LIO);
  ASSERT_EQ(enc.size(), 1u);
  ASSERT_EQ(lio.size(), 1u);
  EXPECT_TRUE(callsOf(all, -1).empty()) << "no other module raised anything";
  EXPECT_EQ(enc[0].flags, (std::vector<std::uint8_t>{0, 1, 0, 0, 0, 0}));
  std::vector<std::uint8_t> fell(QORA_LIO_FLAGS, 0);
  fell[5] = 1;
  EXPECT_EQ(lio[0].flags, fell);
  EXPECT_EQ(enc[0].wakeUp, all[0].wakeUp);
  EXPECT_EQ(lio[0].wakeUp, all[0].wakeUp);
}

TEST_P(InterruptTest, CloseEndsTheServiceAndASecondCloseIsRefused) {
  start();
  runCycles(5);
  const std::vector<Call> before = takeCalls();
  ASSERT_EQ(before.size(), 5u);
  ASSERT_EQ(QORA_Close(0), 1);
  EXPECT_FALSE(benchCard->interruptArmed());
  runCycles(5);
  EXPECT_TRUE(takeCalls().empty());
  EXPECT_EQ(QORA_Close(0), 0);
  // Reopened, the card gets a new interrupt thread.
  ASSERT_EQ(init(onDda, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
  ASSERT_EQ(QORA_DDA_SetTime(1.0f, 5, 0), 1);
  start();
  runCycles(2);
  const std::vector<Call> after = takeCalls();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_NE(after[0].thread, std::this_thread::get_id());
}

INSTANTIATE_TEST_SUITE_P(BackendsAndModels, InterruptTest,
                         ::testing::Combine(::testing::Values(BenchKind::Virtual, BenchKind::Sysfs),
                                            ::testing::Values(ChipModel::Qora210,
                                                              ChipModel::Qora310)),
                         [](const auto& info) {
                           return pcisvc::testing::benchName(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == ChipModel::Qora310 ? "310" : "210");
                         });

}  // namespace
