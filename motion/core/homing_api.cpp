// The homing run's functions of the interface layer: start it, watch it,
// abort it, and its acceleration steps.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "export.h"
#include "library.h"

using vnl::kAxesPerCard;
using vnl::lib;

namespace {

// A machine record's scale as the homing arithmetic takes it.
vnl::homing::AxisScale scaleOf(const MACHINE_PARAM& given) {
  const MACHINE_PARAM p = vnl::usable(given);
  vnl::homing::AxisScale s;
  s.pitch = p.dfPitch;
  s.gearRatio = p.dfGearRatio;
  s.ppr = p.dwPPR;
  s.rpm = p.wRPM;
  return s;
}

}  // namespace

// ---------------- homing run, interface layer ----------------
VNL_EXPORT int32_t VNL_GoHome(double s0, double s1, double s2, double s3, double s4, double s5,
                              int32_t o0, int32_t o1, int32_t o2, int32_t o3, int32_t o4,
                              int32_t o5, uint16_t card) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (!vnl::cardOk(card)) return VNL_ERR_RANGE;
  const double speed[6] = {s0, s1, s2, s3, s4, s5};
  const int32_t order[6] = {o0, o1, o2, o3, o4, o5};
  // A speed that is not finite, or not positive for an axis to be homed,
  // has no home step; the run is refused before anything is prepared. An
  // axis left out of the run may come with speed 0.
  for (int i = 0; i < 6; ++i) {
    const bool homed = order[i] >= 0 && order[i] <= 5;
    if (!std::isfinite(speed[i]) || (homed && !(speed[i] > 0))) return VNL_ERR_RANGE;
  }
  for (uint16_t g = 0; g < vnl::kGroups; ++g)
    if (L.groupOk(g) && L.motionStatus(g) != 1) return VNL_ERR_NOT_AT_REST;
  vnl::HomingRun& R = L.homingRun;
  R.clearEngine();
  // Pulses per period at the home speed: a period lasts one card cycle.
  const double period = L.cycleTime.load();
  for (int i = 0; i < 6; ++i) {
    const MACHINE_PARAM& p = L.param[card * kAxesPerCard + i];
    const vnl::homing::AxisScale scale = scaleOf(p);
    const vnl::homing::HomeStep h = vnl::homing::homeStep(speed[i], scale, period);
    R.step[i] = h.pulsesPerPeriod;
    // An order value outside 0..5 leaves the axis out of the run.
    R.order[i] = order[i] >= 0 && order[i] <= 5 ? order[i] : vnl::HomingRun::kNotStaged;
    R.offset[i] = vnl::homing::homeOffsetPulses(p.HomeConfig.dfHomeOffset, scale);
    // Earlier acceleration-step settings are replaced by what the home step allows.
    L.homingShared.accApi[i].store(h.accelerationSteps, std::memory_order_relaxed);
  }
  R.card = card;
  for (auto& r : L.refPos)
    r.store(0.0, std::memory_order_relaxed);
  L.homingShared.done.store(0, std::memory_order_relaxed);
  L.homingShared.status.store(0, std::memory_order_relaxed);
  L.homingShared.requested.store(vnl::kRaised, std::memory_order_relaxed);
  L.modeCmd[vnl::kStartHoming].store(vnl::kRaised, std::memory_order_release);
  return 0;
}

VNL_EXPORT int32_t VNL_GetGoHomeStatus(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  vnl::HomingShared& H = L.homingShared;
  if (H.requested.load(std::memory_order_acquire) == vnl::kRaised) {
    if (L.modeCmd[vnl::kStartHoming].load(std::memory_order_acquire) == vnl::kRaised ||
        H.done.load(std::memory_order_acquire) != vnl::kRaised) {
      H.status.store(0, std::memory_order_relaxed);
      return 0;
    }
    H.requested.store(0, std::memory_order_relaxed);
    H.status.store(1, std::memory_order_relaxed);
    return 1;
  }
  const int32_t s = H.status.load(std::memory_order_relaxed);
  return s < 0 ? VNL_ERR_NO_HOMING : s;
}

VNL_EXPORT int32_t VNL_AbortGoHome(void) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  if (L.mode.load(std::memory_order_acquire) != vnl::kHoming) return VNL_ERR_NO_HOMING;
  L.modeCmd[vnl::kStop].store(vnl::kRaised, std::memory_order_release);
  if (!L.poll([&] { return L.mode.load(std::memory_order_acquire) == vnl::kIdle; }, L.pollLimit()))
    return VNL_ERR_TIMEOUT;
  // The run is over: its status stays 0 (not finished) and no longer waits for the engine.
  L.homingShared.requested.store(0, std::memory_order_relaxed);
  return 0;
}

VNL_EXPORT int32_t VNL_SetGoHomeAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                        int32_t w) {
  auto& L = lib();
  if (!L.ready()) return VNL_ERR_NOT_READY;
  const int32_t s[6] = {x, y, z, u, v, w};
  for (int32_t k : s)
    if (k < 0) return VNL_ERR_RANGE;
  for (int i = 0; i < 6; ++i) {
    L.homingShared.accApi[i].store(s[i], std::memory_order_relaxed);
  }
  return 0;
}

VNL_EXPORT int32_t VNL_GetGoHomeAccStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                        int32_t* w) {
  auto& L = lib();
  int32_t* p[6] = {x, y, z, u, v, w};
  for (int i = 0; i < 6; ++i)
    if (p[i]) *p[i] = L.homingShared.accApi[i].load(std::memory_order_relaxed);
  return 0;
}

VNL_OLD(VNL_go_home, VNL_GoHome)
VNL_OLD(VNL_check_homef, VNL_GetGoHomeStatus)
VNL_OLD(VNL_abort_home, VNL_AbortGoHome)
VNL_OLD(VNL_set_home_acc_step, VNL_SetGoHomeAccStep)
VNL_OLD(VNL_get_home_acc_step, VNL_GetGoHomeAccStep)
