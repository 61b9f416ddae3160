// SPDX-License-Identifier: GPL-3.0-or-later
// Desktop notifications of watch events: one event with its own texts, bursts grouped to one
// notification a second with a bounded body, and the on/off choice kept beside the settings.
#include "app/notification_grouper.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "support/recording_notifications.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using Kind = WatchEvent::Kind;
using Ms = std::chrono::milliseconds;
using test::ShownNotification;

// Keeps the delayed posts; the test lets the time pass.
class DelayedPosts : public IUiThread {
 public:
  void Post(std::function<void()> task, Ms delay) override { posted.push_back({delay, std::move(task)}); }
  // Runs every post made so far; the delays they asked for.
  std::vector<Ms> PassTime() {
    std::vector<Ms> delays;
    std::deque<std::pair<Ms, std::function<void()>>> now;
    now.swap(posted);
    for (auto& [delay, task] : now) {
      delays.push_back(delay);
      task();
    }
    return delays;
  }
  std::deque<std::pair<Ms, std::function<void()>>> posted;
};

WatchEvent Event(Kind kind, std::string ip, std::string name = "core", std::string text = "") {
  WatchEvent e;
  e.kind = kind;
  e.time = "06/01/2007 14:03:09";
  e.ip = std::move(ip);
  e.mac = "020000000012";
  e.name = kind == Kind::Trap ? "" : std::move(name);
  e.text = std::move(text);
  return e;
}

