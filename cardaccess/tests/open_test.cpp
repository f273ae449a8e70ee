// Opening, initialising and closing cards through the driver service, on the
// virtual bus and through the Linux backend on a fake machine: the open
// sequence's messages for each injected fault, the scan order of two cards of
// a model, the chip set-up of initialisation, and the interrupt thread serving
// one DDA routine call per cycle.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/pcisvc/testing/card_bench.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"

namespace {

using vcard::ChipModel;

std::atomic<int> ddaCalls{0};
std::atomic<int> stockReads{0};
void countDda(std::uint8_t*) {
  ++ddaCalls;
}
// A routine that calls back into the library from the interrupt thread.
void readStockFromRoutine(std::uint8_t*) {
  std::uint16_t count = 99;
  if (QORA_DDA_GetStockCount(0, &count, 0) == 1) ++stockReads;
}

int init210(std::uint16_t card, QORA_ISR dda = nullptr) {
  return QORA210_Init(dda, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      card);
}
int init310(std::uint16_t card) {
  return QORA310_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, card);
}

class OpenTest : public ::testing::TestWithParam<pcisvc::testing::BenchKind> {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    bench_ = pcisvc::testing::makeBench(GetParam());
    bench_->clear();
    previous_ =
        platform::msgbox::setHandler([this](const std::string& text, const std::string& caption) {
          messages_.push_back(text);
          EXPECT_EQ(caption, "Error");
        });
    ddaCalls = 0;
    stockReads = 0;
  }
  void TearDown() override {
    for (std::uint16_t c = 0; c < QORA_MAX_CARDS; ++c)
      QORA_Close(c);
    platform::msgbox::setHandler(previous_);
    bench_->clear();
    bench_.reset();
    platform::useRealTime();
  }
  // False when the backend has no such fault.
  bool inject(void (*change)(vcard::Faults&)) {
    vcard::Faults f;
    change(f);
    return bench_->setFaults(f);
  }
  static bool isOpen(std::uint16_t card) { return QORA_ResetModule(QORA_MODULE_CHIP, card) == 1; }

  std::unique_ptr<pcisvc::testing::CardBench> bench_;
  std::vector<std::string> messages_;
  platform::msgbox::Handler previous_;
};

TEST_P(OpenTest, EachFailureShowsItsMessagesAndLeavesTheSlotEmpty) {
  struct Case {
    const char* name;
    void (*fault)(vcard::Faults&);
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases{
      {"no card",
       [](vcard::Faults& f) { f.scanFindsNothing = true; },
       {"No cards found !\n", "Cannot find QX-7T card !\n"}},
      {"no service",
       [](vcard::Faults& f) { f.serviceUnavailable = true; },
       {"Cannot open this QX-7T card !\n"}},
      {"old service", [](vcard::Faults& f) { f.version = 601; }, {"Incorrect driver version !\n"}},
      {"in use",
       [](vcard::Faults& f) { f.cardInUse = true; },
       {"Could not lock this QX-7T card, already in use !\n"}},
  };
  bench_->install(ChipModel::Qora210);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    if (!inject(c.fault)) continue;  // the Linux backend's version is its own
    EXPECT_EQ(init210(0), 0);
    EXPECT_EQ(messages_, c.messages);
    EXPECT_FALSE(isOpen(0));
    EXPECT_FALSE(bench_->registered(*bench_->card(0)));
  }
  // A model that is not installed.
  bench_->setFaults({});
  messages_.clear();
  EXPECT_EQ(init310(0), 0);
  EXPECT_EQ(messages_,
            (std::vector<std::string>{"No cards found !\n", "Cannot find QX-7T card !\n"}));
}

TEST_P(OpenTest, CardsOfAModelOpenInScanOrder) {
  bench_->install(ChipModel::Qora310);
  bench_->install(ChipModel::Qora210);
  bench_->install(ChipModel::Qora210);
  ASSERT_EQ(init210(0), 1);
  EXPECT_TRUE(bench_->registered(*bench_->card(ChipModel::Qora210, 0)));
  EXPECT_FALSE(bench_->registered(*bench_->card(ChipModel::Qora210, 1)));
  ASSERT_EQ(init210(1), 1);
  EXPECT_TRUE(bench_->registered(*bench_->card(ChipModel::Qora210, 1)));
  EXPECT_EQ(init210(2), 0);
  EXPECT_EQ(messages_, std::vector<std::string>{"Card out of range of available cards !\n"});
  // The 310 card is the first of its model: index 0 of that model, here opened as card 2.
  messages_.clear();
  EXPECT_EQ(init310(2), 0) << "index 2 of the second model does not exist";
  EXPECT_EQ(messages_, std::vector<std::string>{"Card out of range of available cards !\n"});
  EXPECT_EQ(init210(0), 0) << "already open";
  EXPECT_EQ(init210(QORA_MAX_CARDS), 0);
}

