// The distance-jog step: a straight move at a percentage of the maximum speed
// of its slowest axis, planned with that axis's point-to-point times.
#pragma once

#include "planner/group_context.h"
#include "planner/line.h"

namespace vnl::planner {

class CommandQueue;

// Plans the jog in ctx.cmd from ctx.pos with start speed profile.Vs and entry
// mode profile.entry; `shapes` are the axes' point-to-point profile settings.
// Sets ctx.line (direction factors, length) and ctx.jog.
PlanResult planJog(GroupContext& ctx, const ProfileShape (&shapes)[kAxes]);

// One period of the distance jog in ctx.cmd: plans on its first call (from
// rest with the point-to-point over-speed ratio), then moves ctx.pos by one
// step of the profile; the last step lands on the target. With blending on
// and `ahead` given, a following distance jog in that queue is blended into.
StepOutcome jogStep(GroupContext& ctx, const ProfileShape (&shapes)[kAxes],
                    const CommandQueue* ahead = nullptr);

}  // namespace vnl::planner
