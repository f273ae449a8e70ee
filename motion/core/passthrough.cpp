// Direct access to the card's encoder, local-I/O trigger, timer, watchdog,
// DAC and ADC functions under the library's names. Each function checks
// readiness and its indices, calls one card-access function on the caller's
// thread and turns its result into a library code: 0 when the card call
// succeeded (non-zero), -14 when it failed. The same operations are served
// from the request mailbox by the cycle (codes 16 to 85).
#include <bit>
#include <cstdint>

#include "export.h"
#include "library.h"
#include "qoradrv.h"

namespace vnl {
namespace {

constexpr int kChannels = 6;  // encoder, DAC and ADC channels of one card
constexpr int kLdiInputs = 7;

int32_t result(int r) {
  return r != 0 ? 0 : -14;
}
bool channelOk(uint16_t channel, uint16_t card) {
  return channel < kChannels && cardOk(card);
}
bool singleBit(uint32_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}
// The encoder's input-rate code for a multiplication of 1, 2 or 4; 0 otherwise.
uint16_t rateCode(uint32_t rate) {
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
bool voltsOk(float v) {
  return v >= -10.0f && v <= 10.0f;  // false for NaN as well
}
// A channel whose axis runs in the closed loop belongs to the loop's DAC output.
bool closedLoop(uint16_t channel, uint16_t card) {
  return lib().param[card * kChannels + channel].wCommandMode != 0;
}
bool anyClosedLoop(uint16_t card) {
  for (uint16_t ch = 0; ch < kChannels; ++ch)
    if (closedLoop(ch, card)) return true;
  return false;
}

}  // namespace

// The cycle's service of the peripheral request codes: value is the global
// axis (card x 6 + channel), the global LDI input (card x 7 + input) or the
// card; data carries the further argument (volts as the bits of a float).
// Read requests leave what they read in the data field. False for a code that
// is not a peripheral operation.
bool Library::servePeripheral(uint8_t code, uint16_t value, uint32_t data) {
  const auto ch = static_cast<uint16_t>(value % kChannels);
  const auto axisCard = static_cast<uint16_t>(value / kChannels);
  const auto ldi = static_cast<uint16_t>(value % kLdiInputs);
  const auto ldiCard = static_cast<uint16_t>(value / kLdiInputs);
  const uint16_t card = value;
  const auto d16 = static_cast<uint16_t>(data);
  const float volts = std::bit_cast<float>(data);
  int32_t i32 = 0;
  uint16_t u16 = 0;
  float f = 0.0f;
  switch (code) {
    case 16:
      QORA_ENC_SetInputRate(ch, rateCode(data), axisCard);
      break;
    case 17:
      QORA_ENC_ClearCounter(ch, axisCard);
      break;
    case 18:
      QORA_ENC_SetTrigMode(ch, d16, axisCard);
      break;
    case 19:
      QORA_ENC_SetTrigSource(ch, d16, axisCard);
      break;
    case 20:
      QORA_ENC_GetLatchValue(ch, &i32, axisCard);
      reqData.store(static_cast<uint32_t>(i32), std::memory_order_relaxed);
      break;
    case 21:
      QORA_ENC_EnableIndexInt(ch, axisCard);
      break;
    case 22:
      QORA_ENC_DisableIndexInt(ch, axisCard);
      break;
    case 23:
      QORA_ENC_GetIndexStatus(ch, &u16, axisCard);
      reqData.store(u16, std::memory_order_relaxed);
      break;
    case 24:
      QORA_ENC_SetCompValue(ch, static_cast<int32_t>(data), axisCard);
      break;
    case 25:
      QORA_ENC_EnableCompInt(ch, axisCard);
      break;
    case 26:
      QORA_ENC_DisableCompInt(ch, axisCard);
      break;
    case 32:
      QORA_LIO_SetLDIIntType(ldi, d16, ldiCard);
      break;
    case 33:
      QORA_LIO_EnableLDIInt(ldi, ldiCard);
      break;
    case 34:
      QORA_LIO_DisableLDIInt(ldi, ldiCard);
      break;
    case 35:
      QORA_LIO_SetTimer(data, card);
      break;
    case 36:
      QORA_LIO_EnableTimer(card);
      break;
    case 37:
      QORA_LIO_DisableTimer(card);
      break;
    case 38:
      QORA_LIO_EnableTimerInt(card);
      break;
    case 39:
      QORA_LIO_DisableTimerInt(card);
      break;
    case 40:
      QORA_LIO_SetWDogTimer(data, card);
      break;
    case 41:
      QORA_LIO_SetWDogReset(data, card);
      break;
    case 42:
      QORA_LIO_EnableWDogTimer(card);
      break;
    case 43:
      QORA_LIO_DisableWDogTimer(card);
      break;
    case 44:
      QORA_LIO_RefreshWDogTimer(card);
      break;
    case 48:
      QORA_DAC_SetClockDivider(d16, card);
      break;
    case 49:
      QORA_DAC_SetOutput(ch, volts, axisCard);
      break;
    case 50:
      QORA_DAC_SetTrigOutput(ch, volts, axisCard);
      break;
    case 51:
      QORA_DAC_SetTrigSource(ch, data, axisCard);
      break;
    case 52:
      QORA_DAC_EnableTrigMode(ch, axisCard);
      break;
    case 53:
      QORA_DAC_DisableTrigMode(ch, axisCard);
      break;
    case 54:
      QORA_DAC_StartConv(card);
      break;
    case 55:
      QORA_DAC_StopConv(card);
      break;
    case 64:
      QORA_ADC_SetClockDivider(data, card);
      break;
    case 65:
      QORA_ADC_SetConvType(ch, d16, axisCard);
      break;
    case 66:
      QORA_ADC_GetConvType(ch, &u16, axisCard);
      reqData.store(u16, std::memory_order_relaxed);
      break;
    case 67:
      QORA_ADC_SetConvMode(d16, card);
      break;
    case 68:
      QORA_ADC_GetInput(ch, &f, axisCard);
      reqData.store(std::bit_cast<uint32_t>(f), std::memory_order_relaxed);
      break;
    case 69:
      QORA_ADC_SetSingleChannel(ch, axisCard);
      break;
    case 70:
      QORA_ADC_GetWorkStatus(&u16, card);
      reqData.store(u16, std::memory_order_relaxed);
      break;
    case 71:
      QORA_ADC_EnableConvInt(card);
      break;
    case 72:
      QORA_ADC_DisableConvInt(card);
      break;
    case 73:
      QORA_ADC_SetTagChannel(ch, axisCard);
      break;
    case 74:
      QORA_ADC_EnableTagInt(card);
      break;
    case 75:
      QORA_ADC_DisableTagInt(card);
      break;
    case 76:
      QORA_ADC_SetCompMask(d16, card);
      break;
    case 77:
      QORA_ADC_SetCompType(ch, d16, axisCard);
      break;
    case 78:
      QORA_ADC_SetCompValue(ch, volts, axisCard);
      break;
    case 79:
      QORA_ADC_GetCompValue(ch, &f, axisCard);
      reqData.store(std::bit_cast<uint32_t>(f), std::memory_order_relaxed);
      break;
    case 80:
      QORA_ADC_EnableCompInt(ch, axisCard);
      break;
    case 81:
      QORA_ADC_DisableCompInt(ch, axisCard);
      break;
    case 82:
      QORA_ADC_EnableConvChannel(ch, axisCard);
      break;
    case 83:
      QORA_ADC_DisableConvChannel(ch, axisCard);
      break;
    case 84:
      QORA_ADC_StartConv(card);
      break;
    case 85:
      QORA_ADC_StopConv(card);
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace vnl

using vnl::channelOk;
using vnl::lib;

// A function of (channel, card) with no further argument.
#define VNL_CHANNEL_CALL(name, call)                         \
  VNL_EXPORT int32_t name(uint16_t channel, uint16_t card) { \
    if (!lib().ready()) return VNL_ERR_NOT_READY;            \
    if (!channelOk(channel, card)) return VNL_ERR_RANGE;     \
    return vnl::result(call(channel, card));                 \
  }
// A function of the card alone.
#define VNL_CARD_CALL(name, call)                 \
  VNL_EXPORT int32_t name(uint16_t card) {        \
    if (!lib().ready()) return VNL_ERR_NOT_READY; \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE; \
    return vnl::result(call(card));               \
  }
// A function of (value, card).
#define VNL_CARD_VALUE_CALL(name, type, call)          \
  VNL_EXPORT int32_t name(type value, uint16_t card) { \
    if (!lib().ready()) return VNL_ERR_NOT_READY;      \
    if (!vnl::cardOk(card)) return VNL_ERR_RANGE;      \
    return vnl::result(call(value, card));             \
  }

// ---------------- encoder ----------------
VNL_EXPORT int32_t VNL_SetENCInputRate(uint16_t rate, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  const uint16_t code = vnl::rateCode(rate);
  if (code == 0) return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_SetInputRate(channel, code, card));
}
VNL_CHANNEL_CALL(VNL_ClearENCCounter, QORA_ENC_ClearCounter)
VNL_EXPORT int32_t VNL_GetENCValue(int32_t* value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || value == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_GetValue(channel, value, card));
}
VNL_EXPORT int32_t VNL_SetENCLatchType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 1) return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_SetTrigMode(channel, type, card));
}
VNL_EXPORT int32_t VNL_SetENCLatchSource(uint16_t source, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::singleBit(source) || source > (1u << 14))
    return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_SetTrigSource(channel, source, card));
}
VNL_EXPORT int32_t VNL_GetENCLatchValue(int32_t* value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || value == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_GetLatchValue(channel, value, card));
}
VNL_CHANNEL_CALL(VNL_EnableENCIndexTrigger, QORA_ENC_EnableIndexInt)
VNL_CHANNEL_CALL(VNL_DisableENCIndexTrigger, QORA_ENC_DisableIndexInt)
VNL_EXPORT int32_t VNL_GetENCIndexStatus(uint16_t* status, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || status == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_GetIndexStatus(channel, status, card));
}
VNL_EXPORT int32_t VNL_SetENCCompValue(int32_t value, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  return vnl::result(QORA_ENC_SetCompValue(channel, value, card));
}
VNL_CHANNEL_CALL(VNL_EnableENCCompTrigger, QORA_ENC_EnableCompInt)
VNL_CHANNEL_CALL(VNL_DisableENCCompTrigger, QORA_ENC_DisableCompInt)

