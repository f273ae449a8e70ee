// The cycle's service of the peripheral request codes 16 to 85: the card's
// encoder, local-I/O trigger, timer, watchdog, DAC and ADC operations asked
// for through the request mailbox.
#include <bit>
#include <cstdint>

#include "peripheral.h"
#include "qoradrv.h"

namespace vnl {

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
