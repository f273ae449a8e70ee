// A recording register port: reads return preset values (a queue per
// register, then a steady value), writes are logged in order.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cardaccess/src/card.h"

namespace qora::testing {

struct Access {
  unsigned space;
  std::uint32_t offset;
  std::uint16_t value;
  bool operator==(const Access&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Access& a) {
  return os << "{space " << a.space << ", 0x" << std::hex << a.offset << " = 0x" << a.value
            << std::dec << "}";
}

class FakePort final : public RegisterPort {
 public:
  struct State {
    std::vector<Access> writes;
    std::vector<std::pair<unsigned, std::uint32_t>> reads;
    std::map<std::pair<unsigned, std::uint32_t>, std::uint16_t> steady;
    std::map<std::pair<unsigned, std::uint32_t>, std::deque<std::uint16_t>> queued;
  };
  explicit FakePort(std::shared_ptr<State> state) : state_(std::move(state)) {}

  std::uint8_t read8(unsigned space, std::uint32_t offset) override {
    return static_cast<std::uint8_t>(read16(space, offset));
  }
  std::uint16_t read16(unsigned space, std::uint32_t offset) override {
    state_->reads.emplace_back(space, offset);
    auto q = state_->queued.find({space, offset});
    if (q != state_->queued.end() && !q->second.empty()) {
      const auto v = q->second.front();
      q->second.pop_front();
      return v;
    }
    auto s = state_->steady.find({space, offset});
    return s == state_->steady.end() ? 0 : s->second;
  }
  void write8(unsigned space, std::uint32_t offset, std::uint8_t value) override {
    state_->writes.push_back({space, offset, value});
  }
  void write16(unsigned space, std::uint32_t offset, std::uint16_t value) override {
    state_->writes.push_back({space, offset, value});
  }

 private:
  std::shared_ptr<State> state_;
};

// Opens card index `card` on a fake port for the duration of a test. Shadows
// persist across tests (as across reopen), so each test resets the ones it
// relies on through resetShadows().
class FakeCard {
 public:
  explicit FakeCard(std::uint16_t card = 0, std::uint16_t model = QORA_MODEL_210) : card_(card) {
    EXPECT_TRUE(attachPort(card, std::make_unique<FakePort>(state_), model));
  }
  ~FakeCard() { detachPort(card_); }
  FakeCard(const FakeCard&) = delete;
  FakeCard& operator=(const FakeCard&) = delete;

  void resetShadows() {
    std::lock_guard<std::mutex> g(library().slot(card_).lock);
    library().slot(card_).shadows = Shadows{};
  }
  void set(std::uint32_t offset, std::uint16_t value) {
    state_->steady[{kChipSpace, offset}] = value;
  }
  void queue(std::uint32_t offset, std::uint16_t value) {
    state_->queued[{kChipSpace, offset}].push_back(value);
  }
  // Chip-space writes as (offset, value) pairs, then forgets them.
  std::vector<std::pair<std::uint32_t, std::uint16_t>> takeWrites() {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> out;
    for (const auto& w : state_->writes) {
      if (w.space == kChipSpace) out.emplace_back(w.offset, w.value);
    }
    state_->writes.clear();
    return out;
  }
  std::size_t readCount() const { return state_->reads.size(); }
  std::uint16_t card() const { return card_; }
  State& state() { return *state_; }

 private:
  std::uint16_t card_;
  std::shared_ptr<FakePort::State> state_ = std::make_shared<FakePort::State>();
};

using Writes = std::vector<std::pair<std::uint32_t, std::uint16_t>>;

}  // namespace qora::testing
