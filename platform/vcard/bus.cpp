#include "platform/vcard/bus.h"

#include <cstring>
#include <string>

#include "platform/chip/identity.h"
#include "platform/vcard/transfer_marks.h"

namespace vcard {
namespace {
constexpr std::uint32_t kBusNumber = 1;
constexpr std::uint32_t kFirstSlot = 4;
constexpr std::uint32_t kMaxAckCommands = 8;
constexpr std::uint32_t kConfigSpaceSize = 256;

// Each install position has its own port windows.
constexpr std::uint64_t kBridgePorts = 0xE000, kBridgeStride = 0x100;
constexpr std::uint64_t kChipPorts = 0xA000, kChipStride = 0x400;

CardPorts portsFor(std::size_t position) {
  return CardPorts{kBridgePorts + kBridgeStride * position, kChipPorts + kChipStride * position,
                   static_cast<std::uint32_t>(10 + position % 6)};
}

// The install position whose windows a port falls among, if any.
bool positionOf(std::uint64_t port, std::size_t maxCards, std::size_t& position) {
  if (port >= kChipPorts && port < kChipPorts + kChipStride * maxCards) {
    position = static_cast<std::size_t>((port - kChipPorts) / kChipStride);
    return true;
  }
  if (port >= kBridgePorts && port < kBridgePorts + kBridgeStride * maxCards) {
    position = static_cast<std::size_t>((port - kBridgePorts) / kBridgeStride);
    return true;
  }
  return false;
}

bool sameSlot(const pcisvc::PciSlot& a, const pcisvc::PciSlot& b) {
  return a.bus == b.bus && a.slot == b.slot && a.function == b.function;
}
}  // namespace

VirtualBus::VirtualBus() {
  install(ChipModel::Qora210);
}

VirtualBus::~VirtualBus() = default;

std::shared_ptr<VirtualCard> VirtualBus::install(ChipModel model) {
  std::lock_guard lock(mutex_);
  if (slots_.size() >= kMaxCards) return nullptr;
  const std::size_t position = slots_.size();
  auto card = std::make_shared<VirtualCard>(
      model, pcisvc::PciSlot{kBusNumber, kFirstSlot + static_cast<std::uint32_t>(position), 0},
      portsFor(position));
  slots_.push_back(Slot{card});
  return card;
}

void VirtualBus::clear() {
  std::vector<Slot> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(slots_);
    faults_ = Faults{};
    transfersFail_.store(false, std::memory_order_relaxed);
    for (auto& r : registered_)
      r.store(nullptr);
  }
  // Transfers that found a card before it was taken off finish first.
  TransferMark::waitUntilOut(registered_.data(), registered_.data() + registered_.size());
  // Cards are destroyed outside the lock: destruction stops their timers.
}

std::size_t VirtualBus::cardCount() const {
  std::lock_guard lock(mutex_);
  return slots_.size();
}

std::shared_ptr<VirtualCard> VirtualBus::card(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < slots_.size() ? slots_[index].card : nullptr;
}

std::shared_ptr<VirtualCard> VirtualBus::card(ChipModel model, std::size_t index) const {
  std::lock_guard lock(mutex_);
  for (const Slot& s : slots_) {
    if (s.card->model() != model) continue;
    if (index-- == 0) return s.card;
  }
  return nullptr;
}

void VirtualBus::setFaults(const Faults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
  transfersFail_.store(faults.transfersFail, std::memory_order_relaxed);
}

Faults VirtualBus::faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

bool VirtualBus::registered(const VirtualCard& card) const {
  std::lock_guard lock(mutex_);
  for (const Slot& s : slots_)
    if (s.card.get() == &card) return s.cardHandle != 0;
  return false;
}

VirtualBus::Slot* VirtualBus::findBySlot(const pcisvc::PciSlot& slot) {
  for (Slot& s : slots_)
    if (sameSlot(s.card->slot(), slot)) return &s;
  return nullptr;
}

VirtualBus::Slot* VirtualBus::findByPort(std::uint64_t port) {
  for (Slot& s : slots_) {
    int space = 0;
    std::uint32_t offset = 0;
    if (s.card->locate(port, space, offset)) return &s;
  }
  return nullptr;
}

VirtualBus::Slot* VirtualBus::findByInterrupt(std::uint32_t handle) {
  if (handle == 0) return nullptr;
  for (Slot& s : slots_)
    if (s.cardHandle != 0 && s.interruptHandle == handle) return &s;
  return nullptr;
}

pcisvc::Survey VirtualBus::survey() {
  std::lock_guard lock(mutex_);
  pcisvc::Survey s{"the virtual bus", {}};
  if (faults_.serviceUnavailable || faults_.scanFindsNothing) return s;
  for (const Slot& slot : slots_) {
    const pcisvc::PciSlot& at = slot.card->slot();
    s.cards.push_back(pcisvc::FoundCard{
        "virtual bus " + std::to_string(at.bus) + ", slot " + std::to_string(at.slot),
        slot.card->deviceId(), "", slot.cardHandle != 0 ? "in use" : ""});
  }
  return s;
}

