// Export macro of the glyphkey control library: every other symbol of
// libglyphkey.so stays hidden.
#pragma once

#define GLYPHKEY_EXPORT __attribute__((visibility("default")))
