#include "axis_ticks.h"

#include <algorithm>
#include <cmath>

namespace tv::run {

double roundStep(double span, int intervals) {
  if (!(span > 0) || !std::isfinite(span)) return 1;
  const double rough = span / std::max(1, intervals);
  const double mag = std::pow(10.0, std::floor(std::log10(rough)));
  const double norm = rough / mag;
  return (norm < 1.5 ? 1 : norm < 3.5 ? 2 : norm < 7.5 ? 5 : 10) * mag;
}

AxisScale roundScale(double min, double max, int intervals) {
  if (!std::isfinite(min) || !std::isfinite(max) || min > max) return {};
  double lo = min, hi = max;
  if (hi - lo <= 1e-9 * std::max(1.0, std::fabs(lo))) {
    // Flat: a window of half the value's size around it (1 around zero).
    const double half = lo == 0 ? 1 : std::fabs(lo) / 4;
    lo -= half;
    hi += half;
  } else {
    // A series that stays on one side of zero and comes close to it shows zero.
    const double span = hi - lo;
    if (lo > 0 && lo < span / 2) lo = 0;
    if (hi < 0 && -hi < span / 2) hi = 0;
  }
  // The step found from the span may leave too many intervals once the ends
  // are rounded outwards; one more round fixes that.
  double step = roundStep(hi - lo, intervals);
  for (int pass = 0; pass < 2; ++pass) {
    // Ends that miss the data only by rounding are the data's own ends.
    const double a = std::min(std::floor(lo / step + 1e-9) * step, lo);
    const double b = std::max(std::ceil(hi / step - 1e-9) * step, hi);
    if ((b - a) / step <= intervals * 1.5 + 0.5 || pass == 1) return {a, b, step};
    step = roundStep(b - a, intervals);
  }
  return {lo, hi, step};
}

std::vector<double> ticksWithin(double low, double high, double step) {
  std::vector<double> ticks;
  if (!(step > 0) || !std::isfinite(low) || !std::isfinite(high) || low > high) return ticks;
  const double first = std::ceil(low / step - 1e-9);
  const double last = std::floor(high / step + 1e-9);
  for (double k = first; k <= last && ticks.size() < 1000; ++k) {
    const double v = k * step;
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  }
  return ticks;
}

}  // namespace tv::run
