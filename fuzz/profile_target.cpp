// Fuzz target: the private-profile file service on a file of arbitrary bytes,
// with reads and writes of sections, keys and values drawn from a small
// vocabulary and from raw bytes.
//
// Contracts checked besides crashes and undefined behaviour:
//   - a read copies at most size - 1 characters, ends them with a zero,
//     returns their number and leaves the rest of the buffer alone;
//   - a write that reports success reads back exactly the value written,
//     and every other key reads as before;
//   - a write that reports failure leaves the file's bytes as they were.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/input.h"
#include "platform/profile/profile.h"

namespace {

using fuzz::Input;
namespace profile = platform::profile;

const char* const kSections[] = {"Parameter", "Axis", "axis", "Other"};
const char* const kKeys[] = {"MaxSpeed", "HighLimit(0)", "highlimit(0)", "A", "AccTime"};

std::string name(Input& in, const char* const* words, unsigned count) {
  if (in.pick(4) != 0) return words[in.pick(count)];
  std::string s;
  for (unsigned n = in.pick(9); n > 0; --n)
    s.push_back(static_cast<char>(in.byte()));
  return s.c_str();  // up to a NUL: what a C caller can pass
}

std::string bytesOf(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string{std::istreambuf_iterator<char>(in), {}};
}

std::string get(const std::string& section, const std::string& key, const std::string& file) {
  char buffer[128];
  const std::size_t n = profile::getString(section.c_str(), key.c_str(), "\x01missing", buffer,
                                           sizeof buffer, file.c_str());
  FUZZ_CHECK(n == std::strlen(buffer), "read returned %zu for %zu characters", n,
             std::strlen(buffer));
  return buffer;
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string file = (std::filesystem::temp_directory_path() /
                                   ("tvfuzz-profile-" + std::to_string(getpid()) + ".ini"))
                                      .string();
  Input in(data, size);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (unsigned n = in.byte() * 2u; n > 0 && !in.empty(); --n)
      out.put(static_cast<char>(in.byte()));
  }
  for (int op = 0; op < 16 && !in.empty(); ++op) {
    const std::string section = name(in, kSections, std::size(kSections));
    const std::string key = name(in, kKeys, std::size(kKeys));
    if (in.flag()) {
      // A read through a buffer of 1..16 bytes.
      const std::size_t bufferSize = 1 + in.pick(16);
      char buffer[32];
      std::memset(buffer, 'z', sizeof buffer);
      const std::size_t n = profile::getString(section.c_str(), key.c_str(), "default", buffer,
                                               bufferSize, file.c_str());
      FUZZ_CHECK(n < bufferSize && buffer[n] == '\0' && std::strlen(buffer) == n,
                 "read of %zu characters through %zu bytes", n, bufferSize);
      for (std::size_t i = bufferSize; i < sizeof buffer; ++i)
        FUZZ_CHECK(buffer[i] == 'z', "read wrote beyond its buffer at %zu", i);
      continue;
    }
    const std::string value = name(in, kKeys, std::size(kKeys));
    std::vector<std::string> others;
    for (const char* s : kSections)
      for (const char* k : kKeys)
        others.push_back(get(s, k, file));
    const std::string bytes = bytesOf(file);
    const bool ok = profile::writeString(section.c_str(), key.c_str(), value.c_str(), file.c_str());
    if (!ok) {
      FUZZ_CHECK(bytesOf(file) == bytes, "a refused write changed the file");
      continue;
    }
    FUZZ_CHECK(get(section, key, file) == value, "[%s] %s written as \"%s\" reads \"%s\"",
               section.c_str(), key.c_str(), value.c_str(), get(section, key, file).c_str());
    std::size_t i = 0;
    for (const char* s : kSections)
      for (const char* k : kKeys) {
        if (!(sameName(s, section) && sameName(k, key)))
          FUZZ_CHECK(get(s, k, file) == others[i], "[%s] %s changed from \"%s\" to \"%s\"", s, k,
                     others[i].c_str(), get(s, k, file).c_str());
        ++i;
      }
  }
  return 0;
}
