// A card path with no card behind it: it records what the output layer asks
// of the cards and answers reads from values a test sets.
#pragma once

#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "motion/core/card_path.h"

namespace vnl::test {

class FakeCard final : public cards::CardPath {
 public:
  using Axis = std::pair<int, int>;  // card, axis
  struct Sent {
    int card, axis, count;
    bool operator==(const Sent&) const = default;
  };
  struct Peripheral {
    uint8_t code;
    uint16_t value;
    uint32_t data;
  };

  std::vector<Sent> sent;
  std::vector<Axis> stopped, flushed, erased, restarted, clearedEncoders;
  std::vector<Peripheral> peripherals;
  std::map<Axis, int32_t> outputCounter, encoderValue, error;
  std::map<Axis, int> queued;
  // Raw sensor inputs; unset inputs read 1.
  std::map<std::tuple<cards::Sensor, int, int>, uint16_t> inputs;
  // What a peripheral read leaves in the data field.
  uint32_t peripheralReading = 0;

  bool open(int, int16_t, const cards::CardRoutines&) override { return true; }
  void stopEngine(int) override {}
  void close(int) override {}
  void initialise(int, double) override {}
  void writeOutputParams(int, int, const MACHINE_PARAM&) override {}
  void start(int) override {}

  void setScaleGain(int, int, int16_t, int16_t) override {}
  void setInterpolationTime(int, double) override {}
  bool cycleTime(float&) override { return false; }
  void resetChip(int) override {}
  bool setReady(int, bool) override { return true; }
  bool setServo(int, int, bool) override { return true; }
  cards::PeripheralResult peripheral(uint8_t code, uint16_t value, uint32_t& data) override {
    peripherals.push_back({code, value, data});
    if (code < 16 || code > 85) return cards::PeripheralResult::UnknownCode;
    data = peripheralReading;
    return cards::PeripheralResult::Done;
  }

  bool sensor(cards::Sensor which, int card, int axis, uint16_t& level) override {
    const auto it = inputs.find({which, card, axis});
    level = it == inputs.end() ? 1 : it->second;
    return true;
  }
  bool sensors(int card, cards::SensorLevels& levels) override {
    for (int a = 0; a < 6; ++a) {
      uint16_t v = 0;
      sensor(cards::Sensor::OverTravelUp, card, a, v);
      levels.up[a] = static_cast<int16_t>(v);
      sensor(cards::Sensor::OverTravelDown, card, a, v);
      levels.down[a] = static_cast<int16_t>(v);
      sensor(cards::Sensor::Home, card, a, v);
      levels.home[a] = static_cast<int16_t>(v);
    }
    return true;
  }
  bool emergencyStop(int, uint16_t& status) override {
    status = 0;
    return true;
  }
  bool outputPulses(int card, int axis, int32_t& value) override {
    value = outputCounter[{card, axis}];
    return true;
  }
  bool encoder(int card, int axis, int32_t& value) override {
    value = encoderValue[{card, axis}];
    return true;
  }
  bool errorCounter(int card, int axis, int32_t& value) override {
    value = error[{card, axis}];
    return true;
  }
  void clearEncoder(int card, int axis) override { clearedEncoders.emplace_back(card, axis); }
  void restartPulseCounter(int card, int axis) override {
    restarted.emplace_back(card, axis);
    outputCounter[{card, axis}] = 0;
  }

  int stock(int card, int axis) override { return queued[{card, axis}]; }
  void send(int card, int axis, int32_t count) override {
    sent.push_back({card, axis, count});
    ++queued[{card, axis}];
  }
  void stopAxis(int card, int axis) override { stopped.emplace_back(card, axis); }
  void flushAxis(int card, int axis) override {
    flushed.emplace_back(card, axis);
    queued[{card, axis}] = 0;
  }
  void eraseQueue(int card, int axis) override {
    erased.emplace_back(card, axis);
    queued[{card, axis}] = 0;
  }

  bool indexStatus(int, int, uint16_t& status) override {
    status = 0;
    return true;
  }
  bool latchValue(int, int, int32_t& value) override {
    value = 0;
    return true;
  }
  void armIndexLatch(int, int) override {}
  void disarmIndexLatch(int, int) override {}
};

}  // namespace vnl::test
