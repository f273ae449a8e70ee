#include "planner/line.h"

#include <cmath>
#include <limits>

#include "planner/blend_step.h"

namespace vnl::planner {

namespace {
constexpr double kMinLength = 1e-5;  // machine units below which an axis does not move

// Whether the segment step just made is the last one of the command: its
// segment is done and every segment after it has no time.
bool endsCommand(const PathProfile& p, bool blending) {
  const bool done = p.phase == PathPhase::AccDone || p.phase == PathPhase::CruiseDone ||
                    p.phase == PathPhase::DecDone;
  if (!done) return false;
  if (p.state == SegmentState::FinalDecel) return true;
  if (blending || p.T3 != 0) return false;
  if (p.state == SegmentState::Cruise) return true;
  return (p.state == SegmentState::Accel || p.state == SegmentState::InitialDecel) &&
         !(p.hasCruise && p.T2 > 0);
}
}  // namespace

int32_t truncatePulses(double x) {
  constexpr double hi = static_cast<double>(std::numeric_limits<int32_t>::max());
  constexpr double lo = static_cast<double>(std::numeric_limits<int32_t>::min());
  if (x < hi && x > lo) return static_cast<int32_t>(x);  // truncation toward zero
  if (x >= hi) return std::numeric_limits<int32_t>::max();
  if (x <= lo) return std::numeric_limits<int32_t>::min();
  return 0;  // NaN
}

void computePulses(const double newPulses[kAxes], const double prevPulses[kAxes],
                   double remainder[kAxes], int32_t cmdPulse[kAxes], int32_t out[kAxes]) {
  for (int i = 0; i < kAxes; ++i) {
    const double x = newPulses[i] - prevPulses[i] + remainder[i];
    const int32_t n = truncatePulses(x);
    remainder[i] = x - n;
    out[i] = n;
    cmdPulse[i] =
        static_cast<int32_t>(static_cast<uint32_t>(cmdPulse[i]) + static_cast<uint32_t>(n));
  }
}

bool endPointCorrection(const double targetPulses[kAxes], const int32_t outputPulsePos[kAxes],
                        double remainder[kAxes], int32_t out[kAxes]) {
  bool any = false;
  for (int i = 0; i < kAxes; ++i) {
    const double d = targetPulses[i] - outputPulsePos[i];
    const int32_t n = truncatePulses(d >= 0 ? d + 1e-10 : d - 1e-10);
    remainder[i] = d - n;
    out[i] = n;
    any = any || n != 0;
  }
  return any;
}

PlanResult lineGeometry(const GroupParams& params, const double start[kAxes],
                        const double target[kAxes], LineGeometry& g) {
  double d[kAxes];
  bool moves = false;
  for (int i = 0; i < kAxes; ++i) {
    d[i] = target[i] - start[i];
    moves = moves || std::fabs(d[i]) >= kMinLength;
  }
  if (!moves) return PlanResult::ZeroLength;

  double bestRatio = 0;
  int best = -1;
  for (int i = 3; i < kAxes; ++i) {
    const double vmax = params.axis[i].maxSpeed;
    if (!(vmax > 0)) continue;
    const double r = std::fabs(d[i]) / vmax;
    if (r > bestRatio) {
      bestRatio = r;
      best = i;
    }
  }
  if (best >= 0) g.dominant = best;

  const double L = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (L >= kMinLength) {
    g.uvwOnly = false;
    g.L = L;
    for (int i = 0; i < kAxes; ++i)
      g.k[i] = d[i] / L;
    return PlanResult::Ok;
  }
  const double Lu = std::fabs(d[g.dominant]);
  if (!(Lu > 0)) return PlanResult::ZeroLength;  // only axes without a maximum speed move
  g.uvwOnly = true;
  g.L = Lu;
  g.k[0] = g.k[1] = g.k[2] = 0;
  for (int i = 3; i < kAxes; ++i)
    g.k[i] = d[i] / Lu;
  return PlanResult::Ok;
}

PlanResult planLine(GroupContext& ctx) {
  PathProfile& p = ctx.profile;
  chooseSegmentTimes(p, ctx.settings.shape);
  ctx.previous = ctx.planned;
  ctx.planned = ctx.cmd;
  double speed = ctx.cmd.speed;
  if (!(speed > 0)) return PlanResult::ZeroSpeed;
  if (speed > ctx.params.sysMaxSpeed) speed = ctx.params.sysMaxSpeed;
  const PlanResult g = lineGeometry(ctx.params, ctx.pos, ctx.cmd.target, ctx.line);
  if (g != PlanResult::Ok) return g;
  if (ctx.line.uvwOnly) speed = ctx.params.axis[ctx.line.dominant].maxSpeed;
  // Too long at that speed: dropped like a line without speed.
  if (!planOnLength(p, ctx.line.L, ctx.params.toGrid(speed), ctx.params.periodMs))
    return PlanResult::ZeroSpeed;
  p.state = SegmentState::Plan;
  return PlanResult::Ok;
}

void measureSpeeds(GroupContext& ctx, bool uvwOnly, int dominant) {
  const double perSecond =
      1000.0 / ctx.params.periodMs;  // one multiply instead of a divide per axis
  double all = 0;
  double d[kAxes];
  for (int i = 0; i < kAxes; ++i) {
    d[i] = ctx.pos[i] - ctx.prevPos[i];
    ctx.axisSpeed[i] = d[i] * perSecond;
    all += d[i] * d[i];
  }
  const double along =
      uvwOnly ? std::fabs(d[dominant]) : std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  ctx.pathSpeed = (uvwOnly ? along : std::sqrt(all)) * perSecond;
  ctx.pathRate = along * perSecond;
  ctx.travelled += along;
}

void takeStartFromRest(GroupContext& ctx, int overSpeedPercent) {
  if (!ctx.startFromRest) return;
  PathProfile& p = ctx.profile;
  p.Vs = 0;
  p.entry = EntryMode::Accelerate;
  p.phase = PathPhase::AccStart;
  ctx.unscaledSpeed = ctx.cmd.speed;
  ctx.cmd.speed = ctx.cmd.speed * overSpeedPercent / 100.0;
  ctx.startFromRest = false;
}

void finishCommand(GroupContext& ctx, double cruiseSpeed) {
  ctx.previous = ctx.planned;
  ctx.previousV = cruiseSpeed;
  ctx.readyForNext = true;
  ctx.ready = true;
}

StepOutcome straightPathStep(GroupContext& ctx, const ProfileShape& shape,
                             const BlendLookAhead& lookAhead, bool uvwOnly, int dominant) {
  PathProfile& p = ctx.profile;
  switch (continueBlend(ctx)) {
    case BlendProgress::Moved:
      return StepOutcome::Moved;
    case BlendProgress::NextFinished:  // blended into a command of zero length
      finishCommand(ctx, 0);
      return StepOutcome::Finished;
    case BlendProgress::NotBlending:
      break;
  }

  StepResult r;
  do {
    r = sequenceStep(p, shape, ctx.blending, lookAhead);
  } while (r == StepResult::Again);

  if (p.phase == PathPhase::AccStart || p.phase == PathPhase::CruiseStart ||
      p.phase == PathPhase::DecStart) {
    for (int i = 0; i < kAxes; ++i)
      ctx.segStart[i] = ctx.pos[i];
  }

  switch (r) {
    case StepResult::Accelerate:
    case StepResult::Cruise:
    case StepResult::Decelerate: {
      const double s = advanceSegment(p, ctx.params.periodMs);
      for (int i = 0; i < kAxes; ++i) {
        ctx.prevPos[i] = ctx.pos[i];
        ctx.pos[i] = ctx.segStart[i] + s * ctx.line.k[i];
      }
      // The last segment ends at h = 1 on the end point; take the target itself so that rounding of
      // the segment sums cannot leave the last step a hair short of it.
      if (endsCommand(p, ctx.blending)) {
        for (int i = 0; i < kAxes; ++i)
          ctx.pos[i] = ctx.cmd.target[i];
      }
      break;
    }
    case StepResult::BlendJog:
    case StepResult::BlendLine:
    case StepResult::BlendArc:
      blendStep(ctx);  // first blend step: the blend is set up
      return StepOutcome::Moved;
    default:  // Finished
      finishCommand(ctx, p.V);
      return StepOutcome::Finished;
  }
  measureSpeeds(ctx, uvwOnly, dominant);
  return StepOutcome::Moved;
}

StepOutcome lineStep(GroupContext& ctx, const CommandQueue* ahead) {
  PathProfile& p = ctx.profile;
  if (p.state == SegmentState::Plan) {
    for (int i = 0; i < kAxes; ++i)
      ctx.segStart[i] = ctx.pos[i];
    takeStartFromRest(ctx, ctx.settings.overSpeed);
    if (planLine(ctx) != PlanResult::Ok) {
      ctx.readyForNext = true;
      ctx.ready = true;
      return StepOutcome::Finished;
    }
    ctx.travelled = 0;
    ctx.ready = false;
  }
  return straightPathStep(ctx, ctx.settings.shape, BlendLookAhead{ctx, ahead, PathKind::Line},
                          ctx.line.uvwOnly, ctx.line.dominant);
}

void changePathOverSpeed(GroupContext& ctx, int ratio) {
  PathProfile& p = ctx.profile;
  if (p.phase == PathPhase::LookAheadStart || p.phase == PathPhase::LookAhead ||
      p.phase == PathPhase::LookAheadDone)
    return;
  if (ratio < 1) ratio = 1;
  const int P = ctx.params.periodMs;
  p.state = SegmentState::Plan;
  ctx.cmd = ctx.planned;
  const double R = std::fabs(p.L - ctx.travelled);
  const double D = ctx.settings.shape.decTime * ctx.pathRate * 0.0005;
  const double newSpeed = ratio * ctx.unscaledSpeed / 100.0;
  double cruise = newSpeed < ctx.params.sysMaxSpeed ? newSpeed : ctx.params.sysMaxSpeed;
  if (ctx.line.uvwOnly) cruise = ctx.params.axis[ctx.line.dominant].maxSpeed;
  const int accTime = derivedTime(ctx.settings.accSteps, P);
  const EntryMode entry =
      ctx.params.toGrid(cruise) > ctx.pathRate ? EntryMode::Accelerate : EntryMode::Decelerate;
  // The first segment of the new plan covers T1 x Vs / 2 by itself; a rest
  // shorter than that cannot be re-planned (the cruise speed would come out
  // negative), so it is decelerated like a rest within the stopping distance.
  const int T1 = entry == EntryMode::Decelerate ? ctx.settings.shape.decTime : accTime;
  if (R <= D || R <= T1 * ctx.pathRate * 0.0005) {
    // Too close to the end for the new speed to matter: a bare final
    // deceleration over the rest.
    p.T1 = p.T2 = 0;
    p.S1 = p.S2 = 0;
    p.S3 = R;
    p.T3 = 2 * P * ((ctx.settings.shape.decTime + 2 * P - 1) / (2 * P));
    p.hasCruise = false;
    p.V = ctx.pathRate;
    p.phase = PathPhase::DecStart;
    // With blending on the rest may still blend into the next command; the
    // look-ahead falls back to this deceleration when it cannot.
    p.state = ctx.blending ? SegmentState::LookAhead : SegmentState::FinalDecel;
    return;
  }
  ctx.cmd.speed = newSpeed;
  ctx.settings.shape.accTime = accTime;
  p.entry = entry;
  p.Vs = ctx.pathRate;
  p.phase = PathPhase::AccStart;  // not a look-ahead: T1 follows the entry mode
  ctx.startFromRest = false;
}

}  // namespace vnl::planner
