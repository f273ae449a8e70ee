// Writes the motion library's name table for the operator program's binding
// and the functions of the recording stand-in library, from the library's
// exported header and the older names its sources alias.
//
//   tv-bindgen HEADER TABLE_OUT RECORDER_OUT SOURCE...
//
// HEADER is varnelpci.h: every "VNL_API <result> <name>(<parameters>);" is one
// function. Each SOURCE is scanned for "VNL_OLD(<old>, <name>)": an older name
// with the signature of <name>.
//
// TABLE_OUT gets one "VNL_ENTRY(<exported name>, <header function>)" line per
// name, both forms; RECORDER_OUT a C++ definition per name that hands its
// arguments to vnl_recorder::record.
#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Function {
  std::string result;
  std::string name;
  std::string parameters;  // as written, "void" for none
  std::vector<std::string> argumentNames;
};

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\n\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\n\r") - b + 1);
}

std::string withoutComments(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "/*") == 0) {
      const auto close = text.find("*/", i + 2);
      i = close == std::string::npos ? text.size() : close + 1;
      out += ' ';
    } else if (text.compare(i, 2, "//") == 0) {
      const auto eol = text.find('\n', i);
      i = eol == std::string::npos ? text.size() : eol - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool identifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The last identifier of a text ("const CardConfig* cards" gives "cards").
std::string lastIdentifier(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && !identifierChar(text[end - 1]))
    --end;
  std::size_t begin = end;
  while (begin > 0 && identifierChar(text[begin - 1]))
    --begin;
  if (begin == end) throw std::runtime_error("no name in: " + text);
  return text.substr(begin, end - begin);
}

std::vector<Function> headerFunctions(const std::string& header) {
  const std::string text = withoutComments(header);
  std::vector<Function> functions;
  const std::string marker = "VNL_API ";
  for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
    const auto semicolon = text.find(';', at);
    std::string declaration;  // on one line, every run of blanks one space
    for (char c : text.substr(at + marker.size(), semicolon - at - marker.size())) {
      const bool blank = std::isspace(static_cast<unsigned char>(c));
      if (!blank || (!declaration.empty() && declaration.back() != ' '))
        declaration += blank ? ' ' : c;
    }
    const auto open = declaration.find('(');
    const auto close = declaration.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
      throw std::runtime_error("not a function: " + declaration);
    Function f;
    const std::string head = trim(declaration.substr(0, open));
    f.name = lastIdentifier(head);
    f.result = trim(head.substr(0, head.size() - f.name.size()));
    f.parameters = trim(declaration.substr(open + 1, close - open - 1));
    if (f.parameters.empty() || f.parameters == "void") {
      f.parameters = "void";
    } else {
      std::stringstream list(f.parameters);
      for (std::string p; std::getline(list, p, ',');)
        f.argumentNames.push_back(lastIdentifier(trim(p)));
    }
    if (f.name.rfind("VNL_", 0) == 0) functions.push_back(f);
  }
  return functions;
}

std::map<std::string, std::string> olderNames(const std::vector<std::string>& sources) {
  std::map<std::string, std::string> names;  // old -> header function
  const std::string marker = "VNL_OLD(";
  for (const auto& path : sources) {
    const std::string text = withoutComments(readAll(path));
    for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
      const auto close = text.find(')', at);
      const std::string inside = text.substr(at + marker.size(), close - at - marker.size());
      const auto comma = inside.find(',');
      if (comma == std::string::npos) continue;
      const std::string old = trim(inside.substr(0, comma));
      const std::string target = trim(inside.substr(comma + 1));
      // The macro's own definition names its parameters, not functions.
      if (old.rfind("VNL_", 0) == 0 && target.rfind("VNL_", 0) == 0) names[old] = target;
    }
  }
  return names;
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items)
    out += ", " + item;
  return out;
}

void writeRecorderFunction(std::ostream& out, const std::string& exported, const Function& f) {
  out << "extern \"C\" VNL_RECORDER_API " << f.result << " " << exported << "(" << f.parameters
      << ") {\n  return vnl_recorder::record<" << f.result << ">(\"" << exported << "\""
      << joined(f.argumentNames) << ");\n}\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: tv-bindgen HEADER TABLE_OUT RECORDER_OUT SOURCE...\n";
    return 2;
  }
  try {
    const auto functions = headerFunctions(readAll(argv[1]));
    const auto older = olderNames(std::vector<std::string>(argv + 4, argv + argc));
    std::map<std::string, const Function*> byName;
    for (const auto& f : functions)
      byName[f.name] = &f;
    for (const auto& [old, target] : older) {
      if (!byName.count(target))
        throw std::runtime_error(old + " names " + target + ", which the header lacks");
    }

    std::ofstream table(argv[2]), recorder(argv[3]);
    const char* banner = "// Generated by tv-bindgen from varnelpci.h; do not edit.\n";
    table << banner;
    recorder << banner << "#include \"recorder.h\"\n\n";
    for (const auto& f : functions) {
      table << "VNL_ENTRY(" << f.name << ", " << f.name << ")\n";
      writeRecorderFunction(recorder, f.name, f);
    }
    for (const auto& [old, target] : older) {
      table << "VNL_ENTRY(" << old << ", " << target << ")\n";
      writeRecorderFunction(recorder, old, *byName[target]);
    }
    if (!table || !recorder) throw std::runtime_error("cannot write the output files");
    std::cerr << "tv-bindgen: " << functions.size() << " functions, " << older.size()
              << " older names\n";
  } catch (const std::exception& e) {
    std::cerr << "tv-bindgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
