// The motion chip of the virtual card: every module's registers (address
// space 2, 16-bit) with their side effects, and the axis plant behind the
// pulse outputs and sensor inputs. Not thread-safe: the card that owns it
// serialises every access.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/vcard/export.h"
#include "platform/vcard/model.h"
#include "platform/vcard/plant.h"

namespace vcard {

class VCARD_EXPORT Chip {
 public:
  explicit Chip(ChipModel model);
  ~Chip();
  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;

  ChipModel model() const;

  // Bus side. Reads may have side effects (shift-out, conditions that clear
  // when read); offsets outside the map read 0 and ignore writes.
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);

  // One DDA cycle: each enabled, running axis outputs the command at the head
  // of its FIFO, the plant integrates the pulses, encoders and sensors follow,
  // and the modules raise their conditions.
  void runCycle();
  // Lets the time-driven parts (timer, watchdog, ADC conversion, remote I/O
  // cycle) catch up to `now`. Called before every cycle, and before every
  // access while timed().
  void advanceTo(std::chrono::nanoseconds now);
  // Whether time alone changes anything now, that is, whether one of those
  // parts runs. While none does, the chip's time may stand still: an access
  // skips advanceTo(), and the access that starts one of them calls
  // startTimeAt() with the clock's time.
  bool timed() const;
  void startTimeAt(std::chrono::nanoseconds now);

  // The interrupt source register as a read would return it, without side
  // effects. Changes made on the plant are taken in at the next access,
  // cycle or advanceTo(); until then they raise no condition.
  std::uint16_t pendingSources() const;
  // Whether a read at `offset` may raise a source. Reads only clear
  // conditions; what can raise one is the sync with the plant that comes
  // before them, which the pulse engine's registers and a chip already in
  // step with its plant skip.
  bool readMayRaise(std::uint32_t offset) const;
  // Whether the pulse engine runs, and its cycle length from the timing register.
  bool engineRunning() const;
  std::chrono::nanoseconds cyclePeriod() const;

  // The plant and the card's electrical inputs and outputs, for the test bench.
  Plant& plant();
  const Plant& plant() const;

  // Frame registers as last written (they have no effect inside the chip).
  std::uint16_t irqSelect() const;
  std::uint16_t interruptOutputControl() const;
  // Diagnostics: accesses to offsets outside the map (odd offsets included),
  // and commands dropped because the axis FIFO was full.
  std::uint64_t unmappedAccesses() const;
  std::uint64_t fifoOverruns(unsigned axis) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vcard