bool VirtualBus::available() {
  std::lock_guard lock(mutex_);
  return !faults_.serviceUnavailable;
}

std::uint32_t VirtualBus::version() {
  std::lock_guard lock(mutex_);
  return faults_.version;
}

std::uint32_t VirtualBus::scan(pcisvc::ScanRecord& record) {
  std::lock_guard lock(mutex_);
  const pcisvc::PciId search = record.search;
  std::memset(&record, 0, sizeof record);
  record.search = search;
  if (faults_.scanFindsNothing) return pcisvc::kStatusOk;
  for (const Slot& s : slots_) {
    if (record.count == pcisvc::kMaxScanResults) break;
    if (s.card->deviceId() != search.device || search.vendor != chip::kPciVendor) continue;
    record.ids[record.count] = pcisvc::PciId{search.vendor, search.device};
    record.slots[record.count] = s.card->slot();
    ++record.count;
  }
  return pcisvc::kStatusOk;
}

std::uint32_t VirtualBus::cardInfo(pcisvc::CardInfoRecord& record) {
  std::lock_guard lock(mutex_);
  Slot* s = findBySlot(record.slot);
  if (s == nullptr) return pcisvc::kStatusNotFound;
  const CardPorts& ports = s->card->ports();
  std::memset(&record.card, 0, sizeof record.card);
  record.card.count = 3;
  pcisvc::Resource& irq = record.card.items[0];
  irq.type = pcisvc::kResourceInterrupt;
  irq.interrupt.number = ports.interrupt;
  pcisvc::Resource& bridge = record.card.items[1];
  bridge.type = pcisvc::kResourceIoPort;
  bridge.io = pcisvc::IoResource{ports.bridgeBase, kBridgeSpaceSize};
  pcisvc::Resource& chip = record.card.items[2];
  chip.type = pcisvc::kResourceIoPort;
  chip.io = pcisvc::IoResource{ports.chipBase, kChipSpaceSize};
  return pcisvc::kStatusOk;
}

std::uint32_t VirtualBus::registerCard(pcisvc::CardRegisterRecord& record, pcisvc::Owner owner) {
  std::lock_guard lock(mutex_);
  if (record.card.count > pcisvc::kMaxResources) return pcisvc::kStatusInvalidRecord;
  // The card is the one whose I/O windows the resources name.
  Slot* slot = nullptr;
  for (std::uint32_t i = 0; i < record.card.count && slot == nullptr; ++i) {
    const pcisvc::Resource& r = record.card.items[i];
    if (r.type == pcisvc::kResourceIoPort) slot = findByPort(r.io.base);
  }
  if (slot == nullptr) return pcisvc::kStatusNotFound;
  record.cardHandle = 0;
  if (faults_.cardInUse || slot->cardHandle != 0) return pcisvc::kStatusOk;  // held elsewhere
  slot->cardHandle = nextHandle_++;
  slot->interruptHandle = 0x100 + slot->cardHandle;
  slot->owner = owner;
  for (std::uint32_t i = 0; i < record.card.count; ++i) {
    pcisvc::Resource& r = record.card.items[i];
    if (r.type == pcisvc::kResourceInterrupt) r.interrupt.handle = slot->interruptHandle;
  }
  record.cardHandle = slot->cardHandle;
  publish(*slot);
  return pcisvc::kStatusOk;
}

void VirtualBus::publish(const Slot& slot) {
  const auto position = static_cast<std::size_t>(&slot - slots_.data());
  registered_[position].store(slot.cardHandle != 0 ? slot.card.get() : nullptr);
}

void VirtualBus::releaseSlot(Slot& slot) {
  slot.card->disableInterrupt(slot.interruptHandle);
  slot.cardHandle = 0;
  slot.interruptHandle = 0;
  slot.owner = 0;
  publish(slot);
}

std::uint32_t VirtualBus::unregisterCard(const pcisvc::CardRegisterRecord& record) {
  std::lock_guard lock(mutex_);
  if (record.cardHandle == 0) return pcisvc::kStatusInvalidHandle;
  for (Slot& s : slots_) {
    if (s.cardHandle == record.cardHandle) {
      releaseSlot(s);
      return pcisvc::kStatusOk;
    }
  }
  return pcisvc::kStatusInvalidHandle;
}

void VirtualBus::release(pcisvc::Owner owner) {
  std::lock_guard lock(mutex_);
  for (Slot& s : slots_)
    if (s.cardHandle != 0 && s.owner == owner) releaseSlot(s);
}

