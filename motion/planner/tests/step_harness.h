// Output-layer stand-in and a small group harness for tests that drive the
// whole cycle step: a PulseQueue of a few blocks that each cycle drains by one
// block into the axes' output pulse positions.
#pragma once

#include <array>
#include <deque>
#include <initializer_list>
#include <memory>
#include <vector>

#include "planner/cycle_step.h"

namespace vnl::planner::testing {

struct FakeEnv final : StepEnvironment {
  int32_t out[kAxes] = {};
  std::deque<std::array<int32_t, kAxes>> queue;
  size_t capacity = 3;
  bool idle = true;
  int outputRequests = 0;
  std::vector<std::array<int32_t, kAxes>> direct;
  std::vector<std::array<int32_t, kAxes>> sent;

  void outputPulsePositions(int32_t o[kAxes]) override {
    for (int i = 0; i < kAxes; ++i)
      o[i] = out[i];
  }
  bool outputIdle() override { return idle; }
  bool putPulseBlock(const int32_t b[kAxes]) override {
    if (queue.size() >= capacity) return false;
    std::array<int32_t, kAxes> a;
    for (int i = 0; i < kAxes; ++i)
      a[i] = b[i];
    queue.push_back(a);
    return true;
  }
  void requestOutput() override { ++outputRequests; }
  void sendDirect(const int32_t n[kAxes]) override {
    std::array<int32_t, kAxes> a;
    for (int i = 0; i < kAxes; ++i) {
      a[i] = n[i];
      out[i] += n[i];
    }
    direct.push_back(a);
  }
  bool inPosition(int) override { return true; }
  bool pulseQueueEmpty() override { return queue.empty(); }
  // One pass of the output layer.
  void output() {
    if (queue.empty()) {
      idle = true;
      return;
    }
    idle = false;
    for (int i = 0; i < kAxes; ++i)
      out[i] += queue.front()[i];
    sent.push_back(queue.front());
    queue.pop_front();
  }
  // Every count that reached the axes, blocks and direct entries.
  std::array<int64_t, kAxes> issued() const {
    std::array<int64_t, kAxes> t{};
    for (const auto& b : sent)
      for (int i = 0; i < kAxes; ++i)
        t[static_cast<size_t>(i)] += b[static_cast<size_t>(i)];
    for (const auto& d : direct)
      for (int i = 0; i < kAxes; ++i)
        t[static_cast<size_t>(i)] += d[static_cast<size_t>(i)];
    return t;
  }
};

// One group with its queue, shared record and output stand-in. P = 1 ms,
// 1000 pulses per unit, axis maximum speed 10 units/s.
struct GroupHarness {
  GroupHarness() {
    queue.attach(storage.get());
    params.periodMs = 1;
    params.sysMaxSpeed = 100;
    for (auto& a : params.axis) {
      a.pulsesPerUnit = 1000;
      a.maxSpeed = 10;
    }
    resetGroup(g, params, shared);
  }
  void reset() { resetGroup(g, params, shared); }

  MotionCommand command(uint32_t c, double speed, std::initializer_list<double> target) {
    MotionCommand m{};
    m.code = c;
    m.speed = speed;
    m.index = nextIndex++;
    m.coordMode = kCoordAbsolute;
    int i = 0;
    for (double t : target)
      m.target[i++] = t;
    for (; i < kAxes; ++i)
      m.target[i] = last[i];
    for (i = 0; i < kAxes; ++i)
      last[i] = m.target[i];
    return m;
  }
  void put(const MotionCommand& m) {
    queue.put(m);
    if (shared.drained.load() == kRaised || shared.state.load() == 1)
      shared.startFlag.store(kRaised);
  }
  void line(std::initializer_list<double> target, double feed) {
    put(command(code::kLine, feed, target));
  }
  void ptp(std::initializer_list<double> target, double percent) {
    put(command(code::kPtP, percent, target));
  }
  void jog(std::initializer_list<double> target, double percent) {
    put(command(code::kJog, percent, target));
  }

  // One cycle: step, then one output pass, as the cycle routine does.
  void cycle() {
    cycleStep(g, shared, queue, env);
    env.output();
  }
  GroupMotionState state() const { return static_cast<GroupMotionState>(shared.state.load()); }
  bool idleAndDrained() const {
    return shared.state.load() == 1 && shared.drained.load() == kRaised && env.queue.empty();
  }
  int runUntilIdle(int limit = 1000000) {
    int n = 0;
    do {
      cycle();
      ++n;
    } while (n < limit && !idleAndDrained());
    return n;
  }
  // Cycles until the group is Held; returns the number of cycles.
  int runUntilHeld(int limit = 100000) {
    int n = 0;
    while (n < limit && state() != GroupMotionState::Held) {
      cycle();
      ++n;
    }
    return n;
  }
  void hold() { shared.holdRequest.store(kRaised); }
  void resume() { shared.continueRequest.store(kRaised); }
  void abortHeld() { shared.abortHeldRequest.store(kRaised); }

  std::unique_ptr<MotionCommand[]> storage = CommandQueue::reserveStorage(1);
  CommandQueue queue;
  GroupParams params;
  GroupShared shared;
  GroupRecord g;
  FakeEnv env;
  uint32_t nextIndex = 0;
  double last[kAxes] = {};
};

}  // namespace vnl::planner::testing
