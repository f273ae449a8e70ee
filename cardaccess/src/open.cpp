// Opening and closing a card through the driver service: the open sequence
// with its messages, address-space detection from the configuration-space
// base registers, interrupt enabling with the two acknowledge commands, the
// card's interrupt thread, and close.
#include <cstring>
#include <memory>
#include <system_error>

#include "cardaccess/src/card.h"
#include "cardaccess/src/frame_internal.h"
#include "cardaccess/src/service_port.h"
#include "platform/chip/regs.h"
#include "platform/msgbox/msgbox.h"

namespace r = chip::reg;

namespace qora {
namespace {

constexpr std::uint32_t kVendorId = 0x1D7A;
constexpr std::uint32_t kDevice210 = 0x0210;
constexpr std::uint32_t kDevice310 = 0x0310;
constexpr std::uint32_t kMinServiceVersion = 602;

// An open card's record and the port that reaches it through the service.
struct OpenCard {
  CardRecord record;
  ServicePort port{record};
  std::thread::id interruptThread;
};

void closeRecord(OpenCard& card);
void stopInterruptThread(CardRecord& rec);

// The open cards. A host may end (return from main, exit) with cards still
// open; the table's teardown then does what the end of the process does to a
// program's driver handles: it stops each card's interrupt service, waits for
// the interrupt thread and releases the card. The chip is left as it is.
struct CardTable {
  std::array<std::unique_ptr<OpenCard>, kMaxCards> cards;

