// Fuzz target: the motion library's exported functions as random call
// sequences with random arguments, in simulation or on a virtual card, in
// virtual time (the 500 ms initialisation wait and every sleep cost nothing).
//
// Input: a first byte choosing the set-up (simulation or card, a second
// card, an interrupt delay), the initialisation's arguments, then up to 64
// operations: a drawn call of one exported function, a wait, close and
// re-initialisation, a machine-parameter record, a delayed card interrupt.
//
// Contracts checked besides crashes, leaks and undefined behaviour:
//   - initialisation returns 0, or -5 for more than 12 cards, or (on a card)
//     -1 only when a card of type 2 or 3 did not open; its interpolation time
//     lies within 1..200 ms;
//   - a call refused with -5 or -6 changes nothing that the status functions
//     show (positions, command counts, feed speeds, coordinate types, units);
//   - a call given a non-finite number is refused;
//   - positions and speeds stay finite;
//   - a continuous jog left alone ends without an error;
//   - an abort of a group whose card queue still moves does not report -13
//     unless the card's interrupts were delayed;
//   - at the end every group stops once aborted; on an undisturbed card the
//     plant stands where the library's pulse positions say, and a pulse jog
//     still moves axis 0 by its pulses;
//   - VNL_CloseSystem returns.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz/input.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "platform/vcard/card.h"
#include "varnelpci.h"

namespace {

using fuzz::Input;

constexpr int kGroupsWatched = 4;
constexpr int kMaxOps = 64;

struct Run {
  bool onCard = false;
  bool ready = false;
  bool delayed = false;    // a card interrupt was delayed
  bool disturbed = false;  // something outside the library's pulse path acted on the axes
  bool cycle = false;      // the last initialisation runs a cycle that steps group 0
  bool regrouped = false;  // the group table was changed while the library ran
  std::shared_ptr<vcard::VirtualCard> card;
  std::int64_t plantAtInit[6]{};  // an initialisation starts the pulse positions at 0
};

std::int64_t plantPosition(Run& run, unsigned a) {
  return run.card->withChip([&](vcard::Chip& chip) { return chip.plant().position(a); });
}

// What the status functions show of groups 0..3.
struct Snapshot {
  std::int32_t pulse[kGroupsWatched][6];
  std::int32_t rc[kGroupsWatched];
  std::int32_t count[kGroupsWatched];
  double feed[kGroupsWatched];
  std::int32_t coord[kGroupsWatched];
  std::int32_t unit[kGroupsWatched];
  bool operator==(const Snapshot& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

Snapshot snapshot() {
  Snapshot s;
  std::memset(&s, 0, sizeof s);
  for (std::uint16_t g = 0; g < kGroupsWatched; ++g) {
    auto& p = s.pulse[g];
    s.rc[g] = VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], g);
    VNL_GetCommandCount(&s.count[g], g);
    s.feed[g] = VNL_GetFeedSpeed(g);
    s.coord[g] = VNL_GetCoordType(g);
    s.unit[g] = VNL_GetUnit(g);
  }
  return s;
}

void checkFinite() {
  for (std::uint16_t g = 0; g < kGroupsWatched; ++g) {
    double v[6];
    if (VNL_GetCurPos(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], g) == 0)
      for (double x : v)
        FUZZ_CHECK(std::isfinite(x), "group %u position %g", g, x);
    if (VNL_GetSpeed(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], g) == 0)
      for (double x : v)
        FUZZ_CHECK(std::isfinite(x), "group %u axis speed %g", g, x);
    const double f = VNL_GetCurFeedSpeed(g);
    FUZZ_CHECK(std::isfinite(f), "group %u path speed %g", g, f);
  }
}

void routine(void*) {}
void cycleRoutine() {}

// FUZZ_TRACE=1 in the environment prints every call and its result.
const bool trace = std::getenv("FUZZ_TRACE") != nullptr;
void note(const char* what, double r) {
  if (trace) std::fprintf(stderr, "  %s -> %g\n", what, r);
}

// Functions that act on the axes, the chip or the pulses beside the
// library's own pulse path (peripherals, compensation, dry run, raw machine
// parameters): after them the plant need not stand at the pulse positions.
bool disturbs(std::string_view name) {
  for (std::string_view part :
       {"ENC", "DAC", "ADC", "LIO", "Timer", "WatchDog", "Servo", "PGain", "Comp", "DryRun",
        "ResetDevice", "MachParam", "GroupConfig", "GroupContent", "GoHome", "HomeSensor",
        "EncoderIndex", "LimitSwitch", "Enqueue"})
    if (name.find(part) != std::string_view::npos) return true;
  return false;
}

