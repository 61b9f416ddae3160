// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/device_operations.h"

namespace sd {

DeviceOperations::DeviceOperations(DeviceLists& lists, IMessages& messages, IRequestSender& sender,
                                   OperationDialogs dialogs)
    : lists_(lists), messages_(messages), sender_(sender), dialogs_(dialogs) {}

std::optional<TargetDevice> DeviceOperations::Gate(Launcher launcher) {
  const auto target = RunOperationGate(lists_, messages_, launcher);
  if (target) last_target_ = target;
  return target;
}

void DeviceOperations::OnConfigureSettings() {
  // The duplicate-address test looks at the entries the lists held when the button was pressed.
  const int discovery_count = lists_.DiscoveryTable().Count();
  const int monitor_count = lists_.MonitorTable().Count();
  const auto target = Gate(Launcher::ConfigureSettings);
  if (!target) return;
  ConfigurationForm form(Context(), *target, discovery_count, monitor_count);
  dialogs_.configuration.Run(form);
}

void DeviceOperations::OnChangePassword() {
  const auto target = Gate(Launcher::ChangePassword);
  if (!target) return;
  ChangePasswordForm form(Context(), *target);
  dialogs_.change_password.Run(form);
}

void DeviceOperations::OnDhcpRefresh() {
  const auto target = Gate(Launcher::DhcpRefresh);
  if (!target) return;
  // The button follows only mouse clicks, so it can be enabled while another switch is
  // selected. A refresh tells the switch to drop its addresses for the server's: never for a
  // switch that does not use DHCP or whose agent does not know the refresh.
  const DeviceRecord entry = TargetEntry(lists_, *target);
  if (entry.dhcp != DHCP_ON) {
    messages_.Error(kDhcpNotInUseMessage);
    return;
  }
  if (!DhcpRefreshAllowed(entry)) {
    messages_.Error(GateMessagesOf(Launcher::DhcpRefresh).interface_version);
    return;
  }
  DhcpRefreshForm form(Context(), *target);
  dialogs_.dhcp_refresh.Run(form);
}

std::optional<TargetDevice> DeviceOperations::GateUpgradeFirmware() { return Gate(Launcher::UpgradeFirmware); }

void DeviceOperations::OnGroupInterval() {
  GroupTimerForm form(sender_, messages_);
  dialogs_.group_interval.Run(form);
}

}  // namespace sd
