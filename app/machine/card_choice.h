// Which card the motion library drives: the virtual card (the default) or a
// real card on Linux through the driver service's Linux backend. Chosen once,
// before the library opens a card; a real card that cannot be found is never
// replaced by the virtual one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tervane {

struct CardChoice {
  bool real = false;
  std::string backend;   // the driver service's backend, to show
  std::string card;      // where the card to drive sits, when real
  std::string problem;   // empty when a card can be opened ("no card found: ...")
  int16_t cardType = 2;  // the library's card type of that card (2 or 3)
};

// "virtual" or "linux"; nothing for any other word. Installs the backend.
std::optional<CardChoice> chooseCard(std::string_view kind);

}  // namespace tervane
