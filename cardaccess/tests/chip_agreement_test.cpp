// The card-access library and the virtual chip agree, module by module: each
// check drives the chip only through the library and the driver service, and
// observes the effect on the plant (or sets the plant and reads it back).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/clock/clock.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"

namespace {

using vcard::ChipModel;
constexpr auto kCycle = std::chrono::nanoseconds(819200);

std::atomic<int> lioCalls{0};
std::atomic<int> timerFlags{0};
void onLio(std::uint8_t* flags) {
  ++lioCalls;
  for (int i = 0; i < QORA_LIO_FLAGS; ++i)
    timerFlags += flags[i];
}

class Agreement : public ::testing::TestWithParam<ChipModel> {
 protected:
  void SetUp() override {
    platform::useVirtualTime();
    vcard::bus().clear();
    card_ = vcard::bus().install(GetParam());
    const int ok = GetParam() == ChipModel::Qora210
                       ? QORA210_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      onLio, nullptr, 0)
                       : QORA310_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      onLio, nullptr, 0);
    ASSERT_EQ(ok, 1);
    lioCalls = 0;
    timerFlags = 0;
  }
  void TearDown() override {
    QORA_Close(0);
    vcard::bus().clear();
    platform::useRealTime();
  }
  template <class Fn>
  decltype(auto) plant(Fn&& fn) {
    return card_->withChip([&](vcard::Chip& chip) { return fn(chip.plant()); });
  }
  void startEngine() {
    ASSERT_EQ(QORA_DDA_SetTime(1.0f, 5, 0), 1);
    for (std::uint16_t a = 0; a < 6; ++a) {
      QORA_DDA_EnablePulseCounter(a, 0);
      QORA_DDA_EnableOutputChannel(a, 0);
    }
    ASSERT_EQ(QORA_DDA_StartEngine(0), 1);
  }
  static void cycles(int n) { platform::clock().sleepFor(kCycle * n); }

  std::shared_ptr<vcard::VirtualCard> card_;
};

TEST_P(Agreement, PulseEngineOutputsWhatWasQueued) {
  startEngine();
  ASSERT_EQ(QORA_DDA_SendPulse(0, static_cast<std::uint32_t>(-5), 0), 1);
  cycles(1);
  EXPECT_EQ(plant([](vcard::Plant& p) { return p.position(0); }), -5);
  std::int32_t counted = 0;
  ASSERT_EQ(QORA_DDA_GetOutputPulse(0, &counted, 0), 1);
  EXPECT_EQ(counted, -5);

  // At and past capacity, with the engine stopped so nothing drains.
  ASSERT_EQ(QORA_DDA_StopEngine(0), 1);
  for (int i = 0; i < 130; ++i)
    QORA_DDA_SendPulse(3, 1, 0);
  std::uint16_t stock = 0, full = 0, empty = 9;
  QORA_DDA_GetStockCount(3, &stock, 0);
  QORA_DDA_CheckFIFOFull(3, &full, 0);
  EXPECT_EQ(stock, 127);
  EXPECT_EQ(full, 1);
  QORA_DDA_EraseFIFOCmd(3, stock, 0);
  QORA_DDA_CheckFIFOEmpty(3, &empty, 0);
  EXPECT_EQ(empty, 1);
}

TEST_P(Agreement, EncoderFollowsTheAxis) {
  // The library's shadows outlive a close: state every setting this test relies on.
  ASSERT_EQ(QORA_ENC_DisableInAInverse(1, 0), 1);
  ASSERT_EQ(QORA_ENC_SetInputType(1, 0, 0), 1);
  ASSERT_EQ(QORA_ENC_SetInputRate(1, 3, 0), 1);
  ASSERT_EQ(QORA_ENC_StartInput(0), 1);
  plant([](vcard::Plant& p) { p.moveBy(1, 250); });
  std::int32_t value = 0;
  ASSERT_EQ(QORA_ENC_GetValue(1, &value, 0), 1);
  EXPECT_EQ(value, 250);
  ASSERT_EQ(QORA_ENC_EnableInAInverse(1, 0), 1);
  plant([](vcard::Plant& p) { p.moveBy(1, 100); });
  QORA_ENC_GetValue(1, &value, 0);
  EXPECT_EQ(value, 150) << "an inverted A input counts the other way";
}

TEST_P(Agreement, OverTravelAndHomeSensorsReadAtTheModelsBits) {
  const unsigned axes = GetParam() == ChipModel::Qora210 ? 4 : 6;
  for (unsigned a = 0; a < axes; ++a) {
    plant([&](vcard::Plant& p) {
      p.axis(a).upperLimit = 1000;
      p.axis(a).lowerLimit = -1000;
      p.axis(a).homePosition = 0;
      p.axis(a).homeWidth = 10;
      p.setPosition(a, 1000);
    });
    std::uint16_t up = 9, down = 9, home = 9;
    const auto axis = static_cast<std::uint16_t>(a);
    ASSERT_EQ(QORA_LIO_GetOverTravelUp(axis, &up, 0), 1);
    ASSERT_EQ(QORA_LIO_GetOverTravelDown(axis, &down, 0), 1);
    ASSERT_EQ(QORA_LIO_GetHomeSensor(axis, &home, 0), 1);
    EXPECT_EQ(up, 0) << "axis " << a << ": active switches read 0";
    EXPECT_EQ(down, 1);
    EXPECT_EQ(home, 1);
    plant([&](vcard::Plant& p) { p.setPosition(a, 0); });
    QORA_LIO_GetOverTravelUp(axis, &up, 0);
    QORA_LIO_GetHomeSensor(axis, &home, 0);
    EXPECT_EQ(up, 1);
    EXPECT_EQ(home, 0) << "axis " << a;
  }
}

