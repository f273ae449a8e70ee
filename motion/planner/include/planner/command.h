// Queued motion commands and the record published for the command in execution.
//
// A MotionCommand is built by the interface functions on the caller's thread,
// copied into the group's CommandQueue and copied out again by the cycle step.
// Its layout is fixed (it is the record the card-side tools and the command
// list dump), so every field has a fixed width and the layout is checked below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vnl::planner {

inline constexpr int kAxes = 6;                 // slots X, Y, Z, U, V, W
inline constexpr int kGroups = 72;              // groups of the whole system
inline constexpr uint32_t kQueueSlots = 30000;  // commands per group ring

// Command codes (low 16 bits of MotionCommand::code).
namespace code {
inline constexpr uint32_t kJog = 0x8001;       // single-axis distance jog
inline constexpr uint32_t kPtP = 0x8002;       // point-to-point move
inline constexpr uint32_t kLine = 0x8101;      // straight line
inline constexpr uint32_t kArc = 0x8202;       // arc or circle
inline constexpr uint32_t kDelay = 0x8300;     // timed delay
inline constexpr uint32_t kBlendOn = 0x8F04;   // blending on
inline constexpr uint32_t kBlendOff = 0x8F05;  // blending off, in-position wait off
inline constexpr uint32_t kInPosOn = 0x8F06;   // in-position wait on
// Control codes produced by the fetch, never queued.
inline constexpr uint32_t kReset = 0x7001;
inline constexpr uint32_t kResume = 0x7002;
inline constexpr uint32_t kHoldStep = 0x7003;
inline constexpr uint32_t kAbortHeld = 0x7004;
inline constexpr uint32_t kNothing = 255;
}  // namespace code

inline constexpr uint32_t kCoordAbsolute = 0x8600;

// Plane codes of an arc command.
namespace plane {
inline constexpr uint32_t kXY = 0x8400;
inline constexpr uint32_t kZX = 0x8401;
inline constexpr uint32_t kYZ = 0x8402;
inline constexpr uint32_t kSpace = 0x8403;
}  // namespace plane

// One queued command. All six targets are absolute machine coordinates.
// Deliberately trivial (no member initialisers): the queue storage of all
// groups is reserved without touching its pages.
struct MotionCommand {
  uint32_t code;       // command code, 16 significant bits
  uint32_t reserved;   // zero
  double speed;        // feed (units/s), percent, or delay periods by kind
  uint32_t index;      // command index 0..29999, 16 significant bits
  uint32_t coordMode;  // kCoordAbsolute
  double target[kAxes];
  // Arc words; zero for every other kind.
  double centre[3];
  double reference[3];
  int32_t direction;  // 1 counter-clockwise, 0 clockwise
  uint32_t plane;     // plane code
};

static_assert(std::is_trivial_v<MotionCommand>);
static_assert(std::is_standard_layout_v<MotionCommand>);
static_assert(offsetof(MotionCommand, code) == 0);
static_assert(offsetof(MotionCommand, reserved) == 4);
static_assert(offsetof(MotionCommand, speed) == 8);
static_assert(offsetof(MotionCommand, index) == 16);
static_assert(offsetof(MotionCommand, coordMode) == 20);
static_assert(offsetof(MotionCommand, target) == 24);
static_assert(offsetof(MotionCommand, centre) == 72);
static_assert(offsetof(MotionCommand, reference) == 96);
static_assert(offsetof(MotionCommand, direction) == 120);
static_assert(offsetof(MotionCommand, plane) == 124);
static_assert(sizeof(MotionCommand) == 128);

// Kind published in CurrentCommandInfo.
namespace kind {
inline constexpr int32_t kNone = -1;
inline constexpr int32_t kPointToPoint = 0;
inline constexpr int32_t kLine = 1;
inline constexpr int32_t kArcCw = 2;
inline constexpr int32_t kArcCcw = 3;
}  // namespace kind

// The command in execution, as VNL_GetCurCommand copies it out.
struct CurrentCommandInfo {
  int32_t kind;   // see namespace kind
  int32_t index;  // the command's index (lower 16 bits)
  double speed;   // the command's speed field as queued
  double target[kAxes];
};

static_assert(std::is_trivially_copyable_v<CurrentCommandInfo>);
static_assert(offsetof(CurrentCommandInfo, kind) == 0);
static_assert(offsetof(CurrentCommandInfo, index) == 4);
static_assert(offsetof(CurrentCommandInfo, speed) == 8);
static_assert(offsetof(CurrentCommandInfo, target) == 16);
static_assert(sizeof(CurrentCommandInfo) == 64);

// Kind of a command for CurrentCommandInfo; codes without a kind of their
// own (delay, switches) keep the previous kind.
constexpr int32_t commandKind(const MotionCommand& c, int32_t previous) {
  switch (c.code & 0xFFFFu) {
    case code::kJog:
    case code::kPtP:
      return kind::kPointToPoint;
    case code::kLine:
      return kind::kLine;
    case code::kArc:
      return c.direction != 0 ? kind::kArcCcw : kind::kArcCw;
    default:
      return previous;
  }
}

inline CurrentCommandInfo makeCurrentCommandInfo(const MotionCommand& c, int32_t previousKind) {
  CurrentCommandInfo info{};
  info.kind = commandKind(c, previousKind);
  info.index = static_cast<int32_t>(c.index & 0xFFFFu);
  info.speed = c.speed;
  for (int i = 0; i < kAxes; ++i)
    info.target[i] = c.target[i];
  return info;
}

}  // namespace vnl::planner
