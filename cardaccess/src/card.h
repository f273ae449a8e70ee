// The card table of the library and the one door through which every module
// unit reaches a card: withCard() checks the index and that the card is open,
// takes the card's short lock, and hands the unit a Chip view (registers and
// shadows). Interrupt routines are never called under that lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "qoradrv.h"

namespace qora {

inline constexpr std::uint16_t kMaxCards = QORA_MAX_CARDS;

// The card's two address spaces that the library uses.
inline constexpr unsigned kBridgeSpace = 1;
inline constexpr unsigned kChipSpace = 2;

// Register access primitives of one open card. The service-backed port makes
// one transfer request per access to an I/O space and plain loads and stores
// to a memory-mapped space; tests substitute a recording fake.
class RegisterPort {
 public:
  virtual ~RegisterPort() = default;
  virtual std::uint8_t read8(unsigned space, std::uint32_t offset) = 0;
  virtual std::uint16_t read16(unsigned space, std::uint32_t offset) = 0;
  virtual void write8(unsigned space, std::uint32_t offset, std::uint8_t value) = 0;
  virtual void write16(unsigned space, std::uint32_t offset, std::uint16_t value) = 0;
};

// Copies of the chip's write-only registers. They start at 0 when the library
// is loaded and survive close and reopen of the card.
struct Shadows {
  std::uint16_t irqSelect = 0;
  // pulse engine
  std::uint16_t ddaControl = 0;
  std::uint16_t ddaTiming = 0;
  std::array<std::uint16_t, 6> ddaOutputConfig{};
  std::uint16_t ddaPulseCounterEnable = 0;
  float ddaTimeMs = 0.0f;
  // encoder
  std::array<std::uint16_t, 9> encConfig{};
  std::array<std::uint16_t, 9> encTrigger{};
  std::array<std::uint16_t, 3> encGroupEnable{};
  std::uint16_t encControl = 0;
  // local I/O
  std::uint16_t lioControl = 0;
  std::uint16_t ldiIntType = 0;
  std::uint16_t ldiIntMask = 0;
  std::uint16_t dfiIntType = 0;
  std::uint16_t dfiIntMask = 0;
  std::uint32_t signalOutputs = 0;
  // closed loop
  std::array<std::uint16_t, 6> pclScaleGain{};
  std::uint16_t pclOverflowEnable = 0;
  std::uint16_t pclControl = 0;
  // DAC
  std::uint16_t dacControl = 0;
  std::uint16_t dacMode = 0;
  // ADC
  std::uint16_t adcIntEnable = 0;
  std::uint16_t adcConversion = 0;
  std::uint16_t adcControl = 0;
  std::array<std::uint16_t, 8> adcComparator{};
  std::array<bool, 8> adcCompIntEnabled{};
  std::array<std::uint8_t, 8> adcConvType{};  // 0 bipolar, 1 unipolar
  // remote I/O, per port: control A, B, C values and their interrupt masks
  std::array<std::array<std::uint16_t, 3>, 2> rioControl{};
  std::array<std::array<std::uint16_t, 3>, 2> rioMask{};
};

// What a module unit sees of an open card while it holds the card's lock.
class Chip {
 public:
  Chip(RegisterPort& port, Shadows& shadows, std::uint16_t model)
      : port_(port), shadows_(shadows), model_(model) {}

  std::uint16_t read(std::uint32_t offset) { return port_.read16(kChipSpace, offset); }
  void write(std::uint32_t offset, std::uint32_t value) {
    port_.write16(kChipSpace, offset, static_cast<std::uint16_t>(value));
  }
  Shadows& shadow() { return shadows_; }
  std::uint16_t model() const { return model_; }

 private:
  RegisterPort& port_;
  Shadows& shadows_;
  std::uint16_t model_;
};

inline constexpr std::size_t kModuleCount = 9;  // DDA .. PCL, in source-bit order

struct Slot {
  std::mutex lock;                         // shadows, register read-modify-writes, the port
  std::mutex lifecycle;                    // serialises opening and closing of this index
  RegisterPort* port = nullptr;            // non-null while the card is open
  std::unique_ptr<RegisterPort> testPort;  // a port attached without a service
  std::atomic<std::uint16_t> model{QORA_MODEL_210};
  Shadows shadows;
  std::array<std::atomic<QORA_ISR>, kModuleCount> routines{};
  std::array<std::atomic<QORA_ISR>, 5> extraRoutines{};
};

// The library's state: the card table and the per-index values.
class Library {
 public:
  Slot& slot(std::uint16_t card) { return slots_[card]; }

 private:
  std::array<Slot, kMaxCards> slots_;
};

Library& library();

// Runs fn(Chip&) on an open card under its lock. Returns 0 for an index of 12
// or more or a closed card; otherwise 1, or fn's verdict when it returns bool.
template <class F>
int withCard(std::uint16_t card, F&& fn) {
  if (card >= kMaxCards) return QORA_REFUSED;
  Slot& s = library().slot(card);
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.port == nullptr) return QORA_REFUSED;
  Chip chip(*s.port, s.shadows, s.model.load(std::memory_order_relaxed));
  if constexpr (std::is_void_v<std::invoke_result_t<F, Chip&>>) {
    fn(chip);
    return QORA_DONE;
  } else {
    return fn(chip) ? QORA_DONE : QORA_REFUSED;
  }
}

// Test seam, not exported: opens an index on a given port without the
// service (no interrupt thread). Returns false when the index is taken.
bool attachPort(std::uint16_t card, std::unique_ptr<RegisterPort> port, std::uint16_t model);
void detachPort(std::uint16_t card);

// Copies the bits of a condition register into a flag array: flag i = bit
// (first + i).
inline void splitFlags(std::uint16_t value, unsigned first, unsigned count, std::uint8_t* flags) {
  for (unsigned i = 0; i < count; ++i)
    flags[i] = static_cast<std::uint8_t>((value >> (first + i)) & 1u);
}

}  // namespace qora
