// The motion library on the virtual card in virtual time: initialisation
// opens and sets up the card, the cycle runs once per DDA period on the
// interrupt thread, pulse blocks reach the plant exactly, the limit check
// drops counts into a tripped limit, and close releases the card.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "card_path.h"
#include "motion/tests/virtual_card_fixture.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"

extern "C" int32_t vnl_test_push_pulses(uint16_t group, const int32_t* block);

namespace {

std::atomic<int> cycleCalls{0};
void countCycle() {
  ++cycleCalls;
}

using vnl::test::sleepCycles;

class CardPath : public vnl::test::VirtualCardTest {
 protected:
  void SetUp() override {
    VirtualCardTest::SetUp();
    cycleCalls = 0;
  }
};

TEST_F(CardPath, TheCycleRunsOncePerPeriodFromInitialisationToClose) {
  VNL_SetCycleInterruptRoutine(countCycle);
  ASSERT_EQ(init(), 0);
  EXPECT_TRUE(vcard::bus().registered(*card_));
  card_->withChip([](vcard::Chip& chip) {
    EXPECT_TRUE(chip.plant().pulseDacEnabled());
    for (unsigned a = 0; a < 6; ++a)
      EXPECT_FALSE(chip.plant().servoOn(a));
  });
  const std::uint64_t before = card_->cycles();
  const int callsBefore = cycleCalls.load();
  sleepCycles(100);
  EXPECT_EQ(card_->cycles() - before, 100u);
  EXPECT_EQ(cycleCalls.load() - callsBefore, 100);

  EXPECT_EQ(VNL_SetServoOn(2, 0), 0);
  card_->withChip([](vcard::Chip& chip) { EXPECT_TRUE(chip.plant().servoOn(2)); });

  ASSERT_EQ(VNL_CloseSystem(), 0);
  EXPECT_FALSE(vcard::bus().registered(*card_));
  const int callsAtClose = cycleCalls.load();
  sleepCycles(10);
  EXPECT_EQ(cycleCalls.load(), callsAtClose);
}

TEST_F(CardPath, PulseBlocksReachThePlantExactly) {
  ASSERT_EQ(init(), 0);
  const int32_t block[6] = {5, -3, 0, 0, 0, 7};
  for (int i = 0; i < 3; ++i) {
    while (vnl_test_push_pulses(0, block) != 0)
      sleepCycles(1);
  }
  sleepCycles(10);
  EXPECT_EQ(position(0), 15);
  EXPECT_EQ(position(1), -9);
  EXPECT_EQ(position(2), 0);
  EXPECT_EQ(position(5), 21);
  int32_t x = 0, y = 0, z = 0, u = 0, v = 0, w = 0;
  ASSERT_EQ(VNL_GetPulsePos(&x, &y, &z, &u, &v, &w, 0), 0);
  EXPECT_EQ(x, 15);
  EXPECT_EQ(w, 21);
}

TEST_F(CardPath, LimitCheckDropsCountsIntoATrippedLowerLimit) {
  card_->withChip([](vcard::Chip& chip) { chip.plant().axis(0).lowerLimit = 0; });
  MACHINE_PARAM p{};
  VNL_GetMachParam(&p, 0, 0);
  p.wOverTravelDownSensorMode = 0;  // the plant's switch reads 0 while active
  p.wOverTravelUpSensorMode = 2;
  ASSERT_EQ(VNL_SetMachParam(&p, 0, 0), 0);
  ASSERT_EQ(init(), 0);
  ASSERT_EQ(VNL_EnableLimitSwitchCheck(0), 0);  // mode 1: stop only into the limit
  sleepCycles(2);
  int16_t status = -1;
  ASSERT_EQ(VNL_GetLimitSwitchStatus(&status, 0, 0, 0), 0);
  EXPECT_EQ(status, 1);

  const int32_t into[6] = {-5, 0, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, into), 0);
  sleepCycles(5);
  EXPECT_EQ(position(0), 0) << "a count into the tripped limit is dropped";
  const int32_t away[6] = {5, 0, 0, 0, 0, 0};
  ASSERT_EQ(vnl_test_push_pulses(0, away), 0);
  sleepCycles(5);
  EXPECT_EQ(position(0), 5);
}

TEST_F(CardPath, InitialisationFailsWithoutACardAndLeavesNothingOpen) {
  std::vector<std::string> shown;
  auto previous = platform::msgbox::setHandler(
      [&](const std::string& text, const std::string&) { shown.push_back(text); });
  vcard::bus().clear();
  EXPECT_EQ(init(), -1);
  EXPECT_EQ(shown, (std::vector<std::string>{"No cards found !\n", "Cannot find QX-7T card !\n"}));
  // Two cards configured, only one installed: the first is closed again.
  card_ = vcard::bus().install(vcard::ChipModel::Qora210);
  CardConfig two[2] = {{2, 0, 0, 0}, {2, 0, 0, 0}};
  EXPECT_EQ(VNL_InitSystem(1, two, 2), -1);
  EXPECT_FALSE(vcard::bus().registered(*card_));
  EXPECT_EQ(init(), 0);
  platform::msgbox::setHandler(previous);
}

