#include "platform/pcisvc/service.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/vcard/bus.h"

namespace pcisvc {
namespace {

// Open handles. Every request checks its handle, so the check reads one
// atomic: an open handle sits in the entry of `open` its value selects. The
// handles given while that entry is taken (more handles open at once than
// there are entries) are kept in `overflow`, which is looked at under the
// lock only while it holds any.
struct HandleTable {
  static constexpr std::size_t kEntries = 256;
  std::mutex mutex;
  std::array<std::atomic<Handle>, kEntries> open{};
  std::set<Handle> overflow;
  std::atomic<std::size_t> overflowCount{0};
  Handle next = 1;

  static std::size_t entry(Handle handle) { return static_cast<std::size_t>(handle) % kEntries; }
};

// Never destroyed, like the kernel service it stands for: a program's
// threads and its libraries' teardown may still issue requests while the
// program's static objects are destroyed.
HandleTable& handles() {
  static HandleTable* table = new HandleTable;
  return *table;
}

std::atomic<Backend*> replacement{nullptr};

bool isOpen(Handle handle) {
  if (handle <= 0) return false;
  HandleTable& table = handles();
  if (table.open[HandleTable::entry(handle)].load(std::memory_order_acquire) == handle) return true;
  if (table.overflowCount.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard lock(table.mutex);
  return table.overflow.count(handle) != 0;
}

// The record size each request expects.
std::size_t recordSize(std::uint32_t code) {
  switch (code) {
    case kVersionQuery:
      return sizeof(VersionRecord);
    case kPciScan:
      return sizeof(ScanRecord);
    case kPciCardInfo:
      return sizeof(CardInfoRecord);
    case kCardRegister:
    case kCardUnregister:
      return sizeof(CardRegisterRecord);
    case kPciConfigAccess:
      return sizeof(ConfigAccessRecord);
    case kTransfer:
      return sizeof(TransferRecord);
    case kInterruptEnable:
    case kInterruptDisable:
    case kInterruptWait:
      return sizeof(InterruptRecord);
    default:
      return 0;
  }
}

std::uint32_t dispatch(Backend& bus, Handle handle, std::uint32_t code, void* record) {
  switch (code) {
    case kVersionQuery: {
      auto& r = *static_cast<VersionRecord*>(record);
      r.version = bus.version();
      std::memset(r.text, 0, sizeof r.text);
      std::strncpy(r.text, bus.name(), sizeof r.text - 1);
      return kStatusOk;
    }
    case kPciScan:
      return bus.scan(*static_cast<ScanRecord*>(record));
    case kPciCardInfo:
      return bus.cardInfo(*static_cast<CardInfoRecord*>(record));
    case kCardRegister:
      return bus.registerCard(*static_cast<CardRegisterRecord*>(record), handle);
    case kCardUnregister:
      return bus.unregisterCard(*static_cast<CardRegisterRecord*>(record));
    case kPciConfigAccess:
      return bus.configAccess(*static_cast<ConfigAccessRecord*>(record));
    case kTransfer:
      return bus.transfer(*static_cast<TransferRecord*>(record));
    case kInterruptEnable:
      return bus.interruptEnable(*static_cast<InterruptRecord*>(record));
    case kInterruptDisable:
      return bus.interruptDisable(*static_cast<InterruptRecord*>(record));
    case kInterruptWait:
      return bus.interruptWait(*static_cast<InterruptRecord*>(record));
    default:
      return kStatusUnsupported;
  }
}

}  // namespace

Backend& backend() {
  Backend* b = replacement.load(std::memory_order_acquire);
  return b != nullptr ? *b : vcard::bus();
}

void setBackend(Backend* b) {
  replacement.store(b, std::memory_order_release);
}

Handle openDevice(const char* name) {
  if (name == nullptr || std::strcmp(name, kDeviceName) != 0) return kInvalidHandle;
  if (!backend().available()) return kInvalidHandle;
  HandleTable& table = handles();
  std::lock_guard lock(table.mutex);
  const Handle handle = table.next++;
  std::atomic<Handle>& entry = table.open[HandleTable::entry(handle)];
  if (entry.load(std::memory_order_relaxed) == 0) {
    entry.store(handle, std::memory_order_release);
  } else {
    table.overflow.insert(handle);
    table.overflowCount.store(table.overflow.size(), std::memory_order_release);
  }
  return handle;
}

bool deviceControl(Handle handle, std::uint32_t code, void* record, std::size_t size,
                   std::uint32_t* status) {
  if (status == nullptr || !isOpen(handle)) return false;
  const std::size_t expected = recordSize(code);
  if (expected == 0) {
    *status = kStatusUnsupported;
    return true;
  }
  if (record == nullptr || size != expected) return false;
  *status = dispatch(backend(), handle, code, record);
  return true;
}

void closeDevice(Handle handle) {
  if (handle <= 0) return;
  {
    HandleTable& table = handles();
    std::lock_guard lock(table.mutex);
    std::atomic<Handle>& entry = table.open[HandleTable::entry(handle)];
    if (entry.load(std::memory_order_relaxed) == handle) {
      entry.store(0, std::memory_order_release);
    } else {
      if (table.overflow.erase(handle) == 0) return;
      table.overflowCount.store(table.overflow.size(), std::memory_order_release);
    }
  }
  backend().release(handle);
}

}  // namespace pcisvc
