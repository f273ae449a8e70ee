#include "planner/hold_step.h"

#include <cmath>

#include "planner/arc_step.h"
#include "planner/blend_step.h"
#include "planner/jog_step.h"
#include "planner/line.h"
#include "planner/ptp_step.h"

namespace vnl::planner {

namespace {

uint32_t kindOf(const GroupContext& ctx) {
  return ctx.cmd.code & 0xFFFFu;
}

bool isPath(uint32_t c) {
  return c == code::kLine || c == code::kArc || c == code::kJog;
}

// A deceleration time rounded up to an even number of periods, so that the
// ramp formulas see the whole time.
int evenPeriods(double ms, int P) {
  if (!(ms > 0) || P <= 0) return 0;
  return 2 * P * static_cast<int>(std::ceil(ms / (2.0 * P)));
}

// Elapsed time into the running segment and its whole duration.
double restOfSegment(const PathProfile& p, int P) {
  return rampDuration(p.segT, P) - p.elapsed;
}

// The deceleration a profile takes when the hold arrives; v is its current
// speed (along its own length).
HoldSegment chooseHold(const PathProfile& p, double v, ProfileType decType, int P) {
  HoldSegment s;
  s.type = decType;
  auto stop = [&](double S, int T) {
    s.T = T;
    s.S = S;
    s.mode = (T > 0 && S > 0) ? HoldMode::Stop : HoldMode::Done;
  };
  auto stopFrom = [&](int T) { stop(T * v * 0.0005, T); };
  auto plannedFinal = [&]() { stop(p.S3, evenPeriods(p.T3, P)); };
  // After a first segment that has just ended, the cruise or the final
  // deceleration follows.
  auto afterFirst = [&]() {
    if (p.hasCruise && p.T2 > 0)
      plannedFinal();
    else
      s.mode = HoldMode::Continue;
  };
  switch (p.state) {
    case SegmentState::Plan:
      s.mode = HoldMode::Done;
      break;
    case SegmentState::Accel:
      if (p.phase == PathPhase::AccDone)
        afterFirst();
      else
        stopFrom(evenPeriods(p.T3, P));
      break;
    case SegmentState::InitialDecel:
      if (p.phase == PathPhase::DecDone)
        afterFirst();
      else
        stopFrom(evenPeriods(restOfSegment(p, P), P));
      break;
    case SegmentState::Cruise:
      if (p.phase == PathPhase::CruiseDone)
        s.mode = HoldMode::Continue;
      else
        plannedFinal();
      break;
    case SegmentState::LookAhead:
    case SegmentState::FinalDecel:
      s.mode = HoldMode::Continue;
      break;
  }
  return s;
}

// Distance of the next hold step from the hold's start; marks the segment
// done when it reaches its end.
double advanceHold(HoldSegment& s, int P) {
  s.elapsed += P;
  if (s.elapsed >= s.T) {
    s.mode = HoldMode::Done;
    return s.S;
  }
  return decelDistance(s.type, 0.0, s.S, s.T, s.elapsed);
}

void measureArc(GroupContext& ctx) {
  const double perSecond = 1000.0 / ctx.params.periodMs;
  const int n = ctx.arc.g.planeAxes;
  double plane = 0;
  for (int i = 0; i < kAxes; ++i) {
    const double d = ctx.pos[i] - ctx.prevPos[i];
    ctx.axisSpeed[i] = d * perSecond;
    if (i < n) plane += d * d;
  }
  const double along = std::sqrt(plane);
  ctx.pathSpeed = ctx.pathRate = along * perSecond;
  ctx.travelled += along;
}

void measurePath(GroupContext& ctx) {
  switch (kindOf(ctx)) {
    case code::kArc:
      measureArc(ctx);
      break;
    case code::kJog:
      measureSpeeds(ctx, true, ctx.jog.dominant);
      break;
    default:
      measureSpeeds(ctx, ctx.line.uvwOnly, ctx.line.dominant);
      break;
  }
}

// The held command is done: ready for the next, its plan the previous one.
void finishHeldCommand(GroupContext& ctx) {
  finishCommand(ctx, ctx.profile.V);
  ctx.profile.state = SegmentState::Plan;
}

HoldOutcome heldNow(GroupContext& ctx, bool moved) {
  ctx.hold.begun = false;
  ctx.ready = true;
  return {moved, true};
}

// One normal step of the path command, with the look-ahead off: a held
// command is not blended into the next one. Returns whether it moved.
bool normalPathStep(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]) {
  const bool blending = ctx.blending;
  ctx.blending = false;
  bool moved = false;
  switch (kindOf(ctx)) {
    case code::kLine:
      moved = lineStep(ctx) == StepOutcome::Moved;
      break;
    case code::kJog:
      moved = jogStep(ctx, ptpShapes) == StepOutcome::Moved;
      break;
    default: {
      const ArcOutcome a = arcStep(ctx);
      moved = a == ArcOutcome::Moved || a == ArcOutcome::LastMove;
      break;
    }
  }
  ctx.blending = blending;
  return moved;
}

HoldOutcome pathHold(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]) {
  PathProfile& p = ctx.profile;
  HoldState& h = ctx.hold;
  const int P = ctx.params.periodMs;
  const uint32_t c = kindOf(ctx);
  // A running blend is finished first (a few periods): its path is a curve
  // off both commands, and the hold deceleration runs along the command the
  // blend has led into.
  if (!h.begun && blendInProgress(ctx)) return {normalPathStep(ctx, ptpShapes), false};
  if (!h.begun) {
    h.begun = true;
    h.arrivedIn = p.state;
    const ProfileType decType =
        c == code::kJog ? ctx.jog.shape.decType : ctx.settings.shape.decType;
    h.path = chooseHold(p, ctx.pathRate, decType, P);
    h.completes = h.path.mode == HoldMode::Continue;
    h.path.start = c == code::kArc ? ctx.arc.theta : 0.0;
    for (int i = 0; i < kAxes; ++i)
      h.pathStart[i] = ctx.pos[i];
    if (h.path.mode == HoldMode::Done) return heldNow(ctx, false);
  }

  if (h.path.mode == HoldMode::Continue) {
    const bool moved = normalPathStep(ctx, ptpShapes);
    if (ctx.readyForNext) return heldNow(ctx, moved);
    if (p.state == SegmentState::FinalDecel && p.phase == PathPhase::DecDone) {
      // The last step of the command: it stands on its target.
      for (int i = 0; i < kAxes; ++i)
        ctx.pos[i] = ctx.cmd.target[i];
      finishHeldCommand(ctx);
      return heldNow(ctx, moved);
    }
    return {moved, false};
  }

  const double s = advanceHold(h.path, P);
  for (int i = 0; i < kAxes; ++i)
    ctx.prevPos[i] = ctx.pos[i];
  if (c == code::kArc) {
    ArcState& a = ctx.arc;
    a.theta = h.path.start + s / a.g.radius;
    const Axes6 q = arcPoint(a.g, a.theta);
    for (int i = 0; i < kAxes; ++i)
      ctx.pos[i] = q[static_cast<std::size_t>(i)];
  } else {
    for (int i = 0; i < kAxes; ++i)
      ctx.pos[i] = h.pathStart[i] + s * ctx.line.k[i];
  }
  measurePath(ctx);
  if (h.path.mode == HoldMode::Done) return heldNow(ctx, true);
  return {true, false};
}

