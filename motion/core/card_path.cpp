#include "card_path.h"

#include "platform/chip/dda_timing.h"
#include "platform/chip/regs.h"

namespace vnl::cards {
namespace {
constexpr uint16_t u16(int v) {
  return static_cast<uint16_t>(v);
}

// The production card path: each operation is one or a few calls of the
// card-access library.
class QoraCards final : public CardPath {
 public:
  bool open(int card, int16_t type, const CardRoutines& r) override {
    const uint16_t c = u16(card);
    bool opened = false;
    if (type == 2)
      opened = QORA210_Init(r.dda, r.enc012, r.enc345, nullptr, nullptr, nullptr, r.adc, r.lio,
                            r.pcl, c) != 0;
    if (type == 3)
      opened = QORA310_Init(r.dda, r.enc012, r.enc345, nullptr, nullptr, nullptr, r.adc, r.lio,
                            r.pcl, c) != 0;
    if (opened && card >= 0 && card < kCards) model_[card] = type;
    return opened;
  }

  void stopEngine(int card) override {
    QORA_DDA_DisableCycleInt(u16(card));
    QORA_DDA_StopEngine(u16(card));
  }

  void close(int card) override { QORA_Close(u16(card)); }

  void initialise(int count, double interpolationMs) override {
    for (int c = 0; c < count; ++c)
      QORA_ResetModule(QORA_MODULE_CHIP, u16(c));
    for (int c = 0; c < count; ++c) {
      const uint16_t card = u16(c);
      QORA_LIO_EnablePulseDAC(card);
      for (uint16_t a = 0; a < 6; ++a)
        QORA_LIO_ServoOff(a, card);
      for (uint16_t a = 0; a < 6; ++a) {
        QORA_DDA_ClearPulseCounter(a, card);
        QORA_DDA_EnablePulseCounter(a, card);
        QORA_DDA_EnableOutputChannel(a, card);
      }
      QORA_DDA_SetTime(static_cast<float>(interpolationMs), chip::kDdaMotionBitLengthCode, card);
      if (c == 0) QORA_DDA_EnableCycleInt(0);
      for (uint16_t a = 0; a < 6; ++a) {
        QORA_ENC_ClearCounter(a, card);
        QORA_ENC_SetInputRate(a, 3, card);  // rate code 3: four counts per cycle
      }
      QORA_ENC_SetFilterClock(10, card);
    }
  }

  void writeOutputParams(int card, int axis, const MACHINE_PARAM& p) override {
    const uint16_t c = u16(card);
    const uint16_t a = u16(axis);
    const ENCODER_CONFIG& e = p.EncoderConfig;
    QORA_DDA_SetOutputFormat(a, u16(p.wPulseMode), c);
    QORA_DDA_SetPulseWidth(a, u16(p.wPulseWidth), c);
    QORA_ENC_SetInputType(a, u16(e.wType), c);
    (e.wAInverse ? QORA_ENC_EnableInAInverse : QORA_ENC_DisableInAInverse)(a, c);
    (e.wBInverse ? QORA_ENC_EnableInBInverse : QORA_ENC_DisableInBInverse)(a, c);
    (e.wCInverse ? QORA_ENC_EnableInCInverse : QORA_ENC_DisableInCInverse)(a, c);
    (e.wABSwap ? QORA_ENC_EnableInABSwap : QORA_ENC_DisableInABSwap)(a, c);
    if (p.wCommandMode == 1) {
      QORA_DAC_SetCmdSource(a, 1, c);
      QORA_PCL_ClearErrorCounter(a, c);
      QORA_PCL_SetScaleGain(a, 64, -1, c);
      QORA_PCL_EnableOverflowInt(a, c);
      QORA_PCL_EnableErrorCounter(a, c);
      QORA_DAC_SetClockDivider(10, c);
      QORA_DAC_StartConv(c);
      QORA_PCL_StartControl(c);
    } else {
      QORA_DAC_SetCmdSource(a, 0, c);
      QORA_DAC_StartConv(c);
    }
  }

  void start(int count) override {
    for (int c = 0; c < count; ++c) {
      QORA_ENC_StartInput(u16(c));
      QORA_DDA_StartEngine(u16(c));
    }
  }

  void setScaleGain(int card, int axis, int16_t gain, int16_t shift) override {
    QORA_PCL_SetScaleGain(u16(axis), gain, shift, u16(card));
  }
  void setInterpolationTime(int card, double ms) override {
    QORA_DDA_SetTime(static_cast<float>(ms), chip::kDdaMotionBitLengthCode, u16(card));
  }
  bool cycleTime(float& ms) override { return QORA_DDA_GetTime(&ms, 0) != 0; }
  void resetChip(int card) override { QORA_ResetModule(QORA_MODULE_CHIP, u16(card)); }
  bool setReady(int card, bool on) override {
    return (on ? QORA_LIO_EnablePrdy : QORA_LIO_DisablePrdy)(u16(card)) != 0;
  }
  bool setServo(int card, int axis, bool on) override {
    return (on ? QORA_LIO_ServoOn : QORA_LIO_ServoOff)(u16(axis), u16(card)) != 0;
  }
  PeripheralResult peripheral(uint8_t code, uint16_t value, uint32_t& data) override {
    return qoraPeripheral(code, value, data);
  }

