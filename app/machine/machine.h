// The machine behind the virtual card when the program runs without a real
// one: four axes, each with a home sensor and an index mark a little above 0
// (so the default homing, searching upwards, finds them) and over-travel
// sensors beyond the default software limits of +-100000 pulses.
//
// A machine file (--machine FILE) changes them, for commissioning practice:
//
//   [Axis0]            ; sections Axis0 to Axis3, every key optional
//   HomePosition=2000  ; the home sensor is active from here ...
//   HomeWidth=500      ; ... for this many pulses ("none" removes the sensor)
//   HomeLevel=0        ; the input's value while active (0 or 1)
//   IndexEvery=10000   ; pulses between index marks (0: no index)
//   IndexPhase=3000    ; where the marks lie (a little past the home sensor)
//   UpperLimit=120000  ; over-travel sensors ("none" removes one)
//   LowerLimit=-120000
//   UpperLevel=0
//   LowerLevel=0
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tervane {

struct AxisSensors {
  std::optional<int64_t> homePosition = 2000;
  int64_t homeWidth = 500;
  unsigned homeLevel = 0;
  int64_t indexEvery = 10000;
  int64_t indexPhase = 3000;
  std::optional<int64_t> upperLimit = 120000;
  std::optional<int64_t> lowerLimit = -120000;
  unsigned upperLevel = 0;
  unsigned lowerLevel = 0;
  bool operator==(const AxisSensors&) const = default;
};

using Machine = std::array<AxisSensors, 4>;

// Puts the sensors on the axes of the virtual bus's first card.
void installVirtualMachine(const Machine& machine);

}  // namespace tervane
