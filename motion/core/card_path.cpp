#include "card_path.h"

#include "platform/chip/dda_timing.h"

namespace vnl::cards {
namespace {
constexpr uint16_t u16(int v) {
  return static_cast<uint16_t>(v);
}
}  // namespace

bool open(int card, int16_t type, const CardRoutines& r) {
  const uint16_t c = u16(card);
  if (type == 2)
    return QORA210_Init(r.dda, r.enc012, r.enc345, nullptr, nullptr, nullptr, r.adc, r.lio, r.pcl,
                        c) != 0;
  if (type == 3)
    return QORA310_Init(r.dda, r.enc012, r.enc345, nullptr, nullptr, nullptr, r.adc, r.lio, r.pcl,
                        c) != 0;
  return false;
}

void close(int card) {
  QORA_Close(u16(card));
}

void initialise(int count, double interpolationMs) {
  for (int c = 0; c < count; ++c)
    QORA_ResetModule(QORA_MODULE_CHIP, u16(c));
  for (int c = 0; c < count; ++c) {
    const uint16_t card = u16(c);
    QORA_LIO_EnablePulseDAC(card);
    for (uint16_t a = 0; a < 6; ++a)
      QORA_LIO_ServoOff(a, card);
    for (uint16_t a = 0; a < 6; ++a) {
      QORA_DDA_ClearPulseCounter(a, card);
      QORA_DDA_EnablePulseCounter(a, card);
      QORA_DDA_EnableOutputChannel(a, card);
    }
    QORA_DDA_SetTime(static_cast<float>(interpolationMs), chip::kDdaMotionBitLengthCode, card);
    if (c == 0) QORA_DDA_EnableCycleInt(0);
    for (uint16_t a = 0; a < 6; ++a) {
      QORA_ENC_ClearCounter(a, card);
      QORA_ENC_SetInputRate(a, 3, card);  // rate code 3: four counts per cycle
    }
    QORA_ENC_SetFilterClock(10, card);
  }
}

void writeOutputParams(int card, int axis, const MACHINE_PARAM& p) {
  const uint16_t c = u16(card);
  const uint16_t a = u16(axis);
  const ENCODER_CONFIG& e = p.EncoderConfig;
  QORA_DDA_SetOutputFormat(a, u16(p.wPulseMode), c);
  QORA_DDA_SetPulseWidth(a, u16(p.wPulseWidth), c);
  QORA_ENC_SetInputType(a, u16(e.wType), c);
  (e.wAInverse ? QORA_ENC_EnableInAInverse : QORA_ENC_DisableInAInverse)(a, c);
  (e.wBInverse ? QORA_ENC_EnableInBInverse : QORA_ENC_DisableInBInverse)(a, c);
  (e.wCInverse ? QORA_ENC_EnableInCInverse : QORA_ENC_DisableInCInverse)(a, c);
  (e.wABSwap ? QORA_ENC_EnableInABSwap : QORA_ENC_DisableInABSwap)(a, c);
  if (p.wCommandMode == 1) {
    QORA_DAC_SetCmdSource(a, 1, c);
    QORA_PCL_ClearErrorCounter(a, c);
    QORA_PCL_SetScaleGain(a, 64, -1, c);
    QORA_PCL_EnableOverflowInt(a, c);
    QORA_PCL_EnableErrorCounter(a, c);
    QORA_DAC_SetClockDivider(10, c);
    QORA_DAC_StartConv(c);
    QORA_PCL_StartControl(c);
  } else {
    QORA_DAC_SetCmdSource(a, 0, c);
    QORA_DAC_StartConv(c);
  }
}

void start(int count) {
  for (int c = 0; c < count; ++c) {
    QORA_ENC_StartInput(u16(c));
    QORA_DDA_StartEngine(u16(c));
  }
}

bool sensorActive(int (*read)(uint16_t, uint16_t*, uint16_t), int card, int axis, int16_t level) {
  uint16_t value = 0;
  if (read(u16(axis), &value, u16(card)) == 0) return false;
  return static_cast<int>(value) == level;
}

bool overTravelUp(int card, int axis, int16_t level) {
  return sensorActive(QORA_LIO_GetOverTravelUp, card, axis, level);
}
bool overTravelDown(int card, int axis, int16_t level) {
  return sensorActive(QORA_LIO_GetOverTravelDown, card, axis, level);
}
bool homeSensor(int card, int axis, int16_t level) {
  return sensorActive(QORA_LIO_GetHomeSensor, card, axis, level);
}

bool outputPulses(int card, int axis, int32_t& value) {
  return QORA_DDA_GetOutputPulse(u16(axis), &value, u16(card)) != 0;
}

int stock(int card, int axis) {
  uint16_t n = 0;
  if (QORA_DDA_GetStockCount(u16(axis), &n, u16(card)) == 0) return 0;
  return n;
}

void send(int card, int axis, int32_t count) {
  QORA_DDA_SendPulse(u16(axis), static_cast<uint32_t>(count), u16(card));
}

int32_t encoder(int card, int axis) {
  int32_t v = 0;
  QORA_ENC_GetValue(u16(axis), &v, u16(card));
  return v;
}

int32_t errorCounter(int card, int axis) {
  int32_t v = 0;
  QORA_PCL_GetErrorCounter(u16(axis), &v, u16(card));
  return v;
}

void stopAxis(int card, int axis) {
  const uint16_t c = u16(card);
  const uint16_t a = u16(axis);
  QORA_DDA_DisableOutputChannel(a, c);
  QORA_DDA_EnableOutputChannel(a, c);
  const int n = stock(card, axis);
  if (n == 0) return;
  QORA_DDA_EraseFIFOCmd(a, static_cast<uint32_t>(n), c);
  for (int i = 0; i < n; ++i)
    QORA_DDA_SendPulse(a, 0, c);
}

void flushAxis(int card, int axis) {
  const uint16_t c = u16(card);
  const uint16_t a = u16(axis);
  const int n = stock(card, axis);
  if (n != 0) QORA_DDA_EraseFIFOCmd(a, static_cast<uint32_t>(n), c);
  QORA_DDA_DisableOutputChannel(a, c);
  QORA_DDA_EnableOutputChannel(a, c);
}

void restartPulseCounter(int card, int axis) {
  QORA_DDA_DisablePulseCounter(u16(axis), u16(card));
  QORA_DDA_ClearPulseCounter(u16(axis), u16(card));
  QORA_DDA_EnablePulseCounter(u16(axis), u16(card));
}

uint8_t direction(int32_t previous, int32_t now, bool reversed) {
  if (now == previous) return 0;
  const bool up = now > previous;
  return (up != reversed) ? 2 : 1;
}

uint8_t limitState(bool upper, bool lower) {
  return static_cast<uint8_t>((upper ? 2 : 0) | (lower ? 1 : 0));
}

bool stopsAxis(uint8_t mode, uint8_t state, uint8_t dir) {
  if (mode == 0) return false;
  return (mode == 2 && (state == 1 || state == 2)) || (state == 1 && dir == 1) ||
         (state == 2 && dir == 2);
}

bool maySend(uint8_t mode, uint8_t state, int32_t count, bool reversed) {
  if (mode == 0 || state == 0) return true;
  if (mode == 2 || state == 3) return false;
  // Mode 1: only counts that move away from the active limit.
  if (state == 1) return reversed ? count <= 0 : count >= 0;
  return reversed ? count >= 0 : count <= 0;
}

}  // namespace vnl::cards
