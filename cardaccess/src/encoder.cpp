// Encoder: nine counting channels in three groups of three. Channel
// configuration, trigger, group interrupt enables and the encoder control
// register are write-only and kept in shadows.
#include "cardaccess/src/card.h"
#include "platform/chip/regs.h"

using namespace qora;
namespace r = chip::reg;

namespace {

constexpr std::uint16_t kChannels = QORA_ENC_CHANNELS;

unsigned groupOf(unsigned channel) {
  return channel / 3;
}
unsigned positionOf(unsigned channel) {
  return channel % 3;
}

int read32(std::uint16_t channel, std::uint32_t lowOffset, std::uint32_t highOffset,
           std::int32_t* value, std::uint16_t card) {
  if (channel >= kChannels || value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    // Low half first; nothing holds the halves together, the counter may move.
    const std::uint32_t low = c.read(lowOffset);
    const std::uint32_t high = c.read(highOffset);
    *value = static_cast<std::int32_t>((high << 16) | low);
  });
}

int configBit(std::uint16_t channel, unsigned bitNo, bool on, std::uint16_t card) {
  if (channel >= kChannels) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().encConfig[channel];
    s = r::setBit(s, bitNo, on);
    c.write(r::encConfig(channel), s);
  });
}

int configField(std::uint16_t channel, r::Field field, std::uint16_t value, std::uint16_t card) {
  if (channel >= kChannels || value > 3) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().encConfig[channel];
    s = field.set(s, value);
    c.write(r::encConfig(channel), s);
  });
}

int configGet(std::uint16_t channel, r::Field field, std::uint16_t* out, std::uint16_t card) {
  if (channel >= kChannels || out == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    *out = static_cast<std::uint16_t>(field.get(c.shadow().encConfig[channel]));
  });
}

int groupEnableBit(std::uint16_t channel, unsigned base, bool on, std::uint16_t card) {
  if (channel >= kChannels) return QORA_REFUSED;
  const unsigned g = groupOf(channel);
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().encGroupEnable[g];
    s = r::setBit(s, base + positionOf(channel), on);
    c.write(r::encGroup(g), s);
  });
}

int controlUpdate(std::uint16_t card, std::uint16_t (*change)(std::uint16_t, std::uint16_t),
                  std::uint16_t arg) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().encControl;
    s = change(s, arg);
    c.write(r::kEncControl, s);
  });
}

int groupCondition(unsigned group, std::uint8_t* flags, std::uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    splitFlags(c.read(r::encGroup(group)), r::kEncConditionFirstBit, r::kEncConditionBits, flags);
  });
}

}  // namespace

extern "C" {

int QORA_ENC_GetValue(uint16_t channel, int32_t* value, uint16_t card) {
  return read32(channel, r::encCounterLow(channel % kChannels),
                r::encCounterHigh(channel % kChannels), value, card);
}

int QORA_ENC_GetLatchValue(uint16_t channel, int32_t* value, uint16_t card) {
  return read32(channel, r::encLatchLow(channel % kChannels), r::encLatchHigh(channel % kChannels),
                value, card);
}

int QORA_ENC_SetCompValue(uint16_t channel, int32_t value, uint16_t card) {
  if (channel >= kChannels) return QORA_REFUSED;
  const auto bits = static_cast<std::uint32_t>(value);
  return withCard(card, [&](Chip& c) {
    c.write(r::encCompLow(channel), bits & 0xFFFFu);
    c.write(r::encCompHigh(channel), bits >> 16);
  });
}

int QORA_ENC_ClearCounter(uint16_t channel, uint16_t card) {
  if (channel >= kChannels) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::kEncClear, 1u << channel);
    c.write(r::kEncClear, 0);
  });
}

int QORA_ENC_StartInput(uint16_t card) {
  return controlUpdate(
      card, [](std::uint16_t s, std::uint16_t) { return r::setBit(s, r::kEncStartBit, true); }, 0);
}

