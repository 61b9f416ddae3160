// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launchers of the main window's device operations and the Group Interval command: each
// runs the operation gate, records the target device and runs the operation's dialog.
//
// The window connects: button 1009 to OnConfigureSettings, 1008 to OnChangePassword, 1131 to
// OnDhcpRefresh, 1042 to GateUpgradeFirmware (followed by the firmware dialog), menu command
// 32793 to OnGroupInterval, and mouse clicks and selection changes of the two lists to
// OnListSelection, which gives the new state of the "DHCP Refresh" button.

#include <optional>

#include "common/messages.h"
#include "devices/device_lists.h"
#include "devices/device_table.h"
#include "operations/operation_dialogs.h"
#include "operations/operation_gate.h"
#include "operations/request_sender.h"

namespace sd {

struct OperationDialogs {
  IConfigurationDialog& configuration;
  IChangePasswordDialog& change_password;
  IDhcpRefreshDialog& dhcp_refresh;
  IGroupIntervalDialog& group_interval;
};

class DeviceOperations {
 public:
  // Everything given must outlive this object. Runs on the user-interface thread only.
  DeviceOperations(DeviceLists& lists, IMessages& messages, IRequestSender& sender, OperationDialogs dialogs);

  // "Configure settings": the gate with its messages (and the firmware_state check), then the
  // configuration dialog on the target.
  void OnConfigureSettings();
  // "Change password": the gate with its messages (and the firmware_state check), then the
  // password dialog.
  void OnChangePassword();
  // "DHCP Refresh": the gate with its messages, then, for a switch that uses DHCP with a recent
  // enough agent, the DHCP refresh dialog.
  void OnDhcpRefresh();
  // "Upgrade firmware", up to its dialog: the target when the gate passed, nothing after a
  // refusal (already shown).
  std::optional<TargetDevice> GateUpgradeFirmware();
  // Option > "Group Interval".
  void OnGroupInterval();

  // A mouse click in one list or a change of its selection, however made: the "DHCP Refresh"
  // button's new state (see DhcpRefreshButtonAfterSelection). The button starts disabled when
  // the window opens.
  bool OnListSelection(TableKind list) {
    dhcp_refresh_enabled_ = DhcpRefreshButtonAfterSelection(lists_, list, dhcp_refresh_enabled_);
    return dhcp_refresh_enabled_;
  }
  bool DhcpRefreshButtonEnabled() const { return dhcp_refresh_enabled_; }

  // The target the last launch that passed the gate recorded.
  std::optional<TargetDevice> LastTarget() const { return last_target_; }

 private:
  std::optional<TargetDevice> Gate(Launcher launcher);
  RequestContext Context() { return {lists_, sender_, messages_}; }

  DeviceLists& lists_;
  IMessages& messages_;
  IRequestSender& sender_;
  OperationDialogs dialogs_;
  std::optional<TargetDevice> last_target_;
  bool dhcp_refresh_enabled_ = false;
};

}  // namespace sd
