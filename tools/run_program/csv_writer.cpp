#include "csv_writer.h"

#include <cstdio>

namespace tv::run {

namespace {
constexpr const char* kAxes[6] = {"x", "y", "z", "u", "v", "w"};

void put(std::ostream& out, double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  out << buf;
}
}  // namespace

void writeCsv(std::ostream& out, const Trace& trace) {
  out << "time_ms";
  for (const char* prefix : {"pos_", "pulse_pos_", "pulses_", "speed_"}) {
    for (const char* a : kAxes)
      out << ',' << prefix << a;
  }
  out << ",path_speed\n";
  for (const Sample& s : trace.samples) {
    put(out, s.timeMs);
    for (double v : s.position) {
      out << ',';
      put(out, v);
    }
    for (int32_t v : s.pulsePos)
      out << ',' << v;
    for (int32_t v : s.pulses)
      out << ',' << v;
    for (double v : s.speed) {
      out << ',';
      put(out, v);
    }
    out << ',';
    put(out, s.pathSpeed);
    out << '\n';
  }
}

}  // namespace tv::run
