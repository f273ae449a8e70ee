#include "program.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

namespace tv::run {

std::string ParseError::text() const {
  return "line " + std::to_string(line) + ": " + message;
}

namespace {

struct Form {
  const char* keyword;
  Op op;
  int minValues;
  int maxValues;
};

constexpr Form kForms[] = {
    {"feed", Op::Feed, 1, 1},
    {"absolute", Op::Absolute, 0, 0},
    {"incremental", Op::Incremental, 0, 0},
    {"line", Op::Line, 1, 6},
    {"linex", Op::LineX, 1, 1},
    {"liney", Op::LineY, 1, 1},
    {"linez", Op::LineZ, 1, 1},
    {"lineuvw", Op::LineUVW, 3, 3},
    {"accsteps", Op::AccSteps, 1, 1},
    {"decsteps", Op::DecSteps, 1, 1},
    {"acctype", Op::AccType, 0, 0},
    {"dectype", Op::DecType, 0, 0},
    {"overspeed", Op::OverSpeed, 1, 1},
    {"wait", Op::Wait, 0, 0},
};

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool parseNumber(const std::string& word, double& out) {
  const char* first = word.data();
  const char* last = first + word.size();
  if (first != last && *first == '+') ++first;  // from_chars takes no plus sign
  const auto [end, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && end == last && std::isfinite(out);
}

bool isWhole(double v) {
  return v == std::trunc(v) && std::fabs(v) < 2147483648.0;
}

}  // namespace

bool parseProgram(std::istream& in, Program& out, ParseError& error) {
  out.statements.clear();
  std::string raw;
  int number = 0;
  auto fail = [&](std::string message) {
    error.line = number;
    error.message = std::move(message);
    return false;
  };
  while (std::getline(in, raw)) {
    ++number;
    const std::string text = raw.substr(0, raw.find('#'));
    std::istringstream words(text);
    std::string keyword;
    if (!(words >> keyword)) continue;  // blank or comment
    std::vector<std::string> args;
    for (std::string w; words >> w;)
      args.push_back(w);
    const std::string key = lower(keyword);
    const Form* form = nullptr;
    for (const Form& f : kForms) {
      if (key == f.keyword) form = &f;
    }
    if (form == nullptr) return fail("unknown statement \"" + keyword + "\"");

    Statement s{form->op, number, {}, 0, 0};
    if (s.op == Op::AccType || s.op == Op::DecType) {
      if (args.size() != 1) return fail(key + " takes one type, S or T");
      const std::string t = lower(args[0]);
      if (t != "s" && t != "t") return fail(key + ": type must be S or T, not \"" + args[0] + "\"");
      s.type = t == "s" ? 'S' : 'T';
      out.statements.push_back(s);
      continue;
    }
    const int n = static_cast<int>(args.size());
    if (n < form->minValues || n > form->maxValues) {
      if (form->minValues == form->maxValues)
        return fail(key + " takes " + std::to_string(form->minValues) + " value" +
                    (form->minValues == 1 ? "" : "s") + ", not " + std::to_string(n));
      return fail(key + " takes " + std::to_string(form->minValues) + " to " +
                  std::to_string(form->maxValues) + " values, not " + std::to_string(n));
    }
    for (int i = 0; i < n; ++i) {
      if (!parseNumber(args[i], s.values[i])) return fail("not a number: \"" + args[i] + "\"");
    }
    s.count = n;
    const bool whole = s.op == Op::AccSteps || s.op == Op::DecSteps || s.op == Op::OverSpeed;
    if (whole && !isWhole(s.values[0])) return fail(key + " takes a whole number");
    out.statements.push_back(s);
  }
  return true;
}

}  // namespace tv::run
