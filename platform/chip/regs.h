// The motion chip's register map, shared by the card-access library and the
// virtual card so the two cannot drift apart: offsets of address space 2 (and the
// bridge register of space 1) and the bit fields inside them.
#pragma once

#include <cstdint>

namespace chip::reg {

// A bit field of a 16-bit register word.
struct Field {
  unsigned shift;
  unsigned width;
  constexpr std::uint32_t mask() const { return ((1u << width) - 1u) << shift; }
  constexpr std::uint32_t get(std::uint32_t word) const { return (word & mask()) >> shift; }
  constexpr std::uint16_t set(std::uint32_t word, std::uint32_t value) const {
    return static_cast<std::uint16_t>((word & ~mask()) | ((value << shift) & mask()));
  }
};
constexpr std::uint16_t setBit(std::uint32_t word, unsigned bit, bool on) {
  return static_cast<std::uint16_t>(on ? (word | (1u << bit)) : (word & ~(1u << bit)));
}
constexpr bool bit(std::uint32_t word, unsigned b) {
  return ((word >> b) & 1u) != 0;
}

// ---- bridge (space 1)
inline constexpr std::uint32_t kBridgeIntCsr = 0x4C;
inline constexpr std::uint8_t kBridgeLocalIntEnable = 0x01;
inline constexpr std::uint8_t kBridgePciIntEnable = 0x40;

// ---- frame
inline constexpr std::uint32_t kIntSource = 0x00;
inline constexpr std::uint32_t kModuleReset = 0x00;
inline constexpr std::uint32_t kIrqSelect = 0x04;
inline constexpr std::uint32_t kIntOutputControl = 0x06;
inline constexpr std::uint32_t kIntAck = 0x08;
inline constexpr Field kIrqSelectLine{9, 7};
inline constexpr Field kIrqSelectLow{0, 8};
inline constexpr std::uint16_t kIntOutputControlInit = 3;
inline constexpr unsigned kIntSourceBits = 9;

// ---- pulse engine
constexpr std::uint32_t ddaFifo(unsigned axis) {
  return 0x20 + 2 * axis;
}
inline constexpr std::uint32_t kDdaFifoFlags = 0x2C;
constexpr std::uint32_t ddaOutputConfig(unsigned axis) {
  return 0x2C + 2 * axis;
}
constexpr std::uint32_t ddaStock(unsigned axis) {
  return 0x2E + 2 * (axis / 2);
}
constexpr Field ddaStockField(unsigned axis) {
  return Field{(axis % 2) * 8u, 7};
}
inline constexpr std::uint32_t kDdaIntCondition = 0x34;
inline constexpr std::uint32_t kDdaShiftOut = 0x36;
inline constexpr std::uint32_t kDdaControl = 0x38;
inline constexpr std::uint32_t kDdaTiming = 0x3A;
inline constexpr std::uint32_t kDdaMinStock = 0x3C;
constexpr std::uint32_t ddaErase(unsigned axis) {
  return 0x1A0 + 2 * axis;
}
constexpr std::uint32_t ddaPulseCounterLow(unsigned axis) {
  return 0x1A0 + 4 * axis;
}
constexpr std::uint32_t ddaPulseCounterHigh(unsigned axis) {
  return 0x1A2 + 4 * axis;
}
constexpr std::uint32_t ddaPulseDivider(unsigned axis) {
  return 0x1AC + 2 * axis;
}
inline constexpr std::uint32_t kDdaClearStrobes = 0x1B8;
inline constexpr std::uint32_t kDdaPulseCounterEnable = 0x1BA;
inline constexpr std::uint32_t kDdaCounterPrepare = 0x1BE;
inline constexpr std::uint16_t kDdaCounterPrepareValue = 13;
inline constexpr unsigned kDdaFifoEmptyBit = 0;     // + axis
inline constexpr unsigned kDdaFifoFullBit = 8;      // + axis
inline constexpr unsigned kDdaClearCounterBit = 0;  // + axis
inline constexpr unsigned kDdaClearDividerBit = 8;  // + axis
inline constexpr Field kDdaOutWidth{0, 11};
inline constexpr Field kDdaOutFormat{11, 2};
inline constexpr unsigned kDdaOutABSwapBit = 13;
inline constexpr unsigned kDdaOutBInverseBit = 14;
inline constexpr unsigned kDdaOutAInverseBit = 15;
inline constexpr unsigned kDdaCtlChannelBit = 0;  // + axis
inline constexpr unsigned kDdaCtlEmgcStopBit = 6;
inline constexpr unsigned kDdaCtlRunBit = 7;
inline constexpr unsigned kDdaCtlStockIntBit = 8;  // + axis
inline constexpr unsigned kDdaCtlCycleIntBit = 14;
inline constexpr Field kDdaTimingDivider{0, 12};
inline constexpr Field kDdaTimingBitLength{12, 4};
inline constexpr unsigned kDdaConditionBits = 7;

// ---- encoder
constexpr std::uint32_t encBase(unsigned ch) {
  return 0x40 + 0x20 * (ch / 3) + 8 * (ch % 3);
}
constexpr std::uint32_t encCounterLow(unsigned ch) {
  return encBase(ch) + 0;
}
constexpr std::uint32_t encCounterHigh(unsigned ch) {
  return encBase(ch) + 2;
}
constexpr std::uint32_t encCompLow(unsigned ch) {
  return encBase(ch) + 0;
}
constexpr std::uint32_t encCompHigh(unsigned ch) {
  return encBase(ch) + 2;
}
constexpr std::uint32_t encLatchLow(unsigned ch) {
  return encBase(ch) + 4;
}
constexpr std::uint32_t encLatchHigh(unsigned ch) {
  return encBase(ch) + 6;
}
constexpr std::uint32_t encConfig(unsigned ch) {
  return encBase(ch) + 4;
}
constexpr std::uint32_t encTrigger(unsigned ch) {
  return encBase(ch) + 6;
}
constexpr std::uint32_t encGroup(unsigned group) {
  return 0x58 + 0x20 * group;
}
inline constexpr std::uint32_t kEncControl = 0x5A;
inline constexpr std::uint32_t kEncClear = 0x5C;
inline constexpr unsigned kEncCfgCInverseBit = 0;
inline constexpr unsigned kEncCfgABSwapBit = 1;
inline constexpr unsigned kEncCfgBInverseBit = 2;
inline constexpr unsigned kEncCfgAInverseBit = 3;
inline constexpr Field kEncCfgType{4, 2};
inline constexpr Field kEncCfgRate{6, 2};
inline constexpr unsigned kEncTrigModeBit = 15;
inline constexpr Field kEncTrigSource{0, 15};
inline constexpr unsigned kEncGroupIndexBit = 0;     // + position (read)
inline constexpr unsigned kEncGroupCompIntBit = 0;   // + position (write)
inline constexpr unsigned kEncGroupIndexIntBit = 3;  // + position (write)
inline constexpr unsigned kEncConditionFirstBit = 3;
inline constexpr unsigned kEncConditionBits = 6;
inline constexpr Field kEncFilterClock{0, 8};
inline constexpr unsigned kEncStartBit = 15;

// ---- local I/O
inline constexpr std::uint32_t kLdiLow = 0x100;
inline constexpr std::uint32_t kLdiHigh = 0x102;
inline constexpr std::uint32_t kLdoLow = 0x100;
inline constexpr std::uint32_t kLdoHigh = 0x102;
inline constexpr std::uint32_t kDfiLow = 0x104;
inline constexpr std::uint32_t kDfiHigh = 0x106;
inline constexpr std::uint32_t kLioControl = 0x104;
inline constexpr std::uint32_t kLdiIntType = 0x106;
inline constexpr std::uint32_t kDfiIntType = 0x108;
inline constexpr std::uint32_t kLioIntCondition = 0x108;
inline constexpr std::uint32_t kLioTimerLow = 0x10A;
inline constexpr std::uint32_t kLioTimerHigh = 0x10C;
inline constexpr std::uint32_t kLioWDogResetLow = 0x10E;
inline constexpr std::uint32_t kLioWDogResetHigh = 0x110;
inline constexpr std::uint32_t kLioWDogTimer = 0x112;
inline constexpr std::uint32_t kLioWDogRefresh = 0x114;
inline constexpr std::uint32_t kLdiHighMask = 0x0FFF;  // LDI bits 16..27
inline constexpr std::uint32_t kDfiHighMask = 0x000F;  // DFI bits 16..19
inline constexpr std::uint32_t kLdoHighMask = 0x0FFF;  // LDO bits 16..27
inline constexpr unsigned kLioCtlTimerBit = 8;
inline constexpr unsigned kLioCtlWDogBit = 9;
inline constexpr unsigned kDfiTimerIntBit = 14;
inline constexpr unsigned kLioConditionBits = 16;
// signal layout
inline constexpr unsigned kDfiHomeBase = 5;  // home of axes 4, 5: DFI bit 5 + axis
inline constexpr unsigned kDfiEmgcStopBit = 11;
inline constexpr unsigned kDfi24VBit = 17;
inline constexpr unsigned kLdoServoOffBase = 16;  // + axis
inline constexpr unsigned kLdoPulseDacBit = 23;
inline constexpr unsigned kLdoServoGroupA = 4;
inline constexpr unsigned kLdoServoGroupB = 5;
struct LioLayout {
  unsigned overTravelAxes;  // axes with over-travel inputs
  unsigned overTravelDownBase;
  unsigned homeBase;  // home of axes 0..3: LDI bit homeBase + axis
  unsigned prdyBit;   // LDO position ready (0 = ready)
};
inline constexpr LioLayout kLayout210{4, 4, 8, 20};
inline constexpr LioLayout kLayout310{6, 6, 12, 22};

// ---- closed loop
constexpr std::uint32_t pclScaleGain(unsigned axis) {
  return 0x120 + 2 * axis;
}
constexpr std::uint32_t pclErrorCounter(unsigned axis) {
  return 0x120 + 2 * axis;
}
inline constexpr std::uint32_t kPclOverflowEnable = 0x12C;
inline constexpr std::uint32_t kPclIntCondition = 0x12C;
inline constexpr std::uint32_t kPclControl = 0x12E;
inline constexpr std::uint32_t kPclCounterPrepare = 0x13E;
inline constexpr std::uint16_t kPclCounterPrepareValue = 9;
inline constexpr Field kPclGain{0, 7};
inline constexpr Field kPclShift{8, 4};
inline constexpr std::uint16_t kPclGainKeepMask = 0xF000;
inline constexpr unsigned kPclCtlCounterEnableBit = 0;  // + axis
inline constexpr unsigned kPclCtlClearBit = 8;          // + axis
inline constexpr unsigned kPclCtlRunBit = 15;
inline constexpr unsigned kPclConditionBits = 6;

// ---- DAC
constexpr std::uint32_t dacBase(unsigned ch) {
  return 0x140 + 0x20 * (ch / 3) + 8 * (ch % 3);
}
constexpr std::uint32_t dacOutput(unsigned ch) {
  return dacBase(ch) + 0;
}
constexpr std::uint32_t dacTrigOutput(unsigned ch) {
  return dacBase(ch) + 2;
}
constexpr std::uint32_t dacTrigSourceLow(unsigned ch) {
  return dacBase(ch) + 4;
}
constexpr std::uint32_t dacTrigSourceHigh(unsigned ch) {
  return dacBase(ch) + 6;
}
inline constexpr std::uint32_t kDacControl = 0x158;
inline constexpr std::uint32_t kDacMode = 0x15A;
inline constexpr Field kDacClockDivider{0, 8};
inline constexpr unsigned kDacRunBit = 15;
inline constexpr unsigned kDacTrigModeBit = 0;   // + channel
inline constexpr unsigned kDacCmdSourceBit = 8;  // + channel

// ---- ADC
constexpr std::uint32_t adcResult(unsigned ch) {
  return 0xE0 + 2 * ch;
}
constexpr std::uint32_t adcComparator(unsigned ch) {
  return 0xE0 + 2 * ch;
}
inline constexpr std::uint32_t kAdcStatus = 0xF0;
inline constexpr std::uint32_t kAdcIntEnable = 0xF0;
inline constexpr std::uint32_t kAdcClockDivider = 0xF2;
inline constexpr std::uint32_t kAdcConversion = 0xF4;
inline constexpr std::uint32_t kAdcControl = 0xF6;
inline constexpr Field kAdcResult{0, 12};
inline constexpr Field kAdcCompValue{0, 12};
inline constexpr Field kAdcCompType{12, 4};
inline constexpr unsigned kAdcWorkStatusBit = 10;
inline constexpr unsigned kAdcConditionBits = 10;
inline constexpr unsigned kAdcConvIntBit = 0;
inline constexpr unsigned kAdcTagIntBit = 1;
inline constexpr unsigned kAdcConvEnableBit = 0;  // + channel
inline constexpr unsigned kAdcConvTypeBit = 8;    // + channel
inline constexpr Field kAdcSingleChannel{0, 4};
inline constexpr Field kAdcTagChannel{4, 4};
inline constexpr unsigned kAdcRunBit = 8;
inline constexpr unsigned kAdcConvModeBit = 9;
inline constexpr Field kAdcCompMask{10, 2};

// ---- remote I/O
constexpr std::uint32_t rioBase(unsigned port) {
  return 0xA0 + 0x20 * port;
}
constexpr std::uint32_t rioWord(unsigned port, unsigned slave, unsigned word) {
  return rioBase(port) + 8 * slave + 2 * word;
}
constexpr std::uint32_t rioStatus(unsigned port) {
  return rioBase(port) + 0x18;
}
constexpr std::uint32_t rioCondition(unsigned port) {
  return rioBase(port) + 0x1A;
}
// control registers A, B, C: index 0, 1, 2
constexpr std::uint32_t rioControl(unsigned port, unsigned which) {
  return rioBase(port) + 0x18 + 2 * which;
}
inline constexpr unsigned kRioCtlA = 0;
inline constexpr unsigned kRioCtlB = 1;
inline constexpr unsigned kRioCtlC = 2;
inline constexpr Field kRioSlaveFail{0, 2};
inline constexpr unsigned kRioMasterStatusBit = 2;
inline constexpr unsigned kRioSlaveStatusBit = 3;
inline constexpr unsigned kRioTransStatusBit = 4;
inline constexpr Field kRioClockDivider{0, 8};      // control A
inline constexpr unsigned kRioSlaveControlBit = 0;  // + slave, control B
inline constexpr unsigned kRioSetControlBit = 3;    // control B
inline constexpr Field kRioTransError{4, 4};        // control B
inline constexpr unsigned kRioTransIntBit = 8;      // control C
inline constexpr unsigned kRioConditionBits = 13;

// ---- condition bits and event sources as the chip defines them (the
// library only hands the condition bits on as flags)
inline constexpr unsigned kDdaCondStockBit = 0;     // + axis: stock fell below the minimum
inline constexpr unsigned kDdaCondCycleBit = 6;     // a DDA cycle ran
inline constexpr unsigned kEncCondCompBit = 3;      // + position: compare value passed
inline constexpr unsigned kEncCondLatchBit = 6;     // + position: counter latched
inline constexpr unsigned kEncTrigIndexBase = 0;    // latch source: index of channel 0..8
inline constexpr unsigned kEncTrigHomeBase = 9;     // latch source: home sensor of axis 0..5
inline constexpr unsigned kLioCondLdiBase = 0;      // + LDI input 0..7
inline constexpr unsigned kLioCondDfiBase = 8;      // + DFI input 0..6
inline constexpr unsigned kLioCondTimeOutBit = 15;  // timer or watchdog ran out
inline constexpr unsigned kAdcCondCompBase = 2;     // + channel: comparator fired
inline constexpr unsigned kRioCondTransBit =
    12;  // failed transfer; input words at 4 x slave + word
inline constexpr unsigned kDacTrigIndexBase = 0;  // + encoder channel 0..8
inline constexpr unsigned kDacTrigCompBase = 9;   // + encoder channel 0..8
inline constexpr unsigned kDacTrigHomeBase = 18;  // + axis 0..5
inline constexpr unsigned kDacTrigAdcBase = 24;   // + ADC channel 0..7

}  // namespace chip::reg
