// The codes of the output layer's request mailbox and of its error latch.
#pragma once

#include <cstdint>

namespace vnl {

// What a posted request asks the output layer to do. The value is a card
// (ScaleGain, EnableReady, DisableReady), a system-wide axis (ServoOn,
// ServoOff), a group (OutputOn, OutputOff) or the limit stop's kind
// (LimitStopOn). Codes from kFirstPeripheral on are the pass-through
// requests to the card's peripherals (passthrough.cpp).
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
constexpr uint8_t kFirstPeripheral = 16;
constexpr uint8_t kLastPeripheral = 85;

// The output layer's error latch (0: no error).
enum class Latch : uint8_t {
  BadModeCommand = 1,       // a mode command the mode cannot take
  ConflictingCommands = 2,  // two start commands in one cycle
  UnknownRequest = 3,       // a request code nobody serves
  PulseOverMaximum = 7,     // a period's count above the maximum pulse count
  ChangeOverMaximum = 8,    // a count changing by more than the maximum change
};

}  // namespace vnl
