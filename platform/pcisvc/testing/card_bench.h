// Virtual cards behind the driver service as a test sets them up, on either
// backend: the virtual bus itself, or a fake Linux machine (sysfs tree, UIO
// nodes) whose cards are the same virtual cards, with the Linux backend on
// top. Tests written against this bench run unchanged on both.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/vcard/bus.h"

namespace pcisvc::testing {

enum class BenchKind { Virtual, Sysfs };

class CardBench {
 public:
  virtual ~CardBench() = default;

  // A card of `model` after the others: it comes last in scan order.
  virtual std::shared_ptr<vcard::VirtualCard> install(vcard::ChipModel model) = 0;
  // No card, no fault.
  virtual void clear() = 0;
  virtual std::shared_ptr<vcard::VirtualCard> card(std::size_t index) const = 0;
  // The `index`-th card of a model, in scan order, or null.
  virtual std::shared_ptr<vcard::VirtualCard> card(vcard::ChipModel model,
                                                   std::size_t index) const = 0;
  // Injects the faults of the virtual bus in this backend's terms. False when
  // the backend has no such fault: the Linux backend's version is its own.
  virtual bool setFaults(const vcard::Faults& faults) = 0;
  // Whether the service holds the card registered.
  virtual bool registered(const vcard::VirtualCard& card) = 0;
  // Ends a blocked interrupt wait with stop state 2.
  virtual void interruptWait(vcard::VirtualCard& card) = 0;
};

// Makes the bench's backend the service's; destroying the bench gives the
// service back to the virtual bus.
std::unique_ptr<CardBench> makeBench(BenchKind kind);

// For test names: "Virtual", "Sysfs".
std::string benchName(BenchKind kind);

}  // namespace pcisvc::testing
