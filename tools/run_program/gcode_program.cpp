#include "gcode_program.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace tv::run {

bool isGcodeFile(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == "ngc" || ext == "nc" || ext == "gcode";
}

namespace {

using gcode::Move;
using gcode::MoveKind;
using gcode::Plane;

class Writer {
 public:
  // The library moves point to point only with a feed speed set: before the
  // program's first F the feed is the highest the program uses (1 mm/s in a
  // program of rapids only).
  Writer(Program& out, int periodMs, double firstFeed) : out_(out), periodMs_(periodMs) {
    add(Op::Absolute, 0, {});
    feed_ = firstFeed;
    add(Op::Feed, 0, {firstFeed});
  }

  void move(const Move& m) {
    switch (m.kind) {
      case MoveKind::Rapid:
        blend(m.line, m.blend);
        add(Op::PtP, m.line, {m.end.begin(), m.end.end()});
        break;
      case MoveKind::Feed:
        blend(m.line, m.blend);
        feed(m);
        add(Op::Line, m.line, {m.end.begin(), m.end.end()});
        break;
      case MoveKind::Arc:
        feed(m);
        arc(m);
        break;
      case MoveKind::Dwell:
        add(Op::Delay, m.line, {std::round(m.dwell * 1000.0 / periodMs_)});
        break;
      case MoveKind::Pause:
        add(Op::Wait, m.line, {});
        break;
    }
  }

 private:
  void add(Op op, int line, std::vector<double> values) {
    Statement s{op, line, {}, static_cast<int>(values.size()), 0};
    std::copy(values.begin(), values.end(), s.values);
    out_.statements.push_back(s);
  }

  void blend(int line, bool on) {
    if (on == blending_) return;
    blending_ = on;
    add(Op::Blend, line, {on ? 1.0 : 0.0});
  }

  void feed(const Move& m) {
    if (m.feed == feed_) return;
    feed_ = m.feed;
    add(Op::Feed, m.line, {m.feed});
  }

  void arc(const Move& m) {
    const gcode::PlaneAxes a = gcode::planeAxes(m.plane);
    const int plane = static_cast<int>(m.plane);
    const bool alongNormal = std::fabs(m.end[a.normal] - m.start[a.normal]) > 1e-9;
    if (alongNormal) return chords(m);
    blend(m.line, m.blend);
    const bool uvw = m.helix();
    const double u = m.end[3], v = m.end[4], w = m.end[5];
    if (m.fullCircle) {
      static constexpr Op kCircle[] = {Op::CircleXY, Op::CircleZX, Op::CircleYZ};
      static constexpr Op kCircleUVW[] = {Op::CircleXYUVW, Op::CircleZXUVW, Op::CircleYZUVW};
      const double dir = m.clockwise ? 0 : 1;
      if (uvw)
        add(kCircleUVW[plane], m.line, {m.centre[0], m.centre[1], u, v, w, dir});
      else
        add(kCircle[plane], m.line, {m.centre[0], m.centre[1], dir});
      return;
    }
    static constexpr Op kArc[] = {Op::ArcXY, Op::ArcZX, Op::ArcYZ};
    static constexpr Op kArcUVW[] = {Op::ArcXYUVW, Op::ArcZXUVW, Op::ArcYZUVW};
    const gcode::Axes mid = gcode::pointAlong(m, 0.5);
    if (uvw)
      add(kArcUVW[plane], m.line,
          {mid[a.first], mid[a.second], m.end[a.first], m.end[a.second], u, v, w});
    else
      add(kArc[plane], m.line, {mid[a.first], mid[a.second], m.end[a.first], m.end[a.second]});
  }

  // A helix whose normal axis moves: lines between points on it, blended.
  void chords(const Move& m) {
    const double step = 2 * std::acos(std::max(-1.0, 1 - kHelixChordError / m.radius));
    const int n = std::clamp(static_cast<int>(std::ceil(std::fabs(m.sweep) / step)), 4, 100000);
    blend(m.line, true);
    for (int i = 1; i <= n; ++i) {
      const gcode::Axes p = gcode::pointAlong(m, double(i) / n);
      add(Op::Line, m.line, {p.begin(), p.end()});
    }
    blend(m.line, m.blend);
  }

  Program& out_;
  int periodMs_;
  bool blending_ = false;
  double feed_ = -1;
};

}  // namespace

Program gcodeStatements(const gcode::Result& moves, int periodMs) {
  Program p;
  double fastest = 0;
  for (const Move& m : moves.moves)
    fastest = std::max(fastest, m.feed);
  Writer writer(p, periodMs, fastest > 0 ? fastest : 1.0);
  for (const Move& m : moves.moves)
    writer.move(m);
  return p;
}

}  // namespace tv::run
