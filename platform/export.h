// Export macro of the platform stand-ins (one shared library, so that every
// library of the process sees the same clock, message-box hook and bus).
#pragma once

#define PLATFORM_EXPORT __attribute__((visibility("default")))
