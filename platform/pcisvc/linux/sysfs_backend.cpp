#include "platform/pcisvc/linux/sysfs_backend.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/chip/identity.h"
#include "platform/msgbox/msgbox.h"

namespace pcisvc::sysfs {
namespace {

constexpr const char* kUioDriver = "uio_pci_generic";
constexpr const char* kGuide = "see docs/linux-cards.md";
constexpr const char* kUdevRule = "scripts/udev/70-tervane-cards.rules";
constexpr std::uint32_t kMaxAckCommands = 8;  // as many as the virtual service takes
constexpr std::uint32_t kConfigSpaceSize = 256;
// The high byte of the PCI command register (configuration offset 5) holds
// the Interrupt Disable bit (bit 10 of the register).
constexpr off_t kCommandHigh = 5;
constexpr std::uint8_t kInterruptDisable = 0x04;

void tell(const std::string& text) {
  platform::msgbox::show(text, "Driver service");
}

std::string errorText(int error) {
  return std::strerror(error);
}

std::string lastPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Why `path` did not open, and what fixes it.
std::string openProblem(const std::string& path, int error) {
  if (error == EACCES || error == EPERM)
    return "no permission to open " + path + ": install " + kUdevRule +
           " and add the user to group tervane (" + kGuide + ")";
  return "cannot open " + path + ": " + errorText(error) + " (" + kGuide + ")";
}

std::string bindFix(const std::string& name) {
  return "bind it with `sudo scripts/bind-card " + name + "` (" + kGuide + ")";
}

bool validCommands(const InterruptRecord& record) {
  return record.commandCount <= kMaxAckCommands &&
         (record.commandCount == 0 || record.commands != nullptr);
}

}  // namespace

// A registered card, or one opened for a survey: the files it holds and its
// interrupt state. Destroying it unmaps and closes everything, which also
// releases the lock.
struct SysfsBackend::Card {
  explicit Card(System& s) : system(s) {
    resource.fill(-1);
    mapBase.fill(nullptr);
    mapLength.fill(0);
    mapped.fill(nullptr);
  }
  ~Card() {
    for (std::size_t b = 0; b < kBarCount; ++b) {
      if (mapBase[b] != nullptr) system.munmap(mapBase[b], mapLength[b]);
      if (resource[b] >= 0) system.close(resource[b]);
    }
    for (int fd : {uio, wake, config})
      if (fd >= 0) system.close(fd);
  }
  Card(const Card&) = delete;
  Card& operator=(const Card&) = delete;

  std::uint32_t transfer(TransferRecord& t);
  bool setMasked(bool masked) {
    const std::uint8_t v = masked ? command | kInterruptDisable : command;
    return system.pwrite(config, &v, 1, kCommandHigh) == 1;
  }
  void wakeWaiter() {
    const std::uint64_t one = 1;
    system.write(wake, &one, sizeof one);
  }

  System& system;
  std::string name;  // "0000:03:00.0"
  Bars bars{};
  std::array<int, kBarCount> resource{};
  std::array<void*, kBarCount> mapBase{};
  std::array<std::size_t, kBarCount> mapLength{};
  std::array<std::uint8_t*, kBarCount> mapped{};  // the register's first byte
  int config = -1;                                // holds the lock
  int uio = -1;
  int wake = -1;  // ends a blocked wait
  std::uint32_t cardHandle = 0;
  std::uint32_t interruptHandle = 0;
  Owner owner = 0;

