#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <utility>

#include "csv_writer.h"
#include "platform/pcisvc/select_backend.h"
#include "platform/vcard/bus.h"
#include "program.h"
#include "runner.h"

namespace tv::run {
namespace {

bool parse(const std::string& text, Program& p, ParseError& e) {
  std::istringstream in(text);
  return parseProgram(in, p, e);
}

TEST(ProgramParser, ReadsEveryFormSkippingCommentsAndBlankLines) {
  Program p;
  ParseError e;
  ASSERT_TRUE(
      parse("# header\n"
            "\n"
            "FEED 2.5   # trailing comment\n"
            "line 1 -2e-1\n"
            "incremental\n"
            "linex +3\n"
            "lineUVW 1 2 3\n"
            "acctype s\n"
            "decsteps 0\n"
            "wait\n",
            p, e))
      << e.text();
  ASSERT_EQ(p.statements.size(), 8u);
  EXPECT_EQ(p.statements[0].op, Op::Feed);
  EXPECT_EQ(p.statements[0].line, 3);
  EXPECT_EQ(p.statements[0].values[0], 2.5);
  EXPECT_EQ(p.statements[1].op, Op::Line);
  EXPECT_EQ(p.statements[1].count, 2);
  EXPECT_EQ(p.statements[1].values[1], -0.2);
  EXPECT_EQ(p.statements[3].values[0], 3.0);
  EXPECT_EQ(p.statements[4].op, Op::LineUVW);
  EXPECT_EQ(p.statements[5].type, 'S');
  EXPECT_EQ(p.statements[7].op, Op::Wait);
  EXPECT_EQ(p.statements[7].line, 10);
}

TEST(ProgramParser, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"feed 1\njump 3\n", 2, "unknown statement \"jump\""},
      {"feed\n", 1, "feed takes 1 value, not 0"},
      {"\n\nline 1 2 3 4 5 6 7\n", 3, "line takes 1 to 6 values, not 7"},
      {"lineuvw 1 2\n", 1, "lineuvw takes 3 values, not 2"},
      {"feed 3x\n", 1, "not a number: \"3x\""},
      {"feed nan\n", 1, "not a number: \"nan\""},
      {"linex inf\n", 1, "not a number: \"inf\""},
      {"acctype Q\n", 1, "acctype: type must be S or T, not \"Q\""},
      {"accsteps 2.5\n", 1, "accsteps takes a whole number"},
      {"# ok\nwait now\n", 2, "wait takes 0 values, not 1"},
  };
  for (const Case& c : cases) {
    Program p;
    ParseError e;
    EXPECT_FALSE(parse(c.text, p, e)) << c.text;
    EXPECT_EQ(e.line, c.line) << c.text;
    EXPECT_EQ(e.message, c.message) << c.text;
  }
  ParseError e{4, "x"};
  EXPECT_EQ(e.text(), "line 4: x");
}

TEST(ProgramRunner, RunsIncrementalLinesAndReportsTheFailingStatement) {
  Program p;
  ParseError e;
  ASSERT_TRUE(parse("feed 5\nline 0.5 0.25\nincremental\nliney 0.25\n", p, e)) << e.text();
  RunResult r = runProgram(p, RunOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_FALSE(r.trace.samples.empty());
  const Sample& last = r.trace.samples.back();
  EXPECT_EQ(last.pulsePos[0], 500);
  EXPECT_EQ(last.pulsePos[1], 500);
  // Machine time: a 1 ms period lasts the card's cycle, 0.8192 ms as a float.
  EXPECT_DOUBLE_EQ(last.timeMs, r.trace.samples.size() * double(0.8192f));
  int32_t sum = 0;
  for (const Sample& s : r.trace.samples)
    sum += s.pulses[1];
  EXPECT_EQ(sum, 500);
  std::ostringstream csv;
  writeCsv(csv, r.trace);
  const std::string text = csv.str();
  EXPECT_EQ(text.rfind("time_ms,pos_x,", 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), long(r.trace.samples.size()) + 1);

  // A line before any feed speed is refused by the library; the error names
  // the statement's line and what ran before it is kept.
  ASSERT_TRUE(parse("line 1\n", p, e));
  r = runProgram(p, RunOptions{});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "line 1: VNL_Line returned -7 (feed speed not positive (set one with feed))");
}

