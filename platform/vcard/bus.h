// The virtual PCI bus: the cards installed in this process and the driver
// service's view of them. Cards sit at bus 1, slots 4, 5, ... in install
// order, which is the order a scan reports them. Unless a bench configures
// it, the bus holds one card of the first chip model.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/pcisvc/backend.h"
#include "platform/vcard/card.h"
#include "platform/vcard/export.h"

namespace vcard {

// Faults a bench injects into the service.
struct Faults {
  bool serviceUnavailable = false;                  // opening the service fails
  std::uint32_t version = pcisvc::kServiceVersion;  // below 602 is an old service
  bool scanFindsNothing = false;                    // scans report no card
  bool cardInUse = false;                           // registration finds every card held elsewhere
  bool transfersFail = false;                       // port transfers fail
  bool interruptEnableFails = false;
};

class VCARD_EXPORT VirtualBus final : public pcisvc::Backend {
 public:
  VirtualBus();
  ~VirtualBus() override;

  // ---- bench
  std::shared_ptr<VirtualCard> install(ChipModel model);
  // Takes every card off the bus and clears the faults.
  void clear();
  std::size_t cardCount() const;
  // The card at install position `index`, or null.
  std::shared_ptr<VirtualCard> card(std::size_t index) const;
  // The `index`-th card of a model, in scan order, or null.
  std::shared_ptr<VirtualCard> card(ChipModel model, std::size_t index) const;
  void setFaults(const Faults& faults);
  Faults faults() const;
  bool registered(const VirtualCard& card) const;

  // ---- service side
  const char* name() const override { return "virtual card"; }
  pcisvc::Survey survey() override;
  bool available() override;
  std::uint32_t version() override;
  std::uint32_t scan(pcisvc::ScanRecord& record) override;
  std::uint32_t cardInfo(pcisvc::CardInfoRecord& record) override;
  std::uint32_t registerCard(pcisvc::CardRegisterRecord& record, pcisvc::Owner owner) override;
  std::uint32_t unregisterCard(const pcisvc::CardRegisterRecord& record) override;
  std::uint32_t configAccess(pcisvc::ConfigAccessRecord& record) override;
  std::uint32_t transfer(pcisvc::TransferRecord& record) override;
  std::uint32_t interruptEnable(pcisvc::InterruptRecord& record) override;
  std::uint32_t interruptDisable(pcisvc::InterruptRecord& record) override;
  std::uint32_t interruptWait(pcisvc::InterruptRecord& record) override;
  void release(pcisvc::Owner owner) override;

 private:
  static constexpr std::size_t kMaxCards = 16;
  struct Slot {
    std::shared_ptr<VirtualCard> card;
    std::uint32_t cardHandle = 0;  // nonzero while registered
    std::uint32_t interruptHandle = 0;
    pcisvc::Owner owner = 0;
  };
  // What a port transfer reads without the bus's lock, per install position
  // (a card's port windows follow from its position): the card while it is
  // registered. Taking cards off the bus clears these and waits until no
  // transfer is inside them (TransferMark) before it destroys the cards.
  Slot* findBySlot(const pcisvc::PciSlot& slot);
  Slot* findByPort(std::uint64_t port);
  Slot* findByInterrupt(std::uint32_t handle);
  void releaseSlot(Slot& slot);
  void publish(const Slot& slot);

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  Faults faults_;
  std::uint32_t nextHandle_ = 1;
  std::array<std::atomic<VirtualCard*>, kMaxCards> registered_{};
  std::atomic<bool> transfersFail_{false};
};

// The process's bus.
VCARD_EXPORT VirtualBus& bus();

}  // namespace vcard
