// What the peripheral functions share: channel and card checks, the
// closed-loop ownership of DAC channels, and the one call into the card path
// that each function makes, with the card path's answer as a library code.
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#include "export.h"
#include "library.h"

namespace vnl {

inline constexpr int kLdiInputs = 7;

inline bool channelOk(uint16_t channel, uint16_t card) {
  return channel < kAxesPerCard && cardOk(card);
}
inline bool ldiOk(uint16_t input, uint16_t card) {
  return input < kLdiInputs && cardOk(card);
}
inline bool singleBit(uint32_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}
inline bool voltsOk(float v) {
  return v >= -10.0f && v <= 10.0f;  // false for NaN as well
}
// A channel whose axis runs in the closed loop belongs to the loop's DAC output.
inline bool closedLoop(uint16_t channel, uint16_t card) {
  return lib().param[card * kAxesPerCard + channel].wCommandMode != 0;
}
inline bool anyClosedLoop(uint16_t card) {
  for (uint16_t ch = 0; ch < kAxesPerCard; ++ch)
    if (closedLoop(ch, card)) return true;
  return false;
}

// The request value that names a channel or an LDI input of a card.
inline uint16_t channelValue(uint16_t channel, uint16_t card) {
  return static_cast<uint16_t>(card * kAxesPerCard + channel);
}
inline uint16_t ldiValue(uint16_t input, uint16_t card) {
  return static_cast<uint16_t>(card * kLdiInputs + input);
}

// The card-path answer as a library code: 0 done, VNL_ERR_STATE refused.
inline int32_t cardResult(bool done) {
  return done ? 0 : VNL_ERR_STATE;
}

// One peripheral operation on the caller's thread. `argument` goes in the
// data field (a float as its bits).
template <class T = uint32_t>
int32_t peripheral(Peripheral code, uint16_t value, T argument = {}) {
  uint32_t data = 0;
  if constexpr (std::is_same_v<T, float>)
    data = std::bit_cast<uint32_t>(argument);
  else
    data = static_cast<uint32_t>(argument);
  return cardResult(lib().cardPath->peripheral(static_cast<uint8_t>(code), value, data) ==
                    cards::PeripheralResult::Done);
}
// A peripheral read: what the card read goes to *out.
template <class T>
int32_t peripheralRead(Peripheral code, uint16_t value, T* out) {
  uint32_t data = 0;
  if (lib().cardPath->peripheral(static_cast<uint8_t>(code), value, data) !=
      cards::PeripheralResult::Done)
    return VNL_ERR_STATE;
  if constexpr (std::is_same_v<T, float>)
    *out = std::bit_cast<float>(data);
  else
    *out = static_cast<T>(data);
  return 0;
}

}  // namespace vnl
