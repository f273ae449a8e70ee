// The Linux backend on a fake machine, through the driver service's
// requests: scan order and base registers as the virtual bus gives them,
// registration and its lock, port transfers and memory mappings, the
// interrupt line's masking, every error with the fix it names, and the
// choice of backend with its "no card found".
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/chip/regs.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/pcisvc/linux/sysfs_backend.h"
#include "platform/pcisvc/linux/tests/fake_system.h"
#include "platform/pcisvc/select_backend.h"
#include "platform/pcisvc/service.h"
#include "platform/vcard/bus.h"

namespace pcisvc::sysfs {
namespace {
using testing::FakeCard;
using testing::FakeSystem;
using vcard::ChipModel;
namespace r = chip::reg;
constexpr std::uint32_t kRunWithCycleInterrupt =
    (1u << r::kDdaCtlRunBit) | (1u << r::kDdaCtlCycleIntBit);

std::uint32_t request(Handle h, std::uint32_t code, void* record, std::size_t size) {
  std::uint32_t status = 0xFFFFFFFF;
  if (!deviceControl(h, code, record, size, &status)) return 0xFFFFFFFF;
  return status;
}
template <typename Record>
std::uint32_t request(Handle h, std::uint32_t code, Record& record) {
  return request(h, code, &record, sizeof record);
}

// Field by field: padding between the fields may differ.
void expectSameResources(const CardResources& a, const CardResources& b) {
  ASSERT_EQ(a.count, b.count);
  for (std::uint32_t i = 0; i < a.count; ++i) {
    SCOPED_TRACE(i);
    const Resource& x = a.items[i];
    const Resource& y = b.items[i];
    EXPECT_EQ(x.type, y.type);
    EXPECT_EQ(x.sharable, y.sharable);
    EXPECT_EQ(x.memory.physical, y.memory.physical);
    EXPECT_EQ(x.memory.size, y.memory.size);
    EXPECT_EQ(x.memory.transferAddress, y.memory.transferAddress);
    EXPECT_EQ(x.memory.mapped, y.memory.mapped);
    EXPECT_EQ(x.io.base, y.io.base);
    EXPECT_EQ(x.io.size, y.io.size);
    EXPECT_EQ(x.interrupt.number, y.interrupt.number);
    EXPECT_EQ(x.interrupt.options, y.interrupt.options);
    EXPECT_EQ(x.interrupt.handle, y.interrupt.handle);
  }
}

FakeCard at(const std::string& address, ChipModel model = ChipModel::Qora210) {
  FakeCard c;
  c.address = address;
  c.model = model;
  return c;
}

// A fake machine with the Linux backend as the service's, and the messages
// the backend shows.
class Machine {
 public:
  Machine() : backend(fake, fake.sysRoot(), fake.devRoot()) {
    setBackend(&backend);
    previous_ =
        platform::msgbox::setHandler([this](const std::string& text, const std::string& caption) {
          messages.push_back(caption + ": " + text);
        });
    handle = openDevice(kDeviceName);
  }
  ~Machine() {
    closeDevice(handle);
    setBackend(nullptr);
    platform::msgbox::setHandler(previous_);
  }

  ScanRecord scan(std::uint32_t device) {
    ScanRecord s{};
    s.search = PciId{0x1D7A, device};
    EXPECT_EQ(request(handle, kPciScan, s), kStatusOk);
    return s;
  }
  // Scan result `index` of `device`, its information, and a registration of it.
  std::uint32_t registerCard(CardRegisterRecord& reg, std::uint32_t device = 0x0210,
                             std::uint32_t index = 0, Handle through = kInvalidHandle) {
    const ScanRecord s = scan(device);
    EXPECT_GT(s.count, index);
    CardInfoRecord info{};
    info.slot = s.slots[index];
    EXPECT_EQ(request(handle, kPciCardInfo, info), kStatusOk);
    reg = CardRegisterRecord{};
    reg.card = info.card;
    return request(through == kInvalidHandle ? handle : through, kCardRegister, reg);
  }
  const Resource* resource(const CardRegisterRecord& reg, std::uint32_t type, int nth = 0) {
    for (std::uint32_t i = 0; i < reg.card.count; ++i)
      if (reg.card.items[i].type == type && nth-- == 0) return &reg.card.items[i];
    return nullptr;
  }

