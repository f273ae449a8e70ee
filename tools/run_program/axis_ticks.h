// Round axis ranges and tick values for the plots: pure arithmetic, no Qt.
#pragma once

#include <vector>

namespace tv::run {

struct AxisScale {
  double low = 0;
  double high = 1;
  double step = 0.2;  // 1, 2 or 5 times a power of ten
};

// A range with round ends that holds [min, max], divided by a round step
// into about `intervals` parts. A range that starts or ends near zero is
// taken to zero; a flat series (min == max) gets a range around its value.
// Non-finite input gives 0..1.
AxisScale roundScale(double min, double max, int intervals);

// The step of 1, 2 or 5 times a power of ten nearest span / intervals.
double roundStep(double span, int intervals);

// The multiples of step in [low, high], a hair of tolerance at both ends;
// a tick that is zero up to rounding is exactly zero.
std::vector<double> ticksWithin(double low, double high, double step);

}  // namespace tv::run
