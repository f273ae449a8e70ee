// Exported interventions in running motion and the commands that join or
// separate motions: hold, continue and abort; the blending switches; the
// timed delay and its check; the raw enqueue of a command record; and the
// end of stepwise homing.
//
// Every function here runs on the caller's thread and reaches the cycle only
// through the group's request bytes, its CommandQueue and the request
// channel, polling with 1 ms waits (which run simulated cycles in simulation).
#include <cstddef>
#include <cstdint>

#include "export.h"
#include "library.h"

using vnl::checkMotionGroup;
using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;
using vnl::Library;

namespace pl = vnl::planner;

// The exported record is the planner's record, word for word.
static_assert(sizeof(MotionCommand) == sizeof(pl::MotionCommand));
static_assert(offsetof(MotionCommand, dfSpeed) == offsetof(pl::MotionCommand, speed));
static_assert(offsetof(MotionCommand, dwIndex) == offsetof(pl::MotionCommand, index));
static_assert(offsetof(MotionCommand, dfTarget) == offsetof(pl::MotionCommand, target));
static_assert(offsetof(MotionCommand, dfCentre) == offsetof(pl::MotionCommand, centre));
static_assert(offsetof(MotionCommand, dwPlane) == offsetof(pl::MotionCommand, plane));

namespace {

constexpr int kHoldSettlePeriods = 64;
constexpr int kAbortSettlePeriods = 10;
constexpr int32_t kDelayIndexWrap = 60000;
constexpr int32_t kFirstDelayIndex = 30001;

uint8_t stateOf(pl::GroupMotionState s) {
  return static_cast<uint8_t>(s);
}

bool groupIn(Library& L, uint16_t group, pl::GroupMotionState s) {
  return L.shared[group].state.load(std::memory_order_acquire) == stateOf(s);
}

// Raises a request byte and polls for the group to reach Held.
bool holdUntilHeld(Library& L, uint16_t group) {
  L.shared[group].holdRequest.store(pl::kRaised, std::memory_order_release);
  return L.poll([&] { return groupIn(L, group, pl::GroupMotionState::Held); }, L.pollLimit());
}

}  // namespace

// ---------------- hold, continue, abort ----------------
VNL_EXPORT int32_t VNL_HoldMotion(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkMotionGroup(L, group)) return r;
  if (!groupIn(L, group, pl::GroupMotionState::Running)) return VNL_ERR_HOLD;
  // A hold that does not arrive in time stays requested; the cycle still
  // brings the group to Held.
  if (!holdUntilHeld(L, group)) return VNL_ERR_HOLD;
  L.waitRoutine(kHoldSettlePeriods * L.interpTime.load());
  L.heldMark[group].store(1, std::memory_order_release);
  return 0;
}

VNL_EXPORT int32_t VNL_ContiMotion(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkMotionGroup(L, group)) return r;
  const bool held = groupIn(L, group, pl::GroupMotionState::Held);
  if (held) L.shared[group].continueRequest.store(pl::kRaised, std::memory_order_release);
  L.heldMark[group].store(0, std::memory_order_release);
  return held ? 0 : -12;
}

