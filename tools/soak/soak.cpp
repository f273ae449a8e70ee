// tv-soak: a random soak of the motion library on the virtual card in
// virtual time, through the exported functions only.
//
//   tv-soak [--commands N] [--seed S] [--delays] [--quiet]
//
// Batches of 1 to 8 random commands (lines, arcs, circles, helices,
// point-to-point moves, distance and pulse jogs, blending on and off,
// delays, feed and over-speed changes) at random interpolation periods and
// ramps, each batch left alone or interrupted at a random time by a hold and
// continue, a hold and abort, an abort, or a close and re-initialisation;
// with --delays some card interrupts come up to 300 cycles late. After every
// batch it checks that the group returns to stopped, that the plant stands
// where the library's pulse positions say, and, for a batch run to its end,
// that no command was lost (the axes end on the last target queued, within
// a pulse); at the end that resident memory and the thread count stayed
// flat. A watchdog reports the clock's and the card's state and aborts when
// virtual time stops advancing for 30 s. Prints commands per second and
// machine hours per wall second; the status is 0 when every check held.
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "platform/clock/clock.h"
#include "platform/clock/virtual_clock.h"
#include "platform/clock/watchdog.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "platform/vcard/card.h"
#include "varnelpci.h"

namespace {

// Under a sanitizer resident memory grows with its own bookkeeping
// (quarantine, shadow), so only the thread count is held flat there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryChecked = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kMemoryChecked = false;
#else
constexpr bool kMemoryChecked = true;
#endif
#else
constexpr bool kMemoryChecked = true;
#endif

struct Options {
  long commands = 2000;
  unsigned seed = 1;
  bool delays = false;
  bool quiet = false;
};

// Resident memory (kB) and threads of this process.
void processFigures(long& rssKb, long& threads) {
  std::ifstream in("/proc/self/status");
  rssKb = threads = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) rssKb = std::atol(line.c_str() + 6);
    if (line.rfind("Threads:", 0) == 0) threads = std::atol(line.c_str() + 8);
  }
}

class Soak {
 public:
  explicit Soak(const Options& o) : opt_(o), rng_(o.seed) {}

  int run();

 private:
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
  int between(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng_); }
  bool chance(double p) { return uniform(0, 1) < p; }

  bool initialise();
  void queueBatch();
  void intervene();
  bool waitStopped(int periods);
  bool check();
  void fail(const char* what);

  std::int64_t plant(unsigned a) {
    return card_->withChip([&](vcard::Chip& chip) { return chip.plant().position(a); });
  }

  Options opt_;
  std::mt19937 rng_;
  std::shared_ptr<vcard::VirtualCard> card_;
  int period_ = 1;
  double target_[6]{};        // the last target queued, units
  bool checkEnd_ = true;      // the batch ran to its end: it must end on target_
  bool delayed_ = false;      // an interrupt of this batch comes late
  std::int64_t offset_[6]{};  // plant at the last initialisation
  long commands_ = 0, batches_ = 0, interventions_ = 0, reinits_ = 0, lateAborts_ = 0;
  int failures_ = 0;
};

bool Soak::initialise() {
  for (unsigned a = 0; a < 6; ++a)
    offset_[a] = plant(a);
  period_ = between(1, 4);
  CardConfig c{2, 576, 0, 0};
  if (VNL_InitSystem(period_, &c, 1) != 0) return false;
  VNL_SetAccStep(between(1, 40), 0);
  VNL_SetDecStep(between(1, 40), 0);
  VNL_SetAccType(chance(0.5) ? 'S' : 'T', 0);
  VNL_SetDecType(chance(0.5) ? 'S' : 'T', 0);
  VNL_SetPtPAccStep(between(1, 40), between(1, 40), between(1, 40), between(1, 40), between(1, 40),
                    between(1, 40), 0);
  VNL_SetPtPDecStep(between(1, 40), between(1, 40), between(1, 40), between(1, 40), between(1, 40),
                    between(1, 40), 0);
  VNL_SetFeedSpeed(uniform(5, 40), 0);
  VNL_SetPtPSpeed(between(30, 100), 0);
  std::memset(target_, 0, sizeof target_);
  return true;
}

