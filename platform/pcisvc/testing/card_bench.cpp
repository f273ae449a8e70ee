#include "platform/pcisvc/testing/card_bench.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/pcisvc/linux/sysfs_backend.h"
#include "platform/pcisvc/linux/tests/fake_system.h"
#include "platform/pcisvc/service.h"

namespace pcisvc::testing {
namespace {

class VirtualBench final : public CardBench {
 public:
  VirtualBench() { setBackend(nullptr); }
  std::shared_ptr<vcard::VirtualCard> install(vcard::ChipModel model) override {
    return vcard::bus().install(model);
  }
  void clear() override { vcard::bus().clear(); }
  std::shared_ptr<vcard::VirtualCard> card(std::size_t index) const override {
    return vcard::bus().card(index);
  }
  std::shared_ptr<vcard::VirtualCard> card(vcard::ChipModel model,
                                           std::size_t index) const override {
    return vcard::bus().card(model, index);
  }
  bool setFaults(const vcard::Faults& faults) override {
    vcard::bus().setFaults(faults);
    return true;
  }
  bool registered(const vcard::VirtualCard& card) override { return vcard::bus().registered(card); }
  void interruptWait(vcard::VirtualCard& card) override { card.interruptWait(); }
};

// Cards at 0000:01:04.0, 0000:01:05.0, ... as on the virtual bus, each bound
// to uio_pci_generic with its UIO node.
class SysfsBench final : public CardBench {
 public:
  SysfsBench() : backend_(fake_, fake_.sysRoot(), fake_.devRoot()) { setBackend(&backend_); }
  ~SysfsBench() override { setBackend(nullptr); }

  std::shared_ptr<vcard::VirtualCard> install(vcard::ChipModel model) override {
    char address[16];
    std::snprintf(address, sizeof address, "0000:01:%02zx.0", 4 + cards_.size());
    sysfs::testing::FakeCard setup;
    setup.address = address;
    setup.model = model;
    auto card = fake_.addCard(setup);
    cards_.emplace_back(address, card);
    return card;
  }
  void clear() override {
    fake_.releaseLocks();
    fake_.removeAll();
    cards_.clear();
  }
  std::shared_ptr<vcard::VirtualCard> card(std::size_t index) const override {
    return index < cards_.size() ? cards_[index].second : nullptr;
  }
  std::shared_ptr<vcard::VirtualCard> card(vcard::ChipModel model,
                                           std::size_t index) const override {
    for (const auto& entry : cards_) {
      if (entry.second->model() != model) continue;
      if (index-- == 0) return entry.second;
    }
    return nullptr;
  }
  bool setFaults(const vcard::Faults& f) override {
    if (f.version != kServiceVersion) return false;
    fake_.setDevicesMissing(f.serviceUnavailable);
    fake_.setDevicesHidden(f.scanFindsNothing);
    fake_.setTransfersFail(f.transfersFail);
    fake_.setConfigWritesFail(f.interruptEnableFails);
    fake_.releaseLocks();
    inUse_ = f.cardInUse;
    if (inUse_)
      for (const auto& entry : cards_)
        fake_.holdLock(entry.first);
    return true;
  }
  // The backend holds the card's lock (and not this bench, as another process).
  bool registered(const vcard::VirtualCard& card) override {
    for (const auto& entry : cards_)
      if (entry.second.get() == &card) return !inUse_ && fake_.locked(entry.first);
    return false;
  }
  void interruptWait(vcard::VirtualCard&) override { fake_.interruptPoll(); }

 private:
  sysfs::testing::FakeSystem fake_;
  sysfs::SysfsBackend backend_;
  std::vector<std::pair<std::string, std::shared_ptr<vcard::VirtualCard>>> cards_;
  bool inUse_ = false;
};

}  // namespace

std::unique_ptr<CardBench> makeBench(BenchKind kind) {
  if (kind == BenchKind::Sysfs) return std::make_unique<SysfsBench>();
  return std::make_unique<VirtualBench>();
}

std::string benchName(BenchKind kind) {
  return kind == BenchKind::Sysfs ? "Sysfs" : "Virtual";
}

}  // namespace pcisvc::testing
