// G-code programs through tv-run's runner: the statements they become, and
// the sample programs run to where they end, in pulses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "gcode_program.h"
#include "runner.h"

namespace tv::run {
namespace {

constexpr double kPulsesPerUnit = 1000.0;  // the library's default machine parameters

Program fromText(const std::string& text, int periodMs = 1) {
  const gcode::Result r = gcode::read(text);
  EXPECT_TRUE(r.ok()) << (r.errors.empty() ? "" : r.errors.front().text());
  return gcodeStatements(r, periodMs);
}

Program fromFile(const std::string& name) {
  std::ifstream in(std::string(TV_PROGRAMS_DIR) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::stringstream s;
  s << in.rdbuf();
  return fromText(s.str());
}

int32_t lowest(const Trace& t, int axis) {
  int32_t v = 0;
  for (const Sample& s : t.samples)
    v = std::min(v, s.pulsePos[axis]);
  return v;
}

int32_t highest(const Trace& t, int axis) {
  int32_t v = 0;
  for (const Sample& s : t.samples)
    v = std::max(v, s.pulsePos[axis]);
  return v;
}

TEST(GcodeRun, MovesBecomeTheRunnersStatements) {
  EXPECT_TRUE(isGcodeFile("a/b.NGC"));
  EXPECT_TRUE(isGcodeFile("x.nc"));
  EXPECT_TRUE(isGcodeFile("x.gcode"));
  EXPECT_FALSE(isGcodeFile("square.tvp"));
  EXPECT_FALSE(isGcodeFile("ngc"));

  const Program p = fromText(
      "G0 X10 Y5\n"
      "G64 G1 X10 Y0 F600\n"
      "G2 X0 Y10 R10\n"     // a quarter, clockwise about (10, 10)
      "G18 G3 Z10 X0 K5\n"  // half a circle in Z-X
      "G17 G2 I-10 J0\n"    // full circle about (-10, 10)
      "G4 P0.5\n"
      "M0\n",
      2);
  std::vector<Op> ops;
  for (const Statement& s : p.statements)
    ops.push_back(s.op);
  const std::vector<Op> want = {Op::Absolute, Op::Feed,  Op::PtP,      Op::Blend, Op::Line,
                                Op::ArcXY,    Op::ArcZX, Op::CircleXY, Op::Delay, Op::Wait};
  ASSERT_EQ(ops, want);
  const Statement& arc = p.statements[5];
  // The arc's middle, 225 degrees round its centre (10, 10), is the reference point.
  EXPECT_NEAR(arc.values[0], 10 - 10 / std::sqrt(2.0), 1e-9);
  EXPECT_NEAR(arc.values[1], 10 - 10 / std::sqrt(2.0), 1e-9);
  EXPECT_DOUBLE_EQ(arc.values[2], 0);
  EXPECT_DOUBLE_EQ(arc.values[3], 10);
  const Statement& half =
      p.statements[6];  // Z-X: counter-clockwise from Z to X, through (Z 5, X -5)
  EXPECT_NEAR(half.values[0], 5, 1e-9);
  EXPECT_NEAR(half.values[1], -5, 1e-9);
  EXPECT_DOUBLE_EQ(p.statements[7].values[0], -10);  // the circle's centre
  EXPECT_DOUBLE_EQ(p.statements[7].values[2], 0);    // clockwise
  EXPECT_DOUBLE_EQ(p.statements[8].values[0], 250);  // 0.5 s at 2 ms
  EXPECT_DOUBLE_EQ(p.statements[1].values[0], 10);   // 600 mm/min, from the start
}

TEST(GcodeRun, HelixAlongTheNormalRunsAsBlendedChords) {
  const Program p = fromText("G0 X10\nG3 X10 Y0 Z-2 I-10 J0 F600\n");
  int lines = 0;
  const Statement* last = nullptr;
  for (const Statement& s : p.statements) {
    if (s.op != Op::Line) continue;
    ++lines;
    last = &s;
    EXPECT_NEAR(std::hypot(s.values[0], s.values[1]), 10, 1e-9);
  }
  // Chords of 10 mm radius within 0.001 mm: about 222 a turn.
  EXPECT_GE(lines, 200);
  EXPECT_LE(lines, 250);
  ASSERT_TRUE(last);
  EXPECT_DOUBLE_EQ(last->values[2], -2);
  EXPECT_EQ(p.statements.back().op, Op::Blend);  // back to the program's G61
}

TEST(GcodeRun, ThePocketEndsOnTheVirtualCardWhereTheProgramEnds) {
  RunOptions options;
  options.target = Target::VirtualCard;
  const RunResult r = runProgram(fromFile("pocket.ngc"), options);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.plantKnown);
  const int64_t want[6] = {0, 0, 5000, 0, 0, 0};  // X0 Y0 Z5
  for (int a = 0; a < 6; ++a)
    EXPECT_EQ(r.plant[a] - r.plantStart[a], want[a]) << "axis " << a;
  // On the way the tool went down to Z-1 and along the walls at +-15 mm.
  EXPECT_EQ(lowest(r.trace, 2), -1 * kPulsesPerUnit);
  EXPECT_EQ(highest(r.trace, 0), 15 * kPulsesPerUnit);
  EXPECT_EQ(lowest(r.trace, 0), -15 * kPulsesPerUnit);
  EXPECT_EQ(highest(r.trace, 1), 15 * kPulsesPerUnit);
  EXPECT_EQ(lowest(r.trace, 1), -15 * kPulsesPerUnit);
}

TEST(GcodeRun, HelixAndInchSamplesEndOnTheirTargets) {
  const RunResult helix = runProgram(fromFile("helix.ngc"), RunOptions{});
  ASSERT_TRUE(helix.ok) << helix.error;
  const Sample& h = helix.trace.samples.back();
  EXPECT_EQ(h.pulsePos[0], 10000);
  EXPECT_EQ(h.pulsePos[1], 0);
  EXPECT_EQ(h.pulsePos[2], 5000);
  EXPECT_EQ(h.pulsePos[3], 180000);  // A on U
  EXPECT_EQ(lowest(helix.trace, 2), -5000);
  EXPECT_EQ(lowest(helix.trace, 0), -10000);

  const RunResult inches = runProgram(fromFile("inches.nc"), RunOptions{});
  ASSERT_TRUE(inches.ok) << inches.error;
  EXPECT_EQ(inches.trace.samples.back().pulsePos[0], 0);
  EXPECT_EQ(inches.trace.samples.back().pulsePos[1], 0);
  // The round end reaches X 2.5 in; the periods sample its top within a pulse.
  EXPECT_NEAR(highest(inches.trace, 0), 2 * 25400 + 12700, 1);
  EXPECT_EQ(highest(inches.trace, 1), 25400);
}

}  // namespace
}  // namespace tv::run
