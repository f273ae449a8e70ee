// The library's state: every table of the three layers, grouped by layer,
// and who writes each. The Library (library.h) adds the members that work on
// it. Three layers share this memory: the interface layer (exported
// functions, on the caller's thread), the planner (the per-group cycle step)
// and the output layer (mode machine, request service, pulse output). The
// planner and the output layer run inside the cycle; they meet the callers
// only through handshake bytes and tables written by one side (atomics).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "compensation.h"
#include "homing.h"
#include "mailbox.h"
#include "mode_machine.h"
#include "planner/command_queue.h"
#include "planner/cycle_step.h"
#include "pulse_queue.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

namespace vnl {

struct GroupConfig {
  std::atomic<int32_t> inUse{-1};
  std::atomic<int16_t> card{0};
  std::atomic<int16_t> axis[kSlots];
};

struct LibraryState {
  // frame
  // The cards' state: not initialised, initialised, or the last
  // initialisation failed.
  static constexpr uint8_t kHardwareNone = 0, kHardwareReady = 1, kHardwareFailed = 255;
  std::atomic<uint8_t> hwReady{kHardwareNone};
  std::atomic<uint8_t> runState{0};
  // The interpolation time as set (1 to 200 ms), and how long one period
  // lasts on the machine: the DDA cycle the card runs for it (the longest
  // cycle not above it that bit-length code 5 allows: 0.8192 ms for 1 ms,
  // 4.9152 ms for 5 ms). The planner plans with the cycle, so speeds in units
  // per second hold on the card; in simulation it is the cycle a card would
  // run, so that a program takes as many periods in both.
  std::atomic<double> interpTime{10.0};
  std::atomic<double> cycleTime{10.0};
  int cardCount = 0;
  int16_t cardType[kCards]{};
  // Whether the cycle serves the groups of each card, set at initialisation:
  // in simulation every card below the count; on cards those opened, and
  // only while card 0 is open, whose interrupt drives the cycle (a card of a
  // type other than 2 or 3 is left uninitialised).
  std::atomic<bool> cardServed[kCards]{};
  std::atomic<uint8_t> simApi{0};
  std::atomic<uint8_t> simOut{0};
  std::atomic<uint32_t> apiError[kGroups]{};
  MotionCommand* storage = nullptr;  // kGroups x kQueueRecords, reserved at init
  PulseQueue pulseQueues[kGroups];
  std::mutex mailboxLock;
  std::atomic<uint8_t> reqCode{0};
  std::atomic<uint16_t> reqValue{0};
  std::atomic<uint32_t> reqData{0};
  std::atomic<uint8_t> reqPending{0};
  std::atomic<uint8_t> reqDone{0};

  // planner: per group the shared handshake record, the command queue (on the
  // storage above) and the cycle's private record; the parameter block is
  // what a group reset takes (written by VNL_InitSystem, VNL_UpdateMachParam
  // and VNL_SetInterpolateTime before they raise the groups' resets).
  planner::GroupShared shared[kGroups];
  planner::CommandQueue queues[kGroups];
  planner::GroupRecord records[kGroups];
  planner::GroupParams groupParams[kGroups];
  std::mutex handshakeLock;  // callers of the parameter handshake; never the cycle
  // interface layer's per-group motion state (caller's thread only)
  double feedSpeed[kGroups]{};
  std::atomic<int32_t> ptpSpeed[kGroups]{};  // percent of each axis's maximum speed
  int32_t lastIndex[kGroups]{};
  double lastTarget[kGroups][kSlots]{};
  // An abort that did not finish (-13) cleared the group's commands without
  // taking where its axes stop as the last targets; the first base read once
  // the group is at rest takes them (lastTargets()).
  bool staleTargets[kGroups]{};
  // Interventions (hold, continue, abort, blending, delay), caller's thread:
  // 1 after a successful hold until continue or abort; the last blend switch
  // queued (1 on, 0 off); the index of the last delay command (30000 until
  // the first, which then gets index 0).
  std::atomic<int32_t> heldMark[kGroups]{};
  std::atomic<int32_t> blendMark[kGroups]{};
  std::atomic<int32_t> delayIndex[kGroups]{};
  // observer of every output period (simulation tools)
  std::atomic<VNL_PeriodObserver> periodObserver{nullptr};
  std::atomic<void*> periodObserverUser{nullptr};

