// Closed loop (error counters and scale gains), DAC outputs and ADC inputs
// with their comparators.
#include <cmath>

#include "cardaccess/src/card.h"
#include "cardaccess/src/encoding.h"
#include "platform/chip/regs.h"

using namespace qora;
namespace r = chip::reg;

namespace {

constexpr std::uint16_t kPclAxes = QORA_PCL_AXES;
constexpr std::uint16_t kDacChannels = QORA_DAC_CHANNELS;
constexpr std::uint16_t kAdcChannels = QORA_ADC_CHANNELS;

// ---- closed loop

int pclControlBit(unsigned bitNo, bool on, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().pclControl;
    s = r::setBit(s, bitNo, on);
    c.write(r::kPclControl, s);
  });
}

int pclOverflow(std::uint16_t axis, bool on, std::uint16_t card) {
  if (axis >= kPclAxes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().pclOverflowEnable;
    s = r::setBit(s, axis, on);
    c.write(r::kPclOverflowEnable, s);
  });
}

// ---- DAC

int dacControl(std::uint16_t card, r::Field field, std::uint16_t value) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().dacControl;
    s = field.set(s, value);
    c.write(r::kDacControl, s);
  });
}

int dacModeBit(std::uint16_t channel, unsigned base, bool on, std::uint16_t card) {
  if (channel >= kDacChannels) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().dacMode;
    s = r::setBit(s, base + channel, on);
    c.write(r::kDacMode, s);
  });
}

int dacValue(std::uint16_t channel, float volts, std::uint32_t (*offset)(unsigned),
             std::uint16_t card) {
  if (channel >= kDacChannels) return QORA_REFUSED;
  const auto word = enc::dacWord(volts);
  if (!word) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { c.write(offset(channel), *word); });
}

// ---- ADC

bool unipolar(const Shadows& s, unsigned channel) {
  return s.adcConvType[channel] != 0;
}

// The comparator word reaches the chip with its type bits only while the
// channel's compare interrupt is enabled; otherwise the comparator is off.
void writeComparator(Chip& c, unsigned channel) {
  const auto& s = c.shadow();
  std::uint16_t word = s.adcComparator[channel];
  if (!s.adcCompIntEnabled[channel]) word = r::kAdcCompType.set(word, 0);
  c.write(r::adcComparator(channel), word);
}

bool setCompValue(Chip& c, unsigned channel, float volts) {
  auto& s = c.shadow();
  const auto value = enc::adcCompValue(volts, unipolar(s, channel));
  if (!value) return false;
  s.adcComparator[channel] = r::kAdcCompValue.set(s.adcComparator[channel], *value);
  writeComparator(c, channel);
  return true;
}

int adcControl(std::uint16_t card, r::Field field, std::uint16_t value) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().adcControl;
    s = field.set(s, value);
    c.write(r::kAdcControl, s);
  });
}

int adcIntEnableBit(unsigned bitNo, bool on, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().adcIntEnable;
    s = r::setBit(s, bitNo, on);
    c.write(r::kAdcIntEnable, s);
  });
}

int adcConversionBit(unsigned bitNo, bool on, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().adcConversion;
    s = r::setBit(s, bitNo, on);
    c.write(r::kAdcConversion, s);
  });
}

int adcCompInt(std::uint16_t channel, bool on, std::uint16_t card) {
  if (channel >= kAdcChannels) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.shadow().adcCompIntEnabled[channel] = on;
    writeComparator(c, channel);
  });
}

}  // namespace

extern "C" {

// ---- closed loop

int QORA_PCL_SetScaleGain(uint16_t axis, uint16_t gain, int16_t shift, uint16_t card) {
  if (axis >= kPclAxes || gain < 1 || gain > 127 || shift < -7 || shift > 7) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().pclScaleGain[axis];
    s = static_cast<std::uint16_t>((s & r::kPclGainKeepMask) | enc::shiftCode(shift) |
                                   r::kPclGain.set(0, gain));
    c.write(r::pclScaleGain(axis), s);
  });
}

int QORA_PCL_GetErrorCounter(uint16_t axis, int32_t* value, uint16_t card) {
  if (axis >= kPclAxes || value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::kPclCounterPrepare, r::kPclCounterPrepareValue);
    *value = static_cast<std::int32_t>(c.read(r::pclErrorCounter(axis)));
  });
}

