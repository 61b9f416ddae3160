#include "operations/dhcp_refresh_form.h"

#include "devices/device_rows.h"
#include "operations/secret.h"

namespace sd {

bool DhcpRefreshAllowed(const DeviceRecord& entry) {
  return entry.dhcp == DHCP_ON && entry.interface_version >= 3;
}

bool DhcpRefreshButtonAfterClick(CSwitchdeskDlg& dlg, TableKind clicked_list, bool enabled_now) {
  const bool monitor = clicked_list == TableKind::Monitor;
  const IListControl& list = monitor ? dlg.MonitorListControl() : dlg.DiscoveryListControl();
  const DeviceTable& table = monitor ? dlg.MonitorTable() : dlg.DiscoveryTable();
  const std::vector<int> selected = list.SelectedRows();
  if (selected.size() != 1) return enabled_now;
  const int row = selected.front();
  const FindResult found = monitor ? table.FindByIp(list.Text(row, kMonitorColumnIp))
                                   : table.FindByMac(list.Text(row, kDiscoveryColumnMac));
  return DhcpRefreshAllowed(table.Entry(found.index));
}

DhcpRefreshForm::DhcpRefreshForm(const RequestContext& context, const TargetDevice& target)
    : context_(context), target_(target) {}

bool DhcpRefreshForm::OnApply(std::string password) {
  context_.sender.RefreshMulticastMembership();
  DeviceRecord working = TargetEntry(context_.dlg, target_);
  SetText(working.password, password);
  WipeString(password);
  SendDhcpRefresh(context_, working, target_);
  WipeRecordSecrets(working);
  return true;
}

}  // namespace sd
