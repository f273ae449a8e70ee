#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock/handoff.h"
#include "platform/clock/virtual_clock.h"

using namespace std::chrono_literals;
using platform::Handoff;
using platform::Nanos;
using platform::VirtualClock;

namespace {

// A serving thread that takes every unit of work handed to it, optionally
// doing something (like sleeping) while serving.
class Server {
 public:
  explicit Server(Handoff& h, std::function<void(int)> serve = {})
      : handoff_(h), serve_(std::move(serve)), thread_([this] { run(); }) {}
  ~Server() {
    handoff_.close();
    thread_.join();
  }
  int count() const { return count_.load(); }

 private:
  void run() {
    while (handoff_.take()) {
      const int n = ++count_;
      if (serve_) serve_(n);
      handoff_.done();
    }
  }
  Handoff& handoff_;
  std::function<void(int)> serve_;
  std::atomic<int> count_{0};
  std::thread thread_;
};

// Waits (on the wall clock) until the server has started waiting, so that the
// handoff knows its server thread.
void waitForServer(Handoff& h) {
  h.post();  // the first unit is not held: no server is known yet
  while (h.served() < 1)
    std::this_thread::yield();
}

}  // namespace

TEST(VirtualClock, StandsStillUntilSomeoneSleeps) {
  VirtualClock clock;
  EXPECT_EQ(clock.now(), 0ns);
  std::this_thread::sleep_for(2ms);
  EXPECT_EQ(clock.now(), 0ns);
  clock.sleepFor(3ms);
  EXPECT_EQ(clock.now(), 3ms);
  clock.sleepFor(-1ms);
  EXPECT_EQ(clock.now(), 3ms);
}

TEST(VirtualClock, TenMillisecondSleepServesExactlyTenEvents) {
  VirtualClock clock;
  Handoff handoff(clock);
  Server server(handoff);
  waitForServer(handoff);

  std::vector<Nanos> firedAt;
  std::vector<int> servedBefore;  // how many were served when each event fired
  clock.addPeriodic(1ms, [&] {
    firedAt.push_back(clock.now());
    servedBefore.push_back(server.count());
    handoff.post();
  });
  clock.sleepFor(10ms);

  ASSERT_EQ(firedAt.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(firedAt[i], Nanos{(i + 1) * 1'000'000});
    EXPECT_EQ(servedBefore[i], i + 1) << "event " << i << " fired before the previous was served";
  }
  EXPECT_EQ(server.count(), 11);  // every event acknowledged before the sleep returned
  EXPECT_EQ(clock.now(), 10ms);
}

TEST(VirtualClock, TwoSleepingThreadsShareOneClock) {
  VirtualClock clock;
  std::atomic<int> ticks{0};
  clock.addPeriodic(1ms, [&] { ++ticks; });

  std::atomic<bool> backwards{false}, early{false};
  auto sleeper = [&](int count, Nanos step) {
    Nanos last = clock.now();
    for (int i = 0; i < count; ++i) {
      const Nanos target = clock.now() + step;
      clock.sleepFor(step);
      const Nanos t = clock.now();
      if (t < last) backwards = true;
      if (t < target) early = true;
      last = t;
    }
  };
  std::thread a(sleeper, 100, 1ms);
  std::thread b(sleeper, 40, 2ms);
  a.join();
  b.join();

  EXPECT_FALSE(backwards);
  EXPECT_FALSE(early);
  EXPECT_GE(clock.now(), 100ms);
  EXPECT_EQ(ticks.load(), clock.now() / 1ms);  // each due time fired once
}

TEST(VirtualClock, SleepOnTheServingThreadMakesProgress) {
  VirtualClock clock;
  Handoff handoff(clock);
  std::vector<Nanos> serverSaw;
  // The third unit sleeps 5 ms while being served, as an interrupt routine
  // that waits for an axis to stand still does.
  Server server(handoff, [&](int n) {
    if (n == 3) {
      const Nanos before = clock.now();
      clock.sleepFor(5ms);
      serverSaw.push_back(clock.now() - before);
    }
  });
  waitForServer(handoff);

  std::atomic<int> events{0};
  clock.addPeriodic(1ms, [&] {
    ++events;
    handoff.post();
  });
  clock.sleepFor(20ms);

  ASSERT_EQ(serverSaw.size(), 1u);
  EXPECT_GE(serverSaw[0], 5ms);
  EXPECT_EQ(events.load(), 20);
  EXPECT_EQ(clock.now(), 20ms);
  // The events that fell into the server's own sleep stayed pending and were
  // served after it.
  EXPECT_EQ(server.count(), 21);
}

TEST(VirtualClock, TimersFireInTimeOrderThenCreationOrder) {
  VirtualClock clock;
  std::vector<int> order;
  clock.addPeriodic(2ms, [&] { order.push_back(2); });
  clock.addPeriodic(1ms, [&] { order.push_back(1); });
  clock.addPeriodic(
      3ms, [&] { order.push_back(3); }, 1ms);
  clock.sleepFor(4ms);
  // t=1: 1; t=2: 2 (created first), 1; t=3: 1; t=4: 2, 1, 3 (3 is due at 4 with its phase)
  EXPECT_EQ(order, (std::vector<int>{1, 2, 1, 1, 2, 1, 3}));
}

TEST(VirtualClock, RemovedTimerNeverFiresAgain) {
  VirtualClock clock;
  int a = 0, b = 0;
  platform::TimerId idA = 0;
  idA = clock.addPeriodic(1ms, [&] {
    if (++a == 3) clock.removeTimer(idA);  // from its own callback
  });
  const platform::TimerId idB = clock.addPeriodic(1ms, [&] { ++b; });
  clock.sleepFor(5ms);
  clock.removeTimer(idB);
  clock.removeTimer(idB);  // twice is harmless
  clock.sleepFor(5ms);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 5);
}

TEST(VirtualClock, SleepInsideACallbackNestsOnTheSameThread) {
  VirtualClock clock;
  std::vector<Nanos> fired;
  bool slept = false;
  clock.addPeriodic(1ms, [&] {
    fired.push_back(clock.now());
    if (!slept) {
      slept = true;
      clock.sleepFor(2ms);  // fires the events of t = 2 and 3 inside
    }
  });
  clock.sleepFor(4ms);
  EXPECT_EQ(fired, (std::vector<Nanos>{1ms, 2ms, 3ms, 4ms}));
}
