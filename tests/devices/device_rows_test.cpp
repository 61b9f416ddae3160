// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "support/devices.h"

namespace sd {
namespace {

using test::Switch;

std::vector<std::string> Headers(const MemoryListControl& list) {
  std::vector<std::string> out;
  for (const auto& c : list.Columns()) out.push_back(c.header);
  return out;
}

std::vector<std::string> RowTexts(const IListControl& list, int row) {
  std::vector<std::string> out;
  for (int c = 0; c < list.ColumnCount(); ++c) out.push_back(list.Text(row, c));
  return out;
}

DeviceRecord FullSwitch() {
  DeviceRecord r = Switch("001a2b3c4d5e", "192.168.0.10", "GS-108");
  SetText(r.system_name, "core");
  SetText(r.location, "rack 2");
  SetTrapIp(r, 0xC0A80002);
  SetSubnetMask(r, 0xFFFFFF00);
  SetGateway(r, 0xC0A80001);
  r.dhcp = DHCP_ON;
  r.group_interval = 300;
  return r;
}

class DeviceRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    Settings.multicast_interface_on_off = 1;
    rows.CreateColumns(true);
  }
  void TearDown() override { ResetSettings(); }

  int AddMonitor(DeviceRecord r) {
    const int i = lists.MonitorTable().Count();
    r.row_state = kRowStateNew;
    lists.MonitorTable().Store(i, r);
    rows.RefreshMonitorRow(i);
    return i;
  }
  int AddDiscovery(DeviceRecord r) {
    const int i = lists.DiscoveryTable().Count();
    r.row_state = kRowStateNew;
    lists.DiscoveryTable().Store(i, r);
    rows.RefreshDiscoveryRow(i);
    return i;
  }
  std::vector<std::uint64_t> ItemData(const IListControl& list) {
    std::vector<std::uint64_t> out;
    for (int row = 0; row < list.RowCount(); ++row) out.push_back(list.ItemData(row));
    return out;
  }

  MemoryListControl discovery_list;
  MemoryListControl monitor_list;
  DeviceLists lists{discovery_list, monitor_list};
  DeviceRows& rows = lists.Rows();
};

TEST(DeviceColumnsTest, BothListsHaveTheirColumnsAndTheGroupIntervalOnlyOnRequest) {
  EXPECT_EQ(DiscoveryColumns(false).size(), 10u);
  EXPECT_EQ(MonitorColumns(false).size(), 11u);
  const auto d = DiscoveryColumns(true);
  const auto m = MonitorColumns(true);
  EXPECT_EQ(d.front(), (ListColumn{"MAC Address", ColumnAlignment::Center, 100}));
  EXPECT_EQ(d.back().header, "Group Interval");
  EXPECT_EQ(m[0], (ListColumn{"S", ColumnAlignment::Center, 20}));
  EXPECT_EQ(m[1], (ListColumn{"IP Address", ColumnAlignment::Left, 80}));
  EXPECT_EQ(m.back().header, "Group Interval");
}

TEST_F(DeviceRowsTest, EachListShowsTheFieldsInItsOwnColumnOrder) {
  EXPECT_EQ(Headers(discovery_list),
            (std::vector<std::string>{"MAC Address", "IP Address", "Protocol Version",
                                      "Product Name", "System Name", "DHCP", "Location", "Trap IP",
                                      "Subnet Mask", "Gateway", "Group Interval"}));
  EXPECT_EQ(Headers(monitor_list),
            (std::vector<std::string>{"S", "IP Address", "MAC Address", "Protocol Version",
                                      "Product Name", "System Name", "DHCP", "Location", "Trap IP",
                                      "Subnet Mask", "Gateway", "Group Interval"}));
  AddDiscovery(FullSwitch());
  AddMonitor(FullSwitch());
  EXPECT_EQ(RowTexts(discovery_list, 0),
            (std::vector<std::string>{"001a2b3c4d5e", "192.168.0.10", "2.001.003", "GS-108", "core",
                                      "enable", "rack 2", "192.168.0.2", "255.255.255.0",
                                      "192.168.0.1", "300"}));
  EXPECT_EQ(RowTexts(monitor_list, 0),
            (std::vector<std::string>{"", "192.168.0.10", "001a2b3c4d5e", "2.001.003", "GS-108",
                                      "core", "enable", "rack 2", "192.168.0.2", "255.255.255.0",
                                      "192.168.0.1", "300"}));
  EXPECT_EQ(discovery_list.Image(0), kNoImage);
}

