// Private-profile files: "[Section]" headers followed by "key=value" lines.
//
// The classic semantics the operator program relies on:
//   - a read copies the key's value, or the default when the file, section or
//     key is missing, into a caller's buffer of `size` bytes: at most
//     size - 1 characters and a terminating zero; it returns the number of
//     characters copied (a 12-character value read through a 10-byte buffer
//     yields its first 9 characters);
//   - a write sets one key, creating the file and section when needed and
//     keeping every other section, key and comment as it was.
// Section and key names compare without regard to case; keys may hold
// parentheses ("HighLimit(0)"). A file name without a directory is taken
// relative to the working directory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/export.h"

namespace platform::profile {

PLATFORM_EXPORT std::size_t getString(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, std::size_t size,
                                      const char* fileName);

// Writes key=value into the section; false when the file cannot be written.
PLATFORM_EXPORT bool writeString(const char* section, const char* key, const char* value,
                                 const char* fileName);

// Convenience for C++ callers: the whole value, or nothing when missing.
PLATFORM_EXPORT std::optional<std::string> read(const std::string& section, const std::string& key,
                                                const std::string& fileName);

}  // namespace platform::profile
