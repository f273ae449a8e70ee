// Library frame, output layer, configuration, status and compensation of varnelpci.
#include <sys/mman.h>

#include "export.h"
#include "library.h"

namespace vnl {
Library& lib() {
  static Library instance;
  return instance;
}

namespace {
constexpr size_t kStorageBytes = size_t(kGroups) * kQueueRecords * sizeof(MotionCommand);
}  // namespace

// Mapped anonymous memory: its pages are zero and take no memory until a
// queue writes them, however large the whole (72 groups x 30000 records),
// and mapping and unmapping it costs the same whatever tools watch the heap.
MotionCommand* reserveQueueStorage() {
  void* p = mmap(nullptr, kStorageBytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<MotionCommand*>(p);
}
void releaseQueueStorage(MotionCommand* storage) {
  if (storage != nullptr) munmap(storage, kStorageBytes);
}

// The routines each card's interrupt thread calls: the cycle routine on
// card 0, and per card the trampolines to the application's routines.
void cycleTrampoline(uint8_t*) {
  lib().cardCycle();
}
template <int Card>
void adcTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().adc[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card>
void lioTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().lio[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card>
void pclTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().pcl[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card, int FirstChannel>
void encTrampoline(uint8_t* flags) {
  lib().encoderEvent(Card, FirstChannel, flags);
}

template <std::size_t... C>
constexpr std::array<cards::CardRoutines, sizeof...(C)> makeRoutines(std::index_sequence<C...>) {
  return {cards::CardRoutines{C == 0 ? &cycleTrampoline : nullptr, &encTrampoline<int(C), 0>,
                              &encTrampoline<int(C), 3>, &adcTrampoline<int(C)>,
                              &lioTrampoline<int(C)>, &pclTrampoline<int(C)>}...};
}

cards::CardRoutines Library::routinesOf(int card) {
  static constexpr auto table = makeRoutines(std::make_index_sequence<kCards>{});
  return table[card];
}

void Library::definePosition(int g) {
  if (!tableGroupOk(g)) return;
  int card = table[g].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int ax = table[g].axis[s].load();
    if (ax < 0 || ax >= kAxesPerCard) continue;
    int a = card * kAxesPerCard + ax;
    if (s == 1) refPos[g].store(pulsePos[a].load() * unitsPerPulse(a, g));
  }
}

int16_t axisOf(Library& L, int g, int s) {
  int16_t a = L.config[g].axis[s].load(std::memory_order_relaxed);
  return a;
}

}  // namespace vnl

using vnl::kAxesPerCard;
using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;

// ---------------- frame ----------------
VNL_EXPORT int32_t VNL_InitSystem(int32_t interpolationMs, const CardConfig* cards,
                                  uint16_t cardCount) {
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
    L.hwReady.store(255);
    return VNL_ERR_NOT_READY;
  }
  if (L.hardwareInit() != 0) {
    L.hwReady.store(255);
    return VNL_ERR_NOT_READY;
  }
  L.hwReady.store(1);
  L.resetPlanner();
  L.runState.store(1, std::memory_order_release);
  return 0;
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
  return VNL_InitSystem(interpolationMs, cfg, cardCount);
}

VNL_EXPORT int32_t VNL_CloseSystem(void) {
  auto& L = lib();
  if (L.hwReady.load() != 1 || L.runState.load() != 1) return VNL_ERR_NOT_READY;
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
      const auto card = static_cast<uint16_t>(c);
      QORA_DDA_DisableCycleInt(card);
      QORA_DDA_StopEngine(card);
      platform::clock().sleepMs(100);
      QORA_Close(card);
    }
  }
  L.hwReady.store(0, std::memory_order_release);
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
  return planner && output ? 0 : -3;
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

// ---------------- configuration ----------------
VNL_EXPORT int32_t VNL_SetMachParam(const MACHINE_PARAM* p, uint16_t axis, uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card) || !p) return VNL_ERR_RANGE;
  const double d[] = {p->dfPitch,
                      p->dfGearRatio,
                      p->dfHighLimit,
                      p->dfLowLimit,
                      p->dfHighLimitOffset,
                      p->dfLowLimitOffset,
                      p->HomeConfig.dfHomeOffset};
  for (double v : d) {
    if (!vnl::finite(v)) return VNL_ERR_RANGE;
  }
  // A scale (pulses per unit, and units per pulse) that is not an ordinary
  // number, once validated, would give infinite or NaN positions and speeds.
  const MACHINE_PARAM u = vnl::usable(*p);
  const double ppu = double(u.dwPPR) * u.dfGearRatio / u.dfPitch;
  if (!std::isnormal(ppu) || !std::isnormal(1.0 / ppu) || !std::isnormal(u.dfPitch / u.dfGearRatio))
    return VNL_ERR_RANGE;
  auto& L = lib();
  L.param[card * kAxesPerCard + axis] = *p;
  L.paramSet[card * kAxesPerCard + axis] = true;
  return 0;
}

