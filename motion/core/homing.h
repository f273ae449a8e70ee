// The homing run of the output layer: the state the interface layer prepares
// with VNL_GoHome and the homing engine works through once per cycle while
// the output mode is Homing (search per stage, leave, index, settle, offset
// move, finish). The engine's part is touched only by the cycle.
#pragma once

#include <atomic>
#include <cstdint>

#include "motion/core/homing_profile.h"

namespace vnl {

// An axis's way home (HOME_CONFIG.wType).
enum HomeType : int16_t {
  kHomeSensorThenIndex = 0,  // onto the home sensor, off it, then to the next index mark
  kHomeSensorOnly = 1,
  kHomeIndexOnly = 2,
};

// Where an axis's search stands: ramping towards its home step until the
// sensor (or index) is found, decelerating after it, done.
enum class Search : uint8_t { Running = 1, Decelerating = 2, Done = 3 };

// The states of stepwise homing (axes 0 to 5 of card 0). The application
// moves an axis onto its sensor and off it again; the cycle watches the
// sensor and arms the index latch.
enum StepState : uint8_t {
  kStepSeeking = 0,       // moving onto the sensor
  kStepOnSensor = 1,      // the sensor reached: the application leaves it
  kStepLeaving = 2,       // moving off the sensor
  kStepSeekingIndex = 3,  // off the sensor: the index latch is armed
  kStepIndexFound = 4,    // the index mark latched: the application takes it
  kStepDone = 5,          // the index taken
  kStepClosed = 10,       // stepwise homing ended (or never begun)
};

struct HomingRun {
  static constexpr int kAxes = 6;
  // prepared by VNL_GoHome before StartHoming is raised (published by it)
  int card = 0;
  double step[kAxes]{};
  uint16_t accSteps[kAxes]{};
  int order[kAxes]{};
  int32_t offset[kAxes]{};

  // engine state (cycle only)
  bool built = false;
  homing::Ramp ramp[kAxes];
  int stageAxes[kAxes][kAxes]{};
  int stageSize[kAxes]{};
  int stages = 0;
  int stage = 0;
  int counter = 0;
  bool stageArmed = false;
  Search search[kAxes]{};
  bool leaving[kAxes]{};  // still to leave the sensor (or the index)
  int decel[kAxes]{};
  int searchSign[kAxes]{}, leaveSign[kAxes]{};
  int32_t armedLatch[kAxes]{};
  int32_t sinceIndex[kAxes]{};
  bool searchDone = false, offsetStarted = false;
  int settle = 0, finishCounter = 0;
  homing::OffsetMove move[kAxes];
  bool stopping = false;
  // Last pulse direction of each closed-loop axis: 0 positive, 1 negative.
  static constexpr uint8_t kDirectionUnknown = 2;
  uint8_t lastDirection[kAxes]{kDirectionUnknown, kDirectionUnknown, kDirectionUnknown,
                               kDirectionUnknown, kDirectionUnknown, kDirectionUnknown};
  // A pass whose outputs wait for reversing closed-loop axes to stand: the
  // outputs, which axes are watched, their last encoder readings and the
  // passes waited so far.
  bool outputsHeld = false;
  int32_t heldOut[kAxes]{};
  bool watched[kAxes]{};
  int32_t lastReading[kAxes]{};
  int heldPasses = 0;

  static constexpr int kNotStaged = 255;  // an axis that does not go home
  bool staged(int i) const { return order[i] != kNotStaged; }
  void clearEngine() {
    built = false;
    stages = stage = counter = 0;
    stageArmed = searchDone = offsetStarted = stopping = outputsHeld = false;
    heldPasses = 0;
    settle = finishCounter = 0;
    for (int i = 0; i < kAxes; ++i) {
      search[i] = Search::Running;
      leaving[i] = true;
      decel[i] = 0;
      move[i] = homing::OffsetMove{};
    }
  }
};

// What the interface layer and the engine share through handshake bytes.
struct HomingShared {
  std::atomic<uint8_t> requested{0};
  std::atomic<int32_t> status{-1};  // -1 never run, 0 running, 1 finished
  std::atomic<uint8_t> done{0};     // 255 once the engine has finished the run
  std::atomic<int32_t> accApi[HomingRun::kAxes]{};
};

}  // namespace vnl
