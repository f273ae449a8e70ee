// The pulse engine's DDA cycle: which clock divider a requested time gives
// with a bit-length code, and how long the cycle then lasts. The card-access
// library programs the chip with it, the virtual card runs its cycle by it,
// and the motion library plans simulated runs with the cycle a card would run.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace chip {

// The bit-length code the motion library runs the engine with: 15-bit
// commands, up to 32767 pulses per axis and cycle.
inline constexpr std::uint16_t kDdaMotionBitLengthCode = 5;

// With bit-length code k and clock divider d the cycle lasts
// 2^(k+8) * (d + 1) periods of 0.1 us (2^(10+k) * (d + 1) of the 40 MHz clock).
constexpr std::int64_t ddaCycleNs(unsigned code, unsigned divider) {
  return (std::int64_t{1} << (code + 8)) * (std::int64_t{divider} + 1) * 100;
}

struct DdaTiming {
  std::uint16_t divider;  // d, 0..4095
  float timeMs;           // the cycle actually obtained
};

inline constexpr float kDdaTimeLimitMs[6] = {105.0f, 210.0f, 420.0f, 840.0f, 1680.0f, 3380.0f};

// The divider for a requested time: the longest cycle not above it. Refused
// (nullopt) for a code above 5, a negative or non-number time, or a time above
// the code's limit. Times too short for one base period (0 included)
// saturate, like too long ones, at the largest divider.
inline std::optional<DdaTiming> ddaTiming(float timeMs, std::uint16_t code) {
  if (code > 5) return std::nullopt;
  if (std::isnan(timeMs) || timeMs < 0.0f || timeMs > kDdaTimeLimitMs[code]) return std::nullopt;
  const double base = static_cast<double>(256u << code);
  const double exact = static_cast<double>(timeMs) * 10000.0 / base - 1.0;
  const auto d = static_cast<std::int32_t>(exact);  // toward zero
  auto divider = static_cast<std::uint16_t>(d);     // negative wraps above 4095
  if (divider > 4095) divider = 4095;
  const auto time = static_cast<float>(base * (divider + 1) * 0.0001);
  return DdaTiming{divider, time};
}

}  // namespace chip
