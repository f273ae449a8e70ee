// State of a blend in progress: the stretch of path that replaces the end of
// one command and the start of the next (look-ahead sub-states 10 to 12).
//
// It lives in the group context from the first blend step until the next
// command has been taken by the fetch and the blend has reached the end of
// that command's first segment.
#pragma once

#include <cstdint>

#include "planner/blend_geometry.h"
#include "planner/command.h"

namespace vnl::planner {

// How the blend moves: the corner polynomial between two lines (or two
// distance jogs), or a cubic Bezier curve when an arc takes part.
enum class BlendShape : uint8_t { Corner, Bezier };

// Kind of a path command taking part in a blend.
enum class PathKind : uint8_t { Line, Arc, Jog };

struct BlendState {
  BlendShape shape = BlendShape::Corner;
  PathKind into = PathKind::Line;  // the command blended into, whose step continues
  // The current command has been finished for the fetch; the fetch has not
  // taken the next command yet.
  bool awaitingFetch = false;
  // The next command has no length (or no speed): the blend stops on the
  // corner and the next command finishes as soon as the blend is over.
  bool nextEmpty = false;
  int halfTime = 0;           // Tb, ms
  double elapsed = 0;         // t, ms into the blend
  double nextTime = 0;        // T of the next command's plan, ms
  double start[kAxes] = {};   // blend start (the position at sub-state 10)
  double corner[kAxes] = {};  // end point of the command blended out of
  double a[kAxes] = {};       // blend start - corner
  double b[kAxes] = {};       // next command's displacement
  BezierBlend curve;
  double endAngle = 0;      // for a next arc: its swept angle at the blend's end
  double endTravelled = 0;  // distance along the next command at the blend's end
  MotionCommand queued{};   // the next command as it stood in the queue
  MotionCommand planned{};  // the same with its speed scaled for planning
};

}  // namespace vnl::planner
