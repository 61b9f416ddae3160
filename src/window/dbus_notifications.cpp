// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/dbus_notifications.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace sd::gui {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// Whether the environment names a session bus. Without one the bus library would try to start
// a bus of its own (autolaunch), which waits; that is left to the desktop.
bool SessionBusNamed() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

QString EscapeNotificationMarkup(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (const QChar c : text) {
    if (c == u'&') {
      escaped += QStringLiteral("&amp;");
    } else if (c == u'<') {
      escaped += QStringLiteral("&lt;");
    } else if (c == u'>') {
      escaped += QStringLiteral("&gt;");
    } else {
      escaped += c;
    }
  }
  return escaped;
}

DbusNotifications::DbusNotifications(std::optional<QString> bus_address) : bus_address_(std::move(bus_address)) {}

DbusNotifications::~DbusNotifications() {
  // The calls in flight are forgotten before their connection goes.
  qDeleteAll(context_.children());
  if (!connection_name_.isEmpty()) QDBusConnection::disconnectFromBus(connection_name_);
}

void DbusNotifications::SayUnavailableOnce(const QString& why) {
  if (said_) return;
  said_ = true;
  std::fprintf(stderr, "switchdesk: desktop notifications are not shown: %s\n", why.toLocal8Bit().constData());
}

bool DbusNotifications::Connect() {
  if (tried_) return connected_;
  tried_ = true;
  if (bus_address_) {
    connection_name_ = QStringLiteral("switchdesk-notifications-%1").arg(reinterpret_cast<quintptr>(this));
    QDBusConnection::connectToBus(*bus_address_, connection_name_);
  } else if (!SessionBusNamed()) {
    SayUnavailableOnce(QStringLiteral("there is no session bus"));
    return false;
  }
  QDBusConnection bus = connection_name_.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(connection_name_);
  connected_ = bus.isConnected();
  if (!connected_) {
    SayUnavailableOnce(QStringLiteral("no session bus (%1)").arg(bus.lastError().message()));
    return false;
  }
  // A service that does not read markup shows the body as it is.
  const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), &context_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_, [this](QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<QStringList> reply = *call;
    if (!reply.isError()) plain_body_ = !reply.value().contains(QStringLiteral("body-markup"));
    call->deleteLater();
  });
  return true;
}

void DbusNotifications::Show(const std::string& summary, const std::string& body) {
  if (!Connect()) return;
  QDBusConnection bus = connection_name_.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(connection_name_);
  const QString text = QString::fromStdString(body);
  QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kNotificationIconName));
  notify << QString::fromLatin1(kNotificationAppName) << 0u << QString::fromLatin1(kNotificationIconName)
         << QString::fromStdString(summary) << (plain_body_ ? text : EscapeNotificationMarkup(text))
         << QStringList() << hints << -1;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), &context_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_, [this](QDBusPendingCallWatcher* call) {
    if (call->isError()) SayUnavailableOnce(call->error().message());
    call->deleteLater();
  });
}

}  // namespace sd::gui
