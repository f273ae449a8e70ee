// The accessible interface of picCommand: role push button, its caption as
// its name, and a press action that acts as a click (MouseDown, MouseUp and
// Click), so screen readers and desktop automation over the accessibility bus
// can work the buttons.
#pragma once

#include "glyphkey/export.h"

namespace glyphkey {

// Installs the interface's factory once per process; later calls do nothing.
GLYPHKEY_EXPORT void installAccessibility();

}  // namespace glyphkey
