// Feeds in machine time on the virtual card, in virtual time: at interpolation
// times of 1, 2, 5 and 10 ms a line and a circle last as long on the card as
// their profiles ask (the programmed feed, ramps of 20 card cycles), cruise at
// the programmed feed, end exactly on their targets in pulses, and last as
// many periods in simulation as on the card.
//
// The card's cycle is not the interpolation time: with bit-length code 5 a
// 1 ms setting gives 0.8192 ms, 5 ms gives 4.9152 ms. Everything here is
// measured against the cycle the card actually runs, read from its timing
// register, and against the clock.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "motion/tests/virtual_card_fixture.h"
#include "varnelpci_sim.h"

namespace {

constexpr double kPulsesPerUnit = 1000.0;  // default machine parameters
constexpr int kRampCycles = 20;            // default acceleration and deceleration steps

enum class Shape { Line, Circle };

struct Move {
  Shape shape;
  double feed;       // units/s
  double length;     // path length, units
  double end[2];     // where X and Y end, units
  double centre[2];  // circle only
};

constexpr double kRadius = 3.0;
const Move kLine{Shape::Line, 2.0, std::hypot(10.0, 5.0), {10.0, 5.0}, {0, 0}};
const Move kCircle{Shape::Circle, 4.0, 2 * std::numbers::pi* kRadius, {0, 0}, {kRadius, 0}};

int32_t start(const Move& m) {
  if (VNL_SetFeedSpeed(m.feed, 0) != m.feed) return -100;
  if (m.shape == Shape::Line) return VNL_Line(m.end[0], m.end[1], 0, 0, 0, 0, 0);
  return VNL_CircleXY(m.centre[0], m.centre[1], 1, 0);  // counter-clockwise
}

// One sample per card cycle: machine time and where X and Y stand.
struct Sample {
  double ms;
  std::int64_t x, y;
};

// Distance along the move between two samples, units.
double along(const Move& m, const Sample& a, const Sample& b) {
  if (m.shape == Shape::Line)
    return std::hypot(double(b.x - a.x), double(b.y - a.y)) / kPulsesPerUnit;
  const double cx = m.centre[0] * kPulsesPerUnit, cy = m.centre[1] * kPulsesPerUnit;
  double turn = std::atan2(b.y - cy, b.x - cx) - std::atan2(a.y - cy, a.x - cx);
  if (turn < 0) turn += 2 * std::numbers::pi;
  return turn * kRadius;
}

class CardFeed : public vnl::test::VirtualCardTest,
                 public ::testing::WithParamInterface<std::tuple<int, Shape>> {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  }
  const Move& move() const { return std::get<1>(GetParam()) == Shape::Line ? kLine : kCircle; }
  int periodMs() const { return std::get<0>(GetParam()); }
  static int32_t initAt(int ms) {
    CardConfig c{2, 576, 0, 0};
    return VNL_InitSystem(ms, &c, 1);
  }
  double cardCycleMs() {
    return card_->withChip([](vcard::Chip& chip) { return chip.cyclePeriod().count() * 1e-6; });
  }
  double nowMs() const { return platform::clock().now().count() * 1e-6; }
};

// Periods the move lasts in simulation, counted by the output layer's
// periods up to the last one that moved an axis.
struct PeriodCounter {
  long periods = 0, lastMoved = 0;
  int32_t last[2] = {};
  std::vector<double>* speeds = nullptr;
  static void onPeriod(void* user) {
    auto* c = static_cast<PeriodCounter*>(user);
    int32_t p[6] = {};
    VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
    ++c->periods;
    if (p[0] != c->last[0] || p[1] != c->last[1]) c->lastMoved = c->periods;
    c->last[0] = p[0], c->last[1] = p[1];
  }
};