TEST(CardRules, DirectionsLimitStatesStopsAndSends) {
  using namespace vnl::cards;
  EXPECT_EQ(direction(10, 12, false), 2);
  EXPECT_EQ(direction(10, 12, true), 1);
  EXPECT_EQ(direction(10, 8, false), 1);
  EXPECT_EQ(direction(10, 10, true), 0);
  EXPECT_EQ(limitState(true, true), 3);
  EXPECT_EQ(limitState(false, true), 1);
  // Check off: a tripped limit never stops or drops anything.
  EXPECT_FALSE(stopsAxis(0, 1, 1));
  EXPECT_TRUE(maySend(0, 3, -4, false));
  // Mode 1: only motion into the limit is stopped and dropped.
  EXPECT_TRUE(stopsAxis(1, 1, 1));
  EXPECT_FALSE(stopsAxis(1, 1, 2));
  EXPECT_TRUE(maySend(1, 1, 4, false));
  EXPECT_FALSE(maySend(1, 1, -4, false));
  EXPECT_TRUE(maySend(1, 1, -4, true));
  EXPECT_FALSE(maySend(1, 2, 4, false));
  EXPECT_TRUE(maySend(1, 2, 4, true));
  // Mode 2: any single limit stops the axis; both limits stop nothing in the
  // cycle, but nothing is sent in either mode.
  EXPECT_TRUE(stopsAxis(2, 2, 0));
  EXPECT_FALSE(stopsAxis(2, 3, 0));
  EXPECT_FALSE(maySend(2, 1, 4, false));
  EXPECT_FALSE(maySend(1, 3, 4, false));
  EXPECT_TRUE(maySend(2, 0, 4, false));
}

}  // namespace

namespace {

// The cycle reads a card's input words once; what it decodes for every
// sensor is what the per-sensor reads say, on both models (a QORA210 has no
// over-travel inputs on axes 4 and 5).
TEST_F(CardPath, OneReadingOfTheInputsAgreesWithEverySensorRead) {
  for (const auto& [model, type] : {std::pair{vcard::ChipModel::Qora210, int16_t{2}},
                                    std::pair{vcard::ChipModel::Qora310, int16_t{3}}}) {
    SCOPED_TRACE(type);
    vcard::bus().clear();
    card_ = vcard::bus().install(model);
    // The production card path on its own, without the library.
    auto& path = vnl::cards::qoraCards();
    ASSERT_TRUE(path.open(0, type, {}));
    card_->withChip([](vcard::Chip& chip) {
      for (unsigned a = 0; a < 6; ++a) {  // every axis stands at 0: a mix of active sensors
        auto& axis = chip.plant().axis(a);
        axis.upperLimit = a % 2 ? 0 : 1000;
        axis.lowerLimit = a % 3 ? -1000 : 0;
        axis.homePosition = a >= 3 ? -10 : 500;
      }
    });
    vnl::cards::SensorLevels levels;
    ASSERT_TRUE(path.sensors(0, levels));
    int seen[2] = {};
    using vnl::cards::Sensor;
    for (int a = 0; a < 6; ++a) {
      for (const auto& [which, raw] : {std::pair{Sensor::OverTravelUp, levels.up[a]},
                                       std::pair{Sensor::OverTravelDown, levels.down[a]},
                                       std::pair{Sensor::Home, levels.home[a]}}) {
        uint16_t v = 0;
        const bool read = path.sensor(which, 0, a, v);
        EXPECT_EQ(raw, read ? static_cast<int16_t>(v) : -1)
            << "axis " << a << " sensor " << static_cast<int>(which);
        if (raw >= 0) ++seen[raw];
      }
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_EQ(levels.up[4] >= 0, type == 3);
    path.close(0);
  }
}

// An axis configured closed loop: the card drives it from its error counter
// through the DAC, and it follows the commanded pulses and holds there.
TEST_F(CardPath, AClosedLoopAxisFollowsAndHoldsWithItsErrorNearZero) {
  MACHINE_PARAM p{};
  VNL_GetMachParam(&p, 0, 0);
  p.wCommandMode = 1;
  ASSERT_EQ(VNL_SetMachParam(&p, 0, 0), 0);
  ASSERT_EQ(init(), 0);
  const int32_t block[6] = {40, 0, 0, 0, 0, 0};
  for (int i = 0; i < 10; ++i)
    while (vnl_test_push_pulses(0, block) != 0)
      sleepCycles(1);
  sleepCycles(400);
  int32_t e[6] = {};
  ASSERT_EQ(VNL_GetErrorCount(&e[0], &e[1], &e[2], &e[3], &e[4], &e[5], 0), 0);
  EXPECT_LE(std::abs(e[0]), 2) << "the loop has closed the error";
  EXPECT_NEAR(static_cast<double>(position(0)), 400.0, 2.0);
  EXPECT_EQ(card_->withChip([](vcard::Chip& chip) { return chip.plant().pulsesReceived(0); }), 0)
      << "the drive moved by the loop's command, not by the pulses";
  sleepCycles(200);
  EXPECT_NEAR(static_cast<double>(position(0)), 400.0, 2.0) << "and holds there";
  p.wCommandMode = 0;
  VNL_SetMachParam(&p, 0, 0);
}

}  // namespace