// ---------------- local-I/O triggers, timer, watchdog ----------------
VNL_EXPORT int32_t VNL_SetLIOTriggerType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (channel >= vnl::kLdiInputs || !vnl::cardOk(card) || type > 2) return VNL_ERR_RANGE;
  return vnl::result(QORA_LIO_SetLDIIntType(channel, type, card));
}
VNL_EXPORT int32_t VNL_EnableLIOTrigger(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (channel >= vnl::kLdiInputs || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return vnl::result(QORA_LIO_EnableLDIInt(channel, card));
}
VNL_EXPORT int32_t VNL_DisableLIOTrigger(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (channel >= vnl::kLdiInputs || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return vnl::result(QORA_LIO_DisableLDIInt(channel, card));
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
  return vnl::result(QORA_DAC_SetOutput(channel, volts, card));
}
VNL_EXPORT int32_t VNL_SetDACTriggerOutput(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || !vnl::voltsOk(volts)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::result(QORA_DAC_SetTrigOutput(channel, volts, card));
}
VNL_EXPORT int32_t VNL_SetDACTriggerSource(uint32_t source, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  if (!vnl::singleBit(source)) return VNL_ERR_RANGE;
  return vnl::result(QORA_DAC_SetTrigSource(channel, source, card));
}
VNL_EXPORT int32_t VNL_EnableDACTriggerMode(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::result(QORA_DAC_EnableTrigMode(channel, card));
}
VNL_EXPORT int32_t VNL_DisableDACTriggerMode(uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  if (vnl::closedLoop(channel, card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::result(QORA_DAC_DisableTrigMode(channel, card));
}
VNL_EXPORT int32_t VNL_StartDACConv(uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  if (vnl::anyClosedLoop(card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::result(QORA_DAC_StartConv(card));
}
VNL_EXPORT int32_t VNL_StopDACConv(uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  if (vnl::anyClosedLoop(card)) return VNL_ERR_CLOSED_LOOP;
  return vnl::result(QORA_DAC_StopConv(card));
}

// ---------------- ADC ----------------
VNL_CARD_VALUE_CALL(VNL_SetADCClockDivider, uint32_t, QORA_ADC_SetClockDivider)
VNL_EXPORT int32_t VNL_SetADCConvType(uint16_t type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 1) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_SetConvType(channel, type, card));
}
VNL_EXPORT int32_t VNL_GetADCConvType(uint16_t* type, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_GetConvType(channel, type, card));
}
VNL_EXPORT int32_t VNL_SetADCConvMode(uint16_t mode, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || mode != 0) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_SetConvMode(0, card));
}
VNL_EXPORT int32_t VNL_GetADCInput(float* volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || volts == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_GetInput(channel, volts, card));
}
VNL_CHANNEL_CALL(VNL_SetADCSingleChannel, QORA_ADC_SetSingleChannel)
VNL_EXPORT int32_t VNL_GetADCWorkStatus(uint16_t* status, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card) || status == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_GetWorkStatus(status, card));
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
  return vnl::result(QORA_ADC_SetCompMask(mask, card));
}
VNL_EXPORT int32_t VNL_SetADCCompType(uint16_t channel, uint16_t type, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || type > 2) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_SetCompType(channel, type, card));
}
VNL_EXPORT int32_t VNL_SetADCCompValue(float volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card)) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_SetCompValue(channel, volts, card));
}
VNL_EXPORT int32_t VNL_GetADCCompValue(float* volts, uint16_t channel, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!channelOk(channel, card) || volts == nullptr) return VNL_ERR_RANGE;
  return vnl::result(QORA_ADC_GetCompValue(channel, volts, card));
}
VNL_CHANNEL_CALL(VNL_EnableADCCompTrigger, QORA_ADC_EnableCompInt)
VNL_CHANNEL_CALL(VNL_DisableADCCompTrigger, QORA_ADC_DisableCompInt)
VNL_CHANNEL_CALL(VNL_EnableADCConvChannel, QORA_ADC_EnableConvChannel)
VNL_CHANNEL_CALL(VNL_DisableADCConvChannel, QORA_ADC_DisableConvChannel)
VNL_CARD_CALL(VNL_StartADCConv, QORA_ADC_StartConv)
VNL_CARD_CALL(VNL_StopADCConv, QORA_ADC_StopConv)
