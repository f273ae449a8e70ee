#include "platform/profile/profile.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

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

// Loads the file when it exists; a missing file is an empty profile, and
// anything but a regular file (a folder, a device) cannot be one.
bool load(CSimpleIniA& ini, const char* fileName) {
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return true;
  if (!std::filesystem::is_regular_file(fileName, ec)) return false;
  return ini.LoadFile(fileName) >= 0;
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

// The section name of a "[name]" line, or nothing.
std::optional<std::string> sectionOf(const std::string& line) {
  const std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const auto close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return trim(std::string_view(t).substr(1, close - 1));
}

// The key of a "key=value" line, or nothing (comments, blank lines).
std::optional<std::string> keyOf(const std::string& line) {
  const std::string t = trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return std::nullopt;
  const auto eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return trim(std::string_view(t).substr(0, eq));
}

// Sets key=value in the profile text, editing only the lines of that key:
// an existing key is rewritten in place, a new key goes after the last key of
// its section, a new section is appended at the end. Every other line stays.
std::string withKey(const std::string& text, const char* section, const char* key,
                    const char* value) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  const std::string entry = std::string(key) + "=" + value;

  bool inSection = false, found = false;
  std::optional<std::size_t> sectionHeader;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = sectionOf(lines[i])) {
      inSection = sameName(*name, section);
      if (inSection && !sectionHeader) sectionHeader = i;
      continue;
    }
    if (!inSection) continue;
    if (auto k = keyOf(lines[i])) {
      if (sameName(*k, key)) {
        lines[i] = entry;  // every copy, so a reader sees the new value whichever it takes
        found = true;
      }
    }
  }
  if (!found) {
    if (sectionHeader) {
      // After the last key of the first block of the section.
      std::size_t at = *sectionHeader + 1;
      for (std::size_t i = at; i < lines.size() && !sectionOf(lines[i]); ++i) {
        if (keyOf(lines[i])) at = i + 1;
      }
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
    } else {
      lines.push_back("[" + std::string(section) + "]");
      lines.push_back(entry);
    }
  }
  std::string out;
  for (const auto& l : lines)
    out += l + "\n";
  return out;
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
  CSimpleIniA ini;
  if (!load(ini, fileName)) return copyOut(fallback, buffer, size);
  return copyOut(ini.GetValue(section, key, fallback), buffer, size);
}

bool writeString(const char* section, const char* key, const char* value, const char* fileName) {
  if (section == nullptr || key == nullptr || value == nullptr || fileName == nullptr) return false;
  if (std::strpbrk(value, "\r\n") || std::strpbrk(key, "=\r\n[]") ||
      std::strpbrk(section, "\r\n[]")) {
    return false;  // would not read back as one key=value line
  }
  std::lock_guard lock(fileMutex());
  std::string text;
  std::error_code ec;
  if (std::filesystem::exists(fileName, ec)) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;  // never overwrite a file we could not read
    std::stringstream ss;
    ss << in.rdbuf();
    text = ss.str();
  }
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
  CSimpleIniA ini;
  if (!load(ini, fileName.c_str())) return std::nullopt;
  const char* v = ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

}  // namespace platform::profile
