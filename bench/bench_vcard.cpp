// DDA cycles per second of the virtual chip: six axes moving, encoders
// following, nobody serving interrupts.
#include <benchmark/benchmark.h>

#include "platform/chip/regs.h"
#include "platform/vcard/chip.h"

namespace r = chip::reg;

static void BM_RunCycleSixAxes(benchmark::State& state) {
  vcard::Chip chip(vcard::ChipModel::Qora310);
  for (unsigned a = 0; a < 6; ++a) {
    chip.write(r::encConfig(a), r::kEncCfgRate.set(0, 3));
    chip.plant().axis(a).upperLimit = 1'000'000'000;
    chip.plant().axis(a).homePosition = 500;
  }
  chip.write(r::kEncControl, 1u << r::kEncStartBit);
  chip.write(r::kDdaTiming, r::kDdaTimingBitLength.set(0, 5));
  chip.write(r::kDdaPulseCounterEnable, 0x3F);
  chip.write(r::kDdaControl, static_cast<std::uint16_t>(0x3F | (1u << r::kDdaCtlRunBit) |
                                                        (1u << r::kDdaCtlCycleIntBit)));
  for (auto _ : state) {
    // Keep every FIFO topped up as the motion library would, one command per
    // axis per cycle.
    for (unsigned a = 0; a < 6; ++a) {
      chip.write(r::ddaFifo(a), static_cast<std::uint16_t>(100 + a));
    }
    chip.runCycle();
  }
  benchmark::DoNotOptimize(chip.plant().position(5));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunCycleSixAxes);

static void BM_RunCycleOnly(benchmark::State& state) {
  vcard::Chip chip(vcard::ChipModel::Qora310);
  chip.write(r::kEncControl, 1u << r::kEncStartBit);
  chip.write(r::kDdaTiming, r::kDdaTimingBitLength.set(0, 5));
  chip.write(r::kDdaControl, static_cast<std::uint16_t>(0x3F | (1u << r::kDdaCtlRunBit)));
  for (auto _ : state) {
    chip.runCycle();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunCycleOnly);
