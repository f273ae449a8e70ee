// Planner costs side by side: a closed-form floor (segment polynomial and
// rounding to pulses for six axes), a cruising group step (line step plus
// pulse computation), a blend step, and planning a line profile.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "planner/arc_step.h"
#include "planner/blend_step.h"
#include "planner/cycle_step.h"
#include "planner/line.h"

#include "planner_sink_env.h"

namespace {

using namespace vnl::planner;

GroupContext cruisingContext() {
  GroupContext ctx;
  ctx.params.periodMs = 1;
  ctx.params.sysMaxSpeed = 1000;
  for (auto& a : ctx.params.axis) {
    a.pulsesPerUnit = 1000;
    a.maxSpeed = 100;
  }
  ctx.cmd.code = code::kLine;
  ctx.cmd.speed = 10.0;  // units/s: the line lasts about 1.2e8 periods, within one segment
  const double target[kAxes] = {1e6, 5e5, -2e5, 1e5, -1e5, 3e4};
  for (int i = 0; i < kAxes; ++i)
    ctx.cmd.target[i] = target[i];
  ctx.startFromRest = true;
  ctx.readyForNext = false;
  for (int i = 0; i < 100; ++i)
    lineStep(ctx);  // into the cruise
  return ctx;
}

void BM_ClosedFormFloor(benchmark::State& state) {
  const double k[kAxes] = {0.8, 0.4, -0.16, 0.08, -0.08, 0.024};
  double start[kAxes] = {};
  double prev[kAxes] = {};
  double rem[kAxes] = {};
  int32_t out[kAxes];
  double t = 0;
  for (auto _ : state) {
    t += 1;
    if (t > 1e6) t = 1;
    const double s = accelDistance(ProfileType::SCurve, 1.0, 1e6, 2e6, t);
    for (int i = 0; i < kAxes; ++i) {
      const double p = (start[i] + s * k[i]) * 1000.0;
      const double x = p - prev[i] + rem[i];
      const auto n = static_cast<int32_t>(x);
      rem[i] = x - n;
      prev[i] = p;
      out[i] = n;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ClosedFormFloor);

void BM_CruisingGroupStep(benchmark::State& state) {
  GroupContext ctx = cruisingContext();
  for (auto _ : state) {
    if (lineStep(ctx) != StepOutcome::Moved) state.SkipWithError("line finished");
    toPulses(ctx.params, ctx.pos, ctx.pulsePos);
    computePulses(ctx.pulsePos, ctx.prevPulsePos, ctx.remainder, ctx.cmdPulse, ctx.pulses);
    for (int i = 0; i < kAxes; ++i)
      ctx.prevPulsePos[i] = ctx.pulsePos[i];
    benchmark::DoNotOptimize(ctx.pulses);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CruisingGroupStep);

// One period of a helix in its cruise, pulses included: a full turn of a
// large circle in X-Y with U, V, W moving in the angle.
void BM_CruisingArcStep(benchmark::State& state) {
  GroupContext ctx;
  ctx.params.periodMs = 1;
  ctx.params.sysMaxSpeed = 1000;
  for (auto& a : ctx.params.axis) {
    a.pulsesPerUnit = 1000;
    a.maxSpeed = 100;
  }
  ctx.cmd.code = code::kArc;
  ctx.cmd.speed = 10.0;  // a turn lasts about 6e7 periods
  ctx.cmd.centre[0] = 1e5;
  ctx.cmd.direction = 1;
  ctx.cmd.plane = plane::kXY;
  ctx.cmd.target[3] = 1e4;
  ctx.cmd.target[4] = -2e4;
  ctx.cmd.target[5] = 5e3;
  ctx.startFromRest = true;
  ctx.readyForNext = false;
  for (int i = 0; i < 100; ++i)
    arcStep(ctx);  // into the cruise
  for (auto _ : state) {
    if (arcStep(ctx) != ArcOutcome::Moved) state.SkipWithError("arc finished");
    toPulses(ctx.params, ctx.pos, ctx.pulsePos);
    computePulses(ctx.pulsePos, ctx.prevPulsePos, ctx.remainder, ctx.cmdPulse, ctx.pulses);
    for (int i = 0; i < kAxes; ++i)
      ctx.prevPulsePos[i] = ctx.pulsePos[i];
    benchmark::DoNotOptimize(ctx.pulses);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CruisingArcStep);

using SinkEnv = vnl::planner::bench::SinkEnv;

// The whole per-group cycle step (handshake check, fetch, publishing, line
// step, limits, pulses, put) of a group cruising along a long line.
void BM_CruisingCycleStep(benchmark::State& state) {
  auto storage = CommandQueue::reserveStorage(1);
  CommandQueue queue(storage.get());
  auto shared = std::make_unique<GroupShared>();
  auto g = std::make_unique<GroupRecord>();
  GroupParams params;
  params.periodMs = 1;
  params.sysMaxSpeed = 1000;
  for (auto& a : params.axis) {
    a.pulsesPerUnit = 1000;
    a.maxSpeed = 100;
    a.limitEnabled = true;
  }
  resetGroup(*g, params, *shared);
  SinkEnv env;
  MotionCommand c{};
  c.code = code::kLine;
  c.speed = 10.0;
  const double target[kAxes] = {1e6, 5e5, -2e5, 1e5, -1e5, 3e4};
  for (int i = 0; i < kAxes; ++i)
    c.target[i] = target[i];
  queue.put(c);
  shared->startFlag.store(kRaised);
  for (int i = 0; i < 100; ++i)
    cycleStep(*g, *shared, queue, env);
  for (auto _ : state) {
    cycleStep(*g, *shared, queue, env);
    benchmark::ClobberMemory();
  }
  if (g->ctx.profile.state != SegmentState::Cruise) state.SkipWithError("not cruising");
}
BENCHMARK(BM_CruisingCycleStep);

// One period of a blend, pulses included: the corner polynomial from one line
// into the next (argument 0), or the Bezier curve from a line into an arc
// (argument 1). The blend is wound back to its start whenever it ends, so
// every iteration is a blend step.
void BM_BlendStep(benchmark::State& state) {
  GroupContext ctx = cruisingContext();
  ctx.blending = true;
  ctx.cmd.target[0] = ctx.pos[0] + 100;  // a short rest to the corner
  for (int i = 1; i < kAxes; ++i)
    ctx.cmd.target[i] = ctx.pos[i];
  ctx.profile.state = SegmentState::Plan;
  ctx.startFromRest = true;
  while (!(ctx.profile.state == SegmentState::Cruise && ctx.profile.phase == PathPhase::CruiseDone))
    lineStep(ctx);
  MotionCommand next{};
  next.speed = 1.0;
  for (int i = 0; i < kAxes; ++i)
    next.target[i] = ctx.cmd.target[i];
  if (state.range(0) == 0) {
    next.code = code::kLine;
    next.target[1] += 50;
    next.target[4] += 5;
  } else {
    next.code = code::kArc;
    next.plane = plane::kXY;
    next.direction = 1;
    next.centre[0] = next.target[0];
    next.centre[1] = next.target[1] + 30;
    next.centre[2] = next.target[2];
    next.target[0] += 30;
    next.target[1] += 30;
    next.target[4] += 5;
  }
  if (!beginBlend(ctx, next, PathKind::Line,
                  next.code == code::kArc ? PathKind::Arc : PathKind::Line)) {
    state.SkipWithError("no blend");
    return;
  }
  for (auto _ : state) {
    if (ctx.profile.phase == PathPhase::LookAheadDone) {
      ctx.blend.elapsed = 0;
      ctx.profile.phase = PathPhase::LookAhead;
    }
    if (lineStep(ctx) != StepOutcome::Moved) state.SkipWithError("blend finished");
    toPulses(ctx.params, ctx.pos, ctx.pulsePos);
    computePulses(ctx.pulsePos, ctx.prevPulsePos, ctx.remainder, ctx.cmdPulse, ctx.pulses);
    for (int i = 0; i < kAxes; ++i)
      ctx.prevPulsePos[i] = ctx.pulsePos[i];
    benchmark::DoNotOptimize(ctx.pulses);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BlendStep)->Arg(0)->Arg(1);

void BM_PlanLineProfile(benchmark::State& state) {
  GroupContext ctx = cruisingContext();
  double x = 10;
  for (auto _ : state) {
    x = x > 1000 ? 10 : x + 0.37;
    ctx.cmd.target[0] = x;
    ctx.cmd.target[3] = -x * 0.5;
    ctx.profile.Vs = 0;
    ctx.profile.entry = EntryMode::Accelerate;
    ctx.profile.phase = PathPhase::AccStart;
    benchmark::DoNotOptimize(planLine(ctx));
    benchmark::DoNotOptimize(ctx.profile);
  }
}
BENCHMARK(BM_PlanLineProfile);

}  // namespace