namespace {

int32_t abortMotion(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkMotionGroup(L, group)) return r;
  pl::GroupShared& sh = L.shared[group];
  // A group whose planner has finished is not at rest while its axes still
  // output what it planned; the abort stops it like a running one.
  const bool draining = L.axesStillMove(group);
  // Commands dropped unrun leave the last targets where the axes will not be.
  const bool dropsCommands =
      !L.queues[group].empty() || !groupIn(L, group, pl::GroupMotionState::Idle);
  // 1. Nothing queued or planned is issued any more.
  L.queues[group].clear();
  L.pulseQueues[group].clear();
  // 2. The group's card queues are emptied and its axes get no pulses; no
  // group is stepped while the request is in flight.
  L.suspendStep.store(1, std::memory_order_release);
  const int32_t off = L.post(vnl::Request::OutputOff, group, 0);
  L.suspendStep.store(0, std::memory_order_release);
  if (off != 0) {
    // The cycle is not being served (its interrupts come late). The group
    // must not be left with its output switched off by a request served
    // later with nobody to switch it on again: request 14 takes the place of
    // 15 in the mailbox (or, if 15 was taken meanwhile, undoes it). A running
    // group is asked to hold, so it stops on its path once cycles come again.
    if (groupIn(L, group, pl::GroupMotionState::Running) &&
        L.heldMark[group].load(std::memory_order_acquire) == 0)
      sh.holdRequest.store(pl::kRaised, std::memory_order_release);
    L.post(vnl::Request::OutputOn, group, 0);
    if (dropsCommands || draining) L.staleTargets[group] = true;
    return VNL_ERR_ABORT;
  }
  // 3, 4. A running group is held first; only a held group can be dropped.
  // A group already holding is waited for (its hold is under way).
  bool failed = false;
  const bool running = groupIn(L, group, pl::GroupMotionState::Running);
  bool held = groupIn(L, group, pl::GroupMotionState::Held);
  bool settle = false;
  if (running && L.heldMark[group].load(std::memory_order_acquire) == 0) {
    held = holdUntilHeld(L, group);
    failed = !held;
  } else if (groupIn(L, group, pl::GroupMotionState::Holding)) {
    held = L.poll([&] { return groupIn(L, group, pl::GroupMotionState::Held); }, L.pollLimit());
    failed = !held;
  } else if (!running && !held) {
    // Idle: stopped by the flush when its axes were still moving, else
    // there was nothing to abort.
    failed = !draining;
    settle = draining;
  }
  // 5. Drop the held command.
  if (held) {
    sh.abortHeldRequest.store(pl::kRaised, std::memory_order_release);
    const bool taken = L.poll(
        [&] { return sh.abortHeldRequest.load(std::memory_order_acquire) == 0; }, L.pollLimit());
    L.heldMark[group].store(0, std::memory_order_release);
    failed = failed || !taken;
    settle = taken;
  }
  // Take the position where the axes stopped.
  if (settle) {
    L.waitRoutine(kAbortSettlePeriods * L.interpTime.load());
    // The output layer's pulse positions are where the axes stopped (the
    // flush made them so on a card). The standing group's cycle step
    // takes them as its current and previous position and clears its
    // speeds (its re-synchronisation with an idle output layer); the
    // interface layer takes them as the base of the next command.
    L.adoptPulsePositions(group);
  } else if (dropsCommands) {
    // Not settled: the commands are gone, so the base of the next command
    // is where the axes come to rest.
    L.staleTargets[group] = true;
  }
  // 6. The axes take pulses again.
  const int32_t on = L.post(vnl::Request::OutputOn, group, 0);
  return on == 0 && !failed ? 0 : -13;
}

}  // namespace

VNL_EXPORT int32_t VNL_AbortMotion(uint16_t group) {
  return abortMotion(group);
}

// ---------------- blending ----------------
VNL_EXPORT int32_t VNL_EnableBlend(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkMotionGroup(L, group)) return r;
  const int32_t r = L.queueSwitch(pl::code::kBlendOn, group);
  if (r >= 0) L.blendMark[group].store(1, std::memory_order_release);
  return r;
}

VNL_EXPORT int32_t VNL_DisableBlend(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkMotionGroup(L, group)) return r;
  const int32_t r = L.queueSwitch(pl::code::kBlendOff, group);
  if (r >= 0) {
    L.blendMark[group].store(0, std::memory_order_release);
    return r;
  }
  return L.blendMark[group].load(std::memory_order_acquire) == 1 ? VNL_ERR_BLEND : r;
}

VNL_EXPORT int32_t VNL_CheckBlend(uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  return L.blendMark[group].load(std::memory_order_acquire) == 1 ? 0 : 1;
}

