// The per-group cycle step: once or twice per cycle interrupt for every
// configured group whose first axis's card queue runs low.
//
// Order of one step: parameter handshake, fetch (control requests, next
// command, end-point correction), publish the command record, re-synchronise
// with the output layer when standing, run the result's branch, turn the new
// position into pulses (software limits first), hand the block to the
// PulseQueue (re-offered while the queue is full), publish.
//
// The step talks to the interface layer only through GroupShared (handshake
// bytes set by callers and cleared here, values published here) and to the
// output layer only through StepEnvironment, which the library core
// implements. No clock, no lock, no allocation.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

#include "planner/command_queue.h"
#include "planner/group_context.h"

namespace vnl::planner {

enum class GroupMotionState : uint8_t { Idle = 1, Running = 2, Held = 3, Holding = 5 };

namespace error {
inline constexpr uint8_t kNone = 0;
inline constexpr uint8_t kSoftLimit = 0x80;  // + axis
inline constexpr uint8_t kArc = 0x90;
inline constexpr uint8_t kRequestIgnored = 16;
inline constexpr uint8_t kInPosTimeout = 17;
}  // namespace error

// Parameter codes of the handshake.
namespace param {
inline constexpr int32_t kAccSteps = 0;
inline constexpr int32_t kDecSteps = 1;
inline constexpr int32_t kOverSpeed = 2;
inline constexpr int32_t kPtpOverSpeed = 3;
inline constexpr int32_t kPtpAccSteps = 6;
inline constexpr int32_t kPtpDecSteps = 7;
inline constexpr int32_t kAccType = 9;
inline constexpr int32_t kDecType = 10;
}  // namespace param

inline constexpr uint8_t kRaised = 255;

// What the interface layer and the cycle step share for one group. Bytes
// raised by one side are cleared by the other; published values are written
// by the cycle only.
struct GroupShared {
  // Requests (set by callers, cleared by the cycle).
  std::atomic<uint8_t> startFlag{0};
  std::atomic<uint8_t> holdRequest{0};
  std::atomic<uint8_t> continueRequest{0};
  std::atomic<uint8_t> abortHeldRequest{0};
  std::atomic<uint8_t> resetRequest{0};
  std::atomic<uint8_t> errorAck{0};
  // Parameter handshake: the setter stores the value, the code, then raises
  // the request; the cycle takes it and raises the acknowledge byte.
  std::atomic<uint8_t> paramRequest{0};
  std::atomic<uint8_t> paramAck{kRaised};
  std::atomic<int32_t> paramCode{0};
  std::atomic<int32_t> accSteps{20};
  std::atomic<int32_t> decSteps{20};
  std::atomic<int32_t> accType{1};
  std::atomic<int32_t> decType{1};
  std::atomic<int32_t> overSpeed{100};
  std::atomic<int32_t> ptpOverSpeed{100};
  std::atomic<int32_t> ptpAccSteps[kAxes] = {20, 20, 20, 20, 20, 20};
  std::atomic<int32_t> ptpDecSteps[kAxes] = {20, 20, 20, 20, 20, 20};
  std::atomic<int32_t> ptpAccType[kAxes] = {1, 1, 1, 1, 1, 1};  // 1 S-curve, 2 linear
  std::atomic<int32_t> ptpDecType[kAxes] = {1, 1, 1, 1, 1, 1};

  // Published by the cycle.
  std::atomic<uint8_t> state{static_cast<uint8_t>(GroupMotionState::Idle)};
  std::atomic<uint8_t> ready{kRaised};
  std::atomic<uint8_t> drained{kRaised};
  std::atomic<uint8_t> error{0};
  std::atomic<double> pathSpeed{0};
  std::atomic<double> axisSpeed[kAxes] = {};
  std::atomic<double> position[kAxes] = {};
  std::atomic<double> previousV{0};  // cruise speed of the last finished plan

