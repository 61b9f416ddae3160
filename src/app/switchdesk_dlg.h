#pragma once
// The main dialog's logic without a toolkit. It owns the two device tables and reaches the
// window only through interfaces: the two list controls, message boxes, file dialogs and the
// Remote IP dialog. The window (or a terminal front end) forwards its events to the On...
// handlers; the reply dispatcher, the trap intake and the liveness timer store entries through
// it; the poll thread uses only NotePollSentAndGetIp and RefreshIntervalSeconds.

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
#include "devices/device_rows.h"
#include "devices/liveness.h"
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

  DeviceTable& DiscoveryTable() { return lists_.discovery; }
  DeviceTable& MonitorTable() { return lists_.monitor; }
  IListControl& DiscoveryListControl() { return lists_.discovery_list; }
  IListControl& MonitorListControl() { return lists_.monitor_list; }

  // Rows.
  void RefreshDiscoveryRow(int index) { rows_.RefreshDiscoveryRow(index); }
  void RefreshMonitorRow(int index) { rows_.RefreshMonitorRow(index); }
  int FindDiscoveryRowByMac(std::string_view mac_text) const {
    return rows_.FindDiscoveryRowByMac(mac_text);
  }

  // Filing (reply dispatcher, trap intake, liveness timer): writes entry `index` under the
  // table's lock, then shows it with the row refresh. `index` is the entry a search found or
  // Count() to append; false, with nothing written, for an index outside 0..255. The Update
  // forms run `change` on the entry under the lock (it must not call back into the table).
  bool StoreDiscoveryEntry(int index, const DeviceRecord& record);
  bool StoreMonitorEntry(int index, const DeviceRecord& record);
  bool UpdateDiscoveryEntry(int index, const std::function<void(DeviceRecord&)>& change);
  bool UpdateMonitorEntry(int index, const std::function<void(DeviceRecord&)>& change);
  // Deletes every Discovery List row and zeroes its table (before a discovery).
  void ClearDiscoveryList();

  // Liveness counting before a request is sent (user-interface thread).
  void NotePollSent(int index) { lists_.monitor.NotePollSent(index); }
  void NotePollSentToAll() { lists_.monitor.NotePollSentToAll(); }
  // Poll thread: counts the poll of Monitor List entry `index` and gives its address, or
  // nothing at the end of the list. Never touches a list control.
  std::optional<std::uint32_t> NotePollSentAndGetIp(int index) {
    return lists_.monitor.NotePollSentAndGetIp(index);
  }
  // Seconds between poll passes: read by the poll thread, set by the refresh-time menu (15, 30,
  // 60, 120 or 300; anything else is refused with false).
  int RefreshIntervalSeconds() const { return refresh_interval_.Seconds(); }
  bool SetRefreshInterval(int seconds) { return refresh_interval_.SetSeconds(seconds); }

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
  void OnMonitorSave() { monitor_file_.OnMonitorSave(); }
  void OnMonitorSaveAs() { monitor_file_.OnMonitorSaveAs(); }
  void OnMonitorLoad() { monitor_file_.OnMonitorLoad(); }

 private:
  DeviceLists lists_;
  DeviceRows rows_;
  ColumnSorter sorter_;
  DeviceListCommands commands_;
  MonitorFileCommands monitor_file_;
  RefreshInterval refresh_interval_;
};

}  // namespace sd
