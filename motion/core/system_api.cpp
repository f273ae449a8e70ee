// The frame of the library: initialisation, close, the error word, simulation, the
// time delay and the application's interrupt routines.
#include <algorithm>
#include <cmath>

#include "export.h"
#include "library.h"

using vnl::kAxesPerCard;
using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;

// ---------------- frame ----------------
namespace {

int32_t initSystem(int32_t interpolationMs, const CardConfig* cards, uint16_t cardCount) {
  if (cardCount > vnl::kCards || (cardCount > 0 && cards == nullptr)) return VNL_ERR_RANGE;
  auto& L = lib();
  L.waitRoutine(500);
  L.resetApiSettings();
  for (int a = 0; a < vnl::kMachineAxes; ++a) {
    MACHINE_PARAM& p = L.param[a];
    if (!L.paramSet[a]) {
      ENCODER_CONFIG keep = p.EncoderConfig;
      p = vnl::defaultParam();
      p.EncoderConfig = keep;
      continue;
    }
    vnl::validate(p);
  }
  L.cardCount = cardCount;
  for (int c = 0; c < cardCount; ++c)
    L.cardType[c] = cards[c].wCardType;
  // A negative time gives 5 ms; others are kept to 1..200 ms as
  // VNL_SetInterpolateTime keeps them (the card's cycle and the planner's
  // segment times are built on it).
  L.interpTime.store(interpolationMs < 0 ? 5.0 : std::clamp(double(interpolationMs), 1.0, 200.0));
  if (L.storage == nullptr) L.storage = vnl::reserveQueueStorage();
  L.runState.store(0);
  if (L.storage == nullptr) {
    L.hwReady.store(L.kHardwareFailed);
    return VNL_ERR_NOT_READY;
  }
  if (L.hardwareInit() != 0) {
    L.hwReady.store(L.kHardwareFailed);
    return VNL_ERR_NOT_READY;
  }
  L.hwReady.store(L.kHardwareReady);
  L.resetPlanner();
  L.runState.store(1, std::memory_order_release);
  return 0;
}

}  // namespace

VNL_EXPORT int32_t VNL_InitSystem(int32_t interpolationMs, const CardConfig* cards,
                                  uint16_t cardCount) {
  return initSystem(interpolationMs, cards, cardCount);
}

VNL_EXPORT int32_t VNL_init_motion(int32_t param, int32_t interpolationMs, const void* cards,
                                   uint16_t cardCount) {
  if (cardCount > vnl::kCards) return VNL_ERR_RANGE;
  if (cardCount > 0 && cards == nullptr) return VNL_ERR_RANGE;
  CardConfig cfg[vnl::kCards]{};
  const auto* raw = static_cast<const unsigned char*>(cards);
  for (int c = 0; c < cardCount; ++c) {
    std::memcpy(&cfg[c].wCardType, raw + 8 * c, 2);
    std::memcpy(&cfg[c].wParam1, raw + 8 * c + 2, 2);
    cfg[c].wParam2 = c == 0 ? static_cast<int16_t>(param) : 0;
  }
  return initSystem(interpolationMs, cfg, cardCount);
}

VNL_EXPORT int32_t VNL_CloseSystem(void) {
  auto& L = lib();
  if (L.hwReady.load() != L.kHardwareReady || L.runState.load() != 1) return VNL_ERR_NOT_READY;
  for (int g = 0; g < kGroups; ++g) {
    L.queues[g].clear();
    L.pulseQueues[g].clear();
  }
  for (int g = 0; g < kGroups; ++g) {
    if (L.shared[g].error.load(std::memory_order_acquire) != 0) L.clearPlannerError(g);
  }
  L.clearOutputError();
  for (int g = 0; g < kGroups; ++g) {
    if (!L.stepped(g)) continue;
    auto& sh = L.shared[g];
    sh.resetRequest.store(vnl::kRaised, std::memory_order_release);
    L.poll(
        [&] {
          return sh.resetRequest.load(std::memory_order_acquire) == 0 &&
                 sh.state.load(std::memory_order_acquire) == 1;
        },
        0);
  }
  L.runState.store(2, std::memory_order_release);
  L.modeCmd[vnl::kStop].store(vnl::kRaised, std::memory_order_release);
  // In the closing state the simulated cycle still runs so the stop is taken.
  // The card cycle dispatches only while some group is stepped; with none,
  // or with a cycle that has stopped, nothing would ever take the stop, so
  // the output layer is reset here.
  const bool stopped =
      L.dispatching() &&
      L.poll([&] { return L.modeCmd[vnl::kStop].load() == 0 && L.mode.load() == vnl::kIdle; }, 0);
  if (!stopped) {
    L.modeCmd[vnl::kStop].store(0, std::memory_order_release);
    L.resetOutput();
  }
  if (L.onCards()) {
    for (int c = 0; c < L.cardCount; ++c) {
      L.cardPath->stopEngine(c);
      platform::clock().sleepMs(100);
      L.cardPath->close(c);
    }
  }
  L.hwReady.store(L.kHardwareNone, std::memory_order_release);
  for (auto& q : L.queues)
    q.attach(nullptr);
  vnl::releaseQueueStorage(L.storage);
  L.storage = nullptr;
  return 0;
}

