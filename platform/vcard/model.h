// The two models of the motion chip. They differ only in the PCI device
// identifier and in the bit positions of a few local I/O signals.
#pragma once

#include <cstdint>

#include "platform/chip/regs.h"

namespace vcard {

enum class ChipModel : std::uint16_t { Qora210 = 2, Qora310 = 3 };

constexpr const chip::reg::LioLayout& lioLayout(ChipModel model) {
  return model == ChipModel::Qora310 ? chip::reg::kLayout310 : chip::reg::kLayout210;
}

}  // namespace vcard
