#include "platform/vcard/dda_module.h"

#include "platform/chip/dda_timing.h"
#include "platform/chip/regs.h"

namespace vcard {

namespace r = chip::reg;

namespace {
constexpr std::uint16_t kMagnitude = 0x7FFF;
constexpr std::uint16_t kSign = 0x8000;
}  // namespace

void DdaModule::reset() {
  *this = DdaModule{};
}

bool DdaModule::running() const {
  return r::bit(control_, r::kDdaCtlRunBit);
}

std::chrono::nanoseconds DdaModule::cyclePeriod() const {
  const std::int64_t k = r::kDdaTimingBitLength.get(timing_);
  const std::int64_t d = r::kDdaTimingDivider.get(timing_);
  return std::chrono::nanoseconds(
      chip::ddaCycleNs(static_cast<unsigned>(k), static_cast<unsigned>(d)));
}

void DdaModule::push(unsigned axis, std::uint16_t word) {
  Fifo& f = fifos_[axis];
  if (f.count == kFifoCapacity) {
    ++f.overruns;
    return;
  }
  f.slots[(f.head + f.count) % kFifoCapacity] = word;
  ++f.count;
}

void DdaModule::drop(unsigned axis, unsigned n) {
  Fifo& f = fifos_[axis];
  const unsigned before = f.count;
  if (n > f.count) n = f.count;
  f.head = (f.head + n) % kFifoCapacity;
  f.count -= n;
  stockCheck(axis, before);
}

void DdaModule::stockCheck(unsigned axis, unsigned before) {
  const unsigned now = fifos_[axis].count;
  if (before >= minStock_ && now < minStock_ && r::bit(control_, r::kDdaCtlStockIntBit + axis)) {
    conditions_ = r::setBit(conditions_, r::kDdaCondStockBit + axis, true);
  }
}

std::uint16_t DdaModule::read(std::uint32_t offset) {
  if (offset >= r::ddaFifo(0) && offset < r::ddaFifo(kAxes)) {
    return current_[(offset - r::ddaFifo(0)) / 2];
  }
  if (offset >= r::ddaPulseCounterLow(0) && offset <= r::ddaPulseCounterHigh(kAxes - 1)) {
    const unsigned axis = (offset - r::ddaPulseCounterLow(0)) / 4;
    const bool high = offset == r::ddaPulseCounterHigh(axis);
    return static_cast<std::uint16_t>(high ? counterLatch_[axis] >> 16 : counterLatch_[axis]);
  }
  switch (offset) {
    case r::kDdaFifoFlags: {
      std::uint16_t flags = 0;
      for (unsigned a = 0; a < kAxes; ++a) {
        flags = r::setBit(flags, r::kDdaFifoEmptyBit + a, fifos_[a].count == 0);
        flags = r::setBit(flags, r::kDdaFifoFullBit + a, fifos_[a].count == kFifoCapacity);
      }
      return flags;
    }
    case r::ddaStock(0):
    case r::ddaStock(2):
    case r::ddaStock(4): {
      const unsigned a = (offset - r::ddaStock(0)) / 2 * 2;
      std::uint16_t word = r::ddaStockField(a).set(0, fifos_[a].count);
      return r::ddaStockField(a + 1).set(word, fifos_[a + 1].count);
    }
    case r::kDdaIntCondition: {
      const std::uint16_t c = conditions_;
      conditions_ = 0;
      return c;
    }
    case r::kDdaShiftOut:
      for (unsigned a = 0; a < kAxes; ++a)
        drop(a, 1);
      return 0;
    default:
      return 0;
  }
}

void DdaModule::write(std::uint32_t offset, std::uint16_t value) {
  if (offset >= r::ddaFifo(0) && offset < r::ddaFifo(kAxes)) {
    push((offset - r::ddaFifo(0)) / 2, value);
    return;
  }
  if (offset >= r::ddaOutputConfig(0) && offset < r::ddaOutputConfig(kAxes)) {
    outputConfig_[(offset - r::ddaOutputConfig(0)) / 2] = value;
    return;
  }
  if (offset >= r::ddaErase(0) && offset < r::ddaErase(kAxes)) {
    drop((offset - r::ddaErase(0)) / 2, value);
    return;
  }
  if (offset >= r::ddaPulseDivider(0) && offset < r::ddaPulseDivider(kAxes)) {
    divider_[(offset - r::ddaPulseDivider(0)) / 2] = value;
    return;
  }
  switch (offset) {
    case r::kDdaControl:
      control_ = value;
      for (unsigned a = 0; a < kAxes; ++a) {
        if (!r::bit(control_, r::kDdaCtlStockIntBit + a))
          conditions_ = r::setBit(conditions_, r::kDdaCondStockBit + a, false);
      }
      if (!r::bit(control_, r::kDdaCtlCycleIntBit)) {
        conditions_ = r::setBit(conditions_, r::kDdaCondCycleBit, false);
      }
      break;
    case r::kDdaTiming:
      timing_ = value;
      break;
    case r::kDdaMinStock:
      minStock_ = value;
      break;
    case r::kDdaClearStrobes:
      for (unsigned a = 0; a < kAxes; ++a) {
        if (r::bit(value, r::kDdaClearCounterBit + a)) counter_[a] = 0;
        if (r::bit(value, r::kDdaClearDividerBit + a)) dividerRest_[a] = 0;
      }
      break;
    case r::kDdaPulseCounterEnable:
      counterEnable_ = value;
      break;
    case r::kDdaCounterPrepare:
      if (value == r::kDdaCounterPrepareValue) counterLatch_ = counter_;
      break;
    default:
      break;
  }
}

void DdaModule::cycle(bool emergencyStopInput, std::array<std::int32_t, kAxes>& out) {
  out.fill(0);
  if (!running()) return;
  const bool stopped = emergencyStopInput && r::bit(control_, r::kDdaCtlEmgcStopBit);
  const unsigned bitLength = 10 + static_cast<unsigned>(r::kDdaTimingBitLength.get(timing_));
  const std::uint32_t maxMagnitude = bitLength >= 15 ? kMagnitude : (1u << bitLength) - 1u;
  for (unsigned a = 0; a < kAxes; ++a) {
    Fifo& f = fifos_[a];
    current_[a] = 0;
    if (f.count == 0) continue;
    const std::uint16_t word = f.slots[f.head];
    drop(a, 1);
    if (stopped || !r::bit(control_, r::kDdaCtlChannelBit + a)) continue;
    std::uint32_t magnitude = word & kMagnitude;
    if (magnitude > maxMagnitude) magnitude = maxMagnitude;
    current_[a] = static_cast<std::uint16_t>((word & kSign) | magnitude);
    const std::uint32_t d = divider_[a];
    if (d >= 2) {
      dividerRest_[a] += magnitude;
      magnitude = dividerRest_[a] / d;
      dividerRest_[a] %= d;
    }
    const std::int32_t pulses = (word & kSign) != 0 ? -static_cast<std::int32_t>(magnitude)
                                                    : static_cast<std::int32_t>(magnitude);
    out[a] = pulses;
    if (r::bit(counterEnable_, a)) counter_[a] += static_cast<std::uint32_t>(pulses);
  }
  if (r::bit(control_, r::kDdaCtlCycleIntBit)) {
    conditions_ = r::setBit(conditions_, r::kDdaCondCycleBit, true);
  }
}

}  // namespace vcard
