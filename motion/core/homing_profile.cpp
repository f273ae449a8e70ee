#include "motion/core/homing_profile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vnl::homing {

HomeStep homeStep(double speed, const AxisScale& axis, double periodMs) {
  const double revsPerSecond = std::min(speed * axis.gearRatio / axis.pitch, axis.rpm / 75.0);
  HomeStep h;
  h.pulsesPerPeriod = axis.ppr * revsPerSecond * periodMs * 0.001;
  if (h.pulsesPerPeriod >= 1.0 && h.pulsesPerPeriod < 10.0) {
    h.accelerationSteps = static_cast<std::uint16_t>(h.pulsesPerPeriod);
  } else if (!(h.pulsesPerPeriod >= 1.0)) {  // VNL_GoHome refuses speeds that are not numbers
    h.pulsesPerPeriod = 1.0;
    h.accelerationSteps = 1;
  }
  return h;
}

std::uint16_t effectiveAccelerationSteps(std::uint16_t stored) {
  if (stored == 0) return 10;
  return std::min<std::uint16_t>(stored, 50);
}

std::int32_t homeOffsetPulses(double offset, const AxisScale& axis) {
  const double pulses = axis.ppr * axis.gearRatio * offset / axis.pitch;
  if (!std::isfinite(pulses)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::trunc(pulses), -2147483647.0, 2147483647.0));
}

Ramp makeRamp(double homeStep, int steps) {
  Ramp r;
  r.steps = std::clamp(steps, 1, Ramp::kMaxSteps);
  for (int k = 0; k <= r.steps; ++k) {
    r.entry[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(k * homeStep / r.steps);
  }
  return r;
}

void OffsetMove::start(std::int32_t distance, double homeStep, int smoothing) {
  const double span = homeStep > 0.0 ? std::trunc(2.0 * distance / homeStep) : 0.0;
  periods_ = static_cast<std::int32_t>(std::min(std::fabs(span), 2147483647.0));
  if (periods_ == 0) periods_ = 1;  // the whole distance in one period
  perPeriod_ = distance / periods_;
  remainder_ = distance % periods_;
  carry_ = 0;
  periodsLeft_ = distance == 0 ? 0 : periods_;
  smoothing_ = std::clamp(smoothing, 1, kMaxSmoothing);
  drainLeft_ = (periodsLeft_ > 0 && smoothing_ >= 2) ? smoothing_ - 1 : 0;
  ring_.fill(0);
  head_ = 0;
  sum_ = 0;
  averageCarry_ = 0;
}

std::int32_t OffsetMove::rawNext() {
  if (periodsLeft_ == 0) return 0;
  --periodsLeft_;
  std::int32_t n = perPeriod_;
  carry_ += remainder_;
  if (carry_ >= periods_) {
    ++n;
    carry_ -= periods_;
  } else if (carry_ <= -periods_) {
    --n;
    carry_ += periods_;
  }
  return n;
}

std::int32_t OffsetMove::next() {
  if (smoothing_ < 2) return rawNext();
  if (finished()) return 0;
  const bool draining = periodsLeft_ == 0;
  const std::int32_t raw = rawNext();
  if (draining) --drainLeft_;
  sum_ += raw - ring_[static_cast<std::size_t>(head_)];
  ring_[static_cast<std::size_t>(head_)] = raw;
  head_ = (head_ + 1) % smoothing_;
  std::int64_t average = sum_ / smoothing_;
  averageCarry_ += sum_ % smoothing_;
  if (averageCarry_ >= smoothing_) {
    ++average;
    averageCarry_ -= smoothing_;
  } else if (averageCarry_ <= -smoothing_) {
    --average;
    averageCarry_ += smoothing_;
  }
  return static_cast<std::int32_t>(average);
}

}  // namespace vnl::homing
