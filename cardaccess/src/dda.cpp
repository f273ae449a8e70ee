// Pulse engine: per-axis command queues, output signal configuration, DDA
// timing, output pulse counters and dividers. Every control register is
// write-only and mirrored in a shadow; a setter changes its field in the
// shadow and writes the whole word.
#include "cardaccess/src/card.h"
#include "cardaccess/src/encoding.h"
#include "platform/chip/regs.h"

using namespace qora;
namespace r = chip::reg;

namespace {

constexpr std::uint16_t kAxes = QORA_DDA_AXES;

int controlBit(unsigned bitNo, bool on, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().ddaControl;
    s = r::setBit(s, bitNo, on);
    c.write(r::kDdaControl, s);
  });
}

int axisControlBit(std::uint16_t axis, unsigned base, bool on, std::uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return controlBit(base + axis, on, card);
}

int outputConfigBit(std::uint16_t axis, unsigned bitNo, bool on, std::uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().ddaOutputConfig[axis];
    s = r::setBit(s, bitNo, on);
    c.write(r::ddaOutputConfig(axis), s);
  });
}

int outputConfigField(std::uint16_t axis, r::Field field, std::uint16_t value, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().ddaOutputConfig[axis];
    s = field.set(s, value);
    c.write(r::ddaOutputConfig(axis), s);
  });
}

int timingField(r::Field field, std::uint16_t value, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().ddaTiming;
    s = field.set(s, value);
    c.write(r::kDdaTiming, s);
  });
}

int fifoFlag(std::uint16_t axis, unsigned base, std::uint16_t* flag, std::uint16_t card) {
  if (axis >= kAxes || flag == nullptr) return QORA_REFUSED;
  return withCard(card,
                  [&](Chip& c) { *flag = r::bit(c.read(r::kDdaFifoFlags), base + axis) ? 1 : 0; });
}

int strobe(unsigned bitNo, std::uint16_t card) {
  return withCard(card, [&](Chip& c) {
    c.write(r::kDdaClearStrobes, 1u << bitNo);
    c.write(r::kDdaClearStrobes, 0);
  });
}

int pulseCounterEnable(std::uint16_t axis, bool on, std::uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().ddaPulseCounterEnable;
    s = r::setBit(s, axis, on);
    c.write(r::kDdaPulseCounterEnable, s);
  });
}

}  // namespace

extern "C" {

// ---- command queue

int QORA_DDA_SendPulse(uint16_t axis, uint32_t pulses, uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  const std::uint16_t word = enc::pulseCommand(pulses);
  return withCard(card, [&](Chip& c) { c.write(r::ddaFifo(axis), word); });
}

int QORA_DDA_GetStockCount(uint16_t axis, uint16_t* count, uint16_t card) {
  if (axis >= kAxes || count == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    *count = static_cast<std::uint16_t>(r::ddaStockField(axis).get(c.read(r::ddaStock(axis))));
  });
}

int QORA_DDA_CheckFIFOFull(uint16_t axis, uint16_t* flag, uint16_t card) {
  return fifoFlag(axis, r::kDdaFifoFullBit, flag, card);
}

int QORA_DDA_CheckFIFOEmpty(uint16_t axis, uint16_t* flag, uint16_t card) {
  return fifoFlag(axis, r::kDdaFifoEmptyBit, flag, card);
}

int QORA_DDA_GetCurrentCmd(uint16_t axis, int32_t* value, uint16_t card) {
  if (axis >= kAxes || value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *value = enc::currentCommand(c.read(r::ddaFifo(axis))); });
}

int QORA_DDA_EraseFIFOCmd(uint16_t axis, uint32_t count, uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { c.write(r::ddaErase(axis), count); });
}

int QORA_DDA_ShiftOutFIFOCmd(uint16_t card) {
  return withCard(card, [&](Chip& c) { (void)c.read(r::kDdaShiftOut); });
}

int QORA_DDA_SetMinStockNo(uint32_t count, uint16_t card) {
  if (count > 63) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { c.write(r::kDdaMinStock, count); });
}

// ---- engine and interrupts

int QORA_DDA_EnableStockInt(uint16_t axis, uint16_t card) {
  return axisControlBit(axis, r::kDdaCtlStockIntBit, true, card);
}
int QORA_DDA_DisableStockInt(uint16_t axis, uint16_t card) {
  return axisControlBit(axis, r::kDdaCtlStockIntBit, false, card);
}
int QORA_DDA_EnableOutputChannel(uint16_t axis, uint16_t card) {
  return axisControlBit(axis, r::kDdaCtlChannelBit, true, card);
}
int QORA_DDA_DisableOutputChannel(uint16_t axis, uint16_t card) {
  return axisControlBit(axis, r::kDdaCtlChannelBit, false, card);
}
int QORA_DDA_EnableEmgcStop(uint16_t card) {
  return controlBit(r::kDdaCtlEmgcStopBit, true, card);
}
int QORA_DDA_DisableEmgcStop(uint16_t card) {
  return controlBit(r::kDdaCtlEmgcStopBit, false, card);
}
int QORA_DDA_StartEngine(uint16_t card) {
  return controlBit(r::kDdaCtlRunBit, true, card);
}
int QORA_DDA_StopEngine(uint16_t card) {
  return controlBit(r::kDdaCtlRunBit, false, card);
}
int QORA_DDA_EnableCycleInt(uint16_t card) {
  return controlBit(r::kDdaCtlCycleIntBit, true, card);
}
int QORA_DDA_DisableCycleInt(uint16_t card) {
  return controlBit(r::kDdaCtlCycleIntBit, false, card);
}

