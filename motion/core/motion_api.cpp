// Exported motion functions: command queue and motion status, speed
// settings, and lines. Each checks readiness, the group and its arguments in
// that order, then hands the work to the library (queueing, the parameter
// handshake) or reads what the cycle step published.
#include <cmath>
#include <cstdint>
#include <limits>

#include "export.h"
#include "library.h"

using vnl::checkGroup;
using vnl::kAxesPerCard;
using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;
using vnl::Library;

namespace {

namespace pl = vnl::planner;

// 1 S-curve, 2 linear, 0 for a character that is neither.
int32_t pathType(char c) {
  if (c == 'S' || c == 's') return 1;
  if (c == 'T' || c == 't') return 2;
  return 0;
}

int32_t ptpType(char c) {
  return c == 'S' || c == 's' ? 1 : 2;
}

int32_t setPathType(std::atomic<int32_t>& field, int32_t code, char type, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  const int32_t t = pathType(type);
  if (t == 0) return VNL_ERR_RANGE;
  field.store(t, std::memory_order_relaxed);
  return L.paramHandshake(group, code);
}

int32_t setSteps(std::atomic<int32_t>& field, int32_t code, int32_t steps, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  field.store(steps < 0 ? 0 : steps, std::memory_order_relaxed);
  return L.paramHandshake(group, code);
}

template <class T>
bool allSet(T* const (&p)[kSlots]) {
  for (T* q : p) {
    if (q == nullptr) return false;
  }
  return true;
}

// Builds and queues a line. Slots whose bit is set in `which` get the new
// value (absolute, or added to the last target in incremental coordinates);
// the others keep the group's last target.
int32_t line(const double (&value)[kSlots], unsigned which, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.queueLine(value, which, group);
}

// Queues an in-position switch command after the checks of a motion.
int32_t queueSwitch(uint32_t code, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  if (L.shared[group].error.load(std::memory_order_acquire) != 0) return VNL_ERR_STATE;
  return L.queueSwitch(code, group);
}

constexpr unsigned kAll = 0x3F, kX = 0x01, kY = 0x02, kZ = 0x04, kUVW = 0x38;

}  // namespace

// ---------------- command queue and motion status ----------------
VNL_EXPORT int32_t VNL_GetCommandCount(int32_t* count, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  if (count == nullptr) return VNL_ERR_RANGE;
  *count = static_cast<int32_t>(L.queues[group].count());
  return 0;
}

VNL_EXPORT int32_t VNL_get_cmd_count(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return static_cast<int32_t>(L.queues[group].count());
}

VNL_EXPORT int32_t VNL_GetCurCommand(CurrentCommandInfo* info, uint16_t group) {
  if (group >= kGroups) return VNL_ERR_GROUP;
  if (info == nullptr) return VNL_ERR_RANGE;
  const pl::CurrentCommandInfo c = lib().shared[group].readInfo();
  info->nKind = c.kind;
  info->nIndex = c.index;
  info->dfSpeed = c.speed;
  for (int s = 0; s < kSlots; ++s)
    info->dfTarget[s] = c.target[s];
  return 0;
}

VNL_EXPORT int32_t VNL_ResetCommandIndex(uint16_t group) {
  if (group >= kGroups) return VNL_ERR_GROUP;
  auto& L = lib();
  L.lastIndex[group] = -1;
  L.shared[group].resetInfoIndex();
  return 0;
}

VNL_EXPORT int32_t VNL_GetMotionStatus(uint16_t group) {
  return lib().motionStatus(group);
}

VNL_EXPORT uint8_t* VNL_GetIPOCommandFlagPtr(uint16_t group) {
  if (group >= kGroups) return nullptr;
  return reinterpret_cast<uint8_t*>(&lib().shared[group].drained);
}

VNL_EXPORT uint8_t* VNL_GetIPORunFlagPtr(uint16_t group) {
  if (group >= kGroups) return nullptr;
  return reinterpret_cast<uint8_t*>(&lib().shared[group].startFlag);
}

// ---------------- speed settings ----------------
VNL_EXPORT int32_t VNL_SetAccType(char type, uint16_t group) {
  auto& L = lib();
  return group < kGroups ? setPathType(L.shared[group].accType, pl::param::kAccType, type, group)
                         : checkGroup(L, group);
}
VNL_EXPORT int32_t VNL_SetDecType(char type, uint16_t group) {
  auto& L = lib();
  return group < kGroups ? setPathType(L.shared[group].decType, pl::param::kDecType, type, group)
                         : checkGroup(L, group);
}
VNL_EXPORT int32_t VNL_GetAccType(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.shared[group].accType.load() == 1 ? 1 : 0;
}
VNL_EXPORT int32_t VNL_GetDecType(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.shared[group].decType.load() == 1 ? 1 : 0;
}

