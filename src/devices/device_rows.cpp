// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_rows.h"

#include <algorithm>

#include "devices/device_lists.h"
#include "settings/settings_file.h"

namespace sd {

namespace {

constexpr int kDefaultColumnWidth = 100;

// The first of the list's rows (at most the table's capacity) whose `column` shows `text`, or -1.
int FindRowByText(const IListControl& list, int column, std::string_view text) {
  const int rows = std::min(list.RowCount(), kDeviceTableCapacity);
  for (int row = 0; row < rows; ++row) {
    if (list.Text(row, column) == text) return row;
  }
  return -1;
}

}  // namespace

std::vector<ListColumn> DiscoveryColumns(bool with_group_interval) {
  std::vector<ListColumn> columns = {
      {"MAC Address", ColumnAlignment::Center, kDefaultColumnWidth},
      {"IP Address", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Protocol Version", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Product Name", ColumnAlignment::Left, kDefaultColumnWidth},
      {"System Name", ColumnAlignment::Left, kDefaultColumnWidth},
      {"DHCP", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Location", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Trap IP", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Subnet Mask", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Gateway", ColumnAlignment::Left, kDefaultColumnWidth},
  };
  if (with_group_interval) {
    columns.push_back({"Group Interval", ColumnAlignment::Left, kDefaultColumnWidth});
  }
  return columns;
}

std::vector<ListColumn> MonitorColumns(bool with_group_interval) {
  std::vector<ListColumn> columns = {
      {"S", ColumnAlignment::Center, 20},
      {"IP Address", ColumnAlignment::Left, 80},
      {"MAC Address", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Protocol Version", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Product Name", ColumnAlignment::Left, kDefaultColumnWidth},
      {"System Name", ColumnAlignment::Left, kDefaultColumnWidth},
      {"DHCP", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Location", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Trap IP", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Subnet Mask", ColumnAlignment::Left, kDefaultColumnWidth},
      {"Gateway", ColumnAlignment::Left, kDefaultColumnWidth},
  };
  if (with_group_interval) {
    columns.push_back({"Group Interval", ColumnAlignment::Left, kDefaultColumnWidth});
  }
  return columns;
}

std::string VersionText(const DeviceRecord& entry) {
  return FormatProtocolVersion(entry.version_major, entry.version_minor, entry.interface_version);
}

std::string DhcpText(std::uint16_t dhcp) {
  if (dhcp == DHCP_OFF) return "disable";
  if (dhcp == DHCP_NOT_REPORTED) return "";
  return "enable";
}

std::string GroupIntervalText(std::int32_t group_interval) {
  if (group_interval == GROUP_INTERVAL_NOT_REPORTED) return "";
  if (group_interval == 0) return "disable";
  return std::to_string(group_interval);
}

bool GroupIntervalSettingOn() { return Settings.multicast_interface_on_off == 1; }

DeviceRows::DeviceRows(DeviceLists& lists) : lists_(lists) {
  lists_.DiscoveryListControl().SetItemChangingHandler([this](int) { OnDiscoveryItemChanging(); });
  lists_.MonitorListControl().SetItemChangingHandler([this](int) { OnMonitorItemChanging(); });
}

DeviceRows::~DeviceRows() {
  lists_.DiscoveryListControl().SetItemChangingHandler(nullptr);
  lists_.MonitorListControl().SetItemChangingHandler(nullptr);
}

void DeviceRows::CreateColumns(bool with_group_interval) {
  for (const ListColumn& c : DiscoveryColumns(with_group_interval)) {
    lists_.DiscoveryListControl().AddColumn(c);
  }
  for (const ListColumn& c : MonitorColumns(with_group_interval)) {
    lists_.MonitorListControl().AddColumn(c);
  }
}

std::optional<std::string> DeviceRows::GroupIntervalCell(DeviceTable& table, int index,
                                                         const DeviceRecord& entry) {
  if (!GroupIntervalSettingOn()) return std::nullopt;
  const std::int32_t value = entry.group_interval;
  std::string text = GroupIntervalText(value);
  if (value != GROUP_INTERVAL_NOT_REPORTED && value != 0) {
    // The record's field holds five digits; a longer value is shown whole but stored cut.
    table.Update(index, [&](DeviceRecord& e) { SetText(e.group_interval_text, text); });
  }
  return text;
}

void DeviceRows::RefreshDiscoveryRow(int index) {
  if (index < 0 || index >= kDeviceTableCapacity) return;
  IListControl& list = lists_.DiscoveryListControl();
  const DeviceRecord e = lists_.DiscoveryTable().Entry(index);
  const std::string_view mac = GetText(e.mac_text);

  int row = -1;
  if (e.row_state != kRowStateNew) row = FindRowByText(list, kDiscoveryColumnMac, mac);
  if (row < 0) row = list.InsertRow(index, kNoImage, static_cast<std::uint64_t>(index));

  list.SetText(row, 0, mac);
  list.SetText(row, 1, GetText(e.ip_text));
  list.SetText(row, 2, VersionText(e));
  list.SetText(row, 3, GetText(e.product_name));
  list.SetText(row, 4, GetText(e.system_name));
  list.SetText(row, 6, GetText(e.location));
  list.SetText(row, 7, GetText(e.trap_ip_text));
  list.SetText(row, 8, GetText(e.subnet_mask_text));
  list.SetText(row, 9, GetText(e.gateway_text));
  list.SetText(row, 5, DhcpText(e.dhcp));
  if (auto cell = GroupIntervalCell(lists_.DiscoveryTable(), index, e)) {
    list.SetText(row, kDiscoveryColumnGroupInterval, *cell);
  }
  RenumberItemData(list);
}

void DeviceRows::RefreshMonitorRow(int index) {
  if (index < 0 || index >= kDeviceTableCapacity) return;
  IListControl& list = lists_.MonitorListControl();
  const DeviceRecord e = lists_.MonitorTable().Entry(index);
  const std::string_view ip = GetText(e.ip_text);
  const std::string_view mac = GetText(e.mac_text);

  int row = -1;
  if (e.row_state != kRowStateNew) {
    // The device may have changed its address since the row was drawn: then the row still
    // shows its MAC address.
    row = FindRowByText(list, kMonitorColumnIp, ip);
    if (row < 0 && !mac.empty()) row = FindRowByText(list, kMonitorColumnMac, mac);
  }
  if (row >= 0) {
    const std::uint64_t item_data = list.ItemData(row);
    list.DeleteRow(row);
    row = list.InsertRow(row, e.status_image, item_data);
  } else {
    row = list.InsertRow(index, e.status_image, static_cast<std::uint64_t>(index));
  }

  list.SetText(row, kMonitorColumnStatus, "");
  list.SetText(row, 1, ip);
  list.SetText(row, 2, mac);
  list.SetText(row, 3, VersionText(e));
  list.SetText(row, 4, GetText(e.product_name));
  list.SetText(row, 5, GetText(e.system_name));
  list.SetText(row, 7, GetText(e.location));
  list.SetText(row, 8, GetText(e.trap_ip_text));
  list.SetText(row, 9, GetText(e.subnet_mask_text));
  list.SetText(row, 10, GetText(e.gateway_text));
  list.SetText(row, 6, DhcpText(e.dhcp));
  if (auto cell = GroupIntervalCell(lists_.MonitorTable(), index, e)) {
    list.SetText(row, kMonitorColumnGroupInterval, *cell);
  }
  RenumberItemData(list);
}

int DeviceRows::FindDiscoveryRowByMac(std::string_view text) const {
  const IListControl& list = lists_.DiscoveryListControl();
  constexpr std::size_t kMacDigits = 12;
  const std::string_view key = text.substr(0, kMacDigits);
  const int rows = list.RowCount();
  // One row past the last is looked at too: it reads as empty text.
  for (int row = 0; row <= rows; ++row) {
    const std::string shown = list.Text(row, kDiscoveryColumnMac);
    if (std::string_view(shown).substr(0, kMacDigits) == key) return row;
  }
  return rows + 1;
}

void DeviceRows::OnDiscoveryItemChanging() {
  // Every selected Monitor List row, so that a selection never stays in both lists.
  for (int row : lists_.MonitorListControl().SelectedRows()) lists_.MonitorListControl().SetSelected(row, false);
}

void DeviceRows::OnMonitorItemChanging() {
  for (int row : lists_.DiscoveryListControl().SelectedRows()) {
    lists_.DiscoveryListControl().SetSelected(row, false);
  }
}

}  // namespace sd
