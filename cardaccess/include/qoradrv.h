/*
 * qoradrv: card-access library of the PCI pulse-train motion card.
 *
 * Finds and opens up to QORA_MAX_CARDS cards through the kernel PCI driver
 * service, reads and writes the registers of the card's motion chip and
 * delivers the chip's interrupts to routines registered at initialisation.
 *
 * Conventions of every function:
 *   - the card index (0..11) is the last argument (QORA_GetVersion has none);
 *   - the result is QORA_DONE (1) or QORA_REFUSED (0). A refused call writes
 *     nothing to the chip, changes no shadow register and leaves its output
 *     arguments untouched. Refused are: a card index of 12 or more, a card
 *     that is not open, an argument outside its range, a null output pointer;
 *   - indices and small field values are uint16_t; values that are written
 *     whole to a register are uint32_t (the register takes its width from the
 *     low bits); volts and milliseconds are float;
 *   - outputs are written through pointers owned by the caller.
 *
 * Threads: each open card has one interrupt thread that calls the registered
 * routines. Any function may be called from any thread, including from a
 * routine on the interrupt thread. A routine's flag array lives only for the
 * call.
 */
#ifndef QORADRV_H
#define QORADRV_H

#include <stdint.h>

#if defined(__GNUC__)
#define QORADRV_API __attribute__((visibility("default")))
#else
#define QORADRV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Constants ---------------------------------------------------------- */

/* Results. */
#define QORA_DONE 1
#define QORA_REFUSED 0

/* Card table. */
#define QORA_MAX_CARDS 12

/* Chip model codes. */
#define QORA_MODEL_210 2
#define QORA_MODEL_310 3

/* PCI identity of the card. */
#define QORA_PCI_VENDOR_ID 0x1D7A
#define QORA_PCI_DEVICE_ID_210 0x0210
#define QORA_PCI_DEVICE_ID_310 0x0310

/* Module numbers of QORA_ResetModule (1..10); 10 resets the whole chip. */
#define QORA_MODULE_FIRST 1
#define QORA_MODULE_CHIP 10

/* Interrupt lines accepted by QORA_SetIRQNo: 3, 5, 7, 10, 11, 12, 15. */
#define QORA_IRQ_DEFAULT 3

/* Bits of the interrupt source, and flag positions of QORA_GetIntSource. */
#define QORA_SRC_DDA 0
#define QORA_SRC_ENC012 1
#define QORA_SRC_ENC345 2
#define QORA_SRC_ENC678 3
#define QORA_SRC_RIO0 4
#define QORA_SRC_RIO1 5
#define QORA_SRC_ADC 6
#define QORA_SRC_LIO 7
#define QORA_SRC_PCL 8

/* Sizes of the condition flag arrays (bytes, each 0 or 1). */
#define QORA_INTSRC_FLAGS 9
#define QORA_DDA_FLAGS 7
#define QORA_ENC_FLAGS 6
#define QORA_RIO_FLAGS 13
#define QORA_ADC_FLAGS 10
#define QORA_LIO_FLAGS 16
#define QORA_PCL_FLAGS 6
/* Large enough for any module's flags. */
#define QORA_MAX_FLAGS 16

/* Module sizes. */
#define QORA_DDA_AXES 6
#define QORA_ENC_CHANNELS 9
#define QORA_DAC_CHANNELS 8
#define QORA_ADC_CHANNELS 8
#define QORA_PCL_AXES 6
#define QORA_RIO_PORTS 2
#define QORA_RIO_SLAVES 3
#define QORA_RIO_WORDS 4

/* QORA_GetVersion: the text and the buffer size it needs. */
#define QORA_VERSION_TEXT "4.00"
#define QORA_VERSION_BUFFER 5

/* ---- Interrupt routines -------------------------------------------------- */

/* A module interrupt routine: receives the module's condition flags, valid
 * only during the call. Runs on the card's interrupt thread. */
typedef void (*QORA_ISR)(uint8_t* flags);

/* ---- Frame: open, close, interrupts -------------------------------------- */

QORADRV_API int QORA210_Init(QORA_ISR dda, QORA_ISR enc012, QORA_ISR enc345, QORA_ISR enc678,
                             QORA_ISR rio0, QORA_ISR rio1, QORA_ISR adc, QORA_ISR lio, QORA_ISR pcl,
                             uint16_t card);
