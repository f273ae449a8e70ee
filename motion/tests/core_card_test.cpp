// The output layer on the virtual card in virtual time, through the exported
// functions: the set-up order of the card at initialisation, the cost of a
// request, unknown requests, the stepping rule, the limit-switch modes, the
// pulse-limit latches, mode commands raised together, dry run and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "motion/tests/virtual_card_fixture.h"
#include "platform/chip/regs.h"
#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"

extern "C" {
int32_t vnl_test_push_pulses(uint16_t group, const int32_t* block);
int32_t vnl_test_post(uint8_t code, uint16_t value, uint32_t data);
void vnl_test_raise(uint32_t mask);
int32_t vnl_test_output_mode(void);
int32_t vnl_test_output_latch(void);
}

namespace {

namespace r = chip::reg;
constexpr uint32_t kHoldBit = 1u << 1, kResumeBit = 1u << 4;
constexpr int kHeld = 3;

using vnl::test::kCycleNs;
using vnl::test::sleepCycles;
std::int64_t nowNs() {
  return platform::clock().now().count();
}

class CoreCard : public vnl::test::VirtualCardTest {
 protected:
  // Axis 0's over-travel sensors read 0 while active; `up`/`down` say which
  // are wired at all.
  void wireLimits(bool up, bool down, int16_t dirReverse = 0) {
    MACHINE_PARAM p{};
    VNL_GetMachParam(&p, 0, 0);
    p.wOverTravelUpSensorMode = up ? 0 : 2;
    p.wOverTravelDownSensorMode = down ? 0 : 2;
    p.wDirReverse = dirReverse;
    ASSERT_EQ(VNL_SetMachParam(&p, 0, 0), 0);
  }
  void push(int32_t x) {
    const int32_t b[6] = {x, 0, 0, 0, 0, 0};
    while (vnl_test_push_pulses(0, b) != 0)
      sleepCycles(1);
  }
};

// Index of the first chip write matching pred at or after `from`, or -1.
template <class P>
long find(const std::vector<vcard::RegisterWrite>& w, P pred, long from = 0) {
  for (long i = from; i < static_cast<long>(w.size()); ++i)
    if (w[i].space == 2 && pred(w[i])) return i;
  return -1;
}

TEST_F(CoreCard, InitialisationSetsTheCardUpInOrderAndStartsTheEngineLast) {
  card_->recordWrites(true);
  ASSERT_EQ(init(), 0);
  card_->recordWrites(false);
  const auto w = card_->writes();
  auto at = [&](std::uint32_t off) { return [off](const auto& x) { return x.offset == off; }; };
  const long irq = find(w, at(r::kIrqSelect));
  const long outCtl = find(w, at(r::kIntOutputControl));
  const long reset = find(w, at(r::kModuleReset), std::max(irq, outCtl));
  const long timing = find(w, at(r::kDdaTiming));
  const long cycleInt = find(w, [](const auto& x) {
    return x.offset == r::kDdaControl && r::bit(x.value, r::kDdaCtlCycleIntBit);
  });
  const long filter = find(w, at(r::kEncControl));
  const long encStart = find(w, [](const auto& x) {
    return x.offset == r::kEncControl && r::bit(x.value, r::kEncStartBit);
  });
  const long run = find(w, [](const auto& x) {
    return x.offset == r::kDdaControl && r::bit(x.value, r::kDdaCtlRunBit);
  });
  ASSERT_GE(irq, 0);
  ASSERT_GE(outCtl, 0);
  EXPECT_EQ(w[outCtl].value, r::kIntOutputControlInit);
  ASSERT_GE(reset, 0) << "the whole-chip reset follows the card's opening";
  ASSERT_GE(timing, 0);
  EXPECT_EQ(r::kDdaTimingBitLength.get(w[timing].value), 5u);
  EXPECT_LT(reset, timing);
  ASSERT_GE(cycleInt, 0);
  EXPECT_LT(timing, cycleInt) << "the cycle interrupt is enabled after the DDA timing";
  ASSERT_GE(filter, 0);
  ASSERT_GE(encStart, 0);
  ASSERT_GE(run, 0);
  EXPECT_LT(cycleInt, encStart);
  EXPECT_LT(encStart, run) << "the engine starts after the encoders";
  EXPECT_EQ(find(
                w, [](const auto&) { return true; }, run + 1),
            -1)
      << "the engine start is the last write of the initialisation";
  // Every output channel and pulse counter is enabled before the start.
  long lastChannel = -1;
  for (long i = 0; i < run; ++i)
    if (w[i].space == 2 && w[i].offset == r::kDdaControl) lastChannel = i;
  ASSERT_GE(lastChannel, 0);
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_TRUE(r::bit(w[lastChannel].value, r::kDdaCtlChannelBit + a)) << "axis " << a;
  const long counters = find(w, at(r::kDdaPulseCounterEnable));
  ASSERT_GE(counters, 0);
  EXPECT_LT(counters, run);
  EXPECT_EQ(find(w,
                 [](const auto& x) {
                   for (unsigned a = 0; a < 6; ++a)
                     if (x.offset == r::ddaFifo(a)) return true;
                   return false;
                 }),
            -1)
      << "no pulse is queued at initialisation";
}

TEST_F(CoreCard, ARequestCostsOneCycleAndAnUnknownOneIsReportedPerGroup) {
  ASSERT_EQ(init(), 0);
  sleepCycles(3);
  const auto t0 = nowNs();
  ASSERT_EQ(VNL_EnableLimitSwitchCheck(0), 0);
  const auto dt = nowNs() - t0;
  EXPECT_GT(dt, 0);
  EXPECT_LE(dt, 2 * kCycleNs) << "one cycle serves the request";
  EXPECT_EQ(VNL_GetErrorCode(0), 0);

  EXPECT_EQ(vnl_test_post(99, 0, 0), 0) << "an unknown request still completes";
  EXPECT_EQ(vnl_test_output_latch(), 3);
  EXPECT_EQ(VNL_GetErrorCode(0), 0xF601);
  EXPECT_EQ(VNL_ClearError(0), 0);
  EXPECT_EQ(VNL_GetErrorCode(0), 0);
}

TEST_F(CoreCard, WithNoGroupInUseRequestsTimeOutAndCloseStillReturns) {
  ASSERT_EQ(init(), 0);
  // Every group's flag non-zero: not in use; the records are left as they are.
  std::vector<int32_t> config(72 + 72 * 7, 0);
  for (int g = 0; g < 72; ++g)
    config[g] = 1;
  ASSERT_EQ(VNL_SetGroupConfig(config.data()), 0);
  const auto t0 = nowNs();
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), -3) << "no group is stepped, so no dispatch serves it";
  EXPECT_GE(nowNs() - t0, 50'000'000) << "after 50 polls of 1 ms";
  EXPECT_EQ(VNL_CloseSystem(), 0);
  EXPECT_FALSE(vcard::bus().registered(*card_));
}

