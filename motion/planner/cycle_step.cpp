#include "planner/cycle_step.h"

#include <cstring>

#include "planner/arc_step.h"
#include "planner/blend_step.h"
#include "planner/hold_step.h"
#include "planner/jog_step.h"
#include "planner/line.h"
#include "planner/ptp_step.h"

namespace vnl::planner {

void GroupShared::publishInfo(const CurrentCommandInfo& info) {
  uint64_t words[kInfoWords];
  std::memcpy(words, &info, sizeof info);
  const uint32_t s = infoSeq_.load(std::memory_order_relaxed);
  infoSeq_.store(s + 1, std::memory_order_relaxed);
  // Each word is released, so a reader that sees any new word also sees the
  // odd sequence number stored before it.
  for (int i = 0; i < kInfoWords; ++i)
    infoWords_[i].store(words[i], std::memory_order_release);
  infoSeq_.store(s + 2, std::memory_order_release);
}

CurrentCommandInfo GroupShared::readInfo() const {
  uint64_t words[kInfoWords];
  uint32_t before;
  for (;;) {
    before = infoSeq_.load(std::memory_order_acquire);
    for (int i = 0; i < kInfoWords; ++i)
      words[i] = infoWords_[i].load(std::memory_order_acquire);
    if ((before & 1u) == 0 && infoSeq_.load(std::memory_order_relaxed) == before) break;
  }
  CurrentCommandInfo info;
  std::memcpy(&info, words, sizeof info);
  if (indexResetSeq_.load(std::memory_order_acquire) == before) info.index = 0;
  return info;
}

void GroupShared::resetInfoIndex() {
  // A publication in progress (odd number) is a new fetch: its index stands.
  indexResetSeq_.store(infoSeq_.load(std::memory_order_acquire), std::memory_order_release);
}

void GroupShared::resetToDefaults() {
  for (std::atomic<uint8_t>* b : {&startFlag, &holdRequest, &continueRequest, &abortHeldRequest,
                                  &resetRequest, &errorAck, &paramRequest})
    b->store(0, std::memory_order_relaxed);
  paramAck.store(kRaised, std::memory_order_relaxed);
  paramCode.store(0, std::memory_order_relaxed);
  accSteps.store(20, std::memory_order_relaxed);
  decSteps.store(20, std::memory_order_relaxed);
  accType.store(1, std::memory_order_relaxed);
  decType.store(1, std::memory_order_relaxed);
  overSpeed.store(100, std::memory_order_relaxed);
  ptpOverSpeed.store(100, std::memory_order_relaxed);
  for (int i = 0; i < kAxes; ++i) {
    ptpAccSteps[i].store(20, std::memory_order_relaxed);
    ptpDecSteps[i].store(20, std::memory_order_relaxed);
    ptpAccType[i].store(1, std::memory_order_relaxed);
    ptpDecType[i].store(1, std::memory_order_relaxed);
    axisSpeed[i].store(0, std::memory_order_relaxed);
    position[i].store(0, std::memory_order_relaxed);
  }
  state.store(static_cast<uint8_t>(GroupMotionState::Idle), std::memory_order_relaxed);
  ready.store(kRaised, std::memory_order_relaxed);
  drained.store(kRaised, std::memory_order_relaxed);
  error.store(0, std::memory_order_relaxed);
  pathSpeed.store(0, std::memory_order_relaxed);
  previousV.store(0, std::memory_order_relaxed);
  indexResetSeq_.store(1, std::memory_order_relaxed);
  publishInfo(CurrentCommandInfo{kind::kNone, 0, 0, {}});
}

namespace {

ProfileType typeOf(int32_t v) {
  return v == 1 ? ProfileType::SCurve : ProfileType::Linear;
}

bool isSentinel(const double t[kAxes]) {
  for (int i = 0; i < kAxes; ++i)
    if (t[i] != kNoTarget) return false;
  return true;
}

void setSentinel(double t[kAxes]) {
  for (int i = 0; i < kAxes; ++i)
    t[i] = kNoTarget;
}

void applyParameter(GroupRecord& g, GroupShared& sh, int32_t code) {
  GroupContext& ctx = g.ctx;
  const int P = ctx.params.periodMs;
  PathSettings& s = ctx.settings;
  switch (code) {
    case param::kAccSteps:
      s.accSteps = sh.accSteps.load(std::memory_order_relaxed);
      s.shape.accTime = derivedTime(s.accSteps, P);
      break;
    case param::kDecSteps:
      s.decSteps = sh.decSteps.load(std::memory_order_relaxed);
      s.shape.decTime = derivedTime(s.decSteps, P);
      break;
    case param::kOverSpeed: {
      const int32_t r = sh.overSpeed.load(std::memory_order_relaxed);
      s.overSpeed = r < 1 ? 1 : r;
      if (g.state == GroupMotionState::Running && !ctx.readyForNext && ctx.cmd.code == code::kLine)
        changePathOverSpeed(ctx, s.overSpeed);
      break;
    }
    case param::kPtpOverSpeed: {
      const int32_t r = sh.ptpOverSpeed.load(std::memory_order_relaxed);
      s.ptpOverSpeed = r < 1 ? 1 : r;
      break;
    }
    case param::kPtpAccSteps:
      for (int i = 0; i < kAxes; ++i)
        g.ptpAccTime[i] = derivedTime(sh.ptpAccSteps[i].load(), P);
      break;
    case param::kPtpDecSteps:
      for (int i = 0; i < kAxes; ++i)
        g.ptpDecTime[i] = derivedTime(sh.ptpDecSteps[i].load(), P);
      break;
    case param::kAccType:  // path and point-to-point setters share the code
      s.shape.accType = typeOf(sh.accType.load(std::memory_order_relaxed));
      for (int i = 0; i < kAxes; ++i)
        g.ptpAccType[i] = typeOf(sh.ptpAccType[i].load(std::memory_order_relaxed));
      break;
    case param::kDecType:
      s.shape.decType = typeOf(sh.decType.load(std::memory_order_relaxed));
      for (int i = 0; i < kAxes; ++i)
        g.ptpDecType[i] = typeOf(sh.ptpDecType[i].load(std::memory_order_relaxed));
      break;
    default:
      break;
  }
}

// Rule 7 of the fetch: every request byte is cleared; one still raised
// arrived in a state where it does nothing.
uint32_t clearRequests(GroupRecord& g, GroupShared& sh, uint32_t result) {
  bool stale = false;
  const auto clear = [&stale](std::atomic<uint8_t>& b) {
    if (b.load(std::memory_order_acquire) != 0)
      stale = b.exchange(0, std::memory_order_acq_rel) != 0 || stale;
  };
  clear(sh.resetRequest);
  clear(sh.holdRequest);
  clear(sh.continueRequest);
  clear(sh.abortHeldRequest);
  clear(sh.startFlag);
  if (stale) g.error = error::kRequestIgnored;
  return result;
}

// Consumes a request byte; the plain load first keeps the common case (no
// request) free of a locked exchange.
bool take(std::atomic<uint8_t>& b) {
  return b.load(std::memory_order_acquire) != 0 && b.exchange(0, std::memory_order_acq_rel) != 0;
}

// Takes the output layer's pulse positions as the commanded position.
void adoptOutputPositions(GroupContext& ctx, const int32_t out[kAxes]) {
  for (int i = 0; i < kAxes; ++i) {
    ctx.cmdPulse[i] = out[i];
    const double ppu = ctx.params.axis[i].pulsesPerUnit;
    ctx.pos[i] = ctx.prevPos[i] = ppu != 0 ? out[i] / ppu : 0.0;
    ctx.prevPulsePos[i] = out[i];
    ctx.remainder[i] = 0;
  }
}

uint32_t fetchNext(GroupRecord& g, GroupShared& sh, CommandQueue& queue, StepEnvironment& env) {
  GroupContext& ctx = g.ctx;
  MotionCommand next;
  const bool took = queue.take(next);
  // A command blended into has been planned by the blend already. The end
  // point of a command that ended at rest is corrected to, whether or not
  // blending is on; a blend start drops its command's end point instead,
  // because the path leaves it before reaching it.
  const bool blended = takeBlendedCommand(ctx, took ? &next : nullptr);
  if (!isSentinel(ctx.prevTarget)) {
    double tp[kAxes];
    int32_t out[kAxes], n[kAxes];
    toPulses(ctx.params, ctx.prevTarget, tp);
    env.outputPulsePositions(out);
    if (endPointCorrection(tp, out, ctx.remainder, n)) env.sendDirect(n);
    env.outputPulsePositions(out);
    // The path continues from the previous target itself, with the fraction
    // of a pulse that the card has not been given kept in the remainder, so
    // the next command neither loses nor repeats it.
    for (int i = 0; i < kAxes; ++i) {
      ctx.cmdPulse[i] = out[i];
      ctx.pos[i] = ctx.prevPos[i] = ctx.prevTarget[i];
      ctx.prevPulsePos[i] = tp[i];
    }
  }
  if (!took) {
    g.state = GroupMotionState::Idle;
    g.drained = true;
    setSentinel(ctx.prevTarget);
    return code::kNothing;
  }
  ctx.cmd = blended ? ctx.blend.planned : next;
  g.info = makeCurrentCommandInfo(next, g.info.kind);
  sh.publishInfo(g.info);
  for (int i = 0; i < kAxes; ++i)
    ctx.prevTarget[i] = next.target[i];
  if ((next.code & 0xFFFFu) == code::kDelay) {
    g.delayCounter = 0;
    setSentinel(ctx.prevTarget);
  }
  g.drained = false;
  ctx.readyForNext = false;
  ctx.hold.begun = false;
  if (!blended) {
    ctx.startFromRest = true;
    ctx.profile.state = SegmentState::Plan;
  }
  return clearRequests(g, sh, next.code & 0xFFFFu);
}

// The first axis whose position (pulses) lies outside its enabled software
// limits, or -1.
int axisOutsideLimits(const GroupParams& gp, const double pulses[kAxes]) {
  for (int i = 0; i < kAxes; ++i) {
    const AxisParams& a = gp.axis[i];
    if (a.limitEnabled && !(pulses[i] < a.upperLimit && pulses[i] > a.lowerLimit)) return i;
  }
  return -1;
}

// One period of the arc; an arc that cannot be interpolated is dropped with
// the arc error, its target no end point to correct to.
bool arcMove(GroupRecord& g, const CommandQueue* ahead = nullptr) {
  switch (arcStep(g.ctx, ahead)) {
    case ArcOutcome::Moved:
    case ArcOutcome::LastMove:
      return true;
    case ArcOutcome::Invalid:
      g.error = error::kArc;
      setSentinel(g.ctx.prevTarget);
      return false;
    case ArcOutcome::Finished:
      break;
  }
  return false;
}

// The axes' point-to-point profile settings.
void ptpShapes(const GroupRecord& g, ProfileShape (&shapes)[kAxes]) {
  for (int i = 0; i < kAxes; ++i)
    shapes[i] = {g.ptpAccType[i], g.ptpDecType[i], g.ptpAccTime[i], g.ptpDecTime[i]};
}

// One period of a point-to-point move with the axes' own profile settings.
bool ptpMove(GroupRecord& g) {
  ProfileShape shapes[kAxes];
  ptpShapes(g, shapes);
  return ptpStep(g.ctx, shapes) != PtpOutcome::Finished;
}

// One period of a distance jog, planned with its axes' point-to-point times.
bool jogMove(GroupRecord& g, const CommandQueue& queue) {
  ProfileShape shapes[kAxes];
  ptpShapes(g, shapes);
  return jogStep(g.ctx, shapes, &queue) == StepOutcome::Moved;
}

}  // namespace

uint32_t fetch(GroupRecord& g, GroupShared& sh, CommandQueue& queue, StepEnvironment& env) {
  GroupContext& ctx = g.ctx;
  // An acknowledge without an error is taken too: VNL_ClearError waits
  // without a limit for the byte to fall, and would otherwise never return.
  if (sh.errorAck.load(std::memory_order_acquire) == kRaised) {
    g.error = 0;
    sh.errorAck.store(0, std::memory_order_release);
  }
  if (g.error >= 0x80) return code::kNothing;
  if (g.putFailed) return code::kNothing;

  if (g.inPosOn && g.inPosArmed && ctx.ready) {
    int32_t out[kAxes];
    env.outputPulsePositions(out);
    bool waiting = false;
    for (int i = 0; i < ctx.params.axisCount && i < kAxes; ++i)
      waiting = waiting || !env.inPosition(i) || ctx.cmdPulse[i] != out[i];
    if (waiting) {
      ++g.inPosWait;
      return code::kNothing;
    }
  }

  switch (g.state) {
    case GroupMotionState::Idle:
      if (take(sh.resetRequest)) {
        setSentinel(ctx.prevTarget);
        return clearRequests(g, sh, code::kReset);
      }
      if (!take(sh.startFlag)) return clearRequests(g, sh, code::kNothing);
      g.state = GroupMotionState::Running;
      [[fallthrough]];
    case GroupMotionState::Running:
      if (take(sh.resetRequest)) {
        g.state = GroupMotionState::Idle;
        return clearRequests(g, sh, code::kReset);
      }
      if (take(sh.holdRequest)) {
        // A blend whose next command has not been taken yet is one path
        // with it: the command is taken first, so that the hold decelerates
        // along the blend instead of stopping dead at its start.
        if (ctx.blend.awaitingFetch && ctx.readyForNext) fetchNext(g, sh, queue, env);
        g.state = GroupMotionState::Holding;
        return clearRequests(g, sh, code::kHoldStep);
      }
      if (ctx.readyForNext) {
        // The end-point correction compares the target with what the output
        // layer has handed out; blocks still waiting in the PulseQueue would
        // be counted twice, so the fetch waits for them.
        if (!isSentinel(ctx.prevTarget) && !env.pulseQueueEmpty()) return code::kNothing;
        return fetchNext(g, sh, queue, env);
      }
      return clearRequests(g, sh, ctx.cmd.code & 0xFFFFu);
    case GroupMotionState::Held:
      if (take(sh.resetRequest)) {
        g.state = GroupMotionState::Idle;
        return clearRequests(g, sh, code::kReset);
      }
      if (take(sh.abortHeldRequest)) {
        g.state = GroupMotionState::Running;
        setSentinel(ctx.prevTarget);
        return clearRequests(g, sh, code::kAbortHeld);
      }
      if (take(sh.continueRequest)) {
        g.state = GroupMotionState::Running;
        return clearRequests(g, sh, code::kResume);
      }
      return clearRequests(g, sh, code::kNothing);
    case GroupMotionState::Holding:
      // A reset ends the hold as it ends a running command: taken here, it
      // would otherwise be cleared as stale and its caller wait for ever.
      if (take(sh.resetRequest)) {
        g.state = GroupMotionState::Idle;
        return clearRequests(g, sh, code::kReset);
      }
      return clearRequests(g, sh, code::kHoldStep);
  }
  return code::kNothing;
}

void resetGroup(GroupRecord& g, const GroupParams& params, const GroupShared& sh) {
  GroupRecord fresh;
  fresh.ctx.params = params;
  const int P = params.periodMs;
  PathSettings& s = fresh.ctx.settings;
  s.accSteps = sh.accSteps.load();
  s.decSteps = sh.decSteps.load();
  s.shape.accTime = derivedTime(s.accSteps, P);
  s.shape.decTime = derivedTime(s.decSteps, P);
  s.shape.accType = typeOf(sh.accType.load());
  s.shape.decType = typeOf(sh.decType.load());
  s.overSpeed = sh.overSpeed.load() < 1 ? 1 : sh.overSpeed.load();
  s.ptpOverSpeed = sh.ptpOverSpeed.load() < 1 ? 1 : sh.ptpOverSpeed.load();
  for (int i = 0; i < kAxes; ++i) {
    fresh.ptpAccTime[i] = derivedTime(sh.ptpAccSteps[i].load(), P);
    fresh.ptpDecTime[i] = derivedTime(sh.ptpDecSteps[i].load(), P);
    fresh.ptpAccType[i] = typeOf(sh.ptpAccType[i].load());
    fresh.ptpDecType[i] = typeOf(sh.ptpDecType[i].load());
  }
  // Settings that survive a reset: blending and in-position configuration
  // come from commands and the in-position setters, the kind of the last
  // command from the fetch.
  fresh.ctx.blending = g.ctx.blending;
  fresh.inPosOn = g.inPosOn;
  fresh.inPosTimeout = g.inPosTimeout;
  fresh.info = g.info;
  fresh.ctx.line.dominant = g.ctx.line.dominant;
  g = fresh;
}

void cycleStep(GroupRecord& g, GroupShared& sh, CommandQueue& queue, StepEnvironment& env) {
  GroupContext& ctx = g.ctx;

  // Parameter handshake.
  if (sh.paramRequest.load(std::memory_order_acquire) == kRaised) {
    sh.paramAck.store(0, std::memory_order_relaxed);
    sh.paramRequest.store(0, std::memory_order_relaxed);
    applyParameter(g, sh, sh.paramCode.load(std::memory_order_relaxed));
    sh.paramAck.store(kRaised, std::memory_order_release);
  }

  // Re-synchronisation while standing, before anything is fetched: a
  // command that starts from rest is planned from where the axes stand
  // (after a reset the group's record starts from zero until it has taken
  // the output layer's positions).
  if (!g.movedLast && env.outputIdle()) {
    for (double& v : ctx.axisSpeed)
      v = 0;
    ctx.pathSpeed = ctx.pathRate = 0;
    int32_t out[kAxes];
    env.outputPulsePositions(out);
    bool differs = false;
    for (int i = 0; i < kAxes; ++i)
      differs = differs || ctx.cmdPulse[i] != out[i];
    if (differs) adoptOutputPositions(ctx, out);
  }

  const uint32_t result = fetch(g, sh, queue, env);

  for (int i = 0; i < kAxes; ++i)
    sh.position[i].store(ctx.pos[i], std::memory_order_relaxed);

  bool moved = false;
  switch (result) {
    case code::kNothing:
      if (g.inPosArmed && g.inPosWait > g.inPosTimeout) {
        g.error = error::kInPosTimeout;
        g.inPosArmed = false;
        g.inPosWait = 0;
      }
      break;
    case code::kReset: {
      const GroupParams* fresh = env.machineParams();
      resetGroup(g, fresh != nullptr ? *fresh : ctx.params, sh);
      break;
    }
    case code::kResume:
    case code::kAbortHeld: {
      ProfileShape shapes[kAxes];
      ptpShapes(g, shapes);
      if (result == code::kResume)
        resumeHeld(ctx, shapes);
      else
        abortHeld(ctx, shapes);
      break;
    }
    case code::kHoldStep: {
      ProfileShape shapes[kAxes];
      ptpShapes(g, shapes);
      const HoldOutcome h = holdStep(ctx, shapes);
      moved = h.moved;
      if (h.held) g.state = GroupMotionState::Held;
      break;
    }
    case code::kLine:
      moved = lineStep(ctx, &queue) == StepOutcome::Moved;
      if (moved) g.inPosArmed = true;
      break;
    case code::kArc:
      moved = arcMove(g, &queue);
      if (moved) g.inPosArmed = true;
      break;
    case code::kPtP:
      moved = ptpMove(g);
      if (moved) g.inPosArmed = true;
      break;
    case code::kDelay: {
      const auto periods = static_cast<uint32_t>(ctx.cmd.speed > 0 ? ctx.cmd.speed : 0);
      if (g.delayCounter < periods) {
        ++g.delayCounter;
        ctx.ready = false;
        const int32_t zero[kAxes] = {};
        if (env.putPulseBlock(zero)) {
          if (env.outputIdle()) env.requestOutput();
        } else {
          --g.delayCounter;  // the standstill period is offered again
        }
      } else {
        g.delayCounter = 0;
        ctx.readyForNext = true;
        ctx.ready = true;
      }
      break;
    }
    case code::kBlendOn:
      ctx.blending = true;
      g.inPosOn = false;
      ctx.readyForNext = true;
      setSentinel(ctx.prevTarget);
      break;
    case code::kBlendOff:
      ctx.blending = false;
      g.inPosOn = false;
      ctx.readyForNext = true;
      setSentinel(ctx.prevTarget);
      break;
    case code::kInPosOn:
      g.inPosOn = true;
      g.inPosArmed = false;
      g.inPosWait = 0;
      ctx.readyForNext = true;
      moved = true;
      break;
    case code::kJog:
      moved = jogMove(g, queue);
      if (moved) g.inPosArmed = true;
      break;
    default:
      ctx.readyForNext = true;
      ctx.ready = true;
      break;
  }

  bool pending = false;
  if (moved) {
    toPulses(ctx.params, ctx.pos, ctx.pulsePos);
    const int violated = axisOutsideLimits(ctx.params, ctx.pulsePos);
    if (violated >= 0) {
      g.error = static_cast<uint8_t>(error::kSoftLimit + violated);
      // The dropped command's target lies beyond the limit: no end-point
      // correction may drive the axis there at the next fetch.
      setSentinel(ctx.prevTarget);
      if (g.state == GroupMotionState::Holding) g.state = GroupMotionState::Held;
      for (int i = 0; i < kAxes; ++i)
        ctx.pos[i] = ctx.prevPos[i];
      ctx.readyForNext = true;
      ctx.profile.state = SegmentState::Plan;
      ctx.ready = true;
      moved = false;
    } else {
      pending = true;
      computePulses(ctx.pulsePos, ctx.prevPulsePos, ctx.remainder, ctx.cmdPulse, ctx.pulses);
      for (int i = 0; i < kAxes; ++i)
        ctx.prevPulsePos[i] = ctx.pulsePos[i];
    }
  }
  g.movedLast = moved;

  if (pending || g.putFailed) {
    g.putFailed = !env.putPulseBlock(ctx.pulses);
    if (!g.putFailed) std::memset(ctx.pulses, 0, sizeof ctx.pulses);
    if (env.outputIdle()) env.requestOutput();
  }

  // Published in units per second of machine time. The ratio is taken once:
  // the stores between the speeds would make the compiler read it again for each.
  const double ratio = ctx.params.clockRatio();
  sh.pathSpeed.store(ctx.pathSpeed / ratio, std::memory_order_relaxed);
  for (int i = 0; i < kAxes; ++i)
    sh.axisSpeed[i].store(ctx.axisSpeed[i] / ratio, std::memory_order_relaxed);
  sh.previousV.store(ctx.previousV / ratio, std::memory_order_relaxed);
  sh.error.store(g.error, std::memory_order_relaxed);
  sh.drained.store(g.drained ? kRaised : 0, std::memory_order_relaxed);
  sh.ready.store(ctx.ready ? kRaised : 0, std::memory_order_relaxed);
  sh.state.store(static_cast<uint8_t>(g.state), std::memory_order_release);
}

}  // namespace vnl::planner
