/* varnelpci: motion command library, flat C interface. */
#ifndef VARNELPCI_H
#define VARNELPCI_H

#include <stdint.h>

#if defined(VARNELPCI_BUILD)
#define VNL_API __attribute__((visibility("default")))
#else
#define VNL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes shared by every function. */
enum {
  VNL_OK = 0,
  VNL_ERR_NOT_READY = -1,
  VNL_ERR_QUEUE_FULL = -2,
  VNL_ERR_TIMEOUT = -3,
  VNL_ERR_NOT_AT_REST = -4,
  VNL_ERR_RANGE = -5,
  VNL_ERR_GROUP = -6,
  VNL_ERR_FEED_SPEED = -7,
  VNL_ERR_BLEND = -8,
  VNL_ERR_CLOSED_LOOP = -9,
  VNL_ERR_NO_HOMING = -10,
  VNL_ERR_HOLD = -11,
  VNL_ERR_NOT_HELD = -12,
  VNL_ERR_ABORT = -13,
  VNL_ERR_STATE = -14
};

/* Group error words. */
#define VNL_ERRWORD_NOT_READY 0xF100
#define VNL_ERRWORD_UNKNOWN_REQUEST 0xF601

typedef struct CardConfig {
  int16_t wCardType; /* 2 = QORA210, 3 = QORA310 */
  int16_t wParam1;
  int16_t wParam2;
  int16_t wReserved;
} CardConfig;

typedef struct HOME_CONFIG {
  int16_t wType;
  int16_t wPhase0Dir;
  int16_t wPhase1Dir;
  int16_t wSensorMode;
  double dfHomeOffset;
} HOME_CONFIG;

typedef struct ENCODER_CONFIG {
  int16_t wType;
  int16_t wAInverse;
  int16_t wBInverse;
  int16_t wCInverse;
  int16_t wABSwap;
  int16_t wReserved[3];
} ENCODER_CONFIG;

typedef struct MACHINE_PARAM {
  int16_t wDirReverse;
  uint16_t wRPM;
  uint32_t dwPPR;
  double dfPitch;
  double dfGearRatio;
  double dfHighLimit;
  double dfLowLimit;
  double dfHighLimitOffset;
  double dfLowLimitOffset;
  int16_t wPulseMode;
  int16_t wPulseWidth;
  int16_t wCommandMode;
  HOME_CONFIG HomeConfig;
  ENCODER_CONFIG EncoderConfig;
  int16_t wOverTravelUpSensorMode;
  int16_t wOverTravelDownSensorMode;
} MACHINE_PARAM;

/* Pitch-error compensation table of one slot. */
typedef struct COMP_PARAM {
  int32_t dwInterval;
  int16_t wZeroIndex;
  int16_t wPositive[256];
  int16_t wNegative[256];
} COMP_PARAM;

/* The command in execution of a group, as VNL_GetCurCommand copies it out. */
typedef struct CurrentCommandInfo {
  int32_t nKind;      /* -1 none yet, 0 point-to-point or jog, 1 line, 2 clockwise arc, 3
                         counter-clockwise */
  int32_t nIndex;     /* the command's index, 0 to 29999 */
  double dfSpeed;     /* the command's speed field as queued */
  double dfTarget[6]; /* X, Y, Z, U, V, W end point, machine units */
} CurrentCommandInfo;

/* One queued motion command (128 bytes), as VNL_EnqueueCommand takes it.
   The targets are absolute machine coordinates. */
typedef struct MotionCommand {
  uint32_t dwCode;      /* 0x8001 jog, 0x8002 point-to-point, 0x8101 line, 0x8202 arc,
                           0x8300 delay, 0x8F04 / 0x8F05 blending on / off, 0x8F06 in-position on */
  uint32_t dwReserved;  /* zero */
  double dfSpeed;       /* feed speed, percent or delay periods by kind */
  uint32_t dwIndex;     /* command index, 0 to 29999 */
  uint32_t dwCoordMode; /* 0x8600 */
  double dfTarget[6];   /* X, Y, Z, U, V, W end point */
  double dfCentre[3];   /* arc words; zero for every other kind */
  double dfReference[3];
  int32_t nDirection; /* 1 counter-clockwise, 0 clockwise */
  uint32_t dwPlane;
} MotionCommand;

