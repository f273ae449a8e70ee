#include "gcode.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <set>

namespace tv::gcode {

PlaneAxes planeAxes(Plane plane) {
  switch (plane) {
    case Plane::ZX:
      return {2, 0, 1};
    case Plane::YZ:
      return {1, 2, 0};
    default:
      return {0, 1, 2};
  }
}

bool Move::helix() const {
  if (kind != MoveKind::Arc) return false;
  const int n = planeAxes(plane).normal;
  for (int i : {n, 3, 4, 5})
    if (std::fabs(end[i] - start[i]) > 1e-9) return true;
  return false;
}

Axes pointAlong(const Move& move, double f) {
  if (f >= 1) return move.end;
  Axes p{};
  for (int i = 0; i < 6; ++i)
    p[i] = move.start[i] + (move.end[i] - move.start[i]) * f;
  if (move.kind == MoveKind::Arc) {
    const PlaneAxes a = planeAxes(move.plane);
    const double t0 =
        std::atan2(move.start[a.second] - move.centre[1], move.start[a.first] - move.centre[0]);
    const double t = t0 + move.sweep * f;
    p[a.first] = move.centre[0] + move.radius * std::cos(t);
    p[a.second] = move.centre[1] + move.radius * std::sin(t);
  }
  return p;
}

std::string Diagnostic::text() const {
  std::string s = "line " + std::to_string(line);
  if (column > 0) s += ", column " + std::to_string(column);
  return s + ": " + message;
}

namespace {

constexpr double kSamePoint = 1e-6;  // mm: a move shorter than this goes nowhere

struct Word {
  char letter;
  double value;
  int column;
};

// The modal state, copied at the start of each block and kept only when the
// block reads without error.
struct State {
  Axes pos{};
  int motion = -1;  // G code times 10 (0, 10, 20, 30); -1 none
  Plane plane = Plane::XY;
  double scale = 1;  // mm per program unit
  bool incremental = false;
  bool arcAbsolute = false;
  bool blend = false;
  double feed = 0;  // mm per second
};

// A block's parse failure: where and why.
struct Failure {
  int column;
  std::string message;
};

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

std::string gName(int code10) {
  return "G" + std::to_string(code10 / 10) + (code10 % 10 ? "." + std::to_string(code10 % 10) : "");
}

// Splits a line into words, or says where it cannot.
std::optional<Failure> splitWords(std::string_view line, std::vector<Word>& words) {
  const size_t n = line.size();
  size_t i = 0;
  while (i < n) {
    const char c = line[i];
    const int column = static_cast<int>(i) + 1;
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == ';') return std::nullopt;
    if (c == '(') {
      const size_t close = line.find_first_of("()", i + 1);
      if (close == std::string_view::npos) return Failure{column, "comment \"(\" is not closed"};
      if (line[close] == '(')
        return Failure{static_cast<int>(close) + 1, "a comment cannot hold another \"(\""};
      i = close + 1;
      continue;
    }
    if (c == '[') return Failure{column, "expressions [...] are not supported"};
    if (c == '#') return Failure{column, "parameters # are not supported"};
    if (c == ')') return Failure{column, "\")\" without \"(\""};
    if (!std::isalpha(static_cast<unsigned char>(c)))
      return Failure{column, std::string("unexpected character \"") + c + "\""};
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ++i;
    // The number: blanks inside it are ignored, as everywhere.
    std::string digits;
    bool dot = false, anyDigit = false;
    for (; i < n; ++i) {
      const char d = line[i];
      if (d == ' ' || d == '\t') continue;
      if ((d == '+' || d == '-') && digits.empty()) {
        digits += d;
      } else if (d == '.' && !dot) {
        dot = true;
        digits += d;
      } else if (std::isdigit(static_cast<unsigned char>(d))) {
        anyDigit = true;
        digits += d;
      } else {
        break;
      }
    }
    if (!anyDigit) {
      if (i < n && line[i] == '[')
        return Failure{static_cast<int>(i) + 1, "expressions [...] are not supported"};
      if (i < n && line[i] == '#')
        return Failure{static_cast<int>(i) + 1, "parameters # are not supported"};
      return Failure{column, std::string(1, letter) + " needs a number"};
    }
    const double value = std::strtod(digits.c_str(), nullptr);
    if (!std::isfinite(value)) return Failure{column, std::string(1, letter) + " is out of range"};
    words.push_back({letter, value, column});
  }
  return std::nullopt;
}

// The words of one block sorted by meaning.
struct Block {
  const Word* g[8] = {};  // by modal group below
  const Word* m[3] = {};  // stop, spindle, coolant
  const Word* toolChange = nullptr;
  const Word* letter[26] = {};  // every other letter
};

enum GGroup { kNonModal, kMotion, kPlane, kUnits, kDistance, kArcDistance, kPath, kOther };

// The group of an accepted G code, or a failure for a refused one.
std::optional<Failure> classifyG(int code10, int column, GGroup& group) {
  switch (code10) {
    case 0:
    case 10:
    case 20:
    case 30:
    case 800:
      group = kMotion;
      return std::nullopt;
    case 40:
      group = kNonModal;
      return std::nullopt;
    case 170:
    case 180:
    case 190:
      group = kPlane;
      return std::nullopt;
    case 200:
    case 210:
      group = kUnits;
      return std::nullopt;
    case 900:
    case 910:
      group = kDistance;
      return std::nullopt;
    case 901:
    case 911:
      group = kArcDistance;
      return std::nullopt;
    case 610:
    case 640:
      group = kPath;
      return std::nullopt;
    case 400:
    case 490:
    case 540:
    case 940:
      group = kOther;  // the feed mode and the default-stating modes: nothing to do
      return std::nullopt;
    case 410:
    case 420:
      return Failure{column, gName(code10) + ": cutter radius compensation is not supported"};
    case 70:
    case 80:
    case 330:
    case 760:
    case 950:
    case 960:
      return Failure{column, gName(code10) + ": lathe modes are not supported"};
    default:
      break;
  }
  if (code10 == 730 || (code10 >= 810 && code10 <= 890 && code10 % 10 == 0))
    return Failure{column, gName(code10) + ": canned cycles are not supported"};
  return Failure{column, gName(code10) + " is not supported"};
}

class Reader {
 public:
  Result result;

