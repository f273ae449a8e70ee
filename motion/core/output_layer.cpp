// The output layer: what the dispatch does each cycle once the groups have
// been stepped. It takes one block of pulse counts per group from the
// PulseQueues, checks them against the maximum pulse count and change,
// adds the compensation and hands each axis's count to its card (or to the
// simulated feedback), and keeps the in-position flags.
#include "library.h"

namespace vnl {

void Library::resetOutput() {
  for (int s = 0; s < kSlots; ++s) {
    maxPulse[s] = 30000;
    maxAcc[s] = 3000;
  }
  for (int a = 0; a < kMachineAxes; ++a) {
    pGain[a] = 64;
    gainShift[a] = 0;
  }
  for (auto& g : tol)
    std::fill(std::begin(g), std::end(g), int16_t{2});
  for (auto& c : modeCmd)
    c.store(0, std::memory_order_relaxed);
  reqPending.store(0, std::memory_order_relaxed);
  latch.store(0, std::memory_order_relaxed);
  outErrorFlag.store(0, std::memory_order_relaxed);
  dryRun = false;
  outputIdle.store(kRaised, std::memory_order_release);
  reqDone.store(0, std::memory_order_relaxed);
  acceptance = -1;
  mode.store(kIdle, std::memory_order_release);
}

void Library::takeAxisSettings() {
  for (int a = 0; a < kMachineAxes; ++a) {
    levelUp[a].store(param[a].wOverTravelUpSensorMode, std::memory_order_relaxed);
    levelDown[a].store(param[a].wOverTravelDownSensorMode, std::memory_order_relaxed);
    levelHome[a].store(param[a].HomeConfig.wSensorMode, std::memory_order_relaxed);
    reversed[a].store(param[a].wDirReverse != 0 ? 1 : 0, std::memory_order_relaxed);
    closedLoop[a].store(param[a].wCommandMode == 1 ? 1 : 0, std::memory_order_relaxed);
  }
}

void Library::writeOutputParams() {
  for (int c = 0; c < cardCount; ++c)
    for (int a = 0; a < 6; ++a)
      cardPath->writeOutputParams(c, a, param[c * kAxesPerCard + a]);
}

void Library::flushGroup(int g) {
  const int card = table[g].card.load(std::memory_order_relaxed);
  if (card >= cardCount || !onCards()) return;
  for (int s = 0; s < kSlots; ++s) {
    const int ax = table[g].axis[s].load(std::memory_order_relaxed);
    if (ax < 0 || ax >= kAxesPerCard) continue;
    cardPath->flushAxis(card, ax);
    int32_t out = 0;
    if (!dryRun && cardPath->outputPulses(card, ax, out))
      pulsePos[card * kAxesPerCard + ax].store(out - compTrack[g][s].applied,
                                               std::memory_order_release);
  }
  pulseQueues[g].clear();  // the group's planner output goes with the card queue
}

int Library::compensation(int g, int s, int a, int32_t count) {
  return compensationStep(comp[s], compTrack[g][s], pulsePos[a].load(std::memory_order_relaxed),
                          count);
}

void Library::pulseOutput() {
  int32_t blocks[kGroups][kSlots];
  bool popped[kGroups];
  bool anyPopped = false;
  for (int g = 0; g < kGroups; ++g) {
    popped[g] = tableGroupOk(g) && pulseQueues[g].pop(blocks[g]);
    if (!popped[g]) std::fill(std::begin(blocks[g]), std::end(blocks[g]), 0);
    anyPopped = anyPopped || popped[g];
  }
  if (!anyPopped) {
    outputIdle.store(kRaised, std::memory_order_release);
    modeCmd[kOutputDone].store(kRaised, std::memory_order_release);
    return;
  }
  outputIdle.store(0, std::memory_order_release);
  for (int g = 0; g < kGroups; ++g) {
    for (int s = 0; s < kSlots; ++s) {
      int32_t v = blocks[g][s];
      if (std::abs(int64_t{v}) > maxPulse[s]) setLatch(Latch::PulseOverMaximum);
      if (std::abs(int64_t{v} - lastCount[g][s]) > maxAcc[s]) setLatch(Latch::ChangeOverMaximum);
      lastCount[g][s] = v;
    }
  }
  bool compActive = false;
  for (auto& c : comp)
    compActive = compActive || c.dwInterval != 0;
  // The commanded counts, and the compensation that goes to the axis on
  // top of them: it is not part of the pulse position the planner follows,
  // or its end-point correction would take it back out.
  int64_t sum[kMachineAxes]{};
  int64_t compSum[kMachineAxes]{};
  bool due[kMachineAxes]{};
  for (int g = 0; g < kGroups; ++g) {
    if (!popped[g]) continue;
    int card = table[g].card.load(std::memory_order_relaxed);
    for (int s = 0; s < kSlots; ++s) {
      int ax = table[g].axis[s].load(std::memory_order_relaxed);
      if (ax < 0 || ax >= kAxesPerCard) continue;
      int a = card * kAxesPerCard + ax;
      const int32_t v = blocks[g][s];
      if (compActive) compSum[a] += compensation(g, s, a, v);
      sum[a] += v;
      due[a] = true;
    }
  }
  for (int a = 0; a < kMachineAxes; ++a) {
    if (!due[a]) continue;
    if (dryRun) {
      dryPos[a].fetch_add(static_cast<int32_t>(sum[a]), std::memory_order_relaxed);
      continue;
    }
    emit(a, sum[a], compSum[a]);
  }
  if (VNL_PeriodObserver f = periodObserver.load(std::memory_order_acquire))
    f(periodObserverUser.load(std::memory_order_relaxed));
}

void Library::emit(int a, int64_t count, int64_t extra) {
  if (pulseEnable[a].load(std::memory_order_relaxed) != 1) return;
  const int64_t output = count + extra;
  if (onCards()) {
    const int32_t sent = cards::sendable(output);
    count -= output - sent;
    if (cards::maySend(limitMode.load(std::memory_order_relaxed),
                       limitState[a].load(std::memory_order_relaxed), sent,
                       reversed[a].load(std::memory_order_relaxed) != 0))
      cardPath->send(a / kAxesPerCard, a % kAxesPerCard, sent);
  } else {
    simFeedback[a].fetch_add(static_cast<int32_t>(output), std::memory_order_relaxed);
  }
  pulsePos[a].fetch_add(static_cast<int32_t>(count), std::memory_order_release);
}

void Library::inPosition(int g) {
  int card = table[g].card.load(std::memory_order_relaxed);
  for (int s = 0; s < kSlots; ++s) {
    int ax = table[g].axis[s].load(std::memory_order_relaxed);
    if (ax < 0 || ax >= kAxesPerCard) continue;
    int a = card * kAxesPerCard + ax;
    int32_t encv =
        simOut.load(std::memory_order_relaxed) ? simFeedback[a].load() : encoder[a].load();
    int32_t e = std::abs(errCounter[a].load(std::memory_order_relaxed));
    int t = tol[g][s];
    if (e < t) {
      inPosFlag[g][s].store(std::abs(int64_t{encv} - lastEnc[g][s]) <= t ? kRaised : 0,
                            std::memory_order_release);
      lastEnc[g][s] = encv;
    } else {
      inPosFlag[g][s].store(0, std::memory_order_release);
    }
  }
}

void Library::dispatch() {
  if (outClearRequest.load(std::memory_order_acquire) == kRaised) {
    latch.store(0, std::memory_order_relaxed);
    outErrorFlag.store(0, std::memory_order_relaxed);
    outClearRequest.store(0, std::memory_order_release);
  }
  if (acceptance == -1) evaluateModeCommands();
  bool dryNow = dryRunApi.load(std::memory_order_acquire) == kRaised;
  for (int g = 0; g < kGroups; ++g) {
    for (int s = 0; s < kSlots; ++s) {
      int16_t t = tolApi[g][s].load(std::memory_order_relaxed);
      if (t > 2) tol[g][s] = t;
    }
  }
  for (int a = 0; a < kMachineAxes; ++a)
    pGain[a] = pGainApi[a].load(std::memory_order_relaxed);
  bool served = false;
  if (reqPending.load(std::memory_order_acquire) == kRaised) {
    reqPending.store(0, std::memory_order_relaxed);
    reqDone.store(0, std::memory_order_relaxed);
    serveRequest();
    served = true;
  }
  if (dryNow != dryRun) {
    if (dryNow) {
      for (int a = 0; a < kMachineAxes; ++a) {
        savedPos[a] = pulsePos[a].load(std::memory_order_relaxed);
        dryPos[a].store(savedPos[a], std::memory_order_relaxed);
      }
    } else {
      for (int a = 0; a < kMachineAxes; ++a)
        pulsePos[a].store(savedPos[a], std::memory_order_release);
    }
    dryRun = dryNow;
  }
  switch (mode.load(std::memory_order_relaxed)) {
    case kIdle:
      for (int g = 0; g < kGroups; ++g) {
        if (definePosFlag[g].exchange(0, std::memory_order_acq_rel) == kRaised) definePosition(g);
      }
      break;
    case kRunning:
      pulseOutput();
      break;
    case kStopping:
      if (homingRun.stopping && homingStopPass()) break;
      resetOutput();
      break;
    case kHoming:
      // One engine pass per cycle: the card queue drains one entry per period.
      if (!homingRanThisCycle) homingPass();
      homingRanThisCycle = true;
      break;
    case kHolding:
      mode.store(kHeld, std::memory_order_release);
      acceptance = -1;
      break;
    default:
      break;
  }
  bool read[kMachineAxes]{};  // each axis's counters once, however many groups share it
  for (int g = 0; g < kGroups; ++g) {
    if (!tableGroupOk(g)) continue;
    if (onCards()) {
      const int c = table[g].card.load(std::memory_order_relaxed);
      for (auto& slot : table[g].axis) {
        const int ax = slot.load(std::memory_order_relaxed);
        if (ax < 0 || ax >= kAxesPerCard) continue;
        if (std::exchange(read[c * kAxesPerCard + ax], true)) continue;
        const int a = c * kAxesPerCard + ax;
        int32_t position = 0;
        int32_t error = 0;
        cardPath->encoder(c, ax, position);  // a refused read counts as 0
        // Only a closed-loop axis has its error counter enabled: an open-loop
        // axis's counter stays 0, and reading it would cost two accesses.
        if (closedLoop[a].load(std::memory_order_relaxed) != 0)
          cardPath->errorCounter(c, ax, error);
        encoder[a].store(position, std::memory_order_relaxed);
        errCounter[a].store(error, std::memory_order_relaxed);
      }
    }
    inPosition(g);
  }
  if (served) reqDone.store(kRaised, std::memory_order_release);
}

bool Library::clearOutputError(bool always) {
  if (!always && outErrorFlag.load(std::memory_order_acquire) == 0) return true;
  if (!dispatching()) {
    latch.store(0, std::memory_order_relaxed);
    outErrorFlag.store(0, std::memory_order_relaxed);
    outClearRequest.store(0, std::memory_order_release);
    return true;
  }
  outClearRequest.store(kRaised, std::memory_order_release);
  return poll([&] { return outClearRequest.load(std::memory_order_acquire) == 0; }, 0);
}

}  // namespace vnl
