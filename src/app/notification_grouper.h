// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's desktop notifications of watch events (not alive, recovered, trap): at most one
// a second. Events that come within the second after a notification are collected and shown
// together once the second is over, as "N switch events" with the first few event lines; a storm
// of any size holds only those lines and a count. Whether notifications are on is remembered
// per settings folder, by a file beside define.ecf, monitor.cfg and syslog.log.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/watch_observer.h"
#include "common/notifications.h"
#include "common/ui_thread.h"

namespace sd {

// The file that exists while the notifications are off.
inline constexpr const char* kNotificationsOffFile = "notifications-off";
// On unless the file above is in the settings folder in use.
bool NotificationsOn();
// Removes or writes the file; false when the folder did not take the change.
bool RememberNotificationsOn(bool on);

struct NotificationText {
  std::string summary;
  std::string body;
  bool operator==(const NotificationText&) const = default;
};

// One event alone: "Switch not alive" / "Switch recovered" with "IP  NAME  MAC", or "New trap
// arrived" with "IP  TEXT".
NotificationText EventNotification(const WatchEvent& event);
// One event as a line of a grouped notification: "IP  NAME  Not alive", "IP  NAME  Recovered",
// "IP  Trap :TEXT" (the watch's words).
std::string EventLine(const WatchEvent& event);

class NotificationGrouper {
 public:
  static constexpr std::chrono::milliseconds kInterval{1000};
  // Event lines a grouped notification shows; the rest are counted ("and N more").
  static constexpr std::size_t kShownLines = 5;

  // The second is timed with delayed posts to `ui`; both must outlive the grouper, whose posts
  // left pending do nothing once it is gone.
  NotificationGrouper(INotifications& out, IUiThread& ui);
  NotificationGrouper(const NotificationGrouper&) = delete;
  NotificationGrouper& operator=(const NotificationGrouper&) = delete;

  // Events seen together (one look of the watch observer): shown at once, as one notification,
  // when the last notification is a second old or more; otherwise kept for the end of the second.
  void Add(const std::vector<WatchEvent>& events);
  // Forgets the events kept (the notifications were turned off).
  void Drop();
  // Events kept for the end of the second.
  std::uint64_t Waiting() const { return count_; }

 private:
  void Keep(const WatchEvent& event);
  // Shows what is kept and starts a new second.
  void ShowKept();
  void OnSecondOver();

  INotifications& out_;
  IUiThread& ui_;
  // Dies with the grouper: pending posts see that it has gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool in_second_ = false;
  std::optional<WatchEvent> first_;  // a single event kept is shown with its own texts
  std::vector<std::string> lines_;   // at most kShownLines
  std::uint64_t count_ = 0;
};

}  // namespace sd
