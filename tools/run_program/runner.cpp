#include "runner.h"

#include <cstdio>

#include "platform/chip/identity.h"
#include "platform/clock/clock.h"
#include "platform/pcisvc/select_backend.h"
#include "platform/vcard/bus.h"
#include "varnelpci.h"
#include "varnelpci_sim.h"

namespace tv::run {

namespace {

constexpr uint16_t kGroup = 0;

const char* meaning(int32_t code) {
  switch (code) {
    case -1:
      return "library not initialised";
    case -2:
      return "command queue full";
    case -3:
      return "the cycle did not answer";
    case -4:
      return "the group is not stopped";
    case -5:
      return "argument out of range";
    case -6:
      return "bad group";
    case -7:
      return "feed speed not positive (set one with feed)";
    case -8:
      return "blending could not be switched off";
    case -14:
      return "the group is in an error state";
    default:
      return "failed";
  }
}

struct Recorder {
  Trace* trace;
  // On the card the observer runs on the card's interrupt thread.
  std::atomic<long> periods{0};
  int32_t last[6] = {};

  static void onPeriod(void* user) { static_cast<Recorder*>(user)->sample(); }

  // One more sample when the pulse positions changed since the last one.
  void sampleIfMoved() {
    int32_t p[6] = {};
    VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], kGroup);
    for (int i = 0; i < 6; ++i)
      if (p[i] != last[i]) {
        sample();
        return;
      }
  }

  void sample() {
    const long n = ++periods;
    Sample s{};
    s.timeMs = double(n) * trace->cycleMs;
    VNL_GetCurPos(&s.position[0], &s.position[1], &s.position[2], &s.position[3], &s.position[4],
                  &s.position[5], kGroup);
    VNL_GetPulsePos(&s.pulsePos[0], &s.pulsePos[1], &s.pulsePos[2], &s.pulsePos[3], &s.pulsePos[4],
                    &s.pulsePos[5], kGroup);
    VNL_GetSpeed(&s.speed[0], &s.speed[1], &s.speed[2], &s.speed[3], &s.speed[4], &s.speed[5],
                 kGroup);
    s.pathSpeed = VNL_GetCurFeedSpeed(kGroup);
    for (int i = 0; i < 6; ++i) {
      s.pulses[i] = s.pulsePos[i] - last[i];
      last[i] = s.pulsePos[i];
    }
    trace->samples.push_back(s);
  }
};

class Session {
 public:
  Session(const RunOptions& o, Recorder& r) : options_(o), recorder_(r) {}

