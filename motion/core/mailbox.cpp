// The request mailbox between the interface layer and the output layer.
//
// A caller posts one request at a time (mailboxLock): code, value and data,
// then raises reqPending. The dispatch of the next cycle takes it, lowers
// reqPending, serves it and raises reqDone; the caller polls for both, up to
// pollLimit() polls, and gives -3 when the cycle did not come. In simulation
// the requests are taken and ignored (there is no card to act on).
#include "library.h"

namespace vnl {

int32_t Library::post(Request code, uint16_t value, uint32_t data) {
  return post(static_cast<uint8_t>(code), value, data);
}

int32_t Library::post(uint8_t code, uint16_t value, uint32_t data) {
  if (!ready()) return VNL_ERR_NOT_READY;
  std::lock_guard<std::mutex> lock(mailboxLock);
  reqCode.store(code, std::memory_order_relaxed);
  reqValue.store(value, std::memory_order_relaxed);
  reqData.store(data, std::memory_order_relaxed);
  reqDone.store(0, std::memory_order_relaxed);
  reqPending.store(kRaised, std::memory_order_release);
  bool ok = poll(
      [&] {
        return reqPending.load(std::memory_order_acquire) == 0 &&
               reqDone.load(std::memory_order_acquire) == kRaised;
      },
      pollLimit());
  return ok ? 0 : VNL_ERR_TIMEOUT;
}

void Library::serveRequest() {
  uint16_t value = reqValue.load(std::memory_order_relaxed);
  const auto code = static_cast<Request>(reqCode.load(std::memory_order_relaxed));
  if (simOut.load(std::memory_order_relaxed)) return;  // requests are ignored in simulation
  switch (code) {
    case Request::MaxPulse:
      for (int s = 0; s < kSlots; ++s)
        maxPulse[s] = maxPulseApi[s].load(std::memory_order_relaxed);
      break;
    case Request::MaxChange:
      for (int s = 0; s < kSlots; ++s)
        maxAcc[s] = maxAccApi[s].load(std::memory_order_relaxed);
      break;
    case Request::LimitStopOn:
      limitMode.store(value ? 2 : 1, std::memory_order_relaxed);
      break;
    case Request::LimitStopOff:
      limitMode.store(0, std::memory_order_relaxed);
      break;
    case Request::OutputOn:
    case Request::OutputOff:
      if (value < kGroups) {
        if (code == Request::OutputOff) flushGroup(value);
        for (auto& s : table[value].axis) {
          int a = s.load(std::memory_order_relaxed);
          if (a < 6)
            pulseEnable[table[value].card.load() * kAxesPerCard + a].store(
                code == Request::OutputOn ? 1 : 0);
        }
      }
      break;
    case Request::ScaleGain:
      if (value < cardCount)
        for (int ax = 0; ax < kAxesPerCard; ++ax) {
          const int a = value * kAxesPerCard + ax;
          if (pGain[a] >= 1 && pGain[a] <= 127)
            cardPath->setScaleGain(value, ax, pGain[a], static_cast<int16_t>(gainShift[a]));
        }
      break;
    case Request::InterpolationTime:
      for (int c = 0; c < cardCount; ++c)
        cardPath->setInterpolationTime(c, interpTime.load());
      takeCycleTime();
      break;
    case Request::CycleTime:
      takeCycleTime();
      break;
    case Request::ResetChip:
      for (int c = 0; c < cardCount; ++c)
        cardPath->resetChip(c);
      break;
    case Request::EnableReady:
      cardPath->setReady(value, true);
      break;
    case Request::DisableReady:
      cardPath->setReady(value, false);
      break;
    case Request::ServoOn:
      cardPath->setServo(value / kAxesPerCard, value % kAxesPerCard, true);
      break;
    case Request::ServoOff:
      cardPath->setServo(value / kAxesPerCard, value % kAxesPerCard, false);
      break;
    default: {
      // The peripheral codes; a read leaves what it read in the data field.
      uint32_t data = reqData.load(std::memory_order_relaxed);
      if (cardPath->peripheral(static_cast<uint8_t>(code), value, data) ==
          cards::PeripheralResult::UnknownCode)
        setLatch(Latch::UnknownRequest);
      else
        reqData.store(data, std::memory_order_relaxed);
      break;
    }
  }
}

}  // namespace vnl
