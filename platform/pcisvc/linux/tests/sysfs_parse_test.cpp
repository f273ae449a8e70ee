// What the Linux backend reads out of sysfs: PCI addresses and their order,
// identifier and number files, and the base registers of the resource file
// as the kernel prints them.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/pcisvc/linux/sysfs_parse.h"

namespace pcisvc::sysfs {
namespace {

TEST(SysfsParse, AddressesParseInHexAndSortInBusOrder) {
  const auto a = parseAddress("0000:0a:1f.7");
  ASSERT_TRUE(a);
  EXPECT_EQ(*a, (PciAddress{0, 0x0a, 0x1f, 7}));
  EXPECT_EQ(formatAddress(*a), "0000:0a:1f.7");
  for (const char* bad : {"0000:0a:1f", "0000:0a:20.0", "0000:0a:1f.8", "000:00a:1f.0", "uio0",
                          "0000:0g:00.0", "0000:0a:1f.0 "})
    EXPECT_FALSE(parseAddress(bad)) << bad;

  std::vector<PciAddress> order;
  for (const char* name :
       {"0001:00:00.0", "0000:03:00.0", "0000:01:05.0", "0000:01:04.1", "0000:01:04.0"})
    order.push_back(*parseAddress(name));
  std::sort(order.begin(), order.end());
  std::vector<std::string> sorted;
  for (const PciAddress& p : order)
    sorted.push_back(formatAddress(p));
  EXPECT_EQ(sorted, (std::vector<std::string>{"0000:01:04.0", "0000:01:04.1", "0000:01:05.0",
                                              "0000:03:00.0", "0001:00:00.0"}));
  // Domain 0 gives the plain bus number; another domain keeps cards apart.
  const PciSlot s = toSlot(*parseAddress("0000:03:1e.2"));
  EXPECT_EQ(s.bus, 3u);
  EXPECT_EQ(s.slot, 0x1eu);
  EXPECT_EQ(s.function, 2u);
  EXPECT_EQ(toSlot(*parseAddress("0002:03:00.0")).bus, 0x203u);
}

TEST(SysfsParse, IdentifierAndNumberFiles) {
  EXPECT_EQ(parseHex("0x1d7a\n"), 0x1D7Au);
  EXPECT_EQ(parseHex("0x0310"), 0x0310u);
  EXPECT_EQ(parseDecimal("16\n"), 16u);
  EXPECT_FALSE(parseHex(""));
  EXPECT_FALSE(parseHex("0x"));
  EXPECT_FALSE(parseHex("0x1d7a 0x0210"));
  EXPECT_FALSE(parseDecimal("-1"));
  EXPECT_FALSE(parseDecimal("1 6"));
}

TEST(SysfsParse, ResourceFileGivesTheSixBaseRegisters) {
  const char* text =
      "0x00000000febf1080 0x00000000febf10ff 0x0000000000040200\n"  // memory, 128 bytes
      "0x000000000000e000 0x000000000000e07f 0x0000000000040101\n"  // I/O, 128 ports
      "0x000000000000a000 0x000000000000a3ff 0x0000000000040101\n"
      "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"   // absent
      "0x000000000000b000 0x000000000000b0ff 0x0000000020040101\n"   // unassigned
      "0x0000004000000000 0x000000400007ffff 0x0000000000140204\n"   // 64-bit memory
      "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";  // expansion ROM
  const auto bars = parseResources(text);
  ASSERT_TRUE(bars);
  EXPECT_EQ((*bars)[0].kind, BarKind::Memory);
  EXPECT_EQ((*bars)[0].start, 0xFEBF1080u);
  EXPECT_EQ((*bars)[0].size, 0x80u);
  EXPECT_EQ((*bars)[1].kind, BarKind::Io);
  EXPECT_EQ((*bars)[1].size, 0x80u);
  EXPECT_EQ((*bars)[2].start, 0xA000u);
  EXPECT_EQ((*bars)[2].size, 0x400u);
  EXPECT_EQ((*bars)[3].kind, BarKind::None);
  EXPECT_EQ((*bars)[4].kind, BarKind::None);
  EXPECT_EQ((*bars)[5].start, 0x4000000000u);
  EXPECT_EQ((*bars)[5].size, 0x80000u);
  // A register holds an access only when all of its bytes are inside.
  EXPECT_TRUE((*bars)[1].contains(0xE07C, 4));
  EXPECT_FALSE((*bars)[1].contains(0xE07E, 4));
  EXPECT_FALSE((*bars)[1].contains(0xDFFF, 1));
  EXPECT_FALSE((*bars)[3].contains(0, 1));

  EXPECT_FALSE(parseResources("0x0 0x0 0x0\n")) << "fewer than six lines";
  EXPECT_FALSE(parseResources(std::string(text).replace(0, 2, "zz")));
}

}  // namespace
}  // namespace pcisvc::sysfs