  void readLine(std::string_view line, int number) {
    line_ = number;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return;
    if (line[first] == '/') return;  // block delete
    if (line.substr(first, line.find_last_not_of(" \t\r") - first + 1) == "%") return;
    std::vector<Word> words;
    if (auto f = splitWords(line, words)) return fail(*f);
    State s = state_;
    std::vector<Move> moves;
    if (auto f = execute(words, s, moves)) return fail(*f);
    state_ = s;
    for (const Move& m : moves)
      result.moves.push_back(m);
  }

  bool ended() const { return ended_ || result.errors.size() >= kMaxErrors; }

 private:
  void fail(const Failure& f) { result.errors.push_back({line_, f.column, f.message}); }

  void warnOnce(const std::string& word, int column, const char* what) {
    if (!warned_.insert(word).second) return;
    result.warnings.push_back({line_, column, word + ": " + what + "; ignored"});
  }

  std::optional<Failure> sort(const std::vector<Word>& words, Block& b) {
    for (const Word& w : words) {
      const std::string name = std::string(1, w.letter);
      if (w.letter == 'G') {
        const double tenfold = w.value * 10;
        const long code10 = std::lround(tenfold);
        if (std::fabs(tenfold - double(code10)) > 1e-6 || code10 < 0 || code10 > 9999)
          return Failure{w.column, "G" + number(w.value) + " is not supported"};
        GGroup group{};
        if (auto f = classifyG(static_cast<int>(code10), w.column, group)) return f;
        if (group == kOther) {
          if (code10 == 940) continue;  // the only feed mode there is
          warnOnce(gName(static_cast<int>(code10)), w.column, "states the default");
          continue;
        }
        if (code10 == 800) warnOnce("G80", w.column, "states the default");
        if (b.g[group])
          return Failure{w.column, group == kMotion ? "two motion words in one block"
                                                    : "two G words of one modal group"};
        b.g[group] = &w;
        continue;
      }
      if (w.letter == 'M') {
        // Whole numbers of the G words' range only: a huge value has no int.
        if (!(w.value >= 0 && w.value <= 9999) || w.value != std::floor(w.value))
          return Failure{w.column, "M" + number(w.value) + " is not supported"};
        const int code = static_cast<int>(w.value);
        int group = -1;
        if (code == 0 || code == 2 || code == 30) group = 0;
        if (code >= 3 && code <= 5) group = 1;
        if (code >= 7 && code <= 9) group = 2;
        if (code == 6) {
          warnOnce("M6", w.column, "this stack changes no tools");
          continue;
        }
        if (group < 0) return Failure{w.column, "M" + std::to_string(code) + " is not supported"};
        if (group == 1)
          warnOnce("M" + std::to_string(code), w.column, "this stack drives no spindle");
        if (group == 2) warnOnce("M" + std::to_string(code), w.column, "this stack has no coolant");
        if (b.m[group]) return Failure{w.column, "two M words of one modal group"};
        b.m[group] = &w;
        continue;
      }
      if (w.letter == 'O') return Failure{w.column, "O words (subprograms) are not supported"};
      if (std::string_view("NFSTPXYZABCIJKR").find(w.letter) == std::string_view::npos)
        return Failure{w.column, name + " words are not supported"};
      if (b.letter[w.letter - 'A']) return Failure{w.column, name + " given twice"};
      if (w.letter == 'S') warnOnce("S", w.column, "this stack drives no spindle");
      if (w.letter == 'T') warnOnce("T", w.column, "this stack changes no tools");
      b.letter[w.letter - 'A'] = &w;
    }
    return std::nullopt;
  }

