// The base of the motion library's tests on the virtual card: virtual time,
// the card path (simulation off), one card of the first model on a fresh bus,
// and the library closed again after each test.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "motion/tests/group_helpers.h"
#include "platform/chip/regs.h"
#include "platform/clock/clock.h"
#include "platform/clock/virtual_clock.h"
#include "platform/clock/watchdog.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"

namespace vnl::test {

// One DDA cycle at a 1 ms interpolation period (bit-length code 5).
inline constexpr std::int64_t kCycleNs = 819200;

inline void sleepCycles(int n) {
  platform::clock().sleepFor(std::chrono::nanoseconds(kCycleNs * n));
}

class VirtualCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    VNL_DisableSimulation();
    vcard::bus().clear();
    card_ = vcard::bus().install(vcard::ChipModel::Qora210);
    // A test whose virtual time stops for 60 s of real time ends with the
    // clock's and the card's state instead of hanging.
    auto* clock = dynamic_cast<platform::VirtualClock*>(&platform::clock());
    watchdog_ = std::make_unique<platform::ClockWatchdog>(60, [clock, card = card_] {
      return (clock ? clock->describe() : std::string()) + "\n" + card->describe();
    });
  }
  void TearDown() override {
    VNL_CloseSystem();
    watchdog_.reset();
    vcard::bus().clear();
    platform::useRealTime();
  }
  // The library on the one card at a 1 ms interpolation period.
  static int32_t init() {
    CardConfig c{2, 0, 0, 0};
    return VNL_InitSystem(1, &c, 1);
  }
  std::int64_t position(unsigned axis) {
    return card_->withChip([&](vcard::Chip& chip) { return chip.plant().position(axis); });
  }
  // The card queue's stock count of an axis, as the chip reports it.
  unsigned stock(unsigned axis) {
    namespace r = chip::reg;
    return card_->withChip([&](vcard::Chip& chip) {
      return r::ddaStockField(axis).get(chip.read(r::ddaStock(axis)));
    });
  }
  // Waits in 1 ms steps until group 0 reports stopped; fails after `limitMs`.
  static void waitStopped(int limitMs = 60000) { test::waitStopped(0, limitMs); }

  // Group 0's pulse positions.
  static std::array<int32_t, 6> pulsePos() { return test::pulsePos(0); }
  // The plant stands where the library says its axes are.
  void expectPlantAtPulsePositions() {
    const auto p = pulsePos();
    for (unsigned a = 0; a < 6; ++a)
      EXPECT_EQ(position(a), p[a]) << "axis " << a;
  }

  std::shared_ptr<vcard::VirtualCard> card_;
  std::unique_ptr<platform::ClockWatchdog> watchdog_;
};

}  // namespace vnl::test
