// Card access through the driver service stand-in and the virtual card:
// the cost of a pulse send and of an encoder read, and the regularity of the
// DDA routine's entries in real time.
//
// The virtual card offers no card-side hook at the instant of the cycle, so
// the cycle-to-routine latency cannot be taken directly. The third benchmark
// measures what can be measured honestly: the spacing of successive routine
// entries (steady_clock) against the programmed cycle, reported as the median
// and 99th percentile of |interval - cycle|.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"

namespace {

// Opens card 0 on a fresh bus for the lifetime of the object.
struct OpenCard {
  explicit OpenCard(QORA_ISR dda = nullptr) {
    platform::useRealTime();
    platform::msgbox::setHandler([](const std::string&, const std::string&) {});
    vcard::bus().clear();
    card = vcard::bus().install(vcard::ChipModel::Qora210);
    ok = QORA210_Init(dda, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      0) == 1;
  }
  ~OpenCard() {
    QORA_Close(0);
    vcard::bus().clear();
  }
  std::shared_ptr<vcard::VirtualCard> card;
  bool ok = false;
};

void BM_SendPulse(benchmark::State& state) {
  OpenCard open;
  if (!open.ok) {
    state.SkipWithError("card did not open");
    return;
  }
  std::uint32_t n = 0;
  for (auto _ : state) {
    // Each erase keeps the FIFO from filling; it is one extra write per 100 sends.
    if (++n % 100 == 0) QORA_DDA_EraseFIFOCmd(0, 127, 0);
    benchmark::DoNotOptimize(QORA_DDA_SendPulse(0, n & 0x7FFF, 0));
  }
}
BENCHMARK(BM_SendPulse);

void BM_EncGetValue(benchmark::State& state) {
  OpenCard open;
  if (!open.ok) {
    state.SkipWithError("card did not open");
    return;
  }
  QORA_ENC_StartInput(0);
  std::int32_t value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(QORA_ENC_GetValue(3, &value, 0));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_EncGetValue);

constexpr std::size_t kEntries = 2000;
std::vector<std::chrono::steady_clock::time_point> entries(kEntries);
std::vector<double> latenciesUs(kEntries);
std::atomic<std::size_t> entryCount{0};
std::shared_ptr<vcard::VirtualCard> timedCard;
void stampEntry(std::uint8_t*) {
  const auto now = std::chrono::steady_clock::now();
  const std::size_t i = entryCount.load(std::memory_order_relaxed);
  if (i < kEntries) {
    entries[i] = now;
    // From the card's cycle to this routine's entry.
    const std::int64_t cycleNs = timedCard ? timedCard->lastCycleSteadyNs() : 0;
    latenciesUs[i] =
        static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count() -
            cycleNs) /
        1000.0;
    entryCount.store(i + 1, std::memory_order_release);
  }
}

// DDA cycle of 0.8192 ms in real time; kEntries routine entries per run.
void BM_CycleEntryJitter(benchmark::State& state) {
  std::vector<double> deviationsUs;
  std::vector<double> latency;
  double meanIntervalUs = 0;
  double cardCycles = 0;
  for (auto _ : state) {
    entryCount = 0;
    OpenCard open(stampEntry);
    if (!open.ok) {
      state.SkipWithError("card did not open");
      return;
    }
    timedCard = open.card;
    QORA_DDA_SetTime(1.0f, 5, 0);
    QORA_DDA_EnableCycleInt(0);
    QORA_DDA_StartEngine(0);
    while (entryCount.load(std::memory_order_acquire) < kEntries)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QORA_DDA_StopEngine(0);
    for (std::size_t i = 2; i < kEntries; ++i)
      latency.push_back(latenciesUs[i]);
    timedCard.reset();
    cardCycles += static_cast<double>(open.card->cycles());
    float cycleMs = 0;
    QORA_DDA_GetTime(&cycleMs, 0);
    const double cycleUs = cycleMs * 1000.0;
    // Skip the first entry: it follows the start, not a cycle.
    for (std::size_t i = 2; i < kEntries; ++i) {
      const double us =
          std::chrono::duration<double, std::micro>(entries[i] - entries[i - 1]).count();
      meanIntervalUs += us;
      deviationsUs.push_back(std::abs(us - cycleUs));
    }
  }
  if (deviationsUs.empty()) return;
  meanIntervalUs /= static_cast<double>(deviationsUs.size());
  std::sort(deviationsUs.begin(), deviationsUs.end());
  auto at = [&](double q) {
    return deviationsUs[static_cast<std::size_t>(q * static_cast<double>(deviationsUs.size() - 1))];
  };
  state.counters["interval_mean_us"] = meanIntervalUs;
  state.counters["jitter_median_us"] = at(0.5);
  state.counters["jitter_p99_us"] = at(0.99);
  state.counters["jitter_max_us"] = deviationsUs.back();
  std::sort(latency.begin(), latency.end());
  state.counters["latency_median_us"] = latency[latency.size() / 2];
  state.counters["latency_p99_us"] = latency[latency.size() * 99 / 100];
  // Above 1 when cycles ran without a routine entry of their own (an
  // interrupt raised while the previous one was still being served).
  state.counters["card_cycles_per_entry"] = cardCycles / static_cast<double>(kEntries);
}
BENCHMARK(BM_CycleEntryJitter)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