  ~CardTable() {
    for (std::uint16_t index = 0; index < kMaxCards; ++index) {
      std::unique_ptr<OpenCard>& open = cards[index];
      if (open == nullptr) continue;
      Slot& s = library().slot(index);
      std::lock_guard<std::mutex> life(s.lifecycle);
      stopInterruptThread(open->record);
      closeRecord(*open);
      {
        std::lock_guard<std::mutex> guard(s.lock);
        s.port = nullptr;
      }
      open.reset();
    }
  }
};

std::array<std::unique_ptr<OpenCard>, kMaxCards>& openCards() {
  static CardTable table;
  return table.cards;
}

void message(const char* text) {
  platform::msgbox::show(text, "Error");
}

template <class Record>
bool request(pcisvc::Handle handle, std::uint32_t code, Record& record) {
  std::uint32_t status = 0xFFFFFFFF;
  return pcisvc::deviceControl(handle, code, &record, sizeof record, &status) &&
         status == pcisvc::kStatusOk;
}

bool versionOk(pcisvc::Handle handle) {
  pcisvc::VersionRecord v{};
  return request(handle, pcisvc::kVersionQuery, v) && v.version >= kMinServiceVersion;
}

std::uint32_t scan(pcisvc::Handle handle, std::uint32_t vendor, std::uint32_t device,
                   pcisvc::ScanRecord& out) {
  out = pcisvc::ScanRecord{};
  out.search = pcisvc::PciId{vendor, device};
  if (!request(handle, pcisvc::kPciScan, out)) return 0;
  return std::min(out.count, pcisvc::kMaxScanResults);
}

std::uint32_t configRead32(pcisvc::Handle handle, const pcisvc::PciSlot& slot,
                           std::uint32_t offset) {
  std::uint32_t value = 0;
  pcisvc::ConfigAccessRecord c{slot, &value, offset, 4, 1, 0};
  if (!request(handle, pcisvc::kPciConfigAccess, c)) return 0;
  return value;
}

// Matches each memory and I/O resource with the first base register of the
// same kind that holds its address.
bool detectAddressSpaces(CardRecord& rec) {
  rec.spaces = {};
  bool haveInterrupt = false;
  const pcisvc::CardResources& res = rec.registration.card;
  for (std::uint32_t i = 0; i < std::min(res.count, pcisvc::kMaxResources); ++i) {
    const pcisvc::Resource& item = res.items[i];
    if (item.type == pcisvc::kResourceInterrupt) {
      if (haveInterrupt) return false;
      haveInterrupt = true;
      rec.interrupt.handle = item.interrupt.handle;
      continue;
    }
    if (item.type != pcisvc::kResourceMemory && item.type != pcisvc::kResourceIoPort) continue;
    const bool memory = item.type == pcisvc::kResourceMemory;
    const std::uint64_t address = memory ? item.memory.physical : item.io.base;
    for (unsigned b = 0; b < rec.spaces.size(); ++b) {
      if (rec.spaces[b].active) continue;
      const std::uint32_t bar =
          configRead32(rec.service, rec.location, b == 6 ? 0x30 : 0x10 + 4 * b);
      const bool io = (bar & 1u) != 0;
      if (io == memory) continue;
      const std::uint32_t barAddress = io ? (bar & ~0x3u) : (bar & ~0xFu);
      if (barAddress != address) continue;
      rec.spaces[b] = AddressSpace{true, i, memory};
      break;
    }
  }
  if (rec.useInterrupt && !haveInterrupt) return false;
  for (const AddressSpace& s : rec.spaces)
    if (s.active) return true;
  return false;
}

void closeRecord(OpenCard& card) {
  CardRecord& rec = card.record;
  if (rec.registration.cardHandle != 0)
    request(rec.service, pcisvc::kCardUnregister, rec.registration);
  if (rec.service != pcisvc::kInvalidHandle) pcisvc::closeDevice(rec.service);
  rec.service = pcisvc::kInvalidHandle;
}

// Ends the card's interrupt thread: the disable request makes its wait
// return stopped. A thread that is itself ending the process (a routine that
// called exit) cannot wait for itself and is left to end with the process.
void stopInterruptThread(CardRecord& rec) {
  if (!rec.thread.joinable()) return;
  request(rec.service, pcisvc::kInterruptDisable, rec.interrupt);
  if (rec.thread.get_id() == std::this_thread::get_id())
    rec.thread.detach();
  else
    rec.thread.join();
}

// The interrupt thread: one wait at a time, on a handle of its own (opened
// once for the thread), so that requests on the card's handle are not held
// up behind the wait.
void interruptLoop(std::uint16_t index, pcisvc::InterruptRecord base,
                   std::array<pcisvc::TransferRecord, 2> commands) {
  const pcisvc::Handle own = pcisvc::openDevice(pcisvc::kDeviceName);
  if (own == pcisvc::kInvalidHandle) return;  // no service: no interrupt service either
  for (;;) {
    pcisvc::InterruptRecord wait = base;
    std::array<pcisvc::TransferRecord, 2> results = commands;
    wait.commands = results.data();
    const bool ok = request(own, pcisvc::kInterruptWait, wait);
    if (!ok || wait.stopped == pcisvc::kInterruptStopped) break;
    if (wait.stopped == pcisvc::kInterruptInterrupted) continue;
    serveInterrupt(index);
  }
  pcisvc::closeDevice(own);
}

void enableInterrupts(std::uint16_t index, OpenCard& card) {
  CardRecord& rec = card.record;
  if (!rec.useInterrupt || rec.thread.joinable()) return;
  Slot& s = library().slot(index);
  std::uint8_t v = 0;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    v = card.port.read8(kBridgeSpace, r::kBridgeIntCsr);
  }
  const AddressSpace& bridge = rec.spaces[kBridgeSpace];
  const pcisvc::Resource& res = rec.registration.card.items[bridge.resource];
  const std::uint64_t address =
      (bridge.memory ? res.memory.transferAddress : res.io.base) + r::kBridgeIntCsr;
  rec.acknowledge[0] = pcisvc::TransferRecord{
      address, bridge.memory ? pcisvc::kMemRead8 : pcisvc::kPortRead8, 1, 0, 0, 0};
  rec.acknowledge[1] = pcisvc::TransferRecord{
      address, bridge.memory ? pcisvc::kMemWrite8 : pcisvc::kPortWrite8, 1, 0,
      0,       static_cast<std::uint32_t>(v & ~r::kBridgePciIntEnable)};
  rec.interrupt.commands = rec.acknowledge.data();
  rec.interrupt.commandCount = 2;
  rec.interrupt.options |= pcisvc::kInterruptLevelSensitive | pcisvc::kInterruptRunCommands;
  if (!request(rec.service, pcisvc::kInterruptEnable, rec.interrupt)) return;
  try {
    rec.thread = std::thread(interruptLoop, index, rec.interrupt, rec.acknowledge);
    card.interruptThread = rec.thread.get_id();
  } catch (const std::system_error&) {
    request(rec.service, pcisvc::kInterruptDisable, rec.interrupt);
    return;
  }
  setBridgeEnable(index);
}

// The open sequence; every failure shows its message and leaves the slot empty.
bool openCard(std::uint16_t index, std::uint32_t vendor, std::uint32_t device) {
  Slot& s = library().slot(index);
  if (openCards()[index] != nullptr || s.port != nullptr) return false;

  // Pre-check: the service opens and is recent enough.
  pcisvc::Handle h = pcisvc::openDevice(pcisvc::kDeviceName);
  if (h == pcisvc::kInvalidHandle) {
    message("Cannot open this QX-7T card !\n");
    return false;
  }
  const bool recent = versionOk(h);
  pcisvc::closeDevice(h);
  if (!recent) {
    message("Incorrect driver version !\n");
    return false;
  }

  // Pre-scan: tells the user when no card of the model is installed at all.
  h = pcisvc::openDevice(pcisvc::kDeviceName);
  if (h == pcisvc::kInvalidHandle) {
    message("Cannot open driver !\n");
  } else {
    pcisvc::ScanRecord found{};
    if (!versionOk(h))
      message("Incorrect driver version !\n");
    else if (scan(h, vendor, device, found) == 0)
      message("No cards found !\n");
    pcisvc::closeDevice(h);
  }

  auto card = std::make_unique<OpenCard>();
  CardRecord& rec = card->record;
  rec.useInterrupt = true;
  rec.service = pcisvc::openDevice(pcisvc::kDeviceName);
  const auto fail = [&](const char* text) {
    if (text != nullptr) message(text);
    closeRecord(*card);
    return false;
  };
  if (rec.service == pcisvc::kInvalidHandle) return fail("Cannot open this QX-7T card !\n");
  if (!versionOk(rec.service)) return fail("Incorrect driver version !\n");
  pcisvc::ScanRecord found{};
  const std::uint32_t count = scan(rec.service, vendor, device, found);
  if (count == 0) return fail("Cannot find QX-7T card !\n");
  if (count <= index) return fail("Card out of range of available cards !\n");

  pcisvc::CardInfoRecord info{};
  info.slot = found.slots[index];
  if (!request(rec.service, pcisvc::kPciCardInfo, info)) return fail(nullptr);
  rec.location = info.slot;
  rec.registration.card = info.card;
  for (std::uint32_t i = 0; i < std::min(info.card.count, pcisvc::kMaxResources); ++i) {
    pcisvc::Resource& item = rec.registration.card.items[i];
    if (item.type == pcisvc::kResourceInterrupt) {
      if (rec.useInterrupt)
        item.sharable = 1;
      else
        item.type = pcisvc::kResourceNone;
    }
  }
  rec.registration.lockCheck = 0;
  if (!request(rec.service, pcisvc::kCardRegister, rec.registration) ||
      rec.registration.cardHandle == 0) {
    rec.registration.cardHandle = 0;
    return fail("Could not lock this QX-7T card, already in use !\n");
  }
  if (!detectAddressSpaces(rec))
    return fail("Card does not have all items expected for this QX-7T card !\n");

  OpenCard& placed = *card;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.port = &placed.port;
  }
  openCards()[index] = std::move(card);
  enableInterrupts(index, placed);  // the card works without interrupts when this fails
  return true;
}

