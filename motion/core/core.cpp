// Library frame, output layer, configuration, status and compensation of varnelpci.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "card_path.h"
#include "planner_seam.h"
#include "platform/clock/clock.h"
#include "varnelpci.h"

namespace vnl {

void PlannerStep::step(int group) {
  // No planner yet: take every handshake so that the interface layer's waits return.
  GroupHandshake& h = tables_.handshakes[group];
  if (h.paramRequest.load(std::memory_order_acquire) == 255) {
    h.paramAck.store(0, std::memory_order_relaxed);
    h.paramRequest.store(0, std::memory_order_release);
    h.paramAck.store(255, std::memory_order_release);
  }
  if (h.clearErrorRequest.load(std::memory_order_acquire) == 255) {
    h.errorByte.store(0, std::memory_order_relaxed);
    h.clearErrorRequest.store(0, std::memory_order_release);
  }
  if (h.resetRequest.load(std::memory_order_acquire) == 255) reset(group);
  h.startFlag.store(0, std::memory_order_release);
}

void PlannerStep::reset(int group) {
  GroupHandshake& h = tables_.handshakes[group];
  h.errorByte.store(0, std::memory_order_relaxed);
  h.motionState.store(1, std::memory_order_relaxed);
  h.readyFlag.store(255, std::memory_order_relaxed);
  h.drainedFlag.store(255, std::memory_order_relaxed);
  h.resetRequest.store(0, std::memory_order_release);
}

namespace {

enum Mode : uint8_t {
  kIdle = 1,
  kRunning = 2,
  kHeld = 3,
  kStopping = 4,
  kHolding = 5,
  kHoming = 6
};
enum Cmd { kStartOutput, kHold, kStartHoming, kStop, kResume, kOutputDone, kHomingDone, kCmdCount };

MACHINE_PARAM defaultParam() {
  MACHINE_PARAM p{};
  p.wRPM = 1000;
  p.dwPPR = 1000;
  p.dfPitch = 1.0;
  p.dfGearRatio = 1.0;
  p.dfHighLimit = 10000000.0;
  p.dfLowLimit = -10000000.0;
  p.wPulseWidth = 64;
  p.HomeConfig.wPhase1Dir = 1;
  p.wOverTravelUpSensorMode = 2;
  p.wOverTravelDownSensorMode = 2;
  return p;
}

bool finite(double v) {
  return std::isfinite(v);
}

struct GroupConfig {
  std::atomic<int32_t> inUse{-1};
  std::atomic<int16_t> card{0};
  std::atomic<int16_t> axis[kSlots];
};

// All state of the library.
struct Library {
  // frame
  std::atomic<uint8_t> hwReady{0};
  std::atomic<uint8_t> runState{0};
  std::atomic<double> interpTime{10.0};
  int cardCount = 0;
  int16_t cardType[kCards]{};
  std::atomic<uint8_t> simApi{0};
  std::atomic<uint8_t> simOut{0};
  std::atomic<uint32_t> apiError[kGroups]{};
  MotionCommand* storage = nullptr;
  PulseQueue pulseQueues[kGroups];
  GroupHandshake handshakes[kGroups];
  std::mutex mailboxLock;
  std::atomic<uint8_t> reqCode{0};
  std::atomic<uint16_t> reqValue{0};
  std::atomic<uint32_t> reqData{0};
  std::atomic<uint8_t> reqPending{0};
  std::atomic<uint8_t> reqDone{0};
  PlannerStep defaultPlanner;
  PlannerStep* planner = &defaultPlanner;

  // configuration
  MACHINE_PARAM param[kAxes];
  bool paramSet[kAxes]{};
  GroupConfig config[kGroups];  // interface layer's copy
  GroupConfig table[kGroups];   // output layer's group table
  std::atomic<int32_t> coordType[kGroups];
  std::atomic<double> unitFactor[kGroups];
  std::atomic<uint8_t> otCheck[kGroups][kSlots];
  std::atomic<double> refPos[kGroups];
  std::atomic<double> sysMaxSpeed{0.0};
  std::atomic<int32_t> maxPulseApi[kSlots];
  std::atomic<int32_t> maxAccApi[kSlots];
  std::atomic<uint8_t> dryRunApi{0};
  std::atomic<uint16_t> pGainApi[kAxes];
  std::atomic<int16_t> tolApi[kGroups][kSlots];
  std::atomic<uint16_t> inPosTime[kGroups];
  COMP_PARAM compApi[kSlots]{};

  // output layer
  std::atomic<int16_t> otUp[kAxes], otDown[kAxes], home[kAxes];
  // sensor levels: over-travel 0 or 1 (2 = not used), home 0 or 1
  std::atomic<int16_t> levelUp[kAxes], levelDown[kAxes], levelHome[kAxes];
  std::atomic<uint8_t> reversed[kAxes];  // the axis's direction-reverse flag
  std::atomic<int32_t> lastOutputPulse[kAxes];
  // encoder index latches of axes 0..5, shared by all cards (homing)
  std::atomic<int32_t> indexLatch[kSlots];
  std::atomic<uint8_t> indexFound[kSlots];
  std::atomic<uint8_t> limitState[kAxes], tripped[kAxes], direction[kAxes];
  std::atomic<uint8_t> limitMode{0};
  std::atomic<uint8_t> pulseEnable[kAxes];
  std::atomic<int16_t> stock[kAxes];
  std::atomic<int32_t> encoder[kAxes], errCounter[kAxes];
  std::atomic<int32_t> pulsePos[kAxes];
  std::atomic<int32_t> simFeedback[kAxes];
  std::atomic<int32_t> dryPos[kAxes];
  int32_t savedPos[kAxes]{};
  int32_t maxPulse[kSlots]{}, maxAcc[kSlots]{};
  uint16_t pGain[kAxes]{};
  uint16_t gainShift[kAxes]{};
  int16_t tol[kGroups][kSlots]{};
  std::atomic<uint8_t> inPosFlag[kGroups][kSlots];
  int32_t lastEnc[kGroups][kSlots]{};
  std::atomic<uint8_t> inPosEnabled[kGroups];
  std::atomic<uint8_t> mode{kIdle};
  int acceptance = -1;
  std::atomic<uint8_t> latch{0};
  std::atomic<uint8_t> outErrorFlag{0};
  std::atomic<uint8_t> outClearRequest{0};
  std::atomic<uint8_t> modeCmd[kCmdCount];
  std::atomic<uint8_t> outputIdle{255};
  std::atomic<uint8_t> suspendStep{0};
  std::atomic<uint8_t> definePosFlag[kGroups];
  int32_t lastCount[kGroups][kSlots]{};
  bool dryRun = false;
  // compensation in the output layer
  COMP_PARAM comp[kSlots]{};
  int compDir[kGroups][kSlots]{};
  int32_t compLast[kGroups][kSlots]{};

  // routines
  std::atomic<VNL_CycleRoutine> cycleRoutine{nullptr};
  std::atomic<VNL_Routine> lio[kCards], enc[kCards], adc[kCards], pcl[kCards];

  Library() {
    for (int a = 0; a < kAxes; ++a)
      param[a] = defaultParam();
    for (auto& g : config) {
      for (auto& s : g.axis)
        s.store(-1);
    }
    for (auto& g : table) {
      for (auto& s : g.axis)
        s.store(6);
    }
    resetApiSettings();
  }

