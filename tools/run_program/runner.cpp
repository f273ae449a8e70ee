#include "runner.h"

#include <cstdio>

#include "platform/clock/clock.h"
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
    case -5:
      return "argument out of range";
    case -6:
      return "bad group";
    case -7:
      return "feed speed not positive (set one with feed)";
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

  void sample() {
    const long n = ++periods;
    Sample s{};
    s.timeMs = double(n) * trace->periodMs;
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
    if (r < 0) {
      error = "line " + std::to_string(s.line) + ": " + fn + " returned " + std::to_string(r) +
              " (" + meaning(r) + ")";
      return false;
    }
    return true;
  }

  // Runs the simulation until the group reports stopped.
  bool waitStopped(int line, std::string& error) {
    for (;;) {
      const int32_t status = VNL_GetMotionStatus(kGroup);
      if (status == 1) break;
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
  platform::useVirtualTime();
  std::shared_ptr<vcard::VirtualCard> board;
  if (options.onCard) {
    VNL_DisableSimulation();
    board = vcard::bus().card(0);
    if (!board) board = vcard::bus().install(vcard::ChipModel::Qora210);
  } else {
    VNL_EnableSimulation();
  }
  VNL_SetSysMaxSpeed(options.sysMaxSpeed);
  const CardConfig card{2, 576, 0, 0};
  if (VNL_InitSystem(options.periodMs, &card, 1) != 0) {
    result.error = "VNL_InitSystem failed";
    return result;
  }
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
