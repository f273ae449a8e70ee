// The frame of the virtual chip: dispatch of register accesses by offset to
// the modules, the interrupt source register, module resets and the DDA cycle
// that ties the pulse engine, the closed loop and the plant together.
//
// Choices where the card leaves the meaning open:
// - Module reset numbers follow the interrupt source order: 1 pulse engine,
//   2..4 encoder groups ENC012, ENC345, ENC678, 5 and 6 remote I/O ports 0
//   and 1, 7 ADC, 8 local I/O, 9 closed loop and DAC, 10 (0x0200) the whole
//   chip including the frame registers. A reset acts on the write that sets
//   its bit; the write of 0 that follows does nothing. No reset moves the
//   plant: axis positions stay, and encoders restart counting from there.
// - The IRQ select, interrupt output control and acknowledge registers are
//   stored and readable through the accessors; they change nothing else.
//   Write-only registers read 0.
// - Each condition register clears when read; a module's source bit is set
//   while any of its conditions is pending.
// - Closed-loop axes are integrated in steps of at most 100 us within each
//   DDA cycle, so the loop behaves the same at any cycle length.
#include "platform/vcard/chip.h"

#include <algorithm>
#include <optional>

#include "platform/chip/regs.h"
#include "platform/vcard/analog_module.h"
#include "platform/vcard/dda_module.h"
#include "platform/vcard/encoder_module.h"
#include "platform/vcard/lio_module.h"
#include "platform/vcard/rio_module.h"

namespace vcard {

namespace r = chip::reg;

namespace {
constexpr unsigned kSrcDda = 0, kSrcEnc = 1, kSrcRio = 4, kSrcAdc = 6, kSrcLio = 7, kSrcPcl = 8;
constexpr unsigned kChipResetBit = 9;
constexpr std::int64_t kLoopStepNs = 100000;
constexpr std::int64_t kMaxLoopSteps = 4096;
}  // namespace

struct Chip::Impl {
  explicit Impl(ChipModel m)
      : model(m), plant(lioLayout(m)), enc(plant), lio(plant, lioLayout(m)), rio(plant) {}

  ChipModel model;
  Plant plant;
  DdaModule dda;
  EncoderModule enc;
  LioModule lio;
  PclModule pcl;
  DacModule dac;
  AdcModule adc;
  RioModule rio;
  std::uint16_t irqSelect = 0;
  std::uint16_t outputControl = 0;
  std::uint16_t ack = 0;
  std::optional<std::chrono::nanoseconds> now;
  std::uint64_t unmapped = 0;
  // The modules have taken in the plant and nothing they or the plant hold
  // has changed since: a sync would change nothing. Register accesses come
  // by the hundred per cycle, and most of them (the pulse engine's) change
  // nothing a sync reads.
  bool inSync = false;

  void syncIfChanged() {
    if (!inSync) sync();
  }

  // Brings encoders, closed loop, inputs and analog outputs up to the plant.
  void sync() {
    EncoderModule::Events ev;
    enc.sync(ev);
    for (unsigned a = 0; a < PclModule::kAxes; ++a)
      pcl.feedback(a, ev.counted[a]);
    lio.sync();
    dac.trigger((ev.index << r::kDacTrigIndexBase) | (ev.compare << r::kDacTrigCompBase) |
                (ev.home << r::kDacTrigHomeBase));
    dac.update(plant, pcl);
    inSync = true;
  }

  void reset(std::uint16_t bits) {
    if (r::bit(bits, kChipResetBit)) bits = 0x1FF;
    if (bits == 0) return;
    syncIfChanged();
    if (r::bit(bits, 0)) dda.reset();
    for (unsigned g = 0; g < EncoderModule::kGroups; ++g) {
      if (r::bit(bits, 1 + g)) enc.resetGroup(g);
    }
    for (unsigned p = 0; p < RioModule::kPorts; ++p) {
      if (r::bit(bits, 4 + p)) rio.resetPort(p);
    }
    if (r::bit(bits, 6)) adc.reset();
    if (r::bit(bits, 7)) lio.reset();
    if (r::bit(bits, 8)) {
      pcl.reset();
      dac.reset();
      for (unsigned c = 0; c < DacModule::kChannels; ++c)
        plant.setDacVolts(c, 0.0);
    }
    if (bits == 0x1FF) irqSelect = outputControl = ack = 0;
  }