TEST(RowTextTest, VersionDhcpAndGroupIntervalTexts) {
  DeviceRecord r = ZeroRecord();
  EXPECT_EQ(VersionText(r), "0.000.000");
  r.version_major = 2;
  r.version_minor = 16;  // the middle word is hexadecimal
  r.interface_version = 3;
  EXPECT_EQ(VersionText(r), "2.010.003");

  const std::pair<std::uint16_t, const char*> dhcp[] = {
      {0, "disable"}, {1, "enable"}, {2, ""}, {7, "enable"}};
  for (auto [value, text] : dhcp) EXPECT_EQ(DhcpText(value), text) << value;

  const std::pair<std::int32_t, const char*> interval[] = {
      {-1, ""}, {0, "disable"}, {300, "300"}, {1225, "1225"}};
  for (auto [value, text] : interval) EXPECT_EQ(GroupIntervalText(value), text) << value;
}

TEST_F(DeviceRowsTest, AReportedGroupIntervalIsKeptInTheRecordWithoutSpillingIntoTheAddress) {
  DeviceRecord r = FullSwitch();
  r.group_interval = 1234567;
  const int i = AddMonitor(r);
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnGroupInterval), "1234567");
  const DeviceRecord stored = lists.MonitorTable().Entry(i);
  EXPECT_EQ(GetText(stored.group_interval_text), "12345");
  EXPECT_EQ(GetText(stored.ip_text), "192.168.0.10");

  lists.MonitorTable().Update(i, [](DeviceRecord& e) {
    e.group_interval = 0;
    e.row_state = kRowShown;
  });
  rows.RefreshMonitorRow(i);
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnGroupInterval), "disable");
  lists.MonitorTable().Update(i, [](DeviceRecord& e) { e.group_interval = -1; });
  rows.RefreshMonitorRow(i);
  EXPECT_EQ(monitor_list.Text(0, kMonitorColumnGroupInterval), "");
}

TEST(DeviceRowsSettingTest, WithTheSettingOffNoGroupIntervalIsShownOrWritten) {
  ResetSettings();
  MemoryListControl discovery_list, monitor_list;
  DeviceLists lists{discovery_list, monitor_list};
  DeviceRows& rows = lists.Rows();
  rows.CreateColumns(false);
  lists.DiscoveryTable().Store(0, FullSwitch());
  rows.RefreshDiscoveryRow(0);
  EXPECT_EQ(discovery_list.ColumnCount(), 10);
  EXPECT_EQ(GetText(lists.DiscoveryTable().Entry(0).group_interval_text), "");

  // Turned on later: the record gets its text, but no column appears.
  Settings.multicast_interface_on_off = 1;
  lists.DiscoveryTable().Update(0, [](DeviceRecord& e) { e.row_state = kRowShown; });
  rows.RefreshDiscoveryRow(0);
  EXPECT_EQ(GetText(lists.DiscoveryTable().Entry(0).group_interval_text), "300");
  EXPECT_EQ(discovery_list.ColumnCount(), 10);
  ResetSettings();
}

