// What stands behind the driver service: the bus its requests reach. Two
// backends implement it: the virtual PCI bus (platform/vcard) and the Linux
// backend for real cards over sysfs and UIO (platform/pcisvc/linux).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pcisvc/records.h"

namespace pcisvc {

// The service handle a request came through; registrations belong to it.
using Owner = std::int64_t;

// A card of one of the two models as a backend sees it, for a program to
// show before it opens cards.
struct FoundCard {
  std::string where;     // "0000:03:00.0", "virtual bus 1, slot 4"
  std::uint32_t device;  // PCI device identifier (chip::kPciDevice210 or 310)
  std::string detail;    // what else the backend knows of it ("subsystem 1d7a:0210, irq 16")
  std::string problem;   // empty when the card can be opened; else what is in the way and the fix
};

struct Survey {
  std::string searched;  // where the backend looked for cards
  std::vector<FoundCard> cards;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // What a program shows as the backend that runs.
  virtual const char* name() const = 0;
  // The cards of the two models and whether each can be opened now.
  virtual Survey survey() = 0;

  // False when the service cannot be opened at all.
  virtual bool available() = 0;
  virtual std::uint32_t version() = 0;
  // Each returns a request status (kStatusOk on success).
  virtual std::uint32_t scan(ScanRecord& record) = 0;
  virtual std::uint32_t cardInfo(CardInfoRecord& record) = 0;
  virtual std::uint32_t registerCard(CardRegisterRecord& record, Owner owner) = 0;
  virtual std::uint32_t unregisterCard(const CardRegisterRecord& record) = 0;
  virtual std::uint32_t configAccess(ConfigAccessRecord& record) = 0;
  virtual std::uint32_t transfer(TransferRecord& record) = 0;
  virtual std::uint32_t interruptEnable(InterruptRecord& record) = 0;
  virtual std::uint32_t interruptDisable(InterruptRecord& record) = 0;
  // Blocks until an interrupt, a disable or an interruption.
  virtual std::uint32_t interruptWait(InterruptRecord& record) = 0;
  // The owner's handle was closed: its registrations are released.
  virtual void release(Owner owner) = 0;
};

}  // namespace pcisvc
