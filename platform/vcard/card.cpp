#include "platform/vcard/card.h"

#include "platform/chip/identity.h"
#include "platform/chip/regs.h"
#include "platform/clock/spin.h"

namespace vcard {
namespace r = chip::reg;

namespace {
constexpr std::uint32_t kVendorId = chip::kPciVendor;
constexpr std::uint8_t kBridgeEnables = r::kBridgeLocalIntEnable | r::kBridgePciIntEnable;
// Read-only bridge status bit: the local interrupt input is active.
constexpr std::uint8_t kBridgeLocalIntActive = 0x04;
}  // namespace

VirtualCard::VirtualCard(ChipModel model, pcisvc::PciSlot slot, CardPorts ports)
    : model_(model), slot_(slot), ports_(ports), chip_(model) {}

VirtualCard::~VirtualCard() {
  // Unblock a waiting interrupt thread, then stop the cycle timer (outside
  // the lock: removing waits for a running callback).
  platform::Clock* clock = nullptr;
  platform::TimerId timer = 0;
  {
    std::lock_guard lock(mutex_);
    armed_ = false;
    armedFlag_.store(false, std::memory_order_release);
    wakeWaiter();
    if (timerActive_) {
      clock = timerClock_;
      timer = timer_;
      timerActive_ = false;
    }
  }
  if (clock != nullptr) {
    clock->notify();
    clock->removeTimer(timer);
  }
}

void VirtualCard::wakeWaiter() {
  signals_.fetch_add(1, std::memory_order_release);
  wake_.notify_all();
}

std::uint32_t VirtualCard::deviceId() const {
  return model_ == ChipModel::Qora210 ? chip::kPciDevice210 : chip::kPciDevice310;
}

std::uint32_t VirtualCard::configRead32(std::uint32_t offset) const {
  switch (offset & ~3u) {
    case 0x00:
      return kVendorId | (deviceId() << 16);
    case 0x04:
      return 0x02800001;  // I/O space enabled; status: medium timing
    case 0x08:
      return 0x11800001;  // class: data acquisition controller, revision 1
    case 0x10:
      return 0;  // base register 0: not used by this card
    case 0x14:
      return static_cast<std::uint32_t>(ports_.bridgeBase) | 1u;  // I/O
    case 0x18:
      return static_cast<std::uint32_t>(ports_.chipBase) | 1u;  // I/O
    case 0x2C:
      return kVendorId | (deviceId() << 16);  // subsystem
    case 0x3C:
      return 0x00000100u | (ports_.interrupt & 0xFF);  // interrupt pin A, line
    default:
      return 0;
  }
}

std::uint8_t VirtualCard::bridgeRead(std::uint32_t offset) const {
  std::uint8_t value = bridge_[offset];
  if (offset == r::kBridgeIntCsr) {
    value = static_cast<std::uint8_t>(value & ~kBridgeLocalIntActive);
    if (chip_.pendingSources() != 0) value |= kBridgeLocalIntActive;
  }
  return value;
}

bool VirtualCard::read(int space, std::uint32_t offset, int width, std::uint32_t& value) {
  std::lock_guard lock(mutex_);
  return readLocked(space, offset, width, value);
}

// The chip keeps time only while a timer, the watchdog, a remote I/O cycle or
// a conversion runs: otherwise time changes nothing in it, and an access needs
// no clock reading, the larger part of its cost.
bool VirtualCard::readLocked(int space, std::uint32_t offset, int width, std::uint32_t& value) {
  if (space == 1) {
    const std::uint32_t bytes = static_cast<std::uint32_t>(width / 8);
    if ((width != 8 && width != 16 && width != 32) || offset + bytes > kBridgeSpaceSize)
      return false;
    value = 0;
    for (std::uint32_t b = 0; b < bytes; ++b)
      value |= static_cast<std::uint32_t>(bridgeRead(offset + b)) << (8 * b);
    return true;
  }
  if (space == 2) {
    if (width != 16 || offset + 2 > kChipSpaceSize || (offset & 1u) != 0) return false;
    if (chip_.timed()) chip_.advanceTo(platform::clock().now());
    // Most reads (the pulse engine's) can raise nothing: they skip comparing
    // the sources before and after.
    const bool mayRaise = chip_.readMayRaise(offset);
    const std::uint16_t before = mayRaise ? chip_.pendingSources() : 0;
    value = chip_.read(offset);
    if (mayRaise) noteSources(before);
    return true;
  }
  return false;
}

bool VirtualCard::write(int space, std::uint32_t offset, int width, std::uint32_t value) {
  bool ok = false;
  {
    std::lock_guard lock(mutex_);
    ok = writeLocked(space, offset, width, value);
    if (ok) {
      raiseIfAsserted(false);
      scheduleCycles();
    }
  }
  return ok;
}

bool VirtualCard::writeLocked(int space, std::uint32_t offset, int width, std::uint32_t value) {
  if (space == 1) {
    const std::uint32_t bytes = static_cast<std::uint32_t>(width / 8);
    if ((width != 8 && width != 16 && width != 32) || offset + bytes > kBridgeSpaceSize)
      return false;
    for (std::uint32_t b = 0; b < bytes; ++b) {
      std::uint8_t byte = static_cast<std::uint8_t>(value >> (8 * b));
      if (offset + b == r::kBridgeIntCsr)
        byte = static_cast<std::uint8_t>(byte & ~kBridgeLocalIntActive);
      bridge_[offset + b] = byte;
    }
  } else if (space == 2) {
    if (width != 16 || offset + 2 > kChipSpaceSize || (offset & 1u) != 0) return false;
    const bool timed = chip_.timed();
    if (timed) chip_.advanceTo(platform::clock().now());
    const std::uint16_t before = chip_.pendingSources();
    chip_.write(offset, static_cast<std::uint16_t>(value));
    if (!timed && chip_.timed()) chip_.startTimeAt(platform::clock().now());
    if (offset == r::kIntAck) request_ = false;
    noteSources(before);
  } else {
    return false;
  }
  if (recording_) log_.push_back(RegisterWrite{space, offset, value, width});
  return true;
}

bool VirtualCard::locate(std::uint64_t port, int& space, std::uint32_t& offset) const {
  if (port >= ports_.bridgeBase && port < ports_.bridgeBase + kBridgeSpaceSize) {
    space = 1;
    offset = static_cast<std::uint32_t>(port - ports_.bridgeBase);
    return true;
  }
  if (port >= ports_.chipBase && port < ports_.chipBase + kChipSpaceSize) {
    space = 2;
    offset = static_cast<std::uint32_t>(port - ports_.chipBase);
    return true;
  }
  return false;
}

void VirtualCard::noteSources(std::uint16_t before) {
  if ((chip_.pendingSources() & ~before) != 0) request_ = true;
}

bool VirtualCard::lineAsserted() const {
  return armed_ && request_ && (bridge_[r::kBridgeIntCsr] & kBridgeEnables) == kBridgeEnables &&
         chip_.pendingSources() != 0 && cycles_ >= suppressUntil_;
}

std::uint64_t VirtualCard::raiseIfAsserted(bool fromCycle) {
  if (!lineAsserted()) return 0;
  if (pending_) {
    // Still not taken: the line was already asserted.
    if (fromCycle) ++lost_;
    return raised_;
  }
  pending_ = true;
  ++raised_;
  wakeWaiter();
  return raised_;
}

void VirtualCard::scheduleCycles() {
  if (timerActive_ || !chip_.engineRunning()) return;
  timerClock_ = &platform::clock();
  timerPeriod_ = chip_.cyclePeriod();
  timerActive_ = true;
  timer_ = timerClock_->addPeriodic(timerPeriod_, [this] { onCycle(); });
}

void VirtualCard::onCycle() {
  std::uint64_t hold = 0;
  std::thread::id server;
  platform::Clock* clock = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!timerActive_) return;
    clock = timerClock_;
    if (!chip_.engineRunning() || chip_.cyclePeriod() != timerPeriod_) {
      // The engine stopped or its cycle length changed: this timer ends; a
      // running engine continues on a timer of the new length.
      clock->removeTimer(timer_);
      timerActive_ = false;
      if (!chip_.engineRunning()) return;
      scheduleCycles();
    }
    chip_.advanceTo(clock->now());
    chip_.runCycle();
    if (chip_.pendingSources() != 0) request_ = true;  // the cycle raised its conditions again
    lastCycleNs_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count(),
                       std::memory_order_release);
    ++cycles_;
    if (auto it = delays_.find(cycles_); it != delays_.end()) {
      suppressUntil_ = std::max(suppressUntil_, cycles_ + it->second);
      delays_.erase(it);
    }
    hold = raiseIfAsserted(true);
    server = server_;
  }
  if (hold != 0 && clock->isVirtual()) {
    clock->holdUntil(
        [this, hold] {
          return served_.load(std::memory_order_acquire) >= hold ||
                 !armedFlag_.load(std::memory_order_acquire);
        },
        server);
  }
}