  SharedTables tables() {
    return SharedTables{pulseQueues, handshakes, pulsePos, &outputIdle, &modeCmd[kStartOutput],
                        storage};
  }

  void resetApiSettings() {
    for (int g = 0; g < kGroups; ++g) {
      coordType[g].store(1);
      unitFactor[g].store(1.0);
      refPos[g].store(0.0);
      inPosTime[g].store(1);
      for (int s = 0; s < kSlots; ++s) {
        otCheck[g][s].store(0);
        tolApi[g][s].store(2);
      }
      apiError[g].store(0);
    }
    for (int s = 0; s < kSlots; ++s) {
      maxPulseApi[s].store(30000);
      maxAccApi[s].store(3000);
    }
    for (auto& g : pGainApi)
      g.store(64);
    dryRunApi.store(0);
  }

  bool ready() {
    if (hwReady.load(std::memory_order_acquire) == 1 &&
        runState.load(std::memory_order_acquire) == 1)
      return true;
    for (auto& e : apiError)
      e.store(VNL_ERRWORD_NOT_READY, std::memory_order_relaxed);
    return false;
  }

  bool groupOk(unsigned g) {
    return g < kGroups && config[g].inUse.load(std::memory_order_acquire) == 0;
  }
  bool tableGroupOk(int g) {
    return table[g].inUse.load(std::memory_order_relaxed) == 0 &&
           table[g].card.load(std::memory_order_relaxed) < cardCount;
  }

  void waitRoutine(double ms) {
    if (simApi.load(std::memory_order_acquire)) simulatedCycle();
    platform::clock().sleepMs(ms);
  }

  // Wait until pred holds; limit 0 means no limit. Returns false on time-out.
  template <class P>
  bool poll(P pred, int limit) {
    for (int n = 0; !pred(); ++n) {
      if (limit && n >= limit) return false;
      waitRoutine(1);
    }
    return true;
  }

  int32_t post(uint8_t code, uint16_t value, uint32_t data) {
    if (!ready()) return -1;
    std::lock_guard<std::mutex> lock(mailboxLock);
    reqCode.store(code, std::memory_order_relaxed);
    reqValue.store(value, std::memory_order_relaxed);
    reqData.store(data, std::memory_order_relaxed);
    reqDone.store(0, std::memory_order_relaxed);
    reqPending.store(255, std::memory_order_release);
    bool ok = poll(
        [&] {
          return reqPending.load(std::memory_order_acquire) == 0 &&
                 reqDone.load(std::memory_order_acquire) == 255;
        },
        50);
    return ok ? 0 : -3;
  }

  void clearOutputError() {
    if (outErrorFlag.load(std::memory_order_acquire) == 0) return;
    outClearRequest.store(255, std::memory_order_release);
    poll([&] { return outClearRequest.load(std::memory_order_acquire) == 0; }, 0);
  }

