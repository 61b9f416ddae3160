// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop notifications through the desktop's notification service, org.freedesktop.Notifications
// on the session bus. Every call is asynchronous: the window never waits for the bus or the
// service. Without a session bus, or with no service on it, nothing is shown and one line on
// standard error says so, once.

#include <QObject>
#include <QString>
#include <optional>

#include "common/notifications.h"

namespace sd::gui {

inline constexpr const char* kNotificationAppName = "Switchdesk";
// The icon the desktop file and the installed icon go by.
inline constexpr const char* kNotificationIconName = "org.switchdesk.Switchdesk";

// The body as text for a service that reads simple markup: &, < and > escaped, so that a
// switch's name or a trap's text cannot format it.
QString EscapeNotificationMarkup(const QString& text);

class DbusNotifications : public INotifications {
 public:
  // On the session bus of the environment, or on the bus at `bus_address`. Nothing connects
  // before the first notification.
  explicit DbusNotifications(std::optional<QString> bus_address = std::nullopt);
  ~DbusNotifications() override;

  void Show(const std::string& summary, const std::string& body) override;

 private:
  // The bus's name for this object's connection; empty when there is no bus to use.
  bool Connect();
  void SayUnavailableOnce(const QString& why);

  std::optional<QString> bus_address_;
  QString connection_name_;
  bool connected_ = false;
  bool tried_ = false;
  bool said_ = false;
  // Until the service has said whether it reads markup, the body is escaped.
  bool plain_body_ = false;
  // Owns the watchers of the calls in flight; they go with it.
  QObject context_;
};

}  // namespace sd::gui
