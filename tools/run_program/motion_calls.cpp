#include "motion_calls.h"

#include "varnelpci.h"

// The declarations as the library exports them, bound weakly: an address of
// null means this library does not have the function.
#define TV_WEAK __attribute__((weak))
extern "C" {
TV_WEAK int32_t VNL_JogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group);
TV_WEAK int32_t VNL_JogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group);
TV_WEAK int32_t VNL_JogPulse(int32_t pulses, uint8_t axis, uint16_t group);
TV_WEAK int32_t VNL_EnableBlend(uint16_t group);
TV_WEAK int32_t VNL_DisableBlend(uint16_t group);
TV_WEAK int32_t VNL_DelayMotion(uint32_t periods, uint16_t group);
}

namespace tv::run::calls {

bool jogSpaceAvailable() {
  return VNL_JogSpace != nullptr;
}
bool jogContiAvailable() {
  return VNL_JogConti != nullptr;
}
bool jogPulseAvailable() {
  return VNL_JogPulse != nullptr;
}
bool blendAvailable() {
  return VNL_EnableBlend != nullptr && VNL_DisableBlend != nullptr;
}
bool delayAvailable() {
  return VNL_DelayMotion != nullptr;
}

int32_t jogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group) {
  return VNL_JogSpace(distance, percent, axis, group);
}

int32_t jogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group) {
  return VNL_JogConti(direction, percent, axis, group);
}

int32_t jogPulse(int32_t pulses, uint8_t axis, uint16_t group) {
  return VNL_JogPulse(pulses, axis, group);
}

int32_t enableBlend(uint16_t group) {
  return VNL_EnableBlend(group);
}

int32_t disableBlend(uint16_t group) {
  return VNL_DisableBlend(group);
}

int32_t delayMotion(uint32_t periods, uint16_t group) {
  return VNL_DelayMotion(periods, group);
}

}  // namespace tv::run::calls