typedef void (*VNL_CycleRoutine)(void);
typedef void (*VNL_Routine)(void* flags);

/* Library frame */
VNL_API int32_t VNL_InitSystem(int32_t interpolationMs, const CardConfig* cards,
                               uint16_t cardCount);
VNL_API int32_t VNL_init_motion(int32_t param, int32_t interpolationMs, const void* cards,
                                uint16_t cardCount);
VNL_API int32_t VNL_CloseSystem(void);
VNL_API int32_t VNL_GetErrorCode(uint16_t group);
VNL_API int32_t VNL_ClearError(uint16_t group);
VNL_API void VNL_EnableSimulation(void);
VNL_API void VNL_DisableSimulation(void);
VNL_API void VNL_SimulationRoutine(void);
VNL_API void VNL_TimeDelay(int32_t ms);

/* Cycle routine and routine registration */
VNL_API int32_t VNL_SetCycleInterruptRoutine(VNL_CycleRoutine routine);
VNL_API int32_t VNL_SetLIORoutine(VNL_Routine routine, uint16_t card);
VNL_API int32_t VNL_SetENCRoutine(VNL_Routine routine, uint16_t card);
VNL_API int32_t VNL_SetADCRoutine(VNL_Routine routine, uint16_t card);
VNL_API int32_t VNL_SetPCLRoutine(VNL_Routine routine, uint16_t card);
VNL_API uint8_t* VNL_GetIPOCommandFlagPtr(uint16_t group);
VNL_API uint8_t* VNL_GetIPORunFlagPtr(uint16_t group);

/* Configuration and machine parameters */
VNL_API int32_t VNL_SetMachParam(const MACHINE_PARAM* param, uint16_t axis, uint16_t card);
VNL_API int32_t VNL_GetMachParam(MACHINE_PARAM* param, uint16_t axis, uint16_t card);
VNL_API int32_t VNL_UpdateMachParam(void);
VNL_API int32_t VNL_SetGroupConfig(const int32_t* config);
VNL_API int32_t VNL_SetGroupContent(uint16_t group, uint16_t card, int16_t x, int16_t y, int16_t z,
                                    int16_t u, int16_t v, int16_t w);
VNL_API int32_t VNL_SetUnit(int32_t unitType, uint16_t group);
VNL_API int32_t VNL_GetUnit(uint16_t group);
VNL_API int32_t VNL_SetAbsolute(uint16_t group);
VNL_API int32_t VNL_SetIncrease(uint16_t group);
VNL_API int32_t VNL_GetCoordType(uint16_t group);
/* The interpolation time is set in ms (1 to 200; the applied time truncated is
   returned). One period lasts the card's DDA cycle for it, the longest whole
   number of 0.8192 ms not above it (0.8192 ms for 1 ms, 4.9152 ms for 5 ms);
   VNL_GetInterpolateTime reports that cycle, in simulation the cycle a card
   would run. Speeds in units per second hold in that machine time, and
   acceleration and deceleration steps are periods of that length. */
VNL_API int32_t VNL_SetInterpolateTime(double ms);
VNL_API double VNL_GetInterpolateTime(void);
VNL_API int32_t VNL_SetMaxPulseSpeed(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                     int32_t w);
VNL_API int32_t VNL_GetMaxPulseSpeed(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                     int32_t* w);
VNL_API int32_t VNL_SetMaxPulseAcc(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                   int32_t w);
VNL_API int32_t VNL_GetMaxPulseAcc(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                   int32_t* w);
VNL_API int32_t VNL_SetSysMaxSpeed(double speed);
VNL_API double VNL_GetSysMaxSpeed(void);
VNL_API int32_t VNL_SetOverTravelCheck(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                       int32_t w, uint16_t group);
VNL_API int32_t VNL_GetOverTravelCheck(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                       int32_t* w, uint16_t group);
VNL_API int32_t VNL_EnableLimitSwitchCheck(int32_t mode);
VNL_API int32_t VNL_DisableLimitSwitchCheck(void);
VNL_API int32_t VNL_SetServoOn(uint16_t axis, uint16_t card);
VNL_API int32_t VNL_SetServoOff(uint16_t axis, uint16_t card);
VNL_API int32_t VNL_EnablePosReady(uint16_t card);
VNL_API int32_t VNL_DisablePosReady(uint16_t card);
VNL_API int32_t VNL_DefinePosHere(uint16_t group);
VNL_API int32_t VNL_define_pos_here(uint16_t group);
VNL_API int32_t VNL_EnableDryRun(void);
VNL_API int32_t VNL_DisableDryRun(void);
VNL_API int32_t VNL_CheckDryRun(void);
VNL_API int32_t VNL_ResetMotion(void);
VNL_API int32_t VNL_ResetDevice(void);

