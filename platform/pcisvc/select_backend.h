// Choosing the backend of the driver service: the virtual card or real cards
// on Linux. A program chooses once, before it opens any card:
//
//   pcisvc::BackendKind kind;
//   if (!pcisvc::parseBackendKind(argument, kind)) ...      // "virtual" or "linux"
//   const pcisvc::BackendChoice choice = pcisvc::useBackend(kind);
//   show(choice.name);                                      // which backend runs
//   if (!choice.problem.empty()) show(choice.problem);      // "no card found: ..."
//
// The choice is never undone behind the program's back: when real cards are
// asked for and none is found, the Linux backend stays in place and opening a
// card fails; nothing falls back to the virtual card, so nobody takes a run on
// the virtual card for a machine that moves.
#pragma once

#include <string>
#include <string_view>

#include "platform/pcisvc/backend.h"
#include "platform/pcisvc/export.h"

namespace pcisvc {

enum class BackendKind { Virtual, Linux };

// "virtual" or "linux"; false for anything else.
PCISVC_EXPORT bool parseBackendKind(std::string_view text, BackendKind& kind);

struct BackendChoice {
  BackendKind kind = BackendKind::Virtual;
  std::string name;  // the backend's name, to show ("virtual card", "Linux (sysfs and UIO)")
  Survey survey;     // the cards it sees
  // Empty when at least one card can be opened. Otherwise what to show:
  // "no card found: ..." when the backend sees no card of the two models,
  // else "no card can be opened: " and each card's problem.
  std::string problem;
};

// Makes `kind` the backend of every later request of this process and tells
// what it finds. The Linux backend works on /sys and /dev of this machine.
PCISVC_EXPORT BackendChoice useBackend(BackendKind kind);

// Makes `backend` (not owned) the backend and tells what it finds, with the
// same texts; for tests and for programs that build their own backend.
PCISVC_EXPORT BackendChoice useBackend(Backend& backend, BackendKind kind);

}  // namespace pcisvc
