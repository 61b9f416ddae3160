// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands that move devices into and out of the Monitor List: the transfer of selected
// Discovery List devices, the removal of selected Monitor List rows and the addition of a device
// by its address. Each leaves the tables packed and every entry in use with exactly one row.

#include <cstdint>
#include <optional>
#include <vector>

#include "common/messages.h"
#include "common/remote_ip_dialog.h"
#include "devices/device_lists.h"

namespace sd {

class DeviceListCommands {
 public:
  DeviceListCommands(DeviceLists& lists, IMessages& messages,
                     IRemoteIpDialog& remote_ip_dialog);

  // Moves the devices shown in the given Discovery List rows to the end of the Monitor List, in
  // row order. A device without an address (0.0.0.0) is refused (title "Add fail") and stays, as
  // does one whose IP address is already monitored, or is shared by another discovered device
  // ("Duplicate IP address."); once the Monitor List
  // is full the rest stay and "Maximum of 256 devices reached." is shown once. The messages are
  // shown after both tables are consistent again.
  void TransferToMonitorList(const std::vector<int>& discovery_rows);

  // Removes the devices shown in the given Monitor List rows (found by the IP address each row
  // shows) and deletes exactly those rows; the other rows and entries keep their order.
  void RemoveMonitorRows(const std::vector<int>& monitor_rows);

  // "Add item": refuses with "Maximum of 256 devices reached." when the Monitor List is full;
  // otherwise runs the Remote IP dialog and appends the address it accepted, unless that address
  // is already in either list ("Duplicate IP address in Monitor List or Discovery List.").
  void AddByAddress();

  // The Remote IP dialog's "Apply": the new Monitor List entry for `address` (host order), or
  // nothing after telling the user "Invalid IP address." when it is not a usable host address.
  std::optional<DeviceRecord> AcceptRemoteIp(std::uint32_t address);

 private:
  DeviceLists& lists_;
  DeviceRows& rows_;
  IMessages& messages_;
  IRemoteIpDialog& remote_ip_dialog_;
};

}  // namespace sd
