// A short tour of the stack until the operator program exists: the motion
// library opens the virtual card through the card-access library and the
// driver service, runs a square of lines in virtual time, and the card's axes
// end where the library says they are.
#include <chrono>
#include <cstdio>

#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"

int main() {
  platform::useVirtualTime();
  auto card = vcard::bus().card(0);  // the default bus: one card of the first model
  VNL_SetSysMaxSpeed(100);
  const CardConfig config{2, 0, 0, 0};
  if (VNL_InitSystem(1, &config, 1) != 0) {
    std::fprintf(stderr, "tv-demo: the virtual card did not open\n");
    return 1;
  }
  const auto wallStart = std::chrono::steady_clock::now();
  const auto machineStart = platform::clock().now();
  VNL_SetFeedSpeed(5, 0);
  const double square[][2] = {{10, 0}, {10, 10}, {0, 10}, {2.5, 1.25}};
  for (const auto& corner : square)
    VNL_Line(corner[0], corner[1], 0, 0, 0, 0, 0);
  while (VNL_GetMotionStatus(0) != 1)
    VNL_TimeDelay(10);
  const double machine =
      std::chrono::duration<double>(platform::clock().now() - machineStart).count();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  int32_t x = 0, y = 0, z = 0, u = 0, v = 0, w = 0;
  VNL_GetPulsePos(&x, &y, &z, &u, &v, &w, 0);
  const auto at = card->withChip([](vcard::Chip& chip) {
    return std::pair{chip.plant().position(0), chip.plant().position(1)};
  });
  std::printf(
      "three sides of a 10 x 10 square and back towards the start at feed 5: %.2f s of machine "
      "time in %.3f s of wall time\n",
      machine, wall);
  std::printf("%llu card cycles; library pulse position X %d Y %d, card axes X %lld Y %lld\n",
              static_cast<unsigned long long>(card->cycles()), x, y,
              static_cast<long long>(at.first), static_cast<long long>(at.second));
  VNL_CloseSystem();
  return 0;
}
