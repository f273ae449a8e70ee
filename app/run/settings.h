// What the program sends the motion library from the machine parameters:
// the machine-parameter record of each axis, the Setting button's calls and
// the settings sequence that follows Initialize (and a Setting after it).
#pragma once

#include "state/machine_parameters.h"
#include "varnelpci.h"

namespace tervane {

class MotionLibrary;

// The record of one axis (0 to 5), field by field: a 500-pulse, 30000 rpm
// motor with pitch and gear 1, the axis's limits in units with 5-unit
// offsets, its pulse mode, home and encoder settings; open loop.
MACHINE_PARAM machineRecord(const MachineParameters& p, int axis);

// Setting pressed: VNL_SetSysMaxSpeed, VNL_SetMachParam for axes 0 to 5, and
// when `alsoUpdate` (the library already runs) VNL_UpdateMachParam and the
// settings sequence.
void sendMachineParameters(MotionLibrary& lib, const MachineParameters& p, bool alsoUpdate);

// In-position, coordinate mode, over-travel checks, limit-switch check, unit,
// acceleration and deceleration steps and types, point-to-point steps and
// types, for group 0.
void sendSettings(MotionLibrary& lib, const MachineParameters& p);

}  // namespace tervane
