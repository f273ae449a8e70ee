#include "platform/pcisvc/select_backend.h"

#include <cstdio>

#include "platform/chip/identity.h"
#include "platform/pcisvc/linux/sysfs_backend.h"
#include "platform/pcisvc/service.h"
#include "platform/vcard/bus.h"

namespace pcisvc {
namespace {

sysfs::SysfsBackend& hostBackend() {
  // Never destroyed: an interrupt thread may still wait in it while the
  // process exits.
  static auto* backend = new sysfs::SysfsBackend(sysfs::hostSystem());
  return *backend;
}

std::string problemOf(const Survey& survey) {
  if (survey.cards.empty()) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "%04x:%04x or %04x:%04x", chip::kPciVendor, chip::kPciDevice210,
                  chip::kPciVendor, chip::kPciDevice310);
    return "no card found: no PCI device " + std::string(ids) + " in " + survey.searched;
  }
  std::string text;
  for (const FoundCard& card : survey.cards) {
    if (card.problem.empty()) return "";
    text += (text.empty() ? "" : "; ") + card.where + ": " + card.problem;
  }
  return "no card can be opened: " + text;
}

}  // namespace

bool parseBackendKind(std::string_view text, BackendKind& kind) {
  if (text == "virtual") {
    kind = BackendKind::Virtual;
    return true;
  }
  if (text == "linux") {
    kind = BackendKind::Linux;
    return true;
  }
  return false;
}

BackendChoice useBackend(Backend& backend, BackendKind kind) {
  setBackend(&backend);
  BackendChoice choice;
  choice.kind = kind;
  choice.name = backend.name();
  choice.survey = backend.survey();
  choice.problem =
      backend.available()
          ? problemOf(choice.survey)
          : "the driver service is not available: " + choice.survey.searched + " cannot be read";
  return choice;
}

BackendChoice useBackend(BackendKind kind) {
  if (kind == BackendKind::Linux) return useBackend(hostBackend(), kind);
  return useBackend(vcard::bus(), kind);
}

}  // namespace pcisvc
