// SPDX-License-Identifier: GPL-3.0-or-later
// The whole manager core over real sockets in the lab: discovery fills the Discovery List, the
// devices move to the Monitor List, the poll thread and the liveness timer find the one switch
// that went silent, the switch recovers with its next reply, and a trap is logged and stored.
#include <gtest/gtest.h>

#include "support/lab_engine.h"

namespace sd {
namespace {

using test::LabEngineTest;

const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=1,name=edge-1,dhcp=on",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2,name=edge-2,interval=125",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=core",
    "ip=198.18.0.13,mac=02:00:00:00:00:13,iface=2,name=spare",
};

TEST_F(LabEngineTest, DiscoverMonitorAndDeclareTheSilentSwitchNotAlive) {
  ASSERT_NO_FATAL_FAILURE(StartLab(kSwitches));
  FixLogClock();
  ASSERT_TRUE(DiscoverRows(4));
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 4);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(discovery_list.Text(dlg.FindDiscoveryRowByMac("020000000012"), 4), "core");

  dlg.TransferToMonitorList({0, 1, 2, 3});
  ASSERT_EQ(dlg.MonitorTable().Count(), 4);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 0);
  auto entry_of = [&](const std::string& ip) { return dlg.MonitorTable().Entry(dlg.MonitorTable().FindByIp(ip).index); };
  auto row_of = [&](const std::string& ip) {
    for (int row = 0; row < monitor_list.RowCount(); ++row) {
      if (monitor_list.Text(row, 1) == ip) return row;
    }
    return -1;
  };

  ASSERT_TRUE(Sim("silence 198.18.0.12"));
  engine->StartPollThread();
  // The verdict counts requests, not seconds: a faster tick than the window's 5 s only shortens
  // the test.
  loop.Every(std::chrono::seconds(1), [&] { engine->OnLivenessTimer(); });
  ASSERT_TRUE(loop.RunUntil([&] { return !Log().empty(); }, std::chrono::seconds(40))) << "no verdict";
  const std::string not_alive = std::string(kFixedTimestamp) + " 198.18.0.12 Not alive \r\n";
  EXPECT_EQ(Log(), not_alive);
  for (const char* ip : {"198.18.0.10", "198.18.0.11", "198.18.0.12", "198.18.0.13"}) {
    const DeviceRecord e = entry_of(ip);
    const bool silent = std::string(ip) == "198.18.0.12";
    EXPECT_EQ(e.status_image, silent ? 1 : -1) << ip;
    EXPECT_EQ(e.row_state, silent ? 2u : 1u) << ip;
    EXPECT_EQ(monitor_list.Image(row_of(ip)), silent ? 1 : -1) << ip;
  }

  // The poll thread keeps polling it; the next reply after it speaks again brings it back, and
  // no line is written for the recovery.
  ASSERT_TRUE(Sim("resume 198.18.0.12"));
  ASSERT_TRUE(loop.RunUntil([&] { return entry_of("198.18.0.12").row_state == 1; }, std::chrono::seconds(20)))
      << "no recovery";
  const DeviceRecord back = entry_of("198.18.0.12");
  EXPECT_EQ(back.status_image, -1);
  EXPECT_EQ(back.missed_polls, 0u);
  EXPECT_EQ(back.answered, 1u);
  EXPECT_EQ(monitor_list.Image(row_of("198.18.0.12")), -1);
  EXPECT_EQ(monitor_list.Text(row_of("198.18.0.12"), 2), "020000000012");
  // Until then every tick logged the verdict again, each time the same line.
  const std::string log = Log();
  ASSERT_EQ(log.size() % not_alive.size(), 0u) << log;
  for (std::size_t at = 0; at < log.size(); at += not_alive.size()) {
    EXPECT_EQ(log.substr(at, not_alive.size()), not_alive);
  }
  loop.RunFor(std::chrono::seconds(3));
  EXPECT_EQ(Log(), log);

  ASSERT_TRUE(Sim("trap 198.18.0.11 Port 2 link down"));
  ASSERT_TRUE(loop.RunUntil([&] { return traps.trap_count() == 1; }, std::chrono::seconds(5)));
  EXPECT_EQ(Log(), log + kFixedTimestamp + " 198.18.0.11 Trap :Port 2 link down\r\n");
  EXPECT_TRUE(indicator.lit);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

}  // namespace
}  // namespace sd
