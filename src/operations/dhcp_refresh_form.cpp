// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/dhcp_refresh_form.h"

#include "operations/configuration_form.h"
#include "operations/secret.h"

namespace sd {

bool DhcpRefreshAllowed(const DeviceRecord& entry) {
  return entry.dhcp == DHCP_ON && entry.interface_version >= 3;
}

bool DhcpRefreshButtonAfterSelection(const DeviceLists& lists, TableKind list, bool enabled_now) {
  if (lists.ListControl(list).SelectedRows().size() != 1) return enabled_now;
  const FindResult found = lists.FindSelectedEntry(list);
  return DhcpRefreshAllowed(lists.Table(list).Entry(found.index));
}

DhcpRefreshForm::DhcpRefreshForm(const RequestContext& context, const TargetDevice& target)
    : context_(context), target_(target), chosen_(context.lists, target) {}

bool DhcpRefreshForm::OnApply(std::string password) {
  if (password.size() > kDialogTextLimit) {
    WipeString(password);
    context_.messages.Error(kPasswordLengthMessage);
    return false;
  }
  context_.sender.RefreshMulticastMembership();
  const std::optional<TargetDevice> target = FindChosenTarget(context_, chosen_);
  if (!target) {
    WipeString(password);
    return false;
  }
  DeviceRecord working = TargetEntry(context_.lists, *target);
  SetText(working.password, password);
  WipeString(password);
  SendDhcpRefresh(context_, working, *target);
  WipeRecordSecrets(working);
  return true;
}

}  // namespace sd
