// The codes of the output layer's request mailbox and of its error latch.
#pragma once

#include <cstdint>

namespace vnl {

// What a posted request asks the output layer to do. The value is a card
// (ScaleGain, EnableReady, DisableReady), a system-wide axis (ServoOn,
// ServoOff), a group (OutputOn, OutputOff) or the limit stop's kind
// (LimitStopOn). Codes from 16 on are the peripheral requests (Peripheral).
enum class Request : uint8_t {
  ScaleGain = 1,          // the axes' scale gains to the card
  InterpolationTime = 2,  // the interpolation time to every card, then CycleTime
  CycleTime = 3,          // take the cycle card 0 reports
  ResetChip = 4,          // reset every card's chip
  MaxPulse = 5,           // take the maximum pulse count per period
  MaxChange = 6,          // take the maximum change of the count per period
  EnableReady = 8,
  DisableReady = 9,
  ServoOn = 10,
  ServoOff = 11,
  LimitStopOn = 12,
  LimitStopOff = 13,
  OutputOn = 14,   // the group's axes take pulses
  OutputOff = 15,  // the group's card queues are emptied and its axes take none
};

// The peripheral requests: one card operation each. The value is the
// global channel (card x 6 + channel), for the LDI codes the global input
// (card x 7 + input), else the card; data carries the further argument.
enum class Peripheral : uint8_t {
  EncoderInputRate = 16,  // data: the multiplication, 1, 2 or 4
  ClearEncoder = 17,
  LatchType = 18,
  LatchSource = 19,
  LatchValue = 20,  // read
  EnableIndexInterrupt = 21,
  DisableIndexInterrupt = 22,
  IndexStatus = 23,  // read
  EncoderCompareValue = 24,
  EnableEncoderCompareInterrupt = 25,
  DisableEncoderCompareInterrupt = 26,
  LdiInterruptType = 32,
  EnableLdiInterrupt = 33,
  DisableLdiInterrupt = 34,
  SetTimer = 35,
  EnableTimer = 36,
  DisableTimer = 37,
  EnableTimerInterrupt = 38,
  DisableTimerInterrupt = 39,
  WatchdogTimer = 40,
  WatchdogReset = 41,
  EnableWatchdog = 42,
  DisableWatchdog = 43,
  RefreshWatchdog = 44,
  DacClockDivider = 48,
  DacOutput = 49,         // data: volts
  DacTriggerOutput = 50,  // data: volts
  DacTriggerSource = 51,
  EnableDacTriggerMode = 52,
  DisableDacTriggerMode = 53,
  StartDacConversion = 54,
  StopDacConversion = 55,
  AdcClockDivider = 64,
  SetAdcConversionType = 65,
  GetAdcConversionType = 66,  // read
  AdcConversionMode = 67,
  AdcInput = 68,  // read: volts
  AdcSingleChannel = 69,
  AdcWorkStatus = 70,  // read
  EnableAdcConversionInterrupt = 71,
  DisableAdcConversionInterrupt = 72,
  AdcTagChannel = 73,
  EnableAdcTagInterrupt = 74,
  DisableAdcTagInterrupt = 75,
  AdcCompareMask = 76,
  AdcCompareType = 77,
  SetAdcCompareValue = 78,  // data: volts
  GetAdcCompareValue = 79,  // read: volts
  EnableAdcCompareInterrupt = 80,
  DisableAdcCompareInterrupt = 81,
  EnableAdcConversionChannel = 82,
  DisableAdcConversionChannel = 83,
  StartAdcConversion = 84,
  StopAdcConversion = 85,
};

// The output layer's error latch (0: no error).
enum class Latch : uint8_t {
  BadModeCommand = 1,       // a mode command the mode cannot take
  ConflictingCommands = 2,  // two start commands in one cycle
  UnknownRequest = 3,       // a request code nobody serves
  PulseOverMaximum = 7,     // a period's count above the maximum pulse count
  ChangeOverMaximum = 8,    // a count changing by more than the maximum change
};

}  // namespace vnl