int QORA_PCL_EnableOverflowInt(uint16_t axis, uint16_t card) {
  return pclOverflow(axis, true, card);
}
int QORA_PCL_DisableOverflowInt(uint16_t axis, uint16_t card) {
  return pclOverflow(axis, false, card);
}

int QORA_PCL_EnableErrorCounter(uint16_t axis, uint16_t card) {
  if (axis >= kPclAxes) return QORA_REFUSED;
  return pclControlBit(r::kPclCtlCounterEnableBit + axis, true, card);
}
int QORA_PCL_DisableErrorCounter(uint16_t axis, uint16_t card) {
  if (axis >= kPclAxes) return QORA_REFUSED;
  return pclControlBit(r::kPclCtlCounterEnableBit + axis, false, card);
}

int QORA_PCL_ClearErrorCounter(uint16_t axis, uint16_t card) {
  if (axis >= kPclAxes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().pclControl;
    s = r::setBit(s, r::kPclCtlClearBit + axis, true);
    c.write(r::kPclControl, s);
    s = r::setBit(s, r::kPclCtlClearBit + axis, false);
    c.write(r::kPclControl, s);
  });
}

int QORA_PCL_StartControl(uint16_t card) {
  return pclControlBit(r::kPclCtlRunBit, true, card);
}
int QORA_PCL_StopControl(uint16_t card) {
  return pclControlBit(r::kPclCtlRunBit, false, card);
}

int QORA_PCL_GetIntCondition(uint8_t* flags, uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    splitFlags(c.read(r::kPclIntCondition), 0, r::kPclConditionBits, flags);
  });
}

// ---- DAC

int QORA_DAC_SetOutput(uint16_t channel, float volts, uint16_t card) {
  return dacValue(channel, volts, r::dacOutput, card);
}

int QORA_DAC_SetTrigOutput(uint16_t channel, float volts, uint16_t card) {
  return dacValue(channel, volts, r::dacTrigOutput, card);
}

int QORA_DAC_SetTrigSource(uint16_t channel, uint32_t source, uint16_t card) {
  if (channel >= kDacChannels) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::dacTrigSourceLow(channel), source & 0xFFFFu);
    c.write(r::dacTrigSourceHigh(channel), source >> 16);
  });
}

int QORA_DAC_SetClockDivider(uint16_t divider, uint16_t card) {
  if (divider > 255) return QORA_REFUSED;
  return dacControl(card, r::kDacClockDivider, divider);
}

int QORA_DAC_StartConv(uint16_t card) {
  return dacControl(card, r::Field{r::kDacRunBit, 1}, 1);
}
int QORA_DAC_StopConv(uint16_t card) {
  return dacControl(card, r::Field{r::kDacRunBit, 1}, 0);
}

int QORA_DAC_EnableTrigMode(uint16_t channel, uint16_t card) {
  return dacModeBit(channel, r::kDacTrigModeBit, true, card);
}
int QORA_DAC_DisableTrigMode(uint16_t channel, uint16_t card) {
  return dacModeBit(channel, r::kDacTrigModeBit, false, card);
}

int QORA_DAC_SetCmdSource(uint16_t channel, uint16_t source, uint16_t card) {
  if (source > 1) return QORA_REFUSED;
  return dacModeBit(channel, r::kDacCmdSourceBit, source != 0, card);
}

// ---- ADC

int QORA_ADC_GetInput(uint16_t channel, float* volts, uint16_t card) {
  if (channel >= kAdcChannels || volts == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    const auto raw = static_cast<std::uint16_t>(r::kAdcResult.get(c.read(r::adcResult(channel))));
    *volts = enc::adcVolts(raw, unipolar(c.shadow(), channel));
  });
}

int QORA_ADC_SetCompValue(uint16_t channel, float volts, uint16_t card) {
  if (channel >= kAdcChannels) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { return setCompValue(c, channel, volts); });
}

int QORA_ADC_GetCompValue(uint16_t channel, float* volts, uint16_t card) {
  if (channel >= kAdcChannels || volts == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    const auto& s = c.shadow();
    const auto value = static_cast<std::uint16_t>(r::kAdcCompValue.get(s.adcComparator[channel]));
    *volts = enc::adcCompVolts(value, unipolar(s, channel));
  });
}

int QORA_ADC_SetCompType(uint16_t channel, uint16_t type, uint16_t card) {
  if (channel >= kAdcChannels || type > 2) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().adcComparator[channel];
    s = r::kAdcCompType.set(s, type + 1u);
    writeComparator(c, channel);
  });
}

