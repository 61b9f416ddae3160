// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/column_sort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/device_lists.h"
#include "settings/settings_file.h"
#include "support/devices.h"

namespace sd {
namespace {

using test::Switch;

class ColumnSortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    Settings.multicast_interface_on_off = 1;
    rows.CreateColumns(true);
  }
  void TearDown() override { ResetSettings(); }

  void AddMonitor(DeviceRecord r) {
    const int i = lists.MonitorTable().Count();
    r.row_state = kRowStateNew;
    lists.MonitorTable().Store(i, r);
    rows.RefreshMonitorRow(i);
  }
  void AddDiscovery(DeviceRecord r) {
    const int i = lists.DiscoveryTable().Count();
    r.row_state = kRowStateNew;
    lists.DiscoveryTable().Store(i, r);
    rows.RefreshDiscoveryRow(i);
  }

  MemoryListControl discovery_list;
  MemoryListControl monitor_list;
  DeviceLists lists{discovery_list, monitor_list};
  DeviceRows& rows = lists.Rows();
  ColumnSorter sorter{discovery_list, monitor_list};
};

TEST_F(ColumnSortTest, AddressesSortAsTextAndEachClickReversesTheDirection) {
  for (const char* ip : {"10.0.0.20", "10.0.0.100", "10.0.0.3", "9.0.0.1"})
    AddMonitor(Switch("", ip));
  sorter.OnColumnClickMonitor(kMonitorColumnIp);
  EXPECT_FALSE(sorter.Ascending());
  EXPECT_EQ(monitor_list.ColumnTexts(kMonitorColumnIp),
            (std::vector<std::string>{"9.0.0.1", "10.0.0.3", "10.0.0.20", "10.0.0.100"}));
  sorter.OnColumnClickMonitor(kMonitorColumnIp);
  EXPECT_EQ(monitor_list.ColumnTexts(kMonitorColumnIp),
            (std::vector<std::string>{"10.0.0.100", "10.0.0.20", "10.0.0.3", "9.0.0.1"}));
}

TEST_F(ColumnSortTest, TheDirectionIsSharedByBothListsAndFlippedByColumnsThatDoNotSort) {
  for (const char* mac : {"000000000002", "000000000001", "000000000003"})
    AddDiscovery(Switch(mac, "10.0.0.1"));
  AddMonitor(Switch("", "10.0.1.2", "b"));
  AddMonitor(Switch("", "10.0.1.1", "a"));
  AddMonitor(Switch("", "10.0.1.3", "c"));

  sorter.OnColumnClickDiscovery(kDiscoveryColumnMac);  // descending
  EXPECT_EQ(discovery_list.ColumnTexts(0),
            (std::vector<std::string>{"000000000003", "000000000002", "000000000001"}));
  sorter.OnColumnClickMonitor(4);  // "Product Name", ascending
  EXPECT_EQ(monitor_list.ColumnTexts(4), (std::vector<std::string>{"a", "b", "c"}));

  // "Group Interval" sorts nothing but makes the next sort go the other way.
  sorter.OnColumnClickMonitor(kMonitorColumnGroupInterval);
  EXPECT_EQ(monitor_list.ColumnTexts(4), (std::vector<std::string>{"a", "b", "c"}));
  sorter.OnColumnClickDiscovery(kDiscoveryColumnGroupInterval);
  sorter.OnColumnClickMonitor(4);
  EXPECT_EQ(monitor_list.ColumnTexts(4), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(ColumnSortTest, TheStatusColumnSortsByImage) {
  const std::int32_t images[] = {kStatusImageNotAlive, kStatusImageNone, kStatusImageWarning,
                                 kStatusImageNone};
  for (int i = 0; i < 4; ++i) {
    DeviceRecord r = Switch("", "10.0.0." + std::to_string(i + 1));
    r.status_image = images[i];
    AddMonitor(r);
  }
  sorter.OnColumnClickMonitor(kMonitorColumnStatus);  // descending
  sorter.OnColumnClickMonitor(kMonitorColumnStatus);  // ascending
  std::vector<int> shown;
  for (int row = 0; row < 4; ++row) shown.push_back(monitor_list.Image(row));
  EXPECT_EQ(shown, (std::vector<int>{-1, -1, 0, 1}));
  // Rows with equal images keep their order.
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnIp), "10.0.0.2");
}

TEST_F(ColumnSortTest, TheOrderIsNotKeptUpAfterTheSort) {
  for (const char* ip : {"10.0.0.1", "10.0.0.3"}) AddMonitor(Switch("", ip));
  sorter.OnColumnClickMonitor(kMonitorColumnIp);  // descending: .3, .1
  AddMonitor(Switch("", "10.0.0.2"));
  EXPECT_EQ(monitor_list.ColumnTexts(kMonitorColumnIp),
            (std::vector<std::string>{"10.0.0.3", "10.0.0.1", "10.0.0.2"}));
}

TEST_F(ColumnSortTest, DiscoveryRowsStayDistinctForTheSortAfterRowsLeaveAndOthersArrive) {
  for (const char* mac : {"00000000000a", "00000000000b", "00000000000c"})
    AddDiscovery(Switch(mac, "10.0.0.1"));
  // The middle device leaves (as a transfer does it) and a new one is discovered.
  discovery_list.DeleteRow(rows.FindDiscoveryRowByMac("00000000000b"));
  lists.DiscoveryTable().Zero(1);
  lists.DiscoveryTable().Compact(3);
  AddDiscovery(Switch("000000000001", "10.0.0.1"));

  sorter.OnColumnClickDiscovery(kDiscoveryColumnMac);
  sorter.OnColumnClickDiscovery(kDiscoveryColumnMac);  // ascending
  EXPECT_EQ(discovery_list.ColumnTexts(0),
            (std::vector<std::string>{"000000000001", "00000000000a", "00000000000c"}));
}

TEST(CompareTest, TextsCompareAsBytesAndImagesAsNumbers) {
  MemoryListControl list;
  list.AddColumn({"x"});
  const char* texts[] = {"disable", "enable", "Zeta", "\xC3\xA9"};
  for (int i = 0; i < 4; ++i) {
    list.InsertRow(i, i - 1, static_cast<std::uint64_t>(10 + i));
    list.SetText(i, 0, texts[i]);
  }
  const SortKey up{0, true};
  const SortKey down{0, false};
  EXPECT_LT(CompareByText(10, 11, list, up), 0);  // "disable" before "enable"
  EXPECT_GT(CompareByText(10, 11, list, down), 0);
  EXPECT_LT(CompareByText(12, 10, list, up), 0);  // upper case first: byte order
  EXPECT_GT(CompareByText(13, 11, list, up), 0);  // bytes above 127 go last
  EXPECT_EQ(CompareByText(11, 11, list, up), 0);
  EXPECT_LT(CompareByStatusImage(10, 12, list, up), 0);  // -1 before 1
  EXPECT_GT(CompareByStatusImage(10, 12, list, down), 0);
  EXPECT_EQ(CompareByStatusImage(11, 11, list, down), 0);
}

}  // namespace
}  // namespace sd
