// Picture of a run: the path in the X-Y plane, the axis positions over time
// and the path speed over time, written as a PNG file.
#pragma once

#include <string>

#include "runner.h"

namespace tv::run {

// Whether this build can draw (the plotter needs the Qt GUI module).
bool plottingBuilt();

// Draws the trace into a PNG file; false with error filled on failure.
bool writePlot(const Trace& trace, const std::string& file, std::string& error);

}  // namespace tv::run
