// The motion library's simulated cycle through its exported functions:
//   - 72 groups cruising lines at once: cost of one interpolation period (a
//     simulated cycle is two periods: two passes of step-every-group then
//     dispatch);
//   - one group in virtual time: machine seconds simulated per wall second,
//     queueing and waiting included.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "platform/clock/clock.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

namespace {

// Group g on card g / 6 with all six axes of that card (six groups share a
// card's axes; the output layer sums their counts) or group 0 alone.
void configureGroups(int groups) {
  static int32_t cfg[72 + 72 * 7];
  for (int g = 0; g < 72; ++g) {
    cfg[g] = g < groups ? 0 : -1;
    cfg[72 + g * 7] = g / 6;
    for (int s = 0; s < 6; ++s)
      cfg[72 + g * 7 + 1 + s] = s;
  }
  VNL_SetGroupConfig(cfg);
}

bool start(int groups, int cards) {
  platform::useVirtualTime();
  VNL_EnableSimulation();
  VNL_SetSysMaxSpeed(1000);
  configureGroups(groups);
  CardConfig c[12];
  for (auto& k : c)
    k = CardConfig{2, 576, 0, 0};
  return VNL_InitSystem(1, c, static_cast<uint16_t>(cards)) == 0;
}

void BM_SimulatedPeriod72Groups(benchmark::State& state) {
  if (!start(72, 12)) {
    state.SkipWithError("init failed");
    return;
  }
  for (uint16_t g = 0; g < 72; ++g) {
    VNL_SetFeedSpeed(10, g);
    // A thousand seconds of cruise: no group finishes during the bench.
    VNL_Line(1e4, 5e3, -2e3, 1e3 + g, -1e3, 300, g);
  }
  for (int i = 0; i < 100; ++i)
    VNL_SimulationRoutine();  // every group past its acceleration
  for (auto _ : state)
    VNL_SimulationRoutine();
  for (uint16_t g = 0; g < 72; ++g) {
    if (VNL_GetMotionStatus(g) != 0) state.SkipWithError("a group stopped during the bench");
  }
  state.counters["period"] = benchmark::Counter(
      double(state.iterations()) * 2, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  VNL_CloseSystem();
}
BENCHMARK(BM_SimulatedPeriod72Groups)->Unit(benchmark::kMicrosecond);

void countPeriod(void* user) {
  ++*static_cast<int64_t*>(user);
}

void BM_VirtualTimeOneGroup(benchmark::State& state) {
  if (!start(1, 1)) {
    state.SkipWithError("init failed");
    return;
  }
  int64_t periods = 0;
  vnl_set_period_observer(&countPeriod, &periods);
  VNL_SetFeedSpeed(10, 0);
  VNL_SetIncrease(0);
  for (auto _ : state) {
    // One unit at 10 units/s: 100 periods of cruise between 20-period ramps,
    // queued and waited for as an application does.
    VNL_LineX(1, 0);
    while (VNL_GetMotionStatus(0) != 1)
      VNL_TimeDelay(1);
  }
  vnl_set_period_observer(nullptr, nullptr);
  state.counters["machine_s_per_s"] =
      benchmark::Counter(double(periods) * 1e-3, benchmark::Counter::kIsRate);
  state.counters["periods_per_line"] =
      benchmark::Counter(double(periods) / double(state.iterations()));
  VNL_CloseSystem();
}
BENCHMARK(BM_VirtualTimeOneGroup)->Unit(benchmark::kMicrosecond);

}  // namespace
