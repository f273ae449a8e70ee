// The operator program's shared state: owned by the main window and handed to
// every form by reference. Positions and speeds are in pulses unless named
// otherwise.
#pragma once

#include <array>
#include <cstdint>

#include "state/command_list.h"
#include "state/machine_parameters.h"

namespace tervane {

// What Run, Stop and the encoder timer act on.
enum class OperationMode : int16_t { GeneralMotion = 1, Jog = 2, Home = 3, ListTest = 4 };

struct MotionDefaults {
  int32_t speed = 0;                                     // general motion, pulses per second
  std::array<int32_t, 3> destination{};                  // axes 0 to 2
  int32_t spare = 0;                                     // kept, read by nothing
  int32_t jogSpeed = 0;                                  // the jog speed box's value
  double speedRatio = 0;                                 // percent of the motor's maximum, 1 to 100
  int32_t jogDistance = 0;                               // pulses
  int16_t jogAxis = 0;                                   // 0 to 3
  int16_t jogMode = 0;                                   // 0 distance, 1 continuous
  std::array<int32_t, 4> homeSpeed{};                    // axes 0 to 3
  std::array<int32_t, 4> homeOrder{255, 255, 255, 255};  // 255 = not homed
};

struct PublicVariant {
  // Form-open flags.
  bool parameterFormOpen = false;
  bool motionFormOpen = false;
  bool testingFormOpen = false;

  bool initialised = false;     // VNL_InitSystem returned 0
  bool applyAfterInit = false;  // Setting also updates the running library; never cleared
  bool exiting = false;         // Exit has shut the library down

  OperationMode operationMode = OperationMode::GeneralMotion;
  int16_t motionPage = 0;  // 1 general motion, 2 jog, 3 home; 0 before any choice
  bool repeat = false;
  bool stop = false;

  int16_t editorMotionType = 0;  // the editor's motion type last chosen, "Line" at first

  bool listRunning = false;
  int16_t currentListIndex = 0;

  MotionDefaults motion;
  std::array<int32_t, 4> encoder{};               // axes 0 to 3
  std::array<double, 4> commandPosition{};        // axes 0 to 3, library units
  std::array<int32_t, 4> shownCommandPosition{};  // the same in whole pulses, as displayed

  MachineParameters parameters;
  // The parameter values were read from the parameter file (the parameter
  // form has loaded); until then they are zeros that must not be written.
  bool parametersLoaded = false;
  CommandList list;
};

}  // namespace tervane
