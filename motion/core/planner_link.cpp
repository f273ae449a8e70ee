// Where the cycle meets the planner: the output layer as each group's cycle
// step sees it, the planner's parameter block, the per-group stepping, and the
// interface layer's side of the queue and the parameter handshake.
//
// Who runs where:
//   - stepGroup() runs inside the cycle, through Library::stepDueGroups(). In
//     simulation the wait routine of the interface layer runs the simulated
//     cycle on the caller's thread: two passes of stepDueGroups() (with no
//     card queue every group is due) then dispatch(). The card cycle (card
//     0's pulse-engine interrupt, on qoradrv's interrupt thread) runs the
//     same two passes with stockOf reading the card queue, and
//     dispatches when a group was due; stepDueGroups() skips a group whose
//     first axis's card queue holds 63 entries or more, and every group while
//     stepping is suspended.
//   - queueCommand() and paramHandshake() run on the caller's thread and talk
//     to the step only through the group's CommandQueue and GroupShared bytes.
//
// Time budget: bench_motion measures one period of 72 groups cruising lines,
// their steps and the dispatch, at about 10 us, well inside a 1 ms period.
#include <cmath>
#include <limits>

#include "export.h"
#include "library.h"

namespace vnl {
namespace {

// The output layer for one group's cycle step. Built on the stack for each
// step, on the thread that runs the cycle.
class GroupEnvironment final : public planner::StepEnvironment {
 public:
  GroupEnvironment(Library& L, int g) : L_(L), g_(g) {
    const int card = L.table[g].card.load(std::memory_order_relaxed);
    for (int s = 0; s < kSlots; ++s) {
      const int a = L.table[g].axis[s].load(std::memory_order_relaxed);
      axis_[s] = (a >= 0 && a < 6) ? card * kAxesPerCard + a : -1;
    }
  }

  void outputPulsePositions(int32_t out[planner::kAxes]) override {
    // During a dry run the output layer counts into the dry-run positions;
    // they are what it has handed out.
    auto& pos = L_.dryRun ? L_.dryPos : L_.pulsePos;
    for (int s = 0; s < kSlots; ++s)
      out[s] = axis_[s] < 0 ? 0 : pos[axis_[s]].load(std::memory_order_acquire);
  }
  bool outputIdle() override { return L_.outputIdle.load(std::memory_order_acquire) == kRaised; }
  bool putPulseBlock(const int32_t block[planner::kAxes]) override {
    return L_.pulseQueues[g_].push(block);
  }
  void requestOutput() override {
    L_.modeCmd[kStartOutput].store(kRaised, std::memory_order_release);
  }
  // The end-point correction goes out as pulse output does: not to an axis
  // whose output is off, and no more than one card command carries.
  void sendDirect(const int32_t counts[planner::kAxes]) override {
    for (int s = 0; s < kSlots; ++s) {
      const int a = axis_[s];
      if (a < 0) continue;
      if (L_.dryRun) {
        L_.dryPos[a].fetch_add(counts[s], std::memory_order_relaxed);
        continue;
      }
      L_.emit(a, counts[s], 0);
    }
  }
  bool pulseQueueEmpty() override { return L_.pulseQueues[g_].empty(); }
  bool inPosition(int slot) override {
    if (slot < 0 || slot >= kSlots || axis_[slot] < 0) return true;
    return L_.inPosFlag[g_][slot].load(std::memory_order_acquire) == kRaised;
  }
  const planner::GroupParams* machineParams() override { return &L_.groupParams[g_]; }