// Whether a result of `name` means the call was carried out.
bool succeeded(std::string_view name, double r) {
  if (name == "VNL_FindHomeSensor" || name == "VNL_LeaveHomeSensor") return r == 1;
  return r >= 0;
}

template <class R, class... A>
void callDrawn(Input& in, Run& run, const char* name, R (*fn)(A...)) {
  fuzz::Scratch scratch;
  std::tuple<std::decay_t<A>...> args{fuzz::Draw<std::decay_t<A>>::get(in, scratch)...};
  // Routine arguments get a harmless routine, sometimes null.
  std::apply(
      [&](auto&... a) {
        (
            [&](auto& x) {
              using T = std::decay_t<decltype(x)>;
              if constexpr (std::is_same_v<T, VNL_Routine>) x = in.flag() ? routine : nullptr;
              if constexpr (std::is_same_v<T, VNL_CycleRoutine>)
                x = in.flag() ? cycleRoutine : nullptr;
            }(a),
            ...);
      },
      args);
  const bool nonFinite = fuzz::anyNonFinite(args);
  const Snapshot before = snapshot();
  if constexpr (std::is_void_v<R> || std::is_pointer_v<R>) {
    std::apply(fn, args);
    note(name, 0);
  } else {
    const R r = std::apply(fn, args);
    note(name, double(r));
    if (nonFinite)
      FUZZ_CHECK(!succeeded(name, double(r)), "%s with a number that is not finite gave %g", name,
                 double(r));
    if (std::is_integral_v<R> && (r == -5 || r == -6))
      FUZZ_CHECK(snapshot() == before, "%s refused with %d but changed the state", name, int(r));
    if (run.onCard && r >= 0 && disturbs(name)) run.disturbed = true;
    if (r >= 0 && std::string_view(name).find("VNL_SetGroupCon") == 0) run.regrouped = true;
  }
  if (!run.onCard && disturbs(name)) run.disturbed = true;
}

struct Entry {
  const char* name;
  void (*call)(Input&, Run&);
};
#define F(fn) {#fn, [](Input& in, Run& run) { callDrawn(in, run, #fn, &fn); }},
constexpr Entry kCalls[] = {
#include "fuzz/motion_calls.inc"
};
#undef F

bool groupStopped(std::uint16_t g) {
  return VNL_GetMotionStatus(g) != 0 && VNL_GetMotionStatus(g) != 2;
}

int periodMs = 1;  // the interpolation time of the running library, whole ms

// Waits a period at a time until group g stops or fails; false after `limit`
// periods.
bool waitStopped(std::uint16_t g, int limit) {
  for (int n = 0; n < limit; ++n) {
    const int32_t s = VNL_GetMotionStatus(g);
    if (s != 0 && s != 2) return true;
    VNL_TimeDelay(periodMs);
  }
  return false;
}

void initialise(Input& in, Run& run) {
  const std::uint8_t sel = in.byte();
  std::int32_t ms = 1 + sel % 5;
  if (sel >= 200) ms = in.integer<std::int32_t>();
  const std::uint16_t count = in.pick(8) != 0 ? 1 : in.integer<std::uint16_t>();
  CardConfig cards[12]{};
  bool openable = false;
  for (int c = 0; c < 12; ++c) {
    const std::uint8_t t = in.pick(16);
    cards[c].wCardType = t < 12 ? 2 : t == 12 ? 3 : t == 13 ? 0 : in.raw<std::int16_t>();
    if (c < count) openable = openable || cards[c].wCardType == 2 || cards[c].wCardType == 3;
  }
  if (run.onCard && run.card)
    for (unsigned a = 0; a < 6; ++a)
      run.plantAtInit[a] = plantPosition(run, a);
  const int32_t rc = VNL_InitSystem(ms, cards, count);
  if (trace)
    std::fprintf(stderr, "  VNL_InitSystem(%d ms, type %d, %u cards) -> %d\n", ms,
                 cards[0].wCardType, count, rc);
  run.ready = rc == 0;
  run.cycle = count > 0 && (!run.onCard || cards[0].wCardType == 2);
  if (count > 12) {
    FUZZ_CHECK(rc == -5, "%u cards gave %d", count, rc);
    return;
  }
  FUZZ_CHECK(rc == 0 || (rc == -1 && run.onCard && openable), "initialisation gave %d", rc);
  if (rc != 0) return;
  const double t = VNL_GetInterpolateTime();
  periodMs = t >= 1 ? static_cast<int>(t) : 1;
  // On a card the time is read back from it: its cycle, 0.8192 ms for 1 ms.
  FUZZ_CHECK(t == -3 || (t >= 0.5 && t <= 200.5), "interpolation time %g after %d ms", t, ms);
  // A run starts without compensation (the tables outlive a close).
  COMP_PARAM none{};
  for (std::uint16_t s = 0; s < 6; ++s)
    VNL_SetCompParam(&none, s, 0);
  VNL_UpdateCompParam();
}

