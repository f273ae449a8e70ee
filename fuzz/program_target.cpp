// Fuzz target: the tv-run program parser on arbitrary text.
//
// Contracts checked besides crashes and undefined behaviour:
//   - a failure names a line of the text (1 .. the number of lines) and
//     says what is wrong;
//   - on success the statements come in line order, each from a line of the
//     text, with at most the values a statement takes, every value finite;
//   - parsing the same text again gives the same result.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "fuzz/input.h"
#include "program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int lines = 0;
  {
    std::istringstream count(text);
    for (std::string l; std::getline(count, l);)
      ++lines;
  }
  tv::run::Program program;
  tv::run::ParseError error;
  std::istringstream in(text);
  const bool ok = tv::run::parseProgram(in, program, error);
  tv::run::Program again;
  tv::run::ParseError againError;
  std::istringstream in2(text);
  FUZZ_CHECK(tv::run::parseProgram(in2, again, againError) == ok, "a second parse differs");
  if (!ok) {
    FUZZ_CHECK(error.line >= 1 && error.line <= lines, "error on line %d of %d", error.line, lines);
    FUZZ_CHECK(!error.message.empty(), "an error without a message");
    FUZZ_CHECK(againError.line == error.line && againError.message == error.message,
               "a second parse gives another error");
    return 0;
  }
  FUZZ_CHECK(again.statements.size() == program.statements.size(), "a second parse differs");
  int last = 0;
  for (std::size_t i = 0; i < program.statements.size(); ++i) {
    const tv::run::Statement& s = program.statements[i];
    FUZZ_CHECK(s.line > last && s.line <= lines, "statement on line %d after %d of %d", s.line,
               last, lines);
    last = s.line;
    FUZZ_CHECK(s.count >= 0 && s.count <= tv::run::kMaxValues, "%d values", s.count);
    for (int v = 0; v < s.count; ++v)
      FUZZ_CHECK(std::isfinite(s.values[v]), "line %d value %d is %g", s.line, v, s.values[v]);
    FUZZ_CHECK(std::memcmp(&s, &again.statements[i], sizeof s) == 0, "a second parse differs");
  }
  return 0;
}