/* Status, position, in-position and compensation */
VNL_API int32_t VNL_GetCurPos(double* x, double* y, double* z, double* u, double* v, double* w,
                              uint16_t group);
VNL_API int32_t VNL_GetPulsePos(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                int32_t* w, uint16_t group);
VNL_API int32_t VNL_GetCurPulseStockCount(int16_t* count, uint16_t axis, uint16_t card);
VNL_API int32_t VNL_GetLimitSwitchStatus(int16_t* status, uint16_t which, uint16_t axis,
                                         uint16_t card);
VNL_API int32_t VNL_GetHomeSensorStatus(int16_t* status, uint16_t axis, uint16_t card);
VNL_API int32_t VNL_GetEmgcStopStatus(uint16_t* status, uint16_t card);
VNL_API int32_t VNL_GetErrorCount(int32_t* a0, int32_t* a1, int32_t* a2, int32_t* a3, int32_t* a4,
                                  int32_t* a5, uint16_t card);
VNL_API int32_t VNL_SetPGain(uint16_t g0, uint16_t g1, uint16_t g2, uint16_t g3, uint16_t g4,
                             uint16_t g5, uint16_t card);
VNL_API int32_t VNL_GetPGain(int16_t* g0, int16_t* g1, int16_t* g2, int16_t* g3, int16_t* g4,
                             int16_t* g5, uint16_t card);
VNL_API int32_t VNL_EnableInPos(uint16_t group);
VNL_API int32_t VNL_DisableInPos(uint16_t group);
VNL_API int32_t VNL_SetInPosTolerance(int16_t x, int16_t y, int16_t z, int16_t u, int16_t v,
                                      int16_t w, uint16_t group);
VNL_API int32_t VNL_GetInPosTolerance(int16_t* x, int16_t* y, int16_t* z, int16_t* u, int16_t* v,
                                      int16_t* w, uint16_t group);
VNL_API int32_t VNL_GetInPosStatus(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                   uint8_t* w, uint16_t group);
VNL_API int32_t VNL_SetInPosCheckTime(uint16_t time, uint16_t group);
VNL_API int32_t VNL_SetCompParam(const COMP_PARAM* param, uint16_t slot, uint16_t card);
VNL_API int32_t VNL_UpdateCompParam(void);

/* Command queue and motion status */
VNL_API int32_t VNL_GetCommandCount(int32_t* count, uint16_t group);
VNL_API int32_t VNL_get_cmd_count(uint16_t group); /* returns the count itself */
VNL_API int32_t VNL_GetCurCommand(CurrentCommandInfo* info, uint16_t group);
VNL_API int32_t VNL_ResetCommandIndex(uint16_t group);
VNL_API int32_t VNL_GetMotionStatus(uint16_t group);

/* Speed settings: path profile (acceleration and deceleration type 'S' or 'T',
   steps in interpolation periods), over-speed percent, and the per-axis
   point-to-point settings. */
