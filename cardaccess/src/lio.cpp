// Local I/O: limit, home and emergency-stop inputs, servo and position-ready
// outputs, input interrupt types, timer and watchdog. The only module whose
// signal layout depends on the chip model.
#include "cardaccess/src/card.h"
#include "platform/chip/regs.h"

using namespace qora;
namespace r = chip::reg;

namespace {

constexpr std::uint16_t kAxes = 6;
constexpr std::uint16_t kLdiIntInputs = 8;
constexpr std::uint16_t kDfiIntInputs = 7;
constexpr std::uint16_t kIntTypes = 3;
constexpr std::uint32_t kMax24Bit = 0xFFFFFF;

const r::LioLayout& layout(const Chip& c) {
  return c.model() == QORA_MODEL_310 ? r::kLayout310 : r::kLayout210;
}

std::uint32_t readLdi(Chip& c, std::uint32_t highMask) {
  const std::uint32_t low = c.read(r::kLdiLow);
  const std::uint32_t high = c.read(r::kLdiHigh) & highMask;
  return (high << 16) | low;
}

std::uint32_t readDfi(Chip& c, std::uint32_t highMask) {
  const std::uint32_t low = c.read(r::kDfiLow);
  const std::uint32_t high = c.read(r::kDfiHigh) & highMask;
  return (high << 16) | low;
}

void writeLdo(Chip& c, std::uint32_t value, std::uint32_t highMask) {
  c.write(r::kLdoLow, value & 0xFFFFu);
  c.write(r::kLdoHigh, (value >> 16) & highMask);
}

void writeControlBit(Chip& c, unsigned bitNo, bool on) {
  auto& s = c.shadow().lioControl;
  s = r::setBit(s, bitNo, on);
  c.write(r::kLioControl, s);
}

// Sets or clears one bit of the signal output word, writes the whole word and
// enables the output groups that carry the signals.
void writeSignal(Chip& c, unsigned bitNo, bool on, bool bothGroups) {
  auto& s = c.shadow().signalOutputs;
  s = on ? (s | (1u << bitNo)) : (s & ~(1u << bitNo));
  writeLdo(c, s, r::kLdoHighMask);
  if (bothGroups) writeControlBit(c, r::kLdoServoGroupA, true);
  writeControlBit(c, r::kLdoServoGroupB, true);
}

int servoBit(std::uint16_t axis, bool off, std::uint16_t card) {
  if (axis >= kAxes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { writeSignal(c, r::kLdoServoOffBase + axis, off, true); });
}

void writeLdiTypes(Chip& c) {
  const auto& s = c.shadow();
  c.write(r::kLdiIntType, s.ldiIntType & s.ldiIntMask);
}

// The timer interrupt enable (bit 14) lives in the DFI type shadow and has no
// mask bit; it is carried through every DFI write so that changing an input's
// type or enable never switches the timer interrupt off.
void writeDfiTypes(Chip& c) {
  const auto& s = c.shadow();
  const std::uint32_t timer = s.dfiIntType & (1u << r::kDfiTimerIntBit);
  c.write(r::kDfiIntType, (s.dfiIntType & s.dfiIntMask) | timer);
}

r::Field typeField(unsigned input) {
  return r::Field{2 * input, 2};
}

int ldoGroup(std::uint16_t group, std::uint16_t maxGroup, bool on, std::uint16_t card) {
  if (group > maxGroup) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { writeControlBit(c, group, on); });
}

int overTravel(std::uint16_t axis, bool down, std::uint16_t* state, std::uint16_t card) {
  if (state == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    const auto& l = layout(c);
    if (axis >= l.overTravelAxes) return false;
    const unsigned bitNo = down ? l.overTravelDownBase + axis : axis;
    *state = r::bit(readLdi(c, r::kLdiHighMask), bitNo) ? 1 : 0;
    return true;
  });
}

