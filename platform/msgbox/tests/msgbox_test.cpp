#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/msgbox/msgbox.h"

namespace msgbox = platform::msgbox;

TEST(MessageBox, InstalledHandlerReceivesTextAndCaptionInOrder) {
  std::vector<std::pair<std::string, std::string>> seen;
  auto previous = msgbox::setHandler([&](const std::string& text, const std::string& caption) {
    seen.emplace_back(text, caption);
  });
  msgbox::show("No cards found !\n", "Error");
  msgbox::show("second", "Info");
  msgbox::setHandler(previous);
  msgbox::show("to stderr", "Error");  // default again: not captured

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, "No cards found !\n");
  EXPECT_EQ(seen[0].second, "Error");
  EXPECT_EQ(seen[1].first, "second");
}

TEST(MessageBox, DefaultWritesCaptionAndTextToStandardError) {
  msgbox::setHandler({});
  testing::internal::CaptureStderr();
  msgbox::show("Cannot open driver !\n", "Error");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot open driver !\n");
}