  std::optional<Failure> execute(const std::vector<Word>& words, State& s, std::vector<Move>& out) {
    Block b;
    if (auto f = sort(words, b)) return f;
    const Word* const* L = b.letter;
    auto at = [&](char c) { return L[c - 'A']; };

    // Units first, since F and the coordinates of this block are in them.
    if (const Word* g = b.g[kUnits]) s.scale = std::lround(g->value * 10) == 200 ? kMmPerInch : 1;
    if (const Word* f = at('F')) {
      if (f->value < 0) return Failure{f->column, "F cannot be negative"};
      s.feed = f->value * s.scale / 60;
    }

    const Word* p = at('P');
    const Word* dwell = b.g[kNonModal];
    const Word* path = b.g[kPath];
    if (p && !dwell && !(path && std::lround(path->value * 10) == 640))
      return Failure{p->column, "P belongs to G4 or G64 only"};
    if (dwell) {
      if (!p) return Failure{dwell->column, "G4 needs P, the dwell in seconds"};
      if (p->value < 0) return Failure{p->column, "a dwell cannot be negative"};
    }
    if (const Word* g = b.g[kPlane]) {
      const long c = std::lround(g->value * 10);
      s.plane = c == 170 ? Plane::XY : c == 180 ? Plane::ZX : Plane::YZ;
    }
    if (path)
      s.blend = std::lround(path->value * 10) == 640;  // G64 P: the library has no tolerance
    if (const Word* g = b.g[kDistance]) s.incremental = std::lround(g->value * 10) == 910;
    if (const Word* g = b.g[kArcDistance]) s.arcAbsolute = std::lround(g->value * 10) == 901;
    const Word* motion = b.g[kMotion];
    if (motion) {
      const int c = static_cast<int>(std::lround(motion->value * 10));
      s.motion = c == 800 ? -1 : c;
    }

    // The end point.
    static constexpr char kAxisLetters[6] = {'X', 'Y', 'Z', 'A', 'B', 'C'};
    const Word* firstAxis = nullptr;
    Axes target = s.pos;
    for (int i = 0; i < 6; ++i) {
      const Word* w = at(kAxisLetters[i]);
      if (!w) continue;
      if (!firstAxis || w->column < firstAxis->column) firstAxis = w;
      const double v = w->value * (i < 3 ? s.scale : 1.0);
      target[i] = s.incremental ? s.pos[i] + v : v;
      if (!std::isfinite(target[i])) return Failure{w->column, "coordinate out of range"};
    }
    const Word* arcWord = nullptr;
    for (char c : {'I', 'J', 'K', 'R'})
      if (at(c) && (!arcWord || at(c)->column < arcWord->column)) arcWord = at(c);

    if (dwell) {
      if (firstAxis) return Failure{firstAxis->column, "G4 takes no coordinates"};
      Move m;
      m.kind = MoveKind::Dwell;
      m.line = line_;
      m.start = m.end = s.pos;
      m.dwell = p->value;
      m.blend = s.blend;
      out.push_back(m);
    }

    const bool arcMode = s.motion == 20 || s.motion == 30;
    if (arcWord && !arcMode) return Failure{arcWord->column, "I J K R belong to G2 or G3 only"};
    if (firstAxis || (arcMode && arcWord)) {
      const Word* where = motion ? motion : firstAxis ? firstAxis : arcWord;
      if (s.motion < 0)
        return Failure{where->column, "coordinates without a motion mode (G0 G1 G2 G3)"};
      if (s.motion != 0 && s.feed <= 0) return Failure{where->column, "no feed rate: set F first"};
      Move m;
      m.kind = s.motion == 0 ? MoveKind::Rapid : s.motion == 10 ? MoveKind::Feed : MoveKind::Arc;
      m.line = line_;
      m.start = s.pos;
      m.end = target;
      m.feed = m.kind == MoveKind::Rapid ? 0 : s.feed;
      m.blend = s.blend;
      if (arcMode) {
        if (auto f = arc(b, s, m, where)) return f;
        out.push_back(m);
      } else {
        bool moves = false;
        for (int i = 0; i < 6; ++i)
          moves = moves || std::fabs(target[i] - s.pos[i]) > kSamePoint;
        if (moves) out.push_back(m);
      }
      s.pos = target;
    }

    if (const Word* w = b.m[0]) {
      if (w->value == 0) {
        Move m;
        m.kind = MoveKind::Pause;
        m.line = line_;
        m.start = m.end = s.pos;
        m.blend = s.blend;
        out.push_back(m);
      } else {
        ended_ = true;
      }
    }
    return std::nullopt;
  }