VNL_EXPORT int32_t VNL_SetAccStep(int32_t steps, uint16_t group) {
  auto& L = lib();
  return group < kGroups ? setSteps(L.shared[group].accSteps, pl::param::kAccSteps, steps, group)
                         : checkGroup(L, group);
}
VNL_EXPORT int32_t VNL_SetDecStep(int32_t steps, uint16_t group) {
  auto& L = lib();
  return group < kGroups ? setSteps(L.shared[group].decSteps, pl::param::kDecSteps, steps, group)
                         : checkGroup(L, group);
}
VNL_EXPORT int32_t VNL_GetAccStep(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.shared[group].accSteps.load();
}
VNL_EXPORT int32_t VNL_GetDecStep(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.shared[group].decSteps.load();
}

VNL_EXPORT double VNL_SetFeedSpeed(double speed, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  if (!std::isfinite(speed)) return VNL_ERR_RANGE;
  return L.setFeedSpeed(group, speed);
}
VNL_EXPORT double VNL_GetFeedSpeed(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.feedSpeed[group] / L.unitFactor[group].load();
}
VNL_EXPORT double VNL_GetCurFeedSpeed(uint16_t group) {
  auto& L = lib();
  if (!L.groupOk(group)) return VNL_ERR_GROUP;
  return L.shared[group].pathSpeed.load(std::memory_order_relaxed);
}
VNL_EXPORT int32_t VNL_GetSpeed(double* x, double* y, double* z, double* u, double* v, double* w,
                                uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  double* const out[kSlots] = {x, y, z, u, v, w};
  if (!allSet(out)) return VNL_ERR_RANGE;
  for (int s = 0; s < kSlots; ++s)
    *out[s] = L.shared[group].axisSpeed[s].load(std::memory_order_relaxed);
  return 0;
}

namespace {
// Over-speed percent for the handshake: at least 1; reduced so that the
// previous command's cruise speed stays at the system maximum when `test`
// exceeds it. Without a previous plan (V = 0) the percent is kept.
int32_t limitPercent(int32_t percent, double test, double sysMax, double V) {
  if (percent < 1) percent = 1;
  if (test > sysMax && V > 0) {
    const double reduced = std::trunc(sysMax / V * 100.0);
    percent = reduced < 1 ? 1 : static_cast<int32_t>(std::min(reduced, 2147483647.0));
  }
  return percent;
}
}  // namespace

VNL_EXPORT int32_t VNL_SetOverSpeed(int32_t percent, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  pl::GroupShared& sh = L.shared[group];
  const double sysMax = L.groupParams[group].sysMaxSpeed;
  percent = limitPercent(percent, percent * L.feedSpeed[group] / 100.0, sysMax,
                         sh.previousV.load(std::memory_order_relaxed));
  sh.overSpeed.store(percent, std::memory_order_relaxed);
  const int32_t r = L.paramHandshake(group, pl::param::kOverSpeed);
  return r != 0 ? r : percent;
}
VNL_EXPORT int32_t VNL_GetOverSpeed(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.shared[group].overSpeed.load();
}
VNL_EXPORT int32_t VNL_SetPtPOverSpeed(int32_t percent, uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  pl::GroupShared& sh = L.shared[group];
  const double V = sh.previousV.load(std::memory_order_relaxed);
  const double sysMax = L.groupParams[group].sysMaxSpeed;
  percent = limitPercent(percent, (percent < 1 ? 1 : percent) * V / 100.0, sysMax, V);
  sh.ptpOverSpeed.store(percent, std::memory_order_relaxed);
  const int32_t r = L.paramHandshake(group, pl::param::kPtpOverSpeed);
  return r != 0 ? r : percent;
}
VNL_EXPORT int32_t VNL_GetPtPOverSpeed(uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  return L.shared[group].ptpOverSpeed.load();
}

namespace {
int32_t setPtpTypes(std::atomic<int32_t> (&field)[pl::kAxes], int32_t code,
                    const char (&types)[kSlots], uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  for (int s = 0; s < kSlots; ++s)
    field[s].store(ptpType(types[s]), std::memory_order_relaxed);
  return L.paramHandshake(group, code);
}
int32_t getPtpTypes(std::atomic<int32_t> (&field)[pl::kAxes], uint8_t* const (&out)[kSlots]) {
  if (!allSet(out)) return VNL_ERR_RANGE;
  for (int s = 0; s < kSlots; ++s)
    *out[s] = field[s].load() == 1 ? 1 : 0;
  return 0;
}
int32_t setPtpSteps(std::atomic<int32_t> (&field)[pl::kAxes], int32_t code,
                    const int32_t (&steps)[kSlots], uint16_t group) {
  auto& L = lib();
  if (int32_t r = checkGroup(L, group)) return r;
  for (int s = 0; s < kSlots; ++s)
    field[s].store(steps[s] < 0 ? 0 : steps[s], std::memory_order_relaxed);
  return L.paramHandshake(group, code);
}
int32_t getPtpSteps(std::atomic<int32_t> (&field)[pl::kAxes], int32_t* const (&out)[kSlots]) {
  if (!allSet(out)) return VNL_ERR_RANGE;
  for (int s = 0; s < kSlots; ++s)
    *out[s] = field[s].load();
  return 0;
}
}  // namespace

