#include "platform/vcard/rio_module.h"

#include "platform/chip/regs.h"

namespace vcard {

namespace r = chip::reg;

namespace {
constexpr std::int64_t kCycleUnitNs = 10000;
}  // namespace

void RioModule::resetPort(unsigned port) {
  ports_[port] = Port{};
}

unsigned RioModule::intType(const Port& p, unsigned slave, unsigned word) const {
  const unsigned which = slave == 0 ? r::kRioCtlC : (slave == 1 ? r::kRioCtlB : r::kRioCtlA);
  const unsigned shift = (slave == 0 ? 0u : 8u) + 2 * word;
  return r::Field{shift, 2}.get(p.control[which]);
}

bool RioModule::failed(const Port& p, unsigned slave) const {
  return p.failures[slave] > r::kRioTransError.get(p.control[r::kRioCtlB]);
}

void RioModule::cycle(unsigned port) {
  Port& p = ports_[port];
  const std::uint16_t b = p.control[r::kRioCtlB];
  bool transferError = false;
  p.transferred = false;
  for (unsigned s = 0; s < kSlaves; ++s) {
    if (!r::bit(b, r::kRioSlaveControlBit + s)) continue;
    if (!plant_.rioSlaveConnected(port, s)) {
      ++p.failures[s];
      transferError = true;
      continue;
    }
    p.failures[s] = 0;
    p.transferred = true;
    for (unsigned w = 0; w < kWords; ++w) {
      plant_.setRioSlaveOutput(port, s, w, p.outputs[s][w]);
      const std::uint16_t before = p.inputs[s][w];
      const std::uint16_t now = plant_.rioSlaveInput(port, s, w);
      p.inputs[s][w] = now;
      const unsigned type = intType(p, s, w);
      const bool hit = (type == 1 && before != now) || (type == 2 && (~before & now) != 0) ||
                       (type == 3 && (before & ~now) != 0);
      if (hit) p.conditions = r::setBit(p.conditions, 4 * s + w, true);
    }
  }
  if (transferError && r::bit(p.control[r::kRioCtlC], r::kRioTransIntBit)) {
    p.conditions = r::setBit(p.conditions, r::kRioCondTransBit, true);
  }
}

void RioModule::advance(std::chrono::nanoseconds elapsed) {
  for (unsigned port = 0; port < kPorts; ++port) {
    Port& p = ports_[port];
    if (!r::bit(p.control[r::kRioCtlB], r::kRioSetControlBit)) continue;
    const std::int64_t period =
        kCycleUnitNs * (std::int64_t{r::kRioClockDivider.get(p.control[r::kRioCtlA])} + 1);
    p.ns += elapsed.count();
    if (p.ns < period) continue;
    p.ns %= period;
    cycle(port);
  }
}

std::uint16_t RioModule::read(std::uint32_t offset) {
  for (unsigned port = 0; port < kPorts; ++port) {
    Port& p = ports_[port];
    if (offset >= r::rioBase(port) && offset < r::rioStatus(port)) {
      const unsigned rel = (offset - r::rioBase(port)) / 2;
      return p.inputs[rel / kWords][rel % kWords];
    }
    if (offset == r::rioStatus(port)) {
      std::uint16_t status = 0;
      const std::uint16_t b = p.control[r::kRioCtlB];
      bool allAnswer = true;
      for (unsigned s = 0; s < kSlaves; ++s) {
        if (!r::bit(b, r::kRioSlaveControlBit + s)) continue;
        if (p.failures[s] != 0) allAnswer = false;
        if (failed(p, s) && r::kRioSlaveFail.get(status) == 0) {
          status = r::kRioSlaveFail.set(status, s + 1);
        }
      }
      status = r::setBit(status, r::kRioMasterStatusBit, r::bit(b, r::kRioSetControlBit));
      status = r::setBit(status, r::kRioSlaveStatusBit, allAnswer);
      status = r::setBit(status, r::kRioTransStatusBit, p.transferred);
      return status;
    }
    if (offset == r::rioCondition(port)) {
      const std::uint16_t c = p.conditions;
      p.conditions = 0;
      return c;
    }
  }
  return 0;
}

void RioModule::write(std::uint32_t offset, std::uint16_t value) {
  for (unsigned port = 0; port < kPorts; ++port) {
    Port& p = ports_[port];
    if (offset >= r::rioBase(port) && offset < r::rioStatus(port)) {
      const unsigned rel = (offset - r::rioBase(port)) / 2;
      p.outputs[rel / kWords][rel % kWords] = value;
      return;
    }
    for (unsigned which = 0; which < 3; ++which) {
      if (offset == r::rioControl(port, which)) {
        p.control[which] = value;
        if (which == r::kRioCtlC && !r::bit(value, r::kRioTransIntBit)) {
          p.conditions = r::setBit(p.conditions, r::kRioCondTransBit, false);
        }
        return;
      }
    }
  }
}

}  // namespace vcard
