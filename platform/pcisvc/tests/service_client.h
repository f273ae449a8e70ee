// A small client of the driver service for tests: typed requests, and the
// open steps a card-access library takes (scan, information, registration).
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "platform/chip/regs.h"
#include "platform/pcisvc/service.h"
#include "platform/vcard/bus.h"

namespace pcisvc::test {

inline std::uint32_t request(Handle h, std::uint32_t code, void* record, std::size_t size) {
  std::uint32_t status = 0xFFFFFFFF;
  if (!deviceControl(h, code, record, size, &status)) return 0xFFFFFFFF;
  return status;
}

template <typename Record>
std::uint32_t request(Handle h, std::uint32_t code, Record& record) {
  return request(h, code, &record, sizeof record);
}

// One registered card as a library would hold it.
struct OpenCard {
  Handle handle = kInvalidHandle;
  CardRegisterRecord reg{};
  std::uint64_t bridgeBase = 0;
  std::uint64_t chipBase = 0;
  std::uint32_t interruptHandle = 0;

  std::uint32_t read(std::uint64_t base, std::uint32_t offset, std::uint32_t command,
                     std::uint32_t bytes) const {
    TransferRecord t{base + offset, command, bytes, 1, 0, 0};
    return request(handle, kTransfer, t) == kStatusOk ? t.data : 0;
  }
  bool write(std::uint64_t base, std::uint32_t offset, std::uint32_t value, std::uint32_t command,
             std::uint32_t bytes) const {
    TransferRecord t{base + offset, command, bytes, 1, 0, value};
    return request(handle, kTransfer, t) == kStatusOk;
  }
  std::uint16_t chipRead(std::uint32_t offset) const {
    return static_cast<std::uint16_t>(read(chipBase, offset, kPortReadWord, 2));
  }
  bool chipWrite(std::uint32_t offset, std::uint16_t value) const {
    return write(chipBase, offset, value, kPortWriteWord, 2);
  }
  std::uint8_t bridgeRead() const {
    return static_cast<std::uint8_t>(read(bridgeBase, chip::reg::kBridgeIntCsr, kPortReadByte, 1));
  }
  bool bridgeWrite(std::uint8_t value) const {
    return write(bridgeBase, chip::reg::kBridgeIntCsr, value, kPortWriteByte, 1);
  }
};

// Scans for `device`, takes result `index`, registers it. Fails the test on
// any refusal.
inline OpenCard openCard(std::uint32_t device, std::uint32_t index = 0) {
  OpenCard c;
  c.handle = openDevice(kDeviceName);
  EXPECT_NE(c.handle, kInvalidHandle);
  ScanRecord scan{};
  scan.search = PciId{0x1D7A, device};
  EXPECT_EQ(request(c.handle, kPciScan, scan), kStatusOk);
  EXPECT_GT(scan.count, index);
  CardInfoRecord info{};
  info.slot = scan.slots[index];
  EXPECT_EQ(request(c.handle, kPciCardInfo, info), kStatusOk);
  c.reg.card = info.card;
  EXPECT_EQ(request(c.handle, kCardRegister, c.reg), kStatusOk);
  EXPECT_NE(c.reg.cardHandle, 0u);
  for (std::uint32_t i = 0; i < c.reg.card.count; ++i) {
    const Resource& r = c.reg.card.items[i];
    if (r.type == kResourceInterrupt) c.interruptHandle = r.interrupt.handle;
  }
  // Space 1 is the first I/O window, space 2 the second, as the base registers say.
  c.bridgeBase = c.reg.card.items[1].io.base;
  c.chipBase = c.reg.card.items[2].io.base;
  return c;
}

inline void closeCard(OpenCard& c) {
  if (c.handle == kInvalidHandle) return;
  request(c.handle, kCardUnregister, c.reg);
  closeDevice(c.handle);
  c.handle = kInvalidHandle;
}

}  // namespace pcisvc::test