// A card whose type is neither 2 nor 3 is left uninitialised without error.
// With card 0 so left no cycle runs: a request times out after 50 polls of
// 1 ms, a line is queued without waiting for a cycle that never comes, and
// close returns. A second card of another type does not stop card 0.
TEST_F(CoreCard, ACardOfAnotherTypeIsLeftUninitialisedWithoutError) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  CardConfig none{0, 0, 0, 0};
  ASSERT_EQ(VNL_InitSystem(1, &none, 1), 0);
  EXPECT_FALSE(vcard::bus().registered(*card_)) << "the card was not opened";
  const auto t0 = nowNs();
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), -3);
  EXPECT_GE(nowNs() - t0, 50'000'000);
  EXPECT_LT(nowNs() - t0, 60'000'000) << "about 50 ms";
  ASSERT_GT(VNL_SetFeedSpeed(5, 0), 0);
  EXPECT_GE(VNL_Line(1, 0, 0, 0, 0, 0, 0), 0);
  sleepCycles(100);
  EXPECT_EQ(position(0), 0);
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 0) << "no pulse counted for a card that is not there";
  // Nothing waits for a cycle that never comes: clearing the errors returns,
  // and a pulse jog, which no output layer would take, is refused.
  EXPECT_EQ(VNL_ClearError(0), 0);
  EXPECT_EQ(VNL_JogPulse(100, 0, 0), -3);
  EXPECT_EQ(VNL_CloseSystem(), 0);

  const CardConfig two[2] = {{2, 0, 0, 0}, {7, 0, 0, 0}};
  ASSERT_EQ(VNL_InitSystem(1, two, 2), 0);
  EXPECT_TRUE(vcard::bus().registered(*card_));
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), 0);
  ASSERT_GT(VNL_SetFeedSpeed(5, 0), 0);
  ASSERT_GE(VNL_Line(1, 0, 0, 0, 0, 0, 0), 0);
  waitStopped();
  EXPECT_EQ(position(0), 1000);
}

