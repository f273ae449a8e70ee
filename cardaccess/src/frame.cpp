// Frame functions that need no kernel service: module reset, interrupt line
// select, interrupt source, version, the spare routine tables, and the
// interrupt service that dispatches the chip's module conditions to the
// registered routines.
#include <cstring>

#include "cardaccess/src/card.h"
#include "cardaccess/src/frame_internal.h"
#include "platform/chip/regs.h"

namespace r = chip::reg;

namespace qora {

Library& library() {
  static Library lib;
  return lib;
}

bool attachPort(std::uint16_t card, std::unique_ptr<RegisterPort> port, std::uint16_t model) {
  if (card >= kMaxCards) return false;
  Slot& s = library().slot(card);
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.port != nullptr) return false;
  s.testPort = std::move(port);
  s.port = s.testPort.get();
  s.model.store(model, std::memory_order_relaxed);
  return true;
}

void detachPort(std::uint16_t card) {
  if (card >= kMaxCards) return;
  Slot& s = library().slot(card);
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.testPort == nullptr) return;
  s.port = nullptr;
  s.testPort.reset();
}

namespace {

using ConditionFn = int (*)(std::uint8_t*, std::uint16_t);

// In source-bit order: DDA, ENC012, ENC345, ENC678, RIO0, RIO1, ADC, LIO, PCL.
constexpr ConditionFn kConditionFns[kModuleCount] = {
    QORA_DDA_GetIntCondition,    QORA_ENC012_GetIntCondition, QORA_ENC345_GetIntCondition,
    QORA_ENC678_GetIntCondition, QORA_RIO0_GetIntCondition,   QORA_RIO1_GetIntCondition,
    QORA_ADC_GetIntCondition,    QORA_LIO_GetIntCondition,    QORA_PCL_GetIntCondition};

void enableBridge(Chip&, RegisterPort& port) {
  const std::uint8_t v = port.read8(kBridgeSpace, r::kBridgeIntCsr);
  port.write8(kBridgeSpace, r::kBridgeIntCsr,
              static_cast<std::uint8_t>(v | r::kBridgeLocalIntEnable | r::kBridgePciIntEnable));
}

}  // namespace

int setBridgeEnable(std::uint16_t card) {
  if (card >= kMaxCards) return QORA_REFUSED;
  Slot& s = library().slot(card);
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.port == nullptr) return QORA_REFUSED;
  Chip chip(*s.port, s.shadows, s.model.load(std::memory_order_relaxed));
  enableBridge(chip, *s.port);
  return QORA_DONE;
}

void serveInterrupt(std::uint16_t card) {
  Slot& s = library().slot(card);
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.port == nullptr) return;
    Chip chip(*s.port, s.shadows, s.model.load(std::memory_order_relaxed));
    chip.write(r::kIntAck, 0);
    enableBridge(chip, *s.port);
  }
  // Keep serving until the source register reads 0, so that conditions
  // arising meanwhile are handled in this wake-up. The routines run without
  // the card's lock: they may call any function of the library.
  for (;;) {
    std::uint16_t source = 0;
    if (withCard(card, [&](Chip& c) { source = c.read(r::kIntSource); }) != QORA_DONE) return;
    if (source == 0) return;
    for (unsigned m = 0; m < kModuleCount; ++m) {
      if (((source >> m) & 1u) == 0) continue;
      std::uint8_t flags[QORA_MAX_FLAGS] = {};
      kConditionFns[m](flags, card);  // read even when no routine is registered
      if (QORA_ISR routine = s.routines[m].load(std::memory_order_acquire)) routine(flags);
    }
  }
}

void chipInitialise(std::uint16_t card) {
  QORA_ResetModule(QORA_MODULE_CHIP, card);
  QORA_SetIRQNo(QORA_IRQ_DEFAULT, card);
  withCard(card, [](Chip& c) { c.write(r::kIntOutputControl, r::kIntOutputControlInit); });
}

void chipReset(Chip& c) {
  c.write(r::kModuleReset, 1u << (QORA_MODULE_CHIP - 1));
  c.write(r::kModuleReset, 0);
}

}  // namespace qora

using namespace qora;

extern "C" {

int QORA_ResetModule(uint16_t module, uint16_t card) {
  if (module < QORA_MODULE_FIRST || module > QORA_MODULE_CHIP) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::kModuleReset, 1u << (module - 1));
    c.write(r::kModuleReset, 0);
  });
}

int QORA_SetIRQNo(uint16_t irq, uint16_t card) {
  static constexpr std::uint16_t kLines[] = {3, 5, 7, 10, 11, 12, 15};
  unsigned code = 0;
  for (unsigned i = 0; i < 7; ++i) {
    if (kLines[i] == irq) code = i + 1;
  }
  if (code == 0) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().irqSelect;
    s = static_cast<std::uint16_t>((0x100u << code) | r::kIrqSelectLow.get(s));
    c.write(r::kIrqSelect, s);
  });
}

int QORA_GetIntSource(uint8_t* flags, uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  std::uint16_t source = 0;
  if (withCard(card, [&](Chip& c) { source = c.read(r::kIntSource); }) != QORA_DONE) {
    return QORA_REFUSED;
  }
  splitFlags(source, 0, r::kIntSourceBits, flags);
  return source != 0 ? QORA_DONE : QORA_REFUSED;
}

int QORA_GetVersion(char* buffer) {
  if (buffer == nullptr) return 0;
  std::memcpy(buffer, QORA_VERSION_TEXT, sizeof(QORA_VERSION_TEXT));
  return static_cast<int>(sizeof(QORA_VERSION_TEXT) - 1);
}

int QORA_SetISRFunction(QORA_ISR r0, QORA_ISR r1, QORA_ISR r2, QORA_ISR r3, QORA_ISR r4,
                        uint16_t card) {
  if (card >= kMaxCards) return QORA_REFUSED;
  Slot& s = library().slot(card);
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.port != nullptr) return QORA_DONE;
  const QORA_ISR given[5] = {r0, r1, r2, r3, r4};
  for (unsigned i = 0; i < 5; ++i)
    s.extraRoutines[i].store(given[i], std::memory_order_release);
  return QORA_DONE;
}

}  // extern "C"
