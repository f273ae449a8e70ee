// The size of the child forms: 10400 x 5870 twips (1/1440 inch) on the
// screen's logical resolution, 693 x 391 pixels at 96 dots per inch.
#pragma once

#include <QSize>

#include "run/units.h"

namespace tervane {

inline constexpr int kChildWidthTwips = 10400;
inline constexpr int kChildHeightTwips = 5870;

inline QSize childFormSize(double dpi) {
  return {twipsToPixels(kChildWidthTwips, dpi), twipsToPixels(kChildHeightTwips, dpi)};
}

}  // namespace tervane
