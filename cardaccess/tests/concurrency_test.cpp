// Concurrent use of one card in real time: two threads change settings of
// different modules while the interrupt thread runs the DDA routine every
// cycle. Afterwards the chip must show the last state each thread set and
// every pulse the routine queued. Meant for the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "qoradrv.h"

namespace {

std::atomic<int> sent{0};
std::atomic<int> cycles{0};
// Queues one pulse on axis 0 each cycle and reads the encoder, as the motion
// library's cycle routine does.
void cycleRoutine(std::uint8_t*) {
  ++cycles;
  if (QORA_DDA_SendPulse(0, 1, 0) == 1) ++sent;
  std::int32_t v = 0;
  QORA_ENC_GetValue(0, &v, 0);
}

constexpr int kCalls = 3000;

std::uint32_t lastWrite(const vcard::VirtualCard& card, std::uint32_t offset) {
  std::uint32_t value = 0xDEAD;
  for (const auto& w : card.writes())
    if (w.space == 2 && w.offset == offset) value = w.value;
  return value;
}

TEST(ConcurrencyTest, TwoThreadsAndTheInterruptThreadShareOneCard) {
  platform::useRealTime();
  auto previous = platform::msgbox::setHandler([](const std::string&, const std::string&) {});
  vcard::bus().clear();
  auto card = vcard::bus().install(vcard::ChipModel::Qora210);
  ASSERT_EQ(QORA210_Init(cycleRoutine, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, 0),
            1);
  ASSERT_EQ(QORA_DDA_SetTime(1.0f, 5, 0), 1);
  ASSERT_EQ(QORA_DDA_EnableOutputChannel(0, 0), 1);
  ASSERT_EQ(QORA_ENC_StartInput(0), 1);
  ASSERT_EQ(QORA_DDA_EnableCycleInt(0), 1);
  ASSERT_EQ(QORA_DDA_StartEngine(0), 1);

  // Pulse engine and encoder settings of axis/channel 1.
  std::thread motion([] {
    for (int i = 0; i < kCalls; ++i) {
      QORA_DDA_SetPulseWidth(1, static_cast<std::uint16_t>(1 + i % 2047), 0);
      if (i % 2 == 0)
        QORA_DDA_EnableOutBInverse(1, 0);
      else
        QORA_DDA_DisableOutBInverse(1, 0);
      QORA_ENC_SetCompValue(1, i, 0);
      if (i % 3 == 0)
        QORA_ENC_EnableCompInt(1, 0);
      else
        QORA_ENC_DisableCompInt(1, 0);
      std::uint16_t stock = 0;
      QORA_DDA_GetStockCount(0, &stock, 0);
    }
  });
  // Servo outputs and analog inputs.
  std::thread io([] {
    for (int i = 0; i < kCalls; ++i) {
      const auto axis = static_cast<std::uint16_t>(i % 6);
      if ((i / 6) % 2 == 0)
        QORA_LIO_ServoOn(axis, 0);
      else
        QORA_LIO_ServoOff(axis, 0);
      float volts = 0;
      QORA_ADC_GetInput(static_cast<std::uint16_t>(i % 8), &volts, 0);
      std::uint32_t ldi = 0;
      QORA_LIO_GetLDIInput(&ldi, 0);
    }
  });
  motion.join();
  io.join();
  // Let a few more cycles run after the threads are done.
  const int seen = cycles.load();
  while (cycles.load() < seen + 3)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(QORA_DDA_StopEngine(0), 1);
  ASSERT_EQ(QORA_DDA_DisableCycleInt(0), 1);
  // An interrupt raised just before may still be served on a loaded machine:
  // wait until the routine has stayed quiet for 50 ms.
  for (int last = -1; last != cycles.load();) {
    last = cycles.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const int queued = sent.load();
  EXPECT_GT(cycles.load(), 3);

  // Last servo states: kCalls = 3000 = 500 rounds of six, the last round
  // (499) is odd: every axis off.
  for (unsigned a = 0; a < 6; ++a)
    EXPECT_FALSE(card->withChip([a](vcard::Chip& c) { return c.plant().servoOn(a); })) << a;
  // Every queued pulse was output or is still in the FIFO.
  std::uint16_t stock = 0;
  ASSERT_EQ(QORA_DDA_GetStockCount(0, &stock, 0), 1);
  const auto received = card->withChip([](vcard::Chip& c) { return c.plant().pulsesReceived(0); });
  EXPECT_EQ(received + stock, queued);

  // The shadows hold the last values: one more write of each register shows them.
  card->recordWrites(true);
  ASSERT_EQ(QORA_DDA_SetOutputFormat(1, 0, 0), 1);
  const std::uint32_t lastWidth = 1 + (kCalls - 1) % 2047;
  const bool lastBInverse = (kCalls - 1) % 2 == 0;
  EXPECT_EQ(lastWrite(*card, 0x2E), lastWidth | (lastBInverse ? 0x4000u : 0u));
  ASSERT_EQ(QORA_ENC_EnableIndexInt(1, 0), 1);
  const bool lastComp = (kCalls - 1) % 3 == 0;
  EXPECT_EQ(lastWrite(*card, 0x58), 0x10u | (lastComp ? 0x2u : 0u));
  ASSERT_EQ(QORA_LIO_EnablePrdy(0), 1);
  EXPECT_EQ(lastWrite(*card, 0x102) & 0x3Fu, 0x3Fu & ~0x10u) << "servo off on all axes";

  EXPECT_EQ(QORA_Close(0), 1);
  vcard::bus().clear();
  platform::msgbox::setHandler(previous);
}

}  // namespace
