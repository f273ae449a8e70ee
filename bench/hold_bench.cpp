// Cost of one cycle step while a group holds and continues, and while it runs
// a distance jog. Counters report nanoseconds per cycle step.
#include <benchmark/benchmark.h>

#include <memory>

#include "planner/cycle_step.h"

#include "planner_sink_env.h"

namespace {

using namespace vnl::planner;

using SinkEnv = vnl::planner::bench::SinkEnv;

struct Group {
  Group() {
    queue.attach(storage.get());
    params.periodMs = 1;
    params.sysMaxSpeed = 1000;
    for (auto& a : params.axis) {
      a.pulsesPerUnit = 1000;
      a.maxSpeed = 100;
    }
    resetGroup(g, params, shared);
  }
  // A move long enough never to end during the benchmark.
  void start(uint32_t c, double speed) {
    MotionCommand m{};
    m.code = c;
    m.speed = speed;
    m.coordMode = kCoordAbsolute;
    m.target[0] = 1e6;
    m.target[1] = 5e5;
    m.target[2] = -2e5;
    queue.put(m);
    shared.startFlag.store(kRaised);
  }
  void step() { cycleStep(g, shared, queue, env); }

  std::unique_ptr<MotionCommand[]> storage = CommandQueue::reserveStorage(1);
  CommandQueue queue;
  GroupParams params;
  GroupShared shared;
  GroupRecord g;
  SinkEnv env;
};

// Hold from the cruise (a 20-period deceleration), continue (a 20-period
// acceleration), cruise 20 periods; repeated.
void BM_HoldAndContinue(benchmark::State& state) {
  Group grp;
  grp.start(code::kLine, 50);
  for (int i = 0; i < 100; ++i)
    grp.step();
  int64_t steps = 0;
  for (auto _ : state) {
    grp.shared.holdRequest.store(kRaised);
    while (grp.shared.state.load() != static_cast<uint8_t>(GroupMotionState::Held)) {
      grp.step();
      ++steps;
    }
    grp.shared.continueRequest.store(kRaised);
    for (int i = 0; i < 41; ++i)
      grp.step();
    steps += 41;
  }
  state.counters["ns_per_step"] = benchmark::Counter(
      static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HoldAndContinue);

void BM_JogStep(benchmark::State& state) {
  Group grp;
  grp.start(code::kJog, 50);
  for (int i = 0; i < 100; ++i)
    grp.step();
  for (auto _ : state)
    grp.step();
  state.counters["ns_per_step"] =
      benchmark::Counter(static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_JogStep);

}  // namespace
