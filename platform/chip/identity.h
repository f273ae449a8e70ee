// The card's PCI identity: one vendor, one device identifier per chip model.
// The virtual card answers with it and the Linux backend looks for it.
#pragma once

#include <cstdint>

namespace chip {

inline constexpr std::uint32_t kPciVendor = 0x1D7A;
inline constexpr std::uint32_t kPciDevice210 = 0x0210;
inline constexpr std::uint32_t kPciDevice310 = 0x0310;

constexpr bool isCardDevice(std::uint32_t vendor, std::uint32_t device) {
  return vendor == kPciVendor && (device == kPciDevice210 || device == kPciDevice310);
}

}  // namespace chip
