// Frame operations shared between the frame unit and the open/close unit.
#pragma once

#include <cstdint>

#include "cardaccess/src/card.h"

namespace qora {

// The interrupt service of one card: acknowledge, re-enable the bridge's
// interrupt, then dispatch module conditions until the source reads 0.
void serveInterrupt(std::uint16_t card);

// Sets the bridge's local and PCI interrupt enables (read, OR, write back).
int setBridgeEnable(std::uint16_t card);

// Whole-chip reset, interrupt line 3 and interrupt output control, as every
// initialisation does after opening.
void chipInitialise(std::uint16_t card);

// Writes the whole-chip reset and then 0 (the caller holds the card's lock).
void chipReset(Chip& c);

}  // namespace qora
