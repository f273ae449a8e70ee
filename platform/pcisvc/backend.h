// What stands behind the driver service: the bus its requests reach. The
// virtual PCI bus is the one backend here; a backend for real cards (VFIO or
// UIO) would implement the same interface.
#pragma once

#include <cstdint>

#include "platform/pcisvc/records.h"

namespace pcisvc {

// The service handle a request came through; registrations belong to it.
using Owner = std::int64_t;

class Backend {
 public:
  virtual ~Backend() = default;

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
