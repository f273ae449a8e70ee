#include "planner/command_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vnl::planner {
namespace {

MotionCommand commandWithIndex(uint32_t index) {
  MotionCommand c{};
  c.code = code::kLine;
  c.index = index;
  c.coordMode = kCoordAbsolute;
  c.target[0] = index;
  return c;
}

class CommandQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { queue.attach(storage.get()); }
  std::unique_ptr<MotionCommand[]> storage = CommandQueue::reserveStorage(1);
  CommandQueue queue;
};

TEST_F(CommandQueueTest, EmptyRingTakesNothingAndPeeksZero) {
  MotionCommand out{};
  EXPECT_FALSE(queue.take(out));
  EXPECT_EQ(queue.peekCode(), 0u);
  EXPECT_EQ(queue.count(), 0u);
}

TEST_F(CommandQueueTest, HoldsAtMost29999AndFullPutChangesNothing) {
  for (uint32_t i = 0; i < kQueueSlots - 1; ++i)
    ASSERT_TRUE(queue.put(commandWithIndex(i))) << i;
  EXPECT_EQ(queue.count(), 29999u);
  const uint32_t writeBefore = queue.writeIndex();
  EXPECT_FALSE(queue.put(commandWithIndex(99999)));
  EXPECT_EQ(queue.count(), 29999u);
  EXPECT_EQ(queue.writeIndex(), writeBefore);
  // The oldest command is still the first one.
  MotionCommand out{};
  ASSERT_TRUE(queue.take(out));
  EXPECT_EQ(out.index, 0u);
  EXPECT_EQ(queue.count(), 29998u);
  EXPECT_TRUE(queue.put(commandWithIndex(30000)));
}

TEST_F(CommandQueueTest, IndicesWrapAfterTheLastSlotInOrder) {
  // Walk the ring around more than once with a few commands in flight.
  uint32_t nextPut = 0;
  uint32_t nextTake = 0;
  for (int round = 0; round < 3 * static_cast<int>(kQueueSlots); ++round) {
    ASSERT_TRUE(queue.put(commandWithIndex(nextPut++)));
    if (queue.count() > 5) {
      MotionCommand out{};
      ASSERT_TRUE(queue.take(out));
      ASSERT_EQ(out.index, nextTake++);
    }
  }
  EXPECT_LT(queue.writeIndex(), kQueueSlots);
  EXPECT_EQ(queue.count(), nextPut - nextTake);
  EXPECT_EQ(queue.peekCode(), code::kLine);
}

TEST_F(CommandQueueTest, ClearDropsEverythingAndKeepsLaterPuts) {
  for (uint32_t i = 0; i < 100; ++i)
    ASSERT_TRUE(queue.put(commandWithIndex(i)));
  queue.clear();
  EXPECT_EQ(queue.count(), 0u);
  EXPECT_EQ(queue.peekCode(), 0u);
  ASSERT_TRUE(queue.put(commandWithIndex(7)));
  MotionCommand out{};
  ASSERT_TRUE(queue.take(out));
  EXPECT_EQ(out.index, 7u);
  EXPECT_FALSE(queue.take(out));
}

TEST(CommandIndexTest, FirstIndexIsZeroAndNumberingRestartsAfter29999) {
  int32_t lastUsed = -1;
  MotionCommand c = commandWithIndex(nextCommandIndex(lastUsed));
  normaliseIndex(c, lastUsed);
  EXPECT_EQ(c.index, 0u);

  lastUsed = 29999;
  c = commandWithIndex(nextCommandIndex(lastUsed));
  EXPECT_EQ(c.index, 30000u);
  normaliseIndex(c, lastUsed);
  EXPECT_EQ(c.index, 0u);
  EXPECT_EQ(lastUsed, -1);
  EXPECT_EQ(nextCommandIndex(lastUsed), 0u);
  // Delay commands arrive with indices above 30000 and restart numbering too.
  c.index = 30001;
  lastUsed = 5;
  normaliseIndex(c, lastUsed);
  EXPECT_EQ(c.index, 0u);
}

TEST(CurrentCommandInfoTest, KindFollowsCodeAndArcDirection) {
  MotionCommand c{};
  c.code = code::kArc;
  c.direction = 1;
  c.index = 0x12345;
  c.speed = 2.5;
  c.target[5] = -3;
  CurrentCommandInfo info = makeCurrentCommandInfo(c, kind::kNone);
  EXPECT_EQ(info.kind, kind::kArcCcw);
  EXPECT_EQ(info.index, 0x2345);
  EXPECT_EQ(info.speed, 2.5);
  EXPECT_EQ(info.target[5], -3);
  c.direction = 0;
  EXPECT_EQ(makeCurrentCommandInfo(c, kind::kNone).kind, kind::kArcCw);
  c.code = code::kJog;
  EXPECT_EQ(makeCurrentCommandInfo(c, kind::kLine).kind, kind::kPointToPoint);
  c.code = code::kDelay;
  EXPECT_EQ(makeCurrentCommandInfo(c, kind::kLine).kind, kind::kLine);
}

// Caller thread putting, cycle thread taking, with clears in between: every
// command taken is in order, none is taken twice, and none that a clear
// removed before the consumer saw it is handed out after the clear.
TEST_F(CommandQueueTest, ProducerAndConsumerThreadsKeepOrder) {
  constexpr uint32_t kTotal = 200000;
  std::atomic<bool> done{false};
  std::vector<uint32_t> taken;
  taken.reserve(kTotal);
  std::thread consumer([&] {
    MotionCommand out{};
    for (;;) {
      if (queue.take(out)) {
        taken.push_back(out.index);
      } else if (done.load(std::memory_order_acquire)) {
        if (!queue.take(out)) break;
        taken.push_back(out.index);
      }
    }
  });
  uint32_t i = 0;
  while (i < kTotal) {
    if (queue.put(commandWithIndex(i))) {
      ++i;
      if (i % 50000 == 0 && i < kTotal) queue.clear();
    }
  }
  done.store(true, std::memory_order_release);
  consumer.join();
  ASSERT_FALSE(taken.empty());
  for (size_t k = 1; k < taken.size(); ++k)
    ASSERT_LT(taken[k - 1], taken[k]);
  EXPECT_EQ(taken.back(), kTotal - 1);
}

}  // namespace
}  // namespace vnl::planner
