// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main dialog with the device operations wired to a recording sender and scripted dialogs,
// for tests of the operation gate, the dialogs' logic and the set-type requests.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "operations/device_operations.h"
#include "operations/request_sender.h"
#include "protocol/device_record.h"
#include "support/main_dialog.h"

namespace sd::test {

// Readable failure output for message boxes.
inline void PrintTo(const ShownMessage& m, std::ostream* os) {
  *os << "{\"" << m.text << "\", \"" << m.title << "\", icon " << static_cast<int>(m.icon) << "}";
}

struct SentDatagram {
  SendRoute route;
  std::vector<std::uint8_t> bytes;
  Endpoint to;
  std::string switch_mac;  // the switch whose card a broadcast or group send is for
};

// Records every membership refresh and datagram; a route in `failing` refuses its sends.
class RecordingSender : public IRequestSender {
 public:
  void RefreshMulticastMembership() override {
    ++refreshes;
    if (on_refresh) on_refresh();
  }
  bool Send(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to) override {
    if (on_send) on_send(route);
    sent.push_back({route, {datagram.begin(), datagram.end()}, to, {}});
    for (SendRoute r : failing) {
      if (r == route) return false;
    }
    return true;
  }
  bool SendToSwitch(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to,
                    std::string_view mac_text) override {
    const bool ok = Send(route, datagram, to);
    sent.back().switch_mac = mac_text;
    return ok;
  }
  int refreshes = 0;
  std::vector<SentDatagram> sent;
  std::vector<SendRoute> failing;
  std::function<void()> on_refresh;
  std::function<void(SendRoute)> on_send;
};

// A dialog whose user does what `script` says; it remembers what it was opened on.
template <typename Interface, typename Form>
class ScriptedDialog : public Interface {
 public:
  void Run(Form& form) override {
    ++runs;
    if (script) script(form);
  }
  int runs = 0;
  std::function<void(Form&)> script;
};

using ScriptedConfigurationDialog = ScriptedDialog<IConfigurationDialog, ConfigurationForm>;
using ScriptedPasswordDialog = ScriptedDialog<IChangePasswordDialog, ChangePasswordForm>;
using ScriptedDhcpRefreshDialog = ScriptedDialog<IDhcpRefreshDialog, DhcpRefreshForm>;
using ScriptedGroupIntervalDialog = ScriptedDialog<IGroupIntervalDialog, GroupTimerForm>;

struct OperationsFixture : MainDialogFixture {
  RequestContext Context() { return {dlg.Lists(), sender, messages}; }

  // Selects one row of a list (the other list's selection goes, as in the window).
  void SelectDiscoveryRow(int row) { discovery_list.SetSelected(row, true); }
  void SelectMonitorRow(int row) { monitor_list.SetSelected(row, true); }

  RecordingSender sender;
  ScriptedConfigurationDialog configuration_dialog;
  ScriptedPasswordDialog password_dialog;
  ScriptedDhcpRefreshDialog dhcp_dialog;
  ScriptedGroupIntervalDialog group_dialog;
  DeviceOperations ops{dlg.Lists(), messages, sender,
                       OperationDialogs{configuration_dialog, password_dialog, dhcp_dialog, group_dialog}};
};

// A configurable switch of interface version 3 as a reply leaves it: names, addresses, DHCP off,
// group interval reported, every settable field allowed.
inline DeviceRecord ConfigurableSwitch(std::string_view mac_text, std::string_view ip_text) {
  DeviceRecord r = Switch(mac_text, ip_text);
  SetText(r.system_name, "edge");
  SetText(r.location, "hall");
  SetSubnetMask(r, 0xFFFFFF00);
  SetGateway(r, (r.ip & 0xFFFFFF00) | 1);
  r.dhcp = DHCP_OFF;
  r.group_interval = 125;
  r.field_mask[0] = 0x2003FF;
  return r;
}

}  // namespace sd::test
