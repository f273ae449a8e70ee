// The motion library's jog, blending and delay functions as the runner calls
// them. They sit behind this one file so that the rest of the runner only
// needs the functions every build of the library has: they are bound weakly,
// and a library that does not export one leaves it absent (available() says
// so, and the parser refuses its statement) instead of failing the link.
#pragma once

#include <cstdint>

namespace tv::run::calls {

// The library function a statement needs is exported (false: "is not
// supported yet").
bool jogSpaceAvailable();
bool jogContiAvailable();
bool jogPulseAvailable();
bool blendAvailable();
bool delayAvailable();

int32_t jogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group);
int32_t jogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group);
int32_t jogPulse(int32_t pulses, uint8_t axis, uint16_t group);
int32_t enableBlend(uint16_t group);
int32_t disableBlend(uint16_t group);
int32_t delayMotion(uint32_t periods, uint16_t group);

}  // namespace tv::run::calls
