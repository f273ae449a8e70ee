// The output layer's work on the cards: opening and setting up the cards at
// initialisation, the per-axis output parameters, sensor and counter reads,
// limit stops, queue flushes and pulse sends, the index latch and the
// peripheral operations, as one interface; the core decides when to call
// them. Also the pure rules the output layer applies to what it reads.
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

// The largest pulse count one card command carries (sign and 15 bits).
inline constexpr int32_t kMaxCommandPulses = 32767;
// The part of `count` one command can carry.
inline int32_t sendable(int64_t count) {
  return static_cast<int32_t>(count > kMaxCommandPulses    ? kMaxCommandPulses
                              : count < -kMaxCommandPulses ? -kMaxCommandPulses
                                                           : count);
}

enum class Sensor : uint8_t { OverTravelUp, OverTravelDown, Home };

// The sensor inputs of a card's six axes as raw levels, 0 or 1; -1 where
// the card has no such input or could not be read.
struct SensorLevels {
  int16_t up[6] = {-1, -1, -1, -1, -1, -1};
  int16_t down[6] = {-1, -1, -1, -1, -1, -1};
  int16_t home[6] = {-1, -1, -1, -1, -1, -1};
};
// Whether a raw level is the sensor's configured active level.
inline bool sensorActive(int16_t raw, int16_t level) {
  return raw >= 0 && raw == level;
}

// What a peripheral operation (request codes 16 to 85) came to.
enum class PeripheralResult : uint8_t { Done, Refused, UnknownCode };

// The card path: every operation the motion library performs on its cards.
// The library reaches the cards only through it; the production path calls
// the card-access library (qoraCards()), tests hand the library a fake card.
// Reads return false when the card refused them. Cards are 0..11, axes and
// channels 0..5; the callers check them.
class CardPath {
 public:
  virtual ~CardPath() = default;

  // ---- lifecycle
  // Opens card `card` as model `type` (2 or 3); false on failure or another type.
  virtual bool open(int card, int16_t type, const CardRoutines& routines) = 0;
  // Cycle interrupt off and pulse engine stopped (before close).
  virtual void stopEngine(int card) = 0;
  virtual void close(int card) = 0;
  // Set-up after the output layer's reset, for `count` cards: chip reset,
  // pulse DAC, servos off, pulse counters and channels, DDA time, the cycle
  // interrupt on card 0, encoder counters, rates and filter.
  virtual void initialise(int count, double interpolationMs) = 0;
  // The per-axis output parameters of one axis: pulse format and width,
  // encoder input, and the closed-loop set-up when wCommandMode is 1.
  virtual void writeOutputParams(int card, int axis, const MACHINE_PARAM& param) = 0;
  // Starts the encoder inputs and the pulse engine of every card.
  virtual void start(int count) = 0;

  // ---- settings the request mailbox carries to the card
  virtual void setScaleGain(int card, int axis, int16_t gain, int16_t shift) = 0;
  virtual void setInterpolationTime(int card, double ms) = 0;
  // The DDA cycle card 0 runs, in ms.
  virtual bool cycleTime(float& ms) = 0;
  virtual void resetChip(int card) = 0;
  virtual bool setReady(int card, bool on) = 0;
  virtual bool setServo(int card, int axis, bool on) = 0;
  // One peripheral operation: `value` is the global channel (card x 6 +
  // channel), the global LDI input (card x 7 + input) or the card; `data`
  // carries the further argument (volts as the bits of a float) and takes
  // what a read operation read.
  virtual PeripheralResult peripheral(uint8_t code, uint16_t value, uint32_t& data) = 0;

  // ---- sensors and counters
  // The raw level of one sensor input.
  virtual bool sensor(Sensor which, int card, int axis, uint16_t& level) = 0;
  // Every sensor input of the card from one reading of its input words
  // (the cycle's sampling); false, with every level -1, when the card
  // refused the reading.
  virtual bool sensors(int card, SensorLevels& levels) = 0;
  virtual bool emergencyStop(int card, uint16_t& status) = 0;
  // Output pulse counter.
  virtual bool outputPulses(int card, int axis, int32_t& value) = 0;
  virtual bool encoder(int card, int axis, int32_t& value) = 0;
  virtual bool errorCounter(int card, int axis, int32_t& value) = 0;
  virtual void clearEncoder(int card, int axis) = 0;
  // Disable, clear and enable the pulse counter.
  virtual void restartPulseCounter(int card, int axis) = 0;

  // ---- the axis's card queue
  // Stock count of the queue; 0 when the read fails.
  virtual int stock(int card, int axis) = 0;
  // Queues one command of `count` pulses (at most kMaxCommandPulses either way).
  virtual void send(int card, int axis, int32_t count) = 0;
  // Limit stop: restart the channel and replace the queued commands by as
  // many zero commands, so the queue keeps its depth with no motion in it.
  virtual void stopAxis(int card, int axis) = 0;
  // Flush: erase the queue and restart the channel.
  virtual void flushAxis(int card, int axis) = 0;
  // Erase the queued commands; the channel runs on.
  virtual void eraseQueue(int card, int axis) = 0;

  // ---- index latch (homing)
  virtual bool indexStatus(int card, int channel, uint16_t& status) = 0;
  virtual bool latchValue(int card, int channel, int32_t& value) = 0;
  // The latch takes the channel's next index mark (its own index as source).
  virtual void armIndexLatch(int card, int channel) = 0;
  virtual void disarmIndexLatch(int card, int channel) = 0;
};

// The production card path, through the card-access library.
CardPath& qoraCards();
// Its peripheral operations (qora_peripherals.cpp).
PeripheralResult qoraPeripheral(uint8_t code, uint16_t value, uint32_t& data);

// Whether a sensor reads `level` (a failed read counts as inactive).
inline bool sensorActive(CardPath& path, Sensor which, int card, int axis, int16_t level) {
  uint16_t value = 0;
  return path.sensor(which, card, axis, value) && static_cast<int>(value) == level;
}

// ---- pure rules of the output layer

// The encoder's input-rate code for a multiplication of 1, 2 or 4; 0 otherwise.
inline uint16_t encoderRateCode(uint32_t multiplication) {
  return multiplication == 1 ? 1 : multiplication == 2 ? 2 : multiplication == 4 ? 3 : 0;
}

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
