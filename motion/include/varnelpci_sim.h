/* varnelpci: additions for simulation tools and benches, beside the classic
   interface of varnelpci.h. */
#ifndef VARNELPCI_SIM_H
#define VARNELPCI_SIM_H

#include "varnelpci.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Called once per interpolation period in which the output layer handed out
   pulse blocks, after it has done so, on the thread that runs the cycle (the
   caller's thread in simulation). The observer may call the query functions
   (VNL_GetPulsePos, VNL_GetCurPos, VNL_GetSpeed, VNL_GetCurFeedSpeed, ...);
   it must not queue commands or wait. */
typedef void (*VNL_PeriodObserver)(void* user);

/* Installs the observer (null removes it). */
VNL_API void vnl_set_period_observer(VNL_PeriodObserver observer, void* user);

#ifdef __cplusplus
}
#endif

#endif /* VARNELPCI_SIM_H */
