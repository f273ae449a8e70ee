// Opening a card through the Linux backend on a fake machine that is not set
// up for it: the technician sees the backend's message with its fix before
// the library's own, the open fails and nothing of the card stays held; and
// once the machine is right the same card opens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/msgbox/msgbox.h"
#include "platform/pcisvc/linux/sysfs_backend.h"
#include "platform/pcisvc/linux/tests/fake_system.h"
#include "platform/pcisvc/service.h"
#include "qoradrv.h"

namespace {

using pcisvc::sysfs::SysfsBackend;
using pcisvc::sysfs::testing::FakeCard;
using pcisvc::sysfs::testing::FakeSystem;

const std::string kCard = "0000:01:04.0";
const std::string kLocked = "Error: Could not lock this QX-7T card, already in use !\n";

int init210() {
  return QORA210_Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, 0);
}

struct Machine {
  Machine() : backend(fake, fake.sysRoot(), fake.devRoot()) {
    pcisvc::setBackend(&backend);
    previous =
        platform::msgbox::setHandler([this](const std::string& text, const std::string& caption) {
          messages.push_back(caption + ": " + text);
        });
  }
  ~Machine() {
    QORA_Close(0);
    pcisvc::setBackend(nullptr);
    platform::msgbox::setHandler(previous);
  }
  FakeSystem fake;
  SysfsBackend backend;
  std::vector<std::string> messages;
  platform::msgbox::Handler previous;
};

TEST(LinuxOpen, AMachineProblemShowsItsFixBeforeTheLibrarysMessage) {
  struct Case {
    const char* name;
    const char* driver;
    bool node;
    const char* denied;  // under the card's folder
    const char* says;
  };
  for (const Case& c :
       {Case{"another driver", "parport_pc", true, "", "bind-card 0000:01:04.0"},
        Case{"no UIO node", "uio_pci_generic", false, "", "no UIO node"},
        Case{"no permission", "uio_pci_generic", true, "/resource1", "group tervane"}}) {
    SCOPED_TRACE(c.name);
    Machine m;
    FakeCard card;
    card.address = kCard;
    card.driver = c.driver;
    card.uioNode = c.node;
    m.fake.addCard(card);
    if (*c.denied != '\0') m.fake.deny(m.fake.deviceDir(kCard) + c.denied);
    EXPECT_EQ(init210(), 0);
    ASSERT_EQ(m.messages.size(), 2u);
    EXPECT_EQ(m.messages[0].rfind("Driver service: ", 0), 0u);
    EXPECT_NE(m.messages[0].find(c.says), std::string::npos) << m.messages[0];
    EXPECT_EQ(m.messages[1], kLocked);
    EXPECT_EQ(QORA_ResetModule(QORA_MODULE_CHIP, 0), 0) << "the slot stays empty";
    EXPECT_EQ(m.fake.openFiles(), 0);
    EXPECT_FALSE(m.fake.locked(kCard));
  }
  // The same card, set up: it opens, and closing gives everything back.
  Machine m;
  FakeCard card;
  card.address = kCard;
  m.fake.addCard(card);
  ASSERT_EQ(init210(), 1);
  EXPECT_TRUE(m.messages.empty());
  EXPECT_TRUE(m.fake.locked(kCard));
  EXPECT_FALSE(m.fake.masked(kCard)) << "interrupts enabled";
  ASSERT_EQ(QORA_Close(0), 1);
  EXPECT_TRUE(m.fake.masked(kCard));
  EXPECT_FALSE(m.fake.locked(kCard));
  EXPECT_EQ(m.fake.openFiles(), 0);
}

TEST(LinuxOpen, NoCardNoSysfsAndACardHeldElsewhereGiveTheLibrarysMessagesOnly) {
  {
    Machine m;
    m.fake.addDevice("0000:00:1f.0", 0x8086, 0x2918);
    EXPECT_EQ(init210(), 0);
    EXPECT_EQ(m.messages, (std::vector<std::string>{"Error: No cards found !\n",
                                                    "Error: Cannot find QX-7T card !\n"}));
  }
  {
    Machine m;
    m.fake.setDevicesMissing(true);
    EXPECT_EQ(init210(), 0);
    EXPECT_EQ(m.messages, std::vector<std::string>{"Error: Cannot open this QX-7T card !\n"});
  }
  {
    Machine m;
    FakeCard card;
    card.address = kCard;
    m.fake.addCard(card);
    m.fake.holdLock(kCard);
    EXPECT_EQ(init210(), 0);
    EXPECT_EQ(m.messages, std::vector<std::string>{kLocked});
    EXPECT_EQ(m.fake.openFiles(), 0);
  }
}

}  // namespace