// At an interpolation time above 50 ms the cycle serves a request only every
// period: a request waits three periods before it gives up, so requests and
// an abort still work.
TEST_F(CoreCard, RequestsAndAbortWorkAtLongInterpolationTimes) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetInterpolateTime(150), 150);
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), 0);
  EXPECT_EQ(VNL_SetAccStep(2, 0), 0);
  EXPECT_EQ(VNL_SetDecStep(2, 0), 0);  // a hold within three periods
  ASSERT_GT(VNL_SetFeedSpeed(2, 0), 0);
  ASSERT_GE(VNL_Line(10, 0, 0, 0, 0, 0, 0), 0);
  VNL_TimeDelay(2000);
  EXPECT_EQ(VNL_AbortMotion(0), 0);
  waitStopped();
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], position(0));
  EXPECT_GT(p[0], 0);
  EXPECT_LT(p[0], 10000);
}

// A chip reset (VNL_ResetDevice) stops the card's cycle for good. The waits
// without a limit give up once no cycle has run for two seconds (or 500
// periods): a line is
// refused with -3 instead of waiting for ever, clearing errors reports -3,
// and close returns.
TEST_F(CoreCard, WhenTheCycleStopsNothingWaitsForEver) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_GT(VNL_SetFeedSpeed(5, 0), 0);
  ASSERT_EQ(VNL_ResetDevice(), 0);
  sleepCycles(5);
  const auto t0 = nowNs();
  EXPECT_EQ(VNL_Line(1, 0, 0, 0, 0, 0, 0), -3);
  EXPECT_LT(nowNs() - t0, 3'000'000'000) << "gave up after about two seconds";
  EXPECT_EQ(VNL_ClearError(0), -3);
  EXPECT_EQ(VNL_EnableLimitSwitchCheck(0), -3);
  EXPECT_EQ(VNL_CloseSystem(), 0);
  EXPECT_FALSE(vcard::bus().registered(*card_));
}

TEST_F(CoreCard, ALongLineFillsTheCardQueueToSixtyThreeAndNoFurther) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(20, 0), 20.0);
  ASSERT_EQ(VNL_Line(5, 0, 0, 0, 0, 0, 0), 0);
  unsigned most = 0;
  for (int i = 0; i < 200; ++i) {
    sleepCycles(1);
    most = std::max(most, stock(0));
    ASSERT_LE(stock(0), 63u);
  }
  EXPECT_EQ(most, 63u);
}

TEST_F(CoreCard, WithTheCheckOffATrippedLimitChangesOnlyTheStatus) {
  card_->withChip([](vcard::Chip& chip) { chip.plant().axis(0).lowerLimit = 0; });
  wireLimits(true, true);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_DisableLimitSwitchCheck(), 0);  // the mode outlives a close
  sleepCycles(2);
  int16_t s = -1;
  ASSERT_EQ(VNL_GetLimitSwitchStatus(&s, 0, 0, 0), 0);
  EXPECT_EQ(s, 1);
  push(-5);
  sleepCycles(5);
  EXPECT_EQ(position(0), -5) << "counts into the limit are sent with the check off";
}

TEST_F(CoreCard, ReversedDirectionInModeOneSendsNegativeCountsAtTheLowerLimit) {
  card_->withChip([](vcard::Chip& chip) { chip.plant().axis(0).lowerLimit = 0; });
  wireLimits(false, true, 1);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_EnableLimitSwitchCheck(0), 0);
  sleepCycles(2);
  push(5);
  sleepCycles(5);
  EXPECT_EQ(position(0), 0) << "reversed: a positive count moves into the lower limit";
  push(-5);
  sleepCycles(5);
  EXPECT_EQ(position(0), -5);
}

