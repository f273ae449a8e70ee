// The machine parameters the parameter form edits and the parameter file
// keeps: four axes on screen (entries 4 and 5 stay 0), and the settings common
// to all axes.
#pragma once

#include <array>
#include <cstdint>

namespace tervane {

inline constexpr int kScreenAxes = 4;  // axes 0 to 3 on screen
inline constexpr int kRecordAxes = 6;  // the records Setting sends

enum class EncoderType : int16_t { AB = 0, CwCcw = 1, PulseDirection = 2, Disable = 3 };
enum class HomeType : int16_t { Normal = 0, HomeSensorOnly = 1, IndexSensorOnly = 2 };

struct MachineParameters {
  template <typename T>
  using PerAxis = std::array<T, kRecordAxes>;

  double maxSpeed = 0;       // pulses per second, all axes
  double maxSpeedUnits = 0;  // whole part of (maxSpeed rounded / 500)
  PerAxis<double> highLimit{}, highLimitUnits{};
  PerAxis<double> lowLimit{}, lowLimitUnits{};
  PerAxis<int16_t> overTravelUp{};    // 0 "Normal Open", 1 "Normal Close", 2 "Not Check"
  PerAxis<int16_t> overTravelDown{};  // the same choices
  PerAxis<int16_t> encoderType{};     // EncoderType
  PerAxis<int16_t> abPhaseSwap{};     // 0 "NO", 1 "YES"
  PerAxis<int16_t> pulseMode{};       // 0 "Step/Dir", 1 "CW/CCW", 2 "A/B"
  PerAxis<int16_t> homeType{};        // HomeType
  PerAxis<int16_t> homeSensorMode{};  // 0 "Normal Open", 1 "Normal Close"
  PerAxis<int16_t> findHomeDirection{};
  PerAxis<int16_t> leaveHomeDirection{};
  int16_t coordinateMode = 0;     // 0 "Relative", 1 "Absoulte"
  int16_t accelerationCurve = 0;  // 0 "Trapezoid", 1 "S-Curve"
  int16_t decelerationCurve = 0;
  char accelerationType = 0;  // 'T' or 'S' once the form has chosen a curve
  char decelerationType = 0;
  int32_t accelerationTime = 0;  // ms
  int32_t decelerationTime = 0;
  int32_t accelerationSteps = 0;  // 5 ms interpolation periods
  int32_t decelerationSteps = 0;
  // Not kept in the file:
  int16_t inPositionCheck = 0;  // 0 "Disable", 1 "Enable"
  std::array<int32_t, kScreenAxes> softwareLimitCheck{};
  int32_t hardwareLimitCheck = 0;
  bool encoderReading = false;  // off until the form chose an encoder type other than "Disable"
};

}  // namespace tervane
