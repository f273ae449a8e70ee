#include "platform/vcard/lio_module.h"

#include "platform/chip/regs.h"

namespace vcard {

namespace r = chip::reg;

namespace {
constexpr unsigned kLdiIntInputs = 8;
constexpr unsigned kDfiIntInputs = 7;
constexpr std::int64_t kTickNs = 1000;  // timer and watchdog base clock: 1 MHz
constexpr unsigned kOutputGroups = 8;
constexpr std::uint32_t k24Bits = 0xFFFFFF;
}  // namespace

LioModule::LioModule(Plant& plant, const r::LioLayout& layout) : plant_(plant), layout_(layout) {
  lastLdi_ = plant_.ldiWord();
  lastDfi_ = plant_.dfiWord();
  updateOutputs();
}

void LioModule::reset() {
  ldo_ = 0;
  control_ = ldiTypes_ = dfiTypes_ = conditions_ = 0;
  timerValue_ = timerCount_ = 0;
  timerNs_ = 0;
  wdogReset_ = wdogCount_ = 0;
  wdogTimer_ = 0;
  wdogNs_ = 0;
  wdogTripped_ = false;
  lastLdi_ = plant_.ldiWord();
  lastDfi_ = plant_.dfiWord();
  updateOutputs();
}

void LioModule::updateOutputs() {
  std::uint32_t word = 0xFFFFFFFFu;
  for (unsigned g = 0; g < kOutputGroups; ++g) {
    if (!r::bit(control_, g)) continue;
    const std::uint32_t mask = 0xFu << (4 * g);
    word = (word & ~mask) | (ldo_ & mask);
  }
  if (wdogTripped_) {
    word |= 0x3Fu << r::kLdoServoOffBase;
    word |= 1u << layout_.prdyBit;
  }
  plant_.setLdoOutputs(word);
  plant_.setWatchdogTripped(wdogTripped_);
}

void LioModule::edges(std::uint32_t before, std::uint32_t now, std::uint16_t types, unsigned inputs,
                      unsigned firstCondition) {
  const std::uint32_t changed = before ^ now;
  if (changed == 0) return;
  for (unsigned i = 0; i < inputs; ++i) {
    if (!r::bit(changed, i)) continue;
    const unsigned field = r::Field{2 * i, 2}.get(types);
    const bool rising = r::bit(now, i);
    const bool hit = field == 3 || (field == 1 && rising) || (field == 2 && !rising);
    if (hit) conditions_ = r::setBit(conditions_, firstCondition + i, true);
  }
}

void LioModule::sync() {
  const std::uint32_t ldi = plant_.ldiWord();
  const std::uint32_t dfi = plant_.dfiWord();
  edges(lastLdi_, ldi, ldiTypes_, kLdiIntInputs, r::kLioCondLdiBase);
  edges(lastDfi_, dfi, dfiTypes_, kDfiIntInputs, r::kLioCondDfiBase);
  lastLdi_ = ldi;
  lastDfi_ = dfi;
}

void LioModule::advance(std::chrono::nanoseconds elapsed) {
  const std::int64_t ns = elapsed.count();
  if (ns <= 0) return;
  if (r::bit(control_, r::kLioCtlTimerBit) && timerValue_ != 0) {
    if (timerCount_ == 0) timerCount_ = timerValue_;
    timerNs_ += ns;
    std::int64_t ticks = timerNs_ / kTickNs;
    timerNs_ %= kTickNs;
    if (ticks >= timerCount_) {
      ticks -= timerCount_;
      timerCount_ = timerValue_ - static_cast<std::uint32_t>(ticks % timerValue_);
      if (r::bit(dfiTypes_, r::kDfiTimerIntBit)) {
        conditions_ = r::setBit(conditions_, r::kLioCondTimeOutBit, true);
      }
    } else {
      timerCount_ -= static_cast<std::uint32_t>(ticks);
    }
  }
  if (r::bit(control_, r::kLioCtlWDogBit) && !wdogTripped_) {
    const std::int64_t tickNs = kTickNs * (std::int64_t{wdogTimer_} + 1);
    wdogNs_ += ns;
    const std::int64_t ticks = wdogNs_ / tickNs;
    wdogNs_ %= tickNs;
    if (ticks >= wdogCount_) {
      wdogCount_ = 0;
      wdogTripped_ = true;
      conditions_ = r::setBit(conditions_, r::kLioCondTimeOutBit, true);
      updateOutputs();
    } else {
      wdogCount_ -= static_cast<std::uint32_t>(ticks);
    }
  }
}

std::uint16_t LioModule::read(std::uint32_t offset) {
  switch (offset) {
    case r::kLdiLow:
      return static_cast<std::uint16_t>(plant_.ldiWord());
    case r::kLdiHigh:
      return static_cast<std::uint16_t>(plant_.ldiWord() >> 16);
    case r::kDfiLow:
      return static_cast<std::uint16_t>(plant_.dfiWord());
    case r::kDfiHigh:
      return static_cast<std::uint16_t>(plant_.dfiWord() >> 16);
    case r::kLioIntCondition: {
      const std::uint16_t c = conditions_;
      conditions_ = 0;
      return c;
    }
    default:
      return 0;
  }
}

void LioModule::write(std::uint32_t offset, std::uint16_t value) {
  switch (offset) {
    case r::kLdoLow:
      ldo_ = (ldo_ & 0xFFFF0000u) | value;
      updateOutputs();
      break;
    case r::kLdoHigh:
      ldo_ = (ldo_ & 0xFFFFu) | (static_cast<std::uint32_t>(value) << 16);
      updateOutputs();
      break;
    case r::kLioControl: {
      const std::uint16_t before = control_;
      control_ = value;
      if (!r::bit(before, r::kLioCtlTimerBit) && r::bit(value, r::kLioCtlTimerBit)) {
        timerCount_ = timerValue_;
        timerNs_ = 0;
      }
      if (!r::bit(before, r::kLioCtlWDogBit) && r::bit(value, r::kLioCtlWDogBit)) {
        wdogCount_ = wdogReset_;
        wdogNs_ = 0;
      }
      if (!r::bit(value, r::kLioCtlWDogBit)) wdogTripped_ = false;
      updateOutputs();
      break;
    }
    case r::kLdiIntType:
      ldiTypes_ = value;
      break;
    case r::kDfiIntType:
      dfiTypes_ = value;
      break;
    case r::kLioTimerLow:
      timerValue_ = (timerValue_ & 0xFF0000u) | value;
      break;
    case r::kLioTimerHigh:
      timerValue_ = ((timerValue_ & 0xFFFFu) | (static_cast<std::uint32_t>(value) << 16)) & k24Bits;
      break;
    case r::kLioWDogResetLow:
      wdogReset_ = (wdogReset_ & 0xFF0000u) | value;
      break;
    case r::kLioWDogResetHigh:
      wdogReset_ = ((wdogReset_ & 0xFFFFu) | (static_cast<std::uint32_t>(value) << 16)) & k24Bits;
      break;
    case r::kLioWDogTimer:
      wdogTimer_ = value;
      break;
    case r::kLioWDogRefresh:
      if (value == 0) {
        wdogCount_ = wdogReset_;
        wdogNs_ = 0;
        if (wdogTripped_) {
          wdogTripped_ = false;
          updateOutputs();
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace vcard
