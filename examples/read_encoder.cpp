// Reads an encoder through the card-access library, from C++.
//
// Opens card 0 (the virtual card when no real one is bound), starts the
// pulse engine and encoder input, sends axis 0 a few blocks of pulses and
// reads encoder channel 0, which counts the axis's motion. Exit status 0 when
// the encoder counted what the pulse engine put out.
#include <qoradrv.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace {

// Every QORA_* call answers QORA_DONE or QORA_REFUSED.
bool done(int result, const char* call) {
  if (result != QORA_DONE) std::fprintf(stderr, "read_encoder: %s refused\n", call);
  return result == QORA_DONE;
}

}  // namespace

int main() {
  const std::uint16_t card = 0, axis = 0, channel = 0;
  if (!done(QORA210_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, card),
            "QORA210_Init"))
    return 1;
  char version[QORA_VERSION_BUFFER] = {};
  QORA_GetVersion(version);
  std::printf("card-access library %s, card %u open\n", version, card);

  bool ok = done(QORA_ENC_SetInputType(channel, 0, card), "QORA_ENC_SetInputType") &&
            done(QORA_ENC_SetInputRate(channel, 3, card), "QORA_ENC_SetInputRate") &&
            done(QORA_ENC_ClearCounter(channel, card), "QORA_ENC_ClearCounter") &&
            done(QORA_ENC_StartInput(card), "QORA_ENC_StartInput") &&
            done(QORA_DDA_SetTime(1.0f, 5, card), "QORA_DDA_SetTime") &&
            done(QORA_DDA_EnablePulseCounter(axis, card), "QORA_DDA_EnablePulseCounter") &&
            done(QORA_DDA_ClearPulseCounter(axis, card), "QORA_DDA_ClearPulseCounter") &&
            done(QORA_DDA_EnableOutputChannel(axis, card), "QORA_DDA_EnableOutputChannel") &&
            done(QORA_DDA_StartEngine(card), "QORA_DDA_StartEngine");

  // Ten periods of 40 pulses, then wait until the queue has drained.
  for (int i = 0; ok && i < 10; ++i)
    ok = done(QORA_DDA_SendPulse(axis, 40, card), "QORA_DDA_SendPulse");
  std::uint16_t stock = 1;
  for (int ms = 0; ok && stock != 0 && ms < 2000; ++ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QORA_DDA_GetStockCount(axis, &stock, card);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));

  std::int32_t encoder = 0, output = 0;
  ok = ok && done(QORA_ENC_GetValue(channel, &encoder, card), "QORA_ENC_GetValue") &&
       done(QORA_DDA_GetOutputPulse(axis, &output, card), "QORA_DDA_GetOutputPulse");
  std::printf("pulses out on axis %u: %d, encoder %u reads %d\n", axis, output, channel, encoder);
  QORA_DDA_StopEngine(card);
  QORA_Close(card);
  ok = ok && output == 400 && encoder == output;
  std::printf("%s\n", ok ? "done" : "FAILED");
  return ok ? 0 : 1;
}
