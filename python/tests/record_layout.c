/* Prints the size of each record of varnelpci.h and the offset and size of
 * each of its fields, one "<record> <field> <offset> <size>" line each (the
 * record's own line has the field "-"), for the Python binding's layout test. */
#include <stddef.h>
#include <stdio.h>

#include <varnelpci.h>

#define RECORD(r) printf("%s - 0 %zu\n", #r, sizeof(r))
#define FIELD(r, f) printf("%s %s %zu %zu\n", #r, #f, offsetof(r, f), sizeof(((r*)0)->f))

int main(void) {
  RECORD(CardConfig);
  FIELD(CardConfig, wCardType);
  FIELD(CardConfig, wParam1);
  FIELD(CardConfig, wParam2);
  FIELD(CardConfig, wReserved);

  RECORD(HOME_CONFIG);
  FIELD(HOME_CONFIG, wType);
  FIELD(HOME_CONFIG, wPhase0Dir);
  FIELD(HOME_CONFIG, wPhase1Dir);
  FIELD(HOME_CONFIG, wSensorMode);
  FIELD(HOME_CONFIG, dfHomeOffset);

  RECORD(ENCODER_CONFIG);
  FIELD(ENCODER_CONFIG, wType);
  FIELD(ENCODER_CONFIG, wAInverse);
  FIELD(ENCODER_CONFIG, wBInverse);
  FIELD(ENCODER_CONFIG, wCInverse);
  FIELD(ENCODER_CONFIG, wABSwap);
  FIELD(ENCODER_CONFIG, wReserved);

  RECORD(MACHINE_PARAM);
  FIELD(MACHINE_PARAM, wDirReverse);
  FIELD(MACHINE_PARAM, wRPM);
  FIELD(MACHINE_PARAM, dwPPR);
  FIELD(MACHINE_PARAM, dfPitch);
  FIELD(MACHINE_PARAM, dfGearRatio);
  FIELD(MACHINE_PARAM, dfHighLimit);
  FIELD(MACHINE_PARAM, dfLowLimit);
  FIELD(MACHINE_PARAM, dfHighLimitOffset);
  FIELD(MACHINE_PARAM, dfLowLimitOffset);
  FIELD(MACHINE_PARAM, wPulseMode);
  FIELD(MACHINE_PARAM, wPulseWidth);
  FIELD(MACHINE_PARAM, wCommandMode);
  FIELD(MACHINE_PARAM, HomeConfig);
  FIELD(MACHINE_PARAM, EncoderConfig);
  FIELD(MACHINE_PARAM, wOverTravelUpSensorMode);
  FIELD(MACHINE_PARAM, wOverTravelDownSensorMode);

  RECORD(COMP_PARAM);
  FIELD(COMP_PARAM, dwInterval);
  FIELD(COMP_PARAM, wZeroIndex);
  FIELD(COMP_PARAM, wPositive);
  FIELD(COMP_PARAM, wNegative);

  RECORD(CurrentCommandInfo);
  FIELD(CurrentCommandInfo, nKind);
  FIELD(CurrentCommandInfo, nIndex);
  FIELD(CurrentCommandInfo, dfSpeed);
  FIELD(CurrentCommandInfo, dfTarget);

  RECORD(MotionCommand);
  FIELD(MotionCommand, dwCode);
  FIELD(MotionCommand, dwReserved);
  FIELD(MotionCommand, dfSpeed);
  FIELD(MotionCommand, dwIndex);
  FIELD(MotionCommand, dwCoordMode);
  FIELD(MotionCommand, dfTarget);
  FIELD(MotionCommand, dfCentre);
  FIELD(MotionCommand, dfReference);
  FIELD(MotionCommand, nDirection);
  FIELD(MotionCommand, dwPlane);
  return 0;
}
