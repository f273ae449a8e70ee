// The operator program's binding of the motion library.
//
// The library is opened by file name at the first call (dlopen, found through
// the program's run path), and every exported name, in both of its forms, is
// looked up into one table (generated from varnelpci.h). The program calls the
// library only through the member functions below; a library that cannot be
// opened, or lacks a function the program calls, is fatal: the fatal handler
// is told why (by default it shows "Cannot load the motion library: <reason>"
// and ends the program with status 1).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "varnelpci.h"

namespace tervane {

struct MotionLibraryTable;

class MotionLibrary {
 public:
  using FatalHandler = std::function<void(const std::string& reason)>;

  // The run-time name (soname): the unversioned link belongs to the
  // development files.
  static constexpr const char* kDefaultFile = "libvarnelpci.so.1";

  explicit MotionLibrary(std::string file = kDefaultFile);
  ~MotionLibrary();
  MotionLibrary(const MotionLibrary&) = delete;
  MotionLibrary& operator=(const MotionLibrary&) = delete;

  const std::string& file() const { return file_; }
  bool bound() const { return table_ != nullptr; }
  // Binds now; false (after the fatal handler has run) when it cannot.
  bool bind();
  void setFatalHandler(FatalHandler handler) { fatal_ = std::move(handler); }
  // How many names of the table the library resolved, of how many.
  int resolvedNames() const;
  static int tableSize();

  // ---- the calls the operator program makes
  int32_t InitSystem(int32_t interpolationMs, const CardConfig* cards, uint16_t cardCount);
  int32_t CloseSystem();
  int32_t SetMachParam(const MACHINE_PARAM* param, uint16_t axis, uint16_t card);
  int32_t UpdateMachParam();
  int32_t SetSysMaxSpeed(double speed);
  int32_t EnableInPos(uint16_t group);
  int32_t SetInPosTolerance(int16_t x, int16_t y, int16_t z, int16_t u, int16_t v, int16_t w,
                            uint16_t group);
  int32_t SetIncrease(uint16_t group);
  int32_t SetAbsolute(uint16_t group);
  int32_t SetOverTravelCheck(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v, int32_t w,
                             uint16_t group);
  int32_t EnableLimitSwitchCheck(int32_t mode);
  int32_t SetUnit(int32_t unitType, uint16_t group);
  int32_t SetAccStep(int32_t steps, uint16_t group);
  int32_t SetAccType(char type, uint16_t group);
  int32_t SetDecStep(int32_t steps, uint16_t group);
  int32_t SetDecType(char type, uint16_t group);
  int32_t SetPtPAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v, int32_t w,
                        uint16_t group);
  int32_t SetPtPAccType(char x, char y, char z, char u, char v, char w, uint16_t group);
  int32_t SetPtPDecStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v, int32_t w,
                        uint16_t group);
  int32_t SetPtPDecType(char x, char y, char z, char u, char v, char w, uint16_t group);
  double SetFeedSpeed(double speed, uint16_t group);
  int32_t Line(double x, double y, double z, double u, double v, double w, uint16_t group);
  int32_t CircleXY(double cx, double cy, uint8_t dir, uint16_t group);
  int32_t ArcXY(double refX, double refY, double endX, double endY, uint16_t group);
  int32_t DelayMotion(uint32_t periods, uint16_t group);
  int32_t JogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group);
  int32_t JogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group);
  int32_t GoHome(double s0, double s1, double s2, double s3, double s4, double s5, int32_t o0,
                 int32_t o1, int32_t o2, int32_t o3, int32_t o4, int32_t o5, uint16_t card);
  int32_t GetGoHomeStatus();
  int32_t AbortGoHome();
  int32_t HoldMotion(uint16_t group);
  int32_t ContiMotion(uint16_t group);
  int32_t AbortMotion(uint16_t group);
  int32_t ResetMotion();
  int32_t ResetCommandIndex(uint16_t group);
  int32_t GetMotionStatus(uint16_t group);
  int32_t GetLimitSwitchStatus(int16_t* status, uint16_t which, uint16_t axis, uint16_t card);
  int32_t GetHomeSensorStatus(int16_t* status, uint16_t axis, uint16_t card);
  int32_t GetENCValue(int32_t* value, uint16_t channel, uint16_t card);
  int32_t GetCurPos(double* x, double* y, double* z, double* u, double* v, double* w,
                    uint16_t group);
  int32_t get_cur_command(CurrentCommandInfo* info, uint16_t group);
  // Simulation mode only: the library's switch and its cycle, driven by the
  // program in place of a card.
  void EnableSimulation();
  void SimulationRoutine();

 private:
  const MotionLibraryTable* table();
  // The function of `entry`, or the fatal handler's verdict when missing.
  template <auto Entry>
  auto function(const char* name);
  void fail(const std::string& reason);

  std::string file_;
  FatalHandler fatal_;
  void* handle_ = nullptr;
  std::unique_ptr<MotionLibraryTable> table_;
  bool failed_ = false;
};

// Shows "Cannot load the motion library: <reason>" through the message-box
// hook and ends the process with status 1.
[[noreturn]] void cannotLoadMotionLibrary(const std::string& reason);

}  // namespace tervane
