// Look-ahead and blending of path commands.
//
// With blending on, a line, arc or distance jog that reaches the end of its
// cruise looks at the next queued command without taking it. When the two
// can be blended, the rest of the current command and the first segment of
// the next one are replaced by one smooth blend of duration 2 Tb:
//
//   sub-state 10  first blend step: the current command is finished for the
//                 fetch, the next command is planned from the corner by its
//                 own planner (first segment = deceleration time), the blend
//                 is set up and its first step made;
//   sub-state 11  blend steps; the fetch meanwhile takes the next command
//                 (already planned, so it is not planned again);
//   sub-state 12  the blend has reached the end of the next command's first
//                 segment; its step goes on with its cruise, or, without one,
//                 looks ahead again, so chains of short commands blend corner
//                 to corner.
//
// A blend start no longer corrects toward the corner: the path has left the
// current command before its end point. The last command of a chain ends at
// rest on its target and is corrected as usual.
//
// A step generator takes part by three calls, as the line and arc steps do:
// continueBlend() before its sequencing, BlendLookAhead{ctx, queue, kind} as
// the look-ahead of sequenceStep, and blendStep() for a blend result. A
// distance jog does the same with PathKind::Jog and its own planner
// (JogPlanner); only a next distance jog is blended into it.
#pragma once

#include <type_traits>

#include "planner/blend_state.h"
#include "planner/group_context.h"

namespace vnl::planner {

class CommandQueue;

// Decisions of the look-ahead by the command that comes next (no side
// effects). A blend result (BlendLine, BlendArc, BlendJog) or Again (no blend:
// final deceleration).
StepResult lookAheadFromLine(const MotionCommand& next);
// From an arc: another arc, or a line that moves some axis by one machine
// unit or more (whole units of its target minus the arc's target).
StepResult lookAheadFromArc(const MotionCommand& current, const MotionCommand& next);
StepResult lookAheadFromJog(const MotionCommand& next);

// Planner of a distance jog for a blend into it: plans ctx.cmd (its speed
// already scaled by the point-to-point over-speed ratio) from ctx.pos into
// ctx.profile and ctx.line, with start speed profile.Vs, entry mode
// profile.entry, and as first segment the dominant axis's deceleration time
// when profile.phase is LookAheadStart; anything but Ok means the jog does
// not move. A non-owning reference to a function or to a callable that
// outlives the call (the jog planner needs the per-axis point-to-point
// times, which the group record keeps); empty: jogs are not blended.
class JogPlanner {
 public:
  JogPlanner() = default;
  JogPlanner(PlanResult (*fn)(GroupContext&)) : fn_(fn) {}  // NOLINT: implicit by design
  template <class F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, JogPlanner> &&
           std::is_invocable_r_v<PlanResult, F&, GroupContext&>)
      JogPlanner(F& f)  // NOLINT: implicit by design
      : obj_(&f), thunk_([](void* o, GroupContext& c) { return (*static_cast<F*>(o))(c); }) {}

  explicit operator bool() const { return fn_ != nullptr || thunk_ != nullptr; }
  PlanResult operator()(GroupContext& ctx) const { return fn_ ? fn_(ctx) : thunk_(obj_, ctx); }

 private:
  PlanResult (*fn_)(GroupContext&) = nullptr;
  void* obj_ = nullptr;
  PlanResult (*thunk_)(void*, GroupContext&) = nullptr;
};

// Sets up a blend from the current command (ctx.cmd, kind `from`, at the end
// of its cruise) into `next` (kind `into`): sub-state 10. False, with the
// context unchanged, when the next command cannot be blended into (an arc
// that cannot be interpolated from the corner, a blend time of zero).
bool beginBlend(GroupContext& ctx, const MotionCommand& next, PathKind from, PathKind into,
                JogPlanner planJog = {});

// The look-ahead handed to sequenceStep by a step generator: peeks at the
// queue, decides, and on a blend result sets the blend up. Without a queue, or
// with blending off, nothing is blended.
struct BlendLookAhead {
  GroupContext& ctx;
  const CommandQueue* queue;
  PathKind from;
  JogPlanner planJog = {};
  StepResult operator()() const;
};

// Whether a blend is running (sub-states 11 and 12).
bool blendInProgress(const GroupContext& ctx);

// One blend step: t += P, h = t / (2 Tb), the new position on the corner
// polynomial or the Bezier curve, speeds measured. At h = 1 the sub-state
// becomes 12 and the next command's own state is where its first segment ends.
void blendStep(GroupContext& ctx);

enum class BlendProgress : int32_t {
  NotBlending,   // no blend (any more): the step sequences as usual
  Moved,         // one blend step made
  NextFinished,  // the blended command has no length: it finishes at once
};

// Called by the step generators before their sequencing: runs the blend in
// sub-state 11, and in sub-state 12 hands the next command back to its own
// segment sequencing (cruise, or look-ahead again, or the final deceleration).
BlendProgress continueBlend(GroupContext& ctx);

// Fetch: the next command has been taken from the queue (`taken`, null when
// the queue was empty). True when it is the command a running blend goes
// into: ctx.cmd becomes its planned record and it is not planned again.
// Otherwise a pending blend is given up and the command starts as usual.
bool takeBlendedCommand(GroupContext& ctx, const MotionCommand* taken);

}  // namespace vnl::planner