bool VirtualCard::enableInterrupt(std::uint32_t handle, const pcisvc::TransferRecord* commands,
                                  std::uint32_t count, std::uint32_t options) {
  std::lock_guard lock(mutex_);
  if (armed_) return false;
  armed_ = true;
  armedFlag_.store(true, std::memory_order_release);
  handle_ = handle;
  options_ = options;
  ack_.assign(commands, commands + count);
  pending_ = false;
  interrupted_ = false;
  count_ = 0;
  lost_ = 0;
  served_.store(raised_, std::memory_order_release);
  delivered_ = raised_;
  raiseIfAsserted(false);
  return true;
}

bool VirtualCard::disableInterrupt(std::uint32_t handle) {
  platform::Clock* clock = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!armed_ || handle != handle_) return false;
    armed_ = false;
    armedFlag_.store(false, std::memory_order_release);
    pending_ = false;
    wakeWaiter();
    clock = timerClock_;
  }
  if (clock != nullptr) clock->notify();
  return true;
}

bool VirtualCard::interruptArmed() const {
  std::lock_guard lock(mutex_);
  return armed_;
}

bool VirtualCard::waitInterrupt(std::uint32_t handle, pcisvc::TransferRecord* commands,
                                std::uint32_t count, std::uint32_t& interrupts, std::uint32_t& lost,
                                std::uint32_t& stop) {
  std::unique_lock lock(mutex_);
  if (!armed_ || handle != handle_) return false;
  server_ = std::this_thread::get_id();
  // Back at the wait: the interrupt taken last has been served.
  if (served_.load(std::memory_order_relaxed) != delivered_) {
    served_.store(delivered_, std::memory_order_release);
    platform::Clock* clock = timerClock_;
    if (clock != nullptr) {
      lock.unlock();
      clock->notify();
      lock.lock();
    }
  }
  const auto ready = [&] { return !armed_ || interrupted_ || pending_; };
  if (!ready() && timerClock_ != nullptr && timerClock_->isVirtual()) {
    // In virtual time the next cycle's interrupt usually follows within a few
    // microseconds of the advancing thread's release: watch for it before
    // blocking.
    const std::uint64_t seen = signals_.load(std::memory_order_relaxed);
    lock.unlock();
    platform::spinWhile([&] { return signals_.load(std::memory_order_acquire) == seen; });
    lock.lock();
  }
  wake_.wait(lock, ready);
  interrupts = count_;
  lost = lost_;
  if (!armed_ || handle != handle_) {
    stop = pcisvc::kInterruptStopped;
    return true;
  }
  if (interrupted_) {
    interrupted_ = false;
    stop = pcisvc::kInterruptInterrupted;
    return true;
  }
  pending_ = false;
  delivered_ = raised_;
  interrupts = ++count_;
  // The acknowledge commands run as the kernel would, before the wait returns.
  for (std::size_t i = 0; i < ack_.size(); ++i) {
    pcisvc::TransferRecord& command = ack_[i];
    const pcisvc::TransferKind kind = pcisvc::describeTransfer(command.command);
    int space = 0;
    std::uint32_t offset = 0;
    if (kind.valid && !kind.memory && locate(command.address, space, offset)) {
      if (kind.read) {
        std::uint32_t value = 0;
        if (readLocked(space, offset, kind.width, value)) command.data = value;
      } else {
        writeLocked(space, offset, kind.width, command.data);
      }
    }
    if ((options_ & pcisvc::kInterruptRunCommands) != 0 && commands != nullptr && i < count)
      commands[i].data = command.data;
  }
  stop = pcisvc::kInterruptReceived;
  return true;
}