TEST_F(CoreCard, ModeTwoSendsNothingAndEmptiesTheQueueToZeros) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_EnableLimitSwitchCheck(1), 0);
  for (int i = 0; i < 3; ++i)
    push(1);
  sleepCycles(1);
  const auto before = position(0);
  // Trip the upper limit just ahead of the axis while pulses are queued.
  card_->withChip([&](vcard::Chip& chip) { chip.plant().axis(0).upperLimit = before; });
  wireLimits(true, false);
  ASSERT_EQ(VNL_UpdateMachParam(), 0);
  sleepCycles(3);
  const auto tripped = position(0);
  push(-5);
  push(-5);
  sleepCycles(10);
  EXPECT_EQ(position(0), tripped) << "mode 2: nothing moves, not even away from the limit";
  int16_t s = -1;
  ASSERT_EQ(VNL_GetLimitSwitchStatus(&s, 1, 0, 0), 0);
  EXPECT_EQ(s, 1);
  // Requests are still served while counts are dropped at the limit.
  EXPECT_EQ(VNL_DisableLimitSwitchCheck(), 0);
  push(-5);
  sleepCycles(5);
  EXPECT_EQ(position(0), tripped - 5) << "with the check off the count reaches the axis";
}

TEST_F(CoreCard, BothLimitsActiveSendNothingInModeOne) {
  card_->withChip([](vcard::Chip& chip) {
    chip.plant().axis(0).lowerLimit = 0;
    chip.plant().axis(0).upperLimit = 0;
  });
  wireLimits(true, true);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_EnableLimitSwitchCheck(0), 0);
  sleepCycles(2);
  push(5);
  push(-5);
  sleepCycles(10);
  EXPECT_EQ(position(0), 0);
}

TEST_F(CoreCard, PulseLimitsLatchButTheCountsAreStillOutput) {
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetMaxPulseSpeed(10, 10, 10, 10, 10, 10), 0);
  push(20);
  sleepCycles(5);
  EXPECT_EQ(position(0), 20);
  EXPECT_EQ(vnl_test_output_latch(), 7);
  EXPECT_EQ(VNL_GetErrorCode(0), 0) << "the pulse latches map to no error word";
  ASSERT_EQ(VNL_ClearError(0), 0);
  EXPECT_EQ(vnl_test_output_latch(), 0);

  ASSERT_EQ(VNL_SetMaxPulseSpeed(30000, 30000, 30000, 30000, 30000, 30000), 0);
  ASSERT_EQ(VNL_SetMaxPulseAcc(4, 4, 4, 4, 4, 4), 0);
  push(3);
  push(9);
  sleepCycles(5);
  EXPECT_EQ(position(0), 32);
  EXPECT_EQ(vnl_test_output_latch(), 8);
}

// A count beyond what one card command carries (+-32767) is not wrapped to
// 16 bits at the card: the axis gets the most one command carries, and the
// pulse position counts what it got.
TEST_F(CoreCard, ACountBeyondOneCardCommandIsNotWrapped) {
  ASSERT_EQ(init(), 0);
  push(40000);
  push(-50000);
  push(0);
  sleepCycles(10);
  int32_t p[6];
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(position(0), 0) << "+32767, then -32767";
  EXPECT_EQ(p[0], position(0));
  push(40000);
  sleepCycles(10);
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(position(0), 32767);
  EXPECT_EQ(p[0], 32767);
}

TEST_F(CoreCard, HoldAndResumeInOneDispatchKeepTheHoldAndLatchTwo) {
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(20, 0), 20.0);
  ASSERT_EQ(VNL_Line(5, 0, 0, 0, 0, 0, 0), 0);
  sleepCycles(20);
  ASSERT_EQ(vnl_test_output_mode(), 2);
  vnl_test_raise(kHoldBit | kResumeBit);
  sleepCycles(3);
  EXPECT_EQ(vnl_test_output_mode(), kHeld);
  EXPECT_EQ(vnl_test_output_latch(), 2);
  vnl_test_raise(kResumeBit);
  sleepCycles(3);
  EXPECT_EQ(vnl_test_output_mode(), 2);
}

