// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/one_box_per_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace sd {
namespace {

// A box that runs `while_open` before it is closed, as the window's event loop dispatches
// datagrams while a modal box is up.
struct NestingBoxes : IMessages {
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon) override {
    shown.push_back(std::string(title) + ": " + std::string(text));
    ++depth;
    max_depth = std::max(max_depth, depth);
    if (while_open) {
      auto nested = std::move(while_open);
      nested();
    }
    --depth;
  }
  std::vector<std::string> shown;
  std::function<void()> while_open;
  int depth = 0;
  int max_depth = 0;
};

TEST(OneBoxPerTextTest, ARepeatOfAnOpenBoxIsDroppedAndOtherTextsStillShow) {
  NestingBoxes boxes;
  OneBoxPerText once(boxes);
  boxes.while_open = [&] {
    // A burst while the first box is open: a thousand repeats, and one other text whose own
    // repeats are dropped while it is open in turn.
    for (int i = 0; i < 1000; ++i) once.Error("Password error.");
    boxes.while_open = [&] {
      for (int i = 0; i < 1000; ++i) once.Error("Acl error");
      once.Error("Password error.");
      once.Warning("Password error.");  // another title: another box
    };
    once.Error("Acl error");
    EXPECT_EQ(once.OpenCount(), 1u);
  };
  once.Error("Password error.");
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Error: Password error.", "Error: Acl error",
                                                   "Warning: Password error."}));
  EXPECT_EQ(boxes.max_depth, 3);
  EXPECT_EQ(once.OpenCount(), 0u);

  // Closed, a text shows again.
  once.Error("Password error.");
  EXPECT_EQ(boxes.shown.size(), 4u);
}

}  // namespace
}  // namespace sd
