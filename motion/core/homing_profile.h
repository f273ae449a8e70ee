// The arithmetic of a homing run, free of threads and cards: the home step
// (pulses per period) from a home speed, the acceleration steps it allows, the
// ramp of the search, and the offset move that spreads a pulse distance over
// periods at uniform speed, smoothed by a moving average, without losing or
// inventing a pulse.
#pragma once

#include <array>
#include <cstdint>

namespace vnl::homing {

struct AxisScale {
  double pitch = 1.0;      // user units per screw revolution
  double gearRatio = 1.0;  // motor revolutions per screw revolution
  std::uint32_t ppr = 1000;
  std::uint16_t rpm = 1000;
};

struct HomeStep {
  double pulsesPerPeriod = 0.0;
  std::uint16_t accelerationSteps = 0;  // 0 = the default (10) applies
};

// The home step for a home speed (user units per second), limited to 80 % of
// the motor's maximum speed, and the acceleration steps a small step implies:
// below 10 pulses per period the ramp has as many steps as whole pulses, below
// 1 pulse per period the axis runs at 1 pulse with 1 step.
HomeStep homeStep(double speed, const AxisScale& axis, double periodMs);

// The acceleration steps the homing engine uses for a stored value: 0 gives
// 10, above 50 gives 50.
std::uint16_t effectiveAccelerationSteps(std::uint16_t stored);

// The home offset in pulses, truncated toward zero.
std::int32_t homeOffsetPulses(double offset, const AxisScale& axis);

// The search ramp: entry k (0..n) = k x step / n, truncated.
struct Ramp {
  static constexpr int kMaxSteps = 50;
  std::array<std::int32_t, kMaxSteps + 1> entry{};
  int steps = 1;
};
Ramp makeRamp(double homeStep, int steps);

// The offset move: `distance` pulses at about half the home speed, as whole
// pulses per period with the remainder spread by an accumulator, then (for 2
// or more acceleration steps) smoothed by a moving average over the last
// `smoothing` counts whose division remainder is carried the same way. The
// counts add up to exactly `distance`.
class OffsetMove {
 public:
  static constexpr int kMaxSmoothing = 55;

  void start(std::int32_t distance, double homeStep, int smoothing);
  // The count of the next period; 0 once finished.
  std::int32_t next();
  bool finished() const { return periodsLeft_ == 0 && drainLeft_ == 0; }

 private:
  std::int32_t rawNext();

  std::int32_t periods_ = 1, perPeriod_ = 0, remainder_ = 0, carry_ = 0;
  std::int32_t periodsLeft_ = 0;
  int smoothing_ = 1, drainLeft_ = 0, head_ = 0;
  std::array<std::int32_t, kMaxSmoothing> ring_{};
  std::int64_t sum_ = 0;
  std::int64_t averageCarry_ = 0;
};

}  // namespace vnl::homing