int dfiBit(unsigned bitNo, std::uint16_t* state, std::uint16_t card) {
  if (state == nullptr) return QORA_REFUSED;
  return withCard(card,
                  [&](Chip& c) { *state = r::bit(readDfi(c, r::kDfiHighMask), bitNo) ? 1 : 0; });
}

}  // namespace

extern "C" {

// ---- inputs

int QORA_LIO_GetLDIInput(uint32_t* value, uint16_t card) {
  if (value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *value = readLdi(c, r::kLdiHighMask); });
}

int QORA_LIO_GetDFIInput(uint32_t* value, uint16_t card) {
  if (value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *value = readDfi(c, r::kDfiHighMask); });
}

int QORA_LIO_GetOverTravelUp(uint16_t axis, uint16_t* state, uint16_t card) {
  return overTravel(axis, false, state, card);
}

int QORA_LIO_GetOverTravelDown(uint16_t axis, uint16_t* state, uint16_t card) {
  return overTravel(axis, true, state, card);
}

int QORA_LIO_GetHomeSensor(uint16_t axis, uint16_t* state, uint16_t card) {
  if (axis >= kAxes || state == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    if (axis < 4) {
      *state = r::bit(readLdi(c, r::kLdiHighMask), layout(c).homeBase + axis) ? 1 : 0;
    } else {
      *state = r::bit(readDfi(c, r::kDfiHighMask), r::kDfiHomeBase + axis) ? 1 : 0;
    }
  });
}

int QORA_LIO_GetEmgcStopStatus(uint16_t* state, uint16_t card) {
  return dfiBit(r::kDfiEmgcStopBit, state, card);
}

int QORA_LIO_Get24VSensor(uint16_t* state, uint16_t card) {
  return dfiBit(r::kDfi24VBit, state, card);
}

int QORA_LIO_GetIntCondition(uint8_t* flags, uint16_t card) {
  if (flags == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    splitFlags(c.read(r::kLioIntCondition), 0, r::kLioConditionBits, flags);
  });
}

// ---- outputs

int QORA_LIO_SetLDOOutput(uint32_t value, uint16_t card) {
  return withCard(card, [&](Chip& c) { writeLdo(c, value, r::kLdoHighMask); });
}

int QORA_LIO_EnableLDOOutput(uint16_t group, uint16_t card) {
  return ldoGroup(group, 6, true, card);
}
int QORA_LIO_DisableLDOOutput(uint16_t group, uint16_t card) {
  return ldoGroup(group, 6, false, card);
}

int QORA_LIO_ServoOn(uint16_t axis, uint16_t card) {
  return servoBit(axis, false, card);
}
int QORA_LIO_ServoOff(uint16_t axis, uint16_t card) {
  return servoBit(axis, true, card);
}
int QORA_LIO_EnableInhibit(uint16_t axis, uint16_t card) {
  return servoBit(axis, true, card);
}
int QORA_LIO_DisableInhibit(uint16_t axis, uint16_t card) {
  return servoBit(axis, false, card);
}

int QORA_LIO_EnablePrdy(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeSignal(c, layout(c).prdyBit, false, false); });
}
int QORA_LIO_DisablePrdy(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeSignal(c, layout(c).prdyBit, true, false); });
}
int QORA_LIO_EnablePulseDAC(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeSignal(c, r::kLdoPulseDacBit, false, false); });
}
int QORA_LIO_DisablePulseDAC(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeSignal(c, r::kLdoPulseDacBit, true, false); });
}

// ---- input interrupts

int QORA_LIO_SetLDIIntType(uint16_t input, uint16_t type, uint16_t card) {
  if (input >= kLdiIntInputs || type >= kIntTypes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().ldiIntType;
    s = typeField(input).set(s, type + 1u);
    writeLdiTypes(c);
  });
}

int QORA_LIO_EnableLDIInt(uint16_t input, uint16_t card) {
  if (input >= kLdiIntInputs) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& m = c.shadow().ldiIntMask;
    m = typeField(input).set(m, 3);
    writeLdiTypes(c);
  });
}