  // Executes one statement; false with error filled when the library refused.
  bool execute(const Statement& s, std::string& error) {
    int32_t r = 0;
    const char* fn = "";
    const double* v = s.values;
    switch (s.op) {
      case Op::Feed: {
        fn = "VNL_SetFeedSpeed";
        const double f = VNL_SetFeedSpeed(v[0], kGroup);
        r = f < 0 && v[0] >= 0 ? static_cast<int32_t>(f) : 0;
        break;
      }
      case Op::Absolute:
        fn = "VNL_SetAbsolute";
        r = VNL_SetAbsolute(kGroup);
        incremental_ = false;
        break;
      case Op::Incremental:
        fn = "VNL_SetIncrease";
        r = VNL_SetIncrease(kGroup);
        incremental_ = true;
        break;
      case Op::Line: {
        fn = "VNL_Line";
        double t[6];
        for (int i = 0; i < 6; ++i)
          t[i] = i < s.count ? v[i] : (incremental_ ? 0.0 : target_[i]);
        r = VNL_Line(t[0], t[1], t[2], t[3], t[4], t[5], kGroup);
        if (r >= 0) moved(t, 0x3F);
        break;
      }
      case Op::LineX:
      case Op::LineY:
      case Op::LineZ: {
        const int axis = s.op == Op::LineX ? 0 : s.op == Op::LineY ? 1 : 2;
        fn = axis == 0 ? "VNL_LineX" : axis == 1 ? "VNL_LineY" : "VNL_LineZ";
        r = axis == 0   ? VNL_LineX(v[0], kGroup)
            : axis == 1 ? VNL_LineY(v[0], kGroup)
                        : VNL_LineZ(v[0], kGroup);
        double t[6] = {};
        t[axis] = v[0];
        if (r >= 0) moved(t, 1u << axis);
        break;
      }
      case Op::LineUVW: {
        fn = "VNL_LineUVW";
        r = VNL_LineUVW(v[0], v[1], v[2], kGroup);
        const double t[6] = {0, 0, 0, v[0], v[1], v[2]};
        if (r >= 0) moved(t, 0x38);
        break;
      }
      case Op::ArcXY:
      case Op::ArcYZ:
      case Op::ArcZX:
      case Op::ArcXYUVW:
      case Op::ArcYZUVW:
      case Op::ArcZXUVW:
        r = arc(s, fn);
        break;
      case Op::ArcXYZ: {
        fn = "VNL_ArcXYZ";
        r = VNL_ArcXYZ(v[0], v[1], v[2], v[3], v[4], v[5], kGroup);
        const double t[6] = {v[3], v[4], v[5], 0, 0, 0};
        if (r >= 0) moved(t, 0x07);
        break;
      }
      case Op::CircleXY:
      case Op::CircleYZ:
      case Op::CircleZX:
      case Op::CircleXYUVW:
      case Op::CircleYZUVW:
      case Op::CircleZXUVW:
        r = circle(s, fn);
        break;
      case Op::PtPSpeed:
        fn = "VNL_SetPtPSpeed";
        r = VNL_SetPtPSpeed(static_cast<int32_t>(v[0]), kGroup);
        break;
      case Op::PtP: {
        fn = "VNL_PtP";
        double t[6];
        for (int i = 0; i < 6; ++i)
          t[i] = i < s.count ? v[i] : (incremental_ ? 0.0 : target_[i]);
        r = VNL_PtP(t[0], t[1], t[2], t[3], t[4], t[5], kGroup);
        if (r >= 0) moved(t, 0x3F);
        break;
      }
      case Op::Jog:
      case Op::JogConti:
      case Op::JogPulse:
        return jog(s, error);
      case Op::Blend:
        fn = v[0] != 0 ? "VNL_EnableBlend" : "VNL_DisableBlend";
        r = v[0] != 0 ? VNL_EnableBlend(kGroup) : VNL_DisableBlend(kGroup);
        break;
      case Op::Delay:
        fn = "VNL_DelayMotion";
        r = VNL_DelayMotion(static_cast<uint32_t>(v[0]), kGroup);
        break;
      case Op::AccSteps:
        fn = "VNL_SetAccStep";
        r = VNL_SetAccStep(static_cast<int32_t>(v[0]), kGroup);
        break;
      case Op::DecSteps:
        fn = "VNL_SetDecStep";
        r = VNL_SetDecStep(static_cast<int32_t>(v[0]), kGroup);
        break;
      case Op::AccType:
        fn = "VNL_SetAccType";
        r = VNL_SetAccType(s.type, kGroup);
        break;
      case Op::DecType:
        fn = "VNL_SetDecType";
        r = VNL_SetDecType(s.type, kGroup);
        break;
      case Op::OverSpeed:
        fn = "VNL_SetOverSpeed";
        r = VNL_SetOverSpeed(static_cast<int32_t>(v[0]), kGroup);
        break;
      case Op::Wait:
        return waitStopped(s.line, error);
    }
    return accepted(s, fn, r, error);
  }

