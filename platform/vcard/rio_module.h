// Remote I/O: two serial master ports, three slaves of four input and four
// output words each.
//
// Choices where the card leaves the meaning open:
// - A port runs while "set control" (control B bit 3) is on. It polls the
//   slaves whose slave control bit (control B bits 0..2) is on, one port
//   cycle every (clock divider + 1) x 10 us: the slave's output words go to
//   the plant's slave and its input words come back into the read registers.
//   The plant does not change during one advance, so a long advance makes at
//   most one cycle.
// - A polled slave that is not connected on the plant fails the transfer; after
//   more than the transmission error setting (control B bits 4..7) failed
//   cycles in a row it counts as failed. Status: bits 0..1 the number of the
//   lowest failed slave + 1 (0 = none), bit 2 the master runs, bit 3 every
//   polled slave answers, bit 4 a transfer took place in the last cycle.
// - Input interrupt types (field = type + 1): type 0 any change of the word,
//   type 1 a bit going 0 -> 1, type 2 a bit going 1 -> 0.
// - Conditions (0xBA / 0xDA, cleared when read): bit 4 x slave + word for an
//   input word interrupt, bit 12 a failed transfer in a cycle with the
//   transmission interrupt (control C bit 8) enabled.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "platform/chip/regs.h"
#include "platform/vcard/plant.h"

namespace vcard {

class RioModule {
 public:
  static constexpr unsigned kPorts = 2, kSlaves = 3, kWords = 4;

  explicit RioModule(Plant& plant) : plant_(plant) {}

  bool owns(std::uint32_t offset) const { return offset >= 0xA0 && offset <= 0xDE; }
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);
  void resetPort(unsigned port);

  void advance(std::chrono::nanoseconds elapsed);
  // Whether advance() would change anything: a port's master cycles. Asked
  // before every register access, so it is inline.
  bool timed() const {
    for (const Port& p : ports_)
      if (chip::reg::bit(p.control[chip::reg::kRioCtlB], chip::reg::kRioSetControlBit)) return true;
    return false;
  }
  std::uint16_t pending(unsigned port) const { return ports_[port].conditions; }

 private:
  struct Port {
    std::array<std::array<std::uint16_t, kWords>, kSlaves> inputs{};
    std::array<std::array<std::uint16_t, kWords>, kSlaves> outputs{};
    std::array<std::uint16_t, 3> control{};
    std::array<unsigned, kSlaves> failures{};
    std::uint16_t conditions = 0;
    bool transferred = false;
    std::int64_t ns = 0;
  };
  void cycle(unsigned port);
  unsigned intType(const Port& p, unsigned slave, unsigned word) const;
  bool failed(const Port& p, unsigned slave) const;

  Plant& plant_;
  std::array<Port, kPorts> ports_{};
};

}  // namespace vcard
