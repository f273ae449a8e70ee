// The card's encoder, local-I/O trigger, timer, watchdog, DAC and ADC
// functions under the library's names. Each function checks readiness and
// its indices, then runs one peripheral operation of the card path on the
// caller's thread (the same operation the request mailbox serves for the
// code) and returns 0 when the card did it, -14 when it refused.
#include <cstdint>

#include "peripheral.h"

using vnl::channelOk;
using vnl::channelValue;
using vnl::lib;
using vnl::peripheral;
using vnl::peripheralRead;
using P = vnl::Peripheral;

// A function of (channel, card) with no further argument.
#define VNL_CHANNEL_CALL(name, code)                         \
  VNL_EXPORT int32_t name(uint16_t channel, uint16_t card) { \
    if (!lib().ready()) return VNL_ERR_NOT_READY;            \
    if (!channelOk(channel, card)) return VNL_ERR_RANGE;     \
    return peripheral(P::code, channelValue(channel, card)); \
  }
// A function of the card alone.
#define VNL_CARD_CALL(name, code)                 \
  VNL_EXPORT int32_t name(uint16_t card) {        \
    if (!lib().ready()) return VNL_ERR_NOT_READY; \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE; \
    return peripheral(P::code, card);             \
  }
// A function of (value, card).
#define VNL_CARD_VALUE_CALL(name, type, code)          \
  VNL_EXPORT int32_t name(type value, uint16_t card) { \
    if (!lib().ready()) return VNL_ERR_NOT_READY;      \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE;      \
    return peripheral(P::code, card, value);           \
  }
// A DAC function of (channel, card) the closed loop may own.
#define VNL_DAC_CHANNEL_CALL(name, code)                            \
  VNL_EXPORT int32_t name(uint16_t channel, uint16_t card) {        \
    if (!lib().ready()) return VNL_ERR_NOT_READY;                   \
    if (!channelOk(channel, card)) return VNL_ERR_RANGE;            \
    if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP; \
    return peripheral(P::code, channelValue(channel, card));        \
  }
// A DAC function of the card the closed loop may own.
#define VNL_DAC_CARD_CALL(name, code)                         \
  VNL_EXPORT int32_t name(uint16_t card) {                    \
    if (!lib().ready()) return VNL_ERR_NOT_READY;             \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE;             \
    if (vnl::anyClosedLoop(card)) return VNL_ERR_CLOSED_LOOP; \
    return peripheral(P::code, card);                         \
  }
// A read of (channel, card) into *out.
#define VNL_CHANNEL_READ(name, type, code)                                 \
  VNL_EXPORT int32_t name(type* out, uint16_t channel, uint16_t card) {    \
    if (!lib().ready()) return VNL_ERR_NOT_READY;                          \
    if (!channelOk(channel, card) || out == nullptr) return VNL_ERR_RANGE; \
    return peripheralRead(P::code, channelValue(channel, card), out);      \
  }

// ---------------- encoder ----------------
VNL_EXPORT int32_t VNL_SetENCInputRate(uint16_t rate, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || vnl::cards::encoderRateCode(rate) == 0) return VNL_ERR_RANGE;
  return peripheral(P::EncoderInputRate, channelValue(channel, card), rate);
}
VNL_CHANNEL_CALL(VNL_ClearENCCounter, ClearEncoder)
VNL_EXPORT int32_t VNL_GetENCValue(int32_t* value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || value == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(lib().cardPath->encoder(card, channel, *value));
}
VNL_EXPORT int32_t VNL_SetENCLatchType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 1) return VNL_ERR_RANGE;
  return peripheral(P::LatchType, channelValue(channel, card), type);
}
VNL_EXPORT int32_t VNL_SetENCLatchSource(uint16_t source, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::singleBit(source) || source > (1u << 14))
    return VNL_ERR_RANGE;
  return peripheral(P::LatchSource, channelValue(channel, card), source);
}
VNL_CHANNEL_READ(VNL_GetENCLatchValue, int32_t, LatchValue)
VNL_CHANNEL_CALL(VNL_EnableENCIndexTrigger, EnableIndexInterrupt)
VNL_CHANNEL_CALL(VNL_DisableENCIndexTrigger, DisableIndexInterrupt)
VNL_CHANNEL_READ(VNL_GetENCIndexStatus, uint16_t, IndexStatus)
VNL_EXPORT int32_t VNL_SetENCCompValue(int32_t value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  return peripheral(P::EncoderCompareValue, channelValue(channel, card), value);
}
VNL_CHANNEL_CALL(VNL_EnableENCCompTrigger, EnableEncoderCompareInterrupt)
VNL_CHANNEL_CALL(VNL_DisableENCCompTrigger, DisableEncoderCompareInterrupt)