  // CurrentCommandInfo under a sequence counter, so that a reader gets the
  // record of one fetch; its words are atomics so the copy is race-free.
  // Written by the cycle only.
  void publishInfo(const CurrentCommandInfo& info);
  CurrentCommandInfo readInfo() const;
  // VNL_ResetCommandIndex, on the caller's thread: the published record
  // reads index 0 until the cycle publishes the next one. The caller does not
  // write the record itself (that would make two writers of the sequence); it
  // notes the sequence number the reset applies to.
  void resetInfoIndex();

  // Every request, setting and published value back to its default (library
  // initialisation, while the cycle does not step the group).
  void resetToDefaults();

 private:
  static constexpr int kInfoWords = sizeof(CurrentCommandInfo) / sizeof(uint64_t);
  std::atomic<uint32_t> infoSeq_{0};
  std::atomic<uint32_t> indexResetSeq_{1};  // odd: no reset noted
  std::atomic<uint64_t> infoWords_[kInfoWords] = {};
};

// The output layer as the step sees it (implemented by the library core).
class StepEnvironment {
 public:
  virtual ~StepEnvironment() = default;
  // Pulses the output layer has handed to the card so far, per slot.
  virtual void outputPulsePositions(int32_t out[kAxes]) = 0;
  // The output layer found every PulseQueue empty in its last pass.
  virtual bool outputIdle() = 0;
  // Put one block into the group's PulseQueue; false when it is full.
  virtual bool putPulseBlock(const int32_t block[kAxes]) = 0;
  // Raise the output layer's StartOutput request.
  virtual void requestOutput() = 0;
  // End-point correction: one FIFO entry per axis straight to the card
  // (nothing on a simulated card), added to the output pulse positions (and
  // to the simulated feedback in simulation).
  virtual void sendDirect(const int32_t counts[kAxes]) = 0;
  // The group's PulseQueue holds no block (everything planned is handed out).
  virtual bool pulseQueueEmpty() = 0;
  // In-position check of an axis slot.
  virtual bool inPosition(int slot) = 0;
  // The group's machine parameters as the library holds them now; a group
  // reset takes them. Null keeps the parameters the group already has.
  virtual const GroupParams* machineParams() { return nullptr; }
};

// The cycle's private record of one group.
struct GroupRecord {
  GroupContext ctx;
  GroupMotionState state = GroupMotionState::Idle;
  uint8_t error = 0;
  bool drained = true;
  bool movedLast = false;
  bool putFailed = false;
  bool inPosOn = false;
  bool inPosArmed = false;
  int32_t inPosWait = 0;
  int32_t inPosTimeout = 1000;  // cycles
  uint32_t delayCounter = 0;
  CurrentCommandInfo info{kind::kNone, 0, 0, {}};
  int ptpAccTime[kAxes] = {20, 20, 20, 20, 20, 20};
  int ptpDecTime[kAxes] = {20, 20, 20, 20, 20, 20};
  ProfileType ptpAccType[kAxes] = {ProfileType::SCurve, ProfileType::SCurve, ProfileType::SCurve,
                                   ProfileType::SCurve, ProfileType::SCurve, ProfileType::SCurve};
  ProfileType ptpDecType[kAxes] = {ProfileType::SCurve, ProfileType::SCurve, ProfileType::SCurve,
                                   ProfileType::SCurve, ProfileType::SCurve, ProfileType::SCurve};
};

// Group reset (0x7001 and initialisation): params are the group's machine
// parameters; settings are taken again from the shared record.
void resetGroup(GroupRecord& g, const GroupParams& params, const GroupShared& shared);

// One cycle step of a configured group.
void cycleStep(GroupRecord& g, GroupShared& shared, CommandQueue& queue, StepEnvironment& env);

// The fetch alone (exposed for tests): a control code, a command code, or 255.
uint32_t fetch(GroupRecord& g, GroupShared& shared, CommandQueue& queue, StepEnvironment& env);

}  // namespace vnl::planner
