#include "run/settings.h"

#include "binding/motion_library.h"
#include "run/units.h"

namespace tervane {

MACHINE_PARAM machineRecord(const MachineParameters& p, int axis) {
  MACHINE_PARAM r{};
  r.wDirReverse = 0;
  r.wRPM = static_cast<uint16_t>(kMotorRpm);
  r.dwPPR = static_cast<uint32_t>(kPulsesPerRevolution);
  r.dfPitch = 1.0;
  r.dfGearRatio = 1.0;
  r.dfHighLimit = p.highLimitUnits[axis];
  r.dfLowLimit = p.lowLimitUnits[axis];
  r.dfHighLimitOffset = 5.0;
  r.dfLowLimitOffset = -5.0;
  r.wPulseMode = p.pulseMode[axis];
  r.wPulseWidth = 25;
  r.wCommandMode = 0;
  r.HomeConfig.wType = p.homeType[axis];
  r.HomeConfig.wPhase0Dir = p.findHomeDirection[axis];
  r.HomeConfig.wPhase1Dir = p.leaveHomeDirection[axis];
  r.HomeConfig.wSensorMode = p.homeSensorMode[axis];
  r.HomeConfig.dfHomeOffset = 0.0;
  r.EncoderConfig.wType = p.encoderType[axis];
  r.EncoderConfig.wAInverse = 0;
  r.EncoderConfig.wBInverse = 0;
  r.EncoderConfig.wCInverse = 0;
  r.EncoderConfig.wABSwap = p.abPhaseSwap[axis];
  // The form's + Limit and - Limit choices are kept in the file only.
  r.wOverTravelUpSensorMode = 0;
  r.wOverTravelDownSensorMode = 0;
  return r;
}

void sendMachineParameters(MotionLibrary& lib, const MachineParameters& p, bool alsoUpdate) {
  lib.SetSysMaxSpeed(p.maxSpeedUnits);
  for (int axis = 0; axis < kRecordAxes; ++axis) {
    const MACHINE_PARAM record = machineRecord(p, axis);
    lib.SetMachParam(&record, static_cast<uint16_t>(axis), 0);
  }
  if (!alsoUpdate) return;
  lib.UpdateMachParam();
  sendSettings(lib, p);
}

void sendSettings(MotionLibrary& lib, const MachineParameters& p) {
  if (p.inPositionCheck == 1) {
    lib.EnableInPos(0);
    lib.SetInPosTolerance(100, 100, 100, 100, 0, 0, 0);
  }
  if (p.coordinateMode == 1) {
    lib.SetAbsolute(0);
  } else {
    lib.SetIncrease(0);
  }
  const auto& check = p.softwareLimitCheck;
  lib.SetOverTravelCheck(check[0], check[1], check[2], check[3], 0, 0, 0);
  lib.EnableLimitSwitchCheck(p.hardwareLimitCheck);
  lib.SetUnit(1, 0);
  lib.SetAccStep(p.accelerationSteps, 0);
  lib.SetAccType(p.accelerationType, 0);
  lib.SetDecStep(p.decelerationSteps, 0);
  lib.SetDecType(p.decelerationType, 0);
  const int32_t as = p.accelerationSteps, ds = p.decelerationSteps;
  const char at = p.accelerationType, dt = p.decelerationType;
  lib.SetPtPAccStep(as, as, as, as, 0, 0, 0);
  lib.SetPtPAccType(at, at, at, at, 0, 0, 0);
  lib.SetPtPDecStep(ds, ds, ds, ds, 0, 0, 0);
  lib.SetPtPDecType(dt, dt, dt, dt, 0, 0, 0);
}

}  // namespace tervane