int QORA_DDA_GetIntCondition(uint8_t* flags, uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    splitFlags(c.read(r::kDdaIntCondition), 0, r::kDdaConditionBits, flags);
  });
}

// ---- output signal

int QORA_DDA_SetOutputFormat(uint16_t axis, uint16_t format, uint16_t card) {
  if (axis >= kAxes || format > 3) return QORA_REFUSED;
  return outputConfigField(axis, r::kDdaOutFormat, format, card);
}

int QORA_DDA_SetPulseWidth(uint16_t axis, uint16_t width, uint16_t card) {
  if (axis >= kAxes || width == 0 || width > 2047) return QORA_REFUSED;
  return outputConfigField(axis, r::kDdaOutWidth, width, card);
}

int QORA_DDA_EnableOutABSwap(uint16_t axis, uint16_t card) {
  return outputConfigBit(axis, r::kDdaOutABSwapBit, true, card);
}
int QORA_DDA_DisableOutABSwap(uint16_t axis, uint16_t card) {
  return outputConfigBit(axis, r::kDdaOutABSwapBit, false, card);
}
int QORA_DDA_EnableOutBInverse(uint16_t axis, uint16_t card) {
  return outputConfigBit(axis, r::kDdaOutBInverseBit, true, card);
}
int QORA_DDA_DisableOutBInverse(uint16_t axis, uint16_t card) {
  return outputConfigBit(axis, r::kDdaOutBInverseBit, false, card);
}
int QORA_DDA_EnableOutAInverse(uint16_t axis, uint16_t card) {
  return outputConfigBit(axis, r::kDdaOutAInverseBit, true, card);
}
int QORA_DDA_DisableOutAInverse(uint16_t axis, uint16_t card) {
  return outputConfigBit(axis, r::kDdaOutAInverseBit, false, card);
}

// ---- timing

int QORA_DDA_SetTime(float time, uint16_t code, uint16_t card) {
  const auto timing = enc::ddaTiming(time, code);
  if (!timing) return QORA_REFUSED;
  // Bit length first, then the divider: two writes of the timing register,
  // made under one hold of the lock so that they stay together.
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow();
    s.ddaTimeMs = timing->timeMs;
    s.ddaTiming = r::kDdaTimingBitLength.set(s.ddaTiming, code);
    c.write(r::kDdaTiming, s.ddaTiming);
    s.ddaTiming = r::kDdaTimingDivider.set(s.ddaTiming, timing->divider);
    c.write(r::kDdaTiming, s.ddaTiming);
  });
}

int QORA_DDA_GetTime(float* time, uint16_t card) {
  if (time == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *time = c.shadow().ddaTimeMs; });
}

int QORA_DDA_SetBitLength(uint16_t code, uint16_t card) {
  if (code > 5) return QORA_REFUSED;
  return timingField(r::kDdaTimingBitLength, code, card);
}

int QORA_DDA_SetClockDivider(uint16_t divider, uint16_t card) {
  if (divider > 4095) return QORA_REFUSED;
  return timingField(r::kDdaTimingDivider, divider, card);
}

// ---- output pulse counting and division

int QORA_DDA_GetOutputPulse(uint16_t axis, int32_t* value, uint16_t card) {
  if (axis >= kAxes || value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::kDdaCounterPrepare, r::kDdaCounterPrepareValue);
    const std::uint32_t low = c.read(r::ddaPulseCounterLow(axis));
    const std::uint32_t high = c.read(r::ddaPulseCounterHigh(axis));
    *value = static_cast<std::int32_t>((high << 16) | low);
  });
}

int QORA_DDA_EnablePulseCounter(uint16_t axis, uint16_t card) {
  return pulseCounterEnable(axis, true, card);
}
int QORA_DDA_DisablePulseCounter(uint16_t axis, uint16_t card) {
  return pulseCounterEnable(axis, false, card);
}

int QORA_DDA_ClearPulseCounter(uint16_t axis, uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return strobe(r::kDdaClearCounterBit + axis, card);
}

int QORA_DDA_SetPulseDivider(uint16_t axis, uint32_t divider, uint16_t card) {
  if (axis >= kAxes || divider > 256) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { c.write(r::ddaPulseDivider(axis), divider); });
}

int QORA_DDA_ClearPulseDivider(uint16_t axis, uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return strobe(r::kDdaClearDividerBit + axis, card);
}

}  // extern "C"