VNL_EXPORT int32_t VNL_GetErrorCode(uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  uint32_t w = L.apiError[group].load();
  if (w != 0) return static_cast<int32_t>(w);
  uint8_t b = L.shared[group].error.load(std::memory_order_acquire);
  if (b != 0) {
    if (b >= 0x80 && b <= 0x85) return 0xF301 + (b - 0x80);
    return b == 0x90 ? 0xF401 : 0;
  }
  return L.latch.load(std::memory_order_acquire) == static_cast<uint8_t>(vnl::Latch::UnknownRequest)
             ? VNL_ERRWORD_UNKNOWN_REQUEST
             : 0;
}

VNL_EXPORT int32_t VNL_ClearError(uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  L.apiError[group].store(0);
  // The waits have no limit while cycles run; a cycle that has stopped
  // cannot take them (-3).
  const bool planner = L.clearPlannerError(group);
  const bool output = L.clearOutputError(true);
  return planner && output ? 0 : VNL_ERR_TIMEOUT;
}

VNL_EXPORT void VNL_EnableSimulation(void) {
  lib().simApi.store(1);
  lib().simOut.store(1, std::memory_order_release);
}
VNL_EXPORT void VNL_DisableSimulation(void) {
  lib().simApi.store(0);
  lib().simOut.store(0, std::memory_order_release);
}
VNL_EXPORT void VNL_SimulationRoutine(void) {
  lib().simulatedCycle();
}
VNL_EXPORT void VNL_TimeDelay(int32_t ms) {
  lib().waitRoutine(ms < 0 ? 0 : ms);
}

// ---------------- routines ----------------
VNL_EXPORT int32_t VNL_SetCycleInterruptRoutine(VNL_CycleRoutine r) {
  if (!r) return VNL_ERR_RANGE;
  lib().cycleRoutine.store(r);
  return 0;
}
#define VNL_ROUTINE_SETTER(name, field, check)             \
  VNL_EXPORT int32_t name(VNL_Routine r, uint16_t card) {  \
    if (check && !lib().ready()) return VNL_ERR_NOT_READY; \
    if (!r || !vnl::cardOk(card)) return VNL_ERR_RANGE;    \
    lib().field[card].store(r);                            \
    return 0;                                              \
  }
VNL_ROUTINE_SETTER(VNL_SetLIORoutine, lio, false)
VNL_ROUTINE_SETTER(VNL_SetENCRoutine, enc, false)
VNL_ROUTINE_SETTER(VNL_SetADCRoutine, adc, false)
VNL_ROUTINE_SETTER(VNL_SetPCLRoutine, pcl, true)

// Older names: one implementation, two exported names.
VNL_OLD(VNL_close_motion, VNL_CloseSystem)
VNL_OLD(VNL_get_errcode, VNL_GetErrorCode)
VNL_OLD(VNL_clear_error, VNL_ClearError)
VNL_OLD(VNL_enable_simulation, VNL_EnableSimulation)
VNL_OLD(VNL_disable_simulation, VNL_DisableSimulation)
VNL_OLD(VNL_simulation_process, VNL_SimulationRoutine)
VNL_OLD(VNL_time_delay, VNL_TimeDelay)
