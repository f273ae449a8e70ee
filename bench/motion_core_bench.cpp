// Cost of the motion library's cycle with all 72 groups configured, per
// interpolation period: the simulated cycle, the card cycle on one virtual
// card and on twelve, in virtual time. Each run also reports the resident
// memory right after initialisation (rss_after_init_MiB).
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"

namespace {

constexpr auto kCycle = std::chrono::nanoseconds(819200);  // 1 ms, bit-length code 5

double residentMiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return -1;
}

// Groups g = 0..71, one axis each: on `cards` cards, group g uses card
// g % cards and axis (g / cards) % 6 in slot X.
bool configureAndInit(int cards) {
  for (int g = 0; g < 72; ++g) {
    const auto card = static_cast<uint16_t>(g % cards);
    const auto axis = static_cast<int16_t>((g / cards) % 6);
    if (VNL_SetGroupContent(static_cast<uint16_t>(g), card, axis, -1, -1, -1, -1, -1) != 0)
      return false;
  }
  std::vector<CardConfig> cfg(static_cast<std::size_t>(cards), CardConfig{2, 0, 0, 0});
  return VNL_InitSystem(1, cfg.data(), static_cast<uint16_t>(cards)) == 0;
}

void BM_SimulatedCycle(benchmark::State& state) {
  VNL_EnableSimulation();
  if (!configureAndInit(1)) {
    state.SkipWithError("initialisation failed");
    return;
  }
  state.counters["rss_after_init_MiB"] = residentMiB();
  for (auto _ : state)
    VNL_SimulationRoutine();
  VNL_CloseSystem();
}
BENCHMARK(BM_SimulatedCycle);

void BM_CardCycle(benchmark::State& state) {
  const int cards = static_cast<int>(state.range(0));
  platform::useVirtualTime();
  VNL_DisableSimulation();
  vcard::bus().clear();
  for (int c = 0; c < cards; ++c)
    vcard::bus().install(vcard::ChipModel::Qora210);
  if (!configureAndInit(cards)) {
    state.SkipWithError("initialisation failed");
  } else {
    state.counters["rss_after_init_MiB"] = residentMiB();
    for (auto _ : state)
      platform::clock().sleepFor(kCycle);
  }
  VNL_CloseSystem();
  vcard::bus().clear();
  platform::useRealTime();
}
BENCHMARK(BM_CardCycle)->Arg(1)->Arg(12)->Unit(benchmark::kMicrosecond);

}  // namespace
