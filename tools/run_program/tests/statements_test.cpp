// The statements of arcs, circles, point-to-point moves, jogs, blending and
// delays: what each one reads and how bad arguments are reported.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "program.h"

namespace tv::run {
namespace {

bool parse(const std::string& text, Program& p, ParseError& e) {
  std::istringstream in(text);
  return parseProgram(in, p, e);
}

TEST(ProgramStatements, ReadsEveryMoveForm) {
  struct Case {
    const char* text;
    Op op;
    std::vector<double> values;
  };
  const Case cases[] = {
      {"arcxy 1 2 3 4", Op::ArcXY, {1, 2, 3, 4}},
      {"ArcYZ -1 2 3 4.5", Op::ArcYZ, {-1, 2, 3, 4.5}},
      {"arczx 1 2 3 4", Op::ArcZX, {1, 2, 3, 4}},
      {"arcxyuvw 1 2 3 4 5 6 7", Op::ArcXYUVW, {1, 2, 3, 4, 5, 6, 7}},
      {"arcyzuvw 1 2 3 4 5 6 7", Op::ArcYZUVW, {1, 2, 3, 4, 5, 6, 7}},
      {"ARCZXUVW 1 2 3 4 5 6 -7", Op::ArcZXUVW, {1, 2, 3, 4, 5, 6, -7}},
      {"arcxyz 1 2 3 4 5 6", Op::ArcXYZ, {1, 2, 3, 4, 5, 6}},
      {"circlexy 2 0 1", Op::CircleXY, {2, 0, 1}},
      {"circleyz 2 0 0", Op::CircleYZ, {2, 0, 0}},
      {"circlezx 2 0 1", Op::CircleZX, {2, 0, 1}},
      {"circlexyuvw 1 0 5 0 0 1", Op::CircleXYUVW, {1, 0, 5, 0, 0, 1}},
      {"circleyzuvw 1 0 5 0 0 0", Op::CircleYZUVW, {1, 0, 5, 0, 0, 0}},
      {"circlezxuvw 1 0 5 6 7 1", Op::CircleZXUVW, {1, 0, 5, 6, 7, 1}},
      {"ptpspeed 40", Op::PtPSpeed, {40}},
      {"ptp 1 2", Op::PtP, {1, 2}},
      {"ptp 1 2 3 4 5 6", Op::PtP, {1, 2, 3, 4, 5, 6}},
      {"jog -1.5 50 0", Op::Jog, {-1.5, 50, 0}},
      {"jogconti -1 20 5", Op::JogConti, {-1, 20, 5}},
      {"jogpulse -300 2", Op::JogPulse, {-300, 2}},
      {"blend ON", Op::Blend, {1}},
      {"blend off", Op::Blend, {0}},
      {"delay 100", Op::Delay, {100}},
      {"delay 4294967295", Op::Delay, {4294967295.0}},
  };
  for (const Case& c : cases) {
    Program p;
    ParseError e;
    ASSERT_TRUE(parse(std::string("# first\n") + c.text + "  # note\n", p, e))
        << c.text << ": " << e.text();
    ASSERT_EQ(p.statements.size(), 1u) << c.text;
    const Statement& s = p.statements[0];
    EXPECT_EQ(s.op, c.op) << c.text;
    EXPECT_EQ(s.line, 2) << c.text;
    ASSERT_EQ(s.count, int(c.values.size())) << c.text;
    for (size_t i = 0; i < c.values.size(); ++i)
      EXPECT_EQ(s.values[i], c.values[i]) << c.text << " value " << i;
  }
}

TEST(ProgramStatements, BadArgumentsAreErrorsOfTheirLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"arcxy 1 2 3", "arcxy takes 4 values, not 3"},
      {"arcyz 1 2 3 4 5", "arcyz takes 4 values, not 5"},
      {"arcxyuvw 1 2 3 4 5 6", "arcxyuvw takes 7 values, not 6"},
      {"arcxyz 1 2 3 4 5", "arcxyz takes 6 values, not 5"},
      {"arczx 1 2 nan 4", "not a number: \"nan\""},
      {"arcxyz 1 2 3 4 5 1e999", "not a number: \"1e999\""},
      {"circlexy 1 2", "circlexy takes 3 values, not 2"},
      {"circlexy 1 2 2", "circlexy: direction must be 1 (counter-clockwise) or 0 (clockwise)"},
      {"circlezxuvw 1 2 3 4 5 -1",
       "circlezxuvw: direction must be 1 (counter-clockwise) or 0 (clockwise)"},
      {"circleyz 1 2 0.5", "circleyz: direction must be 1 (counter-clockwise) or 0 (clockwise)"},
      {"ptpspeed 12.5", "ptpspeed takes a whole number"},
      {"ptpspeed", "ptpspeed takes 1 value, not 0"},
      {"ptp", "ptp takes 1 to 6 values, not 0"},
      {"ptp 1 2 3 4 5 6 7", "ptp takes 1 to 6 values, not 7"},
      {"ptp 1 x", "not a number: \"x\""},
      {"jog 1 50", "jog takes 3 values, not 2"},
      {"jog 1 50.5 0", "jog: value 2 must be a whole number"},
      {"jog 1 50 6", "jog: axis must be 0 to 5 (X to W)"},
      {"jog 1 50 -1", "jog: axis must be 0 to 5 (X to W)"},
      {"jog 1 50 256", "jog: axis must be 0 to 5 (X to W)"},
      {"jog nan 50 0", "not a number: \"nan\""},
      {"jogconti 0 50 1", "jogconti: direction must be 1 or -1"},
      {"jogconti 1 50 1.5", "jogconti: axis must be 0 to 5 (X to W)"},
      {"jogpulse 2.5 0", "jogpulse: value 1 must be a whole number"},
      {"jogpulse 1e10 0", "jogpulse: value 1 must be a whole number"},
      {"jogpulse 10", "jogpulse takes 2 values, not 1"},
      {"blend", "blend takes on or off"},
      {"blend yes", "blend: on or off, not \"yes\""},
      {"blend on off", "blend takes on or off"},
      {"delay -1", "delay takes a whole number of periods from 0 to 4294967295"},
      {"delay 4294967296", "delay takes a whole number of periods from 0 to 4294967295"},
      {"delay 1.5", "delay takes a whole number of periods from 0 to 4294967295"},
      {"delay", "delay takes 1 value, not 0"},
  };
  for (const Case& c : cases) {
    Program p;
    ParseError e;
    EXPECT_FALSE(parse(std::string("feed 1\n\n") + c.text + "\nline 1\n", p, e)) << c.text;
    EXPECT_EQ(e.line, 3) << c.text;
    EXPECT_EQ(e.message, c.message) << c.text;
  }
}

}  // namespace
}  // namespace tv::run
