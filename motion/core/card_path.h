// The output layer's work on the cards, through the card-access library:
// opening and setting up the cards at initialisation, the per-axis output
// parameters, sensor and counter reads, limit stops, queue flushes and pulse
// sends. Free functions over (card, axis); the core decides when to call them.
#pragma once

#include <cstdint>

#include "qoradrv.h"
#include "varnelpci.h"

namespace vnl::cards {

// The nine routines handed to a card's initialisation, in argument order.
struct CardRoutines {
  QORA_ISR dda = nullptr;
  QORA_ISR enc012 = nullptr;
  QORA_ISR enc345 = nullptr;
  QORA_ISR adc = nullptr;
  QORA_ISR lio = nullptr;
  QORA_ISR pcl = nullptr;
};

// Whether `type` names a card the library initialises: 2 (QORA210) or 3 (QORA310).
inline bool isCardType(int16_t type) {
  return type == 2 || type == 3;
}
// Opens card `card` as model `type` (2 or 3); false on failure or another type.
bool open(int card, int16_t type, const CardRoutines& routines);
void close(int card);

// Set-up after the output layer's reset, for `count` cards: chip reset,
// pulse DAC, servos off, pulse counters and channels, DDA time, the cycle
// interrupt on card 0, encoder counters, rates and filter.
void initialise(int count, double interpolationMs);
// The per-axis output parameters of one axis: pulse format and width,
// encoder input, and the closed-loop set-up when wCommandMode is 1.
void writeOutputParams(int card, int axis, const MACHINE_PARAM& param);
// Starts the encoder inputs and the pulse engine of every card.
void start(int count);

// Sensors: each value is 1 when the sensor reads `level`, else 0; a failed
// read counts as inactive.
bool sensorActive(int (*read)(uint16_t, uint16_t*, uint16_t), int card, int axis, int16_t level);
bool overTravelUp(int card, int axis, int16_t level);
bool overTravelDown(int card, int axis, int16_t level);
bool homeSensor(int card, int axis, int16_t level);

// Output pulse counter; false when the read fails.
bool outputPulses(int card, int axis, int32_t& value);
// Stock count of the axis's card queue; 0 when the read fails.
int stock(int card, int axis);
// The largest pulse count one card command carries (sign and 15 bits).
inline constexpr int32_t kMaxCommandPulses = 32767;
// The part of `count` one command can carry.
inline int32_t sendable(int64_t count) {
  return static_cast<int32_t>(count > kMaxCommandPulses    ? kMaxCommandPulses
                              : count < -kMaxCommandPulses ? -kMaxCommandPulses
                                                           : count);
}
// Queues one command of `count` pulses (at most kMaxCommandPulses either way).
void send(int card, int axis, int32_t count);
int32_t encoder(int card, int axis);
int32_t errorCounter(int card, int axis);

// Limit stop: restart the channel and replace the queued commands by as
// many zero commands, so the queue keeps its depth with no motion in it.
void stopAxis(int card, int axis);
// Flush: erase the queue and restart the channel.
void flushAxis(int card, int axis);
// Disable, clear and enable the pulse counter.
void restartPulseCounter(int card, int axis);

// ---- pure rules of the output layer

// Direction from two successive output-pulse counter values: 0 standing,
// 1 towards the lower limit, 2 towards the upper limit.
uint8_t direction(int32_t previous, int32_t now, bool reversed);
// Limit state from the two over-travel sensors: 0, 1 lower, 2 upper, 3 both.
uint8_t limitState(bool upper, bool lower);
// Whether the limit stop of the cycle stops this axis.
bool stopsAxis(uint8_t checkMode, uint8_t limitState, uint8_t direction);
// Whether a pulse count may be sent to an axis in this limit state.
bool maySend(uint8_t checkMode, uint8_t limitState, int32_t count, bool reversed);

}  // namespace vnl::cards
