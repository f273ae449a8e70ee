// Hold, continue and abort while held: the group's running command brought to
// rest on its path, planned again from there, or dropped.
//
// A hold chooses its deceleration once, from the segment it arrives in:
// during an acceleration the path decelerates from the speed reached over the
// command's deceleration time; during the cruise it runs the planned final
// deceleration from where it is; during an initial deceleration (a change to
// a lower speed) it decelerates from the current speed over the rest of that
// segment; during the final deceleration the command simply runs on to its
// end, and so is complete when the hold ends. A point-to-point move chooses
// for every axis on its own.
#pragma once

#include "planner/group_context.h"

namespace vnl::planner {

struct HoldOutcome {
  bool moved = false;  // ctx.pos moved in this step (pulses to issue)
  bool held = false;   // at rest: the group is Held
};

// One hold-deceleration step of the command in ctx.cmd. `ptpShapes` are the
// axes' point-to-point profile settings (used by point-to-point moves and
// distance jogs). With nothing in motion (between commands, a delay, a
// command not yet planned) the group is held at once.
HoldOutcome holdStep(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]);

// Continue: the held command is planned again from the current position to
// its queued target, starting at the measured speed of the last step, without
// applying the over-speed ratio a second time. A command that completed
// during the hold is left finished, so that the next one is fetched.
void resumeHeld(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]);

// Abort while held: as resumeHeld, then the command is dropped.
void abortHeld(GroupContext& ctx, const ProfileShape (&ptpShapes)[kAxes]);

}  // namespace vnl::planner
