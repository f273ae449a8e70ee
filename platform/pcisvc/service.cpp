#include "platform/pcisvc/service.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/vcard/bus.h"

namespace pcisvc {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::set<Handle> open;
  Handle next = 1;
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
  HandleTable& table = handles();
  std::lock_guard lock(table.mutex);
  return table.open.count(handle) != 0;
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
  table.open.insert(handle);
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
  {
    HandleTable& table = handles();
    std::lock_guard lock(table.mutex);
    if (table.open.erase(handle) == 0) return;
  }
  backend().release(handle);
}

}  // namespace pcisvc
