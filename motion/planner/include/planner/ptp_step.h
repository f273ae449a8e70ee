// The point-to-point step: every axis runs its own speed profile at a
// percentage of its own maximum speed and arrives on its own.
#pragma once

#include "planner/group_context.h"

namespace vnl::planner {

enum class PtpOutcome : int32_t {
  Moved = 0,     // at least one axis moved and some have not arrived
  LastMove = 1,  // the last axis arrived in this step (its rest is issued)
  Finished = 2,  // dropped without movement (speed 0, nothing to move)
};

// One period of axis i of the running move (not yet arrived): moves
// ctx.pos[i]; false when the axis arrives (its position is then its target).
bool ptpAxisStep(GroupContext& ctx, int i, int periodMs);

// One period of the point-to-point move in ctx.cmd; `shapes` are the axes'
// point-to-point acceleration and deceleration types and times. Plans on the
// first call (ctx.profile.state Plan).
PtpOutcome ptpStep(GroupContext& ctx, const ProfileShape (&shapes)[kAxes]);

}  // namespace vnl::planner