// ---------------- local-I/O triggers, timer, watchdog ----------------
VNL_EXPORT int32_t VNL_SetLIOTriggerType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::ldiOk(channel, card) || type > 2) return VNL_ERR_RANGE;
  return peripheral(P::LdiInterruptType, vnl::ldiValue(channel, card), type);
}
VNL_EXPORT int32_t VNL_EnableLIOTrigger(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::ldiOk(channel, card)) return VNL_ERR_RANGE;
  return peripheral(P::EnableLdiInterrupt, vnl::ldiValue(channel, card));
}
VNL_EXPORT int32_t VNL_DisableLIOTrigger(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::ldiOk(channel, card)) return VNL_ERR_RANGE;
  return peripheral(P::DisableLdiInterrupt, vnl::ldiValue(channel, card));
}
VNL_CARD_VALUE_CALL(VNL_SetTimer, uint32_t, SetTimer)
VNL_CARD_CALL(VNL_EnableTimer, EnableTimer)
VNL_CARD_CALL(VNL_DisableTimer, DisableTimer)
VNL_CARD_CALL(VNL_EnableTimerTrigger, EnableTimerInterrupt)
VNL_CARD_CALL(VNL_DisableTimerTrigger, DisableTimerInterrupt)
VNL_CARD_VALUE_CALL(VNL_SetWatchDogTimer, uint32_t, WatchdogTimer)
VNL_CARD_VALUE_CALL(VNL_SetWatchDogResetPeriod, uint32_t, WatchdogReset)
VNL_CARD_CALL(VNL_EnableWatchDogTimer, EnableWatchdog)
VNL_CARD_CALL(VNL_DisableWatchDogTimer, DisableWatchdog)
VNL_CARD_CALL(VNL_RefreshWatchDogTimer, RefreshWatchdog)

// ---------------- DAC ----------------
VNL_CARD_VALUE_CALL(VNL_SetDACClockDivider, uint16_t, DacClockDivider)
VNL_EXPORT int32_t VNL_SetDACOutput(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::voltsOk(volts)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return peripheral(P::DacOutput, channelValue(channel, card), volts);
}
VNL_EXPORT int32_t VNL_SetDACTriggerOutput(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::voltsOk(volts)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return peripheral(P::DacTriggerOutput, channelValue(channel, card), volts);
}
VNL_EXPORT int32_t VNL_SetDACTriggerSource(uint32_t source, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  if (!vnl::singleBit(source)) return VNL_ERR_RANGE;
  return peripheral(P::DacTriggerSource, channelValue(channel, card), source);
}
VNL_DAC_CHANNEL_CALL(VNL_EnableDACTriggerMode, EnableDacTriggerMode)
VNL_DAC_CHANNEL_CALL(VNL_DisableDACTriggerMode, DisableDacTriggerMode)
VNL_DAC_CARD_CALL(VNL_StartDACConv, StartDacConversion)
VNL_DAC_CARD_CALL(VNL_StopDACConv, StopDacConversion)

// ---------------- ADC ----------------
VNL_CARD_VALUE_CALL(VNL_SetADCClockDivider, uint32_t, AdcClockDivider)
VNL_EXPORT int32_t VNL_SetADCConvType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 1) return VNL_ERR_RANGE;
  return peripheral(P::SetAdcConversionType, channelValue(channel, card), type);
}
VNL_CHANNEL_READ(VNL_GetADCConvType, uint16_t, GetAdcConversionType)
VNL_EXPORT int32_t VNL_SetADCConvMode(uint16_t mode, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || mode != 0) return VNL_ERR_RANGE;
  return peripheral(P::AdcConversionMode, card, 0u);
}
VNL_CHANNEL_READ(VNL_GetADCInput, float, AdcInput)
VNL_CHANNEL_CALL(VNL_SetADCSingleChannel, AdcSingleChannel)
VNL_EXPORT int32_t VNL_GetADCWorkStatus(uint16_t* status, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || status == nullptr) return VNL_ERR_RANGE;
  return peripheralRead(P::AdcWorkStatus, card, status);
}
VNL_CARD_CALL(VNL_EnableADCConvTrigger, EnableAdcConversionInterrupt)
VNL_CARD_CALL(VNL_DisableADCConvTrigger, DisableAdcConversionInterrupt)
VNL_CHANNEL_CALL(VNL_SetADCTagChannel, AdcTagChannel)
VNL_CARD_CALL(VNL_EnableADCTagTrigger, EnableAdcTagInterrupt)
// Disabling the tag interrupt disables it: a function named for disabling
// that enabled the interrupt would leave it running against the caller's intent.
VNL_CARD_CALL(VNL_DisableADCTagTrigger, DisableAdcTagInterrupt)
VNL_EXPORT int32_t VNL_SetADCCompMask(uint16_t mask, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || mask > 3) return VNL_ERR_RANGE;
  return peripheral(P::AdcCompareMask, card, mask);
}
VNL_EXPORT int32_t VNL_SetADCCompType(uint16_t channel, uint16_t type, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 2) return VNL_ERR_RANGE;
  return peripheral(P::AdcCompareType, channelValue(channel, card), type);
}
VNL_EXPORT int32_t VNL_SetADCCompValue(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  return peripheral(P::SetAdcCompareValue, channelValue(channel, card), volts);
}
VNL_CHANNEL_READ(VNL_GetADCCompValue, float, GetAdcCompareValue)
VNL_CHANNEL_CALL(VNL_EnableADCCompTrigger, EnableAdcCompareInterrupt)
VNL_CHANNEL_CALL(VNL_DisableADCCompTrigger, DisableAdcCompareInterrupt)
VNL_CHANNEL_CALL(VNL_EnableADCConvChannel, EnableAdcConversionChannel)
VNL_CHANNEL_CALL(VNL_DisableADCConvChannel, DisableAdcConversionChannel)
VNL_CARD_CALL(VNL_StartADCConv, StartAdcConversion)
VNL_CARD_CALL(VNL_StopADCConv, StopAdcConversion)