  // configuration
  MACHINE_PARAM param[kMachineAxes];
  bool paramSet[kMachineAxes]{};
  GroupConfig config[kGroups];  // interface layer's copy
  GroupConfig table[kGroups];   // output layer's group table
  std::atomic<int32_t> coordType[kGroups];
  std::atomic<double> unitFactor[kGroups];
  std::atomic<uint8_t> otCheck[kGroups][kSlots];
  std::atomic<double> refPos[kGroups];
  std::atomic<double> sysMaxSpeed{0.0};
  std::atomic<int32_t> maxPulseApi[kSlots];
  std::atomic<int32_t> maxAccApi[kSlots];
  std::atomic<uint8_t> dryRunApi{0};
  std::atomic<uint16_t> pGainApi[kMachineAxes];
  std::atomic<int16_t> tolApi[kGroups][kSlots];
  std::atomic<uint16_t> inPosTime[kGroups];
  COMP_PARAM compApi[kSlots]{};

  // output layer
  std::atomic<int16_t> otUp[kMachineAxes], otDown[kMachineAxes], home[kMachineAxes];
  // sensor levels: over-travel 0 or 1 (2 = not used), home 0 or 1
  std::atomic<int16_t> levelUp[kMachineAxes], levelDown[kMachineAxes], levelHome[kMachineAxes];
  std::atomic<uint8_t> reversed[kMachineAxes];    // the axis's direction-reverse flag
  std::atomic<uint8_t> closedLoop[kMachineAxes];  // the axis runs in the closed loop
  std::atomic<int32_t> lastOutputPulse[kMachineAxes];
  // encoder index latches of axes 0..5, shared by all cards (homing)
  std::atomic<int32_t> indexLatch[kSlots];
  std::atomic<uint8_t> indexFound[kSlots];

  std::atomic<uint8_t> limitState[kMachineAxes], tripped[kMachineAxes], direction[kMachineAxes];
  std::atomic<uint8_t> limitMode{0};
  std::atomic<uint8_t> pulseEnable[kMachineAxes];
  std::atomic<int16_t> stock[kMachineAxes];
  std::atomic<int32_t> encoder[kMachineAxes], errCounter[kMachineAxes];
  std::atomic<int32_t> pulsePos[kMachineAxes];
  std::atomic<int32_t> simFeedback[kMachineAxes];
  std::atomic<int32_t> dryPos[kMachineAxes];
  int32_t savedPos[kMachineAxes]{};
  int32_t maxPulse[kSlots]{}, maxAcc[kSlots]{};
  uint16_t pGain[kMachineAxes]{};
  uint16_t gainShift[kMachineAxes]{};
  int16_t tol[kGroups][kSlots]{};
  std::atomic<uint8_t> inPosFlag[kGroups][kSlots];
  int32_t lastEnc[kGroups][kSlots]{};
  std::atomic<uint8_t> inPosEnabled[kGroups];
  std::atomic<uint8_t> mode{kIdle};
  int acceptance = -1;
  std::atomic<uint8_t> latch{0};
  std::atomic<uint8_t> outErrorFlag{0};
  std::atomic<uint8_t> outClearRequest{0};
  std::atomic<uint8_t> modeCmd[kCmdCount];
  std::atomic<uint8_t> outputIdle{255};
  std::atomic<uint8_t> suspendStep{0};
  std::atomic<uint8_t> definePosFlag[kGroups];
  int32_t lastCount[kGroups][kSlots]{};
  bool dryRun = false;
  // compensation in the output layer
  COMP_PARAM comp[kSlots]{};
  CompensationTrack compTrack[kGroups][kSlots]{};

  // homing run (homing_engine.cpp, homing_stepwise.cpp)
  HomingRun homingRun;
  HomingShared homingShared;
  bool homingRanThisCycle = false;
  // Stepwise homing of axes 0..5 of card 0: active flag, state, touched flag
  // (the index flag and latch are indexFound/indexLatch).
  std::atomic<uint8_t> stepActive[6]{}, stepState[6]{}, stepTouched[6]{};

  // routines
  std::atomic<VNL_CycleRoutine> cycleRoutine{nullptr};
  std::atomic<VNL_Routine> lio[kCards], enc[kCards], adc[kCards], pcl[kCards];

  // Cycles run so far (card or simulated); the waits without a limit watch
  // it to tell a slow cycle from one that has stopped.
  std::atomic<uint64_t> cyclesRun{0};
};

}  // namespace vnl
