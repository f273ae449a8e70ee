#include "platform/pcisvc/linux/tests/fake_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/chip/identity.h"
#include "platform/pcisvc/linux/sysfs_parse.h"

namespace pcisvc::sysfs::testing {
namespace fs = std::filesystem;

namespace {
constexpr std::uint32_t kLineHandle = 1;  // the handle the fake arms each virtual card with
constexpr std::size_t kCommandHigh = 5;
constexpr std::uint8_t kInterruptDisable = 0x04;
// Resource flags as the kernel prints them: I/O or memory, size-aligned.
constexpr std::uint64_t kIoFlags = 0x40101;
constexpr std::uint64_t kMemFlags = 0x40200;

int fail(int error) {
  errno = error;
  return -1;
}
}  // namespace

struct FakeSystem::Node {
  std::string address;
  std::string dir;
  std::shared_ptr<vcard::VirtualCard> card;  // null for another function
  std::array<std::uint8_t, 256> config{};
  Bars bars{};
  bool armed = false;         // the virtual card's line is armed
  bool kernelMasked = false;  // masked by an interrupt, not yet unmasked
  std::uint32_t events = 0;   // the UIO node's count
  std::uint8_t* page = nullptr;
};

FakeSystem::FakeSystem() {
  // In memory where the machine has it: tests make and remove many trees.
  std::string name = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  name += "/tv-fakesys-XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = name;
  fs::create_directories(devicesDir());
  fs::create_directories(devRoot());
}

FakeSystem::~FakeSystem() {
  releaseLocks();
  for (auto& [fd, o] : open_)
    if (o.real >= 0) ::close(o.real);
  for (auto& node : nodes_)
    std::free(node->page);
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string FakeSystem::deviceDir(const std::string& address) const {
  return devicesDir() + "/" + address;
}

void FakeSystem::writeFile(const std::string& path, const std::string& text) const {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::shared_ptr<vcard::VirtualCard> FakeSystem::addCard(const FakeCard& setup) {
  const std::optional<PciAddress> address = parseAddress(setup.address);
  if (!address) throw std::invalid_argument("bad PCI address " + setup.address);
  std::lock_guard lock(mutex_);
  const std::size_t position = static_cast<std::size_t>(cardCount_++);
  const vcard::CardPorts ports{0xE000 + 0x100 * position, 0xA000 + 0x400 * position,
                               static_cast<std::uint32_t>(10 + position % 6)};
  auto node = std::make_unique<Node>();
  node->address = setup.address;
  node->dir = deviceDir(setup.address);
  node->card = std::make_shared<vcard::VirtualCard>(setup.model, toSlot(*address), ports);
  for (std::uint32_t at = 0; at < node->config.size(); at += 4) {
    const std::uint32_t v = node->card->configRead32(at);
    std::memcpy(&node->config[at], &v, 4);
  }
  node->bars[1] = Bar{BarKind::Io, ports.bridgeBase, vcard::kBridgeSpaceSize};
  node->bars[2] = Bar{BarKind::Io, ports.chipBase, vcard::kChipSpaceSize};
  if (setup.memoryBar0) {
    node->bars[0] = Bar{BarKind::Memory, kMemoryBar0, kMemoryBar0Size};
    const auto bar0 = static_cast<std::uint32_t>(kMemoryBar0);
    std::memcpy(&node->config[0x10], &bar0, 4);
    node->config[4] |= 0x02;  // memory decoding on
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    node->page = static_cast<std::uint8_t*>(std::aligned_alloc(page, page));
    std::memset(node->page, 0, page);
  }
  node->config[kCommandHigh] |= kInterruptDisable;  // left masked

  const std::string& dir = node->dir;
  fs::create_directories(dir);
  char text[64];
  const auto hex = [&](std::uint32_t v) {
    std::snprintf(text, sizeof text, "0x%04x\n", v);
    return std::string(text);
  };
  writeFile(dir + "/vendor", hex(chip::kPciVendor));
  writeFile(dir + "/device", hex(node->card->deviceId()));
  writeFile(dir + "/subsystem_vendor", hex(chip::kPciVendor));
  writeFile(dir + "/subsystem_device", hex(node->card->deviceId()));
  writeFile(dir + "/class", "0x118000\n");
  writeFile(dir + "/irq", std::to_string(setup.irq != 0 ? setup.irq : ports.interrupt) + "\n");
  std::string resource;
  for (std::size_t b = 0; b < 7; ++b) {
    const Bar bar = b < kBarCount ? node->bars[b] : Bar{};
    if (bar.kind == BarKind::None) {
      resource += "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
      continue;
    }
    std::snprintf(text, sizeof text, "0x%016llx 0x%016llx 0x%016llx\n",
                  static_cast<unsigned long long>(bar.start),
                  static_cast<unsigned long long>(bar.start + bar.size - 1),
                  static_cast<unsigned long long>(bar.kind == BarKind::Io ? kIoFlags : kMemFlags));
    resource += text;
    writeFile(dir + "/resource" + std::to_string(b), "");
    specials_[dir + "/resource" + std::to_string(b)] =
        Special{Kind::Resource, node.get(), static_cast<int>(b)};
  }
  writeFile(dir + "/resource", resource);
  writeFile(dir + "/config",
            std::string(reinterpret_cast<const char*>(node->config.data()), node->config.size()));
  specials_[dir + "/config"] = Special{Kind::Config, node.get(), -1};
  if (!setup.driver.empty())
    fs::create_symlink("../../../bus/pci/drivers/" + setup.driver, dir + "/driver");
  if (setup.driver == "uio_pci_generic" && setup.uioNode) {
    const std::string uio = "uio" + std::to_string(uioCount_++);
    fs::create_directories(dir + "/uio/" + uio);
    writeFile(devRoot() + "/" + uio, "");
    specials_[devRoot() + "/" + uio] = Special{Kind::Uio, node.get(), -1};
  }
  auto card = node->card;
  nodes_.push_back(std::move(node));
  return card;
}

void FakeSystem::addDevice(const std::string& address, std::uint32_t vendor, std::uint32_t device) {
  std::lock_guard lock(mutex_);
  const std::string dir = deviceDir(address);
  fs::create_directories(dir);
  char text[64];
  std::snprintf(text, sizeof text, "0x%04x\n", vendor);
  writeFile(dir + "/vendor", text);
  std::snprintf(text, sizeof text, "0x%04x\n", device);
  writeFile(dir + "/device", text);
  writeFile(dir + "/irq", "0\n");
  std::string resource = "0x000000000000c000 0x000000000000c01f 0x0000000000040101\n";
  for (int line = 1; line < 7; ++line)
    resource += "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
  writeFile(dir + "/resource", resource);
  fs::create_symlink("../../../bus/pci/drivers/other", dir + "/driver");
}

void FakeSystem::removeAll() {
  std::lock_guard lock(mutex_);
  std::error_code ignored;
  fs::remove_all(devicesDir(), ignored);
  fs::create_directories(devicesDir());
  for (const auto& [path, special] : specials_)
    if (special.kind == Kind::Uio) fs::remove(path, ignored);
  specials_.clear();
  for (auto& node : nodes_) {
    if (node->card && node->armed) node->card->disableInterrupt(kLineHandle);
    node->armed = false;
    node->card.reset();
  }
  cardCount_ = 0;
  uioCount_ = 0;
  denied_.clear();
  devicesMissing_ = devicesHidden_ = transfersFail_ = configWritesFail_ = false;
}

void FakeSystem::deny(const std::string& path) {
  std::lock_guard lock(mutex_);
  denied_.insert(path);
}
void FakeSystem::setDevicesMissing(bool on) {
  std::lock_guard lock(mutex_);
  devicesMissing_ = on;
}
void FakeSystem::setDevicesHidden(bool on) {
  std::lock_guard lock(mutex_);
  devicesHidden_ = on;
}
void FakeSystem::setTransfersFail(bool on) {
  std::lock_guard lock(mutex_);
  transfersFail_ = on;
}
void FakeSystem::setConfigWritesFail(bool on) {
  std::lock_guard lock(mutex_);
  configWritesFail_ = on;
}

void FakeSystem::interruptPoll() {
  std::lock_guard lock(mutex_);
  interruptPending_ = true;
  for (Waiter* w : waiters_)
    w->card->interruptWait();
  changed_.notify_all();
}

bool FakeSystem::locked(const std::string& address) {
  const int fd = ::open((deviceDir(address) + "/config").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // also drops the lock if it was taken
  return held;
}

void FakeSystem::holdLock(const std::string& address) {
  const int fd = ::open((deviceDir(address) + "/config").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
    heldLocks_.push_back(fd);
  else if (fd >= 0)
    ::close(fd);
}

void FakeSystem::releaseLocks() {
  for (int fd : heldLocks_)
    ::close(fd);
  heldLocks_.clear();
}

bool FakeSystem::masked(const std::string& address) const {
  std::lock_guard lock(mutex_);
  for (const auto& node : nodes_)
    if (node->card && node->address == address)
      return (node->config[kCommandHigh] & kInterruptDisable) != 0;
  return false;
}

int FakeSystem::deliveredWhileMasked() const {
  std::lock_guard lock(mutex_);
  return deliveredWhileMasked_;
}

int FakeSystem::realtimeRequests() const {
  std::lock_guard lock(mutex_);
  return realtimeRequests_;
}

int FakeSystem::openFiles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(open_.size());
}

std::uint8_t* FakeSystem::memoryPage(const std::string& address) {
  std::lock_guard lock(mutex_);
  for (const auto& node : nodes_)
    if (node->card && node->address == address) return node->page;
  return nullptr;
}

FakeSystem::Open* FakeSystem::find(int fd) {
  const auto it = open_.find(fd);
  return it == open_.end() ? nullptr : &it->second;
}

int FakeSystem::open(const std::string& path, int flags) {
  std::lock_guard lock(mutex_);
  if (denied_.count(path) != 0) return fail(EACCES);
  if (devicesMissing_ && path.rfind(devicesDir(), 0) == 0) return fail(ENOENT);
  Open o;
  const auto special = specials_.find(path);
  if (special != specials_.end()) {
    o.kind = special->second.kind;
    o.node = special->second.node;
    o.bar = special->second.bar;
    if (o.kind == Kind::Config) {
      // The real file carries the lock.
      o.real = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (o.real < 0) return -1;
    }
    if (o.kind == Kind::Uio) o.seen = o.node->events;
  } else {
    o.real = ::open(path.c_str(), flags | O_CLOEXEC);
    if (o.real < 0) return -1;
  }
  const int fd = nextFd_++;
  open_[fd] = o;
  return fd;
}

int FakeSystem::close(int fd) {
  std::lock_guard lock(mutex_);
  Open* o = find(fd);
  if (o == nullptr) return fail(EBADF);
  if (o->real >= 0) ::close(o->real);
  open_.erase(fd);
  return 0;
}

ssize_t FakeSystem::pread(int fd, void* buffer, std::size_t size, off_t offset) {
  std::shared_ptr<vcard::VirtualCard> card;
  int space = 0;
  {
    std::lock_guard lock(mutex_);
    Open* o = find(fd);
    if (o == nullptr) return fail(EBADF);
    switch (o->kind) {
      case Kind::Plain:
        return ::pread(o->real, buffer, size, offset);
      case Kind::Config: {
        if (offset < 0 || static_cast<std::size_t>(offset) >= o->node->config.size()) return 0;
        const std::size_t n =
            std::min(size, o->node->config.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, &o->node->config[static_cast<std::size_t>(offset)], n);
        return static_cast<ssize_t>(n);
      }
      case Kind::Resource:
        if (transfersFail_ || o->node->bars[o->bar].kind != BarKind::Io) return fail(EIO);
        if (size != 1 && size != 2 && size != 4) return fail(EINVAL);
        card = o->node->card;
        space = o->bar;  // BAR 1 is the bridge's space 1, BAR 2 the chip's space 2
        break;
      default:
        return fail(EINVAL);
    }
  }
  std::uint32_t value = 0;
  if (card == nullptr ||
      !card->read(space, static_cast<std::uint32_t>(offset), static_cast<int>(size * 8), value))
    return fail(EIO);
  std::memcpy(buffer, &value, size);
  return static_cast<ssize_t>(size);
}

ssize_t FakeSystem::pwrite(int fd, const void* buffer, std::size_t size, off_t offset) {
  std::shared_ptr<vcard::VirtualCard> card;
  int space = 0;
  {
    std::lock_guard lock(mutex_);
    Open* o = find(fd);
    if (o == nullptr) return fail(EBADF);
    switch (o->kind) {
      case Kind::Plain:
        return ::pwrite(o->real, buffer, size, offset);
      case Kind::Config: {
        if (configWritesFail_) return fail(EIO);
        Node& node = *o->node;
        if (offset < 0 || static_cast<std::size_t>(offset) + size > node.config.size())
          return fail(EINVAL);
        std::memcpy(&node.config[static_cast<std::size_t>(offset)], buffer, size);
        if (static_cast<std::size_t>(offset) <= kCommandHigh &&
            static_cast<std::size_t>(offset) + size > kCommandHigh)
          configWrite(node);
        return static_cast<ssize_t>(size);
      }
      case Kind::Resource:
        if (transfersFail_ || o->node->bars[o->bar].kind != BarKind::Io) return fail(EIO);
        if (size != 1 && size != 2 && size != 4) return fail(EINVAL);
        card = o->node->card;
        space = o->bar;
        break;
      default:
        return fail(EINVAL);
    }
  }
  std::uint32_t value = 0;
  std::memcpy(&value, buffer, size);
  if (card == nullptr ||
      !card->write(space, static_cast<std::uint32_t>(offset), static_cast<int>(size * 8), value))
    return fail(EIO);
  return static_cast<ssize_t>(size);
}

// A write of the command register by the program: clearing Interrupt Disable
// unmasks the line (and arms the virtual card's line when it was masked for
// good); setting it masks the line for good.
void FakeSystem::configWrite(Node& node) {
  const bool maskedNow = (node.config[kCommandHigh] & kInterruptDisable) != 0;
  if (node.card == nullptr) return;
  if (!maskedNow) {
    node.kernelMasked = false;
    if (!node.armed) node.armed = node.card->enableInterrupt(kLineHandle, nullptr, 0, 0);
  } else if (node.armed) {
    node.card->disableInterrupt(kLineHandle);
    node.armed = false;
  }
  changed_.notify_all();
}

ssize_t FakeSystem::read(int fd, void* buffer, std::size_t size) {
  std::lock_guard lock(mutex_);
  Open* o = find(fd);
  if (o == nullptr) return fail(EBADF);
  switch (o->kind) {
    case Kind::Plain:
      return ::read(o->real, buffer, size);
    case Kind::Uio:
      // The backend reads only after a poll found the node readable; a read
      // that would block is refused instead.
      if (size != 4) return fail(EINVAL);
      if (o->node->events == o->seen) return fail(EAGAIN);
      o->seen = o->node->events;
      std::memcpy(buffer, &o->seen, 4);
      return 4;
    case Kind::Event:
      if (size != 8) return fail(EINVAL);
      if (o->counter == 0) return fail(EAGAIN);
      std::memcpy(buffer, &o->counter, 8);
      o->counter = 0;
      return 8;
    default:
      return fail(EINVAL);
  }
}

ssize_t FakeSystem::write(int fd, const void* buffer, std::size_t size) {
  std::lock_guard lock(mutex_);
  Open* o = find(fd);
  if (o == nullptr) return fail(EBADF);
  switch (o->kind) {
    case Kind::Plain:
      return ::write(o->real, buffer, size);
    case Kind::Uio:
      return fail(ENOSYS);  // uio_pci_generic has no interrupt control on the node
    case Kind::Event: {
      if (size != 8) return fail(EINVAL);
      std::uint64_t add = 0;
      std::memcpy(&add, buffer, 8);
      o->counter += add;
      for (Waiter* w : waiters_)
        if (std::find(w->events.begin(), w->events.end(), fd) != w->events.end())
          w->card->interruptWait();
      changed_.notify_all();
      return 8;
    }
    default:
      return fail(EINVAL);
  }
}

void* FakeSystem::mmap(std::size_t length, int protection, int fd) {
  (void)protection;
  std::lock_guard lock(mutex_);
  Open* o = find(fd);
  if (o == nullptr || o->kind != Kind::Resource || o->node->page == nullptr ||
      o->node->bars[o->bar].kind != BarKind::Memory ||
      length > static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  return o->node->page;
}

int FakeSystem::munmap(void* address, std::size_t length) {
  (void)length;
  std::lock_guard lock(mutex_);
  for (const auto& node : nodes_)
    if (node->page == address) return 0;
  return fail(EINVAL);
}

int FakeSystem::flock(int fd, int operation) {
  std::lock_guard lock(mutex_);
  Open* o = find(fd);
  if (o == nullptr) return fail(EBADF);
  return o->real >= 0 ? ::flock(o->real, operation) : 0;
}

int FakeSystem::eventfd() {
  std::lock_guard lock(mutex_);
  const int fd = nextFd_++;
  Open o;
  o.kind = Kind::Event;
  open_[fd] = o;
  return fd;
}

int FakeSystem::poll(pollfd* fds, nfds_t count, int timeoutMs) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (interruptPending_) {
      interruptPending_ = false;
      return fail(EINTR);
    }
    int ready = 0;
    Node* uio = nullptr;
    Waiter waiter{nullptr, {}};
    for (nfds_t i = 0; i < count; ++i) {
      fds[i].revents = 0;
      Open* o = find(fds[i].fd);
      if (o == nullptr) {
        fds[i].revents = POLLNVAL;
      } else if (o->kind == Kind::Event) {
        waiter.events.push_back(fds[i].fd);
        if (o->counter != 0) fds[i].revents = POLLIN;
      } else if (o->kind == Kind::Uio) {
        uio = o->node;
        if (o->node->events != o->seen) fds[i].revents = POLLIN;
      } else {
        fds[i].revents = POLLIN;
      }
      if (fds[i].revents != 0) ++ready;
    }
    if (ready != 0 || timeoutMs == 0) return ready;
    if (uio == nullptr || !uio->armed || uio->card == nullptr) {
      changed_.wait(lock);
      continue;
    }
    // Blocked on the card's line, as the kernel's wait on the node.
    const std::shared_ptr<vcard::VirtualCard> card = uio->card;
    waiter.card = card.get();
    waiters_.push_back(&waiter);
    lock.unlock();
    std::uint32_t interrupts = 0, lost = 0, stop = 0;
    const bool armed = card->waitInterrupt(kLineHandle, nullptr, 0, interrupts, lost, stop);
    // The line is level-triggered: an interrupt the card kept for this wait
    // while the line was masked, and that the acknowledge has quieted since,
    // reaches nobody, as with the kernel's masked line.
    const bool asserted = card->interruptLineAsserted();
    lock.lock();
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &waiter));
    if (armed && stop == kInterruptReceived && asserted) {
      if (uio->kernelMasked) ++deliveredWhileMasked_;
      uio->kernelMasked = true;
      uio->config[kCommandHigh] |= kInterruptDisable;
      ++uio->events;
    }
  }
}

bool FakeSystem::listDirectory(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  {
    std::lock_guard lock(mutex_);
    if (path == devicesDir() && devicesMissing_) {
      errno = ENOENT;
      return false;
    }
    if (path == devicesDir() && devicesHidden_) return true;
  }
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  ::closedir(dir);
  return true;
}

bool FakeSystem::readLink(const std::string& path, std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
  if (n < 0) return false;
  target.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

bool FakeSystem::isDirectory(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    if (path == devicesDir() && devicesMissing_) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long FakeSystem::pageSize() {
  return ::sysconf(_SC_PAGESIZE);
}

bool FakeSystem::raiseToRealtime() {
  std::lock_guard lock(mutex_);
  ++realtimeRequests_;
  return false;
}

}  // namespace pcisvc::sysfs::testing
