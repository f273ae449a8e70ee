#include "planner/cycle_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "step_harness.h"
#include "sweep.h"

namespace vnl::planner {
namespace {

using testing::FakeEnv;

class CycleStepTest : public ::testing::Test, protected testing::GroupHarness {
 protected:
  // A line whose unnamed targets are 0 (not the last ones).
  void queueLine(std::initializer_list<double> target, double feed) {
    MotionCommand c{};
    c.code = code::kLine;
    c.speed = feed;
    c.index = nextIndex++;
    c.coordMode = kCoordAbsolute;
    int i = 0;
    for (double t : target)
      c.target[i++] = t;
    ASSERT_TRUE(queue.put(c));
    if (shared.drained.load() == kRaised || shared.state.load() == 1)
      shared.startFlag.store(kRaised);
  }
};

TEST_F(CycleStepTest, QueuedLineRunsToItsTargetAndTheGroupGoesIdle) {
  queueLine({1, -2, 0.5}, 5);
  cycle();
  EXPECT_EQ(shared.startFlag.load(), 0);  // the queueing call's wait ends here
  EXPECT_EQ(shared.state.load(), static_cast<uint8_t>(GroupMotionState::Running));
  EXPECT_EQ(shared.ready.load(), 0);
  EXPECT_EQ(shared.drained.load(), 0);
  const CurrentCommandInfo info = shared.readInfo();
  EXPECT_EQ(info.kind, kind::kLine);
  EXPECT_EQ(info.target[1], -2);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 1000);
  EXPECT_EQ(env.out[1], -2000);
  EXPECT_EQ(env.out[2], 500);
  EXPECT_EQ(shared.ready.load(), kRaised);
  EXPECT_EQ(shared.error.load(), 0);
}

TEST_F(CycleStepTest, FractionalEndPointsAreCompletedByTheCorrection) {
  queueLine({0.0123456, -0.0123456}, 1);
  queueLine({0.0246912, -0.0246912}, 1);
  runUntilIdle();
  // Each axis ends on the whole pulse short of its target, negative too.
  EXPECT_EQ(env.out[0], 24);
  EXPECT_EQ(env.out[1], -24);
  EXPECT_NEAR(g.ctx.remainder[0], 0.6912, 1e-6);
  EXPECT_NEAR(g.ctx.remainder[1], -0.6912, 1e-6);
  EXPECT_EQ(env.issued()[0], 24);
}

TEST_F(CycleStepTest, SoftwareLimitStopsOutputInTheCrossingStep) {
  params.axis[0].limitEnabled = true;
  params.axis[0].upperLimit = 500;
  resetGroup(g, params, shared);
  queueLine({1}, 2);
  queueLine({0}, 2);
  for (int i = 0; i < 5000 && shared.error.load() == 0; ++i)
    cycle();
  ASSERT_EQ(shared.error.load(), 0x80);
  while (!env.queue.empty())
    env.output();
  EXPECT_LT(env.out[0], 500);
  EXPECT_GT(env.out[0], 450);
  // The queue waits until the error is acknowledged.
  const size_t sentBefore = env.sent.size();
  for (int i = 0; i < 50; ++i)
    cycle();
  EXPECT_EQ(env.sent.size(), sentBefore);
  EXPECT_EQ(queue.count(), 1u);
  shared.errorAck.store(kRaised);
  runUntilIdle();
  EXPECT_EQ(shared.error.load(), 0);
  EXPECT_EQ(env.out[0], 0);
}

TEST_F(CycleStepTest, FullPulseQueueReoffersTheSameCountsWithoutANewStep) {
  queueLine({1}, 5);
  for (int i = 0; i < 30; ++i)
    cycle();
  // The output layer stalls: after three more blocks the put fails.
  for (int i = 0; i < 3; ++i)
    cycleStep(g, shared, queue, env);
  const double pos = g.ctx.pos[0];
  cycleStep(g, shared, queue, env);
  ASSERT_TRUE(g.putFailed);
  const int32_t kept = g.ctx.pulses[0];
  const double posAfter = g.ctx.pos[0];
  for (int i = 0; i < 5; ++i)
    cycleStep(g, shared, queue, env);
  EXPECT_EQ(g.ctx.pos[0], posAfter);
  EXPECT_EQ(g.ctx.pulses[0], kept);
  EXPECT_NE(pos, posAfter);
  env.output();
  cycleStep(g, shared, queue, env);
  EXPECT_FALSE(g.putFailed);
  EXPECT_EQ(env.queue.back()[0], kept);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 1000);
}

