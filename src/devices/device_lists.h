// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main dialog's two device lists, each a table with the list control that shows it: the
// Discovery List (switches that answered the last discovery, keyed by MAC address) and the
// Monitor List (switches the user watches, keyed by IP address), with their rows and the
// Monitor List's refresh interval.
//
// Everything that files into the lists stands on this class: the reply dispatcher, the trap
// intake, the liveness timer, the poll thread and the device operations. Filing stores or
// updates an entry under its table's lock and then shows it with the row refresh.
//
// Threads: the user-interface thread does everything here; the poll thread may call only
// NotePollSentAndGetIp and RefreshIntervalSeconds.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "devices/device_rows.h"
#include "devices/device_table.h"
#include "devices/list_control.h"
#include "devices/liveness.h"
#include "protocol/device_record.h"

namespace sd {

class DeviceLists {
 public:
  // The list controls must outlive the lists. Couples the two lists' selections.
  DeviceLists(IListControl& discovery_control, IListControl& monitor_control);
  DeviceLists(const DeviceLists&) = delete;
  DeviceLists& operator=(const DeviceLists&) = delete;

  DeviceTable& DiscoveryTable() { return discovery_; }
  DeviceTable& MonitorTable() { return monitor_; }
  const DeviceTable& DiscoveryTable() const { return discovery_; }
  const DeviceTable& MonitorTable() const { return monitor_; }
  IListControl& DiscoveryListControl() { return discovery_list_; }
  IListControl& MonitorListControl() { return monitor_list_; }
  const IListControl& DiscoveryListControl() const { return discovery_list_; }
  const IListControl& MonitorListControl() const { return monitor_list_; }
  const IListControl& ListControl(TableKind kind) const {
    return kind == TableKind::Monitor ? monitor_list_ : discovery_list_;
  }
  const DeviceTable& Table(TableKind kind) const {
    return kind == TableKind::Monitor ? monitor_ : discovery_;
  }
  DeviceRows& Rows() { return rows_; }

  // Rows.
  void RefreshDiscoveryRow(int index) { rows_.RefreshDiscoveryRow(index); }
  void RefreshMonitorRow(int index) { rows_.RefreshMonitorRow(index); }
  int FindDiscoveryRowByMac(std::string_view mac_text) const {
    return rows_.FindDiscoveryRowByMac(mac_text);
  }

  // Filing: writes entry `index` under the table's lock, then shows it with the row refresh.
  // `index` is the entry a search found or Count() to append; false, with nothing written, for
  // an index outside 0..255. The Update forms run `change` on the entry under the lock (it must
  // not call back into the table).
  bool StoreDiscoveryEntry(int index, const DeviceRecord& record);
  bool StoreMonitorEntry(int index, const DeviceRecord& record);
  bool UpdateDiscoveryEntry(int index, const std::function<void(DeviceRecord&)>& change);
  bool UpdateMonitorEntry(int index, const std::function<void(DeviceRecord&)>& change);
  // Zeroes both tables (their rows are left to the caller).
  void ClearTables();
  // Deletes every Discovery List row and zeroes its table (before a discovery).
  void ClearDiscoveryList();

  // The entry the first selected row of `kind`'s list shows, found by the row's key text (MAC
  // address in the Discovery List, IP address in the Monitor List), never by the row's
  // position; with no row selected, or a row whose key no entry holds, the search's miss
  // (Count(), not found).
  FindResult FindSelectedEntry(TableKind kind) const;

  // Liveness counting before a request is sent (user-interface thread).
  void NotePollSent(int index) { monitor_.NotePollSent(index); }
  void NotePollSentToAll() { monitor_.NotePollSentToAll(); }
  // Poll thread: counts the poll of Monitor List entry `index` and gives its address, or
  // nothing at the end of the list. Never touches a list control.
  std::optional<std::uint32_t> NotePollSentAndGetIp(int index) {
    return monitor_.NotePollSentAndGetIp(index);
  }
  // Seconds between poll passes: read by the poll thread, set by the refresh-time menu (15, 30,
  // 60, 120 or 300; anything else is refused with false).
  int RefreshIntervalSeconds() const { return refresh_interval_.Seconds(); }
  bool SetRefreshInterval(int seconds) { return refresh_interval_.SetSeconds(seconds); }

  // Whether the user changed the Monitor List (a transfer, a deletion, "Add item", a load that
  // added devices) since it was loaded at start-up or last written to a file. What the switches
  // report into its entries is no such change. User-interface thread only.
  bool MonitorListChanged() const { return monitor_changed_; }
  void NoteMonitorListChanged() { monitor_changed_ = true; }
  void NoteMonitorListSaved() { monitor_changed_ = false; }

 private:
  IListControl& discovery_list_;
  IListControl& monitor_list_;
  DeviceTable discovery_;
  DeviceTable monitor_;
  // After the members it refers to: it couples the two list controls while it lives.
  DeviceRows rows_;
  RefreshInterval refresh_interval_;
  bool monitor_changed_ = false;
};

// Notes the first selected row of each list and selects it again on Restore(): filing may
// rebuild a row, and a rebuilt row loses its selection.
class SelectionNote {
 public:
  explicit SelectionNote(DeviceLists& lists);
  void Restore();

 private:
  DeviceLists& lists_;
  const int monitor_;
  const int discovery_;
};

}  // namespace sd
