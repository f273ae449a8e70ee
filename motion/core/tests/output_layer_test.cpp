// The output layer against a fake card, one dispatch at a time: where the
// groups' pulse blocks go, what the limit check holds back and stops, what
// the mode machine's steps do to the cards, and how a request is served.
#include <gtest/gtest.h>

#include <memory>

#include "motion/core/library.h"
#include "motion/core/tests/fake_card.h"

namespace {

using vnl::kRaised;
using vnl::test::FakeCard;
using Sent = FakeCard::Sent;
using Axis = FakeCard::Axis;

class OutputLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    L->cardPath = &card;
    L->cardCount = 2;
    L->cardServed[0] = true;
    L->cardServed[1] = true;
    L->takeAxisSettings();
    L->resetOutput();
    L->setGroup(0, 0, {0, 1, 2});
    L->setGroup(1, 1, {4});
    for (auto& on : L->pulseEnable)
      on = 1;
  }

  void push(int group, std::initializer_list<int32_t> counts) {
    int32_t block[vnl::kSlots]{};
    std::copy(counts.begin(), counts.end(), block);
    ASSERT_TRUE(L->pulseQueues[group].push(block));
  }
  void raise(int cmd) { L->modeCmd[cmd] = kRaised; }

  std::unique_ptr<vnl::Library> L = std::make_unique<vnl::Library>();
  FakeCard card;
};

TEST_F(OutputLayer, EachAxisGetsItsCountAndThePulsePositionFollows) {
  L->mode = vnl::kRunning;
  push(0, {100, -50, 0});
  push(1, {7});
  card.encoderValue[{1, 4}] = 42;
  L->dispatch();
  EXPECT_EQ(card.sent, (std::vector<Sent>{{0, 0, 100}, {0, 1, -50}, {0, 2, 0}, {1, 4, 7}}));
  EXPECT_EQ(L->pulsePos[0], 100);
  EXPECT_EQ(L->pulsePos[1], -50);
  EXPECT_EQ(L->pulsePos[1 * vnl::kAxesPerCard + 4], 7);
  EXPECT_EQ(L->encoder[1 * vnl::kAxesPerCard + 4], 42) << "the dispatch reads the encoders";
  EXPECT_EQ(L->outputIdle, 0);
  EXPECT_EQ(L->latch, 0);

  // A period with nothing to output sends nothing and reports the output done.
  card.sent.clear();
  L->dispatch();
  EXPECT_TRUE(card.sent.empty());
  EXPECT_EQ(L->outputIdle, kRaised);
  EXPECT_EQ(L->modeCmd[vnl::kOutputDone], kRaised);
}

TEST_F(OutputLayer, ACountBeyondOneCommandIsCutAndLatched) {
  L->mode = vnl::kRunning;
  L->maxAcc[0] = 100000;  // only the maximum pulse count trips
  push(0, {40000});
  L->dispatch();
  ASSERT_EQ(card.sent.front(), (Sent{0, 0, vnl::cards::kMaxCommandPulses}));
  EXPECT_EQ(L->pulsePos[0], vnl::cards::kMaxCommandPulses) << "what was not sent is not counted";
  EXPECT_EQ(L->latch, static_cast<uint8_t>(vnl::Latch::PulseOverMaximum));
  EXPECT_EQ(L->outErrorFlag, kRaised);

  L->maxPulse[0] = 100000;
  L->maxAcc[0] = 3000;
  L->latch = 0;
  push(0, {-10000});  // a change of 50000 counts from the last block
  L->dispatch();
  EXPECT_EQ(L->latch, static_cast<uint8_t>(vnl::Latch::ChangeOverMaximum));
}

TEST_F(OutputLayer, ATrippedLimitHoldsBackCountsTowardsIt) {
  L->mode = vnl::kRunning;
  L->limitMode = 1;
  L->limitState[0] = 2;  // upper limit
  push(0, {10});
  L->dispatch();
  push(0, {-10});
  L->dispatch();
  EXPECT_EQ(card.sent, (std::vector<Sent>{{0, 1, 0}, {0, 2, 0}, {0, 0, -10}, {0, 1, 0}, {0, 2, 0}}))
      << "only the count away from the limit reaches axis 0";
  EXPECT_EQ(L->pulsePos[0], 0) << "held-back counts are still commanded";

  card.sent.clear();
  L->limitMode = 2;  // stop at either limit: nothing moves
  push(0, {-10});
  L->dispatch();
  EXPECT_EQ(card.sent, (std::vector<Sent>{{0, 1, 0}, {0, 2, 0}}));
}