int initialise(std::uint16_t model, std::uint32_t device, const QORA_ISR (&routines)[kModuleCount],
               std::uint16_t index) {
  if (index >= kMaxCards) return QORA_REFUSED;
  Slot& s = library().slot(index);
  std::lock_guard<std::mutex> life(s.lifecycle);
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.port != nullptr) return QORA_REFUSED;
  }
  s.model.store(model, std::memory_order_relaxed);
  if (!openCard(index, kVendorId, device)) return QORA_REFUSED;
  for (unsigned m = 0; m < kModuleCount; ++m)
    s.routines[m].store(routines[m], std::memory_order_release);
  chipInitialise(index);
  return QORA_DONE;
}

}  // namespace
}  // namespace qora

using namespace qora;

extern "C" {

int QORA210_Init(QORA_ISR dda, QORA_ISR enc012, QORA_ISR enc345, QORA_ISR enc678, QORA_ISR rio0,
                 QORA_ISR rio1, QORA_ISR adc, QORA_ISR lio, QORA_ISR pcl, uint16_t card) {
  const QORA_ISR routines[kModuleCount] = {dda, enc012, enc345, enc678, rio0, rio1, adc, lio, pcl};
  return initialise(QORA_MODEL_210, kDevice210, routines, card);
}

int QORA310_Init(QORA_ISR dda, QORA_ISR enc012, QORA_ISR enc345, QORA_ISR enc678, QORA_ISR rio0,
                 QORA_ISR rio1, QORA_ISR adc, QORA_ISR lio, QORA_ISR pcl, uint16_t card) {
  const QORA_ISR routines[kModuleCount] = {dda, enc012, enc345, enc678, rio0, rio1, adc, lio, pcl};
  return initialise(QORA_MODEL_310, kDevice310, routines, card);
}

int QORA_Close(uint16_t card) {
  if (card >= kMaxCards) return QORA_REFUSED;
  Slot& s = library().slot(card);
  std::lock_guard<std::mutex> life(s.lifecycle);
  std::unique_ptr<OpenCard>& open = openCards()[card];
  if (open == nullptr) return QORA_REFUSED;
  // The interrupt thread cannot wait for itself to end.
  if (open->interruptThread == std::this_thread::get_id()) return QORA_REFUSED;
  withCard(card, [](Chip& c) { chipReset(c); });
  stopInterruptThread(open->record);
  closeRecord(*open);
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.port = nullptr;
  }
  open.reset();
  return QORA_DONE;
}

}  // extern "C"
