// One CSV row per interpolation period of a run.
#pragma once

#include <ostream>

#include "runner.h"

namespace tv::run {

// Header, then per period: time_ms, the six commanded positions, the six
// pulse positions, the six pulse counts of the period, the six axis speeds
// and the path speed.
void writeCsv(std::ostream& out, const Trace& trace);

}  // namespace tv::run