VNL_API int32_t VNL_SetAccType(char type, uint16_t group);
VNL_API int32_t VNL_GetAccType(uint16_t group);
VNL_API int32_t VNL_SetDecType(char type, uint16_t group);
VNL_API int32_t VNL_GetDecType(uint16_t group);
VNL_API int32_t VNL_SetAccStep(int32_t steps, uint16_t group);
VNL_API int32_t VNL_GetAccStep(uint16_t group);
VNL_API int32_t VNL_SetDecStep(int32_t steps, uint16_t group);
VNL_API int32_t VNL_GetDecStep(uint16_t group);
VNL_API double VNL_SetFeedSpeed(double speed, uint16_t group);
VNL_API double VNL_GetFeedSpeed(uint16_t group);
VNL_API double VNL_GetCurFeedSpeed(uint16_t group);
VNL_API int32_t VNL_GetSpeed(double* x, double* y, double* z, double* u, double* v, double* w,
                             uint16_t group);
VNL_API int32_t VNL_SetOverSpeed(int32_t percent, uint16_t group);
VNL_API int32_t VNL_GetOverSpeed(uint16_t group);
VNL_API int32_t VNL_SetPtPOverSpeed(int32_t percent, uint16_t group);
VNL_API int32_t VNL_GetPtPOverSpeed(uint16_t group);
VNL_API int32_t VNL_SetPtPAccType(char x, char y, char z, char u, char v, char w, uint16_t group);
VNL_API int32_t VNL_GetPtPAccType(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                  uint8_t* w, uint16_t group);
VNL_API int32_t VNL_SetPtPDecType(char x, char y, char z, char u, char v, char w, uint16_t group);
VNL_API int32_t VNL_GetPtPDecType(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                  uint8_t* w, uint16_t group);
VNL_API int32_t VNL_SetPtPAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v, int32_t w,
                                  uint16_t group);
VNL_API int32_t VNL_GetPtPAccStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                  int32_t* w, uint16_t group);
VNL_API int32_t VNL_SetPtPDecStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v, int32_t w,
                                  uint16_t group);
VNL_API int32_t VNL_GetPtPDecStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                  int32_t* w, uint16_t group);

/* Lines: targets in the caller's units, absolute or incremental by the
   group's coordinate type; the queued command's index on success. */
VNL_API int32_t VNL_Line(double x, double y, double z, double u, double v, double w,
                         uint16_t group);
VNL_API int32_t VNL_LineX(double x, uint16_t group);
VNL_API int32_t VNL_LineY(double y, uint16_t group);
VNL_API int32_t VNL_LineZ(double z, uint16_t group);
VNL_API int32_t VNL_LineUVW(double u, double v, double w, uint16_t group);

/* Arcs through a reference point, full circles about a centre (direction
   non-zero: counter-clockwise about the plane's normal axis), their helical
   variants with U, V, W ends, and three-point arcs in space. Coordinates as
   for lines; the queued command's index on success. */
VNL_API int32_t VNL_ArcXY(double refX, double refY, double endX, double endY, uint16_t group);
VNL_API int32_t VNL_ArcYZ(double refY, double refZ, double endY, double endZ, uint16_t group);
VNL_API int32_t VNL_ArcZX(double refZ, double refX, double endZ, double endX, uint16_t group);
VNL_API int32_t VNL_ArcXYUVW(double refX, double refY, double endX, double endY, double u, double v,
                             double w, uint16_t group);
VNL_API int32_t VNL_ArcYZUVW(double refY, double refZ, double endY, double endZ, double u, double v,
                             double w, uint16_t group);
VNL_API int32_t VNL_ArcZXUVW(double refZ, double refX, double endZ, double endX, double u, double v,
                             double w, uint16_t group);
VNL_API int32_t VNL_CircleXY(double cx, double cy, uint8_t dir, uint16_t group);
VNL_API int32_t VNL_CircleYZ(double cy, double cz, uint8_t dir, uint16_t group);
VNL_API int32_t VNL_CircleZX(double cz, double cx, uint8_t dir, uint16_t group);
VNL_API int32_t VNL_CircleXYUVW(double cx, double cy, double u, double v, double w, uint8_t dir,
                                uint16_t group);
VNL_API int32_t VNL_CircleYZUVW(double cy, double cz, double u, double v, double w, uint8_t dir,
                                uint16_t group);
VNL_API int32_t VNL_CircleZXUVW(double cz, double cx, double u, double v, double w, uint8_t dir,
                                uint16_t group);
