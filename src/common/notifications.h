// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop notifications: a short message the desktop shows outside the window, for what happens
// while nobody looks at it. Showing one never waits for the desktop; where there is no
// notification service nothing is shown.

#include <string>

namespace sd {

class INotifications {
 public:
  virtual ~INotifications() = default;
  // Plain text, summary and body (lines separated by '\n'); whatever the service would read as
  // markup is escaped by the implementation.
  virtual void Show(const std::string& summary, const std::string& body) = 0;
};

}  // namespace sd
