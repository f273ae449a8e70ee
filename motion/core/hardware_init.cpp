// Initialisation of the output layer and the cards: the cards opened and
// started, the group table copied from the interface layer's, the pulse
// positions and sensor states cleared.
#include "library.h"

namespace vnl {

int32_t Library::hardwareInit() {
  for (auto& q : pulseQueues)
    q.clear();
  takeAxisSettings();
  for (auto& s : cardServed)
    s.store(false, std::memory_order_relaxed);
  for (int c = 0; c < cardCount; ++c) {
    if (!onCards()) {
      cardServed[c].store(true, std::memory_order_relaxed);
      continue;
    }
    if (!cards::isCardType(cardType[c])) continue;  // left uninitialised, no error
    if (!cardPath->open(c, cardType[c], routinesOf(c))) {
      // The cards opened so far are closed again, so a later initialisation can open them.
      for (int k = 0; k < c; ++k)
        if (cardServed[k].load(std::memory_order_relaxed)) cardPath->close(k);
      for (auto& s : cardServed)
        s.store(false, std::memory_order_relaxed);
      return VNL_ERR_NOT_READY;
    }
    cardServed[c].store(true, std::memory_order_relaxed);
  }
  if (onCards() && !cardServed[0].load(std::memory_order_relaxed)) {
    // Without card 0 no cycle runs: no group is served on any card.
    for (auto& s : cardServed)
      s.store(false, std::memory_order_relaxed);
  }
  resetOutput();
  if (onCards()) {
    cardPath->initialise(cardCount, interpTime.load());
    writeOutputParams();
  }
  takeCycleTime();
  bool anyInUse = false;
  for (int g = 0; g < kGroups; ++g) {
    int32_t u = config[g].inUse.load();
    table[g].inUse.store(u == 0 ? 0 : -1);
    table[g].card.store(config[g].card.load());
    for (int s = 0; s < kSlots; ++s) {
      int16_t a = config[g].axis[s].load();
      table[g].axis[s].store(a < 0 ? 6 : a);
    }
    anyInUse = anyInUse || u == 0;
  }
  if (!anyInUse) {
    setGroup(0, 0, {0, 1, 2, 3, 4, 5});
  }
  if (onCards()) cardPath->start(cardCount);
  // A new run starts without the correction the previous one had applied.
  for (auto& g : compTrack)
    std::fill(std::begin(g), std::end(g), CompensationTrack{});
  for (int a = 0; a < kMachineAxes; ++a) {
    pulsePos[a].store(0);
    simFeedback[a].store(0);
    dryPos[a].store(0);
    encoder[a].store(0);
    errCounter[a].store(0);
    stock[a].store(0);
    limitState[a].store(0);
    tripped[a].store(0);
    direction[a].store(0);
    otUp[a].store(0);
    otDown[a].store(0);
    lastOutputPulse[a].store(0);
    pulseEnable[a].store(1);
  }
  return 0;
}

void Library::setGroup(int g, int card, std::initializer_list<int16_t> axes) {
  for (GroupConfig* c : {&config[g], &table[g]}) {
    c->inUse.store(0);
    c->card.store(static_cast<int16_t>(card));
    int s = 0;
    for (int16_t a : axes)
      c->axis[s++].store(a);
  }
}

double Library::unitsPerPulse(int a, int g) {
  const MACHINE_PARAM p = usable(param[a]);
  double v = p.dfPitch / (double(p.dwPPR) * p.dfGearRatio * unitFactor[g].load());
  return p.wDirReverse ? -v : v;
}

}  // namespace vnl