  // ---------------- output layer ----------------
  void resetOutput() {
    for (int s = 0; s < kSlots; ++s) {
      maxPulse[s] = 30000;
      maxAcc[s] = 3000;
    }
    for (int a = 0; a < kAxes; ++a) {
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
    outputIdle.store(255, std::memory_order_release);
    reqDone.store(0, std::memory_order_relaxed);
    acceptance = -1;
    mode.store(kIdle, std::memory_order_release);
  }

  bool onCards() const { return simOut.load(std::memory_order_relaxed) == 0; }

  // The sensor levels and output parameters of every axis of the open cards.
  void takeSensorLevels() {
    for (int a = 0; a < kAxes; ++a) {
      levelUp[a].store(param[a].wOverTravelUpSensorMode, std::memory_order_relaxed);
      levelDown[a].store(param[a].wOverTravelDownSensorMode, std::memory_order_relaxed);
      levelHome[a].store(param[a].HomeConfig.wSensorMode, std::memory_order_relaxed);
      reversed[a].store(param[a].wDirReverse != 0 ? 1 : 0, std::memory_order_relaxed);
    }
  }
  void writeOutputParams() {
    for (int c = 0; c < cardCount; ++c)
      for (int a = 0; a < 6; ++a)
        cards::writeOutputParams(c, a, param[c * 6 + a]);
  }

  // Empties the group's card queues and restarts their channels.
  void flushGroup(int g) {
    const int card = table[g].card.load(std::memory_order_relaxed);
    if (card >= cardCount || !onCards()) return;
    for (auto& slot : table[g].axis) {
      const int ax = slot.load(std::memory_order_relaxed);
      if (ax >= 0 && ax < 6) cards::flushAxis(card, ax);
    }
  }

  // The part of the cycle that reads and guards the cards: sensor sampling,
  // directions, limit states and the limit stop.
  void sampleCards() {
    for (int c = 0; c < cardCount; ++c) {
      for (int ax = 0; ax < 6; ++ax) {
        const int a = c * 6 + ax;
        const int16_t up = levelUp[a].load(std::memory_order_relaxed);
        const int16_t down = levelDown[a].load(std::memory_order_relaxed);
        // One read per sensor and cycle serves both the sensor words and the limit states.
        const bool upActive = cards::overTravelUp(c, ax, up);
        const bool downActive = cards::overTravelDown(c, ax, down);
        otUp[a].store(upActive ? 1 : 0, std::memory_order_relaxed);
        otDown[a].store(downActive ? 1 : 0, std::memory_order_relaxed);
        home[a].store(
            cards::homeSensor(c, ax, levelHome[a].load(std::memory_order_relaxed)) ? 1 : 0,
            std::memory_order_relaxed);
        const bool upLimit = (up == 0 || up == 1) && upActive;
        const bool downLimit = (down == 0 || down == 1) && downActive;
        limitState[a].store(cards::limitState(upLimit, downLimit), std::memory_order_relaxed);
        tripped[a].store(upLimit || downLimit ? 1 : 0, std::memory_order_relaxed);
      }
    }
    if (!dryRun) {
      for (int g = 0; g < kGroups; ++g) {
        if (!tableGroupOk(g)) continue;
        const int c = table[g].card.load(std::memory_order_relaxed);
        for (auto& slot : table[g].axis) {
          const int ax = slot.load(std::memory_order_relaxed);
          if (ax < 0 || ax >= 6) continue;
          const int a = c * 6 + ax;
          int32_t now = 0;
          if (!cards::outputPulses(c, ax, now)) continue;
          const int32_t before = lastOutputPulse[a].exchange(now, std::memory_order_relaxed);
          direction[a].store(
              cards::direction(before, now, reversed[a].load(std::memory_order_relaxed)),
              std::memory_order_relaxed);
        }
      }
    }
    const uint8_t check = limitMode.load(std::memory_order_relaxed);
    if (check == 0) return;
    for (int c = 0; c < cardCount; ++c)
      for (int ax = 0; ax < 6; ++ax) {
        const int a = c * 6 + ax;
        if (cards::stopsAxis(check, limitState[a].load(std::memory_order_relaxed),
                             direction[a].load(std::memory_order_relaxed)))
          cards::stopAxis(c, ax);
      }
  }

  // The cycle routine on card 0's interrupt thread, once per period.
  void cardCycle() {
    if (VNL_CycleRoutine r = cycleRoutine.load(std::memory_order_acquire)) r();
    simOut.store(0, std::memory_order_relaxed);
    if (runState.load(std::memory_order_acquire) == 0) return;
    sampleCards();
    bool due = false;
    for (int pass = 0; pass < 2; ++pass) {
      for (int g = 0; g < kGroups; ++g) {
        if (!tableGroupOk(g)) continue;
        const int c = table[g].card.load(std::memory_order_relaxed);
        int first = -1;
        for (auto& slot : table[g].axis) {
          const int ax = slot.load(std::memory_order_relaxed);
          if (ax >= 0 && ax < 6) {
            first = ax;
            break;
          }
        }
        if (first < 0) continue;
        due = true;
        if (cards::stock(c, first) >= 63) continue;
        if (suspendStep.load(std::memory_order_acquire) != 1) planner->step(g);
      }
      if (due) dispatch();
    }
    for (int c = 0; c < cardCount; ++c)
      for (int ax = 0; ax < 6; ++ax)
        stock[c * 6 + ax].store(static_cast<int16_t>(cards::stock(c, ax)),
                                std::memory_order_relaxed);
  }

  // An encoder group's latch events (flags 3..5) record the index latch of
  // the first channel whose event is set, then the application's routine runs.
  void encoderEvent(int card, int firstChannel, uint8_t* flags) {
    for (int i = 0; i < 3; ++i) {
      if (flags[3 + i] == 0) continue;
      int32_t v = 0;
      QORA_ENC_GetLatchValue(static_cast<uint16_t>(firstChannel + i), &v,
                             static_cast<uint16_t>(card));
      indexLatch[firstChannel + i].store(v, std::memory_order_relaxed);
      indexFound[firstChannel + i].store(255, std::memory_order_release);
      break;
    }
    if (VNL_Routine r = enc[card].load(std::memory_order_acquire)) r(flags);
  }

  void setLatch(uint8_t v) {
    latch.store(v, std::memory_order_relaxed);
    outErrorFlag.store(255, std::memory_order_release);
  }

  void evaluateModeCommands() {
    bool raised[kCmdCount];
    bool any = false;
    for (int c = 0; c < kCmdCount; ++c) {
      raised[c] = modeCmd[c].exchange(0, std::memory_order_acq_rel) == 255;
      any = any || raised[c];
    }
    if (!any) return;
    int cmd = -1;
    if (raised[kOutputDone]) cmd = kOutputDone;
    if (raised[kHomingDone]) cmd = kHomingDone;
    for (int c : {kStartHoming, kStartOutput, kHold, kResume}) {
      if (!raised[c]) continue;
      if (cmd == kStartHoming || cmd == kStartOutput || cmd == kHold || cmd == kResume) {
        setLatch(2);
      } else {
        cmd = c;
      }
    }
    if (raised[kStop]) cmd = kStop;
    uint8_t m = mode.load(std::memory_order_relaxed);
    auto set = [&](uint8_t next) { mode.store(next, std::memory_order_release); };
    if (m == kIdle && cmd == kStartOutput)
      set(kRunning);
    else if (m == kIdle && cmd == kStartHoming)
      set(kHoming);
    else if (m == kIdle && cmd == kStop) {
      resetOutput();
      if (onCards()) {
        for (int g = 0; g < kGroups; ++g) {
          if (!tableGroupOk(g)) continue;
          flushGroup(g);
          planner->reset(g);
        }
        for (int c = 0; c < cardCount; ++c)
          for (int ax = 0; ax < 6; ++ax)
            cards::restartPulseCounter(c, ax);
      }
    } else if (m == kRunning && cmd == kStartOutput) {
    } else if (m == kRunning && cmd == kHold) {
      set(kHolding);
      acceptance = 1;
    } else if ((m == kRunning || m == kHeld || m == kHoming) && cmd == kStop) {
      set(kStopping);
      acceptance = 1;
    } else if (m == kRunning && cmd == kOutputDone)
      set(kIdle);
    else if (m == kHeld && cmd == kHold) {
    } else if (m == kHeld && cmd == kResume)
      set(kRunning);
    else if (m == kHoming && cmd == kStartHoming) {
    } else if (m == kHoming && cmd == kHomingDone)
      set(kIdle);
    else
      setLatch(1);
  }

  void serveRequest() {
    uint16_t value = reqValue.load(std::memory_order_relaxed);
    uint8_t code = reqCode.load(std::memory_order_relaxed);
    if (simOut.load(std::memory_order_relaxed)) return;  // requests are ignored in simulation
    switch (code) {
      case 5:
        for (int s = 0; s < kSlots; ++s)
          maxPulse[s] = maxPulseApi[s].load(std::memory_order_relaxed);
        break;
      case 6:
        for (int s = 0; s < kSlots; ++s)
          maxAcc[s] = maxAccApi[s].load(std::memory_order_relaxed);
        break;
      case 12:
        limitMode.store(value ? 2 : 1, std::memory_order_relaxed);
        break;
      case 13:
        limitMode.store(0, std::memory_order_relaxed);
        break;
      case 14:
      case 15:
        if (value < kGroups) {
          if (code == 15) {
            flushGroup(value);
            planner->reset(value);
          }
          for (auto& s : table[value].axis) {
            int a = s.load(std::memory_order_relaxed);
            if (a < 6) pulseEnable[table[value].card.load() * 6 + a].store(code == 14 ? 1 : 0);
          }
        }
        break;
      case 1:
        if (value < cardCount)
          for (int ax = 0; ax < 6; ++ax) {
            const int a = value * 6 + ax;
            if (pGain[a] >= 1 && pGain[a] <= 127)
              QORA_PCL_SetScaleGain(static_cast<uint16_t>(ax), pGain[a],
                                    static_cast<int16_t>(gainShift[a]), value);
          }
        break;
      case 2:
        for (int c = 0; c < cardCount; ++c)
          QORA_DDA_SetTime(static_cast<float>(interpTime.load()), 5, static_cast<uint16_t>(c));
        break;
      case 3: {
        float t = 0.0f;
        if (cardCount > 0 && QORA_DDA_GetTime(&t, 0) != 0) interpTime.store(t);
        break;
      }
      case 4:
        for (int c = 0; c < cardCount; ++c)
          QORA_ResetModule(QORA_MODULE_CHIP, static_cast<uint16_t>(c));
        break;
      case 8:
        QORA_LIO_EnablePrdy(value);
        break;
      case 9:
        QORA_LIO_DisablePrdy(value);
        break;
      case 10:
        QORA_LIO_ServoOn(static_cast<uint16_t>(value % 6), static_cast<uint16_t>(value / 6));
        break;
      case 11:
        QORA_LIO_ServoOff(static_cast<uint16_t>(value % 6), static_cast<uint16_t>(value / 6));
        break;
      default:
        setLatch(3);
        break;
    }
  }

  int compensation(int g, int s, int a, int32_t count) {
    const COMP_PARAM& c = comp[s];
    if (c.dwInterval <= 0) return 0;
    if (count != 0) compDir[g][s] = count >= 1 ? 1 : -1;
    const int16_t* tab = compDir[g][s] < 0 ? c.wNegative : c.wPositive;
    int64_t f = pulsePos[a].load(std::memory_order_relaxed);
    int64_t h = f / c.dwInterval;
    int64_t m = std::clamp<int64_t>(c.wZeroIndex + h, 0, 255);
    int64_t ni = (h >= 0) ? m + 1 : m - 1;
    if (h == 0) ni = m + 1;
    double o = tab[m];
    double n = (ni < 0 || ni >= 255) ? 0.0 : tab[ni];
    int32_t u =
        static_cast<int32_t>(o + (n - o) / c.dwInterval * std::fabs(double(f - h * c.dwInterval)));
    int32_t add = u - compLast[g][s];
    compLast[g][s] = u;
    return add;
  }

  void pulseOutput() {
    int32_t blocks[kGroups][kSlots];
    bool popped[kGroups];
    bool anyPopped = false;
    for (int g = 0; g < kGroups; ++g) {
      popped[g] = tableGroupOk(g) && pulseQueues[g].pop(blocks[g]);
      if (!popped[g]) std::fill(std::begin(blocks[g]), std::end(blocks[g]), 0);
      anyPopped = anyPopped || popped[g];
    }
    if (!anyPopped) {
      outputIdle.store(255, std::memory_order_release);
      modeCmd[kOutputDone].store(255, std::memory_order_release);
      return;
    }
    outputIdle.store(0, std::memory_order_release);
    for (int g = 0; g < kGroups; ++g) {
      for (int s = 0; s < kSlots; ++s) {
        int32_t v = blocks[g][s];
        if (std::abs(int64_t{v}) > maxPulse[s]) setLatch(7);
        if (std::abs(int64_t{v} - lastCount[g][s]) > maxAcc[s]) setLatch(8);
        lastCount[g][s] = v;
      }
    }
    bool compActive = false;
    for (auto& c : comp)
      compActive = compActive || c.dwInterval != 0;
    int64_t sum[kAxes]{};
    bool due[kAxes]{};
    for (int g = 0; g < kGroups; ++g) {
      if (!popped[g]) continue;
      int card = table[g].card.load(std::memory_order_relaxed);
      for (int s = 0; s < kSlots; ++s) {
        int ax = table[g].axis[s].load(std::memory_order_relaxed);
        if (ax < 0 || ax >= 6) continue;
        int a = card * 6 + ax;
        int32_t v = blocks[g][s];
        if (compActive) v += compensation(g, s, a, v);
        sum[a] += v;
        due[a] = true;
      }
    }
    for (int a = 0; a < kAxes; ++a) {
      if (!due[a]) continue;
      if (dryRun) {
        dryPos[a].fetch_add(static_cast<int32_t>(sum[a]), std::memory_order_relaxed);
        continue;
      }
      if (pulseEnable[a].load(std::memory_order_relaxed) != 1) continue;
      const auto count = static_cast<int32_t>(sum[a]);
      if (onCards()) {
        if (cards::maySend(limitMode.load(std::memory_order_relaxed),
                           limitState[a].load(std::memory_order_relaxed), count,
                           reversed[a].load(std::memory_order_relaxed) != 0))
          cards::send(a / 6, a % 6, count);
      } else {
        // Simulation: the count becomes the simulated feedback.
        simFeedback[a].fetch_add(count, std::memory_order_relaxed);
      }
      pulsePos[a].fetch_add(count, std::memory_order_release);
    }
  }

  void inPosition(int g) {
    int card = table[g].card.load(std::memory_order_relaxed);
    for (int s = 0; s < kSlots; ++s) {
      int ax = table[g].axis[s].load(std::memory_order_relaxed);
      if (ax < 0 || ax >= 6) continue;
      int a = card * 6 + ax;
      int32_t encv =
          simOut.load(std::memory_order_relaxed) ? simFeedback[a].load() : encoder[a].load();
      int32_t e = std::abs(errCounter[a].load(std::memory_order_relaxed));
      int t = tol[g][s];
      if (e < t) {
        inPosFlag[g][s].store(std::abs(int64_t{encv} - lastEnc[g][s]) <= t ? 255 : 0,
                              std::memory_order_release);
        lastEnc[g][s] = encv;
      } else {
        inPosFlag[g][s].store(0, std::memory_order_release);
      }
    }
  }

  void definePosition(int g);

  void dispatch() {
    if (outClearRequest.load(std::memory_order_acquire) == 255) {
      latch.store(0, std::memory_order_relaxed);
      outErrorFlag.store(0, std::memory_order_relaxed);
      outClearRequest.store(0, std::memory_order_release);
    }
    if (acceptance == -1) evaluateModeCommands();
    bool dryNow = dryRunApi.load(std::memory_order_acquire) == 255;
    for (int g = 0; g < kGroups; ++g) {
      for (int s = 0; s < kSlots; ++s) {
        int16_t t = tolApi[g][s].load(std::memory_order_relaxed);
        if (t > 2) tol[g][s] = t;
      }
    }
    for (int a = 0; a < kAxes; ++a)
      pGain[a] = pGainApi[a].load(std::memory_order_relaxed);
    bool served = false;
    if (reqPending.load(std::memory_order_acquire) == 255) {
      reqPending.store(0, std::memory_order_relaxed);
      reqDone.store(0, std::memory_order_relaxed);
      serveRequest();
      served = true;
    }
    if (dryNow != dryRun) {
      if (dryNow) {
        for (int a = 0; a < kAxes; ++a) {
          savedPos[a] = pulsePos[a].load(std::memory_order_relaxed);
          dryPos[a].store(savedPos[a], std::memory_order_relaxed);
        }
      } else {
        for (int a = 0; a < kAxes; ++a)
          pulsePos[a].store(savedPos[a], std::memory_order_release);
      }
      dryRun = dryNow;
    }
    switch (mode.load(std::memory_order_relaxed)) {
      case kIdle:
        for (int g = 0; g < kGroups; ++g) {
          if (definePosFlag[g].exchange(0, std::memory_order_acq_rel) == 255) definePosition(g);
        }
        break;
      case kRunning:
        pulseOutput();
        break;
      case kStopping:
        resetOutput();
        break;
      case kHolding:
        mode.store(kHeld, std::memory_order_release);
        acceptance = -1;
        break;
      default:
        break;
    }
    for (int g = 0; g < kGroups; ++g) {
      if (!tableGroupOk(g)) continue;
      if (onCards()) {
        const int c = table[g].card.load(std::memory_order_relaxed);
        for (auto& slot : table[g].axis) {
          const int ax = slot.load(std::memory_order_relaxed);
          if (ax < 0 || ax >= 6) continue;
          encoder[c * 6 + ax].store(cards::encoder(c, ax), std::memory_order_relaxed);
          errCounter[c * 6 + ax].store(cards::errorCounter(c, ax), std::memory_order_relaxed);
        }
      }
      inPosition(g);
    }
    if (served) reqDone.store(255, std::memory_order_release);
  }

  void simulatedCycle() {
    if (runState.load(std::memory_order_acquire) == 0 || !simOut.load(std::memory_order_acquire))
      return;
    for (int pass = 0; pass < 2; ++pass) {
      for (int g = 0; g < kGroups; ++g) {
        if (tableGroupOk(g) && !suspendStep.load(std::memory_order_acquire)) planner->step(g);
      }
      dispatch();
    }
  }

  int32_t hardwareInit() {
    for (auto& q : pulseQueues)
      q.clear();
    takeSensorLevels();
    for (int c = 0; c < cardCount && onCards(); ++c) {
      if (!cards::open(c, cardType[c], routinesOf(c))) {
        // The cards opened so far are closed again, so a later initialisation can open them.
        for (int k = 0; k < c; ++k)
          cards::close(k);
        return -1;
      }
    }
    resetOutput();
    if (onCards()) {
      cards::initialise(cardCount, interpTime.load());
      writeOutputParams();
    }
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
    if (onCards()) cards::start(cardCount);
    for (int a = 0; a < kAxes; ++a) {
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

  static cards::CardRoutines routinesOf(int card);

  void setGroup(int g, int card, std::initializer_list<int16_t> axes) {
    for (GroupConfig* c : {&config[g], &table[g]}) {
      c->inUse.store(0);
      c->card.store(static_cast<int16_t>(card));
      int s = 0;
      for (int16_t a : axes)
        c->axis[s++].store(a);
    }
  }

  double unitsPerPulse(int a, int g) {
    const MACHINE_PARAM& p = param[a];
    double v = p.dfPitch / (double(p.dwPPR) * p.dfGearRatio * unitFactor[g].load());
    return p.wDirReverse ? -v : v;
  }
};

Library& lib() {
  static Library instance;
  return instance;
}

// The routines each card's interrupt thread calls: the cycle routine on
// card 0, and per card the trampolines to the application's routines.
void cycleTrampoline(uint8_t*) {
  lib().cardCycle();
}
template <int Card>
void adcTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().adc[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card>
void lioTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().lio[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card>
void pclTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().pcl[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card, int FirstChannel>
void encTrampoline(uint8_t* flags) {
  lib().encoderEvent(Card, FirstChannel, flags);
}

template <std::size_t... C>
constexpr std::array<cards::CardRoutines, sizeof...(C)> makeRoutines(std::index_sequence<C...>) {
  return {cards::CardRoutines{C == 0 ? &cycleTrampoline : nullptr, &encTrampoline<int(C), 0>,
                              &encTrampoline<int(C), 3>, &adcTrampoline<int(C)>,
                              &lioTrampoline<int(C)>, &pclTrampoline<int(C)>}...};
}

cards::CardRoutines Library::routinesOf(int card) {
  static constexpr auto table = makeRoutines(std::make_index_sequence<kCards>{});
  return table[card];
}

void Library::definePosition(int g) {
  if (!tableGroupOk(g)) return;
  int card = table[g].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int ax = table[g].axis[s].load();
    if (ax < 0 || ax >= 6) continue;
    int a = card * 6 + ax;
    if (s == 1) refPos[g].store(pulsePos[a].load() * unitsPerPulse(a, g));
  }
}

int16_t axisOf(Library& L, int g, int s) {
  int16_t a = L.config[g].axis[s].load(std::memory_order_relaxed);
  return a;
}

}  // namespace
}  // namespace vnl

using vnl::kGroups;
using vnl::kSlots;
using vnl::lib;

#define VNL_EXPORT extern "C" __attribute__((visibility("default")))

// ---------------- frame ----------------
VNL_EXPORT int32_t VNL_InitSystem(int32_t interpolationMs, const CardConfig* cards,
                                  uint16_t cardCount) {
  if (cardCount > vnl::kCards || (cardCount > 0 && cards == nullptr)) return -5;
  auto& L = lib();
  L.waitRoutine(500);
  L.resetApiSettings();
  for (int a = 0; a < vnl::kAxes; ++a) {
    MACHINE_PARAM& p = L.param[a];
    if (!L.paramSet[a]) {
      ENCODER_CONFIG keep = p.EncoderConfig;
      p = vnl::defaultParam();
      p.EncoderConfig = keep;
      continue;
    }
    if (p.wDirReverse != 0 && p.wDirReverse != 1) p.wDirReverse = 0;
    if (p.wRPM == 0) p.wRPM = 1;
    if (p.dwPPR == 0) p.dwPPR = 1;
    if (!(p.dfPitch > 0)) p.dfPitch = 1.0;
    if (!(p.dfGearRatio > 0)) p.dfGearRatio = 1.0;
    if (p.wPulseMode < 0 || p.wPulseMode > 2) p.wPulseMode = 0;
    if (p.HomeConfig.wType < 0 || p.HomeConfig.wType > 2) p.HomeConfig.wType = 0;
  }
  L.cardCount = cardCount;
  for (int c = 0; c < cardCount; ++c)
    L.cardType[c] = cards[c].wCardType;
  L.interpTime.store(interpolationMs < 0 ? 5.0 : double(interpolationMs));
  if (L.storage == nullptr) {
    // Reserved without touching the pages: resident memory grows only with use.
    L.storage = static_cast<vnl::MotionCommand*>(
        std::calloc(size_t(kGroups) * vnl::kQueueRecords, sizeof(vnl::MotionCommand)));
  }
  L.runState.store(0);
  if (L.hardwareInit() != 0) {
    L.hwReady.store(255);
    return -1;
  }
  L.hwReady.store(1);
  L.planner->attach(L.tables());
  for (int g = 0; g < kGroups; ++g)
    L.planner->reset(g);
  L.runState.store(1, std::memory_order_release);
  return 0;
}

VNL_EXPORT int32_t VNL_init_motion(int32_t param, int32_t interpolationMs, const void* cards,
                                   uint16_t cardCount) {
  if (cardCount > vnl::kCards) return -5;
  if (cardCount > 0 && cards == nullptr) return -5;
  CardConfig cfg[vnl::kCards]{};
  const auto* raw = static_cast<const unsigned char*>(cards);
  for (int c = 0; c < cardCount; ++c) {
    std::memcpy(&cfg[c].wCardType, raw + 8 * c, 2);
    std::memcpy(&cfg[c].wParam1, raw + 8 * c + 2, 2);
    cfg[c].wParam2 = c == 0 ? static_cast<int16_t>(param) : 0;
  }
  return VNL_InitSystem(interpolationMs, cfg, cardCount);
}

VNL_EXPORT int32_t VNL_CloseSystem(void) {
  auto& L = lib();
  if (L.hwReady.load() != 1 || L.runState.load() != 1) return -1;
  for (int g = 0; g < kGroups; ++g)
    L.pulseQueues[g].clear();
  for (int g = 0; g < kGroups; ++g) {
    auto& h = L.handshakes[g];
    if (h.errorByte.load() != 0) {
      h.clearErrorRequest.store(255, std::memory_order_release);
      L.poll([&] { return h.clearErrorRequest.load(std::memory_order_acquire) == 0; }, 0);
    }
  }
  L.clearOutputError();
  for (int g = 0; g < kGroups; ++g) {
    if (!L.tableGroupOk(g)) continue;
    auto& h = L.handshakes[g];
    h.resetRequest.store(255, std::memory_order_release);
    L.poll(
        [&] {
          return h.resetRequest.load(std::memory_order_acquire) == 0 && h.motionState.load() == 1;
        },
        0);
  }
  L.runState.store(2, std::memory_order_release);
  L.modeCmd[vnl::kStop].store(255, std::memory_order_release);
  // In the closing state the simulated cycle still runs so the stop is taken.
  L.poll([&] { return L.modeCmd[vnl::kStop].load() == 0 && L.mode.load() == vnl::kIdle; }, 0);
  if (L.onCards()) {
    for (int c = 0; c < L.cardCount; ++c) {
      const auto card = static_cast<uint16_t>(c);
      QORA_DDA_DisableCycleInt(card);
      QORA_DDA_StopEngine(card);
      platform::clock().sleepMs(100);
      QORA_Close(card);
    }
  }
  L.hwReady.store(0, std::memory_order_release);
  std::free(L.storage);
  L.storage = nullptr;
  return 0;
}

VNL_EXPORT int32_t VNL_GetErrorCode(uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  uint32_t w = L.apiError[group].load();
  if (w != 0) return static_cast<int32_t>(w);
  uint8_t b = L.handshakes[group].errorByte.load(std::memory_order_acquire);
  if (b != 0) {
    if (b >= 0x80 && b <= 0x85) return 0xF301 + (b - 0x80);
    return b == 0x90 ? 0xF401 : 0;
  }
  return L.latch.load(std::memory_order_acquire) == 3 ? VNL_ERRWORD_UNKNOWN_REQUEST : 0;
}

VNL_EXPORT int32_t VNL_ClearError(uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  L.apiError[group].store(0);
  auto& h = L.handshakes[group];
  h.clearErrorRequest.store(255, std::memory_order_release);
  L.poll([&] { return h.clearErrorRequest.load(std::memory_order_acquire) == 0; }, 0);
  L.outClearRequest.store(255, std::memory_order_release);
  L.poll([&] { return L.outClearRequest.load(std::memory_order_acquire) == 0; }, 0);
  return 0;
}

VNL_EXPORT void VNL_EnableSimulation(void) {
  lib().simApi.store(1);
  lib().simOut.store(1, std::memory_order_release);
}
VNL_EXPORT void VNL_DisableSimulation(void) {
  lib().simApi.store(0);
  lib().simOut.store(0, std::memory_order_release);
}
VNL_EXPORT void VNL_SimulationRoutine(void) {
  lib().simulatedCycle();
}
VNL_EXPORT void VNL_TimeDelay(int32_t ms) {
  lib().waitRoutine(ms < 0 ? 0 : ms);
}

// ---------------- routines ----------------
VNL_EXPORT int32_t VNL_SetCycleInterruptRoutine(VNL_CycleRoutine r) {
  if (!r) return -5;
  lib().cycleRoutine.store(r);
  return 0;
}
#define VNL_ROUTINE_SETTER(name, field, check)            \
  VNL_EXPORT int32_t name(VNL_Routine r, uint16_t card) { \
    if (check && !lib().ready()) return -1;               \
    if (!r || card >= vnl::kCards) return -5;             \
    lib().field[card].store(r);                           \
    return 0;                                             \
  }
VNL_ROUTINE_SETTER(VNL_SetLIORoutine, lio, false)
VNL_ROUTINE_SETTER(VNL_SetENCRoutine, enc, false)
VNL_ROUTINE_SETTER(VNL_SetADCRoutine, adc, false)
VNL_ROUTINE_SETTER(VNL_SetPCLRoutine, pcl, true)

VNL_EXPORT uint8_t* VNL_GetIPOCommandFlagPtr(uint16_t group) {
  if (group >= kGroups) return nullptr;
  return reinterpret_cast<uint8_t*>(&lib().handshakes[group].drainedFlag);
}
VNL_EXPORT uint8_t* VNL_GetIPORunFlagPtr(uint16_t group) {
  if (group >= kGroups) return nullptr;
  return reinterpret_cast<uint8_t*>(&lib().handshakes[group].startFlag);
}

// ---------------- configuration ----------------
VNL_EXPORT int32_t VNL_SetMachParam(const MACHINE_PARAM* p, uint16_t axis, uint16_t card) {
  if (axis > 5 || card > 11 || !p) return -5;
  const double d[] = {p->dfPitch,
                      p->dfGearRatio,
                      p->dfHighLimit,
                      p->dfLowLimit,
                      p->dfHighLimitOffset,
                      p->dfLowLimitOffset,
                      p->HomeConfig.dfHomeOffset};
  for (double v : d) {
    if (!vnl::finite(v)) return -5;
  }
  auto& L = lib();
  L.param[card * 6 + axis] = *p;
  L.paramSet[card * 6 + axis] = true;
  return 0;
}

VNL_EXPORT int32_t VNL_GetMachParam(MACHINE_PARAM* p, uint16_t axis, uint16_t card) {
  if (axis > 5 || card > 11 || card * 6 + axis > 71 || !p) return -5;
  int16_t up = p->wOverTravelUpSensorMode, down = p->wOverTravelDownSensorMode;
  *p = lib().param[card * 6 + axis];
  p->wOverTravelUpSensorMode = up;
  p->wOverTravelDownSensorMode = down;
  return 0;
}

VNL_EXPORT int32_t VNL_ResetMotion(void) {
  auto& L = lib();
  if (!L.ready()) return -1;
  for (int g = 0; g < kGroups; ++g)
    L.pulseQueues[g].clear();
  for (int g = 0; g < kGroups; ++g) {
    auto& h = L.handshakes[g];
    if (h.errorByte.load() != 0) {
      h.clearErrorRequest.store(255, std::memory_order_release);
      L.poll([&] { return h.clearErrorRequest.load(std::memory_order_acquire) == 0; }, 0);
    }
  }
  L.clearOutputError();
  for (auto& h : L.handshakes)
    h.resetRequest.store(255, std::memory_order_release);
  L.modeCmd[vnl::kStop].store(255, std::memory_order_release);
  for (auto& r : L.refPos)
    r.store(0.0);
  return 0;
}

VNL_EXPORT int32_t VNL_UpdateMachParam(void) {
  auto& L = lib();
  if (!L.ready()) return -1;
  L.planner->attach(L.tables());
  if (L.onCards()) L.writeOutputParams();
  L.takeSensorLevels();
  return VNL_ResetMotion();
}

VNL_EXPORT int32_t VNL_SetGroupConfig(const int32_t* cfg) {
  if (!cfg) return -5;
  auto& L = lib();
  for (int g = 0; g < kGroups; ++g) {
    const int32_t* rec = cfg + kGroups + g * 7;
    bool bad = rec[0] < 0 || rec[0] > 11;
    for (auto* c : {&L.config[g], &L.table[g]}) {
      c->inUse.store(cfg[g] == 0 && !bad ? 0 : -1, std::memory_order_release);
      if (bad) continue;
      c->card.store(static_cast<int16_t>(rec[0]));
      for (int s = 0; s < kSlots; ++s) {
        int32_t a = rec[1 + s];
        int16_t v = (a >= 0 && a <= 5) ? static_cast<int16_t>(a) : -1;
        c->axis[s].store(c == &L.table[g] && v < 0 ? 6 : v);
      }
    }
  }
  return 0;
}

VNL_EXPORT int32_t VNL_SetGroupContent(uint16_t group, uint16_t card, int16_t x, int16_t y,
                                       int16_t z, int16_t u, int16_t v, int16_t w) {
  if (group > 71 || card > 11) return -5;
  int16_t ax[] = {x, y, z, u, v, w};
  for (int16_t a : ax) {
    if (a > 5) return -5;
  }
  auto& L = lib();
  for (auto* c : {&L.config[group], &L.table[group]}) {
    c->card.store(static_cast<int16_t>(card));
    for (int s = 0; s < kSlots; ++s)
      c->axis[s].store(c == &L.table[group] && ax[s] < 0 ? 6 : ax[s]);
    c->inUse.store(0, std::memory_order_release);
  }
  return 0;
}

VNL_EXPORT int32_t VNL_SetUnit(int32_t type, uint16_t group) {
  auto& L = lib();
  if (!L.groupOk(group)) return -6;
  if (type == 1) L.unitFactor[group].store(1.0);
  if (type == 2) {
    L.unitFactor[group].store(25.4);
    return 2;
  }
  return 1;
}
VNL_EXPORT int32_t VNL_GetUnit(uint16_t group) {
  auto& L = lib();
  if (!L.groupOk(group)) return -6;
  return L.unitFactor[group].load() == 1.0 ? 1 : 2;
}
VNL_EXPORT int32_t VNL_SetAbsolute(uint16_t group) {
  if (!lib().groupOk(group)) return -6;
  lib().coordType[group].store(1);
  return 0;
}
VNL_EXPORT int32_t VNL_SetIncrease(uint16_t group) {
  if (!lib().groupOk(group)) return -6;
  lib().coordType[group].store(0);
  return 0;
}
VNL_EXPORT int32_t VNL_GetCoordType(uint16_t group) {
  if (!lib().groupOk(group)) return -6;
  return lib().coordType[group].load();
}

VNL_EXPORT int32_t VNL_SetInterpolateTime(double ms) {
  if (!vnl::finite(ms)) return -5;
  auto& L = lib();
  ms = std::clamp(ms, 1.0, 200.0);
  L.interpTime.store(ms);
  int32_t r = L.post(2, 0, 0);
  if (r != 0) return r;
  for (int g = 0; g < kGroups; ++g) {
    if (!L.tableGroupOk(g)) continue;
    auto& h = L.handshakes[g];
    h.resetRequest.store(255, std::memory_order_release);
    L.poll([&] { return h.resetRequest.load(std::memory_order_acquire) == 0; }, 0);
  }
  return static_cast<int32_t>(ms);
}

VNL_EXPORT double VNL_GetInterpolateTime(void) {
  int32_t r = lib().post(3, 0, 0);
  if (r != 0) return r;
  return lib().interpTime.load();
}

namespace {
int32_t clampPulse(int32_t v) {
  return std::clamp(v, 0, 32767);
}
}  // namespace

VNL_EXPORT int32_t VNL_SetMaxPulseSpeed(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                        int32_t w) {
  int32_t vals[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    lib().maxPulseApi[s].store(clampPulse(vals[s]));
  return lib().post(5, 0, 0);
}
VNL_EXPORT int32_t VNL_SetMaxPulseAcc(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                      int32_t w) {
  int32_t vals[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    lib().maxAccApi[s].store(clampPulse(vals[s]));
  return lib().post(6, 0, 0);
}
namespace {
template <class T, class A>
int32_t readSix(A& src, T* x, T* y, T* z, T* u, T* v, T* w) {
  T* out[] = {x, y, z, u, v, w};
  for (T* p : out) {
    if (!p) return -5;
  }
  for (int s = 0; s < kSlots; ++s)
    *out[s] = static_cast<T>(src[s].load());
  return 0;
}
}  // namespace
VNL_EXPORT int32_t VNL_GetMaxPulseSpeed(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                        int32_t* w) {
  if (!lib().ready()) return -1;
  return readSix(lib().maxPulseApi, x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_GetMaxPulseAcc(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                      int32_t* w) {
  if (!lib().ready()) return -1;
  return readSix(lib().maxAccApi, x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_SetSysMaxSpeed(double speed) {
  if (!vnl::finite(speed) || speed < 0) return -5;
  lib().sysMaxSpeed.store(speed);
  return 0;
}
VNL_EXPORT double VNL_GetSysMaxSpeed(void) {
  return lib().sysMaxSpeed.load();
}

VNL_EXPORT int32_t VNL_SetOverTravelCheck(int32_t x, int32_t y, int32_t z, int32_t u, int32_t v,
                                          int32_t w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  int32_t f[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    L.otCheck[group][s].store(f[s] == 1 ? 1 : 0);
  return 0;
}
VNL_EXPORT int32_t VNL_GetOverTravelCheck(int32_t* x, int32_t* y, int32_t* z, int32_t* u,
                                          int32_t* v, int32_t* w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  return readSix(L.otCheck[group], x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_EnableLimitSwitchCheck(int32_t mode) {
  return lib().post(12, static_cast<uint16_t>(mode != 0), 0);
}
VNL_EXPORT int32_t VNL_DisableLimitSwitchCheck(void) {
  return lib().post(13, 0, 0);
}
VNL_EXPORT int32_t VNL_SetServoOn(uint16_t axis, uint16_t card) {
  if (axis > 5 || card > 11) return -5;
  return QORA_LIO_ServoOn(axis, card) != 0 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_SetServoOff(uint16_t axis, uint16_t card) {
  if (axis > 5 || card > 11) return -5;
  return QORA_LIO_ServoOff(axis, card) != 0 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_EnablePosReady(uint16_t card) {
  if (card > 11) return -5;
  return lib().post(8, card, 0);
}
VNL_EXPORT int32_t VNL_DisablePosReady(uint16_t card) {
  if (card > 11) return -5;
  return lib().post(9, card, 0);
}
VNL_EXPORT int32_t VNL_DefinePosHere(uint16_t group) {
  auto& L = lib();
  if (group < kGroups && L.ready()) L.definePosition(group);
  return 0;
}
VNL_EXPORT int32_t VNL_EnableDryRun(void) {
  if (!lib().ready()) return -1;
  lib().dryRunApi.store(255, std::memory_order_release);
  return 0;
}
VNL_EXPORT int32_t VNL_DisableDryRun(void) {
  if (!lib().ready()) return -1;
  lib().dryRunApi.store(0, std::memory_order_release);
  return 0;
}
VNL_EXPORT int32_t VNL_CheckDryRun(void) {
  if (!lib().ready()) return -1;
  return lib().dryRunApi.load() == 255 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_ResetDevice(void) {
  lib().clearOutputError();
  return lib().post(4, 0, 0);
}

// ---------------- status and position ----------------
VNL_EXPORT int32_t VNL_GetCurPos(double* x, double* y, double* z, double* u, double* v, double* w,
                                 uint16_t group) {
  double* out[] = {x, y, z, u, v, w};
  for (double* p : out) {
    if (!p) return -5;
  }
  for (double* p : out)
    *p = 0.0;
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  int card = L.config[group].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int a = vnl::axisOf(L, group, s);
    if (a < 0 || a > 5) continue;
    int ax = card * 6 + a;
    *out[s] = L.pulsePos[ax].load(std::memory_order_acquire) * L.unitsPerPulse(ax, group);
  }
  return 0;
}
VNL_EXPORT int32_t VNL_GetPulsePos(int32_t* x, int32_t* y, int32_t* z, int32_t* u, int32_t* v,
                                   int32_t* w, uint16_t group) {
  int32_t* out[] = {x, y, z, u, v, w};
  for (int32_t* p : out) {
    if (!p) return -5;
  }
  for (int32_t* p : out)
    *p = 0;
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  int card = L.config[group].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int a = vnl::axisOf(L, group, s);
    if (a >= 0 && a <= 5) *out[s] = L.pulsePos[card * 6 + a].load(std::memory_order_acquire);
  }
  return 0;
}
VNL_EXPORT int32_t VNL_GetCurPulseStockCount(int16_t* count, uint16_t axis, uint16_t card) {
  if (!lib().ready()) return -1;
  if (axis > 5 || card > 11 || !count) return -5;
  *count = lib().stock[card * 6 + axis].load();
  return 0;
}
VNL_EXPORT int32_t VNL_GetLimitSwitchStatus(int16_t* status, uint16_t which, uint16_t axis,
                                            uint16_t card) {
  if (axis > 5 || card > 11 || !status) return -5;
  *status = which ? lib().otUp[card * 6 + axis].load() : lib().otDown[card * 6 + axis].load();
  return 0;
}
VNL_EXPORT int32_t VNL_GetHomeSensorStatus(int16_t* status, uint16_t axis, uint16_t card) {
  if (axis > 5 || card > 11 || !status) return -5;
  uint16_t v = 0;
  if (QORA_LIO_GetHomeSensor(axis, &v, card) == 0) return -14;
  *status = static_cast<int16_t>(v) == lib().param[card * 6 + axis].HomeConfig.wSensorMode ? 1 : 0;
  return 0;
}
VNL_EXPORT int32_t VNL_GetEmgcStopStatus(uint16_t* status, uint16_t card) {
  if (card > 11 || !status) return -5;
  return QORA_LIO_GetEmgcStopStatus(status, card) != 0 ? 0 : 1;
}
VNL_EXPORT int32_t VNL_GetErrorCount(int32_t* a0, int32_t* a1, int32_t* a2, int32_t* a3,
                                     int32_t* a4, int32_t* a5, uint16_t card) {
  auto& L = lib();
  if (!L.ready()) return -1;
  int32_t* out[] = {a0, a1, a2, a3, a4, a5};
  if (card > 11) return -5;
  for (int32_t* p : out) {
    if (!p) return -5;
  }
  for (int32_t* p : out)
    *p = 0;
  for (int g = 0; g < kGroups; ++g) {
    if (!L.groupOk(g) || L.config[g].card.load() != card) continue;
    for (int s = 0; s < kSlots; ++s) {
      int a = vnl::axisOf(L, g, s);
      if (a >= 0 && a <= 5) *out[a] = L.errCounter[card * 6 + a].load();
    }
  }
  return 0;
}
VNL_EXPORT int32_t VNL_SetPGain(uint16_t g0, uint16_t g1, uint16_t g2, uint16_t g3, uint16_t g4,
                                uint16_t g5, uint16_t card) {
  if (card > 11) return -5;
  uint16_t g[] = {g0, g1, g2, g3, g4, g5};
  for (int a = 0; a < 6; ++a)
    lib().pGainApi[card * 6 + a].store(g[a] == 0 || g[a] >= 128 ? 1 : g[a]);
  return lib().post(1, card, 0);
}
VNL_EXPORT int32_t VNL_GetPGain(int16_t* g0, int16_t* g1, int16_t* g2, int16_t* g3, int16_t* g4,
                                int16_t* g5, uint16_t card) {
  if (card > 11) return -5;
  if (!lib().ready()) return -1;
  return readSix(*reinterpret_cast<std::atomic<uint16_t>(*)[6]>(&lib().pGainApi[card * 6]), g0, g1,
                 g2, g3, g4, g5);
}
VNL_EXPORT int32_t VNL_EnableInPos(uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  return -14;  // the command queue arrives with the planner
}
VNL_EXPORT int32_t VNL_DisableInPos(uint16_t group) {
  return VNL_EnableInPos(group);
}
VNL_EXPORT int32_t VNL_SetInPosTolerance(int16_t x, int16_t y, int16_t z, int16_t u, int16_t v,
                                         int16_t w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  int16_t t[] = {x, y, z, u, v, w};
  for (int s = 0; s < kSlots; ++s)
    L.tolApi[group][s].store(t[s]);
  return 0;
}
VNL_EXPORT int32_t VNL_GetInPosTolerance(int16_t* x, int16_t* y, int16_t* z, int16_t* u, int16_t* v,
                                         int16_t* w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  return readSix(L.tolApi[group], x, y, z, u, v, w);
}
VNL_EXPORT int32_t VNL_GetInPosStatus(uint8_t* x, uint8_t* y, uint8_t* z, uint8_t* u, uint8_t* v,
                                      uint8_t* w, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  int32_t r = readSix(L.inPosFlag[group], x, y, z, u, v, w);
  if (r != 0) return r;
  return L.inPosEnabled[group].load() ? 0 : -4;
}
VNL_EXPORT int32_t VNL_SetInPosCheckTime(uint16_t time, uint16_t group) {
  auto& L = lib();
  if (!L.ready()) return -1;
  if (!L.groupOk(group)) return -6;
  if (time == 0 || time > 1000) return -5;
  L.inPosTime[group].store(time);
  return 0;
}
VNL_EXPORT int32_t VNL_SetCompParam(const COMP_PARAM* p, uint16_t slot, uint16_t card) {
  if (slot > 5 || card > 11 || !p) return -5;
  lib().compApi[slot] = *p;
  return 0;
}
VNL_EXPORT int32_t VNL_UpdateCompParam(void) {
  auto& L = lib();
  if (!L.ready()) return -1;
  for (int s = 0; s < kSlots; ++s) {
    // Only while no motion runs: the output layer reads these tables in the cycle.
    L.comp[s] = L.compApi[s];
    if (L.comp[s].dwInterval < 0) L.comp[s].dwInterval = 0;
  }
  return 0;
}

VNL_EXPORT int32_t VNL_define_pos_here(uint16_t group) {
  double p[6];
  VNL_GetCurPos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], group);
  if (group < kGroups) lib().refPos[group].store(p[1]);
  return 1;
}

// Older names: one implementation, two exported names.
#define VNL_OLD(old, target) VNL_EXPORT decltype(target) old __attribute__((alias(#target)));
#include "old_names.inc"

// Test seam: push a pulse block as the planner will.
VNL_EXPORT int32_t vnl_test_push_pulses(uint16_t group, const int32_t* block) {
  if (group >= kGroups || !block) return -5;
  auto& L = lib();
  if (!L.pulseQueues[group].push(block)) return -2;
  if (L.outputIdle.load(std::memory_order_acquire) == 255)
    L.modeCmd[vnl::kStartOutput].store(255, std::memory_order_release);
  return 0;
}
