#include "compensation.h"

#include <algorithm>
#include <cmath>

namespace vnl {

int32_t compensationAt(const COMP_PARAM& table, int direction, int64_t position) {
  const int16_t* tab = direction < 0 ? table.wNegative : table.wPositive;
  const int64_t interval = table.dwInterval;
  const int64_t h = position / interval;
  const int64_t m = std::clamp<int64_t>(table.wZeroIndex + h, 0, 255);
  int64_t next = h >= 0 ? m + 1 : m - 1;
  if (h == 0) next = m + 1;
  const double here = tab[m];
  const double there = (next < 0 || next >= 255) ? 0.0 : tab[next];
  return static_cast<int32_t>(here + (there - here) / static_cast<double>(interval) *
                                         std::fabs(static_cast<double>(position - h * interval)));
}

int32_t compensationStep(const COMP_PARAM& table, CompensationTrack& track, int64_t position,
                         int32_t count) {
  if (table.dwInterval <= 0) return 0;
  if (count != 0) track.direction = count >= 1 ? 1 : -1;
  const int32_t now = compensationAt(table, track.direction, position + count);
  const int32_t add = now - track.applied;
  track.applied = now;
  return add;
}

}  // namespace vnl
