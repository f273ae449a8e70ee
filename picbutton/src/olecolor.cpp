#include "glyphkey/olecolor.h"

#include <QString>

#include "glyphkey/errors.h"

namespace glyphkey {

namespace {

// Palette role standing for each system colour, in system colour order.
constexpr QPalette::ColorRole kSystemRoles[kSystemColorCount] = {
    QPalette::Button,           // 0 scroll bar
    QPalette::Dark,             // 1 desktop
    QPalette::Highlight,        // 2 active caption
    QPalette::Mid,              // 3 inactive caption
    QPalette::Window,           // 4 menu
    QPalette::Base,             // 5 window
    QPalette::Shadow,           // 6 window frame
    QPalette::WindowText,       // 7 menu text
    QPalette::Text,             // 8 window text
    QPalette::HighlightedText,  // 9 caption text
    QPalette::Window,           // 10 active border
    QPalette::Window,           // 11 inactive border
    QPalette::Dark,             // 12 application workspace
    QPalette::Highlight,        // 13 highlight
    QPalette::HighlightedText,  // 14 highlighted text
    QPalette::Button,           // 15 button face
    QPalette::Dark,             // 16 button shadow
    QPalette::Mid,              // 17 gray text
    QPalette::ButtonText,       // 18 button text
    QPalette::Text,             // 19 inactive caption text
    QPalette::Light,            // 20 button highlight
    QPalette::Shadow,           // 21 3-D dark shadow
    QPalette::Midlight,         // 22 3-D light
    QPalette::ToolTipText,      // 23 tool tip text
    QPalette::ToolTipBase,      // 24 tool tip background
};

}  // namespace

bool isValidColor(OleColor value) {
  if (value & kSystemColorFlag) return (value & ~kSystemColorFlag) < kSystemColorCount;
  return (value & 0xFF000000u) == 0;
}

QColor resolveColor(OleColor value, const QPalette& palette) {
  if (!isValidColor(value)) {
    throw PropertyError(
        PropertyError::Code::InvalidPropertyValue,
        "Invalid property value: colour 0x" + QString::number(value, 16).toUpper().toStdString());
  }
  if (value & kSystemColorFlag) return palette.color(kSystemRoles[value & ~kSystemColorFlag]);
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

OleColor plainColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<OleColor>(rgb.red()) | (static_cast<OleColor>(rgb.green()) << 8) |
         (static_cast<OleColor>(rgb.blue()) << 16);
}

}  // namespace glyphkey