VNL_EXPORT int32_t VNL_GetMachParam(MACHINE_PARAM* p, uint16_t axis, uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card) || card * kAxesPerCard + axis > 71 || !p)
    return VNL_ERR_RANGE;
  int16_t up = p->wOverTravelUpSensorMode, down = p->wOverTravelDownSensorMode;
  *p = lib().param[card * kAxesPerCard + axis];
  p->wOverTravelUpSensorMode = up;
  p->wOverTravelDownSensorMode = down;
  return 0;
}

VNL_EXPORT int32_t VNL_ResetMotion(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  for (int g = 0; g < kGroups; ++g) {
    L.lastIndex[g] = -1;
    L.queues[g].clear();
    L.pulseQueues[g].clear();
    // Incremental moves count from the reset positions.
    std::fill(std::begin(L.lastTarget[g]), std::end(L.lastTarget[g]), 0.0);
    L.staleTargets[g] = false;
  }
  for (int g = 0; g < kGroups; ++g) {
    if (L.shared[g].error.load(std::memory_order_acquire) != 0) L.clearPlannerError(g);
  }
  L.clearOutputError();
  for (auto& sh : L.shared)
    sh.resetRequest.store(vnl::kRaised, std::memory_order_release);
  L.modeCmd[vnl::kStop].store(vnl::kRaised, std::memory_order_release);
  for (auto& r : L.refPos)
    r.store(0.0);
  // The reset is over when the call returns: a command queued next must not
  // meet a reset still waiting for the cycle, which would drop it, nor an
  // output layer still stopping. Only the groups a cycle steps take their
  // reset; with none stepped the card cycle dispatches nothing.
  const bool dispatching = L.dispatching();
  const bool taken = L.poll(
      [&] {
        for (int g = 0; g < kGroups; ++g) {
          if (L.stepped(g) && L.shared[g].resetRequest.load(std::memory_order_acquire) != 0)
            return false;
        }
        return !dispatching || (L.modeCmd[vnl::kStop].load(std::memory_order_acquire) == 0 &&
                                L.mode.load(std::memory_order_acquire) == vnl::kIdle);
      },
      L.pollLimit());
  return taken ? 0 : -3;
}

VNL_EXPORT int32_t VNL_UpdateMachParam(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  L.buildGroupParams();
  if (L.onCards()) L.writeOutputParams();
  L.takeSensorLevels();
  int32_t r = VNL_ResetMotion();
  for (auto& i : L.lastIndex)
    i = -1;
  return r;
}

VNL_EXPORT int32_t VNL_SetGroupConfig(const int32_t* cfg) {
  if (!cfg) return VNL_ERR_RANGE;
  auto& L = lib();
  for (int g = 0; g < kGroups; ++g) {
    const int32_t* rec = cfg + kGroups + g * 7;
    bool bad = rec[0] < 0 || rec[0] > 11;
    for (auto* c : {&L.config[g], &L.table[g]}) {
      c->inUse.store(cfg[g] == 0 && !bad ? 0 : -1, std::memory_order_release);
      if (bad) continue;
      c->card.store(static_cast<int16_t>(rec[0]));
      for (int s = 0; s < kSlots; ++s) {
        int32_t a = rec[1 + s];
        int16_t v = (a >= 0 && a <= 5) ? static_cast<int16_t>(a) : -1;
        c->axis[s].store(c == &L.table[g] && v < 0 ? 6 : v);
      }
    }
  }
  return 0;
}