TEST_F(CoreCard, DryRunSendsNothingAndRestoresThePositions) {
  ASSERT_EQ(init(), 0);
  push(4);
  sleepCycles(5);
  ASSERT_EQ(position(0), 4);
  ASSERT_EQ(VNL_EnableDryRun(), 0);
  sleepCycles(2);
  card_->recordWrites(true);
  for (int i = 0; i < 3; ++i)
    push(7);
  sleepCycles(10);
  card_->recordWrites(false);
  EXPECT_EQ(position(0), 4);
  const auto w = card_->writes();
  EXPECT_EQ(find(w, [](const auto& x) { return x.offset == r::ddaFifo(0); }), -1)
      << "dry run queues nothing on the card";
  ASSERT_EQ(VNL_DisableDryRun(), 0);
  sleepCycles(2);
  int32_t p[6] = {};
  ASSERT_EQ(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0), 0);
  EXPECT_EQ(p[0], 4);
}

TEST_F(CoreCard, CompensationReachesTheAxisButNotTheCommandedPosition) {
  // 4 pulses of correction per 100 pulses of travel, in the positive direction.
  COMP_PARAM comp{};
  comp.dwInterval = 100;
  comp.wZeroIndex = 0;
  for (int i = 0; i < 256; ++i)
    comp.wPositive[i] = static_cast<int16_t>(4 * i);
  ASSERT_EQ(VNL_SetCompParam(&comp, 0, 0), 0);
  ASSERT_EQ(VNL_SetSysMaxSpeed(100), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_UpdateCompParam(), 0);
  ASSERT_EQ(VNL_SetFeedSpeed(2, 0), 2.0);
  ASSERT_EQ(VNL_Line(1.05, 0, 0, 0, 0, 0, 0), 0);
  for (int n = 0; n < 5000 && VNL_GetMotionStatus(0) != 1; ++n)
    VNL_TimeDelay(1);
  ASSERT_EQ(VNL_GetMotionStatus(0), 1);
  int32_t x = 0, y = 0, z = 0, u = 0, v = 0, w = 0;
  ASSERT_EQ(VNL_GetPulsePos(&x, &y, &z, &u, &v, &w, 0), 0);
  EXPECT_EQ(x, 1050) << "the commanded position is the target";
  // At 1050: between table points 10 (40) and 11 (44), half way: 42.
  EXPECT_EQ(position(0), 1050 + 42);
  EXPECT_EQ(position(1), 0);
  comp = COMP_PARAM{};
  VNL_SetCompParam(&comp, 0, 0);
  VNL_UpdateCompParam();
}

TEST_F(CoreCard, NullPointersAndNaNAreRefused) {
  ASSERT_EQ(init(), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  int32_t i = 0;
  int16_t s = 0;
  EXPECT_EQ(VNL_SetMachParam(nullptr, 0, 0), -5);
  EXPECT_EQ(VNL_GetMachParam(nullptr, 0, 0), -5);
  EXPECT_EQ(VNL_SetGroupConfig(nullptr), -5);
  EXPECT_EQ(VNL_SetCompParam(nullptr, 0, 0), -5);
  EXPECT_EQ(VNL_GetLimitSwitchStatus(nullptr, 0, 0, 0), -5);
  EXPECT_EQ(VNL_GetCurPulseStockCount(nullptr, 0, 0), -5);
  EXPECT_EQ(VNL_GetPulsePos(nullptr, &i, &i, &i, &i, &i, 0), -5);
  EXPECT_EQ(VNL_GetHomeSensorStatus(nullptr, 0, 0), -5);
  EXPECT_EQ(VNL_SetSysMaxSpeed(nan), -5);
  EXPECT_EQ(VNL_SetInterpolateTime(nan), -5);
  EXPECT_EQ(VNL_GetLimitSwitchStatus(&s, 0, 0, 0), 0);
}

}  // namespace
