// The machine behind the virtual card: six axes that integrate the pulses the
// chip outputs, their encoders, over-travel and home sensors, the emergency
// stop and 24 V inputs, the analog inputs and outputs and the remote I/O
// slaves. A plain value: the chip drives it once per DDA cycle and the test
// bench sets its inputs and reads its outputs between cycles. Not thread-safe.
//
// How the plant reads the parts the card leaves open:
// - Positions are whole pulses. An axis moves by exactly the pulses the chip
//   outputs for it in a cycle; the output signal format and polarity are taken
//   as wired to match, so the signed count is what arrives.
// - Encoder feedback is counted in edges: an A/B encoder produces
//   `encoderCountsPerPulse` quadrature edges per pulse of travel (what a x4
//   decoder counts); for pulse-type inputs every edge stands for one pulse.
//   `encoderReversed` makes the feedback count down for positive travel.
//   Channels 6..8 are not tied to an axis; the bench sets them directly.
//   Changing the scale or direction of a moved axis makes its feedback jump,
//   and the chip counts the jump like motion.
// - The index mark comes once every `indexEvery` edges of feedback, at the
//   feedback values congruent to `indexPhase`; it is one edge wide. With the
//   default phase 0 an axis at position 0 sits on a mark.
// - Sensors: the upper over-travel sensor is active while position >=
//   upperLimit, the lower one while position <= lowerLimit, the home sensor
//   while homePosition <= position < homePosition + homeWidth. An active
//   sensor drives its input bit to its `...Level`; an inactive or absent one
//   to the opposite level. The default level is 0 (active low, normally
//   closed switches), matching the library's default home sensor mode 0.
// - The emergency stop input reads 1 while pressed; the 24 V sensor reads 1
//   while the supply is present (the default).
// - Local outputs: a bit of the LDO word is driven only while its output group
//   (four bits each) is enabled; an undriven output floats high (reads 1), so
//   before any group is enabled every servo is off and position ready is not
//   given. A tripped watchdog forces every servo off and position ready off.
// - Servo off does not stop an axis unless `ignorePulsesWhileServoOff` is set.
// - Closed loop: an axis whose DAC channel carries the closed-loop command is a
//   velocity drive: it ignores pulses and moves at `velocityPerVolt` pulses
//   per second for every volt of its DAC output.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/chip/regs.h"
#include "platform/vcard/export.h"

namespace vcard {

struct AxisConfig {
  std::int32_t encoderCountsPerPulse = 1;
  bool encoderReversed = false;
  std::int64_t indexEvery = 10000;  // edges between index marks; 0 = no index
  std::int64_t indexPhase = 0;
  std::optional<std::int64_t> upperLimit;  // pulses; no value = no sensor
  std::optional<std::int64_t> lowerLimit;
  std::optional<std::int64_t> homePosition;
  std::int64_t homeWidth = 100;
  unsigned upperLevel = 0;  // input bit value while the sensor is active
  unsigned lowerLevel = 0;
  unsigned homeLevel = 0;
  bool ignorePulsesWhileServoOff = false;
  double velocityPerVolt = 10000.0;  // closed-loop drive, pulses/s per volt
};

class VCARD_EXPORT Plant {
 public:
  static constexpr unsigned kAxes = 6;
  static constexpr unsigned kEncoderChannels = 9;
  static constexpr unsigned kAnalogChannels = 8;
  static constexpr unsigned kRioPorts = 2;
  static constexpr unsigned kRioSlaves = 3;
  static constexpr unsigned kRioWords = 4;

  explicit Plant(const chip::reg::LioLayout& layout = chip::reg::kLayout210);

  // ---- axes (bench side)
  AxisConfig& axis(unsigned a) { return axes_[a].config; }
  const AxisConfig& axis(unsigned a) const { return axes_[a].config; }
  std::int64_t position(unsigned a) const { return axes_[a].position; }
  // Moves the axis as if the machine had moved it: encoders and sensors follow.
  void setPosition(unsigned a, std::int64_t pulses) { axes_[a].position = pulses; }
  void moveBy(unsigned a, std::int64_t pulses) { axes_[a].position += pulses; }
  // Pulses the chip has output for the axis since construction, whether or
  // not the axis took them (a velocity-driven axis is sent none).
  std::int64_t pulsesReceived(unsigned a) const { return axes_[a].received; }

