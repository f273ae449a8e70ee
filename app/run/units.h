// The operator program's arithmetic: the window works in pulses, the motion
// library in units of 500 pulses; times in milliseconds become 5 ms
// interpolation periods. Rounding is to the nearest integer, halves to even.
#pragma once

#include <cstdint>

namespace tervane {

inline constexpr double kPulsesPerUnit = 500.0;
inline constexpr int32_t kInterpolationMs = 5;
// The machine-parameter record's motor: 500 pulses per revolution at up to
// 30000 revolutions per minute, so 250000 pulses per second is 100 %.
inline constexpr double kPulsesPerRevolution = 500.0;
inline constexpr double kMotorRpm = 30000.0;

double roundHalfEven(double value);

// A value sent to the library: pulses / 500.
inline double toUnits(double pulses) {
  return pulses / kPulsesPerUnit;
}
// A position read back, in pulses.
inline double toPulses(double units) {
  return units * kPulsesPerUnit;
}
// Whole units of a pulse value: the pulses rounded, divided by 500 dropping
// the fraction (999 gives 1, -999 gives -1).
double wholeUnits(double pulses);
// Interpolation periods of a time in ms, rounded (152 ms gives 30).
int32_t periodsOf(int32_t ms);
// The jog's speed ratio of a speed in pulses per second: percent of the
// motor's maximum speed, limited to 1..100.
double speedRatio(int32_t pulsesPerSecond);
// The ratio as the library takes it: rounded (37.5 gives 38, 36.5 gives 36).
int32_t ratioArgument(double ratio);
// Periods of the general-motion delay box: (seconds x 1000) / 5, integer division.
int32_t delayPeriods(int32_t seconds);
// A length in twips (1/1440 inch) on a screen of `dpi` logical dots per inch.
int twipsToPixels(int twips, double dpi);

}  // namespace tervane
