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

// What one argument may hold, one letter per position of a form:
//   r any finite number      w whole number (32-bit)
//   a axis 0 to 5            d direction 0 or 1
//   j direction 1 or -1      p periods, whole, 0 to 2^32 - 1
struct Form {
  const char* keyword;
  Op op;
  int minValues;
  int maxValues;
  const char* kinds;
};

constexpr Form kForms[] = {
    {"feed", Op::Feed, 1, 1, "r"},
    {"absolute", Op::Absolute, 0, 0, ""},
    {"incremental", Op::Incremental, 0, 0, ""},
    {"line", Op::Line, 1, 6, "rrrrrr"},
    {"linex", Op::LineX, 1, 1, "r"},
    {"liney", Op::LineY, 1, 1, "r"},
    {"linez", Op::LineZ, 1, 1, "r"},
    {"lineuvw", Op::LineUVW, 3, 3, "rrr"},
    {"arcxy", Op::ArcXY, 4, 4, "rrrr"},
    {"arcyz", Op::ArcYZ, 4, 4, "rrrr"},
    {"arczx", Op::ArcZX, 4, 4, "rrrr"},
    {"arcxyuvw", Op::ArcXYUVW, 7, 7, "rrrrrrr"},
    {"arcyzuvw", Op::ArcYZUVW, 7, 7, "rrrrrrr"},
    {"arczxuvw", Op::ArcZXUVW, 7, 7, "rrrrrrr"},
    {"arcxyz", Op::ArcXYZ, 6, 6, "rrrrrr"},
    {"circlexy", Op::CircleXY, 3, 3, "rrd"},
    {"circleyz", Op::CircleYZ, 3, 3, "rrd"},
    {"circlezx", Op::CircleZX, 3, 3, "rrd"},
    {"circlexyuvw", Op::CircleXYUVW, 6, 6, "rrrrrd"},
    {"circleyzuvw", Op::CircleYZUVW, 6, 6, "rrrrrd"},
    {"circlezxuvw", Op::CircleZXUVW, 6, 6, "rrrrrd"},
    {"ptpspeed", Op::PtPSpeed, 1, 1, "w"},
    {"ptp", Op::PtP, 1, 6, "rrrrrr"},
    {"jog", Op::Jog, 3, 3, "rwa"},
    {"jogconti", Op::JogConti, 3, 3, "jwa"},
    {"jogpulse", Op::JogPulse, 2, 2, "wa"},
    {"blend", Op::Blend, 0, 0, ""},
    {"delay", Op::Delay, 1, 1, "p"},
    {"accsteps", Op::AccSteps, 1, 1, "w"},
    {"decsteps", Op::DecSteps, 1, 1, "w"},
    {"acctype", Op::AccType, 0, 0, ""},
    {"dectype", Op::DecType, 0, 0, ""},
    {"overspeed", Op::OverSpeed, 1, 1, "w"},
    {"wait", Op::Wait, 0, 0, ""},
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

// Checks value v at position i (0-based) of a form against its kind; an
// empty string when it fits, otherwise the message.
std::string checkKind(const std::string& key, const Form& form, int i, double v) {
  const std::string which = form.maxValues == 1 ? key : key + ": value " + std::to_string(i + 1);
  switch (form.kinds[i]) {
    case 'w':
      if (isWhole(v)) return {};
      return form.maxValues == 1 ? key + " takes a whole number"
                                 : which + " must be a whole number";
    case 'a':
      if (v == std::trunc(v) && v >= 0 && v <= 5) return {};
      return key + ": axis must be 0 to 5 (X to W)";
    case 'd':
      if (v == 0 || v == 1) return {};
      return key + ": direction must be 1 (counter-clockwise) or 0 (clockwise)";
    case 'j':
      if (v == 1 || v == -1) return {};
      return key + ": direction must be 1 or -1";
    case 'p':
      if (v == std::trunc(v) && v >= 0 && v <= 4294967295.0) return {};
      return key + " takes a whole number of periods from 0 to 4294967295";
    default:
      return {};
  }
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
    if (s.op == Op::Blend) {
      if (args.size() != 1) return fail("blend takes on or off");
      const std::string w = lower(args[0]);
      if (w != "on" && w != "off") return fail("blend: on or off, not \"" + args[0] + "\"");
      s.values[0] = w == "on" ? 1.0 : 0.0;
      s.count = 1;
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
      const std::string bad = checkKind(key, *form, i, s.values[i]);
      if (!bad.empty()) return fail(bad);
    }
    s.count = n;
    out.statements.push_back(s);
  }
  return true;
}

}  // namespace tv::run
