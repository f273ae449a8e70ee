// A host program that opens card 0, lets its interrupt thread serve cycles and
// returns from main without QORA_Close. Run by open_test as a child process:
// the library must let the program end normally (status 0).
//
//   exit_with_open_card real|virtual
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/clock/clock.h"
#include "qoradrv.h"

namespace {
std::atomic<int> cycles{0};
void countCycle(std::uint8_t*) {
  ++cycles;
}
}  // namespace

int main(int argc, char** argv) {
  const bool virtualTime = argc > 1 && std::strcmp(argv[1], "virtual") == 0;
  if (virtualTime) platform::useVirtualTime();
  if (QORA210_Init(countCycle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, 0) != 1) {
    std::fprintf(stderr, "card 0 did not open\n");
    return 2;
  }
  QORA_DDA_SetTime(1.0f, 5, 0);
  QORA_DDA_EnableCycleInt(0);
  QORA_DDA_StartEngine(0);
  for (int n = 0; n < 2000 && cycles.load() < 20; ++n)
    platform::clock().sleepMs(1);
  if (cycles.load() < 20) {
    std::fprintf(stderr, "no cycle interrupts served\n");
    return 3;
  }
  return 0;  // the card is still open, its interrupt thread still waiting
}