  // Interrupt state.
  std::mutex mutex;
  bool armed = false;
  std::uint64_t epoch = 0;  // counts disables: a wait that sees it change ends
  std::vector<TransferRecord> ack;
  std::uint32_t options = 0;
  std::uint32_t count = 0;
  std::uint32_t lost = 0;
  bool haveEvent = false;
  std::uint32_t lastEvent = 0;  // the UIO node's count at the last wake-up
  std::uint8_t command = 0;     // command register high byte, Interrupt Disable clear
};

std::uint32_t SysfsBackend::Card::transfer(TransferRecord& t) {
  const TransferKind kind = describeTransfer(t.command);
  if (!kind.valid || t.bytes != static_cast<std::uint32_t>(kind.width / 8))
    return kStatusInvalidRecord;
  const BarKind wanted = kind.memory ? BarKind::Memory : BarKind::Io;
  for (std::size_t b = 0; b < kBarCount; ++b) {
    if (bars[b].kind != wanted || !bars[b].contains(t.address, t.bytes)) continue;
    const std::uint64_t offset = t.address - bars[b].start;
    if (kind.memory) {
      if (mapped[b] == nullptr) return kStatusFailed;
      if (offset % t.bytes != 0) return kStatusInvalidRecord;
      std::uint8_t* at = mapped[b] + offset;
      switch (kind.width) {
        case 8:
          if (kind.read)
            t.data = *reinterpret_cast<volatile std::uint8_t*>(at);
          else
            *reinterpret_cast<volatile std::uint8_t*>(at) = static_cast<std::uint8_t>(t.data);
          break;
        case 16:
          if (kind.read)
            t.data = *reinterpret_cast<volatile std::uint16_t*>(at);
          else
            *reinterpret_cast<volatile std::uint16_t*>(at) = static_cast<std::uint16_t>(t.data);
          break;
        default:
          if (kind.read)
            t.data = *reinterpret_cast<volatile std::uint32_t*>(at);
          else
            *reinterpret_cast<volatile std::uint32_t*>(at) = t.data;
          break;
      }
      return kStatusOk;
    }
    // A port: one pread or pwrite of the transfer's width on the resource
    // file, which the kernel turns into one in or out instruction.
    if (resource[b] < 0) return kStatusFailed;
    const auto at = static_cast<off_t>(offset);
    std::uint8_t v8 = static_cast<std::uint8_t>(t.data);
    std::uint16_t v16 = static_cast<std::uint16_t>(t.data);
    std::uint32_t v32 = t.data;
    void* value = kind.width == 8    ? static_cast<void*>(&v8)
                  : kind.width == 16 ? static_cast<void*>(&v16)
                                     : static_cast<void*>(&v32);
    const ssize_t n = kind.read ? system.pread(resource[b], value, t.bytes, at)
                                : system.pwrite(resource[b], value, t.bytes, at);
    if (n != static_cast<ssize_t>(t.bytes)) return kStatusFailed;
    if (kind.read) t.data = kind.width == 8 ? v8 : kind.width == 16 ? v16 : v32;
    return kStatusOk;
  }
  return kStatusNotFound;
}

SysfsBackend::SysfsBackend(System& system, std::string sysRoot, std::string devRoot)
    : system_(system), sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

SysfsBackend::~SysfsBackend() = default;

bool SysfsBackend::readFile(const std::string& path, std::string& text) {
  text.clear();
  const int fd = system_.open(path, O_RDONLY);
  if (fd < 0) return false;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = system_.pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  system_.close(fd);
  return ok;
}

std::vector<SysfsBackend::Function> SysfsBackend::functions() {
  std::vector<Function> out;
  std::vector<std::string> names;
  if (!system_.listDirectory(devicesDir(), names)) return out;
  for (const std::string& name : names) {
    const std::optional<PciAddress> address = parseAddress(name);
    if (!address) continue;
    Function f;
    f.address = *address;
    f.dir = devicesDir() + "/" + name;
    std::string text;
    std::optional<std::uint32_t> vendor, device;
    if (readFile(f.dir + "/vendor", text)) vendor = parseHex(text);
    if (readFile(f.dir + "/device", text)) device = parseHex(text);
    if (!vendor || !device) continue;  // not readable: not a function we could use
    f.vendor = *vendor;
    f.device = *device;
    out.push_back(std::move(f));
  }
  // The directory lists in no particular order; the scan reports bus order.
  std::sort(out.begin(), out.end(),
            [](const Function& a, const Function& b) { return a.address < b.address; });
  return out;
}

bool SysfsBackend::findBySlot(const PciSlot& slot, Function& out) {
  for (Function& f : functions()) {
    const PciSlot s = toSlot(f.address);
    if (s.bus == slot.bus && s.slot == slot.slot && s.function == slot.function) {
      out = std::move(f);
      return true;
    }
  }
  return false;
}

bool SysfsBackend::available() {
  return system_.isDirectory(devicesDir());
}

Survey SysfsBackend::survey() {
  Survey s{devicesDir(), {}};
  for (const Function& f : functions()) {
    if (!chip::isCardDevice(f.vendor, f.device)) continue;
    FoundCard found{formatAddress(f.address), f.device, "", ""};
    std::string text;
    const std::optional<std::uint32_t> subVendor =
        readFile(f.dir + "/subsystem_vendor", text) ? parseHex(text) : std::nullopt;
    const std::optional<std::uint32_t> subDevice =
        readFile(f.dir + "/subsystem_device", text) ? parseHex(text) : std::nullopt;
    const std::optional<std::uint32_t> irq =
        readFile(f.dir + "/irq", text) ? parseDecimal(text) : std::nullopt;
    char detail[64];
    std::snprintf(detail, sizeof detail, "subsystem %04x:%04x, irq %u", subVendor.value_or(0),
                  subDevice.value_or(0), irq.value_or(0));
    found.detail = detail;
    bool held = false;
    {
      std::lock_guard lock(mutex_);
      for (const auto& card : cards_)
        held = held || card->name == found.where;
    }
    if (held) {
      found.problem = "in use by this program";
    } else {
      Card trial(system_);
      const std::optional<Bars> bars =
          readFile(f.dir + "/resource", text) ? parseResources(text) : std::nullopt;
      bool busy = false;
      if (!bars) {
        found.problem = "cannot read " + f.dir + "/resource (" + kGuide + ")";
      } else {
        trial.bars = *bars;
        found.problem = openCard(f, trial, busy);
        if (busy) found.problem = "in use by another program";
      }
    }
    s.cards.push_back(std::move(found));
  }
  return s;
}

std::uint32_t SysfsBackend::scan(ScanRecord& record) {
  const PciId search = record.search;
  std::memset(&record, 0, sizeof record);
  record.search = search;
  for (const Function& f : functions()) {
    if (record.count == kMaxScanResults) break;
    if (f.vendor != search.vendor || f.device != search.device) continue;
    record.ids[record.count] = search;
    record.slots[record.count] = toSlot(f.address);
    ++record.count;
  }
  return kStatusOk;
}

std::uint32_t SysfsBackend::cardInfo(CardInfoRecord& record) {
  Function f;
  if (!findBySlot(record.slot, f)) return kStatusNotFound;
  std::string text;
  const std::optional<Bars> bars =
      readFile(f.dir + "/resource", text) ? parseResources(text) : std::nullopt;
  if (!bars) {
    tell("cannot read the base registers of " + formatAddress(f.address) + " in " + f.dir +
         "/resource (" + kGuide + ")");
    return kStatusFailed;
  }
  const std::uint32_t irq = readFile(f.dir + "/irq", text) ? parseDecimal(text).value_or(0) : 0;
  // The interrupt first, then the base registers in order, as the virtual bus reports them.
  std::memset(&record.card, 0, sizeof record.card);
  std::uint32_t n = 0;
  if (irq != 0) {
    record.card.items[n].type = kResourceInterrupt;
    record.card.items[n].interrupt.number = irq;
    ++n;
  }
  for (const Bar& bar : *bars) {
    Resource& r = record.card.items[n];
    if (bar.kind == BarKind::Io) {
      r.type = kResourceIoPort;
      r.io = IoResource{bar.start,
                        static_cast<std::uint32_t>(std::min<std::uint64_t>(bar.size, 0xFFFFFFFFu))};
    } else if (bar.kind == BarKind::Memory) {
      r.type = kResourceMemory;
      r.memory.physical = bar.start;
      r.memory.size = bar.size;
    } else {
      continue;
    }
    ++n;
  }
  record.card.count = n;
  return kStatusOk;
}

std::string SysfsBackend::openCard(const Function& f, Card& card, bool& busy) {
  busy = false;
  card.name = formatAddress(f.address);
  const std::string& name = card.name;

  std::string target;
  if (!system_.readLink(f.dir + "/driver", target))
    return name + " is bound to no driver: " + bindFix(name);
  const std::string driver = lastPart(target);
  if (driver != kUioDriver)
    return name + " is bound to " + driver + ", not to " + kUioDriver + ": " + bindFix(name);

  std::vector<std::string> entries;
  std::string node;
  if (system_.listDirectory(f.dir + "/uio", entries)) {
    std::sort(entries.begin(), entries.end());
    for (const std::string& e : entries)
      if (node.empty() && e.rfind("uio", 0) == 0) node = e;
  }
  if (node.empty())
    return name + " is bound to " + kUioDriver + " but has no UIO node in " + f.dir +
           "/uio: see `dmesg` (" + kGuide + ")";

  const std::string config = f.dir + "/config";
  card.config = system_.open(config, O_RDWR);
  if (card.config < 0) return openProblem(config, errno);
  if (system_.flock(card.config, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      busy = true;
      return "";
    }
    return "cannot lock " + config + ": " + errorText(errno);
  }

  for (std::size_t b = 0; b < kBarCount; ++b) {
    const Bar& bar = card.bars[b];
    if (bar.kind == BarKind::None) continue;
    const std::string path = f.dir + "/resource" + std::to_string(b);
    card.resource[b] = system_.open(path, O_RDWR);
    if (card.resource[b] < 0) return openProblem(path, errno);
    if (bar.kind != BarKind::Memory) continue;
    // The mapping starts at the page that holds the register; a register
    // smaller than a page need not start at its beginning.
    const auto page = static_cast<std::uint64_t>(system_.pageSize());
    const std::uint64_t inPage = bar.start & (page - 1);
    const std::uint64_t length = (inPage + bar.size + page - 1) / page * page;
    void* base = system_.mmap(length, PROT_READ | PROT_WRITE, card.resource[b]);
    if (base == MAP_FAILED)
      return "cannot map " + path + ": " + errorText(errno) + " (" + kGuide + ")";
    card.mapBase[b] = base;
    card.mapLength[b] = length;
    card.mapped[b] = static_cast<std::uint8_t*>(base) + inPage;
  }

  const std::string uio = devRoot_ + "/" + node;
  card.uio = system_.open(uio, O_RDONLY);
  if (card.uio < 0) {
    if (errno == ENOENT)
      return uio + " does not exist although " + name + " has it: is udev running? (" + kGuide +
             ")";
    return openProblem(uio, errno);
  }
  card.wake = system_.eventfd();
  if (card.wake < 0) return "cannot create an event for " + name + ": " + errorText(errno);
  return "";
}

std::uint32_t SysfsBackend::registerCard(CardRegisterRecord& record, Owner owner) {
  if (record.card.count > kMaxResources) return kStatusInvalidRecord;
  // The card is the function whose base registers hold the resources' addresses.
  Function found;
  Bars bars{};
  bool match = false;
  std::string text;
  for (const Function& f : functions()) {
    if (!readFile(f.dir + "/resource", text)) continue;
    const std::optional<Bars> b = parseResources(text);
    if (!b) continue;
    for (std::uint32_t i = 0; i < record.card.count && !match; ++i) {
      const Resource& r = record.card.items[i];
      if (r.type != kResourceIoPort && r.type != kResourceMemory) continue;
      const bool memory = r.type == kResourceMemory;
      const std::uint64_t address = memory ? r.memory.physical : r.io.base;
      for (const Bar& bar : *b)
        match =
            match || (bar.kind == (memory ? BarKind::Memory : BarKind::Io) && bar.start == address);
    }
    if (match) {
      found = f;
      bars = *b;
      break;
    }
  }
  if (!match) return kStatusNotFound;
  record.cardHandle = 0;
  const std::string name = formatAddress(found.address);
  {
    std::lock_guard lock(mutex_);
    for (const auto& card : cards_)
      if (card->name == name) return kStatusOk;  // registered already: in use
  }
  auto card = std::make_shared<Card>(system_);
  card->bars = bars;
  bool busy = false;
  const std::string problem = openCard(found, *card, busy);
  if (busy) return kStatusOk;  // locked by another process
  if (!problem.empty()) {
    tell(problem);
    return kStatusFailed;
  }
  std::lock_guard lock(mutex_);
  card->cardHandle = nextHandle_++;
  card->interruptHandle = 0x100 + card->cardHandle;
  card->owner = owner;
  for (std::uint32_t i = 0; i < record.card.count; ++i) {
    Resource& r = record.card.items[i];
    if (r.type == kResourceInterrupt) r.interrupt.handle = card->interruptHandle;
    if (r.type != kResourceMemory) continue;
    for (std::size_t b = 0; b < kBarCount; ++b) {
      if (bars[b].kind != BarKind::Memory || bars[b].start != r.memory.physical) continue;
      r.memory.transferAddress = bars[b].start;  // transfers name the register by its address
      r.memory.mapped = card->mapped[b];
    }
  }
  record.cardHandle = card->cardHandle;
  cards_.push_back(std::move(card));
  return kStatusOk;
}

void SysfsBackend::disable(Card& card) {
  std::lock_guard lock(card.mutex);
  if (card.armed) card.setMasked(true);
  card.armed = false;
  ++card.epoch;
  card.wakeWaiter();
}

std::uint32_t SysfsBackend::unregisterCard(const CardRegisterRecord& record) {
  if (record.cardHandle == 0) return kStatusInvalidHandle;
  std::shared_ptr<Card> card;
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(cards_.begin(), cards_.end(),
                                 [&](const auto& c) { return c->cardHandle == record.cardHandle; });
    if (it == cards_.end()) return kStatusInvalidHandle;
    card = *it;
    cards_.erase(it);
  }
  // A blocked wait ends; the files close when it has let go of the card.
  disable(*card);
  return kStatusOk;
}