void Soak::queueBatch() {
  const int n = between(1, 8);
  for (int k = 0; k < n && commands_ < opt_.commands; ++k, ++commands_) {
    double* t = target_;
    int32_t r = 0;
    const int kind = between(0, 11);
    switch (kind) {
      case 0:
      case 1:
      case 2: {
        for (int a = 0; a < 3; ++a)
          t[a] = std::round(uniform(-2, 2) * 1000) / 1000;
        r = VNL_Line(t[0], t[1], t[2], t[3], t[4], t[5], 0);
        break;
      }
      case 3: {  // an arc from the last target through a reference point
        const double radius = uniform(0.2, 1.0), a0 = uniform(0, 6.28);
        const double cx = t[0] - radius * std::cos(a0), cy = t[1] - radius * std::sin(a0);
        const double s = chance(0.5) ? 1 : -1, a1 = a0 + s * uniform(0.3, 1.5),
                     a2 = a1 + s * uniform(0.3, 1.5);
        const double ex = cx + radius * std::cos(a2), ey = cy + radius * std::sin(a2);
        r = VNL_ArcXY(cx + radius * std::cos(a1), cy + radius * std::sin(a1), ex, ey, 0);
        if (r >= 0) {
          t[0] = ex;
          t[1] = ey;
        }
        break;
      }
      case 4: {  // a circle of radius 0.2 to 0.8 (a centre on the start is no circle)
        const double radius = uniform(0.2, 0.8), a = uniform(0, 6.28);
        r = VNL_CircleXY(t[0] + radius * std::cos(a), t[1] + radius * std::sin(a),
                         static_cast<uint8_t>(between(0, 1)), 0);
      } break;
      case 5: {  // a helix: U, V, W move during the circle
        const double u = uniform(-1, 1), v = uniform(-1, 1), w = uniform(-1, 1);
        r = VNL_CircleXYUVW(t[0] + uniform(-0.5, 0.5), t[1] + 0.4, u, v, w,
                            static_cast<uint8_t>(between(0, 1)), 0);
        if (r >= 0) {
          t[3] = u;
          t[4] = v;
          t[5] = w;
        }
        break;
      }
      case 6:
        for (double& v : target_)
          v = std::round(uniform(-1.5, 1.5) * 1000) / 1000;
        r = VNL_PtP(t[0], t[1], t[2], t[3], t[4], t[5], 0);
        break;
      case 7:
        r = chance(0.5) ? VNL_EnableBlend(0) : VNL_DisableBlend(0);
        break;
      case 8:
        r = VNL_DelayMotion(static_cast<uint32_t>(between(1, 20)), 0);
        break;
      case 9:
        VNL_SetFeedSpeed(uniform(5, 40), 0);
        r = VNL_SetOverSpeed(between(50, 150), 0);
        // A parameter handshake waits three periods at most: an interrupt
        // still coming late from the last batch lets it time out.
        if (r == -3 && opt_.delays) r = 0;
        break;
      case 10:
      case 11: {  // jogs take a stopped group: they end the batch
        if (!waitStopped(200000)) return;
        const int axis = between(0, 5);
        if (chance(0.5)) {
          const double d = std::round(uniform(-0.8, 0.8) * 1000) / 1000;
          if (std::fabs(t[axis] + d) < 6) {
            r = VNL_JogSpace(d, between(20, 100), static_cast<uint8_t>(axis), 0);
            if (r >= 0) t[axis] += d;
          }
        } else {
          const int32_t p = between(-800, 800);
          r = VNL_JogPulse(p, static_cast<uint8_t>(axis), 0);
          if (r == 0) t[axis] += p / 1000.0;
        }
        return;
      }
    }
    if (std::getenv("SOAK_TRACE"))
      std::fprintf(stderr, "  command %ld kind %d -> %d, target %.3f %.3f\n", commands_, kind, r,
                   target_[0], target_[1]);
    if (r < 0 && r != -2) {
      std::fprintf(stderr, "command %ld refused with %d\n", commands_, r);
      fail("a command was refused");
    }
  }
}

