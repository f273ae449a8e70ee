#include "platform/vcard/analog_module.h"

#include <algorithm>
#include <cmath>

#include "platform/chip/regs.h"

namespace vcard {

namespace r = chip::reg;

namespace {
constexpr std::int32_t kErrorLimit = 32767;
constexpr std::int64_t kCodeLimit = 32767;
constexpr std::int64_t kAdcUsNs = 1000;
constexpr std::int64_t kMaxConversionsPerAdvance = 2 * AdcModule::kChannels + 1;
}  // namespace

// ---- closed loop

bool PclModule::running() const {
  return r::bit(control_, r::kPclCtlRunBit);
}

void PclModule::add(unsigned axis, std::int64_t delta) {
  if (!r::bit(control_, r::kPclCtlCounterEnableBit + axis) || delta == 0) return;
  std::int64_t e = std::int64_t{error_[axis]} + delta;
  if (e >= kErrorLimit || e <= -kErrorLimit) {
    e = std::clamp<std::int64_t>(e, -kErrorLimit, kErrorLimit);
    if (r::bit(overflowEnable_, axis)) conditions_ = r::setBit(conditions_, axis, true);
  }
  error_[axis] = static_cast<std::int32_t>(e);
}

void PclModule::command(unsigned axis, std::int64_t pulses) {
  add(axis, pulses);
}

void PclModule::feedback(unsigned axis, std::int64_t counts) {
  add(axis, -counts);
}

std::int32_t PclModule::output(unsigned axis) const {
  if (!running()) return 0;
  const std::uint16_t g = gain_[axis];
  const std::int64_t gain = r::kPclGain.get(g);
  const unsigned code = r::kPclShift.get(g);
  const unsigned magnitude = code & 7u;
  std::int64_t v = std::int64_t{error_[axis]} * gain;
  v = (code & 8u) != 0 ? v / (std::int64_t{1} << magnitude) : v * (std::int64_t{1} << magnitude);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -kCodeLimit, kCodeLimit));
}

std::uint16_t PclModule::read(std::uint32_t offset) {
  if (offset >= r::pclErrorCounter(0) && offset < r::pclErrorCounter(kAxes)) {
    return latch_[(offset - r::pclErrorCounter(0)) / 2];
  }
  if (offset == r::kPclIntCondition) {
    const std::uint16_t c = conditions_;
    conditions_ = 0;
    return c;
  }
  return 0;
}

void PclModule::write(std::uint32_t offset, std::uint16_t value) {
  if (offset >= r::pclScaleGain(0) && offset < r::pclScaleGain(kAxes)) {
    gain_[(offset - r::pclScaleGain(0)) / 2] = value;
    return;
  }
  switch (offset) {
    case r::kPclOverflowEnable:
      overflowEnable_ = value;
      conditions_ &= value;
      break;
    case r::kPclControl:
      control_ = value;
      for (unsigned a = 0; a < kAxes; ++a) {
        if (r::bit(value, r::kPclCtlClearBit + a)) error_[a] = 0;
      }
      break;
    case r::kPclCounterPrepare:
      if (value == r::kPclCounterPrepareValue) {
        for (unsigned a = 0; a < kAxes; ++a)
          latch_[a] = static_cast<std::uint16_t>(error_[a]);
      }
      break;
    default:
      break;
  }
}

// ---- DAC

bool DacModule::running() const {
  return r::bit(control_, r::kDacRunBit);
}

bool DacModule::closedLoop(unsigned axis, const PclModule& pcl) const {
  return running() && pcl.running() && r::bit(mode_, r::kDacCmdSourceBit + axis);
}

void DacModule::write(std::uint32_t offset, std::uint16_t value) {
  if (offset == r::kDacControl) {
    control_ = value;
    return;
  }
  if (offset == r::kDacMode) {
    for (unsigned c = 0; c < kChannels; ++c) {
      if (!r::bit(value, r::kDacTrigModeBit + c)) triggered_[c] = false;
    }
    mode_ = value;
    return;
  }
  for (unsigned c = 0; c < kChannels; ++c) {
    if (offset == r::dacOutput(c)) output_[c] = static_cast<std::int16_t>(value);
    if (offset == r::dacTrigOutput(c)) trigOutput_[c] = static_cast<std::int16_t>(value);
    if (offset == r::dacTrigSourceLow(c)) trigSource_[c] = (trigSource_[c] & 0xFFFF0000u) | value;
    if (offset == r::dacTrigSourceHigh(c)) {
      trigSource_[c] = (trigSource_[c] & 0xFFFFu) | (static_cast<std::uint32_t>(value) << 16);
    }
  }
}

void DacModule::trigger(std::uint32_t events) {
  if (events == 0) return;
  for (unsigned c = 0; c < kChannels; ++c) {
    if (r::bit(mode_, r::kDacTrigModeBit + c) && (trigSource_[c] & events) != 0) {
      triggered_[c] = true;
    }
  }
}

void DacModule::update(Plant& plant, const PclModule& pcl) const {
  if (!running()) return;
  for (unsigned c = 0; c < kChannels; ++c) {
    std::int32_t code = 0;
    if (r::bit(mode_, r::kDacCmdSourceBit + c)) {
      code = c < PclModule::kAxes ? pcl.output(c) : 0;
    } else {
      code = triggered_[c] ? trigOutput_[c] : output_[c];
    }
    plant.setDacVolts(c, volts(code));
  }
}

