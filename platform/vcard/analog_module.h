// The analog side: closed-loop error counters, DAC outputs and ADC inputs.
//
// Choices where the card leaves the meaning open:
// Closed loop
// - The error counter of axis a, while enabled (control bit a), adds the
//   pulses the pulse engine outputs for the axis and subtracts the counts of
//   encoder channel a. It saturates at -32767..32767; reaching a bound raises
//   the axis's overflow condition (0x12C bit a) when its overflow interrupt is
//   enabled. The register reads the low 16 bits of the value latched by the
//   last write of 9 to 0x13E.
// - While the control runs (bit 15) the closed-loop command of axis a is
//   error x gain x 2^shift, limited to -32767..32767, in DAC code units.
// DAC
// - Volts = code / 3276.7, the inverse of the library's scale (10 V is code
//   32766). Outputs follow their source only while the conversion runs
//   (0x158 bit 15); stopped, they hold their last voltage. The clock divider
//   is stored.
// - Command source 1 puts the closed-loop command of the channel's axis on
//   the channel (channels 6 and 7 have no axis and output 0); that axis then
//   is a velocity drive (see plant.h).
// - Trigger sources (32 bits): bits 0..8 the index mark of encoder channel
//   0..8, bits 9..17 the compare match of channel 0..8, bits 18..23 the home
//   sensor of axis 0..5 becoming active, bits 24..31 the comparator event of
//   ADC channel 0..7. In trigger mode a channel outputs its software value
//   until a selected event, then its trigger value; leaving trigger mode
//   re-arms it.
// ADC
// - One conversion takes (clock divider + 1) microseconds. Conversion mode 0
//   scans the enabled channels in turn; mode 1 converts the single channel
//   repeatedly. Unipolar channels code 0..10 V as 0..4095 (409.6 per volt),
//   bipolar ones -5..5 V as -2048..2047 in 12-bit two's complement, rounded
//   to the nearest code and limited to the range.
// - Comparators compare codes (signed for bipolar channels). Compare type 0
//   fires when the result rises above the compare value, type 1 when it falls
//   below, type 2 at both; a field of 0 switches the comparator off. Compare
//   mask 1 masks channels 0..3, 2 masks channels 4..7, 3 masks all.
// - Conditions (0xF0 bits 0..9, cleared when read): bit 0 a scan finished
//   (mode 0) or a conversion finished (mode 1) with the conversion interrupt
//   enabled; bit 1 the tag channel was converted with the tag interrupt
//   enabled; bit 2 + c comparator c fired. Bit 10 (work status) is 1 while the
//   converter runs with something to convert.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "platform/chip/regs.h"
#include "platform/vcard/plant.h"

namespace vcard {

class PclModule {
 public:
  static constexpr unsigned kAxes = 6;
  bool owns(std::uint32_t offset) const { return offset >= 0x120 && offset <= 0x13E; }
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);
  void reset() { *this = PclModule{}; }

  void command(unsigned axis, std::int64_t pulses);
  void feedback(unsigned axis, std::int64_t counts);
  bool running() const;
  std::int32_t error(unsigned axis) const { return error_[axis]; }
  // The closed-loop command of the axis in DAC code units.
  std::int32_t output(unsigned axis) const;
  std::uint16_t pending() const { return conditions_; }

 private:
  void add(unsigned axis, std::int64_t delta);
  std::array<std::uint16_t, kAxes> gain_{};
  std::array<std::int32_t, kAxes> error_{};
  std::array<std::uint16_t, kAxes> latch_{};
  std::uint16_t overflowEnable_ = 0;
  std::uint16_t control_ = 0;
  std::uint16_t conditions_ = 0;
};

class DacModule {
 public:
  static constexpr unsigned kChannels = 8;
  bool owns(std::uint32_t offset) const { return offset >= 0x140 && offset <= 0x19E; }
  void write(std::uint32_t offset, std::uint16_t value);
  void reset() { *this = DacModule{}; }

  void trigger(std::uint32_t events);
  // Puts the outputs on the plant.
  void update(Plant& plant, const PclModule& pcl) const;
  bool running() const;
  // Whether axis a is driven by its closed-loop command.
  bool closedLoop(unsigned axis, const PclModule& pcl) const;
  static double volts(std::int32_t code) { return code / 3276.7; }

 private:
  std::array<std::int16_t, kChannels> output_{};
  std::array<std::int16_t, kChannels> trigOutput_{};
  std::array<std::uint32_t, kChannels> trigSource_{};
  std::array<bool, kChannels> triggered_{};
  std::uint16_t control_ = 0;
  std::uint16_t mode_ = 0;
};

class AdcModule {
 public:
  static constexpr unsigned kChannels = 8;
  bool owns(std::uint32_t offset) const { return offset >= 0xE0 && offset <= 0xF6; }
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);
  void reset() { *this = AdcModule{}; }

  // Runs the conversions due in `elapsed`; returns comparator events (bit c).
  std::uint32_t advance(std::chrono::nanoseconds elapsed, const Plant& plant);
  // Whether advance() would change anything: conversions run.
  bool timed() const { return working(); }
  std::uint16_t pending() const { return conditions_; }
  static std::uint16_t encode(double volts, bool unipolar);

 private:
  bool working() const {
    if (!chip::reg::bit(control_, chip::reg::kAdcRunBit)) return false;
    return chip::reg::bit(control_, chip::reg::kAdcConvModeBit) || (conversion_ & 0xFFu) != 0;
  }
  int signedCode(unsigned ch, std::uint16_t code) const;
  std::uint32_t convert(unsigned ch, const Plant& plant);
  std::array<std::uint16_t, kChannels> result_{};
  std::array<std::uint16_t, kChannels> comparator_{};
  std::uint16_t intEnable_ = 0;
  std::uint16_t divider_ = 0;
  std::uint16_t conversion_ = 0;
  std::uint16_t control_ = 0;
  std::uint16_t conditions_ = 0;
  unsigned next_ = 0;
  std::int64_t ns_ = 0;
};

}  // namespace vcard