void VirtualCard::interruptWait() {
  std::lock_guard lock(mutex_);
  interrupted_ = true;
  wakeWaiter();
}

void VirtualCard::delayCycleInterrupt(std::uint64_t cycle, std::uint32_t delay) {
  std::lock_guard lock(mutex_);
  delays_[cycle] = delay;
}

std::uint64_t VirtualCard::cycles() const {
  std::lock_guard lock(mutex_);
  return cycles_;
}

bool VirtualCard::interruptLineAsserted() const {
  std::lock_guard lock(mutex_);
  return lineAsserted();
}

std::string VirtualCard::describe() const {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return "card: its lock is held";
  std::string s = "card: " + std::to_string(cycles_) + " cycles, timer " +
                  (timerActive_ ? "running" : "stopped") + ", engine " +
                  (chip_.engineRunning() ? "running" : "stopped") + ", line " +
                  (armed_ ? "armed" : "not armed") + ", request " + (request_ ? "1" : "0") +
                  ", pending " + (pending_ ? "1" : "0") + ", raised " + std::to_string(raised_) +
                  ", delivered " + std::to_string(delivered_) + ", served " +
                  std::to_string(served_.load(std::memory_order_acquire)) +
                  ", interrupts delayed until cycle " + std::to_string(suppressUntil_);
  return s;
}

std::uint64_t VirtualCard::interruptsDelivered() const {
  std::lock_guard lock(mutex_);
  return count_;
}

void VirtualCard::recordWrites(bool on) {
  std::lock_guard lock(mutex_);
  recording_ = on;
}

std::vector<RegisterWrite> VirtualCard::writes() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void VirtualCard::clearWrites() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

}  // namespace vcard
