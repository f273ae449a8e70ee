// Lateness of the real-time ticker at a 1 ms period, with and without its
// real-time preparation (SCHED_FIFO, locked memory, cpu_dma_latency held):
// median, p99 and maximum in microseconds, and what the ticker was granted.
// `--seconds=N` sets the length of each run (5 s unless given), so that
// scripts/latency can compare it with cyclictest over the same time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/clock/real_clock.h"

namespace {

int gSeconds = 5;

void BM_TickerLateness(benchmark::State& state) {
  const bool realtime = state.range(0) != 0;
  constexpr std::int64_t kPeriod = 1'000'000;
  const int ticks = gSeconds * 1000;
  for (auto _ : state) {
    platform::RealClock clock;
    clock.setRealtimePriority(realtime);
    std::vector<std::int64_t> wakes;
    wakes.reserve(static_cast<std::size_t>(ticks));
    std::atomic<int> count{0};
    const auto id = clock.addPeriodic(std::chrono::nanoseconds(kPeriod), [&] {
      const int k = count.load(std::memory_order_relaxed);
      if (k < ticks) wakes.push_back(platform::monotonicNs());
      count.store(k + 1, std::memory_order_release);
    });
    while (count.load(std::memory_order_acquire) < ticks)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const platform::RealtimeState granted = clock.realtimeState(id);
    const std::int64_t first = clock.firstDeadlineNs(id);
    clock.removeTimer(id);
    // Against the ticker's own deadlines, as cyclictest measures its own.
    std::vector<std::int64_t> late(wakes.size());
    for (std::size_t k = 0; k < wakes.size(); ++k)
      late[k] = wakes[k] - (first + static_cast<std::int64_t>(k) * kPeriod);
    std::sort(late.begin(), late.end());
    auto us = [](std::int64_t ns) { return static_cast<double>(ns) / 1000.0; };
    state.counters["median_us"] = us(late[late.size() / 2]);
    state.counters["p99_us"] = us(late[late.size() * 99 / 100]);
    state.counters["max_us"] = us(late.back());
    state.counters["fifo_granted"] = granted.fifo ? 1 : 0;
    state.counters["memory_locked"] = granted.memoryLocked ? 1 : 0;
    state.counters["dma_latency_held"] = granted.dmaLatencyHeld ? 1 : 0;
    if (realtime) state.SetLabel(platform::describe(granted));
  }
}
BENCHMARK(BM_TickerLateness)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Takes --seconds=N out of the arguments before the benchmark library sees them.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--seconds=", 10) == 0)
      gSeconds = std::max(1, std::atoi(argv[i] + 10));
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