  bool sensor(Sensor which, int card, int axis, uint16_t& level) override {
    auto read = which == Sensor::OverTravelUp     ? QORA_LIO_GetOverTravelUp
                : which == Sensor::OverTravelDown ? QORA_LIO_GetOverTravelDown
                                                  : QORA_LIO_GetHomeSensor;
    return read(u16(axis), &level, u16(card)) != 0;
  }
  // The LDI and DFI words read once (four registers) instead of two
  // registers per sensor, decoded by the signal layout of the card's model.
  bool sensors(int card, SensorLevels& levels) override {
    levels = SensorLevels{};
    uint32_t ldi = 0;
    uint32_t dfi = 0;
    if (QORA_LIO_GetLDIInput(&ldi, u16(card)) == 0 || QORA_LIO_GetDFIInput(&dfi, u16(card)) == 0)
      return false;
    const chip::reg::LioLayout& layout = card >= 0 && card < kCards && model_[card] == 3
                                             ? chip::reg::kLayout310
                                             : chip::reg::kLayout210;
    auto level = [](uint32_t word, unsigned bitNo) -> int16_t {
      return chip::reg::bit(word, bitNo) ? 1 : 0;
    };
    for (unsigned a = 0; a < 6; ++a) {
      if (a < layout.overTravelAxes) {
        levels.up[a] = level(ldi, a);
        levels.down[a] = level(ldi, layout.overTravelDownBase + a);
      }
      levels.home[a] =
          a < 4 ? level(ldi, layout.homeBase + a) : level(dfi, chip::reg::kDfiHomeBase + a);
    }
    return true;
  }
  bool emergencyStop(int card, uint16_t& status) override {
    return QORA_LIO_GetEmgcStopStatus(&status, u16(card)) != 0;
  }
  bool outputPulses(int card, int axis, int32_t& value) override {
    return QORA_DDA_GetOutputPulse(u16(axis), &value, u16(card)) != 0;
  }
  bool encoder(int card, int axis, int32_t& value) override {
    return QORA_ENC_GetValue(u16(axis), &value, u16(card)) != 0;
  }
  bool errorCounter(int card, int axis, int32_t& value) override {
    return QORA_PCL_GetErrorCounter(u16(axis), &value, u16(card)) != 0;
  }
  void clearEncoder(int card, int axis) override { QORA_ENC_ClearCounter(u16(axis), u16(card)); }
  void restartPulseCounter(int card, int axis) override {
    QORA_DDA_DisablePulseCounter(u16(axis), u16(card));
    QORA_DDA_ClearPulseCounter(u16(axis), u16(card));
    QORA_DDA_EnablePulseCounter(u16(axis), u16(card));
  }

  int stock(int card, int axis) override {
    uint16_t n = 0;
    if (QORA_DDA_GetStockCount(u16(axis), &n, u16(card)) == 0) return 0;
    return n;
  }
  void send(int card, int axis, int32_t count) override {
    QORA_DDA_SendPulse(u16(axis), static_cast<uint32_t>(count), u16(card));
  }
  void stopAxis(int card, int axis) override {
    const uint16_t c = u16(card);
    const uint16_t a = u16(axis);
    QORA_DDA_DisableOutputChannel(a, c);
    QORA_DDA_EnableOutputChannel(a, c);
    const int n = stock(card, axis);
    if (n == 0) return;
    QORA_DDA_EraseFIFOCmd(a, static_cast<uint32_t>(n), c);
    for (int i = 0; i < n; ++i)
      QORA_DDA_SendPulse(a, 0, c);
  }
  void flushAxis(int card, int axis) override {
    eraseQueue(card, axis);
    QORA_DDA_DisableOutputChannel(u16(axis), u16(card));
    QORA_DDA_EnableOutputChannel(u16(axis), u16(card));
  }
  void eraseQueue(int card, int axis) override {
    const int n = stock(card, axis);
    if (n != 0) QORA_DDA_EraseFIFOCmd(u16(axis), static_cast<uint32_t>(n), u16(card));
  }

  bool indexStatus(int card, int channel, uint16_t& status) override {
    return QORA_ENC_GetIndexStatus(u16(channel), &status, u16(card)) != 0;
  }
  bool latchValue(int card, int channel, int32_t& value) override {
    return QORA_ENC_GetLatchValue(u16(channel), &value, u16(card)) != 0;
  }
  void armIndexLatch(int card, int channel) override {
    const uint16_t ch = u16(channel);
    QORA_ENC_EnableIndexInt(ch, u16(card));
    QORA_ENC_SetTrigMode(ch, 0, u16(card));
    QORA_ENC_SetTrigSource(ch, static_cast<uint16_t>(1u << channel), u16(card));
  }
  void disarmIndexLatch(int card, int channel) override {
    QORA_ENC_DisableIndexInt(u16(channel), u16(card));
  }

 private:
  static constexpr int kCards = 12;
  int16_t model_[kCards]{};  // the model each card was opened as
};

}  // namespace

CardPath& qoraCards() {
  static QoraCards path;
  return path;
}

uint8_t direction(int32_t previous, int32_t now, bool reversed) {
  if (now == previous) return 0;
  const bool up = now > previous;
  return (up != reversed) ? 2 : 1;
}

uint8_t limitState(bool upper, bool lower) {
  return static_cast<uint8_t>((upper ? 2 : 0) | (lower ? 1 : 0));
}

bool stopsAxis(uint8_t mode, uint8_t state, uint8_t dir) {
  if (mode == 0) return false;
  return (mode == 2 && (state == 1 || state == 2)) || (state == 1 && dir == 1) ||
         (state == 2 && dir == 2);
}

bool maySend(uint8_t mode, uint8_t state, int32_t count, bool reversed) {
  if (mode == 0 || state == 0) return true;
  if (mode == 2 || state == 3) return false;
  // Mode 1: only counts that move away from the active limit.
  if (state == 1) return reversed ? count <= 0 : count >= 0;
  return reversed ? count >= 0 : count <= 0;
}

}  // namespace vnl::cards
