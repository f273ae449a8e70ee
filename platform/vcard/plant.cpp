#include "platform/vcard/plant.h"

#include <cmath>

namespace vcard {

namespace r = chip::reg;

namespace {
std::int64_t floorMod(std::int64_t a, std::int64_t n) {
  const std::int64_t m = a % n;
  return m < 0 ? m + n : m;
}
unsigned levelBit(bool active, unsigned level) {
  return (active ? level : (level ^ 1u)) & 1u;
}
}  // namespace

Plant::Plant(const r::LioLayout& layout) : layout_(layout) {}

std::int64_t Plant::encoderFeedback(unsigned ch) const {
  if (ch >= kAxes) return aux_[ch - kAxes].edges;
  const Axis& a = axes_[ch];
  const std::int64_t edges = a.position * a.config.encoderCountsPerPulse;
  return a.config.encoderReversed ? -edges : edges;
}

void Plant::setAuxIndex(unsigned ch, std::int64_t every, std::int64_t phase) {
  aux_[ch - kAxes].indexEvery = every;
  aux_[ch - kAxes].indexPhase = phase;
}

std::int64_t Plant::indexEvery(unsigned ch) const {
  return ch < kAxes ? axes_[ch].config.indexEvery : aux_[ch - kAxes].indexEvery;
}

std::int64_t Plant::indexPhase(unsigned ch) const {
  return ch < kAxes ? axes_[ch].config.indexPhase : aux_[ch - kAxes].indexPhase;
}

bool Plant::atIndex(unsigned ch, std::int64_t feedback) const {
  const std::int64_t every = indexEvery(ch);
  if (every <= 0) return false;
  return floorMod(feedback - indexPhase(ch), every) == 0;
}

bool Plant::upperLimitActive(unsigned a) const {
  const Axis& x = axes_[a];
  return x.config.upperLimit && x.position >= *x.config.upperLimit;
}

bool Plant::lowerLimitActive(unsigned a) const {
  const Axis& x = axes_[a];
  return x.config.lowerLimit && x.position <= *x.config.lowerLimit;
}

bool Plant::homeActive(unsigned a) const {
  const Axis& x = axes_[a];
  return x.config.homePosition && x.position >= *x.config.homePosition &&
         x.position < *x.config.homePosition + x.config.homeWidth;
}

void Plant::setLdiInputs(std::uint32_t mask, std::uint32_t value) {
  ldiMask_ |= mask;
  ldiValue_ = (ldiValue_ & ~mask) | (value & mask);
}

void Plant::setDfiInputs(std::uint32_t mask, std::uint32_t value) {
  dfiMask_ |= mask;
  dfiValue_ = (dfiValue_ & ~mask) | (value & mask);
}

void Plant::clearInputOverrides() {
  ldiMask_ = ldiValue_ = dfiMask_ = dfiValue_ = 0;
}

std::uint32_t Plant::ldiWord() const {
  std::uint32_t word = 0;
  for (unsigned a = 0; a < layout_.overTravelAxes; ++a) {
    const AxisConfig& c = axes_[a].config;
    word |= levelBit(upperLimitActive(a), c.upperLevel) << a;
    word |= levelBit(lowerLimitActive(a), c.lowerLevel) << (layout_.overTravelDownBase + a);
  }
  for (unsigned a = 0; a < 4; ++a) {
    word |= levelBit(homeActive(a), axes_[a].config.homeLevel) << (layout_.homeBase + a);
  }
  return (word & ~ldiMask_) | ldiValue_;
}

std::uint32_t Plant::dfiWord() const {
  std::uint32_t word = 0;
  for (unsigned a = 4; a < kAxes; ++a) {
    word |= levelBit(homeActive(a), axes_[a].config.homeLevel) << (r::kDfiHomeBase + a);
  }
  if (emergencyStop_) word |= 1u << r::kDfiEmgcStopBit;
  if (supply24V_) word |= 1u << r::kDfi24VBit;
  return (word & ~dfiMask_) | dfiValue_;
}

bool Plant::servoOn(unsigned a) const {
  return !r::bit(ldo_, r::kLdoServoOffBase + a);
}

bool Plant::positionReady() const {
  return !r::bit(ldo_, layout_.prdyBit);
}

bool Plant::pulseDacEnabled() const {
  return !r::bit(ldo_, r::kLdoPulseDacBit);
}

void Plant::applyPulses(unsigned a, std::int32_t pulses) {
  Axis& x = axes_[a];
  x.received += pulses;
  if (x.config.ignorePulsesWhileServoOff && !servoOn(a)) return;
  x.position += pulses;
}

void Plant::driveVelocity(unsigned a, double volts, double dtSeconds) {
  Axis& x = axes_[a];
  x.residue += volts * x.config.velocityPerVolt * dtSeconds;
  const double whole = std::trunc(x.residue);
  x.residue -= whole;
  x.position += static_cast<std::int64_t>(whole);
}

}  // namespace vcard
