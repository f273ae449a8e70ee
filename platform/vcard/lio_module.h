// Local I/O: LDI and DFI inputs from the plant, LDO outputs to it, input
// interrupts, the 24-bit timer and the watchdog.
//
// Choices where the card leaves the meaning open:
// - Interrupt types (2-bit field = type + 1): type 0 interrupts on a rising
//   edge of the input (0 -> 1), type 1 on a falling edge, type 2 on both. An
//   input with field 0 raises nothing. Inputs changed on the plant are seen at
//   the chip's next access, cycle or advanceTo().
// - Conditions (0x108, cleared when read): bits 0..7 LDI inputs 0..7, bits
//   8..14 DFI inputs 0..6, bit 15 a time-out: the timer ran out with its
//   interrupt enabled (0x108 bit 14), or the watchdog expired.
// - Timer: counts down at 1 MHz from the value written to 0x10A/0x10C, loaded
//   when the timer is enabled (control bit 8 going to 1) and again at every
//   time-out, so it repeats; a value of 0 never runs out.
// - Watchdog: while enabled (control bit 9) it counts down from the reset
//   value (0x10E/0x110) once every (watchdog timer + 1) microseconds; enabling
//   it and writing 0 to 0x114 reload it. At zero it expires: condition bit 15
//   and every servo output and position ready forced off until it is
//   refreshed or disabled.
// - LDO: a bit is driven only while its output group (control bit g for bits
//   4g..4g+3) is enabled; undriven bits read 1 on the plant.
// - A module reset clears outputs, control, types, timer, watchdog and
//   conditions.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/chip/regs.h"
#include "platform/vcard/plant.h"

namespace vcard {

class LioModule {
 public:
  LioModule(Plant& plant, const chip::reg::LioLayout& layout);

  bool owns(std::uint32_t offset) const { return offset >= 0x100 && offset <= 0x114; }
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);
  void reset();

  void sync();
  void advance(std::chrono::nanoseconds elapsed);
  // Whether advance() would change anything: the timer or the watchdog runs.
  // Asked before every register access, so it is inline.
  bool timed() const {
    return (chip::reg::bit(control_, chip::reg::kLioCtlTimerBit) && timerValue_ != 0) ||
           (chip::reg::bit(control_, chip::reg::kLioCtlWDogBit) && !wdogTripped_);
  }
  std::uint16_t pending() const { return conditions_; }

 private:
  void updateOutputs();
  void edges(std::uint32_t before, std::uint32_t now, std::uint16_t types, unsigned inputs,
             unsigned firstCondition);

  Plant& plant_;
  chip::reg::LioLayout layout_;
  std::uint32_t ldo_ = 0;
  std::uint16_t control_ = 0;
  std::uint16_t ldiTypes_ = 0;
  std::uint16_t dfiTypes_ = 0;
  std::uint16_t conditions_ = 0;
  std::uint32_t lastLdi_ = 0;
  std::uint32_t lastDfi_ = 0;
  std::uint32_t timerValue_ = 0;
  std::uint32_t timerCount_ = 0;
  std::int64_t timerNs_ = 0;
  std::uint32_t wdogReset_ = 0;
  std::uint16_t wdogTimer_ = 0;
  std::uint32_t wdogCount_ = 0;
  std::int64_t wdogNs_ = 0;
  bool wdogTripped_ = false;
};

}  // namespace vcard
