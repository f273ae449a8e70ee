// Direct access to the card's encoder, local-I/O trigger, timer, watchdog,
// DAC and ADC functions under the library's names. Each function checks
// readiness and its indices, calls one card-access function on the caller's
// thread and turns its result into a library code: 0 when the card call
// succeeded (non-zero), -14 when it failed.
#include <bit>
#include <cstdint>

#include "peripheral.h"
#include "qoradrv.h"

using vnl::channelOk;
using vnl::lib;

// A function of (channel, card) with no further argument.
#define VNL_CHANNEL_CALL(name, call)                         \
  VNL_EXPORT int32_t name(uint16_t channel, uint16_t card) { \
    if (!lib().ready()) return VNL_ERR_NOT_READY;            \
    if (!channelOk(channel, card)) return VNL_ERR_RANGE;     \
    return vnl::cardResult(call(channel, card));             \
  }
// A function of the card alone.
#define VNL_CARD_CALL(name, call)                 \
  VNL_EXPORT int32_t name(uint16_t card) {        \
    if (!lib().ready()) return VNL_ERR_NOT_READY; \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE; \
    return vnl::cardResult(call(card));           \
  }
// A function of (value, card).
#define VNL_CARD_VALUE_CALL(name, type, call)          \
  VNL_EXPORT int32_t name(type value, uint16_t card) { \
    if (!lib().ready()) return VNL_ERR_NOT_READY;      \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE;      \
    return vnl::cardResult(call(value, card));         \
  }

// ---------------- encoder ----------------
VNL_EXPORT int32_t VNL_SetENCInputRate(uint16_t rate, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  const uint16_t code = vnl::rateCode(rate);
  if (code == 0) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_SetInputRate(channel, code, card));
}
VNL_CHANNEL_CALL(VNL_ClearENCCounter, QORA_ENC_ClearCounter)
VNL_EXPORT int32_t VNL_GetENCValue(int32_t* value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || value == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_GetValue(channel, value, card));
}
VNL_EXPORT int32_t VNL_SetENCLatchType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 1) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_SetTrigMode(channel, type, card));
}
VNL_EXPORT int32_t VNL_SetENCLatchSource(uint16_t source, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::singleBit(source) || source > (1u << 14))
    return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_SetTrigSource(channel, source, card));
}
VNL_EXPORT int32_t VNL_GetENCLatchValue(int32_t* value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || value == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_GetLatchValue(channel, value, card));
}
VNL_CHANNEL_CALL(VNL_EnableENCIndexTrigger, QORA_ENC_EnableIndexInt)
VNL_CHANNEL_CALL(VNL_DisableENCIndexTrigger, QORA_ENC_DisableIndexInt)
VNL_EXPORT int32_t VNL_GetENCIndexStatus(uint16_t* status, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || status == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_GetIndexStatus(channel, status, card));
}
VNL_EXPORT int32_t VNL_SetENCCompValue(int32_t value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ENC_SetCompValue(channel, value, card));
}
VNL_CHANNEL_CALL(VNL_EnableENCCompTrigger, QORA_ENC_EnableCompInt)
VNL_CHANNEL_CALL(VNL_DisableENCCompTrigger, QORA_ENC_DisableCompInt)

// ---------------- local-I/O triggers, timer, watchdog ----------------
VNL_EXPORT int32_t VNL_SetLIOTriggerType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (channel >= vnl::kLdiInputs || !vnl::cardOk(card) || type > 2) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_LIO_SetLDIIntType(channel, type, card));
}
VNL_EXPORT int32_t VNL_EnableLIOTrigger(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (channel >= vnl::kLdiInputs || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_LIO_EnableLDIInt(channel, card));
}
VNL_EXPORT int32_t VNL_DisableLIOTrigger(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (channel >= vnl::kLdiInputs || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_LIO_DisableLDIInt(channel, card));
}
VNL_CARD_VALUE_CALL(VNL_SetTimer, uint32_t, QORA_LIO_SetTimer)
VNL_CARD_CALL(VNL_EnableTimer, QORA_LIO_EnableTimer)
VNL_CARD_CALL(VNL_DisableTimer, QORA_LIO_DisableTimer)
VNL_CARD_CALL(VNL_EnableTimerTrigger, QORA_LIO_EnableTimerInt)
VNL_CARD_CALL(VNL_DisableTimerTrigger, QORA_LIO_DisableTimerInt)
VNL_CARD_VALUE_CALL(VNL_SetWatchDogTimer, uint32_t, QORA_LIO_SetWDogTimer)
VNL_CARD_VALUE_CALL(VNL_SetWatchDogResetPeriod, uint32_t, QORA_LIO_SetWDogReset)
VNL_CARD_CALL(VNL_EnableWatchDogTimer, QORA_LIO_EnableWDogTimer)
VNL_CARD_CALL(VNL_DisableWatchDogTimer, QORA_LIO_DisableWDogTimer)
VNL_CARD_CALL(VNL_RefreshWatchDogTimer, QORA_LIO_RefreshWDogTimer)

