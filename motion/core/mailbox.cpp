// The request mailbox between the interface layer and the output layer.
//
// A caller posts one request at a time (mailboxLock): code, value and data,
// then raises reqPending. The dispatch of the next cycle takes it, lowers
// reqPending, serves it and raises reqDone; the caller polls for both, up to
// pollLimit() polls, and gives -3 when the cycle did not come. In simulation
// the requests are taken and ignored (there is no card to act on).
#include "library.h"

namespace vnl {

int32_t Library::post(uint8_t code, uint16_t value, uint32_t data) {
  if (!ready()) return -1;
  std::lock_guard<std::mutex> lock(mailboxLock);
  reqCode.store(code, std::memory_order_relaxed);
  reqValue.store(value, std::memory_order_relaxed);
  reqData.store(data, std::memory_order_relaxed);
  reqDone.store(0, std::memory_order_relaxed);
  reqPending.store(255, std::memory_order_release);
  bool ok = poll(
      [&] {
        return reqPending.load(std::memory_order_acquire) == 0 &&
               reqDone.load(std::memory_order_acquire) == 255;
      },
      pollLimit());
  return ok ? 0 : -3;
}

void Library::serveRequest() {
  uint16_t value = reqValue.load(std::memory_order_relaxed);
  uint8_t code = reqCode.load(std::memory_order_relaxed);
  if (simOut.load(std::memory_order_relaxed)) return;  // requests are ignored in simulation
  switch (code) {
    case 5:
      for (int s = 0; s < kSlots; ++s)
        maxPulse[s] = maxPulseApi[s].load(std::memory_order_relaxed);
      break;
    case 6:
      for (int s = 0; s < kSlots; ++s)
        maxAcc[s] = maxAccApi[s].load(std::memory_order_relaxed);
      break;
    case 12:
      limitMode.store(value ? 2 : 1, std::memory_order_relaxed);
      break;
    case 13:
      limitMode.store(0, std::memory_order_relaxed);
      break;
    case 14:
    case 15:
      if (value < kGroups) {
        if (code == 15) flushGroup(value);
        for (auto& s : table[value].axis) {
          int a = s.load(std::memory_order_relaxed);
          if (a < 6) pulseEnable[table[value].card.load() * 6 + a].store(code == 14 ? 1 : 0);
        }
      }
      break;
    case 1:
      if (value < cardCount)
        for (int ax = 0; ax < 6; ++ax) {
          const int a = value * 6 + ax;
          if (pGain[a] >= 1 && pGain[a] <= 127)
            QORA_PCL_SetScaleGain(static_cast<uint16_t>(ax), pGain[a],
                                  static_cast<int16_t>(gainShift[a]), value);
        }
      break;
    case 2:
      for (int c = 0; c < cardCount; ++c)
        QORA_DDA_SetTime(static_cast<float>(interpTime.load()), chip::kDdaMotionBitLengthCode,
                         static_cast<uint16_t>(c));
      takeCycleTime();
      break;
    case 3:
      takeCycleTime();
      break;
    case 4:
      for (int c = 0; c < cardCount; ++c)
        QORA_ResetModule(QORA_MODULE_CHIP, static_cast<uint16_t>(c));
      break;
    case 8:
      QORA_LIO_EnablePrdy(value);
      break;
    case 9:
      QORA_LIO_DisablePrdy(value);
      break;
    case 10:
      QORA_LIO_ServoOn(static_cast<uint16_t>(value % 6), static_cast<uint16_t>(value / 6));
      break;
    case 11:
      QORA_LIO_ServoOff(static_cast<uint16_t>(value % 6), static_cast<uint16_t>(value / 6));
      break;
    default:
      if (!servePeripheral(code, value, reqData.load(std::memory_order_relaxed))) setLatch(3);
      break;
  }
}

}  // namespace vnl