VNL_EXPORT int32_t VNL_SetGroupContent(uint16_t group, uint16_t card, int16_t x, int16_t y,
                                       int16_t z, int16_t u, int16_t v, int16_t w) {
  if (group > 71 || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  int16_t ax[] = {x, y, z, u, v, w};
  for (int16_t a : ax) {
    if (a > 5) return VNL_ERR_RANGE;
  }
  auto& L = lib();
  for (auto* c : {&L.config[group], &L.table[group]}) {
    c->card.store(static_cast<int16_t>(card));
    for (int s = 0; s < kSlots; ++s)
      c->axis[s].store(c == &L.table[group] && ax[s] < 0 ? 6 : ax[s]);
    c->inUse.store(0, std::memory_order_release);
  }
  return 0;
}

VNL_EXPORT int32_t VNL_SetUnit(int32_t type, uint16_t group) {
  auto& L = lib();
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  if (type == 1) L.unitFactor[group].store(1.0);
  if (type == 2) {
    L.unitFactor[group].store(25.4);
    return 2;
  }
  return 1;
}
VNL_EXPORT int32_t VNL_GetUnit(uint16_t group) {
  auto& L = lib();
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  return L.unitFactor[group].load() == 1.0 ? 1 : 2;
}
VNL_EXPORT int32_t VNL_SetAbsolute(uint16_t group) {
  if (!lib().groupOk(group)) return VNL_ERR_GROUP;
  lib().coordType[group].store(1);
  return 0;
}
VNL_EXPORT int32_t VNL_SetIncrease(uint16_t group) {
  if (!lib().groupOk(group)) return VNL_ERR_GROUP;
  lib().coordType[group].store(0);
  return 0;
}
VNL_EXPORT int32_t VNL_GetCoordType(uint16_t group) {
  if (!lib().groupOk(group)) return VNL_ERR_GROUP;
  return lib().coordType[group].load();
}

VNL_EXPORT int32_t VNL_SetInterpolateTime(double ms) {
  if (!vnl::finite(ms)) return VNL_ERR_RANGE;
  auto& L = lib();
  ms = std::clamp(ms, 1.0, 200.0);
  L.interpTime.store(ms);
  int32_t r = L.post(vnl::Request::InterpolationTime, 0, 0);
  if (r != 0) return r;
  // The cycle serves the request on cards; in simulation no card answers and
  // the period lasts the cycle a card would run.
  if (!L.onCards()) L.takeCycleTime();
  // The groups' resets take the new period and cycle from the parameter block.
  L.buildGroupParams();
  for (int g = 0; g < kGroups; ++g) {
    if (!L.stepped(g)) continue;
    auto& sh = L.shared[g];
    sh.resetRequest.store(vnl::kRaised, std::memory_order_release);
    if (!L.poll([&] { return sh.resetRequest.load(std::memory_order_acquire) == 0; }, 0))
      return VNL_ERR_TIMEOUT;
  }
  return static_cast<int32_t>(ms);
}

VNL_EXPORT double VNL_GetInterpolateTime(void) {
  int32_t r = lib().post(vnl::Request::CycleTime, 0, 0);
  if (r != 0) return r;
  return lib().cycleTime.load();
}

namespace {
int32_t clampPulse(int32_t v) {
  return std::clamp(v, 0, 32767);
}
}  // namespace

VNL_EXPORT int32_t VNL_SetMaxPulseSpeed(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                        int32_t w) {
  int32_t vals[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    lib().maxPulseApi[s].store(clampPulse(vals[s]));
  return lib().post(vnl::Request::MaxPulse, 0, 0);
}
VNL_EXPORT int32_t VNL_SetMaxPulseAcc(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                      int32_t w) {
  int32_t vals[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    lib().maxAccApi[s].store(clampPulse(vals[s]));
  return lib().post(vnl::Request::MaxChange, 0, 0);
}
namespace {
template <class T, class A>
int32_t readSix(A& src, T* x, T* y, T* z, T* u, T* v, T* w) {
  T* out[] = {x, y, z, u, v, w};
  for (T* p : out) {
    if (!p) return VNL_ERR_RANGE;
  }
  for (int s = 0; s < kSlots; ++s)
    *out[s] = static_cast<T>(src[s].load());
  return 0;
}
}  // namespace
VNL_EXPORT int32_t VNL_GetMaxPulseSpeed(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                        int32_t* w) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  return readSix(lib().maxPulseApi, x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_GetMaxPulseAcc(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                      int32_t* w) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  return readSix(lib().maxAccApi, x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_SetSysMaxSpeed(double speed) {
  if (!vnl::finite(speed) || speed < 0) return VNL_ERR_RANGE;
  lib().sysMaxSpeed.store(speed);
  return 0;
}
VNL_EXPORT double VNL_GetSysMaxSpeed(void) {
  return lib().sysMaxSpeed.load();
}

VNL_EXPORT int32_t VNL_SetOverTravelCheck(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                          int32_t w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  int32_t f[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    L.otCheck[group][s].store(f[s] == 1 ? 1 : 0);
  return 0;
}
VNL_EXPORT int32_t VNL_GetOverTravelCheck(int32_t* x, int32_t* y, int32_t* z, int32_t* u,
                                          int32_t* v, int32_t* w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  return readSix(L.otCheck[group], x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_EnableLimitSwitchCheck(int32_t mode) {
  return lib().post(vnl::Request::LimitStopOn, static_cast<uint16_t>(mode != 0), 0);
}
VNL_EXPORT int32_t VNL_DisableLimitSwitchCheck(void) {
  return lib().post(vnl::Request::LimitStopOff, 0, 0);
}
VNL_EXPORT int32_t VNL_SetServoOn(uint16_t axis, uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return QORA_LIO_ServoOn(axis, card) != 0 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_SetServoOff(uint16_t axis, uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return QORA_LIO_ServoOff(axis, card) != 0 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_EnablePosReady(uint16_t card) {
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  return lib().post(vnl::Request::EnableReady, card, 0);
}
VNL_EXPORT int32_t VNL_DisablePosReady(uint16_t card) {
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  return lib().post(vnl::Request::DisableReady, card, 0);
}
VNL_EXPORT int32_t VNL_DefinePosHere(uint16_t group) {
  auto& L = lib();
  if (group < kGroups && L.ready()) L.definePosition(group);
  return 0;
}
VNL_EXPORT int32_t VNL_EnableDryRun(void) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  lib().dryRunApi.store(vnl::kRaised, std::memory_order_release);
  return 0;
}
VNL_EXPORT int32_t VNL_DisableDryRun(void) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  lib().dryRunApi.store(0, std::memory_order_release);
  return 0;
}
VNL_EXPORT int32_t VNL_CheckDryRun(void) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  return lib().dryRunApi.load() == vnl::kRaised ? 0 : 1;
}
VNL_EXPORT int32_t VNL_ResetDevice(void) {
  lib().clearOutputError();
  return lib().post(vnl::Request::ResetChip, 0, 0);
}

// ---------------- status and position ----------------
VNL_EXPORT int32_t VNL_GetCurPos(double* x, double* y, double* z, double* u, double* v, double* w,
                                 uint16_t group) {
  double* out[] = {x, y, z, u, v, w};
  for (double* p : out) {
    if (!p) return VNL_ERR_RANGE;
  }
  for (double* p : out)
    *p = 0.0;
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  int card = L.config[group].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int a = vnl::axisOf(L, group, s);
    if (a < 0 || a > 5) continue;
    int ax = card * kAxesPerCard + a;
    *out[s] = L.pulsePos[ax].load(std::memory_order_acquire) * L.unitsPerPulse(ax, group);
  }
  return 0;
}
VNL_EXPORT int32_t VNL_GetPulsePos(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                   int32_t* w, uint16_t group) {
  int32_t* out[] = {x, y, z, u, v, w};
  for (int32_t* p : out) {
    if (!p) return VNL_ERR_RANGE;
  }
  for (int32_t* p : out)
    *p = 0;
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  int card = L.config[group].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int a = vnl::axisOf(L, group, s);
    if (a >= 0 && a <= 5)
      *out[s] = L.pulsePos[card * kAxesPerCard + a].load(std::memory_order_acquire);
  }
  return 0;
}
VNL_EXPORT int32_t VNL_GetCurPulseStockCount(int16_t* count, uint16_t axis, uint16_t card) {
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  if (!vnl::axisOk(axis) || !vnl::cardOk(card) || !count) return VNL_ERR_RANGE;
  *count = lib().stock[card * kAxesPerCard + axis].load();
  return 0;
}
VNL_EXPORT int32_t VNL_GetLimitSwitchStatus(int16_t* status, uint16_t which, uint16_t axis,
                                            uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card) || !status) return VNL_ERR_RANGE;
  *status = which ? lib().otUp[card * kAxesPerCard + axis].load()
                  : lib().otDown[card * kAxesPerCard + axis].load();
  return 0;
}
VNL_EXPORT int32_t VNL_GetHomeSensorStatus(int16_t* status, uint16_t axis, uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card) || !status) return VNL_ERR_RANGE;
  uint16_t v = 0;
  if (QORA_LIO_GetHomeSensor(axis, &v, card) == 0) return VNL_ERR_STATE;
  *status =
      static_cast<int16_t>(v) == lib().param[card * kAxesPerCard + axis].HomeConfig.wSensorMode ? 1
                                                                                                : 0;
  return 0;
}
VNL_EXPORT int32_t VNL_GetEmgcStopStatus(uint16_t* status, uint16_t card) {
  if (!vnl::cardOk(card) || !status) return VNL_ERR_RANGE;
  return QORA_LIO_GetEmgcStopStatus(status, card) != 0 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_GetErrorCount(int32_t* a0, int32_t* a1, int32_t* a2, int32_t* a3,
                                     int32_t* a4, int32_t* a5, uint16_t card) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  int32_t* out[] = {a0, a1, a2, a3, a4, a5};
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  for (int32_t* p : out) {
    if (!p) return VNL_ERR_RANGE;
  }
  for (int32_t* p : out)
    *p = 0;
  for (int g = 0; g < kGroups; ++g) {
    if (!L.groupOk(g) || L.config[g].card.load() != card) continue;
    for (int s = 0; s < kSlots; ++s) {
      int a = vnl::axisOf(L, g, s);
      if (a >= 0 && a <= 5) *out[a] = L.errCounter[card * kAxesPerCard + a].load();
    }
  }
  return 0;
}
VNL_EXPORT int32_t VNL_SetPGain(uint16_t g0, uint16_t g1, uint16_t g2, uint16_t g3, uint16_t g4,
                                uint16_t g5, uint16_t card) {
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  uint16_t g[] = {g0, g1, g2, g3, g4, g5};
  for (int a = 0; a < 6; ++a)
    lib().pGainApi[card * kAxesPerCard + a].store(g[a] == 0 || g[a] >= 128 ? 1 : g[a]);
  return lib().post(vnl::Request::ScaleGain, card, 0);
}
VNL_EXPORT int32_t VNL_GetPGain(int16_t* g0, int16_t* g1, int16_t* g2, int16_t* g3, int16_t* g4,
                                int16_t* g5, uint16_t card) {
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  if (!lib().ready()) return VNL_ERR_NOT_READY;
  return readSix(
      *reinterpret_cast<std::atomic<uint16_t>(*)[6]>(&lib().pGainApi[card * kAxesPerCard]), g0, g1,
      g2, g3, g4, g5);
}
VNL_EXPORT int32_t VNL_SetInPosTolerance(int16_t x, int16_t y, int16_t z, int16_t u, int16_t v,
                                         int16_t w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  int16_t t[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    L.tolApi[group][s].store(t[s]);
  return 0;
}
VNL_EXPORT int32_t VNL_GetInPosTolerance(int16_t* x, int16_t* y, int16_t* z, int16_t* u, int16_t* v,
                                         int16_t* w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  return readSix(L.tolApi[group], x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_GetInPosStatus(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                      uint8_t* w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  int32_t r = readSix(L.inPosFlag[group], x, y, z, u, v, w);
  if (r != 0) return r;
  return L.inPosEnabled[group].load() ? 0 : -4;
}
VNL_EXPORT int32_t VNL_SetInPosCheckTime(uint16_t time, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  if (time == 0 || time > 1000) return VNL_ERR_RANGE;
  L.inPosTime[group].store(time);
  return 0;
}
VNL_EXPORT int32_t VNL_SetCompParam(const COMP_PARAM* p, uint16_t slot, uint16_t card) {
  if (slot > 5 || !vnl::cardOk(card) || !p) return VNL_ERR_RANGE;
  lib().compApi[slot] = *p;
  return 0;
}
VNL_EXPORT int32_t VNL_UpdateCompParam(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  for (int s = 0; s < kSlots; ++s) {
    // Only while no motion runs: the output layer reads these tables in the cycle.
    L.comp[s] = L.compApi[s];
    if (L.comp[s].dwInterval < 0) L.comp[s].dwInterval = 0;
  }
  return 0;
}

VNL_EXPORT int32_t VNL_define_pos_here(uint16_t group) {
  double p[6];
  VNL_GetCurPos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], group);
  if (group < kGroups) lib().refPos[group].store(p[1]);
  return 1;
}

// Older names: one implementation, two exported names.
#include "old_names.inc"
