#include "platform/vcard/transfer_marks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vcard {
namespace {

TEST(TransferMark, TakingPositionsOffWaitsOnlyForTransfersInsideThem) {
  int positions[3] = {};
  std::atomic<bool> marked{false}, finish{false}, out{false};
  std::thread transfer([&] {
    const TransferMark inside(&positions[1]);
    marked = true;
    while (!finish)
      std::this_thread::yield();
  });
  while (!marked)
    std::this_thread::yield();
  // Positions around the one in use: no wait.
  TransferMark::waitUntilOut(&positions[0], &positions[1]);
  TransferMark::waitUntilOut(&positions[2], &positions[3]);
  std::thread taker([&] {
    TransferMark::waitUntilOut(&positions[0], &positions[3]);
    out = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(out.load()) << "returned while a transfer was inside";
  finish = true;
  taker.join();
  transfer.join();
  EXPECT_TRUE(out.load());
}

}  // namespace
}  // namespace vcard
