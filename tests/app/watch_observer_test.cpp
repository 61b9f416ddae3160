// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/watch_observer.h"

#include <gtest/gtest.h>

#include "devices/liveness.h"
#include "support/main_dialog.h"

namespace sd {
namespace {

using Kind = WatchEvent::Kind;

class WatchObserverTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  void SetUp() override {
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
      DeviceRecord r = test::Switch("02000000000" + std::string(ip).substr(7), ip);
      SetText(r.system_name, std::string("sw-") + ip[7]);
      AddMonitored(r);
    }
  }
  int Index(const std::string& ip) { return dlg.MonitorTable().FindByIp(ip).index; }
  // What the liveness timer does to a switch it declares not alive.
  void Verdict(const std::string& ip) {
    dlg.UpdateMonitorEntry(Index(ip), [](DeviceRecord& e) {
      e.row_state = kRowShownNotAlive;
      e.status_image = kStatusImageNotAlive;
    });
  }
  // What a reply or a trap does.
  void SignOfLife(const std::string& ip) {
    dlg.UpdateMonitorEntry(Index(ip), [](DeviceRecord& e) { ApplySignOfLife(e); });
  }
  std::vector<std::pair<Kind, std::string>> Seen(WatchObserver& o) {
    std::vector<std::pair<Kind, std::string>> seen;
    for (const WatchEvent& e : o.Look("06/01/2007 14:03:09")) seen.emplace_back(e.kind, e.ip);
    return seen;
  }

  TrapStore traps;
};

TEST_F(WatchObserverTest, AVerdictIsReportedOnceAndTheFirstSignOfLifeAsARecovery) {
  WatchObserver o(dlg.MonitorTable(), traps);
  EXPECT_TRUE(Seen(o).empty());

  Verdict("10.0.0.2");
  const auto events = o.Look("06/01/2007 14:03:09");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (WatchEvent{Kind::NotAlive, "06/01/2007 14:03:09", "10.0.0.2", "020000000002", "sw-2", ""}));

  Verdict("10.0.0.2");  // the timer declares it again at every tick while it stays silent
  EXPECT_TRUE(Seen(o).empty());

  SignOfLife("10.0.0.1");  // an alive switch answering is no news
  EXPECT_TRUE(Seen(o).empty());

  SignOfLife("10.0.0.2");
  EXPECT_EQ(Seen(o), (std::vector<std::pair<Kind, std::string>>{{Kind::Recovered, "10.0.0.2"}}));
  SignOfLife("10.0.0.2");
  EXPECT_TRUE(Seen(o).empty());

  Verdict("10.0.0.2");  // silent again: a new verdict
  Verdict("10.0.0.3");
  EXPECT_EQ(Seen(o), (std::vector<std::pair<Kind, std::string>>{{Kind::NotAlive, "10.0.0.2"}, {Kind::NotAlive, "10.0.0.3"}}));
}

// monitor.cfg keeps the not-alive image of a switch saved while it was down: that is no news at
// start, its verdict in this run is, and so is its first answer.
TEST_F(WatchObserverTest, ASwitchLoadedWithTheNotAliveImage) {
  dlg.UpdateMonitorEntry(Index("10.0.0.3"), [](DeviceRecord& e) { e.status_image = kStatusImageNotAlive; });
  {
    WatchObserver o(dlg.MonitorTable(), traps);
    EXPECT_TRUE(Seen(o).empty());
    SignOfLife("10.0.0.3");
    EXPECT_EQ(Seen(o), (std::vector<std::pair<Kind, std::string>>{{Kind::Recovered, "10.0.0.3"}}));
  }
  dlg.UpdateMonitorEntry(Index("10.0.0.3"), [](DeviceRecord& e) { e.status_image = kStatusImageNotAlive; });
  WatchObserver o(dlg.MonitorTable(), traps);
  Verdict("10.0.0.3");
  EXPECT_EQ(Seen(o), (std::vector<std::pair<Kind, std::string>>{{Kind::NotAlive, "10.0.0.3"}}));
}

// Entries are matched by address, so a removal that moves the others up reports nothing.
TEST_F(WatchObserverTest, EntriesAreFollowedByTheirAddressNotTheirPlace) {
  Verdict("10.0.0.3");
  WatchObserver o(dlg.MonitorTable(), traps);
  dlg.RemoveMonitorRows({0});
  EXPECT_TRUE(Seen(o).empty());
  SignOfLife("10.0.0.3");
  EXPECT_EQ(Seen(o), (std::vector<std::pair<Kind, std::string>>{{Kind::Recovered, "10.0.0.3"}}));
}

TEST_F(WatchObserverTest, TrapsComeInTheirOrderWithTheirOwnTimeAndBeforeTheRecoveryTheyCause) {
  traps.Add("06/01/2007 14:00:00", "10.0.0.9", "before the start");
  Verdict("10.0.0.1");
  WatchObserver o(dlg.MonitorTable(), traps);
  traps.Add("06/01/2007 14:03:08", "10.0.0.1", "Port 1 link up");
  traps.Add("06/01/2007 14:03:09", "10.0.0.2", "Port 2 link down");
  SignOfLife("10.0.0.1");
  const auto events = o.Look("06/01/2007 14:03:10");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], (WatchEvent{Kind::Trap, "06/01/2007 14:03:08", "10.0.0.1", "", "", "Port 1 link up"}));
  EXPECT_EQ(events[1], (WatchEvent{Kind::Trap, "06/01/2007 14:03:09", "10.0.0.2", "", "", "Port 2 link down"}));
  EXPECT_EQ(events[2].kind, Kind::Recovered);
  EXPECT_EQ(events[2].time, "06/01/2007 14:03:10");
  EXPECT_TRUE(o.Look("t").empty());
}

// The store keeps 1499 traps and drops the oldest beyond; the newest are still reported.
TEST_F(WatchObserverTest, TrapsBeyondTheStoresSlotsAreStillReported) {
  for (std::size_t i = 0; i < kTrapsKept; ++i) traps.Add("t", "10.0.0.1", "old " + std::to_string(i));
  WatchObserver o(dlg.MonitorTable(), traps);
  traps.Add("t", "10.0.0.1", "new 1");
  traps.Add("t", "10.0.0.1", "new 2");
  const auto events = o.Look("t");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].text, "new 1");
  EXPECT_EQ(events[1].text, "new 2");
}

}  // namespace
}  // namespace sd
