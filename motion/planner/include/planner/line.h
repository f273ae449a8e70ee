// Straight lines and the pulse arithmetic shared by every step generator.
#pragma once

#include <cstdint>

#include "planner/blend_step.h"
#include "planner/group_context.h"

namespace vnl::planner {

class CommandQueue;

// Geometry of a line from start to target (direction factors, length, path
// kind, dominant U-V-W axis). The dominant axis is kept in g when no U-V-W
// axis moves.
PlanResult lineGeometry(const GroupParams& params, const double start[kAxes],
                        const double target[kAxes], LineGeometry& g);

// Plans a line from ctx.pos to ctx.cmd.target with start speed profile.Vs and
// entry mode profile.entry, at ctx.cmd.speed.
PlanResult planLine(GroupContext& ctx);

enum class StepOutcome : int32_t { Moved = 0, Finished = -1 };

// From rest: start speed 0, accelerating entry, and the queued speed scaled
// by the over-speed ratio (kept unscaled for a later ratio change).
void takeStartFromRest(GroupContext& ctx, int overSpeedPercent);

// The command is done: ready for the next, its plan the previous one.
void finishCommand(GroupContext& ctx, double cruiseSpeed);

// One period along a straight path already planned into ctx.profile and
// ctx.line (a line or a distance jog): a running blend, the segment
// sequencing with `lookAhead` at the end of the cruise, the step along the
// direction factors, the exact end point. Speeds are measured along all
// axes, or along `dominant` alone for a path of U, V, W (uvwOnly).
StepOutcome straightPathStep(GroupContext& ctx, const ProfileShape& shape,
                             const BlendLookAhead& lookAhead, bool uvwOnly, int dominant);

// One period of the line in ctx.cmd: plans on its first call, then moves
// ctx.pos by one step of the profile. With blending on, `ahead` is the group's
// queue, looked at (not taken from) at the end of the cruise.
StepOutcome lineStep(GroupContext& ctx, const CommandQueue* ahead = nullptr);

// Over-speed change while a path command runs (ratio in percent, >= 1).
void changePathOverSpeed(GroupContext& ctx, int ratio);

// Speeds of the step from ctx.prevPos to ctx.pos.
void measureSpeeds(GroupContext& ctx, bool uvwOnly, int dominant);

// x = new - previous + remainder; n = x truncated toward zero; the remainder
// keeps x - n. The commanded pulse counter grows by n. Counts beyond the
// 32-bit range saturate.
void computePulses(const double newPulses[kAxes], const double prevPulses[kAxes],
                   double remainder[kAxes], int32_t cmdPulse[kAxes], int32_t out[kAxes]);

// End-point correction: whole pulses still missing between the target (in
// pulses) and what the output layer has handed out. n = d truncated toward
// zero with a tolerance of 1e-10 pulse; the remainder becomes d - n.
// Returns whether any count is non-zero.
bool endPointCorrection(const double targetPulses[kAxes], const int32_t outputPulsePos[kAxes],
                        double remainder[kAxes], int32_t out[kAxes]);

// Truncation toward zero into the 32-bit range.
int32_t truncatePulses(double x);

}  // namespace vnl::planner
