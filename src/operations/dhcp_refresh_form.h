// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "DHCP Refresh": the state of the main window's button, and the small dialog that asks for the
// switch's password and sends the request in its DHCP-refresh form.

#include <string>
#include <string_view>

#include "devices/device_lists.h"
#include "devices/device_table.h"
#include "operations/operation_gate.h"
#include "operations/set_requests.h"

namespace sd {

// Shown when "DHCP Refresh" is pressed for a switch that does not take its address from DHCP
// (possible when the button's state came from an earlier click).
inline constexpr std::string_view kDhcpNotInUseMessage = "The selected device does not use DHCP.";

// A switch can be asked to renew its lease when it uses DHCP and its agent interface is 3 or
// later.
bool DhcpRefreshAllowed(const DeviceRecord& entry);

// The button after a mouse click in one list or any change of its selection (mouse, keyboard or
// program): when exactly one row of that list is selected, enabled exactly when
// DhcpRefreshAllowed holds for the entry the row shows (found by the row's key text, so sorting
// does not matter); with no row or several rows selected, unchanged.
bool DhcpRefreshButtonAfterSelection(const DeviceLists& lists, TableKind list, bool enabled_now);

class DhcpRefreshForm {
 public:
  DhcpRefreshForm(const RequestContext& context, const TargetDevice& target);

  const TargetDevice& Target() const { return target_; }

  // "Apply": renews the group membership and sends the request with the typed password (an
  // empty one goes out too). The dialog closes (true), unless the switch is no longer listed or
  // the password is longer than the kDialogTextLimit bytes the request holds (refused with
  // "Password must be 1-20 characters long.", never cut): then nothing is sent and it stays
  // open (false). The password is wiped before this returns.
  bool OnApply(std::string password);

 private:
  RequestContext context_;
  TargetDevice target_;
  ChosenTarget chosen_;
};

}  // namespace sd
