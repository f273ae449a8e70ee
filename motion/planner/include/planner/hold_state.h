// Working state of a hold deceleration and of the running distance jog.
//
// Data only: the step functions live in hold_step.h and jog_step.h. Both
// records are part of the group context and so are loaded and stored with it.
#pragma once

#include <cstdint>

#include "planner/command.h"
#include "planner/profile.h"

namespace vnl::planner {

// How one profile (the path, or one point-to-point axis) comes to rest.
enum class HoldMode : int32_t {
  Stop,      // its own deceleration to 0 from where the hold arrived
  Continue,  // the planned final deceleration runs on: the command completes
  Done,      // at rest (arrived, or the deceleration has ended)
};

// A deceleration to speed 0 over S in T ms, from `start` (an axis position,
// or the swept angle of an arc).
struct HoldSegment {
  HoldMode mode = HoldMode::Done;
  ProfileType type = ProfileType::SCurve;
  double S = 0;
  int T = 0;
  double elapsed = 0;
  double start = 0;
};

struct HoldState {
  bool begun = false;                           // the deceleration has been chosen
  SegmentState arrivedIn = SegmentState::Plan;  // segment in which the hold arrived
  bool completes = false;                       // the command ends during the hold
  HoldSegment path;                             // lines, arcs, distance jogs
  double pathStart[kAxes] = {};                 // position at which the path hold began
  HoldSegment axis[kAxes];                      // point-to-point moves
};

// The running distance jog: its dominant axis and that axis's profile shape.
struct JogState {
  int dominant = 0;
  ProfileShape shape;
};

}  // namespace vnl::planner
