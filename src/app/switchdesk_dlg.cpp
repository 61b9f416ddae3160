#include "app/switchdesk_dlg.h"

namespace sd {

CSwitchdeskDlg::CSwitchdeskDlg(IListControl& discovery_list, IListControl& monitor_list,
                               IMessages& messages, IFileDialogs& file_dialogs,
                               IRemoteIpDialog& remote_ip_dialog)
    : lists_(discovery_list, monitor_list),
      rows_(lists_),
      sorter_(discovery_list, monitor_list),
      commands_(lists_, rows_, messages, remote_ip_dialog),
      monitor_file_(lists_, rows_, messages, file_dialogs) {}

void CSwitchdeskDlg::CreateListColumns() { rows_.CreateColumns(GroupIntervalSettingOn()); }

void CSwitchdeskDlg::ClearDeviceTables() {
  lists_.discovery.Clear();
  lists_.monitor.Clear();
}

void CSwitchdeskDlg::LoadMonitorFileAtStartup() { monitor_file_.LoadMonitorFileAtStartup(); }

bool CSwitchdeskDlg::StoreDiscoveryEntry(int index, const DeviceRecord& record) {
  if (!lists_.discovery.Store(index, record)) return false;
  rows_.RefreshDiscoveryRow(index);
  return true;
}

bool CSwitchdeskDlg::StoreMonitorEntry(int index, const DeviceRecord& record) {
  if (!lists_.monitor.Store(index, record)) return false;
  rows_.RefreshMonitorRow(index);
  return true;
}

bool CSwitchdeskDlg::UpdateDiscoveryEntry(int index,
                                          const std::function<void(DeviceRecord&)>& change) {
  if (!lists_.discovery.Update(index, change)) return false;
  rows_.RefreshDiscoveryRow(index);
  return true;
}

bool CSwitchdeskDlg::UpdateMonitorEntry(int index,
                                        const std::function<void(DeviceRecord&)>& change) {
  if (!lists_.monitor.Update(index, change)) return false;
  rows_.RefreshMonitorRow(index);
  return true;
}

void CSwitchdeskDlg::ClearDiscoveryList() {
  lists_.discovery_list.DeleteAllRows();
  lists_.discovery.Clear();
}

void CSwitchdeskDlg::OnAddToMonitorList() {
  const std::vector<int> selected = lists_.discovery_list.SelectedRows();
  if (selected.empty()) return;
  commands_.TransferToMonitorList(selected);
}

void CSwitchdeskDlg::OnDiscoveryDoubleClick() {
  const std::vector<int> selected = lists_.discovery_list.SelectedRows();
  if (selected.size() != 1) return;
  commands_.TransferToMonitorList(selected);
}

}  // namespace sd
