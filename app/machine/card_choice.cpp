// Kept apart from the Qt code: the driver service's headers use names that
// Qt defines as macros.
#include "machine/card_choice.h"

#include "platform/chip/identity.h"
#include "platform/pcisvc/select_backend.h"

namespace tervane {

std::optional<CardChoice> chooseCard(std::string_view kind) {
  pcisvc::BackendKind backend;
  if (!pcisvc::parseBackendKind(kind, backend)) return std::nullopt;
  CardChoice choice;
  choice.real = backend == pcisvc::BackendKind::Linux;
  const pcisvc::BackendChoice found = pcisvc::useBackend(backend);
  choice.backend = found.name;
  if (!choice.real) return choice;  // the virtual bus: its first card is card 0
  choice.problem = found.problem;
  // The library opens the first card that can be opened as card 0.
  for (const pcisvc::FoundCard& card : found.survey.cards) {
    if (!card.problem.empty()) continue;
    choice.card = card.where;
    if (card.device == chip::kPciDevice310) choice.cardType = 3;
    break;
  }
  return choice;
}

}  // namespace tervane
