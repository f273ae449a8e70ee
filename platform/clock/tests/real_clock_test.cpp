#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/clock/real_clock.h"

using namespace std::chrono_literals;

TEST(RealClock, SleepLastsAtLeastItsDuration) {
  platform::RealClock clock;
  const auto before = clock.now();
  clock.sleepFor(5ms);
  EXPECT_GE(clock.now() - before, 5ms);
}

TEST(RealClock, TickerRunsUntilRemoved) {
  platform::RealClock clock;
  std::atomic<int> ticks{0};
  const auto id = clock.addPeriodic(1ms, [&] { ++ticks; });
  while (ticks.load() < 5)
    std::this_thread::sleep_for(1ms);
  clock.removeTimer(id);
  const int stopped = ticks.load();
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(ticks.load(), stopped);
}

TEST(ProcessClock, ModeIsTheProgramsChoice) {
  platform::useVirtualTime();
  EXPECT_TRUE(platform::clock().isVirtual());
  EXPECT_EQ(platform::clock().now(), 0ns);
  platform::clock().sleepMs(1.5);
  EXPECT_EQ(platform::clock().now(), 1500us);
  platform::useRealTime();
  EXPECT_FALSE(platform::clock().isVirtual());
}