TEST_P(Agreement, ServoOutputsAndEmergencyStop) {
  ASSERT_EQ(QORA_LIO_ServoOn(2, 0), 1);
  EXPECT_TRUE(plant([](vcard::Plant& p) { return p.servoOn(2); }));
  ASSERT_EQ(QORA_LIO_ServoOff(2, 0), 1);
  EXPECT_FALSE(plant([](vcard::Plant& p) { return p.servoOn(2); }));
  plant([](vcard::Plant& p) { p.setEmergencyStop(true); });
  std::uint16_t estop = 9;
  ASSERT_EQ(QORA_LIO_GetEmgcStopStatus(&estop, 0), 1);
  EXPECT_EQ(estop, 1);
}

TEST_P(Agreement, TimerRaisesTheLocalIoInterrupt) {
  startEngine();  // the cycles give the interrupt thread its chances in virtual time
  ASSERT_EQ(QORA_LIO_SetTimer(5000, 0), 1);  // 5 ms at the timer's 1 MHz
  ASSERT_EQ(QORA_LIO_EnableTimerInt(0), 1);
  ASSERT_EQ(QORA_LIO_EnableTimer(0), 1);
  cycles(4);
  EXPECT_EQ(lioCalls.load(), 0);
  cycles(4);
  EXPECT_GE(lioCalls.load(), 1);
  EXPECT_GE(timerFlags.load(), 1);
}

TEST_P(Agreement, DacVoltsAndAdcInputs) {
  ASSERT_EQ(QORA_DAC_SetOutput(2, 5.0f, 0), 1);
  ASSERT_EQ(QORA_DAC_StartConv(0), 1);
  EXPECT_NEAR(plant([](vcard::Plant& p) { return p.dacVolts(2); }), 5.0, 0.001);
  ASSERT_EQ(QORA_DAC_SetOutput(2, -10.0f, 0), 1);
  EXPECT_NEAR(plant([](vcard::Plant& p) { return p.dacVolts(2); }), -10.0, 0.001);

  plant([](vcard::Plant& p) { p.setAdcVolts(1, -2.5); });
  ASSERT_EQ(QORA_ADC_SetConvType(1, 0, 0), 1);  // bipolar -10..10 V
  ASSERT_EQ(QORA_ADC_EnableConvChannel(1, 0), 1);
  ASSERT_EQ(QORA_ADC_StartConv(0), 1);
  startEngine();
  cycles(2);
  float volts = 0.0f;
  ASSERT_EQ(QORA_ADC_GetInput(1, &volts, 0), 1);
  EXPECT_NEAR(volts, -2.5, 0.005);
  ASSERT_EQ(QORA_ADC_SetConvType(1, 1, 0), 1);  // unipolar 0..10 V
  plant([](vcard::Plant& p) { p.setAdcVolts(1, 7.5); });
  cycles(2);
  QORA_ADC_GetInput(1, &volts, 0);
  EXPECT_NEAR(volts, 7.5, 0.005);
}

TEST_P(Agreement, RemoteIoWordsReachTheSlaves) {
  for (std::uint16_t port = 0; port < 2; ++port) {
    ASSERT_EQ(QORA_RIO_SetClockDivider(port, 0, 0), 1);
    for (std::uint16_t slave = 0; slave < 3; ++slave)
      ASSERT_EQ(QORA_RIO_EnableSlaveControl(port, slave, 0), 1);
    ASSERT_EQ(QORA_RIO_EnableSetControl(port, 0), 1);
  }
  ASSERT_EQ(QORA_RIO_SetOutputValue(1, 2, 3, 0xBEEF, 0), 1);
  plant([](vcard::Plant& p) { p.setRioSlaveInput(0, 1, 2, 0x1234); });
  startEngine();
  cycles(2);
  EXPECT_EQ(plant([](vcard::Plant& p) { return p.rioSlaveOutput(1, 2, 3); }), 0xBEEF);
  std::uint16_t value = 0;
  ASSERT_EQ(QORA_RIO_GetInputValue(0, 1, 2, &value, 0), 1);
  EXPECT_EQ(value, 0x1234);
}

TEST_P(Agreement, ClosedLoopDrivesTheErrorCounterBackTowardsZero) {
  ASSERT_EQ(QORA_DAC_SetCmdSource(0, 1, 0), 1);
  ASSERT_EQ(QORA_PCL_ClearErrorCounter(0, 0), 1);
  ASSERT_EQ(QORA_PCL_SetScaleGain(0, 64, -1, 0), 1);
  ASSERT_EQ(QORA_PCL_EnableErrorCounter(0, 0), 1);
  ASSERT_EQ(QORA_DAC_SetClockDivider(10, 0), 1);
  ASSERT_EQ(QORA_DAC_StartConv(0), 1);
  ASSERT_EQ(QORA_PCL_StartControl(0), 1);
  ASSERT_EQ(QORA_ENC_SetInputRate(0, 3, 0), 1);
  ASSERT_EQ(QORA_ENC_StartInput(0), 1);
  startEngine();
  QORA_DDA_SendPulse(0, 400, 0);
  cycles(1);
  std::int32_t first = 0, later = 0;
  ASSERT_EQ(QORA_PCL_GetErrorCounter(0, &first, 0), 1);
  cycles(200);
  ASSERT_EQ(QORA_PCL_GetErrorCounter(0, &later, 0), 1);
  EXPECT_GT(first, 0);
  EXPECT_LT(std::abs(later), std::abs(first) / 2);
}

INSTANTIATE_TEST_SUITE_P(Models, Agreement,
                         ::testing::Values(ChipModel::Qora210, ChipModel::Qora310));

}  // namespace