VNL_API int32_t VNL_ArcXYZ(double refX, double refY, double refZ, double endX, double endY,
                           double endZ, uint16_t group);

/* Point-to-point: every axis at the point-to-point speed (percent of its own
   maximum speed, 0 to 100, default 10), arriving on its own. */
VNL_API int32_t VNL_SetPtPSpeed(int32_t percent, uint16_t group);
VNL_API int32_t VNL_GetPtPSpeed(uint16_t group);
VNL_API int32_t VNL_PtP(double x, double y, double z, double u, double v, double w, uint16_t group);
/* Jogs of one axis (slot 0 to 5 of the group). VNL_JogSpace queues a move
   of `distance` machine units at `percent` of the axis's maximum speed
   (above 100 taken as 100, which also becomes the point-to-point speed),
   discarding every waiting command, and returns its index; -4 unless the
   group is stopped. VNL_JogConti jogs towards the upper (direction 1) or
   lower (-1) software limit. VNL_JogPulse hands at most 2048 pulses (either
   sign) straight to the output layer and returns 0 once they are out. */
VNL_API int32_t VNL_JogSpace(double distance, int32_t percent, uint8_t axis, uint16_t group);
VNL_API int32_t VNL_JogConti(int32_t direction, int32_t percent, uint8_t axis, uint16_t group);
VNL_API int32_t VNL_JogPulse(int32_t pulses, uint8_t axis, uint16_t group);

/* Interventions. VNL_HoldMotion stops a running group on its path (-11 if it
   does not run or is not held within 50 ms); VNL_ContiMotion finishes the
   held command (-12 if not held); VNL_AbortMotion discards everything
   queued, empties the group's card queues and takes the position where the
   axes stopped as the new reference (-13 when a step of it fails). */
VNL_API int32_t VNL_HoldMotion(uint16_t group);
VNL_API int32_t VNL_ContiMotion(uint16_t group);
VNL_API int32_t VNL_AbortMotion(uint16_t group);
/* Blending switches, queued in order with the motions: the index or the
   queueing error (-8 from VNL_DisableBlend when blending stays on).
   VNL_CheckBlend: 0 when the last switch queued was on, else 1. */
VNL_API int32_t VNL_EnableBlend(uint16_t group);
VNL_API int32_t VNL_DisableBlend(uint16_t group);
VNL_API int32_t VNL_CheckBlend(uint16_t group);
/* A standstill of `periods` interpolation periods between two commands; the
   index or the queueing error. VNL_SetDelayCount queues it on group 0.
   VNL_CheckDelay: 0 while a command executes, 1 when the last queued
   command (or the last delay) has been started and nothing executes, else 2. */
VNL_API int32_t VNL_DelayMotion(uint32_t periods, uint16_t group);
VNL_API int32_t VNL_SetDelayCount(uint32_t periods);
VNL_API int32_t VNL_CheckDelay(uint16_t group);
/* Puts a command record unchanged into the group's queue without starting
   the group: 0, -2 when the queue is full, -5 for a null record, -6 for a
   group of 72 or more, -1 while the library holds no queues. */
VNL_API int32_t VNL_EnqueueCommand(const MotionCommand* record, uint16_t group);
/* Peripheral pass-through: encoder, local-I/O triggers, timer, watchdog, DAC
   and ADC of a card. 0, -1 not ready, -5 index or argument out of range, -9
   DAC channel of a closed-loop axis, -14 the card call failed. */
