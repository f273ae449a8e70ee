// Pulse engine: six command FIFOs, the DDA cycle, output pulse counters and
// dividers, and the DDA interrupt conditions.
//
// Choices where the card leaves the meaning open:
// - Each FIFO holds 127 commands, the most the 7-bit stock count can show. A
//   push into a full FIFO is dropped (and counted in overruns()).
// - One DDA cycle pops the head command of every non-empty FIFO while the
//   engine runs. An enabled channel outputs it; a disabled channel consumes it
//   without output, so a queue drains while its channel is off. While the
//   emergency stop input is active and the emergency stop is enabled, every
//   channel consumes without output.
// - With bit-length code k the magnitude of a command is limited to
//   2^(10+k) - 1 pulses per cycle (32767 with code 5).
// - A pulse divider d of 2 or more outputs one pulse per d command pulses, the
//   remainder carried per axis (cleared by its clear strobe); 0 and 1 divide
//   by 1. The output pulse counter counts the pulses actually output, and only
//   while its enable bit (0x1BA) is set.
// - Writing 13 to 0x1BE latches all six counters; the counter reads return the
//   latched values, so low and high half belong together.
// - Erase removes commands from the head of the FIFO (the next to go out);
//   erasing more than the stock empties it.
// - Reading 0x36 discards the head command of every FIFO without output.
// - Reading 0x20 + 2a gives the command output in the last cycle
//   (sign-magnitude), 0 when the axis output nothing.
// - Conditions (0x34, cleared when read): bit a = the stock of axis a fell
//   below the minimum stock (pop or erase took it from >= minimum to below)
//   with its stock interrupt enabled; bit 6 = a DDA cycle ran with the cycle
//   interrupt enabled. Disabling an interrupt drops its pending condition.
// - The output signal configuration (0x2C + 2a) is stored; it does not change
//   what reaches the plant.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace vcard {

class DdaModule {
 public:
  static constexpr unsigned kAxes = 6;
  static constexpr unsigned kFifoCapacity = 127;

  bool owns(std::uint32_t offset) const {
    return (offset >= 0x20 && offset <= 0x3C) || (offset >= 0x1A0 && offset <= 0x1BE);
  }
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);
  void reset();

  // One DDA cycle; `out` receives the pulses each axis outputs (0 if none).
  void cycle(bool emergencyStopInput, std::array<std::int32_t, kAxes>& out);

  std::uint16_t pending() const { return conditions_; }
  bool running() const;
  std::chrono::nanoseconds cyclePeriod() const;
  unsigned stock(unsigned axis) const { return fifos_[axis].count; }
  std::uint64_t overruns(unsigned axis) const { return fifos_[axis].overruns; }

 private:
  struct Fifo {
    std::array<std::uint16_t, kFifoCapacity> slots{};
    unsigned head = 0;
    unsigned count = 0;
    std::uint64_t overruns = 0;
  };
  void push(unsigned axis, std::uint16_t word);
  void drop(unsigned axis, unsigned n);
  void stockCheck(unsigned axis, unsigned before);

  std::array<Fifo, kAxes> fifos_{};
  std::array<std::uint16_t, kAxes> current_{};
  std::array<std::uint16_t, kAxes> outputConfig_{};
  std::array<std::uint16_t, kAxes> divider_{};
  std::array<std::uint32_t, kAxes> dividerRest_{};
  std::array<std::uint32_t, kAxes> counter_{};
  std::array<std::uint32_t, kAxes> counterLatch_{};
  std::uint16_t control_ = 0;
  std::uint16_t timing_ = 0;
  std::uint16_t minStock_ = 0;
  std::uint16_t counterEnable_ = 0;
  std::uint16_t conditions_ = 0;
};

}  // namespace vcard