int QORA_ENC_StopInput(uint16_t card) {
  return controlUpdate(
      card, [](std::uint16_t s, std::uint16_t) { return r::setBit(s, r::kEncStartBit, false); }, 0);
}

int QORA_ENC_SetFilterClock(uint16_t clock, uint16_t card) {
  if (clock > 255) return QORA_REFUSED;
  return controlUpdate(
      card, [](std::uint16_t s, std::uint16_t v) { return r::kEncFilterClock.set(s, v); }, clock);
}

int QORA_ENC_SetInputType(uint16_t channel, uint16_t type, uint16_t card) {
  return configField(channel, r::kEncCfgType, type, card);
}
int QORA_ENC_SetInputRate(uint16_t channel, uint16_t rate, uint16_t card) {
  return configField(channel, r::kEncCfgRate, rate, card);
}
int QORA_ENC_GetInputType(uint16_t channel, uint16_t* type, uint16_t card) {
  return configGet(channel, r::kEncCfgType, type, card);
}
int QORA_ENC_GetInputRate(uint16_t channel, uint16_t* rate, uint16_t card) {
  return configGet(channel, r::kEncCfgRate, rate, card);
}

int QORA_ENC_EnableInAInverse(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgAInverseBit, true, card);
}
int QORA_ENC_DisableInAInverse(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgAInverseBit, false, card);
}
int QORA_ENC_EnableInBInverse(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgBInverseBit, true, card);
}
int QORA_ENC_DisableInBInverse(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgBInverseBit, false, card);
}
int QORA_ENC_EnableInABSwap(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgABSwapBit, true, card);
}
int QORA_ENC_DisableInABSwap(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgABSwapBit, false, card);
}
int QORA_ENC_EnableInCInverse(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgCInverseBit, true, card);
}
int QORA_ENC_DisableInCInverse(uint16_t channel, uint16_t card) {
  return configBit(channel, r::kEncCfgCInverseBit, false, card);
}

int QORA_ENC_SetTrigMode(uint16_t channel, uint16_t mode, uint16_t card) {
  if (channel >= kChannels || mode > 1) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().encTrigger[channel];
    s = r::setBit(s, r::kEncTrigModeBit, mode != 0);
    c.write(r::encTrigger(channel), s);
  });
}

int QORA_ENC_SetTrigSource(uint16_t channel, uint16_t source, uint16_t card) {
  if (channel >= kChannels || source > r::kEncTrigSource.mask()) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().encTrigger[channel];
    s = r::kEncTrigSource.set(s, source);
    c.write(r::encTrigger(channel), s);
  });
}

int QORA_ENC_EnableCompInt(uint16_t channel, uint16_t card) {
  return groupEnableBit(channel, r::kEncGroupCompIntBit, true, card);
}
int QORA_ENC_DisableCompInt(uint16_t channel, uint16_t card) {
  return groupEnableBit(channel, r::kEncGroupCompIntBit, false, card);
}
int QORA_ENC_EnableIndexInt(uint16_t channel, uint16_t card) {
  return groupEnableBit(channel, r::kEncGroupIndexIntBit, true, card);
}
int QORA_ENC_DisableIndexInt(uint16_t channel, uint16_t card) {
  return groupEnableBit(channel, r::kEncGroupIndexIntBit, false, card);
}

int QORA_ENC_GetIndexStatus(uint16_t channel, uint16_t* status, uint16_t card) {
  if (channel >= kChannels || status == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    const auto group = c.read(r::encGroup(groupOf(channel)));
    *status = r::bit(group, r::kEncGroupIndexBit + positionOf(channel)) ? 1 : 0;
  });
}

int QORA_ENC012_GetIntCondition(uint8_t* flags, uint16_t card) {
  return groupCondition(0, flags, card);
}
int QORA_ENC345_GetIntCondition(uint8_t* flags, uint16_t card) {
  return groupCondition(1, flags, card);
}
int QORA_ENC678_GetIntCondition(uint8_t* flags, uint16_t card) {
  return groupCondition(2, flags, card);
}

}  // extern "C"