TEST_F(CycleStepTest, DelayHoldsStillForItsPeriods) {
  queueLine({0.1}, 5);
  MotionCommand d{};
  d.code = code::kDelay;
  d.speed = 100;
  ASSERT_TRUE(queue.put(d));
  queueLine({0.2}, 5);
  runUntilIdle();
  // Each line lasts 40 periods (no cruise); the delay adds 100 periods of
  // all-zero blocks between them.
  EXPECT_EQ(env.sent.size(), 40u + 100u + 40u);
  for (size_t i = 40; i < 140; ++i)
    ASSERT_EQ(env.sent[i][0], 0) << i;
  EXPECT_EQ(env.out[0], 200);
}

TEST_F(CycleStepTest, ParameterHandshakeAndOverSpeedWhileRunning) {
  shared.accSteps.store(21);
  shared.paramCode.store(param::kAccSteps);
  shared.paramRequest.store(kRaised);
  cycle();
  EXPECT_EQ(shared.paramRequest.load(), 0);
  EXPECT_EQ(shared.paramAck.load(), kRaised);
  EXPECT_EQ(g.ctx.settings.shape.accTime, 22);

  queueLine({10}, 4);
  for (int i = 0; i < 500; ++i)
    cycle();
  EXPECT_NEAR(shared.pathSpeed.load(), 4.0, 0.01);
  shared.overSpeed.store(50);
  shared.paramCode.store(param::kOverSpeed);
  shared.paramRequest.store(kRaised);
  for (int i = 0; i < 200; ++i)
    cycle();
  EXPECT_NEAR(shared.pathSpeed.load(), 2.0, 0.01);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 10000);
}

TEST_F(CycleStepTest, RequestsInTheWrongStateSetErrorSixteen) {
  shared.continueRequest.store(kRaised);
  cycle();
  EXPECT_EQ(shared.error.load(), error::kRequestIgnored);
  EXPECT_EQ(shared.continueRequest.load(), 0);
  // It does not stop the queue.
  queueLine({0.05}, 5);
  runUntilIdle();
  EXPECT_EQ(env.out[0], 50);
}

TEST_F(CycleStepTest, ResetRequestReturnsTheGroupToIdleFromRunning) {
  queueLine({5}, 5);
  for (int i = 0; i < 100; ++i)
    cycle();
  shared.resetRequest.store(kRaised);
  cycle();
  EXPECT_EQ(shared.state.load(), 1);
  EXPECT_EQ(shared.ready.load(), kRaised);
  EXPECT_EQ(shared.drained.load(), kRaised);
  while (!env.queue.empty())
    env.output();
  const int32_t where = env.out[0];
  // Standing again, the planner takes the output positions as its own.
  for (int i = 0; i < 3; ++i)
    cycle();
  EXPECT_EQ(g.ctx.cmdPulse[0], where);
  EXPECT_DOUBLE_EQ(g.ctx.pos[0], where / 1000.0);
}

}  // namespace
}  // namespace vnl::planner

namespace vnl::planner {
namespace {

// The cycle publishes CurrentCommandInfo while a caller copies it out: every
// copy is one fetch's record, never a mix of two.
TEST(CurrentCommandInfoPublishTest, ReaderGetsWholeRecords) {
  GroupShared shared;
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int32_t n = 0; !stop.load(std::memory_order_relaxed); ++n) {
      CurrentCommandInfo info{kind::kLine, n, static_cast<double>(n), {}};
      for (double& t : info.target)
        t = n;
      shared.publishInfo(info);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    const CurrentCommandInfo info = shared.readInfo();
    for (double t : info.target)
      ASSERT_EQ(t, static_cast<double>(info.index));
    ASSERT_EQ(info.speed, static_cast<double>(info.index));
  }
  stop.store(true);
  writer.join();
}

}  // namespace
}  // namespace vnl::planner