void Soak::intervene() {
  const double p = uniform(0, 1);
  if (p < 0.7) return;
  ++interventions_;
  if (opt_.delays && chance(0.5)) {
    card_->delayCycleInterrupt(card_->cycles() + between(0, 50), between(1, 300));
    delayed_ = true;
  }
  VNL_TimeDelay(between(0, 200));
  checkEnd_ = false;
  if (std::getenv("SOAK_TRACE"))
    std::fprintf(stderr, "  intervention %.2f%s\n", p, delayed_ ? " late" : "");
  if (p < 0.8) {
    // A hold whose deceleration outlasts the hold's wait (-11) still ends
    // held; continue once it is.
    const int32_t h = VNL_HoldMotion(0);
    if (h == 0 || h == -11)
      for (int k = 0; k < 2000 && VNL_ContiMotion(0) == -12 && VNL_GetMotionStatus(0) != 1; ++k)
        VNL_TimeDelay(period_);
    checkEnd_ = !delayed_;
    return;
  }
  if (p < 0.97) {
    if (p < 0.85) VNL_HoldMotion(0);
    for (int k = 0; k < 5; ++k) {
      const int32_t r = VNL_AbortMotion(0);
      if (std::getenv("SOAK_TRACE")) std::fprintf(stderr, "  abort -> %d\n", r);
      if (r == 0) break;
      if (r == -13) ++lateAborts_;
      VNL_TimeDelay(300);
    }
  } else {
    ++reinits_;
    if (VNL_CloseSystem() != 0) fail("close did not return 0");
    if (!initialise()) fail("re-initialisation failed");
    return;
  }
  // After an abort the next commands start where the axes stopped.
  int32_t q[6];
  VNL_GetPulsePos(&q[0], &q[1], &q[2], &q[3], &q[4], &q[5], 0);
  waitStopped(200000);
  VNL_GetPulsePos(&q[0], &q[1], &q[2], &q[3], &q[4], &q[5], 0);
  for (int a = 0; a < 6; ++a)
    target_[a] = q[a] / 1000.0;
}

bool Soak::waitStopped(int periods) {
  for (int n = 0; n < periods; ++n) {
    const int32_t s = VNL_GetMotionStatus(0);
    if (s == 1) return true;
    if (s < 0) return false;
    if (n % 1000 == 999 && VNL_GetErrorCode(0) != 0) return false;
    VNL_TimeDelay(period_);
  }
  return false;
}

void Soak::fail(const char* what) {
  ++failures_;
  std::fprintf(stderr, "FAILED after %ld commands (batch %ld): %s\n", commands_, batches_, what);
}

bool Soak::check() {
  if (!waitStopped(600000)) {
    std::fprintf(stderr, "status %d, error 0x%x\n", VNL_GetMotionStatus(0), VNL_GetErrorCode(0));
    fail("the group does not return to stopped");
    VNL_ClearError(0);
    VNL_AbortMotion(0);
    waitStopped(200000);
  }
  int32_t p[6];
  VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
  bool ok = true;
  for (unsigned a = 0; a < 6; ++a) {
    if (plant(a) - offset_[a] != p[a]) {
      std::fprintf(stderr, "axis %u: plant %lld, pulse position %d\n", a,
                   static_cast<long long>(plant(a) - offset_[a]), p[a]);
      ok = false;
    }
    if (checkEnd_ && std::llabs(std::llround(target_[a] * 1000) - p[a]) > 1) {
      std::fprintf(stderr, "axis %u: pulse position %d, last target %.4f\n", a, p[a], target_[a]);
      fail("a command was lost: the axes did not end on the last target");
      ok = false;
    }
  }
  if (!ok) fail("the plant is not where the library says");
  return ok;
}

