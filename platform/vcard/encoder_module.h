// Encoder: nine counters in three groups, following the plant's feedback.
//
// Choices where the card leaves the meaning open:
// - Counting (see plant.h for the feedback edges): A/B phase counts every
//   edge at rate x4, every second at x2, every fourth at x1; CW/CCW and pulse
//   and direction count one per edge at x1 and two (both pulse edges) at x2
//   and x4. Rate 0 counts as x1. Type 3 counts nothing.
// - Direction: for A/B phase, inverting A, inverting B and swapping A and B
//   each reverse the count; for CW/CCW the swap reverses it (inversions only
//   move the counted edge); for pulse and direction inverting B or the swap
//   reverses it. Inverting C inverts the index level.
// - The filter clock is stored; the virtual inputs are clean, so the filter
//   never drops an edge.
// - Counters move only while the input is started (0x5A bit 15); feedback
//   that arrives while stopped is lost, as on a real counter.
// - Index status (group register bits 0..2) is the level of the index input:
//   1 while the feedback sits on an index mark.
// - Latch sources (trigger bits 0..14): bit j < 9 is the index mark of
//   channel j, bit 9 + a the home sensor of axis a becoming active. Trigger
//   mode 0 latches once, at the first selected event after the trigger
//   register was written; mode 1 latches at every event. The latch holds the
//   counter value the channel had at the event.
// - Conditions (group register bits 3..8, cleared when read): bit 3 + p = the
//   counter of position p passed its compare value with the compare
//   interrupt (enable bit p) on; bit 6 + p = position p latched with the index
//   interrupt (enable bit 3 + p) on. Disabling drops the pending condition.
// - Module resets: the group's channels, latches, compare values, settings
//   and conditions; the encoder control register belongs to ENC012.
#pragma once

#include <array>
#include <cstdint>

#include "platform/vcard/plant.h"

namespace vcard {

class EncoderModule {
 public:
  static constexpr unsigned kChannels = 9;
  static constexpr unsigned kGroups = 3;

  explicit EncoderModule(const Plant& plant);

  bool owns(std::uint32_t offset) const { return offset >= 0x40 && offset <= 0x9E; }
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);
  void resetGroup(unsigned group);

  // Follows the plant. Returns the counts each channel moved by (for the
  // closed loop); `indexEvents`/`compareEvents` get one bit per channel and
  // `homeEdges` one per axis for what happened since the last sync.
  struct Events {
    std::array<std::int64_t, kChannels> counted{};
    std::uint32_t index = 0;
    std::uint32_t compare = 0;
    std::uint32_t home = 0;
  };
  void sync(Events& events);

  std::uint16_t pending(unsigned group) const { return groups_[group].conditions; }
  std::int32_t counter(unsigned ch) const {
    return static_cast<std::int32_t>(channels_[ch].counter);
  }

 private:
  struct Channel {
    std::uint32_t counter = 0;
    std::uint32_t latch = 0;
    std::uint32_t compare = 0;
    std::uint16_t config = 0;
    std::uint16_t trigger = 0;
    bool armed = false;
    std::int64_t lastFeedback = 0;
  };
  struct Group {
    std::uint16_t enables = 0;
    std::uint16_t conditions = 0;  // already in register position (bits 3..8)
  };
  std::int64_t scaled(unsigned ch, std::int64_t feedback) const;
  int direction(unsigned ch) const;
  void latch(unsigned ch, std::uint32_t value);
  void arm(unsigned ch);

  const Plant& plant_;
  std::array<Channel, kChannels> channels_{};
  std::array<Group, kGroups> groups_{};
  std::uint16_t control_ = 0;
  std::uint32_t lastHome_ = 0;
};

}  // namespace vcard
