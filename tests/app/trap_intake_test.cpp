// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/trap_intake.h"

#include <gtest/gtest.h>

#include "settings/event_log.h"
#include "support/datagrams.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

struct RecordingIndicator : ITrapIndicator {
  void ShowTrapArrived(bool arrived) override { states.push_back(arrived); }
  std::vector<bool> states;
};

std::tm June1st2007() {
  std::tm t{};
  t.tm_year = 107;
  t.tm_mon = 5;
  t.tm_mday = 1;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_sec = 9;
  return t;
}

class TrapIntakeTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  void SetUp() override { SetLogClock(June1st2007); }
  void TearDown() override { SetLogClock({}); }

  void Trap(std::vector<std::uint8_t> payload) { intake.OnTrapReceived(payload); }
  static std::vector<std::uint8_t> Payload(std::string_view sender, std::string_view text) {
    test::AgentDatagram d;
    d.Trap(sender, text);
    return d.payload;
  }
  std::string Log() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }

  test::TempConfigDir dir;
  TrapStore store;
  RecordingIndicator indicator;
  TrapIntake intake{dlg.Lists(), store, indicator, messages};
};

TEST_F(TrapIntakeTest, TrapFromAMonitoredSwitchIsLoggedStoredAndCountsAsLife) {
  DeviceRecord watched = test::Switch("020000000010", "192.168.0.10");
  watched.answered = 0;
  watched.missed_polls = 4;
  watched.status_image = 1;
  AddMonitored(watched);
  Trap(Payload("192.168.0.10", "Port 3 link up"));

  EXPECT_EQ(Log(), "06/01/2007 14:03:09 192.168.0.10 Trap :Port 3 link up\r\n");
  ASSERT_EQ(store.trap_count(), 1);
  EXPECT_STREQ(store.Slot(0).time_text, "06/01/2007 14:03:09");
  EXPECT_STREQ(store.Slot(0).address_text, "192.168.0.10");
  EXPECT_STREQ(store.Slot(0).event_text, "Port 3 link up");
  EXPECT_EQ(store.Slot(0).image, 0);
  EXPECT_EQ(indicator.states, std::vector<bool>{true});
  const DeviceRecord e = dlg.MonitorTable().Entry(0);
  EXPECT_EQ(e.row_state, 1u);
  EXPECT_EQ(e.missed_polls, 0u);
  EXPECT_EQ(e.answered, 1u);
  EXPECT_EQ(e.status_image, -1);
  EXPECT_EQ(monitor_list.Image(0), -1);
}

TEST_F(TrapIntakeTest, TrapsFromElsewhereLeaveNoTrace) {
  AddDiscovered(test::Switch("020000000010", "192.168.0.10"));
  // A monitored switch that lost its lease is listed at 0.0.0.0, which names no one switch.
  DeviceRecord unleased = test::Switch("020000000011", "192.168.0.11");
  SetIp(unleased, 0);
  AddMonitored(unleased);
  Trap(Payload("192.168.0.10", "from the Discovery List"));
  Trap(Payload("0.0.0.0", "from no address"));
  Trap({192, 168});  // shorter than an address: reads as 0.0.0.0
  EXPECT_EQ(store.trap_count(), 0);
  EXPECT_TRUE(indicator.states.empty());
  EXPECT_TRUE(dir.Read("syslog.log").empty());
}

TEST_F(TrapIntakeTest, AddressWithoutTextIsLoggedEmpty) {
  AddMonitored(test::Switch("020000000010", "192.168.0.10"));
  Trap({192, 168, 0, 10});
  EXPECT_EQ(Log(), "06/01/2007 14:03:09 192.168.0.10 Trap :\r\n");
  EXPECT_STREQ(store.Slot(0).event_text, "");
}

// A trap text cannot write a line of its own into the log: every control character, the line
// breaks among them, becomes a blank, in the log line and in the stored trap alike.
TEST_F(TrapIntakeTest, ControlCharactersInTheTextBecomeBlanks) {
  AddMonitored(test::Switch("020000000010", "192.168.0.10"));
  const std::string forged = "link down\r\n06/01/2007 14:03:09 192.168.0.12 Not alive \r\n";
  Trap(Payload("192.168.0.10", forged));
  const std::string text = "link down  06/01/2007 14:03:09 192.168.0.12 Not alive   ";
  EXPECT_EQ(Log(), "06/01/2007 14:03:09 192.168.0.10 Trap :" + text + "\r\n");
  EXPECT_EQ(std::string(store.Slot(0).event_text), text);
}

}  // namespace
}  // namespace sd