  FakeSystem fake;
  SysfsBackend backend;
  Handle handle = kInvalidHandle;
  std::vector<std::string> messages;

 private:
  platform::msgbox::Handler previous_;
};

TEST(SysfsBackend, ScanGoesInBusOrderAndGivesTheBaseRegistersAsTheVirtualBus) {
  Machine m;
  m.fake.addDevice("0000:00:1f.0", 0x8086, 0x2918);
  m.fake.addDevice("0000:02:00.0", 0x1D7A, 0x0999);  // the vendor's, not a card
  m.fake.addCard(at("0000:03:00.0"));
  m.fake.addCard(at("0000:01:05.0", ChipModel::Qora310));
  m.fake.addCard(at("0000:01:04.0"));
  m.fake.addCard(at("0001:00:02.0"));

  const ScanRecord s210 = m.scan(0x0210);
  ASSERT_EQ(s210.count, 3u);
  const std::uint32_t expected[3][3] = {{1, 4, 0}, {3, 0, 0}, {0x100, 2, 0}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(s210.slots[i].bus, expected[i][0]) << i;
    EXPECT_EQ(s210.slots[i].slot, expected[i][1]) << i;
    EXPECT_EQ(s210.slots[i].function, expected[i][2]) << i;
    EXPECT_EQ(s210.ids[i].device, 0x0210u);
  }
  const ScanRecord s310 = m.scan(0x0310);
  ASSERT_EQ(s310.count, 1u);
  EXPECT_EQ(s310.slots[0].slot, 5u);

  // The virtual bus with the same cards in the same order of installation
  // (so the same ports and lines) reports the same resources.
  vcard::bus().clear();
  vcard::bus().install(ChipModel::Qora210);
  vcard::bus().install(ChipModel::Qora310);
  vcard::bus().install(ChipModel::Qora210);
  const PciSlot mine[3] = {s210.slots[1], s310.slots[0], s210.slots[0]};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    CardInfoRecord fromSysfs{};
    fromSysfs.slot = mine[i];
    ASSERT_EQ(request(m.handle, kPciCardInfo, fromSysfs), kStatusOk);
    CardInfoRecord fromBus{};
    fromBus.slot = vcard::bus().card(static_cast<std::size_t>(i))->slot();
    ASSERT_EQ(vcard::bus().cardInfo(fromBus), kStatusOk);
    expectSameResources(fromSysfs.card, fromBus.card);
    // And the configuration space holds them as base registers 1 and 2.
    for (std::uint32_t b : {1u, 2u}) {
      std::uint32_t bar = 0;
      ConfigAccessRecord c{mine[i], &bar, 0x10 + 4 * b, 4, 1, 0};
      ASSERT_EQ(request(m.handle, kPciConfigAccess, c), kStatusOk);
      EXPECT_EQ(bar, fromSysfs.card.items[b].io.base | 1u);
    }
  }
  vcard::bus().clear();
  CardInfoRecord none{};
  none.slot = PciSlot{1, 9, 0};
  EXPECT_EQ(request(m.handle, kPciCardInfo, none), kStatusNotFound);
  std::uint32_t word = 0;
  ConfigAccessRecord write{s210.slots[0], &word, 0x04, 2, 0, 0};
  EXPECT_EQ(request(m.handle, kPciConfigAccess, write), kStatusFailed) << "read-only";
}

TEST(SysfsBackend, RegistrationLocksTheCardUntilUnregisteredOrTheHandleCloses) {
  Machine m;
  m.fake.addCard(at("0000:01:04.0"));
  CardRegisterRecord reg{};
  ASSERT_EQ(m.registerCard(reg), kStatusOk);
  ASSERT_NE(reg.cardHandle, 0u);
  EXPECT_NE(m.resource(reg, kResourceInterrupt)->interrupt.handle, 0u);
  EXPECT_TRUE(m.fake.locked("0000:01:04.0"));

  // A second registration, through this handle or another, finds it in use.
  CardRegisterRecord again{};
  EXPECT_EQ(m.registerCard(again), kStatusOk);
  EXPECT_EQ(again.cardHandle, 0u);
  const Handle other = openDevice(kDeviceName);
  EXPECT_EQ(m.registerCard(again, 0x0210, 0, other), kStatusOk);
  EXPECT_EQ(again.cardHandle, 0u);

  EXPECT_EQ(request(m.handle, kCardUnregister, reg), kStatusOk);
  EXPECT_FALSE(m.fake.locked("0000:01:04.0"));
  EXPECT_EQ(m.fake.openFiles(), 0) << "every file of the card is closed";
  EXPECT_EQ(request(m.handle, kCardUnregister, reg), kStatusInvalidHandle);

  // Registered through another handle: closing that handle releases it.
  ASSERT_EQ(m.registerCard(again, 0x0210, 0, other), kStatusOk);
  ASSERT_NE(again.cardHandle, 0u);
  closeDevice(other);
  EXPECT_FALSE(m.fake.locked("0000:01:04.0"));

  // Another process holds the card.
  m.fake.holdLock("0000:01:04.0");
  EXPECT_EQ(m.registerCard(again), kStatusOk);
  EXPECT_EQ(again.cardHandle, 0u);
  EXPECT_EQ(m.fake.openFiles(), 0);
  EXPECT_TRUE(m.messages.empty()) << "a card in use is no error of the machine";
}

TEST(SysfsBackend, EachProblemOfTheMachineFailsWithAMessageThatNamesTheFix) {
  struct Case {
    const char* name;
    FakeCard card;
    const char* deny;  // a path under the fake root, "" for none
    std::vector<std::string> says;
  };
  const std::string dir = "/sys/bus/pci/devices/0000:01:04.0";
  FakeCard other = at("0000:01:04.0");
  other.driver = "parport_pc";
  FakeCard unbound = at("0000:01:04.0");
  unbound.driver = "";
  FakeCard nodeless = at("0000:01:04.0");
  nodeless.uioNode = false;
  const std::vector<Case> cases{
      {"another driver",
       other,
       "",
       {"0000:01:04.0 is bound to parport_pc, not to uio_pci_generic",
        "`sudo scripts/bind-card 0000:01:04.0`", "docs/linux-cards.md"}},
      {"no driver", unbound, "", {"0000:01:04.0 is bound to no driver", "scripts/bind-card"}},
      {"no UIO node", nodeless, "", {"has no UIO node in", "dmesg", "docs/linux-cards.md"}},
      {"config",
       at("0000:01:04.0"),
       "/config",
       {"no permission to open", "0000:01:04.0/config", "70-tervane-cards.rules", "group tervane"}},
      {"resource",
       at("0000:01:04.0"),
       "/resource2",
       {"no permission to open", "0000:01:04.0/resource2", "group tervane"}},
      {"UIO device",
       at("0000:01:04.0"),
       "uio0",
       {"no permission to open", "/dev/uio0", "group tervane"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m;
    m.fake.addCard(c.card);
    if (std::string(c.deny) == "uio0")
      m.fake.deny(m.fake.devRoot() + "/uio0");
    else if (*c.deny != '\0')
      m.fake.deny(m.fake.sysRoot() + "/bus/pci/devices/0000:01:04.0" + c.deny);
    CardRegisterRecord reg{};
    EXPECT_EQ(m.registerCard(reg), kStatusFailed);
    EXPECT_EQ(reg.cardHandle, 0u);
    ASSERT_EQ(m.messages.size(), 1u);
    EXPECT_EQ(m.messages[0].rfind("Driver service: ", 0), 0u);
    for (const std::string& part : c.says)
      EXPECT_NE(m.messages[0].find(part), std::string::npos) << m.messages[0] << "\nlacks " << part;
    EXPECT_EQ(m.fake.openFiles(), 0) << "nothing stays open";
    EXPECT_FALSE(m.fake.locked("0000:01:04.0"));
    // A program learns the same before it opens anything.
    const BackendChoice choice = useBackend(m.backend, BackendKind::Linux);
    ASSERT_EQ(choice.survey.cards.size(), 1u);
    EXPECT_EQ("Driver service: " + choice.survey.cards[0].problem, m.messages[0]);
    EXPECT_EQ(choice.problem,
              "no card can be opened: 0000:01:04.0: " + choice.survey.cards[0].problem);
  }
}

TEST(SysfsBackend, PortTransfersReachTheCardAndMemoryIsMappedWhereTheRegisterStarts) {
  Machine m;
  FakeCard setup = at("0000:01:04.0");
  setup.memoryBar0 = true;
  auto card = m.fake.addCard(setup);
  CardRegisterRecord reg{};
  ASSERT_EQ(m.registerCard(reg), kStatusOk);
  const Resource* memory = m.resource(reg, kResourceMemory);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(memory->memory.physical, testing::kMemoryBar0);
  EXPECT_EQ(memory->memory.transferAddress, testing::kMemoryBar0);
  // The register starts 0x80 bytes into its page.
  std::uint8_t* page = m.fake.memoryPage("0000:01:04.0");
  ASSERT_EQ(memory->memory.mapped, page + 0x80);
  const std::uint64_t bridge = m.resource(reg, kResourceIoPort, 0)->io.base;
  const std::uint64_t chipBase = m.resource(reg, kResourceIoPort, 1)->io.base;

  const auto transfer = [&](std::uint64_t address, std::uint32_t command, std::uint32_t bytes,
                            std::uint32_t data, std::uint32_t* out = nullptr) {
    TransferRecord t{address, command, bytes, 1, 0, data};
    const std::uint32_t status = request(m.handle, kTransfer, t);
    if (out != nullptr) *out = t.data;
    return status;
  };
  // Ports of each width on the bridge's space.
  std::uint32_t v = 0;
  ASSERT_EQ(transfer(bridge + 0x40, kPortWrite32, 4, 0x11223344), kStatusOk);
  std::uint32_t direct = 0;
  ASSERT_TRUE(card->read(1, 0x40, 32, direct));
  EXPECT_EQ(direct, 0x11223344u);
  ASSERT_EQ(transfer(bridge + 0x43, kPortRead8, 1, 0, &v), kStatusOk);
  EXPECT_EQ(v, 0x11u);
  ASSERT_EQ(transfer(bridge + 0x40, kPortReadWord, 2, 0, &v), kStatusOk);
  EXPECT_EQ(v, 0x3344u);
  // The chip's 16-bit registers.
  card->recordWrites(true);
  ASSERT_EQ(transfer(chipBase + 0x04, kPortWriteWord, 2, 0x0200), kStatusOk);
  EXPECT_EQ(card->writes(), (std::vector<vcard::RegisterWrite>{{2, 0x04, 0x0200, 16}}));
  EXPECT_EQ(transfer(chipBase + 0x04, kPortReadByte, 1, 0), kStatusFailed)
      << "the chip has no 8-bit access";
  EXPECT_EQ(transfer(chipBase, kPortReadWord, 1, 0), kStatusInvalidRecord) << "byte count";
  EXPECT_EQ(transfer(chipBase + 0x400, kPortReadWord, 2, 0), kStatusNotFound);
  EXPECT_EQ(transfer(bridge + 0x7E, kPortRead32, 4, 0), kStatusNotFound) << "runs past the end";

  // Memory: transfers and the process's mapping are the same bytes.
  ASSERT_EQ(transfer(testing::kMemoryBar0 + 0x10, kMemWrite16, 2, 0xBEEF), kStatusOk);
  EXPECT_EQ(page[0x90], 0xEF);
  EXPECT_EQ(page[0x91], 0xBE);
  static_cast<std::uint8_t*>(memory->memory.mapped)[0x20] = 0x5A;
  ASSERT_EQ(transfer(testing::kMemoryBar0 + 0x20, kMemRead8, 1, 0, &v), kStatusOk);
  EXPECT_EQ(v, 0x5Au);
  ASSERT_EQ(transfer(testing::kMemoryBar0 + 0x7C, kMemWrite32, 4, 0xCAFEF00D), kStatusOk);
  EXPECT_EQ(page[0xFF], 0xCA);
  EXPECT_EQ(transfer(testing::kMemoryBar0 + 0x21, kMemRead16, 2, 0), kStatusInvalidRecord)
      << "unaligned";
  EXPECT_EQ(transfer(testing::kMemoryBar0 + 0x80, kMemRead8, 1, 0), kStatusNotFound);

  m.fake.setTransfersFail(true);
  EXPECT_EQ(transfer(bridge + 0x40, kPortRead8, 1, 0), kStatusFailed);
  m.fake.setTransfersFail(false);
  ASSERT_EQ(request(m.handle, kCardUnregister, reg), kStatusOk);
  EXPECT_EQ(transfer(bridge + 0x40, kPortRead8, 1, 0), kStatusNotFound) << "no longer registered";
  EXPECT_EQ(m.fake.openFiles(), 0);
}

// The interrupt line through the backend: unmasked at enable, masked by the
// kernel at every interrupt and unmasked before the wait returns, masked for
// good by disable.
TEST(SysfsBackend, TheLineIsUnmaskedAfterEachAcknowledgeAndMaskedByDisable) {
  platform::useVirtualTime();
  {
    Machine m;
    const std::string address = "0000:01:04.0";
    auto card = m.fake.addCard(at(address));
    CardRegisterRecord reg{};
    ASSERT_EQ(m.registerCard(reg), kStatusOk);
    const std::uint64_t bridge = m.resource(reg, kResourceIoPort, 0)->io.base;
    const std::uint64_t chipBase = m.resource(reg, kResourceIoPort, 1)->io.base;
    const auto port = [&](std::uint64_t address, std::uint32_t command, std::uint32_t bytes,
                          std::uint32_t data = 0) {
      TransferRecord t{address, command, bytes, 1, 0, data};
      request(m.handle, kTransfer, t);
      return t.data;
    };
    TransferRecord ack[2] = {{bridge + 0x4C, kPortRead8, 1, 0, 0, 0},
                             {bridge + 0x4C, kPortWrite8, 1, 0, 0, 0}};
    InterruptRecord irq{};
    irq.handle = m.resource(reg, kResourceInterrupt)->interrupt.handle;
    irq.options = kInterruptLevelSensitive | kInterruptRunCommands;
    irq.commands = ack;
    irq.commandCount = 2;

    // Enable fails when the command register cannot be written, and leaves
    // the line masked.
    EXPECT_TRUE(m.fake.masked(address));
    m.fake.setConfigWritesFail(true);
    EXPECT_EQ(request(m.handle, kInterruptEnable, irq), kStatusFailed);
    EXPECT_FALSE(card->interruptArmed());
    m.fake.setConfigWritesFail(false);
    ASSERT_EQ(request(m.handle, kInterruptEnable, irq), kStatusOk);
    EXPECT_FALSE(m.fake.masked(address));
    EXPECT_EQ(request(m.handle, kInterruptEnable, irq), kStatusBusy);

    std::atomic<int> served{0};
    std::atomic<bool> unmaskedOnReturn{true};
    std::atomic<std::uint32_t> lastCount{0};
    std::atomic<std::uint32_t> lastStop{99};
    std::thread service([&] {
      for (;;) {
        InterruptRecord w = irq;
        TransferRecord results[2] = {ack[0], ack[1]};
        w.commands = results;
        const Handle own = openDevice(kDeviceName);
        const std::uint32_t status = request(own, kInterruptWait, w);
        closeDevice(own);
        lastStop = w.stopped;
        if (status != kStatusOk || w.stopped == kInterruptStopped) return;
        if (w.stopped != kInterruptReceived) continue;
        if (m.fake.masked(address)) unmaskedOnReturn = false;
        lastCount = w.count;
        ++served;
        // Serve as the card-access library does.
        port(chipBase + r::kIntAck, kPortWriteWord, 2, 0);
        port(bridge + r::kBridgeIntCsr, kPortWrite8, 1,
             port(bridge + r::kBridgeIntCsr, kPortRead8, 1) | 0x41);
        while (port(chipBase + r::kIntSource, kPortReadWord, 2) != 0)
          port(chipBase + r::kDdaIntCondition, kPortReadWord, 2);
      }
    });
    port(bridge + 0x4C, kPortWrite8, 1, 0x41);
    port(chipBase + r::kDdaTiming, kPortWriteWord, 2, 5u << 12);  // an 819.2 us cycle
    port(chipBase + r::kDdaControl, kPortWriteWord, 2, kRunWithCycleInterrupt);
    platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 200));
    EXPECT_EQ(card->cycles(), 200u);
    EXPECT_EQ(served.load(), 200) << "one wake-up per cycle";
    EXPECT_EQ(lastCount.load(), 200u);
    EXPECT_TRUE(unmaskedOnReturn.load());
    EXPECT_EQ(m.fake.deliveredWhileMasked(), 0);
    EXPECT_GE(m.fake.realtimeRequests(), 1) << "the waiting thread asked for real time";

    // A signal ends a blocked wait with stop state 2; the service goes on.
    port(chipBase + r::kDdaControl, kPortWriteWord, 2, 0);
    m.fake.interruptPoll();
    platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 3));
    while (lastStop.load() != kInterruptInterrupted)
      std::this_thread::yield();
    port(chipBase + r::kDdaControl, kPortWriteWord, 2, kRunWithCycleInterrupt);
    platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 10));
    EXPECT_EQ(served.load(), 210);

    ASSERT_EQ(request(m.handle, kInterruptDisable, irq), kStatusOk);
    service.join();
    EXPECT_EQ(lastStop.load(), static_cast<std::uint32_t>(kInterruptStopped));
    EXPECT_TRUE(m.fake.masked(address));
    EXPECT_FALSE(card->interruptArmed());
    EXPECT_EQ(request(m.handle, kInterruptDisable, irq), kStatusFailed) << "not armed";
    port(chipBase + r::kDdaControl, kPortWriteWord, 2, 0);
    platform::clock().sleepFor(std::chrono::nanoseconds(819200 * 2));
    ASSERT_EQ(request(m.handle, kCardUnregister, reg), kStatusOk);
    EXPECT_EQ(m.fake.openFiles(), 0);
  }
  platform::useRealTime();
}

