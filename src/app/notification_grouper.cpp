// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/notification_grouper.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "settings/config_folder.h"

namespace sd {
namespace {

std::filesystem::path OffMarker() { return std::filesystem::path(ConfigFolderPath()) / kNotificationsOffFile; }

// "IP  NAME  " with the name left out when the switch has none.
std::string Switch(const WatchEvent& event) {
  std::string text = event.ip + "  ";
  if (!event.name.empty()) text += event.name + "  ";
  return text;
}

}  // namespace

bool NotificationsOn() {
  std::error_code ec;
  return !std::filesystem::exists(OffMarker(), ec);
}

bool RememberNotificationsOn(bool on) {
  std::error_code ec;
  if (on) {
    std::filesystem::remove(OffMarker(), ec);
    return !ec;
  }
  std::ofstream out(OffMarker(), std::ios::trunc);
  out << "Desktop notifications of Switchdesk are off (Option > Notifications).\n"
         "Remove this file, or check the menu item, to turn them on again.\n";
  out.close();
  return static_cast<bool>(out);
}

NotificationText EventNotification(const WatchEvent& event) {
  switch (event.kind) {
    case WatchEvent::Kind::NotAlive: return {"Switch not alive", Switch(event) + event.mac};
    case WatchEvent::Kind::Recovered: return {"Switch recovered", Switch(event) + event.mac};
    case WatchEvent::Kind::Trap: break;
  }
  return {"New trap arrived", event.ip + "  " + event.text};
}

std::string EventLine(const WatchEvent& event) {
  switch (event.kind) {
    case WatchEvent::Kind::NotAlive: return Switch(event) + "Not alive";
    case WatchEvent::Kind::Recovered: return Switch(event) + "Recovered";
    case WatchEvent::Kind::Trap: break;
  }
  return event.ip + "  Trap :" + event.text;
}

NotificationGrouper::NotificationGrouper(INotifications& out, IUiThread& ui) : out_(out), ui_(ui) {}

void NotificationGrouper::Add(const std::vector<WatchEvent>& events) {
  for (const WatchEvent& event : events) Keep(event);
  if (!in_second_ && count_ > 0) ShowKept();
}

void NotificationGrouper::Keep(const WatchEvent& event) {
  if (count_ == 0) first_ = event;
  if (lines_.size() < kShownLines) lines_.push_back(EventLine(event));
  ++count_;
}

void NotificationGrouper::Drop() {
  first_.reset();
  lines_.clear();
  count_ = 0;
}

void NotificationGrouper::ShowKept() {
  NotificationText text;
  if (count_ == 1) {
    text = EventNotification(*first_);
  } else {
    text.summary = std::to_string(count_) + " switch events";
    for (const std::string& line : lines_) text.body += (text.body.empty() ? "" : "\n") + line;
    if (count_ > lines_.size()) text.body += "\nand " + std::to_string(count_ - lines_.size()) + " more";
  }
  Drop();
  in_second_ = true;
  ui_.Post([this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.lock()) OnSecondOver();
  }, kInterval);
  out_.Show(text.summary, text.body);
}

void NotificationGrouper::OnSecondOver() {
  in_second_ = false;
  if (count_ > 0) ShowKept();
}

}  // namespace sd
