// Colour values as the control's properties carry them: 0x00BBGGRR for a plain
// colour, or 0x80000000 | n for system colour n (0..24), which follows the
// desktop palette. Keeping the system form lets a saved control keep "button
// face" rather than whatever button face was when it was saved.
#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

#include "glyphkey/export.h"

namespace glyphkey {

using OleColor = quint32;

inline constexpr OleColor kSystemColorFlag = 0x80000000u;
inline constexpr int kSystemColorCount = 25;

constexpr OleColor systemColor(int index) {
  return kSystemColorFlag | static_cast<OleColor>(index);
}

// System colours the control's defaults use.
inline constexpr OleColor kButtonFace = systemColor(15);
inline constexpr OleColor kCaptionText = systemColor(9);

// True for a plain colour and for a system colour 0..24.
GLYPHKEY_EXPORT bool isValidColor(OleColor value);

// The colour a value stands for under a palette; throws PropertyError
// (InvalidPropertyValue) for a value isValidColor refuses.
GLYPHKEY_EXPORT QColor resolveColor(OleColor value, const QPalette& palette);

// The plain colour value of an RGB colour (alpha is dropped).
GLYPHKEY_EXPORT OleColor plainColor(const QColor& color);

}  // namespace glyphkey