TEST_P(CardFeed, HoldsTheProgrammedFeedAndDurationInMachineTime) {
  const Move& m = move();
  ASSERT_EQ(initAt(periodMs()), 0);
  const double cycle = cardCycleMs();
  ASSERT_GT(cycle, 0.0);
  EXPECT_NEAR(VNL_GetInterpolateTime(), cycle, 1e-6)
      << "the library reports the cycle the card runs";

  // The move from its first card queue entry to its last pulse, cycle by cycle.
  ASSERT_GE(start(m), 0);
  std::vector<Sample> moving;
  double firstQueued = -1;
  const auto step = std::chrono::nanoseconds(std::llround(cycle * 1e6));
  for (int n = 0; n < 200000 && VNL_GetMotionStatus(0) != 1; ++n) {
    platform::clock().sleepFor(step);
    if (firstQueued < 0 && stock(0) > 0) firstQueued = nowMs();
    const Sample s{nowMs(), position(0), position(1)};
    if (moving.empty() || s.x != moving.back().x || s.y != moving.back().y) moving.push_back(s);
  }
  ASSERT_GT(moving.size(), 100u);
  ASSERT_GE(firstQueued, 0.0);

  // End point: exact in pulses.
  EXPECT_EQ(position(0), std::llround(m.end[0] * kPulsesPerUnit));
  EXPECT_EQ(position(1), std::llround(m.end[1] * kPulsesPerUnit));

  // Duration: the feed's time plus the ramps' 20 cycles (half of each of the
  // two ramps is spent at the feed's time already). The first entry goes out
  // one cycle after it is queued.
  const double planned = m.length / m.feed * 1000.0 + kRampCycles * cycle;
  const double measured = moving.back().ms - (firstQueued + cycle) + cycle;
  EXPECT_NEAR(measured / planned, 1.0, 0.005)
      << "measured " << measured << " ms, planned " << planned << " ms";

  // Cruise: from 30 % to 70 % of the move.
  const auto at = [&](double fraction) {
    const double t = moving.front().ms + fraction * (moving.back().ms - moving.front().ms);
    for (const Sample& s : moving)
      if (s.ms >= t) return s;
    return moving.back();
  };
  const Sample a = at(0.3), b = at(0.7);
  const double cruise = along(m, a, b) / ((b.ms - a.ms) / 1000.0);
  EXPECT_NEAR(cruise / m.feed, 1.0, 0.005) << "cruise at " << cruise << " units/s";
  RecordProperty("cruise_speed", std::to_string(cruise));
  std::printf("period %d ms, %s: cycle %.4f ms, cruise %.4f units/s (feed %.1f), %.1f of %.1f ms\n",
              periodMs(), m.shape == Shape::Line ? "line" : "circle", cycle, cruise, m.feed,
              measured, planned);

  // The same move in simulation lasts as many periods, within one.
  ASSERT_EQ(VNL_CloseSystem(), 0);
  VNL_EnableSimulation();
  ASSERT_EQ(initAt(periodMs()), 0);
  EXPECT_NEAR(VNL_GetInterpolateTime(), cycle, 1e-6)
      << "simulation plans with the cycle the card would run";
  PeriodCounter counter;
  vnl_set_period_observer(&PeriodCounter::onPeriod, &counter);
  ASSERT_GE(start(m), 0);
  waitStopped(2000000);
  vnl_set_period_observer(nullptr, nullptr);
  // The end-point correction goes out by itself after the last block, as
  // one more card queue entry on the card.
  int32_t p[6] = {};
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  if (p[0] != counter.last[0] || p[1] != counter.last[1]) ++counter.lastMoved;
  VNL_DisableSimulation();
  EXPECT_EQ(p[0], std::llround(m.end[0] * kPulsesPerUnit));
  EXPECT_EQ(p[1], std::llround(m.end[1] * kPulsesPerUnit));
  const double simulated = counter.lastMoved * cycle;
  EXPECT_LE(std::fabs(simulated - measured), cycle * 1.000001)
      << "simulation " << simulated << " ms";
}

// Every interpolation time the library takes, 1 to 200 ms, in simulation
// (which plans with the cycle a card would run, as the test above shows): a
// line of 250 periods at the feed runs at the feed and lasts its profile,
// within 0.5 %, whatever the gap between the time and the cycle.
TEST(SimulatedFeed, EveryInterpolationTimeHoldsTheFeedAndTheDuration) {
  platform::useVirtualTime();
  VNL_EnableSimulation();
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  constexpr double kFeed = 10.0;
  for (int ms = 1; ms <= 200; ++ms) {
    CardConfig c{2, 576, 0, 0};
    ASSERT_EQ(VNL_InitSystem(ms, &c, 1), 0);
    const double cycle = VNL_GetInterpolateTime();
    ASSERT_GT(cycle, ms - 0.8192) << ms;
    ASSERT_LE(cycle, ms + 1e-4) << ms;
    ASSERT_EQ(VNL_SetFeedSpeed(kFeed, 0), kFeed);
    const double length = std::round(kFeed * 250 * cycle) / 1000.0;  // whole pulses
    PeriodCounter counter;
    std::vector<double> speeds;
    vnl_set_period_observer(
        [](void* user) {
          PeriodCounter::onPeriod(user);
          static_cast<PeriodCounter*>(user)->speeds->push_back(VNL_GetCurFeedSpeed(0));
        },
        &counter);
    counter.speeds = &speeds;
    ASSERT_GE(VNL_Line(length, 0, 0, 0, 0, 0, 0), 0);
    for (int n = 0; n < 100000 && VNL_GetMotionStatus(0) != 1; ++n)
      VNL_TimeDelay(1);
    vnl_set_period_observer(nullptr, nullptr);
    ASSERT_EQ(counter.last[0], std::llround(length * kPulsesPerUnit)) << ms;
    const double planned = length / kFeed * 1000.0 + kRampCycles * cycle;
    EXPECT_NEAR(counter.lastMoved * cycle / planned, 1.0, 0.005) << ms << " ms";
    ASSERT_GT(speeds.size(), 200u);
    EXPECT_NEAR(speeds[speeds.size() / 2] / kFeed, 1.0, 0.005) << ms << " ms";
    ASSERT_EQ(VNL_CloseSystem(), 0);
  }
  VNL_DisableSimulation();
  platform::useRealTime();
}

INSTANTIATE_TEST_SUITE_P(Periods, CardFeed,
                         ::testing::Combine(::testing::Values(1, 2, 5, 10),
                                            ::testing::Values(Shape::Line, Shape::Circle)),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) + "ms_" +
                                  (std::get<1>(info.param) == Shape::Line ? "line" : "circle");
                         });

}  // namespace
