// The published interface of the PCI driver service: control codes, status
// values and the layouts of the records the device-control requests carry.
// The card-access library includes this header; the records are plain
// standard-layout structs with fixed-width fields.
#pragma once

#include <cstdint>

namespace pcisvc {

// The device name the service answers to.
inline constexpr const char* kDeviceName = "\\\\.\\WINDRVR6";

// Device-control codes.
inline constexpr std::uint32_t kVersionQuery = 0x95382443;
inline constexpr std::uint32_t kPciScan = 0x9538243B;
inline constexpr std::uint32_t kPciCardInfo = 0x9538243F;
inline constexpr std::uint32_t kCardRegister = 0x953825F7;
inline constexpr std::uint32_t kCardUnregister = 0x953824AF;
inline constexpr std::uint32_t kPciConfigAccess = 0x9538246B;
inline constexpr std::uint32_t kTransfer = 0x9538240F;
inline constexpr std::uint32_t kInterruptEnable = 0x9538247B;
inline constexpr std::uint32_t kInterruptDisable = 0x9538247F;
inline constexpr std::uint32_t kInterruptWait = 0x9538252F;

// Status a request reports; 0 is success.
inline constexpr std::uint32_t kStatusOk = 0;
inline constexpr std::uint32_t kStatusFailed = 0x20000001;
inline constexpr std::uint32_t kStatusInvalidRecord = 0x20000002;  // wrong size or field
inline constexpr std::uint32_t kStatusInvalidHandle = 0x20000003;  // card or interrupt handle
inline constexpr std::uint32_t kStatusNotFound = 0x20000004;       // no such card or port
inline constexpr std::uint32_t kStatusUnsupported = 0x20000005;    // unknown control code
inline constexpr std::uint32_t kStatusBusy = 0x20000006;           // interrupt already armed

// The service's version; the card-access library needs 602 or more.
inline constexpr std::uint32_t kServiceVersion = 602;

struct VersionRecord {
  std::uint32_t version;
  char text[32];
};

struct PciSlot {
  std::uint32_t bus;
  std::uint32_t slot;
  std::uint32_t function;
};

struct PciId {
  std::uint32_t vendor;
  std::uint32_t device;
};

inline constexpr std::uint32_t kMaxScanResults = 16;

// In: search (vendor, device), rest zero. Out: the matching cards in
// bus/slot/function order.
struct ScanRecord {
  PciId search;
  std::uint32_t count;
  PciId ids[kMaxScanResults];
  PciSlot slots[kMaxScanResults];
};

enum ResourceType : std::uint32_t {
  kResourceNone = 0,
  kResourceInterrupt = 1,
  kResourceMemory = 2,
  kResourceIoPort = 3,
};

struct MemoryResource {
  std::uint64_t physical;
  std::uint64_t size;
  std::uint64_t transferAddress;  // the address transfers use
  void* mapped;                   // the address mapped into this process
};

struct IoResource {
  std::uint64_t base;
  std::uint32_t size;
};

struct InterruptResource {
  std::uint32_t number;
  std::uint32_t options;
  std::uint32_t handle;  // given by registration
};

struct Resource {
  std::uint32_t type;  // ResourceType
  std::uint32_t sharable;
  MemoryResource memory;
  IoResource io;
  InterruptResource interrupt;
};

inline constexpr std::uint32_t kMaxResources = 20;

struct CardResources {
  std::uint32_t count;
  Resource items[kMaxResources];
};

// In: the slot. Out: the card's resources.
struct CardInfoRecord {
  PciSlot slot;
  CardResources card;
};

// In: resources and lock-check flag. Out: cardHandle (0 when the card is in
// use), interrupt handles and memory addresses filled in.
struct CardRegisterRecord {
  CardResources card;
  std::uint32_t lockCheck;
  std::uint32_t cardHandle;
};

// Configuration-space read or write of 1, 2 or 4 bytes through buffer.
struct ConfigAccessRecord {
  PciSlot slot;
  void* buffer;
  std::uint32_t offset;
  std::uint32_t bytes;
  std::uint32_t read;  // 1 read, 0 write
  std::uint32_t result;
};

// Transfer commands. Port transfers come in two numberings (10.. and 20..);
// both are served alike.
enum TransferCommand : std::uint32_t {
  kPortRead8 = 11,
  kPortRead16 = 12,
  kPortRead32 = 13,
  kPortWrite8 = 14,
  kPortWrite16 = 15,
  kPortWrite32 = 16,
  kPortReadByte = 20,
  kPortReadWord = 21,
  kPortReadDword = 22,
  kPortWriteByte = 23,
  kPortWriteWord = 24,
  kPortWriteDword = 25,
  kMemRead8 = 30,
  kMemRead16 = 31,
  kMemRead32 = 32,
  kMemWrite8 = 33,
  kMemWrite16 = 34,
  kMemWrite32 = 35,
};

struct TransferKind {
  bool valid;
  bool memory;
  bool read;
  int width;  // bits
};

constexpr TransferKind describeTransfer(std::uint32_t command) {
  switch (command) {
    case kPortRead8:
    case kPortReadByte:
      return {true, false, true, 8};
    case kPortRead16:
    case kPortReadWord:
      return {true, false, true, 16};
    case kPortRead32:
    case kPortReadDword:
      return {true, false, true, 32};
    case kPortWrite8:
    case kPortWriteByte:
      return {true, false, false, 8};
    case kPortWrite16:
    case kPortWriteWord:
      return {true, false, false, 16};
    case kPortWrite32:
    case kPortWriteDword:
      return {true, false, false, 32};
    case kMemRead8:
      return {true, true, true, 8};
    case kMemRead16:
      return {true, true, true, 16};
    case kMemRead32:
      return {true, true, true, 32};
    case kMemWrite8:
      return {true, true, false, 8};
    case kMemWrite16:
      return {true, true, false, 16};
    case kMemWrite32:
      return {true, true, false, 32};
    default:
      return {false, false, false, 0};
  }
}

// One transfer: the address (port or memory transfer address), the command,
// byte count and the data; reads return their value in data.
struct TransferRecord {
  std::uint64_t address;
  std::uint32_t command;
  std::uint32_t bytes;
  std::uint32_t autoIncrement;
  std::uint32_t options;
  std::uint32_t data;
};

// Option bits of an interrupt record.
inline constexpr std::uint32_t kInterruptLevelSensitive = 1;
inline constexpr std::uint32_t kInterruptRunCommands = 2;

enum InterruptStop : std::uint32_t {
  kInterruptReceived = 0,
  kInterruptStopped = 1,
  kInterruptInterrupted = 2,
};

// Interrupt enable, disable and wait. The commands run in the service at each
// interrupt, before the wait returns; with kInterruptRunCommands their read
// results are copied back into the records.
struct InterruptRecord {
  std::uint32_t handle;
  std::uint32_t options;
  TransferRecord* commands;
  std::uint32_t commandCount;
  std::uint32_t count;  // interrupts received since enable
  std::uint32_t lost;   // interrupts that arrived while one was still pending
  std::uint32_t stopped;
  std::uint32_t enableOk;
};

}  // namespace pcisvc
