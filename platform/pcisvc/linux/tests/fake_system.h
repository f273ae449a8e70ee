// A fake Linux machine for the Linux backend's tests: a temporary folder laid
// out like /sys and /dev, with PCI functions of the two card models (and
// others) whose resource files, configuration space and UIO nodes reach
// virtual cards of platform/vcard. Everything else (identifier files,
// folders, the driver link) is a real file, read through the real calls.
//
// The kernel's part is played as uio_pci_generic plays it: at each interrupt
// the line is masked (the Interrupt Disable bit of the command register is
// set) and the UIO node's count goes up; clearing the bit through `config`
// unmasks the line; setting it masks the line for good. A card starts masked,
// as a card that an earlier program disabled. I/O resource files serve 1-,
// 2- and 4-byte reads and writes; memory resource files are mapped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/pcisvc/linux/system.h"
#include "platform/vcard/card.h"

namespace pcisvc::sysfs::testing {

struct FakeCard {
  std::string address = "0000:01:04.0";
  vcard::ChipModel model = vcard::ChipModel::Qora210;
  std::string driver = "uio_pci_generic";  // empty: bound to no driver
  bool uioNode = true;                     // with uio_pci_generic: the node exists
  bool memoryBar0 = false;                 // a 128-byte memory register in BAR 0, mid-page
  std::uint32_t irq = 0;                   // 0: the line the virtual bus gives the n-th card
};

// BAR 0 of a card with memoryBar0.
inline constexpr std::uint64_t kMemoryBar0 = 0xFEBF1080;
inline constexpr std::uint64_t kMemoryBar0Size = 0x80;

class FakeSystem final : public System {
 public:
  FakeSystem();
  ~FakeSystem() override;
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  std::string sysRoot() const { return root_ + "/sys"; }
  std::string devRoot() const { return root_ + "/dev"; }
  std::string deviceDir(const std::string& address) const;

  // ---- the machine
  // A card; its ports follow the virtual bus's layout for the n-th card added.
  std::shared_ptr<vcard::VirtualCard> addCard(const FakeCard& setup);
  // Some other PCI function, with one I/O register.
  void addDevice(const std::string& address, std::uint32_t vendor, std::uint32_t device);
  // Takes every function away (their files and nodes).
  void removeAll();

  // ---- faults
  void deny(const std::string& path);  // opening it fails with EACCES
  void setDevicesMissing(bool on);     // there is no devices folder
  void setDevicesHidden(bool on);      // the devices folder lists nothing
  void setTransfersFail(bool on);      // resource reads and writes fail with EIO
  void setConfigWritesFail(bool on);   // configuration writes fail with EIO
  void interruptPoll();                // the next (or a blocked) poll fails with EINTR

  // ---- what a test looks at
  // Whether an exclusive lock on the card's config file would fail now.
  bool locked(const std::string& address);
  // Another process's lock on the card, until releaseLocks.
  void holdLock(const std::string& address);
  void releaseLocks();
  bool masked(const std::string& address) const;  // the Interrupt Disable bit
  int deliveredWhileMasked() const;  // interrupts taken while the line was still masked
  int realtimeRequests() const;
  int openFiles() const;                                 // descriptors the backend holds
  std::uint8_t* memoryPage(const std::string& address);  // the page behind BAR 0

  // ---- System
  int open(const std::string& path, int flags) override;
  int close(int fd) override;
  ssize_t pread(int fd, void* buffer, std::size_t size, off_t offset) override;
  ssize_t pwrite(int fd, const void* buffer, std::size_t size, off_t offset) override;
  ssize_t read(int fd, void* buffer, std::size_t size) override;
  ssize_t write(int fd, const void* buffer, std::size_t size) override;
  void* mmap(std::size_t length, int protection, int fd) override;
  int munmap(void* address, std::size_t length) override;
  int flock(int fd, int operation) override;
  int poll(pollfd* fds, nfds_t count, int timeoutMs) override;
  int eventfd() override;
  bool listDirectory(const std::string& path, std::vector<std::string>& names) override;
  bool readLink(const std::string& path, std::string& target) override;
  bool isDirectory(const std::string& path) override;
  long pageSize() override;
  bool raiseToRealtime() override;

 private:
  struct Node;
  enum class Kind { Plain, Config, Resource, Uio, Event };
  struct Special {
    Kind kind;
    Node* node;
    int bar;
  };
  struct Open {
    Kind kind = Kind::Plain;
    int real = -1;  // the real descriptor of a plain or config file
    Node* node = nullptr;
    int bar = -1;
    std::uint32_t seen = 0;     // UIO: the count this descriptor has read
    std::uint64_t counter = 0;  // event
  };
  struct Waiter {
    vcard::VirtualCard* card;
    std::vector<int> events;
  };

  std::string devicesDir() const { return sysRoot() + "/bus/pci/devices"; }
  void writeFile(const std::string& path, const std::string& text) const;
  void configWrite(Node& node);
  Open* find(int fd);

  std::string root_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Node>> nodes_;  // never shrinks: descriptors point at nodes
  std::map<std::string, Special> specials_;
  std::map<int, Open> open_;
  int nextFd_ = 1000;
  int uioCount_ = 0;
  int cardCount_ = 0;
  std::vector<Waiter*> waiters_;
  std::set<std::string> denied_;
  std::vector<int> heldLocks_;
  bool devicesMissing_ = false;
  bool devicesHidden_ = false;
  bool transfersFail_ = false;
  bool configWritesFail_ = false;
  bool interruptPending_ = false;
  int deliveredWhileMasked_ = 0;
  int realtimeRequests_ = 0;
};

}  // namespace pcisvc::sysfs::testing
