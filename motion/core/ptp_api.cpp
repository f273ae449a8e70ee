// Exported point-to-point functions: the point-to-point speed and the
// point-to-point move, in which every axis runs at that percentage of its
// own maximum speed and arrives on its own.
#include <cmath>
#include <cstdint>
#include <limits>

#include "export.h"
#include "library.h"

using vnl::kSlots;
using vnl::lib;

namespace pl = vnl::planner;

VNL_EXPORT int32_t VNL_SetPtPSpeed(int32_t percent, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  percent = percent > 100 ? 100 : percent < 0 ? 0 : percent;
  L.ptpSpeed[group].store(percent, std::memory_order_relaxed);
  return percent;
}

VNL_EXPORT int32_t VNL_GetPtPSpeed(uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  return L.ptpSpeed[group].load(std::memory_order_relaxed);
}

VNL_EXPORT int32_t VNL_PtP(double x, double y, double z, double u, double v, double w,
                           uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  if (L.shared[group].error.load(std::memory_order_acquire) != 0) return VNL_ERR_STATE;
  if (!(L.feedSpeed[group] > 0)) return VNL_ERR_FEED_SPEED;
  const double value[kSlots] = {x, y, z, u, v, w};
  const double unit = L.unitFactor[group].load(std::memory_order_relaxed);
  const bool incremental = L.coordType[group].load(std::memory_order_relaxed) == 0;
  pl::MotionCommand c{};
  c.code = pl::code::kPtP;
  c.speed = L.ptpSpeed[group].load(std::memory_order_relaxed);
  for (int s = 0; s < kSlots; ++s) {
    if (!std::isfinite(value[s])) return VNL_ERR_RANGE;
    c.target[s] = value[s] * unit + (incremental ? L.lastTargets(group)[s] : 0.0);
    const double p = c.target[s] * L.groupParams[group].axis[s].pulsesPerUnit;
    if (!std::isfinite(p) || p > double(std::numeric_limits<int32_t>::max()) ||
        p < double(std::numeric_limits<int32_t>::min()))
      return VNL_ERR_RANGE;
  }
  return L.queueMotion(c, group);
}

VNL_OLD(VNL_set_ptp_spd, VNL_SetPtPSpeed)
VNL_OLD(VNL_get_ptp_spd, VNL_GetPtPSpeed)