  // Runs the simulation until the group reports stopped.
  bool waitStopped(int line, std::string& error) {
    for (;;) {
      const int32_t status = VNL_GetMotionStatus(kGroup);
      if (status == 1) {
        // The observer sees the periods in which pulse blocks were output;
        // the end-point correction of the period that stopped the group goes
        // to the card directly, so it is sampled here.
        recorder_.sampleIfMoved();
        break;
      }
      if (status < 0) {
        error = "line " + std::to_string(line) + ": VNL_GetMotionStatus returned " +
                std::to_string(status);
        return false;
      }
      if (recorder_.periods > options_.maxPeriods) {
        error = "line " + std::to_string(line) + ": still moving after " +
                std::to_string(options_.maxPeriods) + " periods";
        return false;
      }
      const int32_t code = VNL_GetErrorCode(kGroup);
      if (code != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(code));
        error = "line " + std::to_string(line) + ": the group stopped with error " + hex;
        return false;
      }
      VNL_TimeDelay(options_.periodMs);
    }
    return true;
  }

 private:
  // A library refusal as the run reports it.
  static bool accepted(const Statement& s, const char* fn, int32_t r, std::string& error) {
    if (r >= 0) return true;
    error = "line " + std::to_string(s.line) + ": " + fn + " returned " + std::to_string(r) + " (" +
            meaning(r) + ")";
    return false;
  }

  // Arcs through a reference point; each plane function takes the reference
  // and the end point in its plane's axis order (X-Y, Y-Z, Z-X), the helical
  // ones U, V, W after them.
  int32_t arc(const Statement& s, const char*& fn) {
    const double* v = s.values;
    int a = 0, b = 1;  // the plane's axes in argument order
    int32_t r = 0;
    switch (s.op) {
      case Op::ArcXY:
        fn = "VNL_ArcXY";
        r = VNL_ArcXY(v[0], v[1], v[2], v[3], kGroup);
        break;
      case Op::ArcYZ:
        fn = "VNL_ArcYZ", a = 1, b = 2;
        r = VNL_ArcYZ(v[0], v[1], v[2], v[3], kGroup);
        break;
      case Op::ArcZX:
        fn = "VNL_ArcZX", a = 2, b = 0;
        r = VNL_ArcZX(v[0], v[1], v[2], v[3], kGroup);
        break;
      case Op::ArcXYUVW:
        fn = "VNL_ArcXYUVW";
        r = VNL_ArcXYUVW(v[0], v[1], v[2], v[3], v[4], v[5], v[6], kGroup);
        break;
      case Op::ArcYZUVW:
        fn = "VNL_ArcYZUVW", a = 1, b = 2;
        r = VNL_ArcYZUVW(v[0], v[1], v[2], v[3], v[4], v[5], v[6], kGroup);
        break;
      default:
        fn = "VNL_ArcZXUVW", a = 2, b = 0;
        r = VNL_ArcZXUVW(v[0], v[1], v[2], v[3], v[4], v[5], v[6], kGroup);
        break;
    }
    if (r < 0) return r;
    double t[6] = {};
    t[a] = v[2];
    t[b] = v[3];
    unsigned axes = 1u << a | 1u << b;
    if (s.count == 7) {
      t[3] = v[4], t[4] = v[5], t[5] = v[6];
      axes |= 0x38;
    }
    moved(t, axes);
    return r;
  }

  // Full circles about a centre; the plane axes end where they started, the
  // helical ones move U, V, W to their targets.
  int32_t circle(const Statement& s, const char*& fn) {
    const double* v = s.values;
    const auto dir = static_cast<uint8_t>(v[s.count - 1]);
    int32_t r = 0;
    switch (s.op) {
      case Op::CircleXY:
        fn = "VNL_CircleXY";
        return VNL_CircleXY(v[0], v[1], dir, kGroup);
      case Op::CircleYZ:
        fn = "VNL_CircleYZ";
        return VNL_CircleYZ(v[0], v[1], dir, kGroup);
      case Op::CircleZX:
        fn = "VNL_CircleZX";
        return VNL_CircleZX(v[0], v[1], dir, kGroup);
      case Op::CircleXYUVW:
        fn = "VNL_CircleXYUVW";
        r = VNL_CircleXYUVW(v[0], v[1], v[2], v[3], v[4], dir, kGroup);
        break;
      case Op::CircleYZUVW:
        fn = "VNL_CircleYZUVW";
        r = VNL_CircleYZUVW(v[0], v[1], v[2], v[3], v[4], dir, kGroup);
        break;
      default:
        fn = "VNL_CircleZXUVW";
        r = VNL_CircleZXUVW(v[0], v[1], v[2], v[3], v[4], dir, kGroup);
        break;
    }
    const double t[6] = {0, 0, 0, v[2], v[3], v[4]};
    if (r >= 0) moved(t, 0x38);
    return r;
  }

  // Jogs: the library takes them only from a stopped group, so the runner
  // waits before; and afterwards until the jog has ended, then takes the
  // position the axes reached as the last targets (a jog's distance is in
  // machine units and a continuous jog's end is the software limit, neither
  // of which the runner's coordinates could follow otherwise).
  bool jog(const Statement& s, std::string& error) {
    if (!waitStopped(s.line, error)) return false;
    const double* v = s.values;
    const char* fn = "";
    int32_t r = 0;
    switch (s.op) {
      case Op::Jog:
        fn = "VNL_JogSpace";
        r = VNL_JogSpace(v[0], static_cast<int32_t>(v[1]), static_cast<uint8_t>(v[2]), kGroup);
        break;
      case Op::JogConti:
        fn = "VNL_JogConti";
        r = VNL_JogConti(static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                         static_cast<uint8_t>(v[2]), kGroup);
        break;
      default:
        fn = "VNL_JogPulse";
        r = VNL_JogPulse(static_cast<int32_t>(v[0]), static_cast<uint8_t>(v[1]), kGroup);
        break;
    }
    if (!accepted(s, fn, r, error)) return false;
    if (!waitStopped(s.line, error)) return false;
    double p[6] = {};
    VNL_GetCurPos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], kGroup);
    const bool incremental = incremental_;
    incremental_ = false;
    moved(p, 0x3F);
    incremental_ = incremental;
    return true;
  }
  // The targets the library now holds as the group's last (caller's units).
  void moved(const double t[6], unsigned axes) {
    for (int i = 0; i < 6; ++i) {
      if (axes >> i & 1u) target_[i] = incremental_ ? target_[i] + t[i] : t[i];
    }
  }

  const RunOptions& options_;
  Recorder& recorder_;
  bool incremental_ = false;
  double target_[6] = {};
};

}  // namespace