// A machine-parameter record with sensible fields drawn from the input.
void machineParameters(Input& in) {
  MACHINE_PARAM p{};
  const auto axis = static_cast<std::uint16_t>(in.pick(6));
  VNL_GetMachParam(&p, axis, 0);
  static constexpr std::uint32_t kPpr[] = {1000, 1, 200, 10000, 4096};
  static constexpr double kPitch[] = {1.0, 5.0, 0.1, 25.4};
  static constexpr double kLimits[] = {10000000.0, 50.0, 2.0, 0.5};
  p.dwPPR = kPpr[in.pick(5)];
  p.dfPitch = kPitch[in.pick(4)];
  p.wRPM = static_cast<std::uint16_t>(in.pick(4) == 0 ? 60 : 1000 + in.pick(3) * 1000);
  p.dfHighLimit = kLimits[in.pick(4)];
  p.dfLowLimit = -kLimits[in.pick(4)];
  p.dfHighLimitOffset = in.pick(4) == 0 ? 0.1 : 0.0;
  p.wDirReverse = in.pick(4) == 0 ? 1 : 0;
  VNL_SetMachParam(&p, axis, 0);
}

void finish(Run& run) {
  if (!run.ready) {
    FUZZ_CHECK(VNL_CloseSystem() == -1, "close of a library that is not running");
    return;
  }
  VNL_DisableDryRun();
  VNL_AbortGoHome();
  for (std::uint16_t g = 0; g < kGroupsWatched; ++g) {
    if (VNL_GetErrorCode(g) == -6) continue;
    bool stopped = false;
    for (int round = 0; round < 3 && !stopped; ++round) {
      VNL_ClearError(g);
      note("VNL_AbortMotion (end)", VNL_AbortMotion(g));
      stopped = waitStopped(g, 3000);
    }
    // A group whose axes were changed under it (the table is the caller's to
    // change while no motion runs) may be left without a cycle to stop it.
    FUZZ_CHECK(stopped || run.regrouped,
               "group %u does not stop after three aborts (status %d, error 0x%x)", g,
               VNL_GetMotionStatus(g), VNL_GetErrorCode(g));
  }
  if (run.onCard && !run.disturbed && run.card) {
    VNL_SetGroupContent(0, 0, 0, 1, 2, 3, 4, 5);
    std::int32_t p[6];
    FUZZ_CHECK(VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0) == 0,
               "pulse positions");
    for (unsigned a = 0; a < 6; ++a) {
      const std::int64_t plant = plantPosition(run, a) - run.plantAtInit[a];
      FUZZ_CHECK(plant == p[a], "axis %u: plant at %lld, pulse position %d", a,
                 static_cast<long long>(plant), p[a]);
    }
  }
  if (!run.disturbed && VNL_GetErrorCode(0) == 0 && groupStopped(0)) {
    std::int32_t p[6], q[6];
    VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
    MACHINE_PARAM mp{};
    VNL_GetMachParam(&mp, 0, 0);
    const int32_t r = VNL_JogPulse(37, 0, 0);
    if (r == -3) {
      // Refused because no cycle steps the group.
      FUZZ_CHECK(!run.cycle, "a pulse jog gave -3 while cycles run");
      FUZZ_CHECK(VNL_CloseSystem() == 0, "close of a running library");
      return;
    }
    VNL_TimeDelay(5 * periodMs);
    VNL_GetPulsePos(&q[0], &q[1], &q[2], &q[3], &q[4], &q[5], 0);
    const int expected = mp.wDirReverse ? -37 : 37;
    FUZZ_CHECK(r == 0 && q[0] - p[0] == expected, "a pulse jog of 37 gave %d and moved %d", r,
               q[0] - p[0]);
  }
  FUZZ_CHECK(VNL_CloseSystem() == 0, "close of a running library");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = [] {
    platform::useVirtualTime();
    platform::msgbox::setHandler([](const std::string&, const std::string&) {});
    return true;
  }();
  (void)once;
  Input in(data, size);
  Run run;
  const std::uint8_t setup = in.byte();
  // The card costs a thread hand-over per cycle: it is the set-up of one
  // first byte in 256, simulation (which runs at thousands of inputs a
  // second) that of all others.
  run.onCard = setup == 3 || setup == 19;
  // The same start for every input: default machine parameters, no group
  // configured (initialisation then takes group 0 on card 0), a maximum speed.
  MACHINE_PARAM defaults{};
  defaults.wRPM = 1000;
  defaults.dwPPR = 1000;
  defaults.dfPitch = 1.0;
  defaults.dfGearRatio = 1.0;
  defaults.dfHighLimit = 10000000.0;
  defaults.dfLowLimit = -10000000.0;
  defaults.wPulseWidth = 64;
  defaults.HomeConfig.wPhase1Dir = 1;
  defaults.wOverTravelUpSensorMode = 2;
  defaults.wOverTravelDownSensorMode = 2;
  for (std::uint16_t c = 0; c < 12; ++c)
    for (std::uint16_t a = 0; a < 6; ++a)
      VNL_SetMachParam(&defaults, a, c);
  static std::int32_t noGroups[576];
  std::fill(std::begin(noGroups), std::begin(noGroups) + 72, -1);
  VNL_SetGroupConfig(noGroups);
  static constexpr double kMaxSpeeds[] = {100.0, 10.0, 0.0, 1e6};
  VNL_SetSysMaxSpeed(kMaxSpeeds[(setup >> 2) & 3]);
  if (run.onCard) {
    VNL_DisableSimulation();
    vcard::bus().clear();
    run.card = vcard::bus().install(vcard::ChipModel::Qora210);
    if (setup & 16) vcard::bus().install(vcard::ChipModel::Qora210);
  } else {
    VNL_EnableSimulation();
  }
  for (int i = 0; i < 6 && !in.empty() && in.pick(4) == 0; ++i)
    machineParameters(in);
  initialise(in, run);

  for (int op = 0; op < kMaxOps && !in.empty(); ++op) {
    const std::uint8_t sel = in.byte();
    switch (sel < 48 ? sel % 6 : 6) {
      case 0: {
        static constexpr int kWaits[] = {1, 2, 5, 20, 100, 500};
        VNL_TimeDelay(kWaits[in.pick(6)]);
        break;
      }
      case 1:
        waitStopped(static_cast<std::uint16_t>(in.pick(4)), 500);
        break;
      case 2:
        VNL_CloseSystem();
        initialise(in, run);
        break;
      case 3:
        machineParameters(in);
        break;
      case 4:
        if (run.onCard && run.card) {
          run.card->delayCycleInterrupt(run.card->cycles() + in.pick(64), in.byte() + in.byte());
          run.delayed = true;
        }
        break;
      case 5: {
        // A continuous jog left alone ends without an error.
        const auto axis = static_cast<std::uint8_t>(in.pick(6));
        const int32_t dir = in.flag() ? 1 : -1;
        const int32_t percent = 1 + static_cast<int32_t>(in.pick(100));
        const bool clean = VNL_GetErrorCode(0) == 0 && !run.delayed;
        if (VNL_JogConti(dir, percent, axis, 0) >= 0 && clean && waitStopped(0, 2000))
          FUZZ_CHECK(VNL_GetErrorCode(0) == 0, "a continuous jog of axis %u ended with 0x%x", axis,
                     VNL_GetErrorCode(0));
        break;
      }
      default: {
        const Entry& e = kCalls[in.byte() % std::size(kCalls)];
        if (std::string_view(e.name) == "VNL_AbortMotion" && run.onCard && !run.delayed) {
          // An abort of a group whose axes still move stops it.
          const auto g = static_cast<std::uint16_t>(in.pick(2));
          std::int16_t stock = 0;
          VNL_GetCurPulseStockCount(&stock, 0, 0);
          const bool moving = stock > 0 && VNL_GetErrorCode(g) == 0;
          const int32_t r = VNL_AbortMotion(g);
          FUZZ_CHECK(!(moving && g == 0 && r == -13), "abort of a moving group gave -13");
          break;
        }
        if (std::string_view(e.name) == "VNL_JogPulse" && !run.disturbed) {
          // A pulse jog that reports success has moved the axis.
          const auto pulses = in.integer<std::int32_t>();
          const auto axis = static_cast<std::uint8_t>(in.pick(6));
          std::int32_t p[6], q[6];
          VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
          const int32_t r = VNL_JogPulse(pulses, axis, 0);
          note("VNL_JogPulse", r);
          VNL_GetPulsePos(&q[0], &q[1], &q[2], &q[3], &q[4], &q[5], 0);
          MACHINE_PARAM mp{};
          VNL_GetMachParam(&mp, axis, 0);
          const std::int32_t sent = std::clamp(pulses, -2048, 2048) * (mp.wDirReverse ? -1 : 1);
          FUZZ_CHECK(r != 0 || q[axis] - p[axis] == sent, "a pulse jog of %d gave 0 and moved %d",
                     sent, q[axis] - p[axis]);
          break;
        }
        e.call(in, run);
        break;
      }
    }
    checkFinite();
  }
  finish(run);
  if (run.onCard) vcard::bus().clear();
  return 0;
}
