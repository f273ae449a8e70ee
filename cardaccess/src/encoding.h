// Pure conversions between caller values and chip register words. No state,
// no card: every module unit uses these, and the tests pin them directly.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "platform/chip/dda_timing.h"

namespace qora::enc {

// Pulse commands are held by the chip in sign-magnitude form: bit 15 is the
// sign (set: negative direction), bits 0..14 the magnitude. The low 16 bits
// of the argument are the signed count; -32768 becomes 0x8000 (negative zero).
constexpr std::uint16_t pulseCommand(std::uint32_t pulses) {
  const auto v = static_cast<std::uint16_t>(pulses & 0xFFFFu);
  if ((v & 0x8000u) == 0) return v;
  const auto magnitude = static_cast<std::uint16_t>((0u - v) & 0x7FFFu);
  return static_cast<std::uint16_t>(0x8000u | magnitude);
}

// The command an axis is outputting, read back in sign-magnitude form.
constexpr std::int32_t currentCommand(std::uint16_t raw) {
  if (raw < 0x8000u) return raw;
  return -static_cast<std::int32_t>(raw & 0x7FFFu);
}

// DDA timing: the chip's own rule, shared with the virtual card.
using chip::DdaTiming;
using chip::ddaTiming;
using chip::kDdaTimeLimitMs;

// Closed-loop shift code in bits 8..11: bit 11 sign, bits 8..10 magnitude.
constexpr std::uint16_t shiftCode(std::int16_t shift) {
  const unsigned magnitude =
      shift < 0 ? 8u + static_cast<unsigned>(-shift) : static_cast<unsigned>(shift);
  return static_cast<std::uint16_t>(magnitude << 8);
}

// DAC output word for -10 V .. 10 V. The scale is the single-precision
// constant 3276.7f, but the product is formed in double: in single precision
// 10 V would round up to 32767 instead of the intended 32766.
inline std::optional<std::uint16_t> dacWord(float volts) {
  if (!(volts >= -10.0f && volts <= 10.0f)) return std::nullopt;  // NaN fails too
  const double product = static_cast<double>(volts) * static_cast<double>(3276.7f);
  const auto value = static_cast<std::int16_t>(std::trunc(product));
  return static_cast<std::uint16_t>(value);
}

inline constexpr float kAdcVoltsPerCount = 0.00244140625f;    // 10 / 4096
inline constexpr float kAdcCompUnipolarStep = 0.0048828125f;  // 20 / 4096
inline constexpr float kAdcCompBipolarStep = 0.00048828125f;  // 2 / 4096, times 10

// ADC conversion result (bits 0..11) in volts; bipolar results are
// sign-extended from bit 11.
inline float adcVolts(std::uint16_t raw, bool unipolar) {
  const int value = raw & 0xFFF;
  if (unipolar) return static_cast<float>(value) * kAdcVoltsPerCount;
  const int signedValue = (value ^ 0x800) - 0x800;
  return static_cast<float>(signedValue) * kAdcVoltsPerCount;
}

// ADC comparator value (12 bits) for a threshold in volts: bipolar -10..10 V,
// unipolar 0..20 V. Formed in single precision, so that 10 V bipolar gives
// 2047 (in double, 204.7 * 10 falls just short of it).
inline std::optional<std::uint16_t> adcCompValue(float volts, bool unipolar) {
  if (unipolar) {
    if (!(volts >= 0.0f && volts <= 20.0f)) return std::nullopt;
    const float product = volts * 204.75f;
    return static_cast<std::uint16_t>(static_cast<std::int32_t>(product) & 0xFFF);
  }
  if (!(volts >= -10.0f && volts <= 10.0f)) return std::nullopt;
  const float product = volts * 204.7f;
  return static_cast<std::uint16_t>(static_cast<std::int32_t>(product) & 0xFFF);
}

// The threshold a comparator value stands for (inverse of adcCompValue).
inline float adcCompVolts(std::uint16_t value, bool unipolar) {
  const int v = value & 0xFFF;
  if (unipolar) return static_cast<float>(v) * kAdcCompUnipolarStep;
  if ((v & 0x800) == 0) return static_cast<float>(v) * kAdcCompBipolarStep * 10.0f;
  return -(static_cast<float>((-v) & 0xFFF) * kAdcCompBipolarStep * 10.0f);
}

}  // namespace qora::enc
