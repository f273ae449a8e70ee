// The command list of the test run: line, circle and arc moves in the X-Y
// plane, each relative to where it starts, in pulses. Entry k belongs to line
// k of the testing form's list.
#pragma once

#include <cstdint>
#include <vector>

namespace tervane {

enum class MoveType : int16_t { Line = 0, Circle = 1, Arc = 2 };

struct CommandEntry {
  MoveType type = MoveType::Line;
  int32_t speed = 0;                          // pulses per second
  double destinationX = 0, destinationY = 0;  // line: the move; arc: the end; circle: 0
  double referenceX = 0, referenceY = 0;      // circle: the centre; arc: the via point
  uint8_t direction = 0;                      // circle: 0 CW, 1 CCW
  bool operator==(const CommandEntry&) const = default;
};

struct CommandList {
  static constexpr int kMaxEntries = 32767;  // the count is a 16-bit signed number

  std::vector<CommandEntry> entries;

  int count() const { return static_cast<int>(entries.size()); }
  bool full() const { return count() >= kMaxEntries; }
  // Appends; false when full.
  bool add(const CommandEntry& entry) {
    if (full()) return false;
    entries.push_back(entry);
    return true;
  }
  // Removes entry k, every later entry moving down one place; false when k is
  // not an entry.
  bool removeAt(int k) {
    if (k < 0 || k >= count()) return false;
    entries.erase(entries.begin() + k);
    return true;
  }
};

}  // namespace tervane
