#include "run/units.h"

#include <algorithm>
#include <cmath>

namespace tervane {

double roundHalfEven(double value) {
  // The program never leaves the default rounding mode, round to nearest even.
  return std::nearbyint(value);
}

double wholeUnits(double pulses) {
  return std::trunc(roundHalfEven(pulses) / kPulsesPerUnit);
}

int32_t periodsOf(int32_t ms) {
  return static_cast<int32_t>(roundHalfEven(static_cast<double>(ms) / kInterpolationMs));
}

double speedRatio(int32_t pulsesPerSecond) {
  const double ratio =
      pulsesPerSecond / kPulsesPerRevolution * 60.0 / kMotorRpm * 100.0;  // 250000 gives 100
  return std::clamp(ratio, 1.0, 100.0);
}

int32_t ratioArgument(double ratio) {
  return static_cast<int32_t>(roundHalfEven(ratio));
}

int32_t delayPeriods(int32_t seconds) {
  return static_cast<int32_t>(static_cast<int64_t>(seconds) * 1000 / kInterpolationMs);
}

int twipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

}  // namespace tervane
