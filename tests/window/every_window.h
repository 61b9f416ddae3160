// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every window of the program, built in turn over a fixture's lists and fakes and handed to a
// check: the About, Remote IP, Configuration setting (DHCP off, DHCP on, nothing reported),
// Password_change, DHCP Refresh, Group Interval, Firmware Upgrade and Trap information dialogs
// and the main window with rows in both lists.

#include <QWidget>
#include <functional>
#include <string>

#include "window/about_dialog.h"
#include "window/configuration_dialog.h"
#include "window/dhcp_refresh_dialog.h"
#include "window/firmware_upgrade_dialog.h"
#include "window/group_interval_dialog.h"
#include "window/images.h"
#include "window/password_dialog.h"
#include "window/remote_ip_dialog.h"
#include "window/trap_info_dialog.h"
#include "window/window_fixture.h"
#include "protocol/operation_context.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"

namespace sd::test {

using WindowCheck = std::function<void(QWidget& window, const std::string& name)>;

inline void ForEveryWindow(OperationsFixture& f, const WindowCheck& check) {
  using namespace sd::gui;  // NOLINT: the dialogs
  {
    CAboutDlg about;
    check(about, "about");
  }
  {
    CAdd_remoteIP remote_ip(nullptr);
    remote_ip.AddressEdit()->SetAddress(0xC0A80014);
    check(remote_ip, "remote_ip");
  }
  // The configuration dialog in its three looks: DHCP off with a group interval; DHCP on (the
  // addresses disabled); DHCP and group interval not reported (both radios and the interval
  // disabled).
  struct ConfigurationCase {
    const char* name;
    std::uint16_t dhcp;
    std::int32_t group_interval;
  };
  const ConfigurationCase configurations[] = {
      {"configuration", DHCP_OFF, 300},
      {"configuration_dhcp_on", DHCP_ON, 300},
      {"configuration_not_reported", DHCP_NOT_REPORTED, GROUP_INTERVAL_NOT_REPORTED},
  };
  int switches = 0;
  for (const ConfigurationCase& c : configurations) {
    // A switch of its own for each, appended to the Monitor List.
    const std::string n = std::to_string(10 + switches++);
    DeviceRecord r = ConfigurableSwitch("001a2b3c4d" + n, "192.168.1." + n);
    SetText(r.product_name, "SD-8 Managed");
    SetText(r.system_name, "core");
    SetText(r.location, "rack 2");
    SetText(r.subnet_mask_text, "255.255.255.0");
    SetText(r.gateway_text, "192.168.1.1");
    SetText(r.trap_ip_text, "192.168.1.5");
    r.dhcp = c.dhcp;
    r.group_interval = c.group_interval;
    f.AddMonitored(r);
    ConfigurationForm form(f.Context(), {f.dlg.MonitorTable().Count() - 1, 1}, f.dlg.DiscoveryTable().Count(),
                           f.dlg.MonitorTable().Count());
    CConfiguration_Set dialog(form);
    check(dialog, c.name);
  }
  {
    ChangePasswordForm form(f.Context(), {0, 1});
    CChange_Password dialog(form);
    check(dialog, "password");
  }
  {
    DhcpRefreshForm form(f.Context(), {0, 1});
    CDHCP_Refresh dialog(form);
    check(dialog, "dhcp_refresh");
  }
  {
    GroupTimerForm form(f.sender, f.messages);
    CGroupTimer dialog(form);
    check(dialog, "group_interval");
  }
  {
    auto& context = OperationContext::Instance();
    context.SetUpgradeTargetIp(*TextToIpv4("192.168.1.10"));
    context.SetUpgradeTargetMac("001a2b3c4d5e");
    FakeClock clock;
    FakeUpgradeNetwork network{clock};
    FakeTftpTransport transport{clock};
    FirmwareUpgradeDialog dialog({f.dlg.MonitorTable(), 0, network, &transport, f.messages, f.file_dialogs, [] {}, {}});
    dialog.ShowUpgradeState("Upgrading...1024/4096 bytes");
    check(dialog, "firmware_upgrade");
  }
  {
    TrapStore store;
    store.Add("06/01/2007 14:03:09", "192.168.0.10", "Port 3 link up");
    CTrap_Info dialog(store);
    check(dialog, "trap_information");
  }
  {
    TempConfigDir dir;
    dir.Write("define.ecf", MakeSealedSettings(PlainSettings(1)));
    WindowUnderTest ui;
    ui.window->Initialise(Networking::Off);
    CSwitchdeskDlg& core = ui.window->Core();
    core.StoreDiscoveryEntry(0, ConfigurableSwitch("001a2b3c4d61", "192.168.1.13"));
    core.StoreMonitorEntry(0, ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
    DeviceRecord silent = ConfigurableSwitch("001a2b3c4d5f", "192.168.1.11");
    silent.status_image = sd::kStatusImageNotAlive;
    core.StoreMonitorEntry(1, silent);
    ui.window->SetTrapIndicator(true);
    check(*ui.window, "main_window");
  }
}

}  // namespace sd::test
