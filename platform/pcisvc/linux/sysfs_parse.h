// What the Linux backend reads out of sysfs, parsed: PCI addresses (folder
// names such as "0000:03:00.0"), identifier and number files, and the
// `resource` file with the device's base registers. Pure functions.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/pcisvc/records.h"

namespace pcisvc::sysfs {

struct PciAddress {
  std::uint32_t domain = 0;
  std::uint32_t bus = 0;
  std::uint32_t slot = 0;
  std::uint32_t function = 0;
  // Scan order: domain, bus, slot, function.
  auto operator<=>(const PciAddress&) const = default;
};

// "DDDD:BB:SS.F" in hexadecimal; nothing for any other name.
std::optional<PciAddress> parseAddress(std::string_view name);
std::string formatAddress(const PciAddress& address);
// The service's slot record. The domain goes into bits 8 and up of the bus
// number, so that on domain 0 (nearly every PC) the bus reads as itself.
PciSlot toSlot(const PciAddress& address);

// "0x1d7a\n" (identifier files); "16\n" (the irq file). Surrounding white
// space is allowed, nothing else.
std::optional<std::uint32_t> parseHex(std::string_view text);
std::optional<std::uint32_t> parseDecimal(std::string_view text);

enum class BarKind { None, Io, Memory };
struct Bar {
  BarKind kind = BarKind::None;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  bool contains(std::uint64_t address, std::uint64_t bytes) const {
    return kind != BarKind::None && address >= start && bytes <= size &&
           address - start <= size - bytes;
  }
};
inline constexpr std::size_t kBarCount = 6;
using Bars = std::array<Bar, kBarCount>;

// The `resource` file: a line "start end flags" per resource, the first six
// being the base registers 0 to 5. A register that is absent, unassigned or
// disabled reads as kind None. Nothing when the file has fewer than six
// well-formed lines.
std::optional<Bars> parseResources(std::string_view text);

}  // namespace pcisvc::sysfs
