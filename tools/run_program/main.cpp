// tv-run: runs a small motion program through the motion library in
// simulation and writes what the card would have received, period by period.
//
//   tv-run PROGRAM [--csv FILE] [--png FILE] [--xy FILE] [--period MS] [--max-speed V]
//          [--card [virtual|linux]] [--check]
//
// PROGRAM is a .tvp program (program.h) or a G-code part program (.ngc, .nc,
// .gcode; gcode_program.h says what it becomes). --check only reads it and
// prints its moves (G-code) or its statement count (.tvp), and every warning
// and error with line and column, and runs nothing.
//
// Without --csv the CSV goes to standard output. --png draws the overview of
// the run (X-Y path, positions and path speed over time), --xy the commanded
// X-Y path alone at a larger scale with a grid. With --card (or --card
// virtual) the program runs on the virtual card (pulses through the card
// queues to its axes) instead of in simulation, in virtual time. With --card
// linux it runs on a real card through the Linux backend of the driver
// service, in real time: the axes move. Without a card that can be opened it
// says why ("no card found: ...") and ends; it never falls back to the
// virtual card.
//
// The time column (time_ms) is machine time: each period lasts the card's
// DDA cycle as VNL_GetInterpolateTime reports it (0.8192 ms for --period 1,
// 4.9152 ms for --period 5), in simulation as on a card, so the same program
// gives the same times on both paths.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "csv_writer.h"
#include "gcode_program.h"
#include "platform/pcisvc/select_backend.h"
#include "plot.h"
#include "program.h"
#include "runner.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: tv-run PROGRAM [--csv FILE] [--png FILE] [--xy FILE] [--period MS] "
               "[--max-speed V] [--card [virtual|linux]] [--check]\n");
  return 2;
}

bool number(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  std::string programFile, csvFile, pngFile, xyFile;
  tv::run::RunOptions options;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    double v = 0;
    if (arg == "--csv" && hasValue) {
      csvFile = argv[++i];
    } else if (arg == "--png" && hasValue) {
      pngFile = argv[++i];
    } else if (arg == "--xy" && hasValue) {
      xyFile = argv[++i];
    } else if (arg == "--period" && hasValue && number(argv[i + 1], v) && v >= 1 && v <= 200) {
      options.periodMs = static_cast<int>(v);
      ++i;
    } else if (arg == "--max-speed" && hasValue && number(argv[i + 1], v) && v > 0) {
      options.sysMaxSpeed = v;
      ++i;
    } else if (arg == "--card") {
      options.target = tv::run::Target::VirtualCard;
      pcisvc::BackendKind kind{};
      if (hasValue && pcisvc::parseBackendKind(argv[i + 1], kind)) {
        if (kind == pcisvc::BackendKind::Linux) options.target = tv::run::Target::LinuxCard;
        ++i;
      }
    } else if (arg == "--check") {
      check = true;
    } else if (!arg.empty() && arg[0] != '-' && programFile.empty()) {
      programFile = arg;
    } else {
      return usage();
    }
  }
  if (programFile.empty()) return usage();
  if ((!pngFile.empty() || !xyFile.empty()) && !tv::run::plottingBuilt()) {
    std::fprintf(stderr, "tv-run: %s: plotting is not built (this build has TV_BUILD_GUI off)\n",
                 pngFile.empty() ? "--xy" : "--png");
    return 2;
  }

  std::ifstream in(programFile);
  if (!in) {
    std::fprintf(stderr, "tv-run: cannot open %s\n", programFile.c_str());
    return 1;
  }
  tv::run::Program program;
  if (tv::run::isGcodeFile(programFile)) {
    std::stringstream text;
    text << in.rdbuf();
    const tv::gcode::Result read = tv::gcode::read(text.str());
    if (check)
      for (const tv::gcode::Move& m : read.moves)
        std::printf("%s\n", tv::gcode::describe(m).c_str());
    for (const tv::gcode::Diagnostic& w : read.warnings)
      std::fprintf(stderr, "%s: warning: %s\n", programFile.c_str(), w.text().c_str());
    for (const tv::gcode::Diagnostic& e : read.errors)
      std::fprintf(stderr, "%s: %s\n", programFile.c_str(), e.text().c_str());
    if (check) std::printf("%zu moves, %zu errors\n", read.moves.size(), read.errors.size());
    if (check || !read.ok()) return read.ok() ? 0 : 1;
    program = tv::run::gcodeStatements(read, options.periodMs);
  } else {
    tv::run::ParseError parseError;
    if (!tv::run::parseProgram(in, program, parseError)) {
      std::fprintf(stderr, "%s: %s\n", programFile.c_str(), parseError.text().c_str());
      return 1;
    }
    if (check) {
      std::printf("%zu statements\n", program.statements.size());
      return 0;
    }
  }

  options.chosen = [](const std::string& backend, const std::string& card) {
    std::fprintf(stderr, "tv-run: driver service: %s%s%s\n", backend.c_str(),
                 card.empty() ? "" : ", card ", card.c_str());
  };
  const tv::run::RunResult result = tv::run::runProgram(program, options);
  if (result.noCard) {
    std::fprintf(stderr, "tv-run: driver service: %s\ntv-run: %s\n", result.backend.c_str(),
                 result.error.c_str());
    return 1;
  }
  if (!result.ok) std::fprintf(stderr, "%s: %s\n", programFile.c_str(), result.error.c_str());
  if (!csvFile.empty() && !result.trace.samples.empty()) {
    const tv::run::Sample& last = result.trace.samples.back();
    std::fprintf(stderr, "%zu periods (%g ms); end X %g Y %g Z %g U %g V %g W %g\n",
                 result.trace.samples.size(), last.timeMs, last.position[0], last.position[1],
                 last.position[2], last.position[3], last.position[4], last.position[5]);
  }
  if (result.plantKnown)
    std::fprintf(stderr, "card axes at %lld %lld %lld %lld %lld %lld pulses\n",
                 static_cast<long long>(result.plant[0]), static_cast<long long>(result.plant[1]),
                 static_cast<long long>(result.plant[2]), static_cast<long long>(result.plant[3]),
                 static_cast<long long>(result.plant[4]), static_cast<long long>(result.plant[5]));

  // What ran is written even when a statement failed: it shows where it stopped.
  if (csvFile.empty()) {
    tv::run::writeCsv(std::cout, result.trace);
  } else {
    std::ofstream out(csvFile);
    tv::run::writeCsv(out, result.trace);
    if (!out) {
      std::fprintf(stderr, "tv-run: cannot write %s\n", csvFile.c_str());
      return 1;
    }
  }
  if (!pngFile.empty()) {
    std::string error;
    if (!tv::run::writePlot(result.trace, pngFile, error)) {
      std::fprintf(stderr, "tv-run: %s\n", error.c_str());
      return 1;
    }
  }
  if (!xyFile.empty()) {
    std::string error;
    if (!tv::run::writeXyPlot(result.trace, xyFile, error)) {
      std::fprintf(stderr, "tv-run: %s\n", error.c_str());
      return 1;
    }
  }
  return result.ok ? 0 : 1;
}
