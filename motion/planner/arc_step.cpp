#include "planner/arc_step.h"

#include <algorithm>
#include <cmath>

#include "planner/blend_step.h"
#include "planner/line.h"

namespace vnl::planner {

namespace {

int planeAxesOf(const GroupParams& p) {
  return std::clamp(p.axisCount, 1, 3);
}

Axes6 axes6(const double v[kAxes]) {
  Axes6 a{};
  for (int i = 0; i < kAxes; ++i)
    a[static_cast<std::size_t>(i)] = v[i];
  return a;
}

Vec3 vec3(const double v[3]) {
  return {v[0], v[1], v[2]};
}

// Path speed of an arc: the displacement of the plane axes alone.
void measureArcSpeeds(GroupContext& ctx) {
  const double perSecond = 1000.0 / ctx.params.periodMs;
  const int n = planeAxesOf(ctx.params);
  double plane = 0;
  for (int i = 0; i < kAxes; ++i) {
    const double d = ctx.pos[i] - ctx.prevPos[i];
    ctx.axisSpeed[i] = d * perSecond;
    if (i < n) plane += d * d;
  }
  const double along = std::sqrt(plane);
  ctx.pathSpeed = along * perSecond;
  ctx.pathRate = ctx.pathSpeed;
  ctx.travelled += along;
}

}  // namespace

bool planArcCommand(GroupContext& ctx, PlanResult* result) {
  PathProfile& p = ctx.profile;
  chooseSegmentTimes(p, ctx.settings.shape);
  ctx.previous = ctx.planned;
  ctx.planned = ctx.cmd;
  double speed = ctx.cmd.speed;
  if (!(speed > 0)) {
    *result = PlanResult::ZeroSpeed;
    return true;
  }
  if (speed > ctx.params.sysMaxSpeed) speed = ctx.params.sysMaxSpeed;
  ArcState& a = ctx.arc;
  const ArcPlanError e =
      planArc(axes6(ctx.pos), axes6(ctx.cmd.target), vec3(ctx.cmd.centre), ctx.cmd.direction,
              static_cast<std::uint16_t>(ctx.cmd.plane), vec3(ctx.cmd.reference),
              planeAxesOf(ctx.params), a.tolerance, &a.g);
  if (e != ArcPlanError::None || !(a.g.length > 0)) return false;
  if (!planOnLength(p, a.g.length, ctx.params.toGrid(speed), ctx.params.periodMs)) {
    *result = PlanResult::ZeroSpeed;
    return true;
  }
  p.state = SegmentState::Plan;
  *result = PlanResult::Ok;
  return true;
}

ArcOutcome arcStep(GroupContext& ctx, const CommandQueue* ahead) {
  PathProfile& p = ctx.profile;
  ArcState& a = ctx.arc;
  const int P = ctx.params.periodMs;
  if (p.state == SegmentState::Plan) {
    for (int i = 0; i < kAxes; ++i)
      ctx.segStart[i] = ctx.pos[i];
    ctx.travelled = 0;
    a.theta = a.segTheta = 0;
    a.tolerance = arcTolerance(ctx.params.axis[0].pulsesPerUnit, ctx.params.axis[1].pulsesPerUnit,
                               ctx.params.axis[2].pulsesPerUnit);
    if (ctx.startFromRest) {
      takeStartFromRest(ctx, ctx.settings.overSpeed);
      const Vec3 s{ctx.pos[0], ctx.pos[1], ctx.pos[2]};
      const Vec3 e{ctx.cmd.target[0], ctx.cmd.target[1], ctx.cmd.target[2]};
      if (!arcIsValid(s, e, vec3(ctx.cmd.centre), planeAxesOf(ctx.params), a.tolerance)) {
        ctx.readyForNext = true;
        ctx.ready = true;
        return ArcOutcome::Invalid;
      }
    }
    PlanResult r = PlanResult::Ok;
    if (!planArcCommand(ctx, &r)) {
      ctx.readyForNext = true;
      ctx.ready = true;
      return ArcOutcome::Invalid;
    }
    if (r != PlanResult::Ok) {
      ctx.readyForNext = true;
      ctx.ready = true;
      return ArcOutcome::Finished;
    }
    ctx.ready = false;
  }

  switch (continueBlend(ctx)) {
    case BlendProgress::Moved:
      return ArcOutcome::Moved;
    case BlendProgress::NextFinished:  // not for an arc, which always has a length
      finishCommand(ctx, 0);
      return ArcOutcome::Finished;
    case BlendProgress::NotBlending:
      break;
  }

  StepResult r;
  do {
    r = sequenceStep(p, ctx.settings.shape, ctx.blending,
                     BlendLookAhead{ctx, ahead, PathKind::Arc});
  } while (r == StepResult::Again);

  if (p.phase == PathPhase::AccStart || p.phase == PathPhase::CruiseStart ||
      p.phase == PathPhase::DecStart)
    a.segTheta = a.theta;

  for (int i = 0; i < kAxes; ++i)
    ctx.prevPos[i] = ctx.pos[i];
  switch (r) {
    case StepResult::Accelerate:
    case StepResult::Cruise:
    case StepResult::Decelerate: {
      const double s = advanceSegment(p, P);
      a.theta = a.segTheta + s / a.g.radius;
      const Axes6 q = arcPoint(a.g, a.theta);
      for (int i = 0; i < kAxes; ++i)
        ctx.pos[i] = q[static_cast<std::size_t>(i)];
      measureArcSpeeds(ctx);
      return ArcOutcome::Moved;
    }
    case StepResult::BlendLine:
    case StepResult::BlendArc:
      blendStep(ctx);  // first blend step: the blend is set up
      return ArcOutcome::Moved;
    default:  // Finished
      a.theta = a.segTheta = 0;
      for (int i = 0; i < kAxes; ++i)
        ctx.pos[i] = ctx.cmd.target[i];
      finishCommand(ctx, p.V);
      measureArcSpeeds(ctx);
      return ArcOutcome::LastMove;
  }
}

}  // namespace vnl::planner