int QORA_LIO_DisableLDIInt(uint16_t input, uint16_t card) {
  if (input >= kLdiIntInputs) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& m = c.shadow().ldiIntMask;
    m = typeField(input).set(m, 0);
    writeLdiTypes(c);
  });
}

int QORA_LIO_SetDFIIntType(uint16_t input, uint16_t type, uint16_t card) {
  if (input >= kDfiIntInputs || type >= kIntTypes) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().dfiIntType;
    s = typeField(input).set(s, type + 1u);
    writeDfiTypes(c);
  });
}

int QORA_LIO_EnableDFIInt(uint16_t input, uint16_t card) {
  if (input >= kDfiIntInputs) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& m = c.shadow().dfiIntMask;
    m = typeField(input).set(m, 3);
    writeDfiTypes(c);
  });
}

int QORA_LIO_DisableDFIInt(uint16_t input, uint16_t card) {
  if (input >= kDfiIntInputs) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    auto& m = c.shadow().dfiIntMask;
    m = typeField(input).set(m, 0);
    writeDfiTypes(c);
  });
}

// ---- timer and watchdog

int QORA_LIO_SetTimer(uint32_t value, uint16_t card) {
  if (value > kMax24Bit) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::kLioTimerLow, value & 0xFFFFu);
    c.write(r::kLioTimerHigh, value >> 16);
  });
}

int QORA_LIO_EnableTimer(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeControlBit(c, r::kLioCtlTimerBit, true); });
}
int QORA_LIO_DisableTimer(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeControlBit(c, r::kLioCtlTimerBit, false); });
}

int QORA_LIO_EnableTimerInt(uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().dfiIntType;
    s = r::setBit(s, r::kDfiTimerIntBit, true);
    writeDfiTypes(c);
  });
}

int QORA_LIO_DisableTimerInt(uint16_t card) {
  return withCard(card, [&](Chip& c) {
    auto& s = c.shadow().dfiIntType;
    s = r::setBit(s, r::kDfiTimerIntBit, false);
    writeDfiTypes(c);
  });
}

int QORA_LIO_SetWDogTimer(uint32_t value, uint16_t card) {
  return withCard(card, [&](Chip& c) { c.write(r::kLioWDogTimer, value); });
}

int QORA_LIO_SetWDogReset(uint32_t value, uint16_t card) {
  if (value > kMax24Bit) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) {
    c.write(r::kLioWDogResetLow, value & 0xFFFFu);
    c.write(r::kLioWDogResetHigh, value >> 16);
  });
}

int QORA_LIO_EnableWDogTimer(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeControlBit(c, r::kLioCtlWDogBit, true); });
}
int QORA_LIO_DisableWDogTimer(uint16_t card) {
  return withCard(card, [&](Chip& c) { writeControlBit(c, r::kLioCtlWDogBit, false); });
}

int QORA_LIO_RefreshWDogTimer(uint16_t card) {
  return withCard(card, [&](Chip& c) { c.write(r::kLioWDogRefresh, 0); });
}

// ---- extension board: full register widths

int RELM_LIO_GetLDIInput(uint32_t* value, uint16_t card) {
  if (value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *value = readLdi(c, 0xFFFFu); });
}

int RELM_LIO_GetDFIInput(uint32_t* value, uint16_t card) {
  if (value == nullptr) return QORA_REFUSED;
  return withCard(card, [&](Chip& c) { *value = readDfi(c, 0xFFFFu); });
}

int RELM_LIO_SetLDOOutput(uint32_t value, uint16_t card) {
  return withCard(card, [&](Chip& c) { writeLdo(c, value, 0xFFFFu); });
}

int RELM_LIO_EnableLDOOutput(uint16_t group, uint16_t card) {
  return ldoGroup(group, 7, true, card);
}
int RELM_LIO_DisableLDOOutput(uint16_t group, uint16_t card) {
  return ldoGroup(group, 7, false, card);
}

}  // extern "C"