// ---------------- delay ----------------
namespace {

int32_t delayMotion(uint32_t periods, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkMotionGroup(L, group)) return r;
  pl::MotionCommand c{};
  c.code = pl::code::kDelay;
  c.speed = static_cast<double>(periods);
  const int32_t next = L.delayIndex[group].load(std::memory_order_relaxed) + 1;
  // An index of 30000 or more is turned into 0 by the queueing rule, which
  // also restarts the group's numbering.
  c.index = static_cast<uint32_t>(next <= kDelayIndexWrap ? next : kFirstDelayIndex);
  c.coordMode = pl::kCoordAbsolute;
  for (int s = 0; s < kSlots; ++s)
    c.target[s] = L.lastTargets(group)[s];
  const int32_t r = L.queueCommand(c, group);
  if (r < 0) return r;
  L.delayIndex[group].store(r, std::memory_order_relaxed);
  L.lastIndex[group] = r;
  return r;
}

}  // namespace

VNL_EXPORT int32_t VNL_DelayMotion(uint32_t periods, uint16_t group) {
  return delayMotion(periods, group);
}

VNL_EXPORT int32_t VNL_SetDelayCount(uint32_t periods) {
  return delayMotion(periods, 0);
}

VNL_EXPORT int32_t VNL_CheckDelay(uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  const pl::GroupShared& sh = L.shared[group];
  if (sh.ready.load(std::memory_order_acquire) != pl::kRaised) return 0;
  const int32_t started = sh.readInfo().index;
  if (started == L.lastIndex[group]) return 1;
  if (started <= 30000 && started == L.delayIndex[group].load(std::memory_order_relaxed)) return 1;
  return 2;
}

// ---------------- raw enqueue ----------------
VNL_EXPORT int32_t VNL_EnqueueCommand(const MotionCommand* record, uint16_t group) {
  auto& L = lib();
  if (group >= kGroups) return VNL_ERR_GROUP;
  if (record == nullptr) return VNL_ERR_RANGE;
  // Outside initialisation there is no ring to put into.
  if (!L.queues[group].attached()) return VNL_ERR_NOT_READY;
  pl::MotionCommand c;
  static_assert(sizeof c == sizeof *record);
  std::memcpy(&c, record, sizeof c);
  return L.queues[group].put(c) ? 0 : -2;
}

// ---------------- end of stepwise homing ----------------
VNL_EXPORT int32_t VNL_StopGoHome(void) {
  auto& L = lib();
  for (uint16_t g = 0; g < 6; ++g)
    abortMotion(g);
  for (int j = 0; j < 6; ++j) {
    L.home[j].store(0, std::memory_order_relaxed);
    L.indexFound[j].store(0, std::memory_order_release);
    L.stepActive[j].store(0, std::memory_order_release);
    L.stepTouched[j].store(0, std::memory_order_relaxed);
    L.stepState[j].store(vnl::kStepClosed, std::memory_order_release);
  }
  L.setGroup(0, 0, {0, 1, 2, 3, 4, 5});
  for (int g = 1; g < kGroups; ++g) {
    L.config[g].inUse.store(-1, std::memory_order_release);
    L.table[g].inUse.store(-1, std::memory_order_release);
  }
  // Group 0's planner takes the scaling of its six axes with a reset.
  if (L.ready()) {
    L.buildGroupParams();
    if (L.stepped(0)) {
      auto& sh = L.shared[0];
      sh.resetRequest.store(pl::kRaised, std::memory_order_release);
      L.poll([&] { return sh.resetRequest.load(std::memory_order_acquire) == 0; }, L.pollLimit());
    }
  }
  return 0;
}

VNL_OLD(VNL_motion_hold, VNL_HoldMotion)
VNL_OLD(VNL_motion_conti, VNL_ContiMotion)
VNL_OLD(VNL_motion_abort, VNL_AbortMotion)
VNL_OLD(VNL_enable_blend, VNL_EnableBlend)
VNL_OLD(VNL_disable_blend, VNL_DisableBlend)
VNL_OLD(VNL_check_blend, VNL_CheckBlend)
VNL_OLD(VNL_motion_delay, VNL_DelayMotion)
VNL_OLD(VNL_check_delay, VNL_CheckDelay)
