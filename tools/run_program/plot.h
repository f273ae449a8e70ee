// Pictures of a run written as PNG files: the overview (the path in the X-Y
// plane, the axis positions and the path speed over time) and the X-Y path
// view.
#pragma once

#include <string>

#include "runner.h"

namespace tv::run {

// Whether this build can draw (the plotter needs the Qt GUI module).
bool plottingBuilt();

// Draws the trace into a PNG file; false with error filled on failure.
bool writePlot(const Trace& trace, const std::string& file, std::string& error);

// Draws the commanded X-Y path alone into a PNG file: one scale on both axes,
// a grid, the axes labelled in the caller's units, start and end marked.
bool writeXyPlot(const Trace& trace, const std::string& file, std::string& error);

}  // namespace tv::run