TEST(NotificationTextTest, EachKindAloneAndAsALineOfAGroup) {
  struct Case {
    WatchEvent event;
    NotificationText alone;
    std::string line;
  };
  const Case cases[] = {
      {Event(Kind::NotAlive, "198.18.0.12"), {"Switch not alive", "198.18.0.12  core  020000000012"},
       "198.18.0.12  core  Not alive"},
      {Event(Kind::Recovered, "198.18.0.12"), {"Switch recovered", "198.18.0.12  core  020000000012"},
       "198.18.0.12  core  Recovered"},
      {Event(Kind::NotAlive, "198.18.0.13", ""), {"Switch not alive", "198.18.0.13  020000000012"},
       "198.18.0.13  Not alive"},
      {Event(Kind::Trap, "198.18.0.11", "", "Port 2 link down"), {"New trap arrived", "198.18.0.11  Port 2 link down"},
       "198.18.0.11  Trap :Port 2 link down"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(EventNotification(c.event), c.alone);
    EXPECT_EQ(EventLine(c.event), c.line);
  }
}

TEST(NotificationGrouperTest, OneASecondWithTheEventsOfTheSecondTogether) {
  test::RecordingNotifications shown;
  DelayedPosts ui;
  NotificationGrouper grouper(shown, ui);

  grouper.Add({Event(Kind::NotAlive, "198.18.0.12")});
  EXPECT_EQ(shown.shown, (std::vector<ShownNotification>{{"Switch not alive", "198.18.0.12  core  020000000012"}}));

  // Within the second: kept.
  grouper.Add({Event(Kind::Trap, "198.18.0.11", "", "Port 2 link down")});
  grouper.Add({});
  grouper.Add({Event(Kind::Recovered, "198.18.0.12"), Event(Kind::NotAlive, "198.18.0.10", "edge-1")});
  EXPECT_EQ(shown.shown.size(), 1u);
  EXPECT_EQ(grouper.Waiting(), 3u);

  EXPECT_EQ(ui.PassTime(), std::vector<Ms>{Ms(1000)});
  ASSERT_EQ(shown.shown.size(), 2u);
  EXPECT_EQ(shown.shown[1], (ShownNotification{"3 switch events",
                                               "198.18.0.11  Trap :Port 2 link down\n"
                                               "198.18.0.12  core  Recovered\n"
                                               "198.18.0.10  edge-1  Not alive"}));

  // A second after that one, with nothing kept, the next event is shown at once again.
  EXPECT_EQ(ui.PassTime(), std::vector<Ms>{Ms(1000)});
  EXPECT_TRUE(ui.posted.empty());
  EXPECT_EQ(shown.shown.size(), 2u);
  grouper.Add({Event(Kind::Recovered, "198.18.0.10", "edge-1")});
  ASSERT_EQ(shown.shown.size(), 3u);
  EXPECT_EQ(shown.shown[2].summary, "Switch recovered");

  // A single event kept for the end of the second keeps its own texts.
  grouper.Add({Event(Kind::Trap, "198.18.0.11", "", "Fan failed")});
  ui.PassTime();
  ASSERT_EQ(shown.shown.size(), 4u);
  EXPECT_EQ(shown.shown[3], (ShownNotification{"New trap arrived", "198.18.0.11  Fan failed"}));
}

TEST(NotificationGrouperTest, EventsSeenTogetherMakeOneNotificationAtOnce) {
  test::RecordingNotifications shown;
  DelayedPosts ui;
  NotificationGrouper grouper(shown, ui);
  grouper.Add({Event(Kind::NotAlive, "198.18.0.10", "edge-1"), Event(Kind::NotAlive, "198.18.0.11", "edge-2")});
  EXPECT_EQ(shown.shown, (std::vector<ShownNotification>{
                             {"2 switch events", "198.18.0.10  edge-1  Not alive\n198.18.0.11  edge-2  Not alive"}}));
}

TEST(NotificationGrouperTest, AStormShowsTheFirstLinesAndCountsTheRest) {
  test::RecordingNotifications shown;
  DelayedPosts ui;
  NotificationGrouper grouper(shown, ui);
  grouper.Add({Event(Kind::Trap, "198.18.0.11", "", "first")});
  for (int i = 0; i < 10000; ++i) grouper.Add({Event(Kind::Trap, "198.18.0.11", "", "storm " + std::to_string(i))});
  EXPECT_EQ(grouper.Waiting(), 10000u);
  ui.PassTime();
  ASSERT_EQ(shown.shown.size(), 2u);
  EXPECT_EQ(shown.shown[1], (ShownNotification{"10000 switch events",
                                               "198.18.0.11  Trap :storm 0\n198.18.0.11  Trap :storm 1\n"
                                               "198.18.0.11  Trap :storm 2\n198.18.0.11  Trap :storm 3\n"
                                               "198.18.0.11  Trap :storm 4\nand 9995 more"}));
  EXPECT_EQ(grouper.Waiting(), 0u);
}

TEST(NotificationGrouperTest, DroppedEventsAndAGoneGrouperShowNothing) {
  test::RecordingNotifications shown;
  DelayedPosts ui;
  auto grouper = std::make_unique<NotificationGrouper>(shown, ui);
  grouper->Add({Event(Kind::NotAlive, "198.18.0.12")});
  grouper->Add({Event(Kind::Recovered, "198.18.0.12")});
  grouper->Drop();
  ui.PassTime();
  EXPECT_EQ(shown.shown.size(), 1u);

  grouper->Add({Event(Kind::NotAlive, "198.18.0.12")});
  grouper->Add({Event(Kind::Recovered, "198.18.0.12")});
  grouper.reset();
  ui.PassTime();
  EXPECT_EQ(shown.shown.size(), 2u);
}

TEST(NotificationSettingTest, OnByDefaultAndRememberedByAFileOfItsOwn) {
  test::TempConfigDir dir;
  dir.Write("define.ecf", {'x'});
  EXPECT_TRUE(NotificationsOn());
  EXPECT_TRUE(RememberNotificationsOn(false));
  EXPECT_FALSE(NotificationsOn());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File(kNotificationsOffFile)));
  EXPECT_EQ(dir.Read("define.ecf"), std::vector<std::uint8_t>{'x'});
  EXPECT_FALSE(std::filesystem::exists(dir.File("monitor.cfg")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("syslog.log")));
  {
    test::TempConfigDir other;  // another settings folder has its own choice
    EXPECT_TRUE(NotificationsOn());
  }
  ::setenv("SWITCHDESK_CONFIG_DIR", dir.Path().c_str(), 1);
  EXPECT_TRUE(RememberNotificationsOn(true));
  EXPECT_TRUE(NotificationsOn());
  EXPECT_FALSE(std::filesystem::exists(dir.File(kNotificationsOffFile)));
}

}  // namespace
}  // namespace sd
