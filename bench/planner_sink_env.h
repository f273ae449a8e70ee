// The output layer as the planner benchmarks see it: it takes every block at
// once, so a benchmark measures the cycle step alone.
#pragma once

#include "planner/cycle_step.h"

namespace vnl::planner::bench {

struct SinkEnv final : StepEnvironment {
  int32_t out[kAxes] = {};
  void outputPulsePositions(int32_t o[kAxes]) override {
    for (int i = 0; i < kAxes; ++i)
      o[i] = out[i];
  }
  bool outputIdle() override { return false; }
  bool putPulseBlock(const int32_t b[kAxes]) override {
    for (int i = 0; i < kAxes; ++i)
      out[i] += b[i];
    return true;
  }
  void requestOutput() override {}
  void sendDirect(const int32_t n[kAxes]) override {
    for (int i = 0; i < kAxes; ++i)
      out[i] += n[i];
  }
  bool inPosition(int) override { return true; }
  bool pulseQueueEmpty() override { return true; }
};

}  // namespace vnl::planner::bench
