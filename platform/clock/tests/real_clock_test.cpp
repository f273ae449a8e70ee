#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
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

TEST(RealClock, TickerWakesNoEarlierThanItsDeadlinesUntilRemoved) {
  platform::RealClock clock;
  std::atomic<int> ticks{0};
  std::atomic<std::int64_t> fifthWake{0};
  const std::int64_t before = platform::monotonicNs();
  const auto id = clock.addPeriodic(1ms, [&] {
    if (++ticks == 5) fifthWake = platform::monotonicNs();
  });
  const std::int64_t after = platform::monotonicNs();
  const std::int64_t first = clock.firstDeadlineNs(id);
  EXPECT_GE(first, before + 1'000'000);
  EXPECT_LE(first, after + 1'000'000);
  while (ticks.load() < 5)
    std::this_thread::sleep_for(1ms);
  EXPECT_GE(fifthWake.load(), first + 4 * 1'000'000);
  clock.removeTimer(id);
  EXPECT_EQ(clock.firstDeadlineNs(id), 0);
  const int stopped = ticks.load();
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(ticks.load(), stopped);
}

// This process's open files that are /dev/cpu_dma_latency.
int latencyRequests() {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == "/dev/cpu_dma_latency") ++n;
  }
  return n;
}

long lockedKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// What the system refuses is left out (the state says so); what is granted
// is held once for all real-time tickers and given back when the last stops.
TEST(RealClock, RealtimeTickersHoldTheirPreparationUntilTheLastStops) {
  platform::RealClock clock;
  const auto first = clock.addPeriodic(1ms, [] {});
  const auto second = clock.addPeriodic(1ms, [] {});
  const platform::RealtimeState state = clock.realtimeState(first);
  EXPECT_EQ(state.fifo, state.priority > 0);
  EXPECT_LE(state.priority, platform::RealClock::kDefaultPriority);
  EXPECT_EQ(latencyRequests(), state.dmaLatencyHeld ? 1 : 0);
  if (state.memoryLocked) {
    EXPECT_GT(lockedKiB(), 0);
  }
  clock.removeTimer(first);
  EXPECT_EQ(latencyRequests(), state.dmaLatencyHeld ? 1 : 0);
  clock.removeTimer(second);
  EXPECT_EQ(latencyRequests(), 0);
  EXPECT_EQ(lockedKiB(), 0);

  clock.setRealtimePriority(false);
  const auto plain = clock.addPeriodic(1ms, [] {});
  const platform::RealtimeState none = clock.realtimeState(plain);
  EXPECT_FALSE(none.fifo || none.memoryLocked || none.dmaLatencyHeld);
  EXPECT_EQ(latencyRequests(), 0);
  clock.removeTimer(plain);
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
