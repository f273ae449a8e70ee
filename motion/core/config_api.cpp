// Configuration: machine parameters, groups, units and coordinates, the interpolation
// time, pulse limits, limit checks, servo and position-ready outputs, dry run.
#include <algorithm>
#include <cmath>

#include "export.h"
#include "library.h"

using vnl::kAxesPerCard;
using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;
using vnl::readSix;

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

namespace {

int32_t resetMotion() {
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
  return taken ? 0 : VNL_ERR_TIMEOUT;
}

}  // namespace

VNL_EXPORT int32_t VNL_ResetMotion(void) {
  return resetMotion();
}

VNL_EXPORT int32_t VNL_UpdateMachParam(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  L.buildGroupParams();
  if (L.onCards()) L.writeOutputParams();
  L.takeAxisSettings();
  int32_t r = resetMotion();
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
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  int32_t f[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    L.otCheck[group][s].store(f[s] == 1 ? 1 : 0);
  return 0;
}
VNL_EXPORT int32_t VNL_GetOverTravelCheck(int32_t* x, int32_t* y, int32_t* z, int32_t* u,
                                          int32_t* v, int32_t* w, uint16_t group) {
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
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
  return lib().cardPath->setServo(card, axis, true) ? 0 : 1;
}
VNL_EXPORT int32_t VNL_SetServoOff(uint16_t axis, uint16_t card) {
  if (!vnl::axisOk(axis) || !vnl::cardOk(card)) return VNL_ERR_RANGE;
  return lib().cardPath->setServo(card, axis, false) ? 0 : 1;
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

// Older names: one implementation, two exported names.
VNL_OLD(VNL_device_reset, VNL_ResetDevice)
VNL_OLD(VNL_motion_reset, VNL_ResetMotion)
VNL_OLD(VNL_get_mach_param, VNL_GetMachParam)
VNL_OLD(VNL_set_mach_param, VNL_SetMachParam)
VNL_OLD(VNL_update_mach_param, VNL_UpdateMachParam)
VNL_OLD(VNL_set_group_config, VNL_SetGroupConfig)
VNL_OLD(VNL_set_group_content, VNL_SetGroupContent)
VNL_OLD(VNL_get_unit, VNL_GetUnit)
VNL_OLD(VNL_set_unit, VNL_SetUnit)
VNL_OLD(VNL_get_pos_type, VNL_GetCoordType)
VNL_OLD(VNL_set_abs, VNL_SetAbsolute)
VNL_OLD(VNL_set_inc, VNL_SetIncrease)
VNL_OLD(VNL_get_dda, VNL_GetInterpolateTime)
VNL_OLD(VNL_set_dda, VNL_SetInterpolateTime)
VNL_OLD(VNL_get_max_dda_acc, VNL_GetMaxPulseAcc)
VNL_OLD(VNL_set_max_dda_acc, VNL_SetMaxPulseAcc)
VNL_OLD(VNL_get_max_dda_spd, VNL_GetMaxPulseSpeed)
VNL_OLD(VNL_set_max_dda_spd, VNL_SetMaxPulseSpeed)
VNL_OLD(VNL_get_card_max_speed, VNL_GetSysMaxSpeed)
VNL_OLD(VNL_set_card_max_speed, VNL_SetSysMaxSpeed)
VNL_OLD(VNL_get_check_OT, VNL_GetOverTravelCheck)
VNL_OLD(VNL_set_check_OT, VNL_SetOverTravelCheck)
VNL_OLD(VNL_enable_check_limit_switch, VNL_EnableLimitSwitchCheck)
VNL_OLD(VNL_disable_check_limit_switch, VNL_DisableLimitSwitchCheck)
VNL_OLD(VNL_set_servo_on, VNL_SetServoOn)
VNL_OLD(VNL_set_servo_off, VNL_SetServoOff)
VNL_OLD(VNL_enable_pos_ready, VNL_EnablePosReady)
VNL_OLD(VNL_disable_pos_ready, VNL_DisablePosReady)
VNL_OLD(VNL_enable_dry_run, VNL_EnableDryRun)
VNL_OLD(VNL_disable_dry_run, VNL_DisableDryRun)
VNL_OLD(VNL_check_dry_run, VNL_CheckDryRun)