TEST(ProgramRunner, OnTheVirtualCardThePlantEndsWhereTheTraceDoes) {
  Program p;
  ParseError e;
  ASSERT_TRUE(parse("feed 4\nline 0.5 -0.25\nline 0.5 0.125 0.002\n", p, e)) << e.text();
  RunOptions options;
  options.target = Target::VirtualCard;
  const RunResult r = runProgram(p, options);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.plantKnown);
  ASSERT_FALSE(r.trace.samples.empty());
  const Sample& last = r.trace.samples.back();
  EXPECT_EQ(last.pulsePos[0], 500);
  EXPECT_EQ(last.pulsePos[1], 125);
  EXPECT_EQ(r.plant[0] - r.plantStart[0], 500);
  EXPECT_EQ(r.plant[1] - r.plantStart[1], 125);
  EXPECT_EQ(r.plant[2] - r.plantStart[2], 2);
}

// The time column is machine time on both paths: a period lasts the card's
// DDA cycle (0.8192 ms at 1 ms, 4.9152 ms at the operator program's 5 ms), the
// run lasts what the feed and the 20-cycle ramps ask, simulation and card
// agree within a period, and the path speed column shows the feed.
TEST(ProgramRunner, TimeIsMachineTimeInSimulationAndOnTheCard) {
  Program p;
  ParseError e;
  ASSERT_TRUE(parse("feed 3\nline 10\n", p, e)) << e.text();
  for (const auto& [period, cycle] : {std::pair{1, 0.8192}, std::pair{5, 4.9152}}) {
    double end[2] = {};
    for (const Target target : {Target::Simulation, Target::VirtualCard}) {
      RunOptions options;
      options.periodMs = period;
      options.target = target;
      const RunResult r = runProgram(p, options);
      ASSERT_TRUE(r.ok) << r.error;
      ASSERT_GT(r.trace.samples.size(), 100u);
      EXPECT_NEAR(r.trace.cycleMs, cycle, 1e-6);
      const Sample& last = r.trace.samples.back();
      EXPECT_EQ(last.pulsePos[0], 10000);
      const double planned = 10.0 / 3.0 * 1000.0 + 20 * cycle;
      EXPECT_NEAR(last.timeMs / planned, 1.0, 0.005) << period << " ms: " << last.timeMs;
      const Sample& middle = r.trace.samples[r.trace.samples.size() / 2];
      EXPECT_NEAR(middle.pathSpeed / 3.0, 1.0, 0.005) << period << " ms";
      end[target == Target::Simulation ? 0 : 1] = last.timeMs;
    }
    EXPECT_LE(std::abs(end[0] - end[1]), cycle * 1.000001) << period << " ms";
  }
}

// A real card asked for on a machine without one: nothing runs, and the
// virtual card the process also has is left alone.
TEST(ProgramRunner, OnLinuxWithoutACardNothingRunsNotEvenOnTheVirtualCard) {
  const pcisvc::BackendChoice host = pcisvc::useBackend(pcisvc::BackendKind::Linux);
  if (!host.survey.cards.empty())
    GTEST_SKIP() << "this machine has a card: a run would move its axes";
  vcard::bus().clear();
  const auto card = vcard::bus().install(vcard::ChipModel::Qora210);
  Program p;
  ParseError e;
  ASSERT_TRUE(parse("feed 4\nline 0.5\n", p, e)) << e.text();
  RunOptions options;
  options.target = Target::LinuxCard;
  const RunResult r = runProgram(p, options);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.noCard);
  EXPECT_EQ(r.backend, "Linux (sysfs and UIO)");
  EXPECT_EQ(r.error, host.problem);  // "no card found: ...", or no sysfs at all
  EXPECT_TRUE(r.trace.samples.empty());
  EXPECT_FALSE(vcard::bus().registered(*card));
  EXPECT_EQ(card->cycles(), 0u);
  pcisvc::useBackend(pcisvc::BackendKind::Virtual);
  vcard::bus().clear();
}

}  // namespace
}  // namespace tv::run
