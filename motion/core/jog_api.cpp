// Exported jog functions: the distance jog of one axis (a queued 0x8001
// command at a percentage of the axis's maximum speed), the continuous jog
// (a distance jog to the axis's software limit) and the pulse jog (one block
// of pulses for one axis handed straight to the output layer).
#include <cmath>
#include <cstdint>
#include <limits>

#include "export.h"
#include "library.h"

using vnl::kAxesPerCard;
using vnl::kSlots;
using vnl::lib;
using vnl::Library;

namespace pl = vnl::planner;

namespace {

constexpr int32_t kPulseJogLimit = 2048;

// The axis (card x 6 + channel) in slot `slot` of the group, or -1 when the
// slot holds no channel or the group's card is out of range.
int axisInSlot(Library& L, uint16_t group, int slot) {
  const int card = L.config[group].card.load(std::memory_order_relaxed);
  const int ch = vnl::axisOf(L, group, slot);
  if (card < 0 || card >= vnl::kCards || ch < 0 || ch >= kAxesPerCard) return -1;
  return card * kAxesPerCard + ch;
}

// The axis's commanded position in machine units, on the planner's signed
// pulse scale (the scale the queued targets use).
double machinePosition(Library& L, uint16_t group, int slot, int axis) {
  const double ppu = L.groupParams[group].axis[slot].pulsesPerUnit;
  const int32_t p = L.pulsePos[axis].load(std::memory_order_acquire);
  return ppu != 0 ? p / ppu : 0.0;
}

bool inPulseRange(double units, double pulsesPerUnit) {
  const double p = units * pulsesPerUnit;
  return std::isfinite(p) && p <= double(std::numeric_limits<int32_t>::max()) &&
         p >= double(std::numeric_limits<int32_t>::min());
}

}  // namespace

namespace {

int32_t jogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  if (L.shared[group].error.load(std::memory_order_acquire) != 0) return VNL_ERR_STATE;
  if (axis > 5 || percent < 1 || !std::isfinite(distance)) return VNL_ERR_RANGE;
  pl::MotionCommand c{};
  for (int s = 0; s < kSlots; ++s)
    c.target[s] = L.lastTargets(group)[s];
  c.target[axis] += distance;
  if (!inPulseRange(c.target[axis], L.groupParams[group].axis[axis].pulsesPerUnit))
    return VNL_ERR_RANGE;
  if (L.motionStatus(group) != 1) return VNL_ERR_NOT_AT_REST;
  if (percent > 100) percent = 100;
  L.ptpSpeed[group].store(percent, std::memory_order_relaxed);
  // The group stands, so nothing waits to be started; the ring's clear is
  // safe against the cycle's take.
  L.queues[group].clear();
  c.code = pl::code::kJog;
  c.speed = percent;
  return L.queueMotion(c, group);
}

}  // namespace

VNL_EXPORT int32_t VNL_JogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group) {
  return jogSpace(distance, percent, axis, group);
}

VNL_EXPORT int32_t VNL_JogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  if (axis > 5 || (direction != 1 && direction != -1)) return VNL_ERR_RANGE;
  const int a = axisInSlot(L, group, axis);
  if (a < 0) return VNL_ERR_RANGE;
  // The software limits are in machine units, the scale of the planner's
  // positions. The planner's limit check takes the limit less its offset
  // and wants positions strictly inside it: the jog ends one pulse inside,
  // so that it stops at the limit without a limit error. The target is kept
  // inside the 32-bit pulse range, the furthest an axis can be commanded
  // (the default limits lie beyond it).
  const MACHINE_PARAM& p = L.param[a];
  double target =
      direction == 1 ? p.dfHighLimit - p.dfHighLimitOffset : p.dfLowLimit + p.dfLowLimitOffset;
  const double ppu = std::fabs(L.groupParams[group].axis[axis].pulsesPerUnit);
  if (ppu > 0 && std::isfinite(target)) {
    const double reach = double(std::numeric_limits<int32_t>::max()) / ppu;
    target = std::clamp(target, -reach, reach) - direction / ppu;
  }
  double distance = target - machinePosition(L, group, axis, a);
  // A slow jog over a long way would take longer than a move can be
  // planned for (a few days of planner time, each of its periods a card
  // cycle): it goes as far as it gets in that time.
  const pl::GroupParams& gp = L.groupParams[group];
  const double speed = std::clamp(percent, 1, 100) / 100.0 * gp.axis[axis].maxSpeed;
  const double reach = speed * gp.clockRatio() * (pl::kMaxSegmentMs / 1000.0) * 0.99;
  if (std::isfinite(reach) && reach > 0) distance = std::clamp(distance, -reach, reach);
  return jogSpace(distance, percent, axis, group);
}

VNL_EXPORT int32_t VNL_JogPulse(int32_t pulses, uint8_t axis, uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  if (L.shared[group].error.load(std::memory_order_acquire) != 0) return VNL_ERR_STATE;
  if (axis > 5) return VNL_ERR_RANGE;
  // No cycle steps the group (its card is not open, or card 0's cycle does
  // not run): no output layer would ever take the block, and the jog would
  // report a move that never happens.
  if (!L.stepped(group)) return VNL_ERR_TIMEOUT;
  if (L.motionStatus(group) != 1) return VNL_ERR_NOT_AT_REST;
  pulses = std::clamp(pulses, -kPulseJogLimit, kPulseJogLimit);
  const int a = axisInSlot(L, group, axis);
  if (a < 0) return VNL_ERR_RANGE;
  if (L.param[a].wDirReverse != 0) pulses = -pulses;
  int32_t block[kSlots]{};
  block[axis] = pulses;
  // The group stands: its cycle step puts nothing into the PulseQueue now.
  if (!L.pulseQueues[group].push(block)) return VNL_ERR_QUEUE_FULL;
  auto& start = L.modeCmd[vnl::kStartOutput];
  if (L.outputIdle.load(std::memory_order_acquire) == vnl::kRaised)
    start.store(vnl::kRaised, std::memory_order_release);
  // Without a limit, as the queueing's start wait: the output layer takes
  // the request in its next dispatch, which runs while the group is stepped.
  if (!L.poll([&] { return start.load(std::memory_order_acquire) == 0; }, 0))
    return VNL_ERR_TIMEOUT;
  // Until the group has stopped; -3 once no cycle runs any more.
  int32_t st = 0;
  const bool stopped = L.poll(
      [&] {
        st = L.motionStatus(group);
        return st != 0 && st != 2;
      },
      0);
  if (!stopped) return VNL_ERR_TIMEOUT;
  if (st != 1) return st;  // the library was closed meanwhile
  for (int s = 0; s < kSlots; ++s) {
    const int sa = axisInSlot(L, group, s);
    L.lastTarget[group][s] = sa < 0 ? 0.0 : machinePosition(L, group, s, sa);
  }
  L.staleTargets[group] = false;
  return 0;
}

VNL_OLD(VNL_jog_s, VNL_JogSpace)
VNL_OLD(VNL_jog_c, VNL_JogConti)
VNL_OLD(VNL_jog_i, VNL_JogPulse)