RunResult runProgram(const Program& program, const RunOptions& options) {
  RunResult result;
  result.trace.periodMs = options.periodMs;
  std::shared_ptr<vcard::VirtualCard> board;
  CardConfig card{2, 576, 0, 0};
  if (options.target == Target::LinuxCard) {
    const pcisvc::BackendChoice choice = pcisvc::useBackend(pcisvc::BackendKind::Linux);
    result.backend = choice.name;
    if (!choice.problem.empty()) {
      result.error = choice.problem;
      result.noCard = true;
      return result;
    }
    // The library opens the first card of a model as card 0; the model is
    // that of the first card that can be opened.
    for (const pcisvc::FoundCard& found : choice.survey.cards) {
      if (!found.problem.empty()) continue;
      result.card = found.where;
      if (found.device == chip::kPciDevice310) card.wCardType = 3;
      break;
    }
    platform::useRealTime();
    VNL_DisableSimulation();
  } else if (options.target == Target::VirtualCard) {
    platform::useVirtualTime();
    result.backend = pcisvc::useBackend(pcisvc::BackendKind::Virtual).name;
    VNL_DisableSimulation();
    board = vcard::bus().card(0);
    if (!board) board = vcard::bus().install(vcard::ChipModel::Qora210);
    board->withChip([&](vcard::Chip& chip) {
      for (unsigned a = 0; a < 6; ++a)
        result.plantStart[a] = chip.plant().position(a);
    });
  } else {
    platform::useVirtualTime();
    VNL_EnableSimulation();
  }
  if (options.chosen && !result.backend.empty()) options.chosen(result.backend, result.card);
  VNL_SetSysMaxSpeed(options.sysMaxSpeed);
  if (VNL_InitSystem(options.periodMs, &card, 1) != 0) {
    result.error = "VNL_InitSystem failed";
    return result;
  }
  // Machine time: on the card a period lasts its DDA cycle, and simulation
  // plans with the same cycle.
  const double cycle = VNL_GetInterpolateTime();
  result.trace.cycleMs = cycle > 0 ? cycle : options.periodMs;
  Recorder recorder{&result.trace};
  vnl_set_period_observer(&Recorder::onPeriod, &recorder);
  Session session(options, recorder);
  bool ok = true;
  for (const Statement& s : program.statements) {
    ok = session.execute(s, result.error);
    if (!ok) break;
  }
  const int lastLine = program.statements.empty() ? 0 : program.statements.back().line;
  if (ok) ok = session.waitStopped(lastLine, result.error);
  vnl_set_period_observer(nullptr, nullptr);
  if (board) {
    board->withChip([&](vcard::Chip& chip) {
      for (unsigned a = 0; a < 6; ++a)
        result.plant[a] = chip.plant().position(a);
    });
    result.plantKnown = true;
  }
  VNL_CloseSystem();
  result.ok = ok;
  return result;
}

}  // namespace tv::run
