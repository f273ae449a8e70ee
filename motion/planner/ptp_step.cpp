#include "planner/ptp_step.h"

#include <cmath>

namespace vnl::planner {

namespace {

// Plans every axis; false when the move is dropped.
bool planPtp(GroupContext& ctx, const ProfileShape (&shapes)[kAxes]) {
  double speed = ctx.cmd.speed;
  if (ctx.startFromRest) {
    // The scaled speed stays in the record, so that a move planned again
    // after a hold does not run at the unscaled percent.
    ctx.unscaledSpeed = speed;
    speed = speed * ctx.settings.ptpOverSpeed / 100.0;
    ctx.cmd.speed = speed;
    ctx.startFromRest = false;
  }
  if (!(speed > 0)) return false;
  const double r = (speed >= 100 ? 100.0 : speed) / 100.0;
  bool any = false;
  PtpAxis planned[kAxes];
  for (int i = 0; i < kAxes; ++i) {
    PtpAxis& a = planned[i];
    const double d = ctx.cmd.target[i] - ctx.pos[i];
    a.shape = shapes[i];
    if (d == 0) continue;
    // An axis that would have to move without a maximum speed cannot be
    // planned: the whole move is dropped rather than jumping.
    const double vmax = r * ctx.params.axis[i].maxSpeed;
    if (!(vmax > 0)) return false;
    a.sign = d > 0 ? 1.0 : -1.0;
    a.arrived = false;
    a.profile.Vs = 0;
    a.profile.entry = EntryMode::Accelerate;
    a.profile.phase = PathPhase::AccStart;
    chooseSegmentTimes(a.profile, a.shape);
    if (!planOnLength(a.profile, std::fabs(d), ctx.params.toGrid(vmax), ctx.params.periodMs))
      return false;
    a.profile.state = SegmentState::Plan;
    a.segStart = ctx.pos[i];
    any = true;
  }
  if (!any) return false;
  for (int i = 0; i < kAxes; ++i)
    ctx.ptp[i] = planned[i];
  ctx.previous = ctx.planned;
  ctx.planned = ctx.cmd;
  return true;
}

}  // namespace

bool ptpAxisStep(GroupContext& ctx, int i, int periodMs) {
  PtpAxis& a = ctx.ptp[i];
  StepResult r;
  do {
    r = sequenceStep(a.profile, a.shape, false, NoBlend{});
  } while (r == StepResult::Again);
  const PathPhase ph = a.profile.phase;
  if (ph == PathPhase::AccStart || ph == PathPhase::CruiseStart || ph == PathPhase::DecStart)
    a.segStart = ctx.pos[i];
  if (r == StepResult::Accelerate || r == StepResult::Cruise || r == StepResult::Decelerate) {
    ctx.pos[i] = a.segStart + advanceSegment(a.profile, periodMs) * a.sign;
    return true;
  }
  a.arrived = true;
  ctx.pos[i] = ctx.cmd.target[i];
  return false;
}

PtpOutcome ptpStep(GroupContext& ctx, const ProfileShape (&shapes)[kAxes]) {
  const int P = ctx.params.periodMs;
  if (ctx.profile.state == SegmentState::Plan) {
    if (!planPtp(ctx, shapes)) {
      ctx.readyForNext = true;
      ctx.ready = true;
      return PtpOutcome::Finished;
    }
    ctx.profile.state = SegmentState::Cruise;  // running: no new plan
    ctx.ready = false;
  }
  bool all = true;
  for (int i = 0; i < kAxes; ++i) {
    ctx.prevPos[i] = ctx.pos[i];
    if (ctx.ptp[i].arrived) continue;
    if (ptpAxisStep(ctx, i, P)) all = false;
  }
  const double perSecond = 1000.0 / P;
  for (int i = 0; i < kAxes; ++i)
    ctx.axisSpeed[i] = (ctx.pos[i] - ctx.prevPos[i]) * perSecond;
  if (!all) return PtpOutcome::Moved;
  ctx.readyForNext = true;
  ctx.ready = true;
  return PtpOutcome::LastMove;
}

}  // namespace vnl::planner