  // ---- encoder inputs
  // Feedback edges of channel ch: derived from the axis for 0..5, set by the
  // bench for 6..8.
  std::int64_t encoderFeedback(unsigned ch) const;
  void setAuxEncoder(unsigned ch, std::int64_t edges) { aux_[ch - kAxes].edges = edges; }
  void moveAuxEncoder(unsigned ch, std::int64_t edges) { aux_[ch - kAxes].edges += edges; }
  void setAuxIndex(unsigned ch, std::int64_t every, std::int64_t phase = 0);
  // Whether the feedback of channel ch sits on an index mark.
  bool atIndex(unsigned ch, std::int64_t feedback) const;
  std::int64_t indexEvery(unsigned ch) const;
  std::int64_t indexPhase(unsigned ch) const;

  // ---- sensors and digital inputs
  bool upperLimitActive(unsigned a) const;
  bool lowerLimitActive(unsigned a) const;
  bool homeActive(unsigned a) const;
  void setEmergencyStop(bool pressed) { emergencyStop_ = pressed; }
  bool emergencyStop() const { return emergencyStop_; }
  void set24V(bool present) { supply24V_ = present; }
  // Forces the input bits in `mask` to `value`, over any sensor.
  void setLdiInputs(std::uint32_t mask, std::uint32_t value);
  void setDfiInputs(std::uint32_t mask, std::uint32_t value);
  void clearInputOverrides();
  // The input words as the chip sees them.
  std::uint32_t ldiWord() const;
  std::uint32_t dfiWord() const;

  // ---- digital outputs
  std::uint32_t ldoOutputs() const { return ldo_; }
  bool servoOn(unsigned a) const;
  bool positionReady() const;
  bool pulseDacEnabled() const;
  bool watchdogTripped() const { return watchdogTripped_; }

  // ---- analog
  void setAdcVolts(unsigned ch, double volts) { adcVolts_[ch] = volts; }
  double adcVolts(unsigned ch) const { return adcVolts_[ch]; }
  double dacVolts(unsigned ch) const { return dacVolts_[ch]; }

  // ---- remote I/O slaves
  std::uint16_t rioSlaveOutput(unsigned port, unsigned slave, unsigned word) const {
    return rio_[port][slave].outputs[word];
  }
  std::uint16_t rioSlaveInput(unsigned port, unsigned slave, unsigned word) const {
    return rio_[port][slave].inputs[word];
  }
  void setRioSlaveInput(unsigned port, unsigned slave, unsigned word, std::uint16_t value) {
    rio_[port][slave].inputs[word] = value;
  }
  bool rioSlaveConnected(unsigned port, unsigned slave) const {
    return rio_[port][slave].connected;
  }
  void setRioSlaveConnected(unsigned port, unsigned slave, bool on) {
    rio_[port][slave].connected = on;
  }

  // ---- chip side: what the chip's outputs do to the machine
  void applyPulses(unsigned a, std::int32_t pulses);
  // Moves a velocity-driven axis for dtSeconds at the given command voltage.
  void driveVelocity(unsigned a, double volts, double dtSeconds);
  void setLdoOutputs(std::uint32_t word) { ldo_ = word; }
  void setWatchdogTripped(bool on) { watchdogTripped_ = on; }
  void setDacVolts(unsigned ch, double volts) { dacVolts_[ch] = volts; }
  void setRioSlaveOutput(unsigned port, unsigned slave, unsigned word, std::uint16_t value) {
    rio_[port][slave].outputs[word] = value;
  }

 private:
  struct Axis {
    AxisConfig config;
    std::int64_t position = 0;
    std::int64_t received = 0;
    double residue = 0.0;  // fraction of a pulse left by velocity driving
  };
  struct AuxEncoder {
    std::int64_t edges = 0;
    std::int64_t indexEvery = 10000;
    std::int64_t indexPhase = 0;
  };
  struct RioSlave {
    std::array<std::uint16_t, kRioWords> inputs{};
    std::array<std::uint16_t, kRioWords> outputs{};
    bool connected = true;
  };

  chip::reg::LioLayout layout_;
  std::array<Axis, kAxes> axes_{};
  std::array<AuxEncoder, kEncoderChannels - kAxes> aux_{};
  bool emergencyStop_ = false;
  bool supply24V_ = true;
  std::uint32_t ldiMask_ = 0, ldiValue_ = 0, dfiMask_ = 0, dfiValue_ = 0;
  std::uint32_t ldo_ = 0xFFFFFFFFu;
  bool watchdogTripped_ = false;
  std::array<double, kAnalogChannels> adcVolts_{};
  std::array<double, kAnalogChannels> dacVolts_{};
  std::array<std::array<RioSlave, kRioSlaves>, kRioPorts> rio_{};
};

}  // namespace vcard
