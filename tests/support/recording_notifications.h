// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Captures every desktop notification the code under test shows.

#include <ostream>
#include <string>
#include <vector>

#include "common/notifications.h"

namespace sd::test {

struct ShownNotification {
  std::string summary;
  std::string body;
  bool operator==(const ShownNotification&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const ShownNotification& n) {
    return out << "{\"" << n.summary << "\", \"" << n.body << "\"}";
  }
};

class RecordingNotifications : public INotifications {
 public:
  void Show(const std::string& summary, const std::string& body) override { shown.push_back({summary, body}); }
  std::vector<ShownNotification> shown;
};

}  // namespace sd::test