  // Fills in the arc of move m from the block's I J K or R.
  std::optional<Failure> arc(const Block& b, const State& s, Move& m, const Word* where) {
    auto at = [&](char c) { return b.letter[c - 'A']; };
    const PlaneAxes axes = planeAxes(s.plane);
    // The plane's two offset letters in (first, second) order, and its normal's.
    static constexpr char kOffsets[3][3] = {{'I', 'J', 'K'}, {'K', 'I', 'J'}, {'J', 'K', 'I'}};
    const char* letters = kOffsets[static_cast<int>(s.plane)];
    const double sa = m.start[axes.first], sb = m.start[axes.second];
    const double ea = m.end[axes.first], eb = m.end[axes.second];
    const double chord = std::hypot(ea - sa, eb - sb);
    m.plane = s.plane;
    m.clockwise = s.motion == 20;
    double ca = 0, cb = 0;
    const Word* r = at('R');
    const Word* oa = at(letters[0]);
    const Word* ob = at(letters[1]);
    if (const Word* on = at(letters[2]))
      return Failure{on->column, std::string(1, letters[2]) + " is no centre offset in this plane"};
    if (r) {
      if (oa || ob) return Failure{r->column, "R and I J K in one arc"};
      if (chord < kSamePoint) return Failure{r->column, "R cannot give a full circle; use I J K"};
      const double radius = r->value * s.scale;
      if (std::fabs(radius) < kSamePoint) return Failure{r->column, "arc radius R is zero"};
      const double half = chord / 2;
      if (half > std::fabs(radius) + kArcTolerance)
        return Failure{r->column, "R " + number(r->value) + " is too small to reach the end point"};
      const double h = std::sqrt(std::max(0.0, radius * radius - half * half));
      const double side = (m.clockwise ? -1.0 : 1.0) * (radius > 0 ? 1.0 : -1.0);
      const double na = -(eb - sb) / chord, nb = (ea - sa) / chord;  // left of the chord
      ca = (sa + ea) / 2 + side * h * na;
      cb = (sb + eb) / 2 + side * h * nb;
    } else {
      if (!oa && !ob)
        return Failure{where->column,
                       std::string("an arc needs ") + letters[0] + " " + letters[1] + " or R"};
      const double va = oa ? oa->value * s.scale : 0, vb = ob ? ob->value * s.scale : 0;
      ca = s.arcAbsolute ? (oa ? va : sa) : sa + va;
      cb = s.arcAbsolute ? (ob ? vb : sb) : sb + vb;
    }
    const double r0 = std::hypot(sa - ca, sb - cb);
    const double r1 = std::hypot(ea - ca, eb - cb);
    // A radius or offset so large that its square overflows leaves no centre.
    if (!std::isfinite(ca) || !std::isfinite(cb) || !std::isfinite(r0) || !std::isfinite(r1))
      return Failure{r ? r->column : where->column, "arc radius out of range"};
    if (r0 < kSamePoint) return Failure{where->column, "arc of zero radius"};
    if (std::fabs(r0 - r1) > std::max(kArcTolerance, 0.001 * r0))
      return Failure{where->column, "the end point lies " + number(std::fabs(r0 - r1)) +
                                        " mm off the arc's radius " + number(r0)};
    m.centre[0] = ca;
    m.centre[1] = cb;
    m.radius = r0;
    m.fullCircle = chord < kSamePoint;
    const double twoPi = 2 * std::numbers::pi;
    const double t0 = std::atan2(sb - cb, sa - ca), t1 = std::atan2(eb - cb, ea - ca);
    double ccw = std::fmod(t1 - t0, twoPi);
    if (ccw <= 0) ccw += twoPi;
    if (m.fullCircle) ccw = twoPi;
    m.sweep = m.clockwise ? (m.fullCircle ? -twoPi : ccw - twoPi) : ccw;
    if (m.clockwise && !m.fullCircle && m.sweep == 0) m.sweep = -twoPi;
    return std::nullopt;
  }

