// SPDX-License-Identifier: GPL-3.0-or-later
// Option > "Notifications": on by default and remembered per settings folder; watch events seen
// by the window reach the desktop's notifications only while the window is not the active one,
// one notification a second with the events of the second grouped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "devices/liveness.h"
#include "window/dbus_notifications.h"
#include "window/window_fixture.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's helpers

class NotificationsTest : public WindowTest {
 protected:
  void StartWithSwitches() {
    StartUp();
    for (const char* ip : {"198.18.0.10", "198.18.0.12"}) {
      DeviceRecord r = Switch(std::string("0200000000") + (ip + 9), ip);
      SetText(r.system_name, ip[10] == '0' ? "edge-1" : "core");
      Monitor(r);
    }
  }
  int Index(const std::string& ip) { return core().MonitorTable().FindByIp(ip).index; }
  // What the liveness timer does to a switch it declares not alive, then the window's look.
  void Verdict(const std::string& ip) {
    core().UpdateMonitorEntry(Index(ip), [](DeviceRecord& e) {
      e.row_state = kRowShownNotAlive;
      e.status_image = kStatusImageNotAlive;
    });
    window().AfterEvents();
  }
  void SignOfLife(const std::string& ip) {
    core().UpdateMonitorEntry(Index(ip), [](DeviceRecord& e) { ApplySignOfLife(e); });
    window().AfterEvents();
  }
  void Trap(const std::string& ip, const std::string& text) {
    ui.traps.Add("06/01/2007 14:03:09", ip, text);
    window().AfterEvents();
  }
  QAction* Item() { return window().ActionOf(Command::Notifications); }
  std::vector<ShownNotification>& Shown() { return ui.notifications.shown; }
};

TEST_F(NotificationsTest, TheItemIsOnByDefaultAndRememberedBesideTheSettingsFiles) {
  StartUp();
  const std::vector<std::uint8_t> settings = dir.Read("define.ecf");
  ASSERT_NE(Item(), nullptr);
  EXPECT_EQ(ActionTexts(TopMenu(window(), "Option")).back(), "Notifications");
  EXPECT_TRUE(Item()->isCheckable());
  EXPECT_TRUE(Item()->isChecked());
  EXPECT_TRUE(window().NotificationsOn());

  Item()->trigger();
  EXPECT_FALSE(Item()->isChecked());
  EXPECT_FALSE(window().NotificationsOn());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File(kNotificationsOffFile)));
  EXPECT_EQ(dir.Read("define.ecf"), settings);
  {
    WindowUnderTest next;
    next.window->Initialise(Networking::Off);
    EXPECT_FALSE(next.window->ActionOf(Command::Notifications)->isChecked());
    next.window->ActionOf(Command::Notifications)->trigger();
    EXPECT_TRUE(next.window->NotificationsOn());
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File(kNotificationsOffFile)));
  WindowUnderTest last;
  last.window->Initialise(Networking::Off);
  EXPECT_TRUE(last.window->NotificationsOn());
  EXPECT_TRUE(ui.messages.shown.empty());
}

TEST_F(NotificationsTest, EventsWhileTheWindowIsNotActiveAreGroupedToOneASecond) {
  StartWithSwitches();
  ASSERT_EQ(QApplication::activeWindow(), nullptr);
  Verdict("198.18.0.12");
  EXPECT_EQ(Shown(), (std::vector<ShownNotification>{{"Switch not alive", "198.18.0.12  core  020000000012"}}));

  // Within the second after it: kept, then shown together.
  Verdict("198.18.0.12");  // a verdict already seen is no news
  Trap("198.18.0.12", "Port 2 link down");
  SignOfLife("198.18.0.12");
  EXPECT_EQ(Shown().size(), 1u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown().size() == 2; }, 3000));
  EXPECT_EQ(Shown()[1], (ShownNotification{"2 switch events",
                                           "198.18.0.12  Trap :Port 2 link down\n198.18.0.12  core  Recovered"}));

  // A second later the next event is shown at once, with its own texts.
  QTest::qWait(1100);
  Trap("198.18.0.10", "Fan failed");
  ASSERT_EQ(Shown().size(), 3u);
  EXPECT_EQ(Shown()[2], (ShownNotification{"New trap arrived", "198.18.0.10  Fan failed"}));
  EXPECT_TRUE(ui.messages.shown.empty());
}

TEST_F(NotificationsTest, NothingWhileTheWindowIsActiveOrTheItemIsOff) {
  StartWithSwitches();
  Show();
  Verdict("198.18.0.12");
  Trap("198.18.0.12", "Port 2 link down");
  QTest::qWait(1100);
  EXPECT_TRUE(Shown().empty());

  QApplication::setActiveWindow(nullptr);
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 2000));
  Item()->trigger();
  SignOfLife("198.18.0.12");
  Verdict("198.18.0.10");
  QTest::qWait(1100);
  EXPECT_TRUE(Shown().empty());

  // On again: what happened while it was off is not news; what comes next is.
  Item()->trigger();
  window().AfterEvents();
  EXPECT_TRUE(Shown().empty());
  SignOfLife("198.18.0.10");
  EXPECT_EQ(Shown(), (std::vector<ShownNotification>{{"Switch recovered", "198.18.0.10  edge-1  020000000010"}}));
}

TEST(NotificationMarkupTest, TheBodyCannotCarryMarkup) {
  const std::pair<const char*, const char*> cases[] = {
      {"198.18.0.12  core", "198.18.0.12  core"},
      {"<b>sw</b> & <a href=\"x\">", "&lt;b&gt;sw&lt;/b&gt; &amp; &lt;a href=\"x\"&gt;"},
      {"&amp;", "&amp;amp;"},
  };
  for (const auto& [text, escaped] : cases) {
    EXPECT_EQ(EscapeNotificationMarkup(QString::fromUtf8(text)).toStdString(), escaped);
  }
}

// Without a session bus, or with one that cannot be reached, nothing waits: one line on standard
// error, the first time only.
TEST(DbusNotificationsTest, WithoutABusNothingIsShownAndOneLineSaysSo) {
  TempConfigDir runtime;  // an XDG_RUNTIME_DIR without a bus in it
  const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  const QByteArray runtime_before = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.Path()));
  const std::optional<QString> buses[] = {std::nullopt, QString::fromStdString("unix:path=" + runtime.File("bus"))};
  for (const std::optional<QString>& address : buses) {
    SCOPED_TRACE(address.value_or("the session bus").toStdString());
    testing::internal::CaptureStderr();
    {
      DbusNotifications notifications(address);
      notifications.Show("Switch not alive", "198.18.0.12  core  020000000012");
      notifications.Show("Switch recovered", "198.18.0.12  core  020000000012");
      QCoreApplication::processEvents();
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.rfind("switchdesk: desktop notifications are not shown: ", 0), 0u) << said;
  }
  if (bus.isNull()) qunsetenv("DBUS_SESSION_BUS_ADDRESS"); else qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
  if (runtime_before.isNull()) qunsetenv("XDG_RUNTIME_DIR"); else qputenv("XDG_RUNTIME_DIR", runtime_before);
}

}  // namespace
}  // namespace sd::gui