std::uint32_t VirtualBus::configAccess(pcisvc::ConfigAccessRecord& record) {
  std::lock_guard lock(mutex_);
  if (record.buffer == nullptr || (record.bytes != 1 && record.bytes != 2 && record.bytes != 4) ||
      record.offset >= kConfigSpaceSize || record.offset + record.bytes > kConfigSpaceSize)
    return pcisvc::kStatusInvalidRecord;
  Slot* s = findBySlot(record.slot);
  if (s == nullptr) return pcisvc::kStatusNotFound;
  if (record.read != 1) return pcisvc::kStatusFailed;  // the configuration space is read-only here
  std::uint8_t bytes[4];
  for (std::uint32_t i = 0; i < record.bytes; ++i) {
    const std::uint32_t at = record.offset + i;
    bytes[i] = static_cast<std::uint8_t>(s->card->configRead32(at) >> (8 * (at & 3u)));
  }
  std::memcpy(record.buffer, bytes, record.bytes);
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, record.bytes);
  record.result = value;
  return pcisvc::kStatusOk;
}

// The data path: no bus lock, no card lookup by search; the card's own lock
// serialises the access.
std::uint32_t VirtualBus::transfer(pcisvc::TransferRecord& record) {
  if (transfersFail_.load(std::memory_order_relaxed)) return pcisvc::kStatusFailed;
  std::size_t position = 0;
  if (!positionOf(record.address, kMaxCards, position)) return pcisvc::kStatusNotFound;
  const TransferMark inside(&registered_[position]);
  VirtualCard* card = registered_[position].load();  // sequentially consistent: see TransferMark
  int space = 0;
  std::uint32_t offset = 0;
  if (card == nullptr || !card->locate(record.address, space, offset))
    return pcisvc::kStatusNotFound;
  const pcisvc::TransferKind kind = pcisvc::describeTransfer(record.command);
  if (!kind.valid || kind.memory || record.bytes != static_cast<std::uint32_t>(kind.width / 8))
    return pcisvc::kStatusInvalidRecord;
  if (kind.read) {
    std::uint32_t value = 0;
    if (!card->read(space, offset, kind.width, value)) return pcisvc::kStatusInvalidRecord;
    record.data = value;
    return pcisvc::kStatusOk;
  }
  return card->write(space, offset, kind.width, record.data) ? pcisvc::kStatusOk
                                                             : pcisvc::kStatusInvalidRecord;
}

std::uint32_t VirtualBus::interruptEnable(pcisvc::InterruptRecord& record) {
  std::shared_ptr<VirtualCard> card;
  {
    std::lock_guard lock(mutex_);
    if (faults_.interruptEnableFails) return pcisvc::kStatusFailed;
    Slot* s = findByInterrupt(record.handle);
    if (s == nullptr) return pcisvc::kStatusInvalidHandle;
    card = s->card;
  }
  if (record.commandCount > kMaxAckCommands ||
      (record.commandCount != 0 && record.commands == nullptr))
    return pcisvc::kStatusInvalidRecord;
  for (std::uint32_t i = 0; i < record.commandCount; ++i)
    if (!pcisvc::describeTransfer(record.commands[i].command).valid)
      return pcisvc::kStatusInvalidRecord;
  if (!card->enableInterrupt(record.handle, record.commands, record.commandCount, record.options))
    return pcisvc::kStatusBusy;
  record.enableOk = 1;
  record.count = 0;
  record.lost = 0;
  record.stopped = 0;
  return pcisvc::kStatusOk;
}

std::uint32_t VirtualBus::interruptDisable(pcisvc::InterruptRecord& record) {
  std::shared_ptr<VirtualCard> card;
  {
    std::lock_guard lock(mutex_);
    Slot* s = findByInterrupt(record.handle);
    if (s == nullptr) return pcisvc::kStatusInvalidHandle;
    card = s->card;
  }
  return card->disableInterrupt(record.handle) ? pcisvc::kStatusOk : pcisvc::kStatusFailed;
}

std::uint32_t VirtualBus::interruptWait(pcisvc::InterruptRecord& record) {
  std::shared_ptr<VirtualCard> card;
  {
    std::lock_guard lock(mutex_);
    Slot* s = findByInterrupt(record.handle);
    if (s == nullptr) {
      // Disabled and released before the wait came in: the wait ends at once.
      record.stopped = pcisvc::kInterruptStopped;
      return pcisvc::kStatusOk;
    }
    card = s->card;
  }
  if (record.commandCount > kMaxAckCommands ||
      (record.commandCount != 0 && record.commands == nullptr))
    return pcisvc::kStatusInvalidRecord;
  std::uint32_t count = 0, lost = 0, stop = 0;
  if (!card->waitInterrupt(record.handle, record.commands, record.commandCount, count, lost,
                           stop)) {
    record.stopped = pcisvc::kInterruptStopped;  // not armed: nothing to wait for
    return pcisvc::kStatusOk;
  }
  record.count = count;
  record.lost = lost;
  record.stopped = stop;
  return pcisvc::kStatusOk;
}

VirtualBus& bus() {
  // Never destroyed: the service that stands on it outlives every program
  // object (see pcisvc's handle table).
  static VirtualBus* instance = new VirtualBus;
  return *instance;
}

}  // namespace vcard
