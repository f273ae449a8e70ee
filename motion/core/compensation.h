// Pitch compensation of one axis: a table of corrections (pulses) at every
// interval of commanded position, one for each direction of travel, entry
// wZeroIndex at position 0. Between two entries the correction is
// interpolated linearly. Pure: the output layer keeps each axis's direction
// and the correction it has applied, and adds what this returns each period.
#pragma once

#include <cstdint>

#include "varnelpci.h"

namespace vnl {

struct CompensationTrack {
  int direction = 0;    // 1 or -1 once the axis has moved; 0 before
  int32_t applied = 0;  // the correction output so far
};

// The correction at commanded position `position` (pulses) when travelling
// in `direction` (-1 takes the negative table, otherwise the positive one).
int32_t compensationAt(const COMP_PARAM& table, int direction, int64_t position);

// One period of an axis at `position` commanded to move by `count`: the
// pulses to add on top of the count so that the output carries the
// correction at the new position. A move sets the direction; a standing
// axis keeps its last one. 0 while the table's interval is not above 0.
int32_t compensationStep(const COMP_PARAM& table, CompensationTrack& track, int64_t position,
                         int32_t count);

}  // namespace vnl
