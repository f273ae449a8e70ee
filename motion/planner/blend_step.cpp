#include "planner/blend_step.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "planner/arc_step.h"
#include "planner/command_queue.h"
#include "planner/line.h"

namespace vnl::planner {

namespace {

bool isBlend(StepResult r) {
  return r == StepResult::BlendJog || r == StepResult::BlendLine || r == StepResult::BlendArc;
}

PathKind kindOf(const MotionCommand& c) {
  switch (c.code & 0xFFFFu) {
    case code::kArc:
      return PathKind::Arc;
    case code::kJog:
      return PathKind::Jog;
    default:
      return PathKind::Line;
  }
}

// Everything the planning of the next command overwrites, kept so that a
// next command that cannot be blended into leaves the current one untouched.
struct Saved {
  PathProfile profile;
  LineGeometry line;
  ArcState arc;
  MotionCommand cmd, planned, previous;
  double unscaledSpeed, previousV, travelled;

  explicit Saved(const GroupContext& c)
      : profile(c.profile),
        line(c.line),
        arc(c.arc),
        cmd(c.cmd),
        planned(c.planned),
        previous(c.previous),
        unscaledSpeed(c.unscaledSpeed),
        previousV(c.previousV),
        travelled(c.travelled) {}
  void restore(GroupContext& c) const {
    c.profile = profile;
    c.line = line;
    c.arc = arc;
    c.cmd = cmd;
    c.planned = planned;
    c.previous = previous;
    c.unscaledSpeed = unscaledSpeed;
    c.previousV = previousV;
    c.travelled = travelled;
  }
};

int planeAxes(const GroupParams& p) {
  return std::clamp(p.axisCount, 1, 3);
}

// Plans the next arc from ctx.pos (the corner): valid on its circle and
// with a consistent chord, else false.
bool planNextArc(GroupContext& ctx) {
  ArcState& a = ctx.arc;
  a.theta = a.segTheta = 0;
  a.tolerance = arcTolerance(ctx.params.axis[0].pulsesPerUnit, ctx.params.axis[1].pulsesPerUnit,
                             ctx.params.axis[2].pulsesPerUnit);
  const Vec3 s{ctx.pos[0], ctx.pos[1], ctx.pos[2]};
  const Vec3 e{ctx.cmd.target[0], ctx.cmd.target[1], ctx.cmd.target[2]};
  const Vec3 c{ctx.cmd.centre[0], ctx.cmd.centre[1], ctx.cmd.centre[2]};
  if (!arcIsValid(s, e, c, planeAxes(ctx.params), a.tolerance)) return false;
  PlanResult r = PlanResult::Ok;
  return planArcCommand(ctx, &r) && r == PlanResult::Ok;
}

}  // namespace

StepResult lookAheadFromLine(const MotionCommand& next) {
  switch (next.code & 0xFFFFu) {
    case code::kLine:
      return StepResult::BlendLine;
    case code::kArc:
      return StepResult::BlendArc;
    default:
      return StepResult::Again;
  }
}

StepResult lookAheadFromArc(const MotionCommand& current, const MotionCommand& next) {
  switch (next.code & 0xFFFFu) {
    case code::kArc:
      return StepResult::BlendArc;
    case code::kLine:
      for (int i = 0; i < kAxes; ++i)
        if (std::trunc(next.target[i] - current.target[i]) != 0.0) return StepResult::BlendArc;
      return StepResult::Again;
    default:
      return StepResult::Again;
  }
}

StepResult lookAheadFromJog(const MotionCommand& next) {
  return (next.code & 0xFFFFu) == code::kJog ? StepResult::BlendJog : StepResult::Again;
}

bool beginBlend(GroupContext& ctx, const MotionCommand& next, PathKind from, PathKind into,
                JogPlanner planJog) {
  PathProfile& p = ctx.profile;
  const int P = ctx.params.periodMs;
  if (P <= 0 || (into == PathKind::Jog && !planJog)) return false;

  // What the current command leaves: the blend start, its corner (its end
  // point, where the next command starts), the rest of it, and for an arc its
  // direction of travel at the blend start.
  Axes6 q0{}, corner{};
  for (int i = 0; i < kAxes; ++i) {
    q0[static_cast<std::size_t>(i)] = ctx.pos[i];
    corner[static_cast<std::size_t>(i)] = ctx.cmd.target[i];
  }
  const double rest = p.S3;
  Vec3 tangent{};
  double arcLength = 0;
  std::array<double, 3> arcUvw{};
  if (from == PathKind::Arc) {
    tangent = arcTangent(ctx.arc.g, ctx.arc.theta);
    arcLength = ctx.arc.g.length;
    for (std::size_t k = 0; k < 3; ++k)
      arcUvw[k] = ctx.cmd.target[3 + k] - ctx.arc.g.start[3 + k];
  }
  const Saved saved(ctx);

  // The next command, planned by its own planner from the corner as if it
  // started from rest, with the deceleration time as its first segment.
  ctx.previousV = p.V;
  ctx.cmd = next;
  ctx.unscaledSpeed = next.speed;
  const int ratio = into == PathKind::Jog ? ctx.settings.ptpOverSpeed : ctx.settings.overSpeed;
  ctx.cmd.speed = next.speed * ratio / 100.0;
  p.Vs = 0;
  p.entry = EntryMode::Accelerate;
  p.phase = PathPhase::LookAheadStart;
  double here[kAxes];
  for (int i = 0; i < kAxes; ++i) {
    here[i] = ctx.pos[i];
    ctx.pos[i] = corner[static_cast<std::size_t>(i)];
  }
  bool empty = false;
  bool ok = true;
  switch (into) {
    case PathKind::Line:
      empty = planLine(ctx) != PlanResult::Ok;
      break;
    case PathKind::Jog:
      empty = planJog(ctx) != PlanResult::Ok;
      break;
    case PathKind::Arc:
      ok = planNextArc(ctx);
      break;
  }
  for (int i = 0; i < kAxes; ++i)
    ctx.pos[i] = here[i];
  const int halfTime = ((p.T1 + P - 1) / P / 2) * P;
  if (!ok || halfTime <= 0 || (!empty && !(p.T > 0))) {
    saved.restore(ctx);
    return false;
  }
  if (empty) {
    // Nothing to run after the corner: the blend stops on it.
    p.V = 0;
    p.T = p.T2 = 0;
    p.S1 = p.S2 = p.S3 = 0;
    p.L = 0;
    p.hasCruise = false;
  }

  BlendState& bl = ctx.blend;
  bl.into = into;
  bl.nextEmpty = empty;
  bl.halfTime = halfTime;
  bl.elapsed = 0;
  bl.nextTime = empty ? 0.0 : p.T;
  bl.queued = next;
  bl.planned = ctx.cmd;
  bl.endTravelled = p.S1;
  bl.endAngle = 0;
  for (int i = 0; i < kAxes; ++i) {
    const auto k = static_cast<std::size_t>(i);
    bl.start[i] = q0[k];
    bl.corner[i] = corner[k];
    bl.a[i] = q0[k] - corner[k];
    bl.b[i] = empty ? 0.0 : next.target[i] - corner[k];
  }
  if (from != PathKind::Arc && into != PathKind::Arc) {
    bl.shape = BlendShape::Corner;
  } else {
    bl.shape = BlendShape::Bezier;
    // Q3 where the next command's first segment ends: the fraction
    // f = (T1 / 2) / T of its planned length.
    const double f = empty ? 0.0 : (p.T1 * 0.5) / p.T;
    Axes6 q3{}, q2{};
    if (into == PathKind::Arc) {
      std::array<double, 3> uvw{};
      for (std::size_t k = 0; k < 3; ++k)
        uvw[k] = next.target[3 + k] - corner[3 + k];
      nextArcEnds(ctx.arc.g, uvw, f, &q3, &q2);
      bl.endAngle = f * ctx.arc.g.totalAngle;
    } else {
      Axes6 d{};
      for (int i = 0; i < kAxes; ++i)
        d[static_cast<std::size_t>(i)] = bl.b[i];
      nextLineEnds(corner, d, f, &q3, &q2);
    }
    const Axes6 ahead = from == PathKind::Arc ? aheadOnArc(q0, tangent, rest, arcLength, arcUvw)
                                              : aheadOnLine(corner);
    bl.curve = makeBezierBlend(q0, ahead, q2, q3);
  }

  // The current command is finished for the fetch; its end point is not
  // corrected to, because the path leaves it before reaching it.
  bl.awaitingFetch = true;
  ctx.readyForNext = true;
  ctx.startFromRest = false;
  for (double& t : ctx.prevTarget)
    t = kNoTarget;
  p.state = SegmentState::LookAhead;
  p.phase = PathPhase::LookAhead;
  return true;
}

StepResult BlendLookAhead::operator()() const {
  if (queue == nullptr || !ctx.blending) return StepResult::Again;
  MotionCommand next;
  if (!queue->peek(next)) return StepResult::Again;
  StepResult r = StepResult::Again;
  switch (from) {
    case PathKind::Line:
      r = lookAheadFromLine(next);
      break;
    case PathKind::Arc:
      r = lookAheadFromArc(ctx.cmd, next);
      break;
    case PathKind::Jog:
      r = lookAheadFromJog(next);
      break;
  }
  if (!isBlend(r)) return StepResult::Again;
  return beginBlend(ctx, next, from, kindOf(next), planJog) ? r : StepResult::Again;
}

bool blendInProgress(const GroupContext& ctx) {
  return ctx.profile.state == SegmentState::LookAhead &&
         (ctx.profile.phase == PathPhase::LookAhead ||
          ctx.profile.phase == PathPhase::LookAheadDone);
}

void blendStep(GroupContext& ctx) {
  BlendState& bl = ctx.blend;
  PathProfile& p = ctx.profile;
  bl.elapsed += ctx.params.periodMs;
  const double span = 2.0 * bl.halfTime;
  const double h = bl.elapsed >= span ? 1.0 : bl.elapsed / span;
  p.h = h;
  for (int i = 0; i < kAxes; ++i)
    ctx.prevPos[i] = ctx.pos[i];
  if (bl.shape == BlendShape::Corner && h >= 1.0) {
    // The end itself, free of the rounding of start - a: the corner plus
    // Tb / T of the next displacement (the corner exactly when the next
    // command has no length).
    const double share = bl.nextTime > 0 ? bl.halfTime / bl.nextTime : 0.0;
    for (int i = 0; i < kAxes; ++i)
      ctx.pos[i] = bl.corner[i] + share * bl.b[i];
  } else if (bl.shape == BlendShape::Corner) {
    for (int i = 0; i < kAxes; ++i)
      ctx.pos[i] = bl.start[i] + cornerBlendOffset(bl.a[i], bl.b[i], bl.halfTime, bl.nextTime, h);
  } else {
    const Axes6 q = bl.curve.at(h);
    for (int i = 0; i < kAxes; ++i)
      ctx.pos[i] = q[static_cast<std::size_t>(i)];
  }
  if (bl.shape == BlendShape::Corner)
    measureSpeeds(ctx, ctx.line.uvwOnly, ctx.line.dominant);
  else
    measureSpeeds(ctx, false, ctx.line.dominant);
  if (h >= 1.0) {
    p.phase = PathPhase::LookAheadDone;
    ctx.travelled = bl.endTravelled;
    if (bl.into == PathKind::Arc) ctx.arc.theta = ctx.arc.segTheta = bl.endAngle;
  }
}

BlendProgress continueBlend(GroupContext& ctx) {
  PathProfile& p = ctx.profile;
  if (p.state != SegmentState::LookAhead) return BlendProgress::NotBlending;
  if (p.phase == PathPhase::LookAhead) {
    blendStep(ctx);
    return BlendProgress::Moved;
  }
  if (p.phase != PathPhase::LookAheadDone) return BlendProgress::NotBlending;
  if (ctx.blend.nextEmpty) {
    p.state = SegmentState::Plan;
    p.phase = PathPhase::AccStart;
    return BlendProgress::NextFinished;
  }
  // The next command stands where its first segment ends: on to its cruise,
  // or straight to the end of the cruise.
  if (p.hasCruise) {
    p.state = SegmentState::Cruise;
    p.phase = PathPhase::CruiseStart;
  } else if (ctx.blending) {
    p.phase = PathPhase::CruiseDone;
  } else {
    p.state = SegmentState::FinalDecel;
    p.phase = PathPhase::DecStart;
  }
  return BlendProgress::NotBlending;
}

bool takeBlendedCommand(GroupContext& ctx, const MotionCommand* taken) {
  BlendState& bl = ctx.blend;
  if (!bl.awaitingFetch) return false;
  bl.awaitingFetch = false;
  // The record must be the one the blend planned: a clear of the queue in
  // between (and new commands) leaves the blend without its next command.
  if (taken != nullptr && blendInProgress(ctx) &&
      std::memcmp(taken, &bl.queued, sizeof(MotionCommand)) == 0) {
    ctx.startFromRest = false;
    return true;
  }
  return false;
}

}  // namespace vnl::planner
