#include "binding/motion_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "platform/msgbox/msgbox.h"

namespace tervane {

// Every exported name of the library, both forms, typed by the header's
// declaration of the function it stands for.
struct MotionLibraryTable {
#define VNL_ENTRY(exported, declared) decltype(&::declared) exported = nullptr;
#include "vnl_table.inc"
#undef VNL_ENTRY
};

namespace {

template <typename F>
struct Result;
template <typename R, typename... A>
struct Result<R (*)(A...)> {
  using type = R;
};

// What a call answers when the library could not be bound and the fatal
// handler returned (tests): "not ready" where the result is a code.
template <typename R>
R unboundResult() {
  if constexpr (std::is_same_v<R, int32_t>) {
    return VNL_ERR_NOT_READY;
  } else if constexpr (!std::is_void_v<R>) {
    return R{};
  }
}

}  // namespace

void cannotLoadMotionLibrary(const std::string& reason) {
  const std::string text = "Cannot load the motion library: " + reason;
  std::fprintf(stderr, "Tervane: %s\n", text.c_str());
  platform::msgbox::show(text, "Error");
  std::exit(1);
}

MotionLibrary::MotionLibrary(std::string file)
    : file_(std::move(file)), fatal_([](const std::string& r) { cannotLoadMotionLibrary(r); }) {}

MotionLibrary::~MotionLibrary() = default;  // the library stays loaded: its threads may outlive us

int MotionLibrary::tableSize() {
  int n = 0;
#define VNL_ENTRY(exported, declared) ++n;
#include "vnl_table.inc"
#undef VNL_ENTRY
  return n;
}

int MotionLibrary::resolvedNames() const {
  if (!table_) return 0;
  int n = 0;
#define VNL_ENTRY(exported, declared) n += table_->exported != nullptr;
#include "vnl_table.inc"
#undef VNL_ENTRY
  return n;
}

void MotionLibrary::fail(const std::string& reason) {
  failed_ = true;
  fatal_(reason);
}

bool MotionLibrary::bind() {
  if (table_) return true;
  if (failed_) return false;
  handle_ = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    fail(why ? why : file_ + ": cannot be opened");
    return false;
  }
  auto table = std::make_unique<MotionLibraryTable>();
#define VNL_ENTRY(exported, declared) \
  table->exported = reinterpret_cast<decltype(&::declared)>(dlsym(handle_, #exported));
#include "vnl_table.inc"
#undef VNL_ENTRY
  table_ = std::move(table);
  return true;
}

const MotionLibraryTable* MotionLibrary::table() {
  return bind() ? table_.get() : nullptr;
}

template <auto Entry>
auto MotionLibrary::function(const char* name) {
  using Fn = std::remove_reference_t<decltype(std::declval<MotionLibraryTable>().*Entry)>;
  const MotionLibraryTable* t = table();
  if (!t) return Fn{};
  Fn fn = t->*Entry;
  if (!fn) fail(file_ + ": undefined symbol: " + name);
  return fn;
}

// One member per call: look the function up (binding at the first call) and
// call it, or answer as an unbound library does.
#define VNL_CALL(entry, ...)                                \
  do {                                                      \
    auto fn = function<&MotionLibraryTable::entry>(#entry); \
    using R = typename Result<decltype(fn)>::type;          \
    if (!fn) return unboundResult<R>();                     \
    return fn(__VA_ARGS__);                                 \
  } while (false)

int32_t MotionLibrary::InitSystem(int32_t ms, const CardConfig* cards, uint16_t count) {
  VNL_CALL(VNL_InitSystem, ms, cards, count);
}
int32_t MotionLibrary::CloseSystem() {
  VNL_CALL(VNL_CloseSystem);
}
int32_t MotionLibrary::SetMachParam(const MACHINE_PARAM* param, uint16_t axis, uint16_t card) {
  VNL_CALL(VNL_SetMachParam, param, axis, card);
}
int32_t MotionLibrary::UpdateMachParam() {
  VNL_CALL(VNL_UpdateMachParam);
}
int32_t MotionLibrary::SetSysMaxSpeed(double speed) {
  VNL_CALL(VNL_SetSysMaxSpeed, speed);
}
int32_t MotionLibrary::EnableInPos(uint16_t group) {
  VNL_CALL(VNL_EnableInPos, group);
}
int32_t MotionLibrary::SetInPosTolerance(int16_t x, int16_t y, int16_t z, int16_t u, int16_t v,
                                         int16_t w, uint16_t group) {
  VNL_CALL(VNL_SetInPosTolerance, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::SetIncrease(uint16_t group) {
  VNL_CALL(VNL_SetIncrease, group);
}
int32_t MotionLibrary::SetAbsolute(uint16_t group) {
  VNL_CALL(VNL_SetAbsolute, group);
}
int32_t MotionLibrary::SetOverTravelCheck(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                          int32_t w, uint16_t group) {
  VNL_CALL(VNL_SetOverTravelCheck, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::EnableLimitSwitchCheck(int32_t mode) {
  VNL_CALL(VNL_EnableLimitSwitchCheck, mode);
}
int32_t MotionLibrary::SetUnit(int32_t unitType, uint16_t group) {
  VNL_CALL(VNL_SetUnit, unitType, group);
}
int32_t MotionLibrary::SetAccStep(int32_t steps, uint16_t group) {
  VNL_CALL(VNL_SetAccStep, steps, group);
}
int32_t MotionLibrary::SetAccType(char type, uint16_t group) {
  VNL_CALL(VNL_SetAccType, type, group);
}
int32_t MotionLibrary::SetDecStep(int32_t steps, uint16_t group) {
  VNL_CALL(VNL_SetDecStep, steps, group);
}
int32_t MotionLibrary::SetDecType(char type, uint16_t group) {
  VNL_CALL(VNL_SetDecType, type, group);
}
int32_t MotionLibrary::SetPtPAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                     int32_t w, uint16_t group) {
  VNL_CALL(VNL_SetPtPAccStep, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::SetPtPAccType(char x, char y, char z, char u, char v, char w,
                                     uint16_t group) {
  VNL_CALL(VNL_SetPtPAccType, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::SetPtPDecStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                     int32_t w, uint16_t group) {
  VNL_CALL(VNL_SetPtPDecStep, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::SetPtPDecType(char x, char y, char z, char u, char v, char w,
                                     uint16_t group) {
  VNL_CALL(VNL_SetPtPDecType, x, y, z, u, v, w, group);
}
double MotionLibrary::SetFeedSpeed(double speed, uint16_t group) {
  VNL_CALL(VNL_SetFeedSpeed, speed, group);
}
int32_t MotionLibrary::Line(double x, double y, double z, double u, double v, double w,
                            uint16_t group) {
  VNL_CALL(VNL_Line, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::CircleXY(double cx, double cy, uint8_t dir, uint16_t group) {
  VNL_CALL(VNL_CircleXY, cx, cy, dir, group);
}
int32_t MotionLibrary::ArcXY(double refX, double refY, double endX, double endY, uint16_t group) {
  VNL_CALL(VNL_ArcXY, refX, refY, endX, endY, group);
}
int32_t MotionLibrary::DelayMotion(uint32_t periods, uint16_t group) {
  VNL_CALL(VNL_DelayMotion, periods, group);
}
int32_t MotionLibrary::JogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group) {
  VNL_CALL(VNL_JogSpace, distance, percent, axis, group);
}
int32_t MotionLibrary::JogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group) {
  VNL_CALL(VNL_JogConti, direction, percent, axis, group);
}
int32_t MotionLibrary::GoHome(double s0, double s1, double s2, double s3, double s4, double s5,
                              int32_t o0, int32_t o1, int32_t o2, int32_t o3, int32_t o4,
                              int32_t o5, uint16_t card) {
  VNL_CALL(VNL_GoHome, s0, s1, s2, s3, s4, s5, o0, o1, o2, o3, o4, o5, card);
}
int32_t MotionLibrary::GetGoHomeStatus() {
  VNL_CALL(VNL_GetGoHomeStatus);
}
int32_t MotionLibrary::AbortGoHome() {
  VNL_CALL(VNL_AbortGoHome);
}
int32_t MotionLibrary::HoldMotion(uint16_t group) {
  VNL_CALL(VNL_HoldMotion, group);
}
int32_t MotionLibrary::ContiMotion(uint16_t group) {
  VNL_CALL(VNL_ContiMotion, group);
}
int32_t MotionLibrary::AbortMotion(uint16_t group) {
  VNL_CALL(VNL_AbortMotion, group);
}
int32_t MotionLibrary::ResetMotion() {
  VNL_CALL(VNL_ResetMotion);
}
int32_t MotionLibrary::ResetCommandIndex(uint16_t group) {
  VNL_CALL(VNL_ResetCommandIndex, group);
}
int32_t MotionLibrary::GetMotionStatus(uint16_t group) {
  VNL_CALL(VNL_GetMotionStatus, group);
}
int32_t MotionLibrary::GetLimitSwitchStatus(int16_t* status, uint16_t which, uint16_t axis,
                                            uint16_t card) {
  VNL_CALL(VNL_GetLimitSwitchStatus, status, which, axis, card);
}
int32_t MotionLibrary::GetHomeSensorStatus(int16_t* status, uint16_t axis, uint16_t card) {
  VNL_CALL(VNL_GetHomeSensorStatus, status, axis, card);
}
int32_t MotionLibrary::GetENCValue(int32_t* value, uint16_t channel, uint16_t card) {
  VNL_CALL(VNL_GetENCValue, value, channel, card);
}
int32_t MotionLibrary::GetCurPos(double* x, double* y, double* z, double* u, double* v, double* w,
                                 uint16_t group) {
  VNL_CALL(VNL_GetCurPos, x, y, z, u, v, w, group);
}
int32_t MotionLibrary::get_cur_command(CurrentCommandInfo* info, uint16_t group) {
  VNL_CALL(VNL_get_cur_command, info, group);
}
void MotionLibrary::EnableSimulation() {
  VNL_CALL(VNL_EnableSimulation);
}
void MotionLibrary::SimulationRoutine() {
  VNL_CALL(VNL_SimulationRoutine);
}

#undef VNL_CALL

}  // namespace tervane