TEST_F(OutputLayer, TheLimitStopStopsOnlyAnAxisRunningIntoItsLimit) {
  L->setGroup(2, 0, {0});  // a second group on axis 0 does not hide its direction
  L->limitMode = 1;
  for (int a : {0, 1}) {
    L->levelUp[a] = 0;  // the upper limit reads 0 when reached
    card.inputs[{vnl::cards::Sensor::OverTravelUp, 0, a}] = 0;
  }
  L->sampleCards();
  EXPECT_EQ(L->limitState[0], 2);
  EXPECT_EQ(L->tripped[0], 1);
  EXPECT_TRUE(card.stopped.empty()) << "an axis standing at its limit is not stopped";

  card.outputCounter[{0, 0}] = 5;   // axis 0 runs up, into the limit
  card.outputCounter[{0, 1}] = -5;  // axis 1 leaves it
  L->sampleCards();
  EXPECT_EQ(card.stopped, (std::vector<Axis>{{0, 0}}));

  card.stopped.clear();
  L->reversed[0] = 1;  // reversed, counting up moves it towards the lower end
  card.outputCounter[{0, 0}] = 10;
  L->sampleCards();
  EXPECT_TRUE(card.stopped.empty());
}

TEST_F(OutputLayer, AStopWhileIdleFlushesTheGroupsAndRestartsEveryCounter) {
  L->pulsePos[0] = 123;
  card.queued[{0, 0}] = 3;
  raise(vnl::kStop);
  L->dispatch();
  EXPECT_EQ(card.flushed, (std::vector<Axis>{{0, 0}, {0, 1}, {0, 2}, {1, 4}}));
  EXPECT_EQ(card.restarted.size(), 2u * vnl::kAxesPerCard);
  EXPECT_EQ(L->pulsePos[0], 0);
  EXPECT_EQ(L->mode, vnl::kIdle);
  EXPECT_TRUE(card.clearedEncoders.empty());
}

TEST_F(OutputLayer, HomingDoneClearsEveryEncoderCounter) {
  L->mode = vnl::kHoming;
  raise(vnl::kHomingDone);
  L->dispatch();
  EXPECT_EQ(card.clearedEncoders.size(), 2u * vnl::kAxesPerCard);
  EXPECT_EQ(L->mode, vnl::kIdle);
  EXPECT_TRUE(card.flushed.empty());
}

TEST_F(OutputLayer, ACommandTheModeCannotTakeLatchesAndLeavesTheCardsAlone) {
  raise(vnl::kHomingDone);  // while idle
  L->dispatch();
  EXPECT_EQ(L->latch, static_cast<uint8_t>(vnl::Latch::BadModeCommand));
  EXPECT_EQ(L->mode, vnl::kIdle);
  EXPECT_TRUE(card.clearedEncoders.empty());
  EXPECT_TRUE(card.restarted.empty());
}

TEST_F(OutputLayer, ARequestIsServedByTheNextDispatch) {
  auto post = [&](uint8_t code, uint16_t value, uint32_t data) {
    L->reqCode = code;
    L->reqValue = value;
    L->reqData = data;
    L->reqPending = kRaised;
    L->dispatch();
    EXPECT_EQ(L->reqPending, 0);
    EXPECT_EQ(L->reqDone, kRaised);
  };
  card.peripheralReading = 1234;
  post(static_cast<uint8_t>(vnl::Peripheral::LatchValue), 7, 0);
  ASSERT_EQ(card.peripherals.size(), 1u);
  EXPECT_EQ(card.peripherals[0].value, 7);
  EXPECT_EQ(L->reqData, 1234u) << "a read leaves its value in the data field";
  EXPECT_EQ(L->latch, 0);

  post(99, 0, 0);
  EXPECT_EQ(L->latch, static_cast<uint8_t>(vnl::Latch::UnknownRequest))
      << "an unknown code completes but is latched";

  L->latch = 0;
  post(static_cast<uint8_t>(vnl::Request::OutputOff), 1, 0);
  EXPECT_EQ(card.flushed, (std::vector<Axis>{{1, 4}}));
  EXPECT_EQ(L->pulseEnable[1 * vnl::kAxesPerCard + 4], 0);
  EXPECT_EQ(L->pulseEnable[0], 1) << "other groups keep their output";
}

}  // namespace
