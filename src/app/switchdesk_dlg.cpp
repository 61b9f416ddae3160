// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/switchdesk_dlg.h"

namespace sd {

CSwitchdeskDlg::CSwitchdeskDlg(IListControl& discovery_list, IListControl& monitor_list,
                               IMessages& messages, IFileDialogs& file_dialogs,
                               IRemoteIpDialog& remote_ip_dialog)
    : lists_(discovery_list, monitor_list),
      sorter_(discovery_list, monitor_list),
      commands_(lists_, messages, remote_ip_dialog),
      monitor_file_(lists_, messages, file_dialogs) {}

void CSwitchdeskDlg::CreateListColumns() { lists_.Rows().CreateColumns(GroupIntervalSettingOn()); }

void CSwitchdeskDlg::ClearDeviceTables() { lists_.ClearTables(); }

void CSwitchdeskDlg::LoadMonitorFileAtStartup() { monitor_file_.LoadMonitorFileAtStartup(); }

void CSwitchdeskDlg::OnAddToMonitorList() {
  const std::vector<int> selected = lists_.DiscoveryListControl().SelectedRows();
  if (selected.empty()) return;
  commands_.TransferToMonitorList(selected);
}

void CSwitchdeskDlg::OnDiscoveryDoubleClick() {
  const std::vector<int> selected = lists_.DiscoveryListControl().SelectedRows();
  if (selected.size() != 1) return;
  commands_.TransferToMonitorList(selected);
}

}  // namespace sd