TEST(SysfsBackend, AProgramChoosesTheBackendAndLearnsThatNoCardIsThere) {
  Machine m;
  FakeCard bound = at("0000:01:04.0");
  FakeCard elsewhere = at("0000:01:05.0", ChipModel::Qora310);
  elsewhere.driver = "parport_pc";
  m.fake.addCard(bound);
  m.fake.addCard(elsewhere);
  m.fake.addDevice("0000:00:1f.0", 0x8086, 0x2918);

  BackendChoice choice = useBackend(m.backend, BackendKind::Linux);
  EXPECT_EQ(&backend(), &m.backend);
  EXPECT_EQ(choice.name, "Linux (sysfs and UIO)");
  EXPECT_EQ(choice.survey.searched, m.backend.devicesDir());
  ASSERT_EQ(choice.survey.cards.size(), 2u);
  EXPECT_EQ(choice.survey.cards[0].where, "0000:01:04.0");
  EXPECT_EQ(choice.survey.cards[0].device, 0x0210u);
  EXPECT_EQ(choice.survey.cards[0].detail, "subsystem 1d7a:0210, irq 10");
  EXPECT_EQ(choice.survey.cards[0].problem, "");
  EXPECT_NE(choice.survey.cards[1].problem.find("bound to parport_pc"), std::string::npos);
  EXPECT_EQ(choice.problem, "") << "one card can be opened";

  CardRegisterRecord reg{};
  ASSERT_EQ(m.registerCard(reg), kStatusOk);
  EXPECT_EQ(useBackend(m.backend, BackendKind::Linux).survey.cards[0].problem,
            "in use by this program");
  request(m.handle, kCardUnregister, reg);
  m.fake.holdLock("0000:01:04.0");
  choice = useBackend(m.backend, BackendKind::Linux);
  EXPECT_EQ(choice.problem.rfind("no card can be opened: 0000:01:04.0: in use by another program; "
                                 "0000:01:05.0: 0000:01:05.0 is bound to parport_pc",
                                 0),
            0u)
      << choice.problem;
  m.fake.releaseLocks();

  // No card at all, though the virtual bus has one: nothing falls back to it.
  m.fake.removeAll();
  vcard::bus().clear();
  vcard::bus().install(ChipModel::Qora210);
  choice = useBackend(m.backend, BackendKind::Linux);
  EXPECT_TRUE(choice.survey.cards.empty());
  EXPECT_EQ(choice.problem,
            "no card found: no PCI device 1d7a:0210 or 1d7a:0310 in " + m.backend.devicesDir());
  EXPECT_EQ(m.scan(0x0210).count, 0u);
  EXPECT_FALSE(vcard::bus().registered(*vcard::bus().card(0)));

  m.fake.setDevicesMissing(true);
  choice = useBackend(m.backend, BackendKind::Linux);
  EXPECT_EQ(choice.problem,
            "the driver service is not available: " + m.backend.devicesDir() + " cannot be read");
  EXPECT_EQ(openDevice(kDeviceName), kInvalidHandle);
  vcard::bus().clear();
}

