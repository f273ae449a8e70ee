// Remote I/O: two serial master ports with three slaves of four words each.
// Each control register carries an interrupt-type byte whose fields reach the
// chip only where the interrupt enable mask is set.
#include "cardaccess/src/card.h"
#include "platform/chip/regs.h"

using namespace qora;
namespace r = chip::reg;

namespace {

constexpr std::uint16_t kPorts = QORA_RIO_PORTS;
constexpr std::uint16_t kSlaves = QORA_RIO_SLAVES;
constexpr std::uint16_t kWords = QORA_RIO_WORDS;

// Writes control register `which` of a port: its value shadow with the
// interrupt-type byte masked (high byte of A and B, low byte of C).
void writeControl(Chip& c, unsigned port, unsigned which) {
  const auto& s = c.shadow();
  const std::uint32_t value = s.rioControl[port][which];
  const std::uint32_t mask = s.rioMask[port][which];
  const std::uint32_t written = which == r::kRioCtlC ? value & ((mask & 0x00FFu) | 0xFF00u)
                                                     : value & ((mask & 0xFF00u) | 0x00FFu);
  c.write(r::rioControl(port, which), written);
}

// The register holding a slave's input interrupt types and the word's field.
unsigned typeRegister(unsigned slave) {
  return slave == 0 ? r::kRioCtlC : (slave == 1 ? r::kRioCtlB : r::kRioCtlA);
}
r::Field typeField(unsigned slave, unsigned word) {
  return r::Field{(slave == 0 ? 0u : 8u) + 2 * word, 2};
}

int controlChange(std::uint16_t port, unsigned which, std::uint16_t card,
                  std::uint16_t (*change)(std::uint16_t, unsigned), unsigned arg) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().rioControl[port][which];
    s = change(s, arg);
    writeControl(c, port, which);
  });
}

int statusField(std::uint16_t port, r::Field field, std::uint16_t* value, std::uint16_t card) {
  if (port >= kPorts || value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    *value = static_cast<std::uint16_t>(field.get(c.read(r::rioStatus(port))));
  });
}

int inputInt(std::uint16_t port, std::uint16_t slave, std::uint16_t word, bool on,
             std::uint16_t card) {
  if (port >= kPorts || slave >= kSlaves || word >= kWords) return QORA_REFUSED;
  const unsigned which = typeRegister(slave);
  return withCard(card, [&](Chip& c) {
    auto& m = c.shadow().rioMask[port][which];
    m = typeField(slave, word).set(m, on ? 3u : 0u);
    writeControl(c, port, which);
  });
}

int condition(unsigned port, std::uint8_t* flags, std::uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    splitFlags(c.read(r::rioCondition(port)), 0, r::kRioConditionBits, flags);
  });
}

}  // namespace

extern "C" {

int QORA_RIO_GetInputValue(uint16_t port, uint16_t slave, uint16_t word, uint16_t* value,
                           uint16_t card) {
  if (port >= kPorts || slave >= kSlaves || word >= kWords || value == nullptr) {
    return QORA_REFUSED;
  }
  return withCard(card, [&](Chip& c) { *value = c.read(r::rioWord(port, slave, word)); });
}

int QORA_RIO_SetOutputValue(uint16_t port, uint16_t slave, uint16_t word, uint32_t value,
                            uint16_t card) {
  if (port >= kPorts || slave >= kSlaves || word >= kWords) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { c.write(r::rioWord(port, slave, word), value); });
}

int QORA_RIO_GetSlaveFail(uint16_t port, uint16_t* value, uint16_t card) {
  return statusField(port, r::kRioSlaveFail, value, card);
}
int QORA_RIO_GetMasterStatus(uint16_t port, uint16_t* value, uint16_t card) {
  return statusField(port, r::Field{r::kRioMasterStatusBit, 1}, value, card);
}
int QORA_RIO_GetSlaveStatus(uint16_t port, uint16_t* value, uint16_t card) {
  return statusField(port, r::Field{r::kRioSlaveStatusBit, 1}, value, card);
}
int QORA_RIO_GetTransStatus(uint16_t port, uint16_t* value, uint16_t card) {
  return statusField(port, r::Field{r::kRioTransStatusBit, 1}, value, card);
}

int QORA_RIO_SetClockDivider(uint16_t port, uint8_t divider, uint16_t card) {
  if (port >= kPorts) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlA, card,
      [](std::uint16_t s, unsigned v) { return r::kRioClockDivider.set(s, v); }, divider);
}

int QORA_RIO_SetIntType(uint16_t port, uint16_t slave, uint16_t word, uint16_t type,
                        uint16_t card) {
  if (port >= kPorts || slave >= kSlaves || word >= kWords || type > 2) return QORA_REFUSED;
  const unsigned which = typeRegister(slave);
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().rioControl[port][which];
    s = typeField(slave, word).set(s, type + 1u);
    writeControl(c, port, which);
  });
}

int QORA_RIO_EnableInputInt(uint16_t port, uint16_t slave, uint16_t word, uint16_t card) {
  return inputInt(port, slave, word, true, card);
}
int QORA_RIO_DisableInputInt(uint16_t port, uint16_t slave, uint16_t word, uint16_t card) {
  return inputInt(port, slave, word, false, card);
}

int QORA_RIO_EnableSlaveControl(uint16_t port, uint16_t slave, uint16_t card) {
  if (port >= kPorts || slave >= kSlaves) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlB, card,
      [](std::uint16_t s, unsigned b) { return r::setBit(s, r::kRioSlaveControlBit + b, true); },
      slave);
}
int QORA_RIO_DisableSlaveControl(uint16_t port, uint16_t slave, uint16_t card) {
  if (port >= kPorts || slave >= kSlaves) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlB, card,
      [](std::uint16_t s, unsigned b) { return r::setBit(s, r::kRioSlaveControlBit + b, false); },
      slave);
}

int QORA_RIO_EnableSetControl(uint16_t port, uint16_t card) {
  if (port >= kPorts) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlB, card,
      [](std::uint16_t s, unsigned) { return r::setBit(s, r::kRioSetControlBit, true); }, 0);
}
int QORA_RIO_DisableSetControl(uint16_t port, uint16_t card) {
  if (port >= kPorts) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlB, card,
      [](std::uint16_t s, unsigned) { return r::setBit(s, r::kRioSetControlBit, false); }, 0);
}

int QORA_RIO_SetTransError(uint16_t port, uint16_t value, uint16_t card) {
  if (port >= kPorts || value > 15) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlB, card,
      [](std::uint16_t s, unsigned v) { return r::kRioTransError.set(s, v); }, value);
}

int QORA_RIO_EnableTransInt(uint16_t port, uint16_t card) {
  if (port >= kPorts) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlC, card,
      [](std::uint16_t s, unsigned) { return r::setBit(s, r::kRioTransIntBit, true); }, 0);
}
int QORA_RIO_DisableTransInt(uint16_t port, uint16_t card) {
  if (port >= kPorts) return QORA_REFUSED;
  return controlChange(
      port, r::kRioCtlC, card,
      [](std::uint16_t s, unsigned) { return r::setBit(s, r::kRioTransIntBit, false); }, 0);
}

int QORA_RIO0_GetIntCondition(uint8_t* flags, uint16_t card) {
  return condition(0, flags, card);
}
int QORA_RIO1_GetIntCondition(uint8_t* flags, uint16_t card) {
  return condition(1, flags, card);
}

}  // extern "C"
