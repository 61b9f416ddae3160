// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the two device tables appear in their list controls: the columns, one row per entry and
// its texts, the Monitor List's status images, and the coupling that keeps a selection in one
// list at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devices/device_table.h"
#include "devices/list_control.h"
#include "protocol/device_record.h"

namespace sd {

class DeviceLists;

// Column indexes of the Discovery List.
inline constexpr int kDiscoveryColumnMac = 0;
inline constexpr int kDiscoveryColumnIp = 1;
inline constexpr int kDiscoveryColumnGroupInterval = 10;

// Column indexes of the Monitor List.
inline constexpr int kMonitorColumnStatus = 0;
inline constexpr int kMonitorColumnIp = 1;
inline constexpr int kMonitorColumnMac = 2;
inline constexpr int kMonitorColumnGroupInterval = 11;

// The column sets; the "Group Interval" column is last and present only when asked for.
std::vector<ListColumn> DiscoveryColumns(bool with_group_interval);
std::vector<ListColumn> MonitorColumns(bool with_group_interval);

// "2.001.003": major and interface version in decimal, the minor in hexadecimal.
std::string VersionText(const DeviceRecord& entry);
// 0 "disable", 2 (not reported) empty, anything else "enable".
std::string DhcpText(std::uint16_t dhcp);
// -1 (not reported) empty, 0 "disable", anything else its decimal form.
std::string GroupIntervalText(std::int32_t group_interval);

// Whether rows show the group interval: read from the settings each time a row is drawn, so a
// change by the Group Interval dialog takes effect with the next refresh.
bool GroupIntervalSettingOn();

class DeviceRows {
 public:
  // Couples the selections of the two lists for the lifetime of this object. `lists` owns the
  // rows: only its list controls are used here, so it may still be under construction.
  explicit DeviceRows(DeviceLists& lists);
  ~DeviceRows();
  DeviceRows(const DeviceRows&) = delete;
  DeviceRows& operator=(const DeviceRows&) = delete;

  // Creates the columns of both lists (the "Group Interval" columns only when
  // `with_group_interval`).
  void CreateColumns(bool with_group_interval);

  // Shows Discovery List entry `index`: a new row for an entry whose row_state is 0 (inserted at
  // row `index`), otherwise rewrites the texts of the row that shows its MAC address. Every row's
  // item data is then renumbered to its row index, so item data stays unique for sorting.
  void RefreshDiscoveryRow(int index);
  // Shows Monitor List entry `index`: an entry whose row_state is 0 gets a new row at row
  // `index`; any other has its row (found by IP address, else by MAC address) rebuilt in place,
  // which drops that row's selection. Every row's item data is then its row index.
  void RefreshMonitorRow(int index);
  // The Discovery List row whose column 0 begins with the first 12 characters of `text`; when
  // none does, a row index past the last row.
  int FindDiscoveryRowByMac(std::string_view text) const;

  // Selection coupling: a row of one list about to change deselects the other list.
  void OnDiscoveryItemChanging();
  void OnMonitorItemChanging();

 private:
  // The group interval text of `entry` when the setting is on; a decimal value is also kept in
  // the table entry's group_interval_text, as far as the field holds it.
  std::optional<std::string> GroupIntervalCell(DeviceTable& table, int index,
                                               const DeviceRecord& entry);

  DeviceLists& lists_;
};

}  // namespace sd
