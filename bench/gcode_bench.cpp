// Reading G-code: a 100,000-line program of the kind a CAM post writes
// (feeds, arcs by I J and by R, comments, line numbers), read whole.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "gcode.h"

namespace {

std::string program(int lines) {
  std::string text = "G21 G17 G90 G94 (header)\nG0 X0 Y0 Z5\nG1 Z-1 F300\n";
  char buf[128];
  double x = 0;
  for (int i = 3; i < lines; ++i) {
    if (i % 4 == 0 && x > 100) x = 0;  // back along the line it came
    switch (i % 4) {
      case 0:
        std::snprintf(buf, sizeof buf, "N%d G1 X%.3f Y%.3f F%d\n", i, x, 10.0, 600 + i % 7);
        break;
      case 1:
        std::snprintf(buf, sizeof buf, "N%d G2 X%.3f Y%.3f I0.25 J0 (round)\n", i, x + 0.5, 10.0);
        x += 0.5;
        break;
      case 2:
        std::snprintf(buf, sizeof buf, "N%d G3 X%.3f Y%.3f R0.25\n", i, x + 0.5, 10.0);
        x += 0.5;
        break;
      default:
        std::snprintf(buf, sizeof buf, "g1x%.3fy%.3f ; packed\n", x, 12.5);
        break;
    }
    text += buf;
  }
  return text;
}

void BM_Read100kLines(benchmark::State& state) {
  const std::string text = program(100'000);
  size_t moves = 0;
  for (auto _ : state) {
    const tv::gcode::Result r = tv::gcode::read(text);
    moves = r.moves.size();
    if (!r.ok()) state.SkipWithError(r.errors.front().text().c_str());
    benchmark::DoNotOptimize(moves);
  }
  state.counters["moves"] = static_cast<double>(moves);
  state.counters["lines/s"] =
      benchmark::Counter(100'000.0, benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Read100kLines)->Unit(benchmark::kMillisecond);

}  // namespace
