#include "platform/profile/profile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform::profile {

namespace {

// One process-wide lock: reads and writes of one file must not interleave.
std::mutex& fileMutex() {
  static std::mutex m;
  return m;
}

// The file's bytes; a missing file is an empty profile. False when the file
// exists but cannot be read, or is no regular file (a folder, a device).
bool load(const char* fileName, std::string& text) {
  text.clear();
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return true;
  if (!std::filesystem::is_regular_file(fileName, ec)) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  text = ss.str();
  return true;
}

std::size_t copyOut(const char* text, char* buffer, std::size_t size) {
  const std::size_t n = std::min(std::strlen(text), size - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return n;
}

std::string trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The one reading of a profile's text that reads and writes share, so a
// write always edits the lines a read takes. Lines end at '\n' (a '\r'
// before it is part of the line end). A line whose first non-blank character
// is '[' and that holds a ']' is a section header naming what lies between
// them; a line holding '=' that is not a comment (';' or '#') is a key;
// every other line (blank, comment, a lone "[", an unclosed "[name", any
// bytes at all, NUL included) belongs to no one and is kept as it is.
struct Line {
  std::string text;
  std::optional<std::string> section;  // a header's name
  std::optional<std::string> key;      // a key line's name
  std::string value;                   // a key line's value
};

std::vector<Line> parse(const std::string& text) {
  std::vector<Line> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    Line line;
    line.text = text.substr(at, end - at);
    const std::string t = trim(line.text);
    if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string::npos) {
      line.section = trim(std::string_view(t).substr(1, t.find(']') - 1));
    } else if (!t.empty() && t.front() != ';' && t.front() != '#' &&
               t.find('=') != std::string::npos) {
      const auto eq = t.find('=');
      line.key = trim(std::string_view(t).substr(0, eq));
      line.value = trim(std::string_view(t).substr(eq + 1));
    }
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

// The value of the first line of `key` in a section named `section` (all
// sections of that name, in file order), or nothing.
std::optional<std::string> lookup(const std::vector<Line>& lines, const char* section,
                                  const char* key) {
  bool inSection = false;
  for (const Line& l : lines) {
    if (l.section) {
      inSection = sameName(*l.section, section);
    } else if (inSection && l.key && sameName(*l.key, key)) {
      return l.value;
    }
  }
  return std::nullopt;
}

// Sets key=value in the profile text, editing only the lines of that key:
// every existing line of the key in a section of that name is rewritten in
// place (so a read sees the new value whichever it takes), a new key goes
// after the last key of the first block of its section, a new section is
// appended at the end. Every other line stays as it was.
std::string withKey(const std::string& text, const char* section, const char* key,
                    const char* value) {
  std::vector<Line> lines = parse(text);
  const std::string entry = std::string(key) + "=" + value;
  bool inSection = false, found = false;
  std::optional<std::size_t> sectionHeader;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Line& l = lines[i];
    if (l.section) {
      inSection = sameName(*l.section, section);
      if (inSection && !sectionHeader) sectionHeader = i;
    } else if (inSection && l.key && sameName(*l.key, key)) {
      l.text = entry;
      found = true;
    }
  }
  std::vector<std::string> out;
  for (const Line& l : lines)
    out.push_back(l.text);
  if (!found) {
    if (sectionHeader) {
      std::size_t at = *sectionHeader + 1;
      for (std::size_t i = at; i < lines.size() && !lines[i].section; ++i) {
        if (lines[i].key) at = i + 1;
      }
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), entry);
    } else {
      out.push_back("[" + std::string(section) + "]");
      out.push_back(entry);
    }
  }
  std::string joined;
  for (const auto& l : out)
    joined += l + "\n";
  return joined;
}

}  // namespace

std::size_t getString(const char* section, const char* key, const char* defaultValue, char* buffer,
                      std::size_t size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  const char* fallback = defaultValue ? defaultValue : "";
  if (section == nullptr || key == nullptr || fileName == nullptr) {
    return copyOut(fallback, buffer, size);
  }
  std::lock_guard lock(fileMutex());
  std::string text;
  if (!load(fileName, text)) return copyOut(fallback, buffer, size);
  const std::optional<std::string> v = lookup(parse(text), section, key);
  return copyOut(v ? v->c_str() : fallback, buffer, size);
}

bool writeString(const char* section, const char* key, const char* value, const char* fileName) {
  if (section == nullptr || key == nullptr || value == nullptr || fileName == nullptr) return false;
  // What would not read back as written: a line break in any part, '=' or a
  // bracket in the key, a bracket in the section, blanks at either end of
  // any part (the reading trims them), a key that reads as a comment.
  const auto trimmed = [](const char* s) { return trim(s) == s; };
  if (std::strpbrk(value, "\r\n") || std::strpbrk(key, "=\r\n[]") ||
      std::strpbrk(section, "\r\n[]") || !trimmed(section) || !trimmed(key) || !trimmed(value) ||
      key[0] == ';' || key[0] == '#') {
    return false;
  }
  std::lock_guard lock(fileMutex());
  std::string text;
  if (!load(fileName, text)) return false;  // never overwrite a file we could not read
  text = withKey(text, section, key, value);

  // Write beside the file and rename over it, so a failure never leaves a
  // half-written profile behind.
  const std::string temp = std::string(fileName) + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, fileName, ec);
  if (ec) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

std::optional<std::string> read(const std::string& section, const std::string& key,
                                const std::string& fileName) {
  std::lock_guard lock(fileMutex());
  std::string text;
  if (!load(fileName.c_str(), text)) return std::nullopt;
  return lookup(parse(text), section.c_str(), key.c_str());
}

}  // namespace platform::profile