// ---- ADC

std::uint16_t AdcModule::encode(double volts, bool unipolar) {
  const double scaled = std::round(volts * 409.6);
  if (unipolar) return static_cast<std::uint16_t>(std::clamp(scaled, 0.0, 4095.0));
  const auto code = static_cast<std::int32_t>(std::clamp(scaled, -2048.0, 2047.0));
  return static_cast<std::uint16_t>(code & 0xFFF);
}

int AdcModule::signedCode(unsigned ch, std::uint16_t code) const {
  const int v = code & 0xFFF;
  if (r::bit(conversion_, r::kAdcConvTypeBit + ch)) return v;
  return (v ^ 0x800) - 0x800;
}

std::uint32_t AdcModule::convert(unsigned ch, const Plant& plant) {
  const bool unipolar = r::bit(conversion_, r::kAdcConvTypeBit + ch);
  const std::uint16_t before = result_[ch];
  const std::uint16_t now = encode(plant.adcVolts(ch), unipolar);
  result_[ch] = now;
  if (r::kAdcTagChannel.get(control_) == ch && r::bit(intEnable_, r::kAdcTagIntBit)) {
    conditions_ = r::setBit(conditions_, r::kAdcTagIntBit, true);
  }
  const unsigned type = r::kAdcCompType.get(comparator_[ch]);
  const unsigned mask = r::kAdcCompMask.get(control_);
  const bool masked = mask == 3 || (mask == 1 && ch < 4) || (mask == 2 && ch >= 4);
  if (type == 0 || masked) return 0;
  const int threshold =
      signedCode(ch, static_cast<std::uint16_t>(r::kAdcCompValue.get(comparator_[ch])));
  const int a = signedCode(ch, before), b = signedCode(ch, now);
  const bool rise = a <= threshold && b > threshold;
  const bool fall = a >= threshold && b < threshold;
  const bool fired = (type == 1 && rise) || (type == 2 && fall) || (type == 3 && (rise || fall));
  if (!fired) return 0;
  conditions_ = r::setBit(conditions_, r::kAdcCondCompBase + ch, true);
  return 1u << ch;
}

std::uint32_t AdcModule::advance(std::chrono::nanoseconds elapsed, const Plant& plant) {
  if (!working() || elapsed.count() <= 0) return 0;
  const std::int64_t conversionNs = kAdcUsNs * (std::int64_t{divider_} + 1);
  ns_ += elapsed.count();
  std::int64_t n = ns_ / conversionNs;
  ns_ %= conversionNs;
  // The inputs stand still during one advance: after two full scans nothing
  // more can change, so a long advance is cut short.
  n = std::min(n, kMaxConversionsPerAdvance);
  std::uint32_t events = 0;
  const bool single = r::bit(control_, r::kAdcConvModeBit);
  for (std::int64_t i = 0; i < n; ++i) {
    if (single) {
      events |= convert(r::kAdcSingleChannel.get(control_) & 7u, plant);
      if (r::bit(intEnable_, r::kAdcConvIntBit)) {
        conditions_ = r::setBit(conditions_, r::kAdcConvIntBit, true);
      }
      continue;
    }
    unsigned ch = next_;
    while (!r::bit(conversion_, r::kAdcConvEnableBit + ch))
      ch = (ch + 1) % kChannels;
    events |= convert(ch, plant);
    next_ = (ch + 1) % kChannels;
    // A scan ends with the highest enabled channel.
    const bool last = (conversion_ & 0xFFu) >> (ch + 1) == 0;
    if (last) {
      next_ = 0;
      if (r::bit(intEnable_, r::kAdcConvIntBit)) {
        conditions_ = r::setBit(conditions_, r::kAdcConvIntBit, true);
      }
    }
  }
  return events;
}

std::uint16_t AdcModule::read(std::uint32_t offset) {
  if (offset >= r::adcResult(0) && offset < r::adcResult(kChannels)) {
    return result_[(offset - r::adcResult(0)) / 2];
  }
  if (offset == r::kAdcStatus) {
    const std::uint16_t word = r::setBit(conditions_, r::kAdcWorkStatusBit, working());
    conditions_ = 0;
    return word;
  }
  return 0;
}

void AdcModule::write(std::uint32_t offset, std::uint16_t value) {
  if (offset >= r::adcComparator(0) && offset < r::adcComparator(kChannels)) {
    const unsigned ch = (offset - r::adcComparator(0)) / 2;
    comparator_[ch] = value;
    if (r::kAdcCompType.get(value) == 0) {
      conditions_ = r::setBit(conditions_, r::kAdcCondCompBase + ch, false);
    }
    return;
  }
  switch (offset) {
    case r::kAdcIntEnable:
      intEnable_ = value;
      if (!r::bit(value, r::kAdcConvIntBit))
        conditions_ = r::setBit(conditions_, r::kAdcConvIntBit, false);
      if (!r::bit(value, r::kAdcTagIntBit))
        conditions_ = r::setBit(conditions_, r::kAdcTagIntBit, false);
      break;
    case r::kAdcClockDivider:
      divider_ = value & 0xFFu;
      break;
    case r::kAdcConversion:
      conversion_ = value;
      break;
    case r::kAdcControl:
      control_ = value;
      break;
    default:
      break;
  }
}

}  // namespace vcard
