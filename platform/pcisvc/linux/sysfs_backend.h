// The driver service's backend for real cards on Linux, with no kernel module
// of our own: the PCI functions under /sys/bus/pci/devices, their resource
// files for port transfers (pread and pwrite on I/O registers) and memory
// (mmap), and the UIO node of uio_pci_generic for the interrupt.
//
// Registration opens and locks a card: the device must be bound to
// uio_pci_generic; its `config` file is held open with an exclusive flock,
// so that a second process, or a second registration in this one, finds the
// card in use. The failures a technician can fix (the wrong driver, no UIO
// node, missing permissions) fail the request and show a message that names
// the fix (platform::msgbox, caption "Driver service").
//
// Interrupts: uio_pci_generic masks the card's line (the Interrupt Disable
// bit of the PCI command register) at every interrupt and counts it on the
// UIO node. A wait polls the node; when it is readable the wait reads the
// count, runs the acknowledge commands given at enable (as the virtual
// service does) and unmasks the line again by clearing the Interrupt Disable
// bit through `config` before it returns. Disable masks the line and ends a
// blocked wait with stop state 1; a signal that interrupts the wait gives
// stop state 2. The thread that waits is raised to SCHED_FIFO when permitted.
//
// Thread-safe: one lock for the table of registered cards and one per card
// for its interrupt state; a blocked wait holds neither.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pcisvc/backend.h"
#include "platform/pcisvc/export.h"
#include "platform/pcisvc/linux/sysfs_parse.h"
#include "platform/pcisvc/linux/system.h"

namespace pcisvc::sysfs {

class PCISVC_EXPORT SysfsBackend final : public Backend {
 public:
  // `sysRoot` and `devRoot` stand for /sys and /dev.
  explicit SysfsBackend(System& system, std::string sysRoot = "/sys", std::string devRoot = "/dev");
  ~SysfsBackend() override;
  SysfsBackend(const SysfsBackend&) = delete;
  SysfsBackend& operator=(const SysfsBackend&) = delete;

  const char* name() const override { return "Linux (sysfs and UIO)"; }
  Survey survey() override;
  bool available() override;
  std::uint32_t version() override { return kServiceVersion; }
  std::uint32_t scan(ScanRecord& record) override;
  std::uint32_t cardInfo(CardInfoRecord& record) override;
  std::uint32_t registerCard(CardRegisterRecord& record, Owner owner) override;
  std::uint32_t unregisterCard(const CardRegisterRecord& record) override;
  std::uint32_t configAccess(ConfigAccessRecord& record) override;
  std::uint32_t transfer(TransferRecord& record) override;
  std::uint32_t interruptEnable(InterruptRecord& record) override;
  std::uint32_t interruptDisable(InterruptRecord& record) override;
  std::uint32_t interruptWait(InterruptRecord& record) override;
  void release(Owner owner) override;

  // The folder the PCI functions are listed in.
  std::string devicesDir() const { return sysRoot_ + "/bus/pci/devices"; }

  struct Card;  // an opened card (sysfs_backend.cpp)

 private:
  // One PCI function as the devices folder lists it.
  struct Function {
    PciAddress address;
    std::string dir;
    std::uint32_t vendor = 0;
    std::uint32_t device = 0;
  };
  std::vector<Function> functions();
  bool findBySlot(const PciSlot& slot, Function& out);
  bool readFile(const std::string& path, std::string& text);
  // Opens everything a registered card needs; an empty text on success, else
  // what is wrong with the fix. `busy` tells a card locked elsewhere.
  std::string openCard(const Function& f, Card& card, bool& busy);
  std::shared_ptr<Card> findByInterrupt(std::uint32_t handle);
  std::shared_ptr<Card> findByAddress(std::uint64_t address, std::uint32_t bytes, bool memory);
  void disable(Card& card);

  System& system_;
  const std::string sysRoot_;
  const std::string devRoot_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Card>> cards_;  // registered
  std::uint32_t nextHandle_ = 1;
};

}  // namespace pcisvc::sysfs