VNL_EXPORT int32_t VNL_SetPtPAccType(char x, char y, char z, char u, char v, char w,
                                     uint16_t group) {
  if (group >= kGroups) return checkGroup(lib(), group);
  return setPtpTypes(lib().shared[group].ptpAccType, pl::param::kAccType, {x, y, z, u, v, w},
                     group);
}
VNL_EXPORT int32_t VNL_SetPtPDecType(char x, char y, char z, char u, char v, char w,
                                     uint16_t group) {
  if (group >= kGroups) return checkGroup(lib(), group);
  return setPtpTypes(lib().shared[group].ptpDecType, pl::param::kDecType, {x, y, z, u, v, w},
                     group);
}
VNL_EXPORT int32_t VNL_GetPtPAccType(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                     uint8_t* w, uint16_t group) {
  if (int32_t r = checkGroup(lib(), group)) return r;
  return getPtpTypes(lib().shared[group].ptpAccType, {x, y, z, u, v, w});
}
VNL_EXPORT int32_t VNL_GetPtPDecType(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                     uint8_t* w, uint16_t group) {
  if (int32_t r = checkGroup(lib(), group)) return r;
  return getPtpTypes(lib().shared[group].ptpDecType, {x, y, z, u, v, w});
}
VNL_EXPORT int32_t VNL_SetPtPAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                     int32_t w, uint16_t group) {
  if (group >= kGroups) return checkGroup(lib(), group);
  return setPtpSteps(lib().shared[group].ptpAccSteps, pl::param::kPtpAccSteps, {x, y, z, u, v, w},
                     group);
}
VNL_EXPORT int32_t VNL_SetPtPDecStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                     int32_t w, uint16_t group) {
  if (group >= kGroups) return checkGroup(lib(), group);
  return setPtpSteps(lib().shared[group].ptpDecSteps, pl::param::kPtpDecSteps, {x, y, z, u, v, w},
                     group);
}
VNL_EXPORT int32_t VNL_GetPtPAccStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                     int32_t* w, uint16_t group) {
  if (int32_t r = checkGroup(lib(), group)) return r;
  return getPtpSteps(lib().shared[group].ptpAccSteps, {x, y, z, u, v, w});
}
VNL_EXPORT int32_t VNL_GetPtPDecStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                     int32_t* w, uint16_t group) {
  if (int32_t r = checkGroup(lib(), group)) return r;
  return getPtpSteps(lib().shared[group].ptpDecSteps, {x, y, z, u, v, w});
}

// ---------------- in-position wait ----------------
VNL_EXPORT int32_t VNL_EnableInPos(uint16_t group) {
  return queueSwitch(pl::code::kInPosOn, group);
}
VNL_EXPORT int32_t VNL_DisableInPos(uint16_t group) {
  return queueSwitch(pl::code::kBlendOff, group);
}

// ---------------- lines ----------------
VNL_EXPORT int32_t VNL_Line(double x, double y, double z, double u, double v, double w,
                            uint16_t group) {
  return line({x, y, z, u, v, w}, kAll, group);
}
VNL_EXPORT int32_t VNL_LineX(double x, uint16_t group) {
  return line({x, 0, 0, 0, 0, 0}, kX, group);
}
VNL_EXPORT int32_t VNL_LineY(double y, uint16_t group) {
  return line({0, y, 0, 0, 0, 0}, kY, group);
}
VNL_EXPORT int32_t VNL_LineZ(double z, uint16_t group) {
  return line({0, 0, z, 0, 0, 0}, kZ, group);
}
VNL_EXPORT int32_t VNL_LineUVW(double u, double v, double w, uint16_t group) {
  return line({0, 0, 0, u, v, w}, kUVW, group);
}

namespace vnl {

double Library::setFeedSpeed(int g, double speed) {
  const double f = speed * unitFactor[g].load();
  const double max = groupParams[g].sysMaxSpeed;
  feedSpeed[g] = f > max ? max : (speed >= 0 ? f : 0.0);
  return f;
}

int32_t Library::queueLine(const double (&value)[kSlots], unsigned which, int g) {
  if (shared[g].error.load(std::memory_order_acquire) != 0) return VNL_ERR_STATE;
  const double feed = feedSpeed[g];
  if (!(feed > 0)) return VNL_ERR_FEED_SPEED;
  const double unit = unitFactor[g].load(std::memory_order_relaxed);
  const bool incremental = coordType[g].load(std::memory_order_relaxed) == 0;
  planner::MotionCommand c{};
  c.code = planner::code::kLine;
  c.speed = feed;
  for (int s = 0; s < kSlots; ++s) {
    const double last = lastTargets(g)[s];
    if ((which >> s & 1u) == 0) {
      c.target[s] = last;
      continue;
    }
    if (!std::isfinite(value[s])) return VNL_ERR_RANGE;
    c.target[s] = value[s] * unit + (incremental ? last : 0.0);
    if (!inPulseRange(c.target[s], groupParams[g].axis[s].pulsesPerUnit)) return VNL_ERR_RANGE;
  }
  return queueMotion(c, g);
}

}  // namespace vnl

// Older names: one implementation, two exported names.
#include "old_names_motion.inc"
