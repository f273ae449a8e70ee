// Lateness of the real-time ticker at a 1 ms period over 5 s, with and
// without SCHED_FIFO: median, p99 and maximum in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock/real_clock.h"

namespace {

void BM_TickerLateness(benchmark::State& state) {
  const bool fifo = state.range(0) != 0;
  constexpr std::int64_t kPeriod = 1'000'000;
  constexpr int kTicks = 5000;
  for (auto _ : state) {
    platform::RealClock clock;
    clock.setRealtimePriority(fifo);
    std::vector<std::int64_t> late;
    late.reserve(kTicks);
    std::atomic<int> count{0};
    const std::int64_t start = platform::monotonicNs();
    const auto id = clock.addPeriodic(std::chrono::nanoseconds(kPeriod), [&] {
      const int k = count.load(std::memory_order_relaxed) + 1;
      if (k <= kTicks) late.push_back(platform::monotonicNs() - (start + k * kPeriod));
      count.store(k, std::memory_order_release);
    });
    while (count.load(std::memory_order_acquire) < kTicks)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool gotFifo = clock.hasRealtimePriority(id);
    clock.removeTimer(id);
    std::sort(late.begin(), late.end());
    auto us = [](std::int64_t ns) { return static_cast<double>(ns) / 1000.0; };
    state.counters["median_us"] = us(late[late.size() / 2]);
    state.counters["p99_us"] = us(late[late.size() * 99 / 100]);
    state.counters["max_us"] = us(late.back());
    state.counters["fifo_granted"] = gotFifo ? 1 : 0;
  }
}
BENCHMARK(BM_TickerLateness)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
