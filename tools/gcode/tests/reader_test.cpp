#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "gcode.h"

namespace tv::gcode {
namespace {

constexpr double kEps = 1e-9;

Result readOk(const std::string& text) {
  Result r = read(text);
  for (const Diagnostic& e : r.errors)
    ADD_FAILURE() << e.text();
  return r;
}

// The one error of a program.
Diagnostic errorOf(const std::string& text) {
  const Result r = read(text);
  EXPECT_EQ(r.errors.size(), 1u) << text;
  return r.errors.empty() ? Diagnostic{} : r.errors.front();
}

void expectAt(const Axes& a, std::initializer_list<double> want, double tol = kEps) {
  int i = 0;
  for (double w : want) {
    EXPECT_NEAR(a[i], w, tol) << "axis " << i;
    ++i;
  }
}

TEST(GcodeReader, LinesRapidsFeedsAndModalCarryOver) {
  const Result r = readOk(
      "G0 X1 Y2\n"
      "Z3\n"  // still G0
      "G1 X4 F600\n"
      "Y5\n"     // still G1 at F600
      "F1200\n"  // a feed alone moves nothing
      "X6\n"
      "X6\n");  // already there: dropped
  ASSERT_EQ(r.moves.size(), 5u);
  EXPECT_EQ(r.moves[0].kind, MoveKind::Rapid);
  EXPECT_EQ(r.moves[1].kind, MoveKind::Rapid);
  expectAt(r.moves[1].start, {1, 2, 0});
  expectAt(r.moves[1].end, {1, 2, 3});
  EXPECT_EQ(r.moves[2].kind, MoveKind::Feed);
  EXPECT_DOUBLE_EQ(r.moves[2].feed, 10.0);  // 600 mm/min
  EXPECT_EQ(r.moves[3].kind, MoveKind::Feed);
  EXPECT_DOUBLE_EQ(r.moves[3].feed, 10.0);
  expectAt(r.moves[3].end, {4, 5, 3});
  EXPECT_DOUBLE_EQ(r.moves[4].feed, 20.0);
  EXPECT_EQ(r.moves[4].line, 6);
  EXPECT_TRUE(r.warnings.empty());
}

TEST(GcodeReader, SpellingsCommentsAndSkippedLines) {
  const Result r = readOk(
      "%\n"
      "n10 g0x1y2z3 (a comment) ; and another\n"
      "/G0 X99\n"
      "   \n"
      "N20 G1 X 1 0 . 5 Y-.5 Z+1. F60 (spaces inside numbers)\n"
      "g1 a10 b-20 c30\n"
      "%\n");
  ASSERT_EQ(r.moves.size(), 3u);
  expectAt(r.moves[0].end, {1, 2, 3, 0, 0, 0});
  expectAt(r.moves[1].end, {10.5, -0.5, 1});
  EXPECT_EQ(r.moves[1].line, 5);
  expectAt(r.moves[2].end, {10.5, -0.5, 1, 10, -20, 30});  // A B C on U V W
}

TEST(GcodeReader, InchesIncrementalAndBlending) {
  const Result r = readOk(
      "G20 G91 G64 P0.01\n"
      "G1 X1 Y-2 A5 F10\n"  // A is an angle: not scaled by G20
      "X1\n"
      "G21 G90 G61\n"
      "G1 X0\n");
  ASSERT_EQ(r.moves.size(), 3u);
  expectAt(r.moves[0].end, {25.4, -50.8, 0, 5});
  EXPECT_NEAR(r.moves[0].feed, 254.0 / 60, kEps);
  EXPECT_TRUE(r.moves[0].blend);
  expectAt(r.moves[1].end, {50.8, -50.8, 0, 5});
  EXPECT_FALSE(r.moves[2].blend);
  expectAt(r.moves[2].end, {0, -50.8, 0, 5});
  EXPECT_NEAR(r.moves[2].feed, 254.0 / 60, kEps);  // the feed stays as set, in mm
}

TEST(GcodeReader, DwellPauseAndEnd) {
  const Result r = readOk(
      "G1 X1 F60\n"
      "G4 P1.5\n"
      "M0\n"
      "M30\n"
      "G1 X[bad] this is never read\n");
  ASSERT_EQ(r.moves.size(), 3u);
  EXPECT_EQ(r.moves[1].kind, MoveKind::Dwell);
  EXPECT_DOUBLE_EQ(r.moves[1].dwell, 1.5);
  expectAt(r.moves[1].end, {1, 0, 0});
  EXPECT_EQ(r.moves[2].kind, MoveKind::Pause);
  EXPECT_TRUE(read("G1 X1 F60\nM2\nO100 sub\n").ok());
}

TEST(GcodeReader, AcceptedWordsWarnOnceEach) {
  const Result r = readOk(
      "G40 G49 G80 G54 G94 G17\n"
      "T1 M6\n"
      "S1000 M3\n"
      "M8\n"
      "G1 X1 F100 S2000\n"  // S again: no second warning
      "M5 M9\n");
  ASSERT_EQ(r.moves.size(), 1u);
  std::vector<std::string> words;
  for (const Diagnostic& w : r.warnings)
    words.push_back(w.message.substr(0, w.message.find(':')) + "@" + std::to_string(w.line));
  const std::vector<std::string> want = {"G40@1", "G49@1", "G80@1", "G54@1", "T@2", "M6@2",
                                         "S@3",   "M3@3",  "M8@4",  "M5@6",  "M9@6"};
  EXPECT_EQ(words, want);
  EXPECT_EQ(r.warnings[4].column, 1);  // T at the start of line 2
}

TEST(GcodeReader, G80EndsTheMotionMode) {
  const Diagnostic e = errorOf("G1 X1 F100\nG80\nX2\n");
  EXPECT_EQ(e.line, 3);
  EXPECT_EQ(e.column, 1);
}

// Arcs of each plane by I J K and by R with both signs: they end on their
// target, keep the radius, and their sense and sweep are those asked for.
struct ArcCase {
  const char* text;
  Plane plane;
  Axes end;
  double centreA, centreB, radius, sweep;
};

TEST(GcodeReader, ArcsInEveryPlaneEndOnTheirTargets) {
  const double h = std::numbers::pi / 2;
  const ArcCase cases[] = {
      // Quarter arcs from (10, 0) about the origin of each plane.
      {"G17 G0 X10\nG3 X0 Y10 I-10 J0 F60", Plane::XY, {0, 10, 0}, 0, 0, 10, h},
      {"G17 G0 X10\nG2 X0 Y-10 I-10 F60", Plane::XY, {0, -10, 0}, 0, 0, 10, -h},
      {"G17 G0 X10\nG3 X0 Y10 R10 F60", Plane::XY, {0, 10, 0}, 0, 0, 10, h},
      {"G17 G0 X10\nG2 X0 Y10 R-10 F60", Plane::XY, {0, 10, 0}, 0, 0, 10, -3 * h},
      {"G17 G0 X10\nG3 X0 Y10 R-10 F60", Plane::XY, {0, 10, 0}, 10, 10, 10, 3 * h},
      // Z-X plane: first axis Z, second X.
      {"G18 G0 Z10\nG3 Z0 X10 K-10 F60", Plane::ZX, {10, 0, 0}, 0, 0, 10, h},
      {"G18 G0 Z10\nG2 Z0 X10 R-10 F60", Plane::ZX, {10, 0, 0}, 0, 0, 10, -3 * h},
      {"G18 G0 Z10\nG2 Z0 X-10 I0 K-10 F60", Plane::ZX, {-10, 0, 0}, 0, 0, 10, -h},
      // Y-Z plane: first axis Y, second Z.
      {"G19 G0 Y10\nG3 Y0 Z10 J-10 F60", Plane::YZ, {0, 0, 10}, 0, 0, 10, h},
      {"G19 G0 Y10\nG3 Y0 Z10 R10 F60", Plane::YZ, {0, 0, 10}, 0, 0, 10, h},
      {"G19 G0 Y10\nG2 Y0 Z-10 R10 F60", Plane::YZ, {0, 0, -10}, 0, 0, 10, -h},
      // Absolute centres.
      {"G90.1 G0 X10\nG3 X0 Y10 I0 J0 F60", Plane::XY, {0, 10, 0}, 0, 0, 10, h},
      // Incremental end point with incremental centre.
      {"G0 X10\nG91 G3 X-10 Y10 I-10 F60", Plane::XY, {0, 10, 0}, 0, 0, 10, h},
  };
  for (const ArcCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Result r = readOk(c.text);
    ASSERT_EQ(r.moves.size(), 2u);
    const Move& m = r.moves[1];
    ASSERT_EQ(m.kind, MoveKind::Arc);
    EXPECT_EQ(m.plane, c.plane);
    EXPECT_NEAR(m.centre[0], c.centreA, 1e-9);
    EXPECT_NEAR(m.centre[1], c.centreB, 1e-9);
    EXPECT_NEAR(m.radius, c.radius, 1e-9);
    EXPECT_NEAR(m.sweep, c.sweep, 1e-9);
    EXPECT_FALSE(m.fullCircle);
    EXPECT_FALSE(m.helix());
    EXPECT_EQ(m.clockwise, m.sweep < 0);
    // The circle followed to its end lands on the target, and halfway is on the radius.
    const Axes end = pointAlong(m, 1.0 - 1e-12);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(end[i], c.end[i], 1e-6) << "axis " << i;
    expectAt(m.end, {c.end[0], c.end[1], c.end[2]});
    const PlaneAxes a = planeAxes(c.plane);
    const Axes mid = pointAlong(m, 0.5);
    EXPECT_NEAR(std::hypot(mid[a.first] - c.centreA, mid[a.second] - c.centreB), c.radius, 1e-9);
  }
}

TEST(GcodeReader, FullCirclesAndHelices) {
  const Result r = readOk(
      "G0 X10\n"
      "G2 X10 Y0 I-10 F60\n"       // full circle, clockwise
      "G3 I-10\n"                  // full circle without an end point
      "G3 X-10 Y0 Z5 I-10 F60\n"   // half a helix turn, Z climbing
      "G17 G2 X10 Y0 B90 R10\n");  // a half turn with V (B) in step
  ASSERT_EQ(r.moves.size(), 5u);
  EXPECT_TRUE(r.moves[1].fullCircle);
  EXPECT_NEAR(r.moves[1].sweep, -2 * std::numbers::pi, kEps);
  EXPECT_FALSE(r.moves[1].helix());
  EXPECT_TRUE(r.moves[2].fullCircle);
  EXPECT_NEAR(r.moves[2].sweep, 2 * std::numbers::pi, kEps);
  const Move& helix = r.moves[3];
  EXPECT_TRUE(helix.helix());
  EXPECT_NEAR(helix.sweep, std::numbers::pi, kEps);
  const Axes q = pointAlong(helix, 0.5);  // a quarter turn up: (0, 10), Z halfway
  expectAt(q, {0, 10, 2.5}, 1e-9);
  EXPECT_TRUE(r.moves[4].helix());
  EXPECT_NEAR(pointAlong(r.moves[4], 0.5)[4], 45, kEps);
  expectAt(r.moves[4].end, {10, 0, 5, 0, 90, 0});
}

struct ErrorCase {
  const char* text;
  int line, column;
  const char* says;  // a part of the message
};

TEST(GcodeReader, RefusedConstructsSayLineAndColumn) {
  const ErrorCase cases[] = {
      {"G1 X[1+2] F100", 1, 5, "expressions"},
      {"#1=5", 1, 1, "parameters"},
      {"G1 X#1 F100", 1, 5, "parameters"},
      {"G0 X0\nO100", 2, 1, "O words"},
      {"G81 X1 Y1 Z-1 R1", 1, 1, "canned cycles"},
      {"G0 X0\n  G83 Z-1", 2, 3, "canned cycles"},
      {"G41 D1", 1, 1, "cutter radius"},
      {"G1 G42 X1", 1, 4, "cutter radius"},
      {"G7", 1, 1, "lathe"},
      {"G96 S100", 1, 1, "lathe"},
      {"G95", 1, 1, "lathe"},
      {"G0 G1 X1 F10", 1, 4, "two motion words"},
      {"G2 G3 X1 F10 R1", 1, 4, "two motion words"},
      {"G20 G21", 1, 5, "modal group"},
      {"G1 X1 X2 F10", 1, 7, "twice"},
      {"G2 X10 Y0 I4 F60", 1, 1, "off the arc's radius"},
      {"G0 X10\nG2 X10 Y0 R5 F60", 2, 11, "full circle"},
      {"G2 X10 R2 F60", 1, 8, "too small"},
      {"G17 G2 X10 K5 F60", 1, 12, "no centre offset"},
      {"G2 X10 Y0 F60", 1, 1, "needs I J"},
      {"X1 Y1", 1, 1, "without a motion mode"},
      {"G1 X1", 1, 1, "no feed rate"},
      {"G0 X1 I2", 1, 7, "G2 or G3 only"},
      {"G4", 1, 1, "needs P"},
      {"G4 P-1", 1, 4, "negative"},
      {"G4 P1 X2", 1, 7, "no coordinates"},
      {"G1 X1 P2 F10", 1, 7, "G4 or G64"},
      {"G1 X1 (open comment", 1, 7, "not closed"},
      {"G1 X (no number)", 1, 4, "needs a number"},
      {"G28", 1, 1, "not supported"},
      {"G55", 1, 1, "not supported"},
      {"M98", 1, 1, "not supported"},
      {"G1 E5", 1, 4, "E words"},
      {"G1 X1 F-10", 1, 7, "negative"},
      {"G1 X1 F10 *5", 1, 11, "unexpected character"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Diagnostic e = errorOf(c.text);
    EXPECT_EQ(e.line, c.line);
    EXPECT_EQ(e.column, c.column);
    EXPECT_NE(e.message.find(c.says), std::string::npos) << e.message;
  }
  // An R whose square overflows leaves no centre to put the arc on.
  const Diagnostic huge = errorOf("G2 X10 R" + std::string(200, '3') + " F60");
  EXPECT_EQ(huge.column, 8);
  EXPECT_NE(huge.message.find("out of range"), std::string::npos) << huge.message;
}

TEST(GcodeReader, EveryErrorIsListedAndBadBlocksChangeNothing) {
  const Result r = read(
      "G1 X1 F60\n"
      "G20 G91 X[2]\n"  // refused as a whole: neither inches nor incremental stay
      "X3\n"
      "G2 X0 R-0.1\n"
      "X4\n");
  ASSERT_EQ(r.errors.size(), 2u);
  EXPECT_EQ(r.errors[0].line, 2);
  EXPECT_EQ(r.errors[1].line, 4);
  ASSERT_EQ(r.moves.size(), 3u);
  expectAt(r.moves[1].end, {3, 0, 0});
  EXPECT_EQ(r.moves[2].kind, MoveKind::Feed);  // the refused G2 did not become the mode
  expectAt(r.moves[2].end, {4, 0, 0});
  EXPECT_EQ(r.errors[0].text(), "line 2, column 10: expressions [...] are not supported");
}

// Random text, part G-code and part noise: the reader never crashes, and what
// it returns is either errors or a chain of finite moves, each starting where
// the one before ended.
TEST(GcodeReader, RandomTextGivesMovesOrErrors) {
  std::mt19937 rng(19);
  const std::string tokens[] = {"G0",
                                "G1",
                                "G2",
                                "G3",
                                "G4",
                                "G17",
                                "G18",
                                "G19",
                                "G20",
                                "G21",
                                "G90",
                                "G91",
                                "G90.1",
                                "G91.1",
                                "G64",
                                "G61",
                                "M0",
                                "M3",
                                "S",
                                "T",
                                "X",
                                "Y",
                                "Z",
                                "A",
                                "I",
                                "J",
                                "K",
                                "R",
                                "P",
                                "F",
                                "N",
                                "(",
                                ")",
                                ";",
                                "/",
                                "%",
                                "[",
                                "#",
                                " ",
                                "\n",
                                "-",
                                ".",
                                "1",
                                "0",
                                "5",
                                "e",
                                "9999999999999999999999999",
                                "\t",
                                "M2",
                                "O",
                                "\x01",
                                "\xff"};
  const int n = static_cast<int>(std::size(tokens));
  for (int program = 0; program < 3000; ++program) {
    std::string text;
    const int length = 1 + static_cast<int>(rng() % 80);
    for (int t = 0; t < length; ++t) {
      text += tokens[rng() % n];
      if (rng() % 3 == 0) text += std::to_string(static_cast<int>(rng() % 41) - 20);
    }
    const Result r = read(text);
    if (!r.ok()) {
      for (const Diagnostic& e : r.errors) {
        ASSERT_GE(e.line, 1) << text;
        ASSERT_FALSE(e.message.empty());
      }
      continue;
    }
    Axes at{};
    for (const Move& m : r.moves) {
      for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(std::isfinite(m.end[i])) << text;
        ASSERT_DOUBLE_EQ(m.start[i], at[i]) << text;
      }
      if (m.kind == MoveKind::Arc) {
        ASSERT_TRUE(std::isfinite(m.sweep) && std::fabs(m.sweep) <= 2 * std::numbers::pi + 1e-12);
        ASSERT_GT(m.radius, 0);
      }
      at = m.end;
    }
  }
}

TEST(GcodeReader, SamplePrograms) {
  auto file = [](const char* name) {
    std::ifstream in(std::string(TV_PROGRAMS_DIR) + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  for (const char* name : {"pocket.ngc", "helix.ngc", "inches.nc", "outline_xy.gcode"}) {
    SCOPED_TRACE(name);
    const Result r = readOk(file(name));
    EXPECT_GT(r.moves.size(), 3u);
  }
  // Every refused construct of the sample is reported, one per line.
  const Result refused = read(file("refused.ngc"));
  EXPECT_TRUE(refused.moves.empty());
  std::set<int> lines;
  for (const Diagnostic& e : refused.errors)
    lines.insert(e.line);
  EXPECT_EQ(lines.size(), refused.errors.size());
  EXPECT_GE(refused.errors.size(), 12u);
}

}  // namespace
}  // namespace tv::gcode
