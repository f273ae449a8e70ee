// The output layer's mode machine: which command wins when several are
// raised in one cycle, and the steps a machine builder relies on (a hold
// and a stop are acknowledged, a stop while homing decelerates the homing
// run, a command a mode cannot take is an error and changes nothing).
#include "motion/core/mode_machine.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace {

using namespace vnl;

int resolve(std::initializer_list<int> commands, bool* conflict = nullptr) {
  bool raised[kCmdCount]{};
  for (int c : commands)
    raised[c] = true;
  bool clash = false;
  const int cmd = resolveModeCommands(raised, clash);
  if (conflict) *conflict = clash;
  return cmd;
}

TEST(ModeMachine, OneCommandWinsACycle) {
  bool conflict = true;
  EXPECT_EQ(resolve({}, &conflict), -1);
  EXPECT_FALSE(conflict);
  EXPECT_EQ(resolve({kOutputDone, kStartOutput}, &conflict), kStartOutput) << "a start after done";
  EXPECT_FALSE(conflict);
  EXPECT_EQ(resolve({kStartOutput, kHold, kStop}, &conflict), kStop) << "a stop above all";
  EXPECT_TRUE(conflict) << "two starts in one cycle";
  EXPECT_EQ(resolve({kHomingDone, kOutputDone}), kHomingDone);
}

TEST(ModeMachine, StepsOfARunAHoldAndAStop) {
  struct Case {
    uint8_t mode;
    int cmd;
    ModeStep step;
  };
  for (const Case& c : {
           Case{kIdle, kStartOutput, {kRunning, ModeAction::None, false}},
           Case{kRunning, kOutputDone, {kIdle, ModeAction::None, false}},
           Case{kRunning, kHold, {kHolding, ModeAction::None, true}},
           Case{kHeld, kResume, {kRunning, ModeAction::None, false}},
           Case{kHeld, kStop, {kStopping, ModeAction::None, true}},
           Case{kIdle, kStop, {kIdle, ModeAction::RestartOutput, false}},
           Case{kIdle, kStartHoming, {kHoming, ModeAction::None, false}},
           Case{kHoming, kStop, {kStopping, ModeAction::PrepareHomingStop, true}},
           Case{kHoming, kHomingDone, {kIdle, ModeAction::ClearEncoders, false}},
           Case{kRunning, kStartOutput, {kRunning, ModeAction::None, false}},
       }) {
    const ModeStep s = modeStep(c.mode, c.cmd);
    EXPECT_EQ(s.next, c.step.next) << "mode " << int(c.mode) << " command " << c.cmd;
    EXPECT_EQ(s.action, c.step.action) << "mode " << int(c.mode) << " command " << c.cmd;
    EXPECT_EQ(s.accept, c.step.accept) << "mode " << int(c.mode) << " command " << c.cmd;
  }
}

TEST(ModeMachine, ACommandTheModeCannotTakeChangesNothing) {
  for (const auto& [mode, cmd] : {std::pair<uint8_t, int>{kIdle, kHold},
                                  {kIdle, kResume},
                                  {kHeld, kStartOutput},
                                  {kHolding, kStop},
                                  {kStopping, kStartOutput},
                                  {kHoming, kStartOutput},
                                  {kRunning, kHomingDone}}) {
    const ModeStep s = modeStep(mode, cmd);
    EXPECT_EQ(s.action, ModeAction::BadCommand) << "mode " << int(mode) << " command " << cmd;
    EXPECT_EQ(s.next, mode);
  }
}

}  // namespace