namespace vnl::planner {
namespace {

// Chains of random lines through the whole cycle step while the output layer
// stalls at random (the PulseQueue fills and puts are retried): every pulse
// planned reaches the output exactly once, and each chain ends on its last
// target in whole pulses.
TEST_F(CycleStepTest, RandomChainsWithOutputStallsEndOnTarget) {
  std::mt19937_64 rng(test::sweepSeed(42));
  std::uniform_real_distribution<double> unit(0, 1);
  const auto chains = test::sweepCount(40);
  for (uint64_t chain = 0; chain < chains; ++chain) {
    SCOPED_TRACE(chain);
    double last[kAxes] = {};
    for (int i = 0; i < kAxes; ++i)
      last[i] = env.out[i] / 1000.0;
    const int lines = 1 + static_cast<int>(rng() % 4);
    for (int l = 0; l < lines; ++l) {
      MotionCommand c{};
      c.code = code::kLine;
      c.speed = 0.5 + 5 * unit(rng);
      c.coordMode = kCoordAbsolute;
      for (int i = 0; i < kAxes; ++i)
        c.target[i] = last[i] = last[i] + (unit(rng) - 0.5) * 0.4;
      ASSERT_TRUE(queue.put(c));
    }
    shared.startFlag.store(kRaised);
    for (int n = 0; n < 200000; ++n) {
      cycleStep(g, shared, queue, env);
      if (rng() % 4 != 0) env.output();  // a quarter of the passes output nothing
      if (shared.state.load() == 1 && shared.drained.load() == kRaised && env.queue.empty()) break;
    }
    ASSERT_EQ(shared.state.load(), 1);
    const auto total = env.issued();
    for (int i = 0; i < kAxes; ++i) {
      ASSERT_EQ(total[size_t(i)], env.out[i]);
      // The last target is reached to within the pulse that truncation keeps
      // short of it.
      ASSERT_LT(std::fabs(last[i] * 1000.0 - env.out[i]), 1.0 + 1e-9) << "axis " << i;
      ASSERT_EQ(g.ctx.cmdPulse[i], env.out[i]);
    }
  }
}

// On the card a period lasts the DDA cycle, not the grid's whole ms: 0.8192
// ms at 1 ms, 4.9152 ms at 5 ms. Lines, point-to-point moves and jogs then
// cover their speed in units per second of card cycles, publish it so, and
// last their ramps of 20 cycles plus their distance at that speed.
TEST(CardCycleTest, EveryKindOfMoveHoldsItsSpeedInCardCycles) {
  for (const auto& [grid, cycle] : {std::pair{1, 0.8192}, std::pair{5, 4.9152}}) {
    for (const uint32_t kind : {code::kLine, code::kPtP, code::kJog}) {
      testing::GroupHarness h;
      h.params.periodMs = grid;
      h.params.cycleMs = cycle;
      h.reset();
      // Along X, at feed 4 or at 50 % of the 10 units/s maximum, for 400 to
      // 600 cycles.
      const double distance = 2.0 * grid;
      const double speed = kind == code::kLine ? 4.0 : 5.0;
      h.put(h.command(kind, kind == code::kLine ? 4.0 : 50.0, {distance}));
      int cycles = 0;
      double published = 0;
      int32_t before = 0;
      double perCycle = 0;
      do {
        h.cycle();
        ++cycles;
        if (cycles == 150) {  // in the cruise
          published = h.shared.axisSpeed[0].load();
          before = h.env.out[0];
        }
        if (cycles == 250) perCycle = (h.env.out[0] - before) / 100.0;
      } while (!h.idleAndDrained() && cycles < 100000);
      const std::string what = std::to_string(grid) + " ms, code " + std::to_string(kind);
      EXPECT_EQ(h.env.out[0], std::lround(distance * 1000)) << what;
      EXPECT_NEAR(published / speed, 1.0, 0.005) << what;
      EXPECT_NEAR(perCycle / (speed * cycle), 1.0, 0.01) << what << ": pulses per cycle";
      // Ramps and distance, plus the cycles that start and finish the move.
      const double expected = distance / speed * 1000.0 / cycle + 20;
      EXPECT_NEAR(cycles, expected, 4) << what;
    }
  }
}

}  // namespace
}  // namespace vnl::planner