  std::uint16_t sources() const {
    std::uint16_t s = 0;
    s = r::setBit(s, kSrcDda, dda.pending() != 0);
    for (unsigned g = 0; g < EncoderModule::kGroups; ++g) {
      s = r::setBit(s, kSrcEnc + g, enc.pending(g) != 0);
    }
    for (unsigned p = 0; p < RioModule::kPorts; ++p) {
      s = r::setBit(s, kSrcRio + p, rio.pending(p) != 0);
    }
    s = r::setBit(s, kSrcAdc, adc.pending() != 0);
    s = r::setBit(s, kSrcLio, lio.pending() != 0);
    s = r::setBit(s, kSrcPcl, pcl.pending() != 0);
    return s;
  }

  static bool pureRead(std::uint32_t offset) {
    if (offset == r::kLdiLow || offset == r::kLdiHigh || offset == r::kDfiLow ||
        offset == r::kDfiHigh)
      return true;
    if (offset >= r::pclErrorCounter(0) && offset < r::pclErrorCounter(PclModule::kAxes))
      return true;
    for (unsigned ch = 0; ch < EncoderModule::kChannels; ++ch)
      if (offset >= r::encCounterLow(ch) && offset <= r::encLatchHigh(ch)) return true;
    return false;
  }

  std::uint16_t read(std::uint32_t offset) {
    if ((offset & 1u) != 0) {
      ++unmapped;
      return 0;
    }
    // The pulse engine does not look at the plant: its accesses (the most
    // frequent ones) skip bringing the other modules up to date.
    if (dda.owns(offset)) return dda.read(offset);
    syncIfChanged();
    // Reading a condition register clears it; the value registers the cycle
    // reads (counters, latches, input words, error counters) change nothing.
    if (!pureRead(offset)) inSync = false;
    if (offset == r::kIntSource) return sources();
    if (offset < 0x20) return 0;
    if (enc.owns(offset)) return enc.read(offset);
    if (rio.owns(offset)) return rio.read(offset);
    if (adc.owns(offset)) return adc.read(offset);
    if (lio.owns(offset)) return lio.read(offset);
    if (pcl.owns(offset)) return pcl.read(offset);
    if (dac.owns(offset)) return 0;
    ++unmapped;
    return 0;
  }

  void write(std::uint32_t offset, std::uint16_t value) {
    if ((offset & 1u) != 0) {
      ++unmapped;
      return;
    }
    if (dda.owns(offset)) {
      dda.write(offset, value);
      return;
    }
    syncIfChanged();
    inSync = false;
    switch (offset) {
      case r::kModuleReset:
        reset(value);
        return;
      case r::kIrqSelect:
        irqSelect = value;
        return;
      case r::kIntOutputControl:
        outputControl = value;
        return;
      case r::kIntAck:
        ack = value;
        return;
      default:
        break;
    }
    if (offset < 0x20) {
      ++unmapped;
    } else if (enc.owns(offset)) {
      enc.write(offset, value);
    } else if (rio.owns(offset)) {
      rio.write(offset, value);
    } else if (adc.owns(offset)) {
      adc.write(offset, value);
    } else if (lio.owns(offset)) {
      lio.write(offset, value);
    } else if (pcl.owns(offset)) {
      pcl.write(offset, value);
      dac.update(plant, pcl);
    } else if (dac.owns(offset)) {
      dac.write(offset, value);
      dac.update(plant, pcl);
    } else {
      ++unmapped;
    }
  }