int Soak::run() {
  platform::useVirtualTime();
  platform::msgbox::setHandler([](const std::string&, const std::string&) {});
  VNL_DisableSimulation();
  vcard::bus().clear();
  card_ = vcard::bus().install(vcard::ChipModel::Qora210);
  VNL_SetSysMaxSpeed(100);
  auto* vclock = dynamic_cast<platform::VirtualClock*>(&platform::clock());
  platform::ClockWatchdog watchdog(30, [&] {
    int32_t p[6]{}, count = -1;
    VNL_GetPulsePos(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], 0);
    VNL_GetCommandCount(&count, 0);
    char library[256];
    std::snprintf(library, sizeof library,
                  "library: %d commands queued, pulse positions %d %d %d %d %d %d, error 0x%x",
                  count, p[0], p[1], p[2], p[3], p[4], p[5], VNL_GetErrorCode(0));
    return (vclock ? vclock->describe() : std::string("real clock")) + "\n" + card_->describe() +
           "\n" + library + "\nafter " + std::to_string(commands_) + " commands";
  });
  const auto wall0 = std::chrono::steady_clock::now();
  if (!initialise()) {
    fail("initialisation failed");
    return 1;
  }
  long rss0 = 0, threads0 = 0, rssMax = 0, rss = 0, threads = 0, threadsMax = 0;
  long nextReport = opt_.commands / 10;
  while (commands_ < opt_.commands && failures_ < 10) {
    ++batches_;
    checkEnd_ = true;
    delayed_ = false;
    queueBatch();
    intervene();
    check();
    processFigures(rss, threads);
    if (rss0 == 0 && commands_ >= opt_.commands / 10) {
      rss0 = rss;  // after the first tenth: the command ring's pages are in
      threads0 = threads;
    }
    rssMax = std::max(rssMax, rss);
    threadsMax = std::max(threadsMax, threads);
    if (!opt_.quiet && commands_ >= nextReport) {
      std::printf("%ld commands, %ld batches, machine time %.1f s, RSS %ld kB, %ld threads\n",
                  commands_, batches_, platform::clock().now().count() * 1e-9, rss, threads);
      std::fflush(stdout);
      nextReport += opt_.commands / 10;
    }
  }
  if (VNL_CloseSystem() != 0) fail("close did not return 0");
  watchdog.pause(true);
  if (threads0 != 0 && (threads > threads0 || threadsMax > threads0 + 1)) fail("threads grew");
  if (kMemoryChecked && rss0 != 0 && rssMax > rss0 + 4096) fail("resident memory grew");
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double machine = platform::clock().now().count() * 1e-9;
  std::printf(
      "soak seed %u%s: %ld commands in %ld batches (%ld interventions, %ld re-initialisations, "
      "%ld aborts answered -13 and repeated); machine time %.2f h in %.1f s wall: %.0f commands/s, "
      "%.3f machine hours per wall second; RSS %ld kB after the first tenth, at most %ld kB; "
      "threads %ld, at most %ld; %d failure(s)\n",
      opt_.seed, opt_.delays ? " with late interrupts" : "", commands_, batches_, interventions_,
      reinits_, lateAborts_, machine / 3600, wall, commands_ / wall, machine / 3600 / wall, rss0,
      rssMax, threads0, threadsMax, failures_);
  return failures_ == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--commands" && i + 1 < argc) {
      o.commands = std::atol(argv[++i]);
    } else if (a == "--seed" && i + 1 < argc) {
      o.seed = static_cast<unsigned>(std::atol(argv[++i]));
    } else if (a == "--delays") {
      o.delays = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else {
      std::fprintf(stderr, "usage: tv-soak [--commands N] [--seed S] [--delays] [--quiet]\n");
      return 2;
    }
  }
  return Soak(o).run();
}
