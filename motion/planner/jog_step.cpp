#include "planner/jog_step.h"

#include <cmath>

#include "planner/blend_step.h"

namespace vnl::planner {

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
  if (!planOnLength(p, L, ctx.params.toGrid(r * ctx.params.axis[dominant].maxSpeed),
                    ctx.params.periodMs))
    return PlanResult::ZeroSpeed;
  p.state = SegmentState::Plan;
  // A start speed whose first segment alone overshoots the rest leaves no
  // valid cruise speed.
  if (p.V < 0) return PlanResult::ZeroLength;
  return PlanResult::Ok;
}

StepOutcome jogStep(GroupContext& ctx, const ProfileShape (&shapes)[kAxes],
                    const CommandQueue* ahead) {
  PathProfile& p = ctx.profile;
  if (p.state == SegmentState::Plan) {
    for (int i = 0; i < kAxes; ++i)
      ctx.segStart[i] = ctx.pos[i];
    takeStartFromRest(ctx, ctx.settings.ptpOverSpeed);
    if (planJog(ctx, shapes) != PlanResult::Ok) {
      ctx.readyForNext = true;
      ctx.ready = true;
      return StepOutcome::Finished;
    }
    ctx.travelled = 0;
    ctx.ready = false;
  }
  // A jog is blended only into a following jog, planned by the jog planner
  // with the axes' point-to-point settings.
  auto planNext = [&shapes](GroupContext& c) { return planJog(c, shapes); };
  return straightPathStep(ctx, ctx.jog.shape,
                          BlendLookAhead{ctx, ahead, PathKind::Jog, JogPlanner(planNext)}, true,
                          ctx.jog.dominant);
}

}  // namespace vnl::planner