VNL_API int32_t VNL_SetENCInputRate(uint16_t rate, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_GetENCValue(int32_t* value, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetENCLatchType(uint16_t type, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetENCLatchSource(uint16_t source, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_GetENCLatchValue(int32_t* value, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_GetENCIndexStatus(uint16_t* status, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetENCCompValue(int32_t value, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetLIOTriggerType(uint16_t type, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableLIOTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_DisableLIOTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetDACOutput(float volts, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetDACTriggerOutput(float volts, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetDACTriggerSource(uint32_t source, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableDACTriggerMode(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_DisableDACTriggerMode(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_StartDACConv(uint16_t card);
VNL_API int32_t VNL_StopDACConv(uint16_t card);
VNL_API int32_t VNL_SetADCConvType(uint16_t type, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_GetADCConvType(uint16_t* type, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetADCConvMode(uint16_t mode, uint16_t card);
VNL_API int32_t VNL_GetADCInput(float* volts, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_GetADCWorkStatus(uint16_t* status, uint16_t card);
VNL_API int32_t VNL_SetADCCompMask(uint16_t mask, uint16_t card);
VNL_API int32_t VNL_SetADCCompType(uint16_t channel, uint16_t type, uint16_t card);
VNL_API int32_t VNL_SetADCCompValue(float volts, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_GetADCCompValue(float* volts, uint16_t channel, uint16_t card);
VNL_API int32_t VNL_ClearENCCounter(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableENCIndexTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_DisableENCIndexTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableENCCompTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_DisableENCCompTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetADCSingleChannel(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_SetADCTagChannel(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableADCCompTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_DisableADCCompTrigger(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableADCConvChannel(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_DisableADCConvChannel(uint16_t channel, uint16_t card);
VNL_API int32_t VNL_EnableTimer(uint16_t card);
VNL_API int32_t VNL_DisableTimer(uint16_t card);
VNL_API int32_t VNL_EnableTimerTrigger(uint16_t card);
VNL_API int32_t VNL_DisableTimerTrigger(uint16_t card);
VNL_API int32_t VNL_EnableWatchDogTimer(uint16_t card);
VNL_API int32_t VNL_DisableWatchDogTimer(uint16_t card);
VNL_API int32_t VNL_RefreshWatchDogTimer(uint16_t card);
VNL_API int32_t VNL_EnableADCConvTrigger(uint16_t card);
VNL_API int32_t VNL_DisableADCConvTrigger(uint16_t card);
VNL_API int32_t VNL_EnableADCTagTrigger(uint16_t card);
VNL_API int32_t VNL_DisableADCTagTrigger(uint16_t card);
VNL_API int32_t VNL_StartADCConv(uint16_t card);
VNL_API int32_t VNL_StopADCConv(uint16_t card);
VNL_API int32_t VNL_SetTimer(uint32_t value, uint16_t card);
VNL_API int32_t VNL_SetWatchDogTimer(uint32_t value, uint16_t card);
VNL_API int32_t VNL_SetWatchDogResetPeriod(uint32_t value, uint16_t card);
VNL_API int32_t VNL_SetDACClockDivider(uint16_t value, uint16_t card);
VNL_API int32_t VNL_SetADCClockDivider(uint32_t value, uint16_t card);

/* Homing run of one card's axes 0 to 5: home speeds in user units per
   second, order values 0 to 5 (255 = not homed). */
VNL_API int32_t VNL_GoHome(double s0, double s1, double s2, double s3, double s4, double s5,
                           int32_t o0, int32_t o1, int32_t o2, int32_t o3, int32_t o4, int32_t o5,
                           uint16_t card);
VNL_API int32_t VNL_GetGoHomeStatus(void);
VNL_API int32_t VNL_AbortGoHome(void);
VNL_API int32_t VNL_SetGoHomeAccStep(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                     int32_t w);
VNL_API int32_t VNL_GetGoHomeAccStep(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                     int32_t* w);

/* Stepwise homing of axes 0 to 5 of card 0 with line moves of groups 0 to 3. */
VNL_API int32_t VNL_InitGoHome(void);
VNL_API int32_t VNL_FindHomeSensor(double distance, double speed, uint16_t axis);
VNL_API int32_t VNL_TouchHomeSensor(int32_t* touched, uint16_t axis);
VNL_API int32_t VNL_LeaveHomeSensor(double distance, double speed, uint16_t axis);
VNL_API int32_t VNL_GetEncoderIndex(int32_t* latch, uint16_t axis);
/* Aborts groups 0 to 5, clears the stepwise flags of axes 0 to 5 and makes
   group 0 the six axes of card 0 again, all other groups not in use; 0. */
VNL_API int32_t VNL_StopGoHome(void);

#ifdef __cplusplus
}
#endif

#endif /* VARNELPCI_H */
