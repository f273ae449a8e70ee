// One virtual card on the virtual PCI bus: PCI configuration space, the
// bridge's interrupt control/status register (address space 1), the motion
// chip (address space 2), the DDA cycle timer and the level-triggered
// interrupt line with its waiting service.
//
// Interrupt line: asserted while the chip requests an interrupt and the
// bridge's bits 0 (local interrupt input) and 6 (PCI interrupt) are both set.
// The chip requests an interrupt when a condition arises (each cycle raises
// its conditions anew) and keeps requesting while a source is pending, until
// the interrupt acknowledge register (0x08) is written.
// When it asserts, one interrupt becomes pending; a wait takes it, runs the
// acknowledge commands given at enable (which clear bit 6, silencing the
// line) and returns. The line can only assert again once the bridge bits are
// set again.
//
// Cycle timer: runs while the chip's engine runs, at the chip's cycle length.
// In virtual time a cycle that raised an interrupt completes only when the
// interrupt thread has served it and is waiting again.
//
// The bench side (install, inputs, faults, logs) is for tests and tools; the
// bus side is for the driver service. Thread-safe: one lock per card.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/pcisvc/records.h"
#include "platform/vcard/chip.h"
#include "platform/vcard/export.h"

namespace vcard {

// A register write as the card saw it.
struct RegisterWrite {
  int space;  // 1 bridge, 2 chip
  std::uint32_t offset;
  std::uint32_t value;
  int width;  // bits
  bool operator==(const RegisterWrite&) const = default;
};

// Port layout of a card: each card gets its own windows.
struct CardPorts {
  std::uint64_t bridgeBase;  // address space 1
  std::uint64_t chipBase;    // address space 2
  std::uint32_t interrupt;
};
inline constexpr std::uint32_t kBridgeSpaceSize = 0x80;
inline constexpr std::uint32_t kChipSpaceSize = 0x400;

class VCARD_EXPORT VirtualCard {
 public:
  VirtualCard(ChipModel model, pcisvc::PciSlot slot, CardPorts ports);
  ~VirtualCard();
  VirtualCard(const VirtualCard&) = delete;
  VirtualCard& operator=(const VirtualCard&) = delete;

  // ---- identity
  ChipModel model() const { return model_; }
  std::uint32_t deviceId() const;
  const pcisvc::PciSlot& slot() const { return slot_; }
  const CardPorts& ports() const { return ports_; }
  std::uint32_t configRead32(std::uint32_t offset) const;
  // Maps a port address onto one of the card's spaces.
  bool locate(std::uint64_t port, int& space, std::uint32_t& offset) const;

  // ---- bus side: accesses by space and offset. False when the access does
  // not exist (offset outside the space, a width the space does not serve).
  bool read(int space, std::uint32_t offset, int width, std::uint32_t& value);
  bool write(int space, std::uint32_t offset, int width, std::uint32_t value);

  // ---- interrupts (the service's side)
  // Arms the line for `handle` with the acknowledge commands; false when armed already.
  bool enableInterrupt(std::uint32_t handle, const pcisvc::TransferRecord* commands,
                       std::uint32_t count, std::uint32_t options);
  // Disarms; a pending wait returns with stop state 1. False when not armed.
  bool disableInterrupt(std::uint32_t handle);
  // Blocks until an interrupt arrives (the acknowledge commands have run and
  // their results are copied to `commands`), the line is disarmed or the wait
  // is interrupted. False when the handle is not the armed one.
  bool waitInterrupt(std::uint32_t handle, pcisvc::TransferRecord* commands, std::uint32_t count,
                     std::uint32_t& interrupts, std::uint32_t& lost, std::uint32_t& stop);
  bool interruptArmed() const;

  // ---- bench
  // Runs `fn(chip)` under the card's lock: set inputs, read outputs, move axes.
  template <typename Fn>
  decltype(auto) withChip(Fn&& fn) {
    std::lock_guard lock(mutex_);
    return fn(chip_);
  }
  Plant& plantUnlocked() { return chip_.plant(); }
  // Ends a blocked wait with stop state 2.
  void interruptWait();
  // The interrupt raised in cycle `cycle` (counting from 1) reaches the
  // service only `delay` cycles later; the cycles between run unheld.
  void delayCycleInterrupt(std::uint64_t cycle, std::uint32_t delay);
  std::uint64_t cycles() const;
  // Whether the (level-triggered) interrupt line is asserted now.
  bool interruptLineAsserted() const;
  // When the last cycle ran, on the steady clock (nanoseconds since its
  // epoch): lets a real-time bench measure the latency to the routine.
  std::int64_t lastCycleSteadyNs() const { return lastCycleNs_.load(std::memory_order_acquire); }
  std::uint64_t interruptsDelivered() const;
  // The interrupt line and cycle timer in words, for a watchdog's report.
  // Says so when the card's lock cannot be had.
  std::string describe() const;
  // Register-write log.
  void recordWrites(bool on);
  std::vector<RegisterWrite> writes() const;
  void clearWrites();

 private:
  bool readLocked(int space, std::uint32_t offset, int width, std::uint32_t& value);
  bool writeLocked(int space, std::uint32_t offset, int width, std::uint32_t value);
  std::uint8_t bridgeRead(std::uint32_t offset) const;
  // Sets the chip's interrupt request when a source bit rose.
  void noteSources(std::uint16_t before);
  bool lineAsserted() const;
  // Wakes a blocked wait; every change a wait looks for comes with it.
  void wakeWaiter();
  // Makes an interrupt pending when the line asserts; returns its sequence
  // number (0 when none is raised).
  std::uint64_t raiseIfAsserted(bool fromCycle);
  // Starts the cycle timer when the engine has started; called after writes.
  void scheduleCycles();
  void onCycle();

  const ChipModel model_;
  const pcisvc::PciSlot slot_;
  const CardPorts ports_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Chip chip_;
  std::uint8_t bridge_[kBridgeSpaceSize] = {};

  // interrupt line and its service
  bool request_ = false;
  bool armed_ = false;
  std::uint32_t handle_ = 0;
  std::uint32_t options_ = 0;
  std::vector<pcisvc::TransferRecord> ack_;
  bool pending_ = false;
  bool interrupted_ = false;
  std::uint64_t raised_ = 0;
  std::uint64_t delivered_ = 0;
  std::uint32_t count_ = 0;
  std::uint32_t lost_ = 0;
  std::thread::id server_;
  // Sequence number of the interrupt served last: the interrupt thread has
  // come back to wait. Read by the clock's hold without the card's lock.
  std::atomic<std::uint64_t> served_{0};
  std::atomic<bool> armedFlag_{false};
  // Counts wakeWaiter() calls: a wait spinning before it blocks watches it.
  std::atomic<std::uint64_t> signals_{0};
  std::atomic<std::int64_t> lastCycleNs_{0};

  // cycle timer
  platform::Clock* timerClock_ = nullptr;
  bool timerActive_ = false;
  platform::TimerId timer_ = 0;
  platform::Nanos timerPeriod_{0};
  std::uint64_t cycles_ = 0;
  std::uint64_t suppressUntil_ = 0;
  std::map<std::uint64_t, std::uint32_t> delays_;

  bool recording_ = false;
  std::vector<RegisterWrite> log_;
};

}  // namespace vcard