TEST_P(OpenTest, InitialisationSetsUpTheChipAndCloseResetsAndReleasesIt) {
  auto card = bench_->install(ChipModel::Qora210);
  card->recordWrites(true);
  ASSERT_EQ(init210(0), 1);
  std::vector<vcard::RegisterWrite> chipWrites;
  for (const auto& w : card->writes())
    if (w.space == 2) chipWrites.push_back(w);
  const std::vector<vcard::RegisterWrite> expected{
      {2, 0x00, 0x0200, 16}, {2, 0x00, 0, 16}, {2, 0x04, 0x0200, 16}, {2, 0x06, 3, 16}};
  EXPECT_EQ(chipWrites, expected);
  EXPECT_TRUE(card->interruptArmed());
  std::uint32_t bridge = 0;
  ASSERT_TRUE(card->read(1, 0x4C, 8, bridge));
  EXPECT_EQ(bridge & 0x41, 0x41u) << "both interrupt enables set";

  card->clearWrites();
  EXPECT_EQ(QORA_Close(0), 1);
  const std::vector<vcard::RegisterWrite> reset{{2, 0x00, 0x0200, 16}, {2, 0x00, 0, 16}};
  EXPECT_EQ(card->writes(), reset);
  EXPECT_FALSE(card->interruptArmed());
  EXPECT_FALSE(bench_->registered(*card));
  EXPECT_EQ(QORA_Close(0), 0);
  // A closed index opens again, as either model.
  EXPECT_EQ(init210(0), 1);
}

TEST_P(OpenTest, WithoutInterruptsOrTransfersTheCardStillOpens) {
  bench_->install(ChipModel::Qora210);
  inject([](vcard::Faults& f) { f.interruptEnableFails = true; });
  ASSERT_EQ(init210(0, countDda), 1);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(bench_->card(0)->interruptArmed());
  QORA_Close(0);

  inject([](vcard::Faults& f) { f.transfersFail = true; });
  ASSERT_EQ(init210(0), 1);
  std::uint16_t flag = 7;
  EXPECT_EQ(QORA_DDA_CheckFIFOEmpty(0, &flag, 0), 1);
  EXPECT_EQ(flag, 0) << "a failed read yields 0";
}

TEST_P(OpenTest, TheInterruptThreadCallsTheDdaRoutineOncePerCycle) {
  bench_->install(ChipModel::Qora210);
  ASSERT_EQ(init210(0, countDda), 1);
  ASSERT_EQ(QORA_DDA_SetTime(1.0f, 5, 0), 1);
  ASSERT_EQ(QORA_DDA_EnableCycleInt(0), 1);
  ASSERT_EQ(QORA_DDA_StartEngine(0), 1);
  platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 250));
  EXPECT_EQ(ddaCalls.load(), 250);
  EXPECT_EQ(bench_->card(0)->cycles(), 250u);
  ASSERT_EQ(QORA_Close(0), 1);
  platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 10));
  EXPECT_EQ(ddaCalls.load(), 250) << "no routine after close";
}

TEST_P(OpenTest, RoutinesMayCallTheLibrary) {
  bench_->install(ChipModel::Qora210);
  ASSERT_EQ(init210(0, readStockFromRoutine), 1);
  QORA_DDA_SetTime(1.0f, 5, 0);
  QORA_DDA_EnableCycleInt(0);
  QORA_DDA_StartEngine(0);
  platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 20));
  EXPECT_EQ(stockReads.load(), 20);
}

INSTANTIATE_TEST_SUITE_P(Backends, OpenTest,
                         ::testing::Values(pcisvc::testing::BenchKind::Virtual,
                                           pcisvc::testing::BenchKind::Sysfs),
                         [](const auto& info) { return pcisvc::testing::benchName(info.param); });

// A program that returns from main with a card open and its interrupt thread
// waiting ends normally: the card table's teardown stops and joins the thread.
TEST(ExitWithOpenCard, TheHostEndsNormally) {
  for (const char* mode : {"real", "virtual"}) {
    const std::string command = std::string(EXIT_WITH_OPEN_CARD) + " " + mode;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << mode << ": ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << mode;
  }
}

}  // namespace
