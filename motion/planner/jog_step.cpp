#include "planner/jog_step.h"

#include <cmath>

#include "planner/blend_step.h"

namespace vnl::planner {

namespace {

// Whether the segment step just made is the last one of the jog: its segment
// is done and every segment after it has no time.
bool endsJog(const PathProfile& p, bool blending) {
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

PlanResult planJog(GroupContext& ctx, const ProfileShape (&shapes)[kAxes]) {
  PathProfile& p = ctx.profile;
  ctx.previous = ctx.planned;
  ctx.planned = ctx.cmd;
  double percent = ctx.cmd.speed;
  if (!(percent > 0)) return PlanResult::ZeroSpeed;
  if (percent > 100) percent = 100;
  const double r = percent / 100.0;

  // The dominant axis needs the longest time at its share of its maximum
  // speed; the first one wins a tie.
  double d[kAxes];
  bool moves = false;
  int dominant = -1;
  double longest = -1;
  for (int i = 0; i < kAxes; ++i) {
    d[i] = ctx.cmd.target[i] - ctx.pos[i];
    if (d[i] == 0) continue;
    moves = true;
    const double vmax = r * ctx.params.axis[i].maxSpeed;
    // An axis that has to move without a maximum speed cannot be planned: the
    // jog is dropped rather than moving it at no defined speed.
    if (!(vmax > 0)) return PlanResult::ZeroSpeed;
    const double t = std::fabs(d[i]) / vmax * 1000.0;
    if (t > longest) {
      longest = t;
      dominant = i;
    }
  }
  if (!moves || dominant < 0) return PlanResult::ZeroLength;

  JogState& jog = ctx.jog;
  jog.dominant = dominant;
  jog.shape = shapes[dominant];
  const double L = std::fabs(d[dominant]);
  LineGeometry& g = ctx.line;
  g.L = L;
  g.uvwOnly = false;
  for (int i = 0; i < kAxes; ++i)
    g.k[i] = d[i] / L;
  chooseSegmentTimes(p, jog.shape);
  planOnLength(p, L, r * ctx.params.axis[dominant].maxSpeed, ctx.params.periodMs);
  p.state = SegmentState::Plan;
  // A start speed whose first segment alone overshoots the rest leaves no
  // valid cruise speed.
  if (p.V < 0) return PlanResult::ZeroLength;
  return PlanResult::Ok;
}

StepOutcome jogStep(GroupContext& ctx, const ProfileShape (&shapes)[kAxes],
                    const CommandQueue* ahead) {
  PathProfile& p = ctx.profile;
  const int P = ctx.params.periodMs;
  if (p.state == SegmentState::Plan) {
    for (int i = 0; i < kAxes; ++i)
      ctx.segStart[i] = ctx.pos[i];
    if (ctx.startFromRest) {
      p.Vs = 0;
      p.entry = EntryMode::Accelerate;
      p.phase = PathPhase::AccStart;
      ctx.unscaledSpeed = ctx.cmd.speed;
      ctx.cmd.speed = ctx.cmd.speed * ctx.settings.ptpOverSpeed / 100.0;
      ctx.startFromRest = false;
    }
    if (planJog(ctx, shapes) != PlanResult::Ok) {
      ctx.readyForNext = true;
      ctx.ready = true;
      return StepOutcome::Finished;
    }
    ctx.travelled = 0;
    ctx.ready = false;
  }

  switch (continueBlend(ctx)) {
    case BlendProgress::Moved:
      return StepOutcome::Moved;
    case BlendProgress::NextFinished:  // blended into a jog of zero length
      ctx.previous = ctx.planned;
      ctx.previousV = 0;
      ctx.readyForNext = true;
      ctx.ready = true;
      return StepOutcome::Finished;
    case BlendProgress::NotBlending:
      break;
  }

  // A jog is blended only into a following jog, planned by the jog planner
  // with the axes' point-to-point settings.
  auto planNext = [&shapes](GroupContext& c) { return planJog(c, shapes); };
  StepResult r;
  do {
    r = sequenceStep(p, ctx.jog.shape, ctx.blending,
                     BlendLookAhead{ctx, ahead, PathKind::Jog, JogPlanner(planNext)});
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
      const double s = advanceSegment(p, P);
      for (int i = 0; i < kAxes; ++i) {
        ctx.prevPos[i] = ctx.pos[i];
        ctx.pos[i] = ctx.segStart[i] + s * ctx.line.k[i];
      }
      if (endsJog(p, ctx.blending)) {
        for (int i = 0; i < kAxes; ++i)
          ctx.pos[i] = ctx.cmd.target[i];
      }
      break;
    }
    case StepResult::BlendJog:
      blendStep(ctx);  // first blend step: the blend is set up
      return StepOutcome::Moved;
    default:  // Finished
      ctx.previous = ctx.planned;
      ctx.previousV = p.V;
      ctx.readyForNext = true;
      ctx.ready = true;
      return StepOutcome::Finished;
  }
  measureSpeeds(ctx, true, ctx.jog.dominant);
  return StepOutcome::Moved;
}

}  // namespace vnl::planner