// ---------------- DAC ----------------
VNL_CARD_VALUE_CALL(VNL_SetDACClockDivider, uint16_t, QORA_DAC_SetClockDivider)
VNL_EXPORT int32_t VNL_SetDACOutput(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::voltsOk(volts)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::cardResult(QORA_DAC_SetOutput(channel, volts, card));
}
VNL_EXPORT int32_t VNL_SetDACTriggerOutput(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::voltsOk(volts)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::cardResult(QORA_DAC_SetTrigOutput(channel, volts, card));
}
VNL_EXPORT int32_t VNL_SetDACTriggerSource(uint32_t source, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  if (!vnl::singleBit(source)) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_DAC_SetTrigSource(channel, source, card));
}
VNL_EXPORT int32_t VNL_EnableDACTriggerMode(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::cardResult(QORA_DAC_EnableTrigMode(channel, card));
}
VNL_EXPORT int32_t VNL_DisableDACTriggerMode(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::cardResult(QORA_DAC_DisableTrigMode(channel, card));
}
VNL_EXPORT int32_t VNL_StartDACConv(uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  if (vnl::anyClosedLoop(card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::cardResult(QORA_DAC_StartConv(card));
}
VNL_EXPORT int32_t VNL_StopDACConv(uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  if (vnl::anyClosedLoop(card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::cardResult(QORA_DAC_StopConv(card));
}

// ---------------- ADC ----------------
VNL_CARD_VALUE_CALL(VNL_SetADCClockDivider, uint32_t, QORA_ADC_SetClockDivider)
VNL_EXPORT int32_t VNL_SetADCConvType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 1) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_SetConvType(channel, type, card));
}
VNL_EXPORT int32_t VNL_GetADCConvType(uint16_t* type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_GetConvType(channel, type, card));
}
VNL_EXPORT int32_t VNL_SetADCConvMode(uint16_t mode, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || mode != 0) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_SetConvMode(0, card));
}
VNL_EXPORT int32_t VNL_GetADCInput(float* volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || volts == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_GetInput(channel, volts, card));
}
VNL_CHANNEL_CALL(VNL_SetADCSingleChannel, QORA_ADC_SetSingleChannel)
VNL_EXPORT int32_t VNL_GetADCWorkStatus(uint16_t* status, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || status == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_GetWorkStatus(status, card));
}
VNL_CARD_CALL(VNL_EnableADCConvTrigger, QORA_ADC_EnableConvInt)
VNL_CARD_CALL(VNL_DisableADCConvTrigger, QORA_ADC_DisableConvInt)
VNL_CHANNEL_CALL(VNL_SetADCTagChannel, QORA_ADC_SetTagChannel)
VNL_CARD_CALL(VNL_EnableADCTagTrigger, QORA_ADC_EnableTagInt)
// Disabling the tag interrupt disables it: a function named for disabling
// that enabled the interrupt would leave it running against the caller's intent.
VNL_CARD_CALL(VNL_DisableADCTagTrigger, QORA_ADC_DisableTagInt)
VNL_EXPORT int32_t VNL_SetADCCompMask(uint16_t mask, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || mask > 3) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_SetCompMask(mask, card));
}
VNL_EXPORT int32_t VNL_SetADCCompType(uint16_t channel, uint16_t type, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 2) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_SetCompType(channel, type, card));
}
VNL_EXPORT int32_t VNL_SetADCCompValue(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_SetCompValue(channel, volts, card));
}
VNL_EXPORT int32_t VNL_GetADCCompValue(float* volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || volts == nullptr) return VNL_ERR_RANGE;
  return vnl::cardResult(QORA_ADC_GetCompValue(channel, volts, card));
}
VNL_CHANNEL_CALL(VNL_EnableADCCompTrigger, QORA_ADC_EnableCompInt)
VNL_CHANNEL_CALL(VNL_DisableADCCompTrigger, QORA_ADC_DisableCompInt)
VNL_CHANNEL_CALL(VNL_EnableADCConvChannel, QORA_ADC_EnableConvChannel)
VNL_CHANNEL_CALL(VNL_DisableADCConvChannel, QORA_ADC_DisableConvChannel)
VNL_CARD_CALL(VNL_StartADCConv, QORA_ADC_StartConv)
VNL_CARD_CALL(VNL_StopADCConv, QORA_ADC_StopConv)
