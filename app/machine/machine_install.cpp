// Kept apart from the Qt code: the virtual card's headers use names that Qt
// defines as macros.
#include "machine/machine.h"
#include "platform/vcard/bus.h"

namespace tervane {

void installVirtualMachine(const Machine& machine) {
  auto card = vcard::bus().card(0);
  if (!card) card = vcard::bus().install(vcard::ChipModel::Qora210);
  card->withChip([&machine](vcard::Chip& chip) {
    for (unsigned a = 0; a < machine.size(); ++a) {
      const AxisSensors& s = machine[a];
      vcard::AxisConfig& c = chip.plant().axis(a);
      c.homePosition = s.homePosition;
      c.homeWidth = s.homeWidth;
      c.homeLevel = s.homeLevel;
      c.indexEvery = s.indexEvery;
      c.indexPhase = s.indexPhase;
      c.upperLimit = s.upperLimit;
      c.lowerLimit = s.lowerLimit;
      c.upperLevel = s.upperLevel;
      c.lowerLevel = s.lowerLevel;
    }
  });
}

}  // namespace tervane