void SysfsBackend::release(Owner owner) {
  std::vector<std::shared_ptr<Card>> released;
  {
    std::lock_guard lock(mutex_);
    for (auto it = cards_.begin(); it != cards_.end();) {
      if ((*it)->owner == owner) {
        released.push_back(*it);
        it = cards_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& card : released)
    disable(*card);
}

std::uint32_t SysfsBackend::configAccess(ConfigAccessRecord& record) {
  if (record.buffer == nullptr || (record.bytes != 1 && record.bytes != 2 && record.bytes != 4) ||
      record.offset >= kConfigSpaceSize || record.offset + record.bytes > kConfigSpaceSize)
    return kStatusInvalidRecord;
  Function f;
  if (!findBySlot(record.slot, f)) return kStatusNotFound;
  // Read-only, as on the virtual bus: the command register is the backend's.
  if (record.read != 1) return kStatusFailed;
  const int fd = system_.open(f.dir + "/config", O_RDONLY);
  if (fd < 0) return kStatusFailed;
  std::uint8_t bytes[4] = {};
  const ssize_t n = system_.pread(fd, bytes, record.bytes, record.offset);
  system_.close(fd);
  // Without CAP_SYS_ADMIN the kernel gives only the first 64 bytes.
  if (n != static_cast<ssize_t>(record.bytes)) return kStatusFailed;
  std::memcpy(record.buffer, bytes, record.bytes);
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, record.bytes);
  record.result = value;
  return kStatusOk;
}

std::shared_ptr<SysfsBackend::Card> SysfsBackend::findByAddress(std::uint64_t address,
                                                                std::uint32_t bytes, bool memory) {
  std::lock_guard lock(mutex_);
  for (const auto& card : cards_)
    for (const Bar& bar : card->bars)
      if (bar.kind == (memory ? BarKind::Memory : BarKind::Io) && bar.contains(address, bytes))
        return card;
  return nullptr;
}

std::shared_ptr<SysfsBackend::Card> SysfsBackend::findByInterrupt(std::uint32_t handle) {
  if (handle == 0) return nullptr;
  std::lock_guard lock(mutex_);
  for (const auto& card : cards_)
    if (card->interruptHandle == handle) return card;
  return nullptr;
}

std::uint32_t SysfsBackend::transfer(TransferRecord& record) {
  const TransferKind kind = describeTransfer(record.command);
  if (!kind.valid) return kStatusInvalidRecord;
  const std::shared_ptr<Card> card =
      findByAddress(record.address, std::max<std::uint32_t>(record.bytes, 1), kind.memory);
  if (card == nullptr) return kStatusNotFound;
  return card->transfer(record);
}

std::uint32_t SysfsBackend::interruptEnable(InterruptRecord& record) {
  const std::shared_ptr<Card> card = findByInterrupt(record.handle);
  if (card == nullptr) return kStatusInvalidHandle;
  if (!validCommands(record)) return kStatusInvalidRecord;
  for (std::uint32_t i = 0; i < record.commandCount; ++i)
    if (!describeTransfer(record.commands[i].command).valid) return kStatusInvalidRecord;
  std::lock_guard lock(card->mutex);
  if (card->armed) return kStatusBusy;
  std::uint8_t command = 0;
  if (card->system.pread(card->config, &command, 1, kCommandHigh) != 1) return kStatusFailed;
  card->command = static_cast<std::uint8_t>(command & ~kInterruptDisable);
  // What arrived before the enable (or was left by an earlier program, which
  // also leaves the line masked) is not this enable's interrupt.
  pollfd pending[2] = {{card->uio, POLLIN, 0}, {card->wake, POLLIN, 0}};
  if (system_.poll(pending, 2, 0) > 0) {
    std::uint32_t events = 0;
    std::uint64_t wakes = 0;
    if ((pending[0].revents & POLLIN) != 0 &&
        system_.read(card->uio, &events, sizeof events) == sizeof events) {
      card->lastEvent = events;
      card->haveEvent = true;
    }
    if ((pending[1].revents & POLLIN) != 0) system_.read(card->wake, &wakes, sizeof wakes);
  }
  if (!card->setMasked(false)) return kStatusFailed;
  card->ack.assign(record.commands, record.commands + record.commandCount);
  card->options = record.options;
  card->count = 0;
  card->lost = 0;
  card->armed = true;
  record.enableOk = 1;
  record.count = 0;
  record.lost = 0;
  record.stopped = 0;
  return kStatusOk;
}

std::uint32_t SysfsBackend::interruptDisable(InterruptRecord& record) {
  const std::shared_ptr<Card> card = findByInterrupt(record.handle);
  if (card == nullptr) return kStatusInvalidHandle;
  {
    std::lock_guard lock(card->mutex);
    if (!card->armed) return kStatusFailed;
  }
  disable(*card);
  return kStatusOk;
}

std::uint32_t SysfsBackend::interruptWait(InterruptRecord& record) {
  const std::shared_ptr<Card> card = findByInterrupt(record.handle);
  if (card == nullptr) {
    // Disabled and released before the wait came in: the wait ends at once.
    record.stopped = kInterruptStopped;
    return kStatusOk;
  }
  if (!validCommands(record)) return kStatusInvalidRecord;
  // The thread that waits for the card serves it: real-time when permitted.
  thread_local bool raised = false;
  if (!raised) {
    raised = true;
    system_.raiseToRealtime();
  }
  std::uint64_t epoch = 0;
  {
    std::lock_guard lock(card->mutex);
    if (!card->armed) {
      record.stopped = kInterruptStopped;
      return kStatusOk;
    }
    epoch = card->epoch;
  }
  pollfd fds[2] = {{card->uio, POLLIN, 0}, {card->wake, POLLIN, 0}};
  const int ready = system_.poll(fds, 2, -1);
  const int pollError = errno;

  std::lock_guard lock(card->mutex);
  record.count = card->count;
  record.lost = card->lost;
  if (!card->armed || card->epoch != epoch) {
    record.stopped = kInterruptStopped;
    return kStatusOk;
  }
  if (ready < 0) {
    if (pollError != EINTR) return kStatusFailed;
    record.stopped = kInterruptInterrupted;
    return kStatusOk;
  }
  if ((fds[0].revents & POLLIN) == 0) {
    // The node went away (the card was unbound) or nothing came: no interrupt.
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return kStatusFailed;
    record.stopped = kInterruptInterrupted;
    return kStatusOk;
  }
  std::uint32_t events = 0;
  if (system_.read(card->uio, &events, sizeof events) != sizeof events) return kStatusFailed;
  if (card->haveEvent && events - card->lastEvent > 1) card->lost += events - card->lastEvent - 1;
  card->haveEvent = true;
  card->lastEvent = events;
  record.count = ++card->count;
  record.lost = card->lost;
  // The acknowledge commands run before the line is unmasked, as a kernel
  // handler would run them, so a level-triggered line is quiet again.
  for (std::size_t i = 0; i < card->ack.size(); ++i) {
    TransferRecord& command = card->ack[i];
    card->transfer(command);
    if ((card->options & kInterruptRunCommands) != 0 && record.commands != nullptr &&
        i < record.commandCount)
      record.commands[i].data = command.data;
  }
  if (!card->setMasked(false)) return kStatusFailed;
  record.stopped = kInterruptReceived;
  return kStatusOk;
}

}  // namespace pcisvc::sysfs