  State state_;
  int line_ = 0;
  bool ended_ = false;
  std::set<std::string> warned_;
};

}  // namespace

Result read(std::string_view text) {
  Reader reader;
  int number = 0;
  size_t pos = 0;
  while (pos <= text.size() && !reader.ended()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    reader.readLine(text.substr(pos, end - pos), ++number);
    if (end == text.size()) break;
    pos = end + 1;
  }
  return std::move(reader.result);
}

std::string describe(const Move& m) {
  static constexpr const char* kAxes = "XYZUVW";
  std::string s = "line " + std::to_string(m.line) + ": ";
  switch (m.kind) {
    case MoveKind::Rapid:
      s += "rapid to";
      break;
    case MoveKind::Feed:
      s += "line to";
      break;
    case MoveKind::Arc: {
      static constexpr const char* kPlanes[] = {"XY", "ZX", "YZ"};
      s += std::string(m.fullCircle ? "circle" : "arc") + (m.clockwise ? " cw " : " ccw ") +
           kPlanes[static_cast<int>(m.plane)] + (m.helix() ? " helix" : "") + " centre " +
           number(m.centre[0]) + " " + number(m.centre[1]) + " radius " + number(m.radius) + " to";
      break;
    }
    case MoveKind::Dwell:
      return s + "dwell " + number(m.dwell) + " s";
    case MoveKind::Pause:
      return s + "pause (M0)";
  }
  for (int i = 0; i < 6; ++i)
    s += std::string(" ") + kAxes[i] + number(m.end[i]);
  if (m.kind != MoveKind::Rapid) s += " at " + number(m.feed) + " mm/s";
  if (m.blend) s += ", blended";
  return s;
}

}  // namespace tv::gcode
