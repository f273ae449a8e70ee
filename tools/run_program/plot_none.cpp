// Builds without the Qt GUI module: the plotter is absent.
#include "plot.h"

namespace tv::run {

bool plottingBuilt() {
  return false;
}

bool writePlot(const Trace&, const std::string&, std::string& error) {
  error = "plotting is not built (this build has TV_BUILD_GUI off)";
  return false;
}

bool writeXyPlot(const Trace&, const std::string&, std::string& error) {
  error = "plotting is not built (this build has TV_BUILD_GUI off)";
  return false;
}

}  // namespace tv::run