 private:
  Library& L_;
  int g_;
  int axis_[kSlots];
};

planner::AxisParams axisParams(const MACHINE_PARAM& given) {
  const MACHINE_PARAM p = usable(given);
  planner::AxisParams a;
  // Pulses per machine unit; a reversed axis is driven with a negated scale.
  const double ppu = double(p.dwPPR) * p.dfGearRatio / p.dfPitch;
  a.pulsesPerUnit = p.wDirReverse ? -ppu : ppu;
  a.maxSpeed = p.dfPitch * p.wRPM / (p.dfGearRatio * 60.0);
  // The bounds in pulses; with a negated scale the upper limit in units is
  // the lower bound in pulses.
  const double hi = (p.dfHighLimit - p.dfHighLimitOffset) * a.pulsesPerUnit;
  const double lo = (p.dfLowLimit + p.dfLowLimitOffset) * a.pulsesPerUnit;
  a.upperLimit = std::max(hi, lo);
  a.lowerLimit = std::min(hi, lo);
  a.limitEnabled = false;  // taken over from the check flags at every step
  return a;
}

}  // namespace

void Library::buildGroupParams() {
  const long period = std::lround(interpTime.load(std::memory_order_relaxed));
  const double sysMax = sysMaxSpeed.load(std::memory_order_relaxed);
  const MACHINE_PARAM fallback = defaultParam();
  for (int g = 0; g < kGroups; ++g) {
    planner::GroupParams& gp = groupParams[g];
    gp.axisCount = kSlots;
    gp.periodMs = period < 1 ? 1 : static_cast<int>(period);
    gp.cycleMs = cycleTime.load(std::memory_order_relaxed);
    gp.sysMaxSpeed = sysMax;
    const int card = config[g].card.load(std::memory_order_relaxed);
    for (int s = 0; s < kSlots; ++s) {
      const int a = config[g].axis[s].load(std::memory_order_relaxed);
      const bool used = a >= 0 && a < 6 && card >= 0 && card < kCards;
      gp.axis[s] = axisParams(used ? param[card * kAxesPerCard + a] : fallback);
    }
  }
}

void Library::resetPlanner() {
  buildGroupParams();
  for (int g = 0; g < kGroups; ++g) {
    queues[g].attach(storage + size_t(g) * kQueueRecords);
    shared[g].resetToDefaults();
    records[g] = planner::GroupRecord{};
    planner::resetGroup(records[g], groupParams[g], shared[g]);
    inPosEnabled[g].store(0, std::memory_order_relaxed);
    lastIndex[g] = -1;
  }
}

void Library::stepGroup(int g) {
  planner::GroupRecord& rec = records[g];
  for (int s = 0; s < kSlots; ++s) {
    const int a = table[g].axis[s].load(std::memory_order_relaxed);
    rec.ctx.params.axis[s].limitEnabled =
        a >= 0 && a < 6 && otCheck[g][s].load(std::memory_order_relaxed) == 1;
  }
  rec.inPosTimeout = inPosTime[g].load(std::memory_order_relaxed);
  GroupEnvironment env(*this, g);
  planner::GroupShared& sh = shared[g];
  const bool wasRunning = rec.state == planner::GroupMotionState::Running;
  const bool resetAsked = sh.resetRequest.load(std::memory_order_acquire) != 0;
  planner::cycleStep(rec, sh, queues[g], env);
  inPosEnabled[g].store(rec.inPosOn ? 1 : 0, std::memory_order_release);
  // The step found the queue empty and went Idle, but a command is there
  // now: it was put (on another thread) between the take and the publishing
  // of Idle, so its caller saw the group still running and raised no start
  // flag; it would wait for the next command. The step raises the flag for it.
  if (wasRunning && !resetAsked && rec.state == planner::GroupMotionState::Idle && rec.drained &&
      !queues[g].empty() && sh.startFlag.load(std::memory_order_acquire) == 0)
    sh.startFlag.store(kRaised, std::memory_order_release);
}

int32_t Library::queueCommand(MotionCommand& c, int g) {
  int32_t last = lastIndex[g];
  planner::normaliseIndex(c, last);
  if (!queues[g].put(c)) return VNL_ERR_QUEUE_FULL;  // last-used index unchanged
  lastIndex[g] = last;
  planner::GroupShared& sh = shared[g];
  if (sh.drained.load(std::memory_order_acquire) == kRaised ||
      sh.state.load(std::memory_order_acquire) ==
          static_cast<uint8_t>(planner::GroupMotionState::Idle))
    sh.startFlag.store(kRaised, std::memory_order_release);
  // No limit while cycles run; a group that no cycle steps would never take
  // the flag. When the cycle has stopped the command stays queued and -3
  // says it was not started.
  if (stepped(g) && !poll([&] { return sh.startFlag.load(std::memory_order_acquire) == 0; }, 0))
    return VNL_ERR_TIMEOUT;
  return static_cast<int32_t>(c.index);
}

int32_t Library::queueMotion(MotionCommand& c, int g) {
  c.index = planner::nextCommandIndex(lastIndex[g]);
  c.coordMode = planner::kCoordAbsolute;
  const int32_t r = queueCommand(c, g);
  if (r < 0) return r;
  lastIndex[g] = r;
  std::copy(std::begin(c.target), std::end(c.target), std::begin(lastTarget[g]));
  return r;
}

int32_t Library::queueSwitch(uint32_t code, int g) {
  MotionCommand c{};
  c.code = code;
  c.index = planner::nextCommandIndex(lastIndex[g]);
  c.coordMode = planner::kCoordAbsolute;
  for (int s = 0; s < kSlots; ++s)
    c.target[s] = lastTargets(g)[s];
  const int32_t r = queueCommand(c, g);
  if (r >= 0) lastIndex[g] = r;
  return r;
}

const double (&Library::lastTargets(int g))[kSlots] {
  if (staleTargets[g] && queues[g].empty() && !axesStillMove(g) &&
      shared[g].ready.load(std::memory_order_acquire) == planner::kRaised &&
      shared[g].state.load(std::memory_order_acquire) ==
          static_cast<uint8_t>(planner::GroupMotionState::Idle))
    adoptPulsePositions(g);
  return lastTarget[g];
}

void Library::adoptPulsePositions(int g) {
  const int card = config[g].card.load(std::memory_order_relaxed);
  for (int s = 0; s < kSlots; ++s) {
    const int a = axisOf(*this, g, s);
    const int32_t p =
        a >= 0 && a <= 5 ? pulsePos[card * kAxesPerCard + a].load(std::memory_order_acquire) : 0;
    const double ppu = groupParams[g].axis[s].pulsesPerUnit;
    lastTarget[g][s] = ppu != 0 ? p / ppu : 0.0;
  }
  staleTargets[g] = false;
}

bool Library::axesStillMove(int g) {
  if (!pulseQueues[g].empty()) return true;
  if (!onCards()) return false;
  const int card = config[g].card.load(std::memory_order_relaxed);
  for (int s = 0; s < kSlots; ++s) {
    const int a = axisOf(*this, g, s);
    if (a >= 0 && a < 6 && stock[card * kAxesPerCard + a].load(std::memory_order_acquire) != 0)
      return true;
  }
  return false;
}

int32_t Library::motionStatus(uint16_t group) {
  if (!ready()) return VNL_ERR_NOT_READY;
  if (!groupOk(group)) return VNL_ERR_GROUP;
  const planner::GroupShared& sh = shared[group];
  constexpr auto kIdleState = static_cast<uint8_t>(planner::GroupMotionState::Idle);
  if (sh.ready.load(std::memory_order_acquire) != kRaised) return 0;
  if (sh.state.load(std::memory_order_acquire) != kIdleState) return 2;
  // Pulses not yet out: in simulation the blocks still in the group's
  // PulseQueue; with a card the stock of the first axis's card queue.
  int first = -1;
  for (int s = 0; s < kSlots && first < 0; ++s) {
    const int a = axisOf(*this, group, s);
    if (a >= 0 && a < kAxesPerCard) first = config[group].card.load() * kAxesPerCard + a;
  }
  const bool pending = simOut.load(std::memory_order_acquire)
                           ? !pulseQueues[group].empty()
                           : first >= 0 && stock[first].load(std::memory_order_acquire) != 0;
  if (pending) return 0;
  // Two periods of the cycle. When the cycle runs on its own thread (the
  // card), a loaded machine may run fewer in that wall time, so the wait goes
  // on (up to the request limit) until two cycles have run. In simulation the
  // wait itself runs the cycle.
  const uint64_t before = cyclesRun.load(std::memory_order_acquire);
  waitRoutine(2 * interpTime.load());
  if (!simApi.load(std::memory_order_acquire))
    poll([&] { return cyclesRun.load(std::memory_order_acquire) >= before + 2; }, pollLimit());
  // Between two queued commands a running group stands for a period before
  // the cycle fetches the next one: looked at again after the wait, a group
  // that took a command is moving.
  if (sh.ready.load(std::memory_order_acquire) != kRaised ||
      sh.state.load(std::memory_order_acquire) != kIdleState)
    return 0;
  return 1;
}

int32_t Library::paramHandshake(int g, int32_t code) {
  std::lock_guard<std::mutex> lock(handshakeLock);
  planner::GroupShared& sh = shared[g];
  sh.paramCode.store(code, std::memory_order_relaxed);
  sh.paramAck.store(0, std::memory_order_relaxed);
  sh.paramRequest.store(kRaised, std::memory_order_release);
  const bool ok = poll(
      [&] {
        return sh.paramRequest.load(std::memory_order_acquire) == 0 &&
               sh.paramAck.load(std::memory_order_acquire) == kRaised;
      },
      pollLimit());
  return ok ? 0 : VNL_ERR_TIMEOUT;
}

}  // namespace vnl

VNL_EXPORT void vnl_set_period_observer(VNL_PeriodObserver observer, void* user) {
  auto& L = vnl::lib();
  L.periodObserver.store(nullptr, std::memory_order_release);
  L.periodObserverUser.store(user, std::memory_order_relaxed);
  L.periodObserver.store(observer, std::memory_order_release);
}
