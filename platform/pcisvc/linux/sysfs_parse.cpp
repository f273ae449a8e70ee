#include "platform/pcisvc/linux/sysfs_parse.h"

#include <charconv>
#include <cstdio>

namespace pcisvc::sysfs {
namespace {

// The kernel's resource flags (include/linux/ioport.h).
constexpr std::uint64_t kIoResourceIo = 0x100;
constexpr std::uint64_t kIoResourceMem = 0x200;
constexpr std::uint64_t kIoResourceDisabled = 0x10000000;
constexpr std::uint64_t kIoResourceUnset = 0x20000000;

std::string_view trim(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && space(text.back()))
    text.remove_suffix(1);
  return text;
}

template <typename T>
bool number(std::string_view text, int base, T& out) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return error == std::errc{} && end == text.data() + text.size();
}

bool hexNumber(std::string_view text, std::uint64_t& out) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  return number(text, 16, out);
}

// A fixed-width hexadecimal field of an address.
bool field(std::string_view text, std::size_t width, std::uint32_t& out) {
  return text.size() == width && number(text, 16, out);
}

}  // namespace

std::optional<PciAddress> parseAddress(std::string_view name) {
  // DDDD:BB:SS.F
  if (name.size() != 12 || name[4] != ':' || name[7] != ':' || name[10] != '.') return {};
  PciAddress a;
  if (!field(name.substr(0, 4), 4, a.domain) || !field(name.substr(5, 2), 2, a.bus) ||
      !field(name.substr(8, 2), 2, a.slot) || !field(name.substr(11, 1), 1, a.function))
    return {};
  if (a.slot > 0x1F || a.function > 7) return {};
  return a;
}

std::string formatAddress(const PciAddress& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", a.domain & 0xFFFFu, a.bus & 0xFFu,
                a.slot & 0x1Fu, a.function & 7u);
  return text;
}

PciSlot toSlot(const PciAddress& a) {
  return PciSlot{(a.domain << 8) | a.bus, a.slot, a.function};
}

std::optional<std::uint32_t> parseHex(std::string_view text) {
  std::uint64_t v = 0;
  if (!hexNumber(trim(text), v) || v > 0xFFFFFFFFu) return {};
  return static_cast<std::uint32_t>(v);
}

std::optional<std::uint32_t> parseDecimal(std::string_view text) {
  std::uint32_t v = 0;
  if (!number(trim(text), 10, v)) return {};
  return v;
}

std::optional<Bars> parseResources(std::string_view text) {
  Bars bars{};
  for (std::size_t i = 0; i < kBarCount; ++i) {
    const std::size_t eol = text.find('\n');
    if (eol == std::string_view::npos) return {};
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol + 1);
    std::uint64_t v[3] = {};
    for (std::uint64_t& value : v) {
      line = trim(line);
      const std::size_t gap = line.find_first_of(" \t");
      if (!hexNumber(line.substr(0, gap), value)) return {};
      line = gap == std::string_view::npos ? std::string_view{} : line.substr(gap);
    }
    if (!trim(line).empty()) return {};
    const auto [start, end, flags] = v;
    if ((flags & (kIoResourceDisabled | kIoResourceUnset)) != 0 || end < start ||
        (start == 0 && end == 0))
      continue;
    const BarKind kind = (flags & kIoResourceIo) != 0    ? BarKind::Io
                         : (flags & kIoResourceMem) != 0 ? BarKind::Memory
                                                         : BarKind::None;
    if (kind != BarKind::None) bars[i] = Bar{kind, start, end - start + 1};
  }
  return bars;
}

}  // namespace pcisvc::sysfs
