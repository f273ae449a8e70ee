// What the card's peripheral functions share, served directly
// (passthrough_api.cpp) or through the request mailbox (peripheral_service.cpp):
// channel and card checks, the card-access result as a library code, and
// the closed-loop ownership of DAC channels.
#pragma once

#include <cstdint>

#include "export.h"
#include "library.h"

namespace vnl {

inline constexpr int kChannels = 6;  // encoder, DAC and ADC channels of one card
inline constexpr int kLdiInputs = 7;

// A card-access result (non-zero: done) as a library code.
inline int32_t cardResult(int r) {
  return r != 0 ? 0 : VNL_ERR_STATE;
}
inline bool channelOk(uint16_t channel, uint16_t card) {
  return channel < kChannels && cardOk(card);
}
inline bool singleBit(uint32_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}
// The encoder's input-rate code for a multiplication of 1, 2 or 4; 0 otherwise.
inline uint16_t rateCode(uint32_t rate) {
  switch (rate) {
    case 1:
      return 1;
    case 2:
      return 2;
    case 4:
      return 3;
    default:
      return 0;
  }
}
inline bool voltsOk(float v) {
  return v >= -10.0f && v <= 10.0f;  // false for NaN as well
}
// A channel whose axis runs in the closed loop belongs to the loop's DAC output.
inline bool closedLoop(uint16_t channel, uint16_t card) {
  return lib().param[card * kChannels + channel].wCommandMode != 0;
}
inline bool anyClosedLoop(uint16_t card) {
  for (uint16_t ch = 0; ch < kChannels; ++ch)
    if (closedLoop(ch, card)) return true;
  return false;
}

}  // namespace vnl