HoldOutcome ptpHold(GroupContext& ctx) {
  HoldState& h = ctx.hold;
  const int P = ctx.params.periodMs;
  if (!h.begun) {
    h.begun = true;
    h.arrivedIn = ctx.profile.state;
    if (ctx.profile.state == SegmentState::Plan) return heldNow(ctx, false);
    bool any = false;
    h.completes = true;
    for (int i = 0; i < kAxes; ++i) {
      const PtpAxis& a = ctx.ptp[i];
      HoldSegment& s = h.axis[i];
      if (a.arrived) {
        s = HoldSegment{};
        continue;
      }
      s = chooseHold(a.profile, std::fabs(ctx.axisSpeed[i]), a.shape.decType, P);
      s.start = ctx.pos[i];
      if (s.mode != HoldMode::Continue) h.completes = false;
      any = any || s.mode != HoldMode::Done;
    }
    if (!any) return heldNow(ctx, false);
  }

  bool resting = true;
  bool arrived = true;
  for (int i = 0; i < kAxes; ++i) {
    ctx.prevPos[i] = ctx.pos[i];
    PtpAxis& a = ctx.ptp[i];
    HoldSegment& s = h.axis[i];
    if (s.mode == HoldMode::Stop) {
      ctx.pos[i] = s.start + advanceHold(s, P) * a.sign;
    } else if (s.mode == HoldMode::Continue && !a.arrived) {
      ptpAxisStep(ctx, i, P);
      if (a.profile.state == SegmentState::FinalDecel && a.profile.phase == PathPhase::DecDone) {
        a.arrived = true;
        ctx.pos[i] = ctx.cmd.target[i];
      }
      if (a.arrived) s.mode = HoldMode::Done;
    }
    resting = resting && s.mode == HoldMode::Done;
    arrived = arrived && a.arrived;
  }
  const double perSecond = 1000.0 / P;
  for (int i = 0; i < kAxes; ++i)
    ctx.axisSpeed[i] = (ctx.pos[i] - ctx.prevPos[i]) * perSecond;
  if (!resting) return {true, false};
  if (arrived) {
    ctx.previous = ctx.planned;
    ctx.readyForNext = true;
  }
  return heldNow(ctx, true);
}