// On this machine: the Linux backend over /sys, whatever cards it has.
TEST(SysfsBackend, ChoosingLinuxOnThisMachineNeverGivesTheVirtualBus) {
  BackendChoice choice = useBackend(BackendKind::Linux);
  EXPECT_EQ(choice.name, "Linux (sysfs and UIO)");
  EXPECT_NE(&backend(), static_cast<Backend*>(&vcard::bus()));
  EXPECT_EQ(choice.survey.searched, "/sys/bus/pci/devices");
  // A machine without sysfs (some containers) has no service at all.
  if (choice.survey.cards.empty() && backend().available()) {
    EXPECT_EQ(choice.problem.rfind("no card found: no PCI device 1d7a:0210 or 1d7a:0310", 0), 0u)
        << choice.problem;
  }
  choice = useBackend(BackendKind::Virtual);
  EXPECT_EQ(&backend(), static_cast<Backend*>(&vcard::bus()));
  EXPECT_EQ(choice.name, "virtual card");
  BackendKind kind{};
  EXPECT_TRUE(parseBackendKind("linux", kind));
  EXPECT_EQ(kind, BackendKind::Linux);
  EXPECT_TRUE(parseBackendKind("virtual", kind));
  EXPECT_EQ(kind, BackendKind::Virtual);
  EXPECT_FALSE(parseBackendKind("Linux", kind));
  EXPECT_FALSE(parseBackendKind("", kind));
}

}  // namespace
}  // namespace pcisvc::sysfs