  void runCycle() {
    syncIfChanged();
    std::array<std::int32_t, DdaModule::kAxes> out{};
    dda.cycle(r::bit(plant.dfiWord(), r::kDfiEmgcStopBit), out);
    std::array<bool, DdaModule::kAxes> loop{};
    bool anyLoop = false;
    for (unsigned a = 0; a < DdaModule::kAxes; ++a) {
      loop[a] = dac.closedLoop(a, pcl);
      anyLoop = anyLoop || loop[a];
      if (out[a] == 0) continue;
      pcl.command(a, out[a]);
      if (!loop[a]) plant.applyPulses(a, out[a]);
      inSync = false;
    }
    if (anyLoop) {
      const std::int64_t period = dda.cyclePeriod().count();
      const std::int64_t steps =
          std::clamp<std::int64_t>((period + kLoopStepNs - 1) / kLoopStepNs, 1, kMaxLoopSteps);
      const double dt = static_cast<double>(period) / static_cast<double>(steps) * 1e-9;
      for (std::int64_t i = 0; i < steps; ++i) {
        for (unsigned a = 0; a < DdaModule::kAxes; ++a) {
          if (loop[a]) plant.driveVelocity(a, plant.dacVolts(a), dt);
        }
        sync();
      }
    }
    // A cycle that output no pulse (and runs no closed loop) changed neither
    // the plant nor the loop's counters: an idle card's cycle stops here.
    syncIfChanged();
  }

  void advanceTo(std::chrono::nanoseconds t) {
    if (!now) {
      now = t;
      sync();
      return;
    }
    const auto elapsed = t - *now;
    if (elapsed.count() <= 0) {
      syncIfChanged();
      return;
    }
    now = t;
    syncIfChanged();
    // Time alone moves no axis (the pulse engine's cycles and the closed
    // loop do, in runCycle): the timers and conversions advance, and the
    // modules are brought up to the plant again only when a conversion
    // triggered the DAC.
    lio.advance(elapsed);
    rio.advance(elapsed);
    const std::uint32_t adcEvents = adc.advance(elapsed, plant);
    if (adcEvents != 0) {
      dac.trigger(adcEvents << r::kDacTrigAdcBase);
      sync();
    }
  }
};

Chip::Chip(ChipModel model) : impl_(std::make_unique<Impl>(model)) {}
Chip::~Chip() = default;

ChipModel Chip::model() const {
  return impl_->model;
}
std::uint16_t Chip::read(std::uint32_t offset) {
  return impl_->read(offset);
}
void Chip::write(std::uint32_t offset, std::uint16_t value) {
  impl_->write(offset, value);
}
void Chip::runCycle() {
  impl_->runCycle();
}
void Chip::advanceTo(std::chrono::nanoseconds now) {
  impl_->advanceTo(now);
}
bool Chip::timed() const {
  return impl_->lio.timed() || impl_->rio.timed() || impl_->adc.timed();
}
void Chip::startTimeAt(std::chrono::nanoseconds now) {
  impl_->now = now;
}
std::uint16_t Chip::pendingSources() const {
  return impl_->sources();
}
bool Chip::readMayRaise(std::uint32_t offset) const {
  return !impl_->dda.owns(offset) && !impl_->inSync;
}
bool Chip::engineRunning() const {
  return impl_->dda.running();
}
std::chrono::nanoseconds Chip::cyclePeriod() const {
  return impl_->dda.cyclePeriod();
}
Plant& Chip::plant() {
  impl_->inSync = false;  // the bench may change the plant through it
  return impl_->plant;
}
const Plant& Chip::plant() const {
  return impl_->plant;
}
std::uint16_t Chip::irqSelect() const {
  return impl_->irqSelect;
}
std::uint16_t Chip::interruptOutputControl() const {
  return impl_->outputControl;
}
std::uint64_t Chip::unmappedAccesses() const {
  return impl_->unmapped;
}
std::uint64_t Chip::fifoOverruns(unsigned axis) const {
  return impl_->dda.overruns(axis);
}

}  // namespace vcard
