// The arc step: arcs, circles and helices, one period per call.
#pragma once

#include "planner/group_context.h"

namespace vnl::planner {

class CommandQueue;

enum class ArcOutcome : int32_t {
  Moved = 0,     // one profile step along the arc
  LastMove = 1,  // finishing step: the position lands exactly on the targets
  Finished = 2,  // ended without movement (speed 0)
  Invalid = 3,   // not on its circle or an inconsistent chord: error 0x90
};

// Plans the arc in ctx.cmd from ctx.pos; false for an inconsistent chord.
// Sets PlanResult through `result` (ZeroSpeed when the speed is not above 0).
bool planArcCommand(GroupContext& ctx, PlanResult* result);

// One period of the arc in ctx.cmd: validates and plans on its first call,
// then moves ctx.pos by one step of the profile along the arc. With blending
// on, `ahead` is the group's queue, looked at at the end of the cruise.
ArcOutcome arcStep(GroupContext& ctx, const CommandQueue* ahead = nullptr);

}  // namespace vnl::planner
