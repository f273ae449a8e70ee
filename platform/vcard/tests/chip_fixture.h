// Shared helpers of the chip tests: register access by name and a few
// composite operations the card-access library would make.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "platform/chip/regs.h"
#include "platform/vcard/chip.h"

namespace vcard::test {

namespace r = chip::reg;
using namespace std::chrono_literals;

inline std::uint16_t signMagnitude(std::int32_t count) {
  return count < 0 ? static_cast<std::uint16_t>(0x8000u | static_cast<std::uint32_t>(-count))
                   : static_cast<std::uint16_t>(count);
}

class ChipTest : public ::testing::Test {
 protected:
  explicit ChipTest(ChipModel model = ChipModel::Qora210) : chip(model) { chip.advanceTo(0ns); }

  std::uint16_t rd(std::uint32_t offset) { return chip.read(offset); }
  void wr(std::uint32_t offset, std::uint16_t value) { chip.write(offset, value); }
  std::uint32_t rd32(std::uint32_t low, std::uint32_t high) {
    const std::uint32_t l = rd(low);
    return (static_cast<std::uint32_t>(rd(high)) << 16) | l;
  }
  void advance(std::chrono::nanoseconds dt) {
    now += dt;
    chip.advanceTo(now);
  }
  Plant& plant() { return chip.plant(); }

  // Engine running with every channel and pulse counter enabled, 15-bit
  // commands as the motion library sets them.
  void startEngine(std::uint16_t extraControl = 0) {
    wr(r::kDdaTiming, r::kDdaTimingBitLength.set(0, 5));
    wr(r::kDdaPulseCounterEnable, 0x3F);
    wr(r::kDdaControl, static_cast<std::uint16_t>(0x3F | (1u << r::kDdaCtlRunBit) | extraControl));
  }
  void push(unsigned axis, std::int32_t count) { wr(r::ddaFifo(axis), signMagnitude(count)); }
  std::int32_t outputPulses(unsigned axis) {
    wr(r::kDdaCounterPrepare, r::kDdaCounterPrepareValue);
    return static_cast<std::int32_t>(
        rd32(r::ddaPulseCounterLow(axis), r::ddaPulseCounterHigh(axis)));
  }
  unsigned stock(unsigned axis) { return r::ddaStockField(axis).get(rd(r::ddaStock(axis))); }

  Chip chip;
  std::chrono::nanoseconds now{0};
};

}  // namespace vcard::test
