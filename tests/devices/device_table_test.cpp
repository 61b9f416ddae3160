// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/liveness.h"
#include "support/devices.h"

namespace sd {
namespace {

using test::Switch;

// A table whose list control has one (blank) row per entry in use.
struct TableWithRows {
  explicit TableWithRows(TableKind kind) : table(kind, list) {}
  void Add(const DeviceRecord& r) {
    const int i = table.Count();
    table.Store(i, r);
    list.InsertRow(i, kNoImage, static_cast<std::uint64_t>(i));
  }
  MemoryListControl list;
  DeviceTable table;
};

std::vector<std::string> IpTexts(const DeviceTable& t) {
  std::vector<std::string> out;
  for (int i = 0; i < kDeviceTableCapacity; ++i) out.emplace_back(GetText(t.Entry(i).ip_text));
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

TEST(DeviceTableTest, SearchesOnlyEntriesInUseAndGivesCountWhenNotFound) {
  TableWithRows d(TableKind::Discovery);
  d.Add(Switch("001a2b3c4d5e", "10.0.0.1"));
  d.Add(Switch("001a2b3c4d5f", "10.0.0.2"));
  d.Add(Switch("001a2b3c4d60", "10.0.0.2"));
  // An entry beyond Count is not searched even if it holds data.
  d.table.Store(3, Switch("aaaaaaaaaaaa", "10.0.0.9"));

  struct Case {
    std::string text;
    FindResult by_mac;
    FindResult by_ip;
  };
  const Case cases[] = {
      {"001a2b3c4d5f", {1, true}, {3, false}},
      {"001A2B3C4D5F", {3, false}, {3, false}},  // case-sensitive
      {"001a2b3c4d5", {3, false}, {3, false}},   // whole text only
      {"10.0.0.2", {3, false}, {1, true}},       // first match
      {"aaaaaaaaaaaa", {3, false}, {3, false}},
      {"10.0.0.9", {3, false}, {3, false}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d.table.FindByMac(c.text), c.by_mac) << c.text;
    EXPECT_EQ(d.table.FindByIp(c.text), c.by_ip) << c.text;
  }
}

TEST(DeviceTableTest, OnlyTheMonitorListSkipsEmptyMacTexts) {
  TableWithRows m(TableKind::Monitor);
  TableWithRows d(TableKind::Discovery);
  DeviceRecord added = Switch("", "10.0.0.1");
  m.Add(added);
  m.Add(Switch("", "10.0.0.2"));
  d.Add(added);
  EXPECT_EQ(m.table.FindByMac(""), (FindResult{2, false}));
  EXPECT_EQ(d.table.FindByMac(""), (FindResult{0, true}));
}

TEST(DeviceTableTest, CompactClosesGapsInOrderByEachListsSurvivalRule) {
  TableWithRows m(TableKind::Monitor);
  for (int i = 1; i <= 5; ++i) m.Add(Switch("", "10.0.0." + std::to_string(i)));
  m.table.Zero(1);
  // A switch that lost its lease answers from 0.0.0.0: its entry follows it and stays in use.
  m.table.Update(3, [](DeviceRecord& r) { SetIp(r, 0); });
  m.table.Compact(kDeviceTableCapacity);
  EXPECT_EQ(IpTexts(m.table), (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "0.0.0.0", "10.0.0.5"}));
  EXPECT_EQ(GetText(m.table.Entry(4).ip_text), "");

  TableWithRows d(TableKind::Discovery);
  for (int i = 1; i <= 4; ++i)
    d.Add(Switch("00000000000" + std::to_string(i), "10.0.0." + std::to_string(i)));
  d.table.Update(0, [](DeviceRecord& r) { SetText(r.mac_text, ""); });
  d.table.Compact(3);
  // Entry 3 lay beyond the limit: it is zeroed, not kept.
  EXPECT_EQ(IpTexts(d.table), (std::vector<std::string>{"10.0.0.2", "10.0.0.3"}));
}

TEST(DeviceTableTest, StoreAndUpdateRefuseIndexesOutsideTheTable) {
  TableWithRows m(TableKind::Monitor);
  EXPECT_FALSE(m.table.Store(kDeviceTableCapacity, Switch("", "10.0.0.1")));
  EXPECT_FALSE(m.table.Update(-1, [](DeviceRecord&) { ADD_FAILURE(); }));
  EXPECT_TRUE(m.table.Store(255, Switch("", "10.0.0.1")));
  EXPECT_EQ(m.table.Entry(kDeviceTableCapacity).ip, 0u);
}

struct CountingCase {
  std::uint32_t answered;
  std::uint32_t missed;
  std::uint32_t answered_after;
  std::uint32_t missed_after;
};

class NotePollSentTest : public ::testing::TestWithParam<CountingCase> {};

TEST_P(NotePollSentTest, FirstRequestAfterASignOfLifeOnlyClearsAnswered) {
  const CountingCase c = GetParam();
  DeviceRecord r = Switch("", "10.0.0.1");
  r.answered = c.answered;
  r.missed_polls = c.missed;

  TableWithRows unicast(TableKind::Monitor);
  unicast.Add(r);
  unicast.table.NotePollSent(0);
  EXPECT_EQ(unicast.table.Entry(0).answered, c.answered_after);
  EXPECT_EQ(unicast.table.Entry(0).missed_polls, c.missed_after);

  TableWithRows all(TableKind::Monitor);
  all.Add(r);
  all.table.NotePollSentToAll();
  EXPECT_EQ(all.table.Entry(0).answered, c.answered_after);
  EXPECT_EQ(all.table.Entry(0).missed_polls, c.missed_after);

  TableWithRows poll(TableKind::Monitor);
  poll.Add(r);
  EXPECT_EQ(poll.table.NotePollSentAndGetIp(0), r.ip);
  EXPECT_EQ(poll.table.Entry(0).missed_polls, c.missed_after);
}

INSTANTIATE_TEST_SUITE_P(Cases, NotePollSentTest,
                         ::testing::Values(CountingCase{1, 5, 0, 0}, CountingCase{0, 2, 0, 3},
                                           CountingCase{0, 0, 0, 1}, CountingCase{1, 0, 0, 0}));

TEST(LivenessTest, ASignOfLifeAfterThreeMissedPollsResetsAtOnce) {
  DeviceRecord r = Switch("", "10.0.0.1");
  r.answered = 0;
  r.missed_polls = 3;
  r.row_state = kRowShownNotAlive;
  r.status_image = kStatusImageNotAlive;
  DeviceRecord by_mac = r;
  ApplySignOfLife(r);
  EXPECT_EQ(r.missed_polls, 0u);
  EXPECT_EQ(r.answered, 1u);
  EXPECT_EQ(r.row_state, kRowShown);
  EXPECT_EQ(r.status_image, kStatusImageNone);
  ApplySignOfLife(by_mac, /*keep_not_alive_image=*/true);
  EXPECT_EQ(by_mac.status_image, kStatusImageNotAlive);
  EXPECT_EQ(by_mac.missed_polls, 0u);
}

TEST(DeviceTableTest, NotePollSentToAllStopsAtTheFirstEntryWithoutAnAddressText) {
  TableWithRows m(TableKind::Monitor);
  for (int i = 1; i <= 5; ++i) {
    DeviceRecord r = Switch("", "10.0.0." + std::to_string(i));
    r.answered = 0;
    m.Add(r);
  }
  m.table.Update(2, [](DeviceRecord& r) { SetText(r.ip_text, ""); });
  m.table.NotePollSentToAll();
  const std::uint32_t expected[] = {1, 1, 0, 0, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m.table.Entry(i).missed_polls, expected[i]) << i;
}

TEST(DeviceTableTest, ThePollThreadEndsTheListAtTheFirstEntryWithoutAnAddress) {
  TableWithRows m(TableKind::Monitor);
  m.Add(Switch("", "10.0.0.1"));
  m.Add(Switch("", "10.0.0.2"));
  m.table.Store(3, Switch("", "10.0.0.4"));
  std::vector<std::uint32_t> polled;
  for (int i = 0;; ++i) {
    const auto ip = m.table.NotePollSentAndGetIp(i);
    if (!ip) break;
    polled.push_back(*ip);
  }
  EXPECT_EQ(polled, (std::vector<std::uint32_t>{0x0A000001, 0x0A000002}));
  // The end marker is not counted.
  EXPECT_EQ(m.table.Entry(2).missed_polls, 0u);
  EXPECT_EQ(m.table.NotePollSentAndGetIp(kDeviceTableCapacity), std::nullopt);
}

TEST(RefreshIntervalTest, StartsAt15AndTakesOnlyTheMenuChoices) {
  RefreshInterval interval;
  EXPECT_EQ(interval.Seconds(), 15);
  for (int s : {30, 60, 120, 300, 15}) {
    EXPECT_TRUE(interval.SetSeconds(s));
    EXPECT_EQ(interval.Seconds(), s);
  }
  for (int s : {0, -15, 45, 600}) EXPECT_FALSE(interval.SetSeconds(s)) << s;
  EXPECT_EQ(interval.Seconds(), 15);
}

}  // namespace
}  // namespace sd