TEST_F(DeviceRowsTest, AMonitorRowIsRebuiltInPlaceFoundByMacAfterTheDeviceChangedItsAddress) {
  AddMonitor(Switch("000000000001", "10.0.0.1"));
  const int i = AddMonitor(Switch("000000000002", "10.0.0.2"));
  AddMonitor(Switch("000000000003", "10.0.0.3"));
  monitor_list.SetItemData(0, 7);  // whatever it was, the refresh renumbers
  monitor_list.SetSelected(1, true);

  lists.MonitorTable().Update(i, [](DeviceRecord& e) {
    SetIp(e, 0x0A000063);
    e.row_state = kRowShownNotAlive;
    e.status_image = kStatusImageNotAlive;
  });
  rows.RefreshMonitorRow(i);

  EXPECT_EQ(monitor_list.ColumnTexts(kMonitorColumnIp),
            (std::vector<std::string>{"10.0.0.1", "10.0.0.99", "10.0.0.3"}));
  EXPECT_EQ(monitor_list.Image(1), kStatusImageNotAlive);
  EXPECT_FALSE(monitor_list.IsSelected(1));  // the caller selects it again if it needs to
  EXPECT_EQ(ItemData(monitor_list), (std::vector<std::uint64_t>{0, 1, 2}));
}

TEST_F(DeviceRowsTest, ADiscoveryRowIsRewrittenWhereverItStands) {
  AddDiscovery(Switch("000000000001", "10.0.0.1"));
  AddDiscovery(Switch("000000000002", "10.0.0.2"));
  AddDiscovery(Switch("000000000003", "10.0.0.3"));
  discovery_list.SortRows([](std::uint64_t a, std::uint64_t b) { return a > b ? -1 : 1; });
  ASSERT_EQ(discovery_list.Text(2, 0), "000000000001");

  lists.DiscoveryTable().Update(0, [](DeviceRecord& e) {
    e.row_state = kRowShown;
    SetText(e.system_name, "renamed");
  });
  rows.RefreshDiscoveryRow(0);
  EXPECT_EQ(discovery_list.RowCount(), 3);
  EXPECT_EQ(discovery_list.Text(2, 0), "000000000001");
  EXPECT_EQ(discovery_list.Text(2, 4), "renamed");
  // A new entry's row goes to the end, and item data stays unique.
  AddDiscovery(Switch("000000000004", "10.0.0.4"));
  EXPECT_EQ(discovery_list.Text(3, 0), "000000000004");
  EXPECT_EQ(ItemData(discovery_list), (std::vector<std::uint64_t>{0, 1, 2, 3}));
}

TEST_F(DeviceRowsTest, FindDiscoveryRowByMacComparesTwelveCharacters) {
  AddDiscovery(Switch("000000000001", "10.0.0.1"));
  AddDiscovery(Switch("000000000002", "10.0.0.2"));
  EXPECT_EQ(rows.FindDiscoveryRowByMac("000000000002"), 1);
  EXPECT_EQ(rows.FindDiscoveryRowByMac("000000000002ff"), 1);
  EXPECT_EQ(rows.FindDiscoveryRowByMac("000000000009"), 3);  // past the last row
  EXPECT_EQ(rows.FindDiscoveryRowByMac(""), 2);              // the empty row after the last
  discovery_list.DeleteRow(rows.FindDiscoveryRowByMac("000000000009"));
  EXPECT_EQ(discovery_list.RowCount(), 2);
}

TEST_F(DeviceRowsTest, ASelectionLivesInOneListAtATime) {
  for (int i = 1; i <= 3; ++i) {
    AddDiscovery(Switch("00000000000" + std::to_string(i), "10.0.0." + std::to_string(i)));
    AddMonitor(Switch("", "10.0.1." + std::to_string(i)));
  }
  discovery_list.SetSelected(0, true);
  discovery_list.SetSelected(2, true);
  EXPECT_EQ(discovery_list.SelectedRows(), (std::vector<int>{0, 2}));

  monitor_list.SetSelected(1, true);
  EXPECT_TRUE(discovery_list.SelectedRows().empty());
  monitor_list.SetSelected(2, true);
  EXPECT_EQ(monitor_list.SelectedRows(), (std::vector<int>{1, 2}));

  discovery_list.SetSelected(1, true);
  EXPECT_TRUE(monitor_list.SelectedRows().empty());
  EXPECT_EQ(discovery_list.SelectedRows(), std::vector<int>{1});
}

}  // namespace
}  // namespace sd
