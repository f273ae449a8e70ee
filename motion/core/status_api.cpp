// Status and position: positions, card queues, sensors, error counters, gains, the
// in-position check and the pitch compensation tables.
#include <algorithm>
#include <cmath>

#include "export.h"
#include "library.h"

using vnl::kAxesPerCard;
using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;
using vnl::readSix;

// ---------------- status and position ----------------
namespace {

// The six outputs of a group's slots, each the value of its slot's axis
// (card x 6 + axis), 0 for an empty slot; -5 for a null output.
template <class T, class Value>
int32_t slotValues(uint16_t group, T* (&out)[kSlots], Value value) {
  for (T* p : out) {
    if (!p) return VNL_ERR_RANGE;
  }
  for (T* p : out)
    *p = T{};
  auto& L = lib();
  if (int32_t r = vnl::checkGroup(L, group)) return r;
  const int card = L.config[group].card.load();
  for (int s = 0; s < kSlots; ++s) {
    const int a = vnl::axisOf(L, group, s);
    if (a >= 0 && a < kAxesPerCard) *out[s] = value(card * kAxesPerCard + a);
  }
  return 0;
}

}  // namespace

namespace {

int32_t currentPosition(double* x, double* y, double* z, double* u, double* v, double* w,
                        uint16_t group) {
  double* out[] = {x, y, z, u, v, w};
  auto& L = lib();
  return slotValues(group, out, [&](int axis) {
    return L.pulsePos[axis].load(std::memory_order_acquire) * L.unitsPerPulse(axis, group);
  });
}

}  // namespace

VNL_EXPORT int32_t VNL_GetCurPos(double* x, double* y, double* z, double* u, double* v, double* w,
                                 uint16_t group) {
  return currentPosition(x, y, z, u, v, w, group);
}
VNL_EXPORT int32_t VNL_GetPulsePos(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                   int32_t* w, uint16_t group) {
  int32_t* out[] = {x, y, z, u, v, w};
  auto& L = lib();
  return slotValues(group, out,
                    [&](int axis) { return L.pulsePos[axis].load(std::memory_order_acquire); });
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
  if (!lib().cardPath->sensor(vnl::cards::Sensor::Home, card, axis, v)) return VNL_ERR_STATE;
  *status =
      static_cast<int16_t>(v) == lib().param[card * kAxesPerCard + axis].HomeConfig.wSensorMode ? 1
                                                                                                : 0;
  return 0;
}
VNL_EXPORT int32_t VNL_GetEmgcStopStatus(uint16_t* status, uint16_t card) {
  if (!vnl::cardOk(card) || !status) return VNL_ERR_RANGE;
  return lib().cardPath->emergencyStop(card, *status) ? 0 : 1;
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
  currentPosition(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], group);
  if (group < kGroups) lib().refPos[group].store(p[1]);
  return 1;
}

// Older names: one implementation, two exported names.
VNL_OLD(VNL_get_cpos, VNL_GetCurPos)
VNL_OLD(VNL_get_ppos, VNL_GetPulsePos)
VNL_OLD(VNL_get_stock_count, VNL_GetCurPulseStockCount)
VNL_OLD(VNL_get_limit_switch_status, VNL_GetLimitSwitchStatus)
VNL_OLD(VNL_get_errcnt, VNL_GetErrorCount)
VNL_OLD(VNL_get_P_gain, VNL_GetPGain)
VNL_OLD(VNL_set_P_gain, VNL_SetPGain)
VNL_OLD(VNL_get_inpos_tol, VNL_GetInPosTolerance)
VNL_OLD(VNL_set_inpos_tol, VNL_SetInPosTolerance)
VNL_OLD(VNL_check_in_pos, VNL_GetInPosStatus)
VNL_OLD(VNL_set_comp_param, VNL_SetCompParam)
VNL_OLD(VNL_update_comp_param, VNL_UpdateCompParam)
