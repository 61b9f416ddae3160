// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main dialog's logic without a toolkit. It composes the two device lists and reaches the
// window only through interfaces: the two list controls, message boxes, file dialogs and the
// Remote IP dialog. The window (or a terminal front end) forwards its events to the On...
// handlers, and hands Lists() to the network engine and the device operations, which file into
// the lists and read them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_dialogs.h"
#include "common/messages.h"
#include "common/remote_ip_dialog.h"
#include "devices/column_sort.h"
#include "devices/device_list_commands.h"
#include "devices/device_lists.h"
#include "devices/monitor_file_commands.h"

namespace sd {

class CSwitchdeskDlg {
 public:
  // The list controls and interfaces must outlive the dialog.
  CSwitchdeskDlg(IListControl& discovery_list, IListControl& monitor_list, IMessages& messages,
                 IFileDialogs& file_dialogs, IRemoteIpDialog& remote_ip_dialog);
  CSwitchdeskDlg(const CSwitchdeskDlg&) = delete;
  CSwitchdeskDlg& operator=(const CSwitchdeskDlg&) = delete;

  // Start-up, in this order: the columns of both lists (with the "Group Interval" columns when
  // the settings' multicast_interface_on_off is 1), both tables cleared, monitor.cfg loaded.
  void CreateListColumns();
  void ClearDeviceTables();
  void LoadMonitorFileAtStartup();

  // The two lists, for everything that files into them or reads them: the network engine, the
  // device operations, the window's commands.
  DeviceLists& Lists() { return lists_; }
  DeviceTable& DiscoveryTable() { return lists_.DiscoveryTable(); }
  DeviceTable& MonitorTable() { return lists_.MonitorTable(); }
  IListControl& DiscoveryListControl() { return lists_.DiscoveryListControl(); }
  IListControl& MonitorListControl() { return lists_.MonitorListControl(); }

  // Rows.
  void RefreshDiscoveryRow(int index) { lists_.RefreshDiscoveryRow(index); }
  void RefreshMonitorRow(int index) { lists_.RefreshMonitorRow(index); }
  int FindDiscoveryRowByMac(std::string_view mac_text) const {
    return lists_.FindDiscoveryRowByMac(mac_text);
  }

  // Filing (see DeviceLists).
  bool StoreDiscoveryEntry(int index, const DeviceRecord& record) {
    return lists_.StoreDiscoveryEntry(index, record);
  }
  bool StoreMonitorEntry(int index, const DeviceRecord& record) {
    return lists_.StoreMonitorEntry(index, record);
  }
  bool UpdateDiscoveryEntry(int index, const std::function<void(DeviceRecord&)>& change) {
    return lists_.UpdateDiscoveryEntry(index, change);
  }
  bool UpdateMonitorEntry(int index, const std::function<void(DeviceRecord&)>& change) {
    return lists_.UpdateMonitorEntry(index, change);
  }
  void ClearDiscoveryList() { lists_.ClearDiscoveryList(); }

  // Liveness counting and the refresh interval (see DeviceLists).
  void NotePollSent(int index) { lists_.NotePollSent(index); }
  void NotePollSentToAll() { lists_.NotePollSentToAll(); }
  std::optional<std::uint32_t> NotePollSentAndGetIp(int index) {
    return lists_.NotePollSentAndGetIp(index);
  }
  int RefreshIntervalSeconds() const { return lists_.RefreshIntervalSeconds(); }
  bool SetRefreshInterval(int seconds) { return lists_.SetRefreshInterval(seconds); }

  // Moving devices between the lists.
  void TransferToMonitorList(const std::vector<int>& discovery_rows) {
    commands_.TransferToMonitorList(discovery_rows);
  }
  void RemoveMonitorRows(const std::vector<int>& monitor_rows) {
    commands_.RemoveMonitorRows(monitor_rows);
  }
  void AddByAddress() { commands_.AddByAddress(); }
  // "Add to Monitor List": the selected Discovery List rows; nothing when none is selected.
  void OnAddToMonitorList();
  // Double click in the Discovery List: the transfer of the one selected row, if exactly one.
  void OnDiscoveryDoubleClick();
  // "Add item".
  void OnAddItem() { AddByAddress(); }

  // Column headers.
  void OnColumnClickDiscovery(int column) { sorter_.OnColumnClickDiscovery(column); }
  void OnColumnClickMonitor(int column) { sorter_.OnColumnClickMonitor(column); }

  // The monitor list file.
  bool WriteMonitorFile(const std::string& path) { return monitor_file_.WriteMonitorFile(path); }
  bool OnMonitorSave() { return monitor_file_.OnMonitorSave(); }
  bool OnMonitorSaveAs() { return monitor_file_.OnMonitorSaveAs(); }
  // Whether the Monitor List changed since it was loaded or last saved.
  bool MonitorListChanged() const { return lists_.MonitorListChanged(); }
  void OnMonitorLoad() { monitor_file_.OnMonitorLoad(); }
  // monitor.cfg read again into the running list, keeping the entries of addresses that stay.
  MonitorReload ReloadMonitorFile() { return monitor_file_.ReloadMonitorFile(); }

 private:
  DeviceLists lists_;
  ColumnSorter sorter_;
  DeviceListCommands commands_;
  MonitorFileCommands monitor_file_;
};

}  // namespace sd