// The start speed of a plan again after a hold: the measured speed, unless
// the rest of the command is too short to take it (its first segment alone
// would overshoot), which can only happen a hair before the end.
template <class Plan>
void guardStartSpeed(GroupContext& ctx, Plan&& plan) {
  PathProfile& p = ctx.profile;
  p.entry = EntryMode::Accelerate;
  p.phase = PathPhase::AccStart;
  p.Vs = ctx.pathRate;
  if (p.Vs == 0) return;
  GroupContext trial = ctx;
  if (!plan(trial) || trial.profile.V < 0 || trial.profile.S1 > trial.profile.L) p.Vs = 0;
}

// An arc goes on from where it stands on its own circle: the geometry is
// rebuilt about the same centre and normal for the angle that is left (a plan
// from the chord alone could take the other way round, or a full turn when
// the rest is shorter than the tolerance).
void resumeArc(GroupContext& ctx) {
  ArcState& a = ctx.arc;
  PathProfile& p = ctx.profile;
  const double rest = a.g.totalAngle - a.theta;
  double speed = ctx.cmd.speed;
  if (speed > ctx.params.sysMaxSpeed) speed = ctx.params.sysMaxSpeed;
  if (!(rest * a.g.radius > 1e-9) || !(speed > 0)) {
    finishHeldCommand(ctx);  // the end-point correction issues what is left
    return;
  }
  ArcGeometry g = a.g;
  Vec3 toCentre{};
  for (int i = 0; i < g.planeAxes; ++i) {
    g.start[static_cast<std::size_t>(i)] = ctx.pos[i];
    toCentre[static_cast<std::size_t>(i)] = g.centre[static_cast<std::size_t>(i)] - ctx.pos[i];
  }
  for (int i = g.planeAxes; i < kAxes; ++i)
    g.start[static_cast<std::size_t>(i)] = ctx.pos[i];
  const double r = norm(toCentre);
  if (r > 0) g.toCentre = scale(toCentre, 1.0 / r);
  g.tangent = cross(g.toCentre, g.normal);
  g.totalAngle = rest;
  g.length = rest * g.radius;
  a.g = g;
  a.theta = a.segTheta = 0;

  const int P = ctx.params.periodMs;
  auto plan = [&](GroupContext& c) {
    chooseSegmentTimes(c.profile, c.settings.shape);
    return planOnLength(c.profile, g.length, c.params.toGrid(speed), P);
  };
  guardStartSpeed(ctx, plan);
  plan(ctx);
  for (int i = 0; i < kAxes; ++i)
    ctx.segStart[i] = ctx.pos[i];
  ctx.travelled = 0;
  // The plan is made: sequencing starts with the first segment.
  p.state = SegmentState::Accel;
  p.phase = PathPhase::AccStart;
  ctx.ready = false;
}

}  // namespace

HoldOutcome holdStep(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]) {
  if (ctx.readyForNext) return heldNow(ctx, false);
  const uint32_t c = kindOf(ctx);
  if (isPath(c)) return pathHold(ctx, ptpShapes);
  if (c == code::kPtP) return ptpHold(ctx);
  return heldNow(ctx, false);  // a delay stands still anyway
}

void resumeHeld(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]) {
  ctx.hold.begun = false;
  if (ctx.readyForNext) return;  // completed during the hold: the next command follows
  const uint32_t c = kindOf(ctx);
  if (c == code::kArc) {
    if (ctx.profile.state != SegmentState::Plan) resumeArc(ctx);
  } else if (c == code::kLine) {
    guardStartSpeed(ctx, [](GroupContext& t) { return planLine(t) == PlanResult::Ok; });
    ctx.profile.state = SegmentState::Plan;
  } else if (c == code::kJog) {
    guardStartSpeed(ctx, [&](GroupContext& t) { return planJog(t, ptpShapes) == PlanResult::Ok; });
    ctx.profile.state = SegmentState::Plan;
  } else if (c == code::kPtP) {
    ctx.profile.state = SegmentState::Plan;  // every axis is planned again
  }
}

void abortHeld(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]) {
  resumeHeld(ctx, ptpShapes);
  ctx.profile.state = SegmentState::Plan;
  ctx.readyForNext = true;
  ctx.ready = true;
}

}  // namespace vnl::planner
