// The card record of an open card and the register port that reaches its
// address spaces through the driver service.
#pragma once

#include <array>
#include <cstdint>
#include <thread>

#include "cardaccess/src/card.h"
#include "platform/pcisvc/service.h"

namespace qora {

// One of the card's base address registers (0..5) or its expansion ROM (6),
// and the registration resource that backs it.
struct AddressSpace {
  bool active = false;
  std::uint32_t resource = 0;
  bool memory = false;
};

struct CardRecord {
  pcisvc::Handle service = pcisvc::kInvalidHandle;
  bool useInterrupt = true;
  pcisvc::PciSlot location{};
  pcisvc::CardRegisterRecord registration{};
  std::array<AddressSpace, 7> spaces{};
  pcisvc::InterruptRecord interrupt{};
  std::array<pcisvc::TransferRecord, 2> acknowledge{};
  std::thread thread;
};

class ServicePort final : public RegisterPort {
 public:
  explicit ServicePort(CardRecord& record) : record_(record) {}

  std::uint8_t read8(unsigned space, std::uint32_t offset) override;
  std::uint16_t read16(unsigned space, std::uint32_t offset) override;
  void write8(unsigned space, std::uint32_t offset, std::uint8_t value) override;
  void write16(unsigned space, std::uint32_t offset, std::uint16_t value) override;

 private:
  std::uint32_t transfer(unsigned space, std::uint32_t offset, std::uint32_t command,
                         std::uint32_t bytes, std::uint32_t value);
  const pcisvc::Resource* resource(unsigned space) const;

  CardRecord& record_;
};

}  // namespace qora