int QORA_ADC_EnableCompInt(uint16_t channel, uint16_t card) {
  return adcCompInt(channel, true, card);
}
int QORA_ADC_DisableCompInt(uint16_t channel, uint16_t card) {
  return adcCompInt(channel, false, card);
}

int QORA_ADC_SetCompMask(uint16_t mask, uint16_t card) {
  if (mask > 3) return QORA_REFUSED;
  return adcControl(card, r::kAdcCompMask, mask);
}

int QORA_ADC_EnableConvInt(uint16_t card) {
  return adcIntEnableBit(r::kAdcConvIntBit, true, card);
}
int QORA_ADC_DisableConvInt(uint16_t card) {
  return adcIntEnableBit(r::kAdcConvIntBit, false, card);
}
int QORA_ADC_EnableTagInt(uint16_t card) {
  return adcIntEnableBit(r::kAdcTagIntBit, true, card);
}
int QORA_ADC_DisableTagInt(uint16_t card) {
  return adcIntEnableBit(r::kAdcTagIntBit, false, card);
}

int QORA_ADC_SetClockDivider(uint32_t divider, uint16_t card) {
  if (divider > 255) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { c.write(r::kAdcClockDivider, divider); });
}

int QORA_ADC_SetConvType(uint16_t channel, uint16_t type, uint16_t card) {
  if (channel >= kAdcChannels || type > 1) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow();
    // The threshold in volts under the old type, re-encoded for the new one.
    const auto value = static_cast<std::uint16_t>(r::kAdcCompValue.get(s.adcComparator[channel]));
    const float threshold = enc::adcCompVolts(value, unipolar(s, channel));
    s.adcConvType[channel] = static_cast<std::uint8_t>(type);
    s.adcConversion = r::setBit(s.adcConversion, r::kAdcConvTypeBit + channel, type != 0);
    c.write(r::kAdcConversion, s.adcConversion);
    // A threshold outside the new type's range (a negative one turning
    // unipolar) cannot be re-encoded; the comparator then keeps its word.
    (void)setCompValue(c, channel, threshold);
  });
}

int QORA_ADC_GetConvType(uint16_t channel, uint16_t* type, uint16_t card) {
  if (channel >= kAdcChannels || type == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *type = c.shadow().adcConvType[channel]; });
}

int QORA_ADC_EnableConvChannel(uint16_t channel, uint16_t card) {
  if (channel >= kAdcChannels) return QORA_REFUSED;
  return adcConversionBit(r::kAdcConvEnableBit + channel, true, card);
}
int QORA_ADC_DisableConvChannel(uint16_t channel, uint16_t card) {
  if (channel >= kAdcChannels) return QORA_REFUSED;
  return adcConversionBit(r::kAdcConvEnableBit + channel, false, card);
}

int QORA_ADC_SetConvMode(uint16_t mode, uint16_t card) {
  if (mode > 1) return QORA_REFUSED;
  return adcControl(card, r::Field{r::kAdcConvModeBit, 1}, mode);
}
int QORA_ADC_SetTagChannel(uint16_t channel, uint16_t card) {
  if (channel >= kAdcChannels) return QORA_REFUSED;
  return adcControl(card, r::kAdcTagChannel, channel);
}
int QORA_ADC_SetSingleChannel(uint16_t channel, uint16_t card) {
  if (channel >= kAdcChannels) return QORA_REFUSED;
  return adcControl(card, r::kAdcSingleChannel, channel);
}
int QORA_ADC_StartConv(uint16_t card) {
  return adcControl(card, r::Field{r::kAdcRunBit, 1}, 1);
}
int QORA_ADC_StopConv(uint16_t card) {
  return adcControl(card, r::Field{r::kAdcRunBit, 1}, 0);
}

int QORA_ADC_GetWorkStatus(uint16_t* status, uint16_t card) {
  if (status == nullptr) return QORA_REFUSED;
  return withCard(card,
                  [&](Chip& c) { *status = r::bit(c.read(r::kAdcStatus), r::kAdcWorkStatusBit); });
}

int QORA_ADC_GetIntCondition(uint8_t* flags, uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  return withCard(
      card, [&](Chip& c) { splitFlags(c.read(r::kAdcStatus), 0, r::kAdcConditionBits, flags); });
}

}  // extern "C"