QORADRV_API int QORA310_Init(QORA_ISR dda, QORA_ISR enc012, QORA_ISR enc345, QORA_ISR enc678,
                             QORA_ISR rio0, QORA_ISR rio1, QORA_ISR adc, QORA_ISR lio, QORA_ISR pcl,
                             uint16_t card);
QORADRV_API int QORA_Close(uint16_t card);
QORADRV_API int QORA_ResetModule(uint16_t module, uint16_t card);
QORADRV_API int QORA_SetIRQNo(uint16_t irq, uint16_t card);
/* flags: QORA_INTSRC_FLAGS bytes. Returns 1 when the source read nonzero. */
QORADRV_API int QORA_GetIntSource(uint8_t* flags, uint16_t card);
/* buffer: at least QORA_VERSION_BUFFER bytes. Returns 4. */
QORADRV_API int QORA_GetVersion(char* buffer);
QORADRV_API int QORA_SetISRFunction(QORA_ISR r0, QORA_ISR r1, QORA_ISR r2, QORA_ISR r3, QORA_ISR r4,
                                    uint16_t card);

/* ---- Pulse engine (axis 0..5) -------------------------------------------- */

/* pulses: low 16 bits taken as a signed count, -32767..32767. */
QORADRV_API int QORA_DDA_SendPulse(uint16_t axis, uint32_t pulses, uint16_t card);
QORADRV_API int QORA_DDA_GetStockCount(uint16_t axis, uint16_t* count, uint16_t card);
QORADRV_API int QORA_DDA_CheckFIFOFull(uint16_t axis, uint16_t* flag, uint16_t card);
QORADRV_API int QORA_DDA_CheckFIFOEmpty(uint16_t axis, uint16_t* flag, uint16_t card);
QORADRV_API int QORA_DDA_GetCurrentCmd(uint16_t axis, int32_t* value, uint16_t card);
QORADRV_API int QORA_DDA_EraseFIFOCmd(uint16_t axis, uint32_t count, uint16_t card);
QORADRV_API int QORA_DDA_ShiftOutFIFOCmd(uint16_t card);
QORADRV_API int QORA_DDA_SetMinStockNo(uint32_t count, uint16_t card);
QORADRV_API int QORA_DDA_EnableStockInt(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_DisableStockInt(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_EnableOutputChannel(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_DisableOutputChannel(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_EnableEmgcStop(uint16_t card);
QORADRV_API int QORA_DDA_DisableEmgcStop(uint16_t card);
QORADRV_API int QORA_DDA_StartEngine(uint16_t card);
QORADRV_API int QORA_DDA_StopEngine(uint16_t card);
QORADRV_API int QORA_DDA_EnableCycleInt(uint16_t card);
QORADRV_API int QORA_DDA_DisableCycleInt(uint16_t card);
/* flags: QORA_DDA_FLAGS bytes. */
QORADRV_API int QORA_DDA_GetIntCondition(uint8_t* flags, uint16_t card);
QORADRV_API int QORA_DDA_SetOutputFormat(uint16_t axis, uint16_t format, uint16_t card);
QORADRV_API int QORA_DDA_SetPulseWidth(uint16_t axis, uint16_t width, uint16_t card);
QORADRV_API int QORA_DDA_EnableOutABSwap(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_DisableOutABSwap(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_EnableOutBInverse(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_DisableOutBInverse(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_EnableOutAInverse(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_DisableOutAInverse(uint16_t axis, uint16_t card);
/* time in milliseconds, code 0..5. */
QORADRV_API int QORA_DDA_SetTime(float time, uint16_t code, uint16_t card);
QORADRV_API int QORA_DDA_GetTime(float* time, uint16_t card);
QORADRV_API int QORA_DDA_SetBitLength(uint16_t code, uint16_t card);
QORADRV_API int QORA_DDA_SetClockDivider(uint16_t divider, uint16_t card);
QORADRV_API int QORA_DDA_GetOutputPulse(uint16_t axis, int32_t* value, uint16_t card);
QORADRV_API int QORA_DDA_EnablePulseCounter(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_DisablePulseCounter(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_ClearPulseCounter(uint16_t axis, uint16_t card);
QORADRV_API int QORA_DDA_SetPulseDivider(uint16_t axis, uint32_t divider, uint16_t card);
QORADRV_API int QORA_DDA_ClearPulseDivider(uint16_t axis, uint16_t card);

/* ---- Encoder (channel 0..8) ---------------------------------------------- */

QORADRV_API int QORA_ENC_GetValue(uint16_t channel, int32_t* value, uint16_t card);
QORADRV_API int QORA_ENC_GetLatchValue(uint16_t channel, int32_t* value, uint16_t card);
QORADRV_API int QORA_ENC_SetCompValue(uint16_t channel, int32_t value, uint16_t card);
QORADRV_API int QORA_ENC_ClearCounter(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_StartInput(uint16_t card);
QORADRV_API int QORA_ENC_StopInput(uint16_t card);
QORADRV_API int QORA_ENC_SetFilterClock(uint16_t clock, uint16_t card);
QORADRV_API int QORA_ENC_SetInputType(uint16_t channel, uint16_t type, uint16_t card);
QORADRV_API int QORA_ENC_SetInputRate(uint16_t channel, uint16_t rate, uint16_t card);
QORADRV_API int QORA_ENC_GetInputType(uint16_t channel, uint16_t* type, uint16_t card);
QORADRV_API int QORA_ENC_GetInputRate(uint16_t channel, uint16_t* rate, uint16_t card);
QORADRV_API int QORA_ENC_EnableInAInverse(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_DisableInAInverse(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_EnableInBInverse(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_DisableInBInverse(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_EnableInABSwap(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_DisableInABSwap(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_EnableInCInverse(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_DisableInCInverse(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_SetTrigMode(uint16_t channel, uint16_t mode, uint16_t card);
QORADRV_API int QORA_ENC_SetTrigSource(uint16_t channel, uint16_t source, uint16_t card);
QORADRV_API int QORA_ENC_EnableCompInt(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_DisableCompInt(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_EnableIndexInt(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_DisableIndexInt(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ENC_GetIndexStatus(uint16_t channel, uint16_t* status, uint16_t card);
/* flags: QORA_ENC_FLAGS bytes each. */
QORADRV_API int QORA_ENC012_GetIntCondition(uint8_t* flags, uint16_t card);
QORADRV_API int QORA_ENC345_GetIntCondition(uint8_t* flags, uint16_t card);
QORADRV_API int QORA_ENC678_GetIntCondition(uint8_t* flags, uint16_t card);

/* ---- Local I/O ------------------------------------------------------------ */

QORADRV_API int QORA_LIO_GetLDIInput(uint32_t* value, uint16_t card);
QORADRV_API int QORA_LIO_GetDFIInput(uint32_t* value, uint16_t card);
QORADRV_API int QORA_LIO_GetOverTravelUp(uint16_t axis, uint16_t* state, uint16_t card);
QORADRV_API int QORA_LIO_GetOverTravelDown(uint16_t axis, uint16_t* state, uint16_t card);
QORADRV_API int QORA_LIO_GetHomeSensor(uint16_t axis, uint16_t* state, uint16_t card);
QORADRV_API int QORA_LIO_GetEmgcStopStatus(uint16_t* state, uint16_t card);
QORADRV_API int QORA_LIO_Get24VSensor(uint16_t* state, uint16_t card);
/* flags: QORA_LIO_FLAGS bytes. */
QORADRV_API int QORA_LIO_GetIntCondition(uint8_t* flags, uint16_t card);
QORADRV_API int QORA_LIO_SetLDOOutput(uint32_t value, uint16_t card);
QORADRV_API int QORA_LIO_EnableLDOOutput(uint16_t group, uint16_t card);
QORADRV_API int QORA_LIO_DisableLDOOutput(uint16_t group, uint16_t card);
QORADRV_API int QORA_LIO_ServoOn(uint16_t axis, uint16_t card);
QORADRV_API int QORA_LIO_ServoOff(uint16_t axis, uint16_t card);
QORADRV_API int QORA_LIO_EnableInhibit(uint16_t axis, uint16_t card);
QORADRV_API int QORA_LIO_DisableInhibit(uint16_t axis, uint16_t card);
QORADRV_API int QORA_LIO_EnablePrdy(uint16_t card);
QORADRV_API int QORA_LIO_DisablePrdy(uint16_t card);
QORADRV_API int QORA_LIO_EnablePulseDAC(uint16_t card);
QORADRV_API int QORA_LIO_DisablePulseDAC(uint16_t card);
QORADRV_API int QORA_LIO_SetLDIIntType(uint16_t input, uint16_t type, uint16_t card);
QORADRV_API int QORA_LIO_EnableLDIInt(uint16_t input, uint16_t card);
QORADRV_API int QORA_LIO_DisableLDIInt(uint16_t input, uint16_t card);
QORADRV_API int QORA_LIO_SetDFIIntType(uint16_t input, uint16_t type, uint16_t card);
QORADRV_API int QORA_LIO_EnableDFIInt(uint16_t input, uint16_t card);
QORADRV_API int QORA_LIO_DisableDFIInt(uint16_t input, uint16_t card);
QORADRV_API int QORA_LIO_SetTimer(uint32_t value, uint16_t card);
QORADRV_API int QORA_LIO_EnableTimer(uint16_t card);
QORADRV_API int QORA_LIO_DisableTimer(uint16_t card);
QORADRV_API int QORA_LIO_EnableTimerInt(uint16_t card);
QORADRV_API int QORA_LIO_DisableTimerInt(uint16_t card);
QORADRV_API int QORA_LIO_SetWDogTimer(uint32_t value, uint16_t card);
QORADRV_API int QORA_LIO_SetWDogReset(uint32_t value, uint16_t card);
QORADRV_API int QORA_LIO_EnableWDogTimer(uint16_t card);
QORADRV_API int QORA_LIO_DisableWDogTimer(uint16_t card);
QORADRV_API int QORA_LIO_RefreshWDogTimer(uint16_t card);

/* Extension-board variants: full register widths. */
QORADRV_API int RELM_LIO_GetLDIInput(uint32_t* value, uint16_t card);
QORADRV_API int RELM_LIO_GetDFIInput(uint32_t* value, uint16_t card);
QORADRV_API int RELM_LIO_SetLDOOutput(uint32_t value, uint16_t card);
QORADRV_API int RELM_LIO_EnableLDOOutput(uint16_t group, uint16_t card);
QORADRV_API int RELM_LIO_DisableLDOOutput(uint16_t group, uint16_t card);

/* ---- Closed loop (axis 0..5) ---------------------------------------------- */

/* gain 1..127, shift -7..7. */
QORADRV_API int QORA_PCL_SetScaleGain(uint16_t axis, uint16_t gain, int16_t shift, uint16_t card);
/* The 16-bit error counter, zero-extended. */
QORADRV_API int QORA_PCL_GetErrorCounter(uint16_t axis, int32_t* value, uint16_t card);
QORADRV_API int QORA_PCL_EnableOverflowInt(uint16_t axis, uint16_t card);
QORADRV_API int QORA_PCL_DisableOverflowInt(uint16_t axis, uint16_t card);
QORADRV_API int QORA_PCL_EnableErrorCounter(uint16_t axis, uint16_t card);
QORADRV_API int QORA_PCL_DisableErrorCounter(uint16_t axis, uint16_t card);
QORADRV_API int QORA_PCL_ClearErrorCounter(uint16_t axis, uint16_t card);
QORADRV_API int QORA_PCL_StartControl(uint16_t card);
QORADRV_API int QORA_PCL_StopControl(uint16_t card);
/* flags: QORA_PCL_FLAGS bytes. */
QORADRV_API int QORA_PCL_GetIntCondition(uint8_t* flags, uint16_t card);

/* ---- DAC (channel 0..7) ---------------------------------------------------- */

/* volts -10.0..10.0. */
QORADRV_API int QORA_DAC_SetOutput(uint16_t channel, float volts, uint16_t card);
QORADRV_API int QORA_DAC_SetTrigOutput(uint16_t channel, float volts, uint16_t card);
QORADRV_API int QORA_DAC_SetTrigSource(uint16_t channel, uint32_t source, uint16_t card);
QORADRV_API int QORA_DAC_SetClockDivider(uint16_t divider, uint16_t card);
QORADRV_API int QORA_DAC_StartConv(uint16_t card);
QORADRV_API int QORA_DAC_StopConv(uint16_t card);
QORADRV_API int QORA_DAC_EnableTrigMode(uint16_t channel, uint16_t card);
QORADRV_API int QORA_DAC_DisableTrigMode(uint16_t channel, uint16_t card);
/* source 0 software value, 1 closed-loop command. */
QORADRV_API int QORA_DAC_SetCmdSource(uint16_t channel, uint16_t source, uint16_t card);

/* ---- ADC (channel 0..7) ---------------------------------------------------- */

QORADRV_API int QORA_ADC_GetInput(uint16_t channel, float* volts, uint16_t card);
QORADRV_API int QORA_ADC_SetCompValue(uint16_t channel, float volts, uint16_t card);
QORADRV_API int QORA_ADC_GetCompValue(uint16_t channel, float* volts, uint16_t card);
QORADRV_API int QORA_ADC_SetCompType(uint16_t channel, uint16_t type, uint16_t card);
QORADRV_API int QORA_ADC_EnableCompInt(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ADC_DisableCompInt(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ADC_SetCompMask(uint16_t mask, uint16_t card);
QORADRV_API int QORA_ADC_EnableConvInt(uint16_t card);
QORADRV_API int QORA_ADC_DisableConvInt(uint16_t card);
QORADRV_API int QORA_ADC_EnableTagInt(uint16_t card);
QORADRV_API int QORA_ADC_DisableTagInt(uint16_t card);
QORADRV_API int QORA_ADC_SetClockDivider(uint32_t divider, uint16_t card);
/* type 0 bipolar, 1 unipolar. */
QORADRV_API int QORA_ADC_SetConvType(uint16_t channel, uint16_t type, uint16_t card);
QORADRV_API int QORA_ADC_GetConvType(uint16_t channel, uint16_t* type, uint16_t card);
QORADRV_API int QORA_ADC_EnableConvChannel(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ADC_DisableConvChannel(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ADC_SetConvMode(uint16_t mode, uint16_t card);
QORADRV_API int QORA_ADC_SetTagChannel(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ADC_SetSingleChannel(uint16_t channel, uint16_t card);
QORADRV_API int QORA_ADC_StartConv(uint16_t card);
QORADRV_API int QORA_ADC_StopConv(uint16_t card);
QORADRV_API int QORA_ADC_GetWorkStatus(uint16_t* status, uint16_t card);
/* flags: QORA_ADC_FLAGS bytes. */
QORADRV_API int QORA_ADC_GetIntCondition(uint8_t* flags, uint16_t card);

/* ---- Remote I/O (port 0..1, slave 0..2, word 0..3) ------------------------- */

QORADRV_API int QORA_RIO_GetInputValue(uint16_t port, uint16_t slave, uint16_t word,
                                       uint16_t* value, uint16_t card);
QORADRV_API int QORA_RIO_SetOutputValue(uint16_t port, uint16_t slave, uint16_t word,
                                        uint32_t value, uint16_t card);
QORADRV_API int QORA_RIO_GetSlaveFail(uint16_t port, uint16_t* value, uint16_t card);
QORADRV_API int QORA_RIO_GetMasterStatus(uint16_t port, uint16_t* value, uint16_t card);
QORADRV_API int QORA_RIO_GetSlaveStatus(uint16_t port, uint16_t* value, uint16_t card);
QORADRV_API int QORA_RIO_GetTransStatus(uint16_t port, uint16_t* value, uint16_t card);
QORADRV_API int QORA_RIO_SetClockDivider(uint16_t port, uint8_t divider, uint16_t card);
QORADRV_API int QORA_RIO_SetIntType(uint16_t port, uint16_t slave, uint16_t word, uint16_t type,
                                    uint16_t card);
QORADRV_API int QORA_RIO_EnableInputInt(uint16_t port, uint16_t slave, uint16_t word,
                                        uint16_t card);
QORADRV_API int QORA_RIO_DisableInputInt(uint16_t port, uint16_t slave, uint16_t word,
                                         uint16_t card);
QORADRV_API int QORA_RIO_EnableSlaveControl(uint16_t port, uint16_t slave, uint16_t card);
QORADRV_API int QORA_RIO_DisableSlaveControl(uint16_t port, uint16_t slave, uint16_t card);
QORADRV_API int QORA_RIO_EnableSetControl(uint16_t port, uint16_t card);
QORADRV_API int QORA_RIO_DisableSetControl(uint16_t port, uint16_t card);
QORADRV_API int QORA_RIO_SetTransError(uint16_t port, uint16_t value, uint16_t card);
QORADRV_API int QORA_RIO_EnableTransInt(uint16_t port, uint16_t card);
QORADRV_API int QORA_RIO_DisableTransInt(uint16_t port, uint16_t card);
/* flags: QORA_RIO_FLAGS bytes each. */
QORADRV_API int QORA_RIO0_GetIntCondition(uint8_t* flags, uint16_t card);
QORADRV_API int QORA_RIO1_GetIntCondition(uint8_t* flags, uint16_t card);

#ifdef __cplusplus
}
#endif

#endif /* QORADRV_H */
