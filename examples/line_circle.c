/* A line and a full circle with the motion library, from plain C.
 *
 *   line_circle sim    planning only, no card (simulation mode)
 *   line_circle card   on card 0: the virtual card when no real one is bound
 *
 * Group 0 is axes X and Y of card 0. The program prints the position every
 * 20 ms while the moves run and checks that the axes end where they were
 * sent: exit status 0 when they do. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <varnelpci.h>

static int waitStopped(const char* what) {
  int ms = 0;
  double x, y, z, u, v, w;
  while (VNL_GetMotionStatus(0) != 1) {
    if (ms % 20 == 0) {
      VNL_GetCurPos(&x, &y, &z, &u, &v, &w, 0);
      printf("  %-6s t=%4d ms  X %8.4f  Y %8.4f\n", what, ms, x, y);
    }
    VNL_TimeDelay(1);
    if (++ms > 20000) {
      fprintf(stderr, "line_circle: %s did not stop within 20 s\n", what);
      return 0;
    }
  }
  return 1;
}

static int at(double wantX, double wantY) {
  double x, y, z, u, v, w;
  if (VNL_GetCurPos(&x, &y, &z, &u, &v, &w, 0) != VNL_OK) return 0;
  printf("  at X %.4f Y %.4f (target X %.4f Y %.4f)\n", x, y, wantX, wantY);
  return fabs(x - wantX) < 1e-3 && fabs(y - wantY) < 1e-3;
}

int main(int argc, char** argv) {
  const int simulate = argc < 2 || strcmp(argv[1], "card") != 0;
  if (simulate) VNL_EnableSimulation();

  /* Four axes of 1000 pulses per unit (1000 pulses a turn, 1 unit a turn). */
  MACHINE_PARAM axis;
  memset(&axis, 0, sizeof axis);
  axis.wRPM = 1000;
  axis.dwPPR = 1000;
  axis.dfPitch = 1.0;
  axis.dfGearRatio = 1.0;
  axis.dfHighLimit = 1000.0;
  axis.dfLowLimit = -1000.0;
  for (uint16_t a = 0; a < 4; ++a)
    VNL_SetMachParam(&axis, a, 0);
  VNL_SetSysMaxSpeed(100);

  const CardConfig card = {2, 0, 0, 0}; /* one card of the first model */
  int32_t rc = VNL_InitSystem(1, &card, 1);
  if (rc != VNL_OK) {
    fprintf(stderr, "line_circle: VNL_InitSystem returned %d\n", rc);
    return 1;
  }
  printf("%s, interpolation period %.1f ms\n", simulate ? "simulation" : "card 0",
         VNL_GetInterpolateTime());

  int ok = 1;
  VNL_SetFeedSpeed(10, 0);
  rc = VNL_Line(1.0, 0.5, 0, 0, 0, 0, 0);
  printf("line to (1, 0.5): command %d\n", rc);
  ok = rc >= 0 && waitStopped("line") && at(1.0, 0.5) && ok;

  /* A full counter-clockwise circle about (1.5, 0.5): it ends where it began. */
  rc = VNL_CircleXY(1.5, 0.5, 1, 0);
  printf("circle about (1.5, 0.5): command %d\n", rc);
  ok = rc >= 0 && waitStopped("circle") && at(1.0, 0.5) && ok;

  VNL_CloseSystem();
  printf("%s\n", ok ? "done" : "FAILED");
  return ok ? 0 : 1;
}
