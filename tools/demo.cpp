// A short tour of what the stack offers so far: a 1 ms cycle on the virtual
// clock served by an interrupt-like thread, and the parameter file written and
// read back through the profile service.
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/clock/handoff.h"
#include "platform/msgbox/msgbox.h"
#include "platform/profile/profile.h"

using namespace std::chrono_literals;

int main() {
  platform::useVirtualTime();
  platform::Clock& clock = platform::clock();

  // One "interrupt thread" serving a 1 ms cycle, as the card will.
  platform::Handoff cycle(clock);
  int served = 0;
  std::thread server([&] {
    while (cycle.take()) {
      ++served;
      cycle.done();
    }
  });
  cycle.post();
  while (cycle.served() < 1)
    std::this_thread::yield();
  const auto timer = clock.addPeriodic(1ms, [&] { cycle.post(); });
  const auto wallStart = std::chrono::steady_clock::now();
  clock.sleepFor(2s);
  const auto wall = std::chrono::steady_clock::now() - wallStart;
  clock.removeTimer(timer);
  cycle.close();
  server.join();
  std::printf("virtual clock: %.3f s of machine time, %d cycles served, in %.1f ms of wall time\n",
              std::chrono::duration<double>(clock.now()).count(), served - 1,
              std::chrono::duration<double, std::milli>(wall).count());

  // The parameter file of the operator program, through the profile service.
  const std::string file =
      (std::filesystem::temp_directory_path() / "tv-demo-Parameter.ini").string();
  std::filesystem::remove(file);
  char value[10];
  platform::profile::getString("Parameter", "MaxSpeed", "50000", value, sizeof value, file.c_str());
  std::printf("profile: MaxSpeed reads \"%s\" (default, no file yet)\n", value);
  platform::profile::writeString("Parameter", "MaxSpeed", "123456789012", file.c_str());
  platform::profile::writeString("Parameter", "HighLimit(0)", "100000", file.c_str());
  platform::profile::getString("Parameter", "MaxSpeed", "50000", value, sizeof value, file.c_str());
  std::printf("profile: after writing 123456789012 it reads \"%s\" through a 10-character field\n",
              value);
  std::filesystem::remove(file);

  std::fflush(stdout);
  platform::msgbox::show("The motion libraries come next.", "Tervane");
  return 0;
}
