// The pure register encodings: pulse commands, DDA timing, shift codes, DAC
// and ADC conversions.
#include "cardaccess/src/encoding.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace enc = qora::enc;

TEST(PulseEncoding, SignMagnitudeBothWays) {
  EXPECT_EQ(enc::pulseCommand(static_cast<std::uint32_t>(-5)), 0x8005);
  EXPECT_EQ(enc::pulseCommand(5), 0x0005);
  EXPECT_EQ(enc::pulseCommand(static_cast<std::uint32_t>(-32768)), 0x8000);
  EXPECT_EQ(enc::pulseCommand(static_cast<std::uint32_t>(-32767)), 0xFFFF);
  EXPECT_EQ(enc::pulseCommand(32767), 0x7FFF);
  EXPECT_EQ(enc::pulseCommand(0x00010003u), 0x0003);  // only the low 16 bits count
  EXPECT_EQ(enc::currentCommand(0x8005), -5);
  EXPECT_EQ(enc::currentCommand(0x7FFF), 32767);
  EXPECT_EQ(enc::currentCommand(0x8000), 0);
}

TEST(DdaTiming, DividerAndObtainedTime) {
  auto t = enc::ddaTiming(1.0f, 5);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->divider, 0);
  EXPECT_FLOAT_EQ(t->timeMs, 0.8192f);
  t = enc::ddaTiming(10.0f, 5);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->divider, 11);
  EXPECT_FLOAT_EQ(t->timeMs, 9.8304f);
  t = enc::ddaTiming(105.0f, 0);  // the limit itself is accepted, then saturates
  ASSERT_TRUE(t);
  EXPECT_EQ(t->divider, 4095);
  EXPECT_FLOAT_EQ(t->timeMs, 104.8576f);
  t = enc::ddaTiming(0.0f, 5);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->divider, 4095);
  ASSERT_TRUE(enc::ddaTiming(3380.0f, 5));
}

TEST(DdaTiming, Refusals) {
  EXPECT_FALSE(enc::ddaTiming(106.0f, 0));
  EXPECT_FALSE(enc::ddaTiming(3380.5f, 5));
  EXPECT_FALSE(enc::ddaTiming(1.0f, 6));
  EXPECT_FALSE(enc::ddaTiming(-0.5f, 5));
  EXPECT_FALSE(enc::ddaTiming(std::numeric_limits<float>::quiet_NaN(), 5));
  EXPECT_FALSE(enc::ddaTiming(std::numeric_limits<float>::infinity(), 5));
}

TEST(ShiftCode, SignAndMagnitude) {
  EXPECT_EQ(enc::shiftCode(0), 0x000);
  EXPECT_EQ(enc::shiftCode(7), 0x700);
  EXPECT_EQ(enc::shiftCode(-1), 0x900);
  EXPECT_EQ(enc::shiftCode(-7), 0xF00);
}

TEST(DacWord, VoltsToSignedWord) {
  EXPECT_EQ(enc::dacWord(10.0f), 0x7FFE);
  EXPECT_EQ(enc::dacWord(-10.0f), 0x8002);
  EXPECT_EQ(enc::dacWord(0.5f), 1638);
  EXPECT_EQ(enc::dacWord(0.0f), 0);
  EXPECT_FALSE(enc::dacWord(10.01f));
  EXPECT_FALSE(enc::dacWord(-10.01f));
  EXPECT_FALSE(enc::dacWord(std::numeric_limits<float>::quiet_NaN()));
}

TEST(AdcConversion, InputsAndComparator) {
  EXPECT_FLOAT_EQ(enc::adcVolts(0x0FFF, false), -0.00244140625f);
  EXPECT_FLOAT_EQ(enc::adcVolts(4095, true), 4095 * 0.00244140625f);
  EXPECT_FLOAT_EQ(enc::adcVolts(0xF7FF, false), 2047 * 0.00244140625f);  // bits above 11 ignored
  EXPECT_EQ(enc::adcCompValue(10.0f, false), 2047);
  EXPECT_EQ(enc::adcCompValue(-10.0f, false), 0x801);
  EXPECT_EQ(enc::adcCompValue(20.0f, true), 4095);
  EXPECT_FALSE(enc::adcCompValue(-0.1f, true));
  EXPECT_FALSE(enc::adcCompValue(20.01f, true));
  EXPECT_FALSE(enc::adcCompValue(10.5f, false));
  EXPECT_FLOAT_EQ(enc::adcCompVolts(4095, true), 4095 * 0.0048828125f);
  EXPECT_FLOAT_EQ(enc::adcCompVolts(2047, false), 2047 * 0.0048828125f);
  EXPECT_FLOAT_EQ(enc::adcCompVolts(0x801, false), -2047 * 0.0048828125f);
}
