// The production card path's peripheral operations: the card's encoder,
// local-I/O trigger, timer, watchdog, DAC and ADC functions, one per
// peripheral request code.
#include <bit>
#include <cstdint>

#include "card_path.h"
#include "mailbox.h"
#include "sizes.h"

namespace vnl::cards {
PeripheralResult qoraPeripheral(uint8_t code, uint16_t value, uint32_t& data) {
  using P = Peripheral;
  constexpr int kLdiInputs = 7;
  const auto ch = static_cast<uint16_t>(value % kAxesPerCard);
  const auto axisCard = static_cast<uint16_t>(value / kAxesPerCard);
  const auto ldi = static_cast<uint16_t>(value % kLdiInputs);
  const auto ldiCard = static_cast<uint16_t>(value / kLdiInputs);
  const uint16_t card = value;
  const auto d16 = static_cast<uint16_t>(data);
  const float volts = std::bit_cast<float>(data);
  int32_t i32 = 0;
  uint16_t u16 = 0;
  float f = 0.0f;
  int r = 0;
  switch (static_cast<P>(code)) {
    case P::EncoderInputRate:
      r = QORA_ENC_SetInputRate(ch, encoderRateCode(data), axisCard);
      break;
    case P::ClearEncoder:
      r = QORA_ENC_ClearCounter(ch, axisCard);
      break;
    case P::LatchType:
      r = QORA_ENC_SetTrigMode(ch, d16, axisCard);
      break;
    case P::LatchSource:
      r = QORA_ENC_SetTrigSource(ch, d16, axisCard);
      break;
    case P::LatchValue:
      r = QORA_ENC_GetLatchValue(ch, &i32, axisCard);
      data = static_cast<uint32_t>(i32);
      break;
    case P::EnableIndexInterrupt:
      r = QORA_ENC_EnableIndexInt(ch, axisCard);
      break;
    case P::DisableIndexInterrupt:
      r = QORA_ENC_DisableIndexInt(ch, axisCard);
      break;
    case P::IndexStatus:
      r = QORA_ENC_GetIndexStatus(ch, &u16, axisCard);
      data = u16;
      break;
    case P::EncoderCompareValue:
      r = QORA_ENC_SetCompValue(ch, static_cast<int32_t>(data), axisCard);
      break;
    case P::EnableEncoderCompareInterrupt:
      r = QORA_ENC_EnableCompInt(ch, axisCard);
      break;
    case P::DisableEncoderCompareInterrupt:
      r = QORA_ENC_DisableCompInt(ch, axisCard);
      break;
    case P::LdiInterruptType:
      r = QORA_LIO_SetLDIIntType(ldi, d16, ldiCard);
      break;
    case P::EnableLdiInterrupt:
      r = QORA_LIO_EnableLDIInt(ldi, ldiCard);
      break;
    case P::DisableLdiInterrupt:
      r = QORA_LIO_DisableLDIInt(ldi, ldiCard);
      break;
    case P::SetTimer:
      r = QORA_LIO_SetTimer(data, card);
      break;
    case P::EnableTimer:
      r = QORA_LIO_EnableTimer(card);
      break;
    case P::DisableTimer:
      r = QORA_LIO_DisableTimer(card);
      break;
    case P::EnableTimerInterrupt:
      r = QORA_LIO_EnableTimerInt(card);
      break;
    case P::DisableTimerInterrupt:
      r = QORA_LIO_DisableTimerInt(card);
      break;
    case P::WatchdogTimer:
      r = QORA_LIO_SetWDogTimer(data, card);
      break;
    case P::WatchdogReset:
      r = QORA_LIO_SetWDogReset(data, card);
      break;
    case P::EnableWatchdog:
      r = QORA_LIO_EnableWDogTimer(card);
      break;
    case P::DisableWatchdog:
      r = QORA_LIO_DisableWDogTimer(card);
      break;
    case P::RefreshWatchdog:
      r = QORA_LIO_RefreshWDogTimer(card);
      break;
    case P::DacClockDivider:
      r = QORA_DAC_SetClockDivider(d16, card);
      break;
    case P::DacOutput:
      r = QORA_DAC_SetOutput(ch, volts, axisCard);
      break;
    case P::DacTriggerOutput:
      r = QORA_DAC_SetTrigOutput(ch, volts, axisCard);
      break;
    case P::DacTriggerSource:
      r = QORA_DAC_SetTrigSource(ch, data, axisCard);
      break;
    case P::EnableDacTriggerMode:
      r = QORA_DAC_EnableTrigMode(ch, axisCard);
      break;
    case P::DisableDacTriggerMode:
      r = QORA_DAC_DisableTrigMode(ch, axisCard);
      break;
    case P::StartDacConversion:
      r = QORA_DAC_StartConv(card);
      break;
    case P::StopDacConversion:
      r = QORA_DAC_StopConv(card);
      break;
    case P::AdcClockDivider:
      r = QORA_ADC_SetClockDivider(data, card);
      break;
    case P::SetAdcConversionType:
      r = QORA_ADC_SetConvType(ch, d16, axisCard);
      break;
    case P::GetAdcConversionType:
      r = QORA_ADC_GetConvType(ch, &u16, axisCard);
      data = u16;
      break;
    case P::AdcConversionMode:
      r = QORA_ADC_SetConvMode(d16, card);
      break;
    case P::AdcInput:
      r = QORA_ADC_GetInput(ch, &f, axisCard);
      data = std::bit_cast<uint32_t>(f);
      break;
    case P::AdcSingleChannel:
      r = QORA_ADC_SetSingleChannel(ch, axisCard);
      break;
    case P::AdcWorkStatus:
      r = QORA_ADC_GetWorkStatus(&u16, card);
      data = u16;
      break;
    case P::EnableAdcConversionInterrupt:
      r = QORA_ADC_EnableConvInt(card);
      break;
    case P::DisableAdcConversionInterrupt:
      r = QORA_ADC_DisableConvInt(card);
      break;
    case P::AdcTagChannel:
      r = QORA_ADC_SetTagChannel(ch, axisCard);
      break;
    case P::EnableAdcTagInterrupt:
      r = QORA_ADC_EnableTagInt(card);
      break;
    case P::DisableAdcTagInterrupt:
      r = QORA_ADC_DisableTagInt(card);
      break;
    case P::AdcCompareMask:
      r = QORA_ADC_SetCompMask(d16, card);
      break;
    case P::AdcCompareType:
      r = QORA_ADC_SetCompType(ch, d16, axisCard);
      break;
    case P::SetAdcCompareValue:
      r = QORA_ADC_SetCompValue(ch, volts, axisCard);
      break;
    case P::GetAdcCompareValue:
      r = QORA_ADC_GetCompValue(ch, &f, axisCard);
      data = std::bit_cast<uint32_t>(f);
      break;
    case P::EnableAdcCompareInterrupt:
      r = QORA_ADC_EnableCompInt(ch, axisCard);
      break;
    case P::DisableAdcCompareInterrupt:
      r = QORA_ADC_DisableCompInt(ch, axisCard);
      break;
    case P::EnableAdcConversionChannel:
      r = QORA_ADC_EnableConvChannel(ch, axisCard);
      break;
    case P::DisableAdcConversionChannel:
      r = QORA_ADC_DisableConvChannel(ch, axisCard);
      break;
    case P::StartAdcConversion:
      r = QORA_ADC_StartConv(card);
      break;
    case P::StopAdcConversion:
      r = QORA_ADC_StopConv(card);
      break;
    default:
      return PeripheralResult::UnknownCode;
  }
  return r != 0 ? PeripheralResult::Done : PeripheralResult::Refused;
}

}  // namespace vnl::cards
