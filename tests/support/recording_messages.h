// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Captures every message box the code under test shows.

#include <string>
#include <vector>

#include "common/messages.h"

namespace sd::test {

struct ShownMessage {
  std::string text;
  std::string title;
  MessageIcon icon;
  bool operator==(const ShownMessage&) const = default;
};

class RecordingMessages : public IMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
    shown.push_back({std::string(text), std::string(title), icon});
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& m : shown) out.push_back(m.text);
    return out;
  }
  std::vector<ShownMessage> shown;
};

}  // namespace sd::test
