#include "cardaccess/src/service_port.h"

namespace qora {

const pcisvc::Resource* ServicePort::resource(unsigned space) const {
  if (space >= record_.spaces.size() || !record_.spaces[space].active) return nullptr;
  return &record_.registration.card.items[record_.spaces[space].resource];
}

std::uint32_t ServicePort::transfer(unsigned space, std::uint32_t offset, std::uint32_t command,
                                    std::uint32_t bytes, std::uint32_t value) {
  const pcisvc::Resource* r = resource(space);
  if (r == nullptr) return 0;
  pcisvc::TransferRecord t{r->io.base + offset, command, bytes, 1, 0, value};
  std::uint32_t status = 0xFFFFFFFF;
  if (!pcisvc::deviceControl(record_.service, pcisvc::kTransfer, &t, sizeof t, &status) ||
      status != pcisvc::kStatusOk)
    return 0;  // a failed read yields 0
  return t.data;
}

// A memory-mapped space is reached by plain loads and stores at the address
// mapped into this process.
std::uint8_t ServicePort::read8(unsigned space, std::uint32_t offset) {
  const pcisvc::Resource* r = resource(space);
  if (r != nullptr && record_.spaces[space].memory)
    return *(static_cast<volatile std::uint8_t*>(r->memory.mapped) + offset);
  return static_cast<std::uint8_t>(transfer(space, offset, pcisvc::kPortReadByte, 1, 0));
}

std::uint16_t ServicePort::read16(unsigned space, std::uint32_t offset) {
  const pcisvc::Resource* r = resource(space);
  if (r != nullptr && record_.spaces[space].memory)
    return *reinterpret_cast<volatile std::uint16_t*>(static_cast<std::uint8_t*>(r->memory.mapped) +
                                                      offset);
  return static_cast<std::uint16_t>(transfer(space, offset, pcisvc::kPortReadWord, 2, 0));
}

void ServicePort::write8(unsigned space, std::uint32_t offset, std::uint8_t value) {
  const pcisvc::Resource* r = resource(space);
  if (r != nullptr && record_.spaces[space].memory) {
    *(static_cast<volatile std::uint8_t*>(r->memory.mapped) + offset) = value;
    return;
  }
  transfer(space, offset, pcisvc::kPortWriteByte, 1, value);
}

void ServicePort::write16(unsigned space, std::uint32_t offset, std::uint16_t value) {
  const pcisvc::Resource* r = resource(space);
  if (r != nullptr && record_.spaces[space].memory) {
    *reinterpret_cast<volatile std::uint16_t*>(static_cast<std::uint8_t*>(r->memory.mapped) +
                                               offset) = value;
    return;
  }
  transfer(space, offset, pcisvc::kPortWriteWord, 2, value);
}

}  // namespace qora
