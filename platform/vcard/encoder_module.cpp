#include "platform/vcard/encoder_module.h"

#include "platform/chip/regs.h"

namespace vcard {

namespace r = chip::reg;

namespace {
constexpr unsigned kTypeAB = 0, kTypeCwCcw = 1, kTypePulseDir = 2;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Index marks in (from, to] when moving up or in [to, from) moving down, as
// the first and last one met.
bool indexMarks(std::int64_t from, std::int64_t to, std::int64_t every, std::int64_t phase,
                std::int64_t& first, std::int64_t& last) {
  if (every <= 0 || from == to) return false;
  if (to > from) {
    const std::int64_t k0 = floorDiv(from - phase, every) + 1;
    const std::int64_t k1 = floorDiv(to - phase, every);
    if (k1 < k0) return false;
    first = k0 * every + phase;
    last = k1 * every + phase;
  } else {
    const std::int64_t k0 = floorDiv(from - 1 - phase, every);
    const std::int64_t k1 = floorDiv(to - 1 - phase, every) + 1;
    if (k0 < k1) return false;
    first = k0 * every + phase;
    last = k1 * every + phase;
  }
  return true;
}

// Whether a counter moving from `from` by `delta` passes `target`.
bool passes(std::uint32_t from, std::int64_t delta, std::uint32_t target) {
  const auto d = static_cast<std::int64_t>(static_cast<std::int32_t>(target - from));
  return delta > 0 ? (d > 0 && d <= delta) : (delta < 0 && d < 0 && d >= delta);
}
}  // namespace

EncoderModule::EncoderModule(const Plant& plant) : plant_(plant) {
  for (unsigned ch = 0; ch < kChannels; ++ch) {
    channels_[ch].lastFeedback = plant_.encoderFeedback(ch);
  }
  for (unsigned a = 0; a < Plant::kAxes; ++a) {
    if (plant_.homeActive(a)) lastHome_ |= 1u << a;
  }
}

void EncoderModule::resetGroup(unsigned group) {
  for (unsigned p = 0; p < 3; ++p) {
    Channel& c = channels_[group * 3 + p];
    const std::int64_t feedback = c.lastFeedback;
    c = Channel{};
    c.lastFeedback = feedback;
  }
  groups_[group] = Group{};
  if (group == 0) control_ = 0;
}

std::int64_t EncoderModule::scaled(unsigned ch, std::int64_t feedback) const {
  const std::uint16_t cfg = channels_[ch].config;
  const unsigned type = r::kEncCfgType.get(cfg);
  unsigned rate = r::kEncCfgRate.get(cfg);
  if (rate == 0) rate = 1;
  if (type == kTypeAB) {
    return rate == 3 ? feedback : floorDiv(feedback, rate == 2 ? 2 : 4);
  }
  return rate == 1 ? feedback : 2 * feedback;
}

int EncoderModule::direction(unsigned ch) const {
  const std::uint16_t cfg = channels_[ch].config;
  const unsigned type = r::kEncCfgType.get(cfg);
  const bool invA = r::bit(cfg, r::kEncCfgAInverseBit);
  const bool invB = r::bit(cfg, r::kEncCfgBInverseBit);
  const bool swap = r::bit(cfg, r::kEncCfgABSwapBit);
  bool reverse = false;
  if (type == kTypeAB) reverse = invA ^ invB ^ swap;
  if (type == kTypeCwCcw) reverse = swap;
  if (type == kTypePulseDir) reverse = invB ^ swap;
  return reverse ? -1 : 1;
}

void EncoderModule::arm(unsigned ch) {
  channels_[ch].armed = true;
}

void EncoderModule::latch(unsigned ch, std::uint32_t value) {
  Channel& c = channels_[ch];
  const bool once = !r::bit(c.trigger, r::kEncTrigModeBit);
  if (once && !c.armed) return;
  c.latch = value;
  c.armed = false;
  Group& g = groups_[ch / 3];
  const unsigned p = ch % 3;
  if (r::bit(g.enables, r::kEncGroupIndexIntBit + p)) {
    g.conditions = r::setBit(g.conditions, r::kEncCondLatchBit + p, true);
  }
}

void EncoderModule::sync(Events& events) {
  events = Events{};
  std::uint32_t home = 0;
  for (unsigned a = 0; a < Plant::kAxes; ++a) {
    if (plant_.homeActive(a)) home |= 1u << a;
  }
  events.home = home & ~lastHome_;
  lastHome_ = home;
  const bool started = r::bit(control_, r::kEncStartBit);
  // The counter value of each channel at the first and the last of its own
  // index marks met in this step.
  std::array<std::uint32_t, kChannels> atFirstIndex{}, atLastIndex{};
  for (unsigned ch = 0; ch < kChannels; ++ch) {
    Channel& c = channels_[ch];
    const std::int64_t feedback = plant_.encoderFeedback(ch);
    const std::int64_t before = c.lastFeedback;
    if (feedback == before) continue;
    c.lastFeedback = feedback;
    const bool counting = started && r::kEncCfgType.get(c.config) != 3;
    const std::uint32_t counterBefore = c.counter;
    const int dir = direction(ch);
    const std::int64_t base = scaled(ch, before);
    auto movedTo = [&](std::int64_t f) -> std::int64_t {
      return counting ? dir * (scaled(ch, f) - base) : 0;
    };
    const std::int64_t delta = movedTo(feedback);
    events.counted[ch] = delta;
    c.counter = counterBefore + static_cast<std::uint32_t>(delta);
    const unsigned g = ch / 3, p = ch % 3;
    if (passes(counterBefore, delta, c.compare)) {
      events.compare |= 1u << ch;
      if (r::bit(groups_[g].enables, r::kEncGroupCompIntBit + p)) {
        groups_[g].conditions = r::setBit(groups_[g].conditions, r::kEncCondCompBit + p, true);
      }
    }
    std::int64_t first = 0, last = 0;
    if (indexMarks(before, feedback, plant_.indexEvery(ch), plant_.indexPhase(ch), first, last)) {
      events.index |= 1u << ch;
      atFirstIndex[ch] = counterBefore + static_cast<std::uint32_t>(movedTo(first));
      atLastIndex[ch] = counterBefore + static_cast<std::uint32_t>(movedTo(last));
    }
  }
  if (events.index == 0 && events.home == 0) return;
  for (unsigned ch = 0; ch < kChannels; ++ch) {
    Channel& c = channels_[ch];
    const auto source = static_cast<std::uint32_t>(r::kEncTrigSource.get(c.trigger));
    const bool once = !r::bit(c.trigger, r::kEncTrigModeBit);
    if ((source & events.index) != 0) {
      // The channel's own index gives the exact value at the mark; another
      // channel's index is taken as happening at the end of the step.
      const bool own = r::bit(source & events.index, ch);
      latch(ch, own ? (once ? atFirstIndex[ch] : atLastIndex[ch]) : c.counter);
    } else if (((source >> r::kEncTrigHomeBase) & events.home) != 0) {
      latch(ch, c.counter);
    }
  }
}

std::uint16_t EncoderModule::read(std::uint32_t offset) {
  if (offset == r::encGroup(0) || offset == r::encGroup(1) || offset == r::encGroup(2)) {
    const unsigned g = (offset - r::encGroup(0)) / 0x20;
    std::uint16_t word = groups_[g].conditions;
    groups_[g].conditions = 0;
    for (unsigned p = 0; p < 3; ++p) {
      const unsigned ch = g * 3 + p;
      const bool level = plant_.atIndex(ch, channels_[ch].lastFeedback) ^
                         r::bit(channels_[ch].config, r::kEncCfgCInverseBit);
      word = r::setBit(word, r::kEncGroupIndexBit + p, level);
    }
    return word;
  }
  for (unsigned ch = 0; ch < kChannels; ++ch) {
    const Channel& c = channels_[ch];
    if (offset == r::encCounterLow(ch)) return static_cast<std::uint16_t>(c.counter);
    if (offset == r::encCounterHigh(ch)) return static_cast<std::uint16_t>(c.counter >> 16);
    if (offset == r::encLatchLow(ch)) return static_cast<std::uint16_t>(c.latch);
    if (offset == r::encLatchHigh(ch)) return static_cast<std::uint16_t>(c.latch >> 16);
  }
  return 0;
}

void EncoderModule::write(std::uint32_t offset, std::uint16_t value) {
  if (offset == r::kEncControl) {
    control_ = value;
    return;
  }
  if (offset == r::kEncClear) {
    for (unsigned ch = 0; ch < kChannels; ++ch) {
      if (r::bit(value, ch)) channels_[ch].counter = 0;
    }
    return;
  }
  if (offset == r::encGroup(0) || offset == r::encGroup(1) || offset == r::encGroup(2)) {
    Group& g = groups_[(offset - r::encGroup(0)) / 0x20];
    g.enables = value;
    for (unsigned p = 0; p < 3; ++p) {
      if (!r::bit(value, r::kEncGroupCompIntBit + p)) {
        g.conditions = r::setBit(g.conditions, r::kEncCondCompBit + p, false);
      }
      if (!r::bit(value, r::kEncGroupIndexIntBit + p)) {
        g.conditions = r::setBit(g.conditions, r::kEncCondLatchBit + p, false);
      }
    }
    return;
  }
  for (unsigned ch = 0; ch < kChannels; ++ch) {
    Channel& c = channels_[ch];
    if (offset == r::encCompLow(ch)) {
      c.compare = (c.compare & 0xFFFF0000u) | value;
      return;
    }
    if (offset == r::encCompHigh(ch)) {
      c.compare = (c.compare & 0xFFFFu) | (static_cast<std::uint32_t>(value) << 16);
      return;
    }
    if (offset == r::encConfig(ch)) {
      c.config = value;
      return;
    }
    if (offset == r::encTrigger(ch)) {
      c.trigger = value;
      arm(ch);
      return;
    }
  }
}

}  // namespace vcard
