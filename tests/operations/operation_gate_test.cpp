// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/operation_gate.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/operations.h"

namespace sd {
namespace {

using test::ConfigurableSwitch;
using test::ShownMessage;

ShownMessage ErrorBox(std::string_view text) { return {std::string(text), "Error", MessageIcon::Error}; }

TEST(CheckSelectionTest, CountsTheSelectedRowsOfBothLists) {
  // {rows selected in the Discovery List, in the Monitor List, result}
  const std::tuple<int, int, int> cases[] = {
      {0, 0, SELECTION_NONE},     {1, 0, SELECTION_DISCOVERY}, {0, 1, SELECTION_MONITOR},
      {1, 1, SELECTION_DISCOVERY}, {2, 0, SELECTION_MULTIPLE},  {0, 2, SELECTION_MULTIPLE},
      {2, 1, SELECTION_MULTIPLE}, {1, 2, SELECTION_MULTIPLE},
  };
  for (const auto& [discovery, monitor, expected] : cases) {
    MemoryListControl d, m;
    for (int i = 0; i < 3; ++i) {
      d.InsertRow(i, kNoImage, 0);
      m.InsertRow(i, kNoImage, 0);
    }
    for (int i = 0; i < discovery; ++i) d.SetSelected(i, true);
    for (int i = 0; i < monitor; ++i) m.SetSelected(i, true);
    EXPECT_EQ(CheckSelection(d, m), expected) << discovery << " " << monitor;
  }
}

TEST(AgentVersionCodeTest, ProtocolFirstThenNewerThenOlderInterface) {
  // {version_major, interface_version, result}
  const std::tuple<std::uint16_t, std::uint16_t, int> cases[] = {
      {2, 3, VERSION_OK},
      {2, 1, VERSION_INTERFACE_OLDER},
      {2, 2, VERSION_INTERFACE_OLDER},
      {2, 0, VERSION_INTERFACE_OLDER},
      {2, 4, VERSION_INTERFACE_NEWER},
      {2, 0xFFFF, VERSION_INTERFACE_NEWER},
      {1, 3, VERSION_PROTOCOL_UNSUPPORTED},
      {1, 4, VERSION_PROTOCOL_UNSUPPORTED},
      {1, 1, VERSION_PROTOCOL_UNSUPPORTED},
      {0, 0, VERSION_PROTOCOL_UNSUPPORTED},
      {0xFFFF, 3, VERSION_PROTOCOL_UNSUPPORTED},
  };
  for (const auto& [major, interface_version, expected] : cases) {
    DeviceRecord r = ZeroRecord();
    r.version_major = major;
    r.interface_version = interface_version;
    EXPECT_EQ(AgentVersionCode(r), expected) << major << "." << interface_version;
  }
}

class OperationGateTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  // Runs one launcher as the window's button would; true when its dialog opened.
  bool Launch(Launcher launcher) {
    const int before = configuration_dialog.runs + password_dialog.runs + dhcp_dialog.runs;
    switch (launcher) {
      case Launcher::ConfigureSettings: ops.OnConfigureSettings(); break;
      case Launcher::ChangePassword: ops.OnChangePassword(); break;
      case Launcher::DhcpRefresh: ops.OnDhcpRefresh(); break;
      case Launcher::UpgradeFirmware: return ops.GateUpgradeFirmware().has_value();
    }
    return configuration_dialog.runs + password_dialog.runs + dhcp_dialog.runs == before + 1;
  }

  // A switch every launcher accepts: it uses DHCP, so the DHCP refresh opens too.
  static DeviceRecord Accepted(std::string_view mac, std::string_view ip) {
    DeviceRecord r = ConfigurableSwitch(mac, ip);
    r.dhcp = DHCP_ON;
    return r;
  }
};

constexpr Launcher kLaunchers[] = {Launcher::ConfigureSettings, Launcher::ChangePassword,
                                   Launcher::UpgradeFirmware, Launcher::DhcpRefresh};

TEST_F(OperationGateTest, EachLauncherRefusesWithItsOwnMessages) {
  struct Case {
    Launcher launcher;
    const char* multiple;
    const char* none;
    const char* protocol;
    const char* interface;
  };
  const Case cases[] = {
      {Launcher::ConfigureSettings, "Only one device can be selected", "Please select a device.",
       "Agent protocol version not supported.", "Agent interface version not supported."},
      {Launcher::ChangePassword, "Only one device can be selected", "Please select a device.",
       "Agent protocol version not supported.", "Agent interface version not supported."},
      {Launcher::UpgradeFirmware, "Only one device can be selected", "Please select a device.",
       "Agent protocol version not supported.", "Agent interface version not supported."},
      {Launcher::DhcpRefresh, "Only one device can be selected", "Please select one device",
       "agent protocol version not support", "agent interface version not support"},
  };
  DeviceRecord old_protocol = Accepted("020000000001", "198.18.0.11");
  old_protocol.version_major = 1;
  DeviceRecord newer_interface = Accepted("020000000002", "198.18.0.12");
  newer_interface.interface_version = 4;
  AddMonitored(Accepted("020000000003", "198.18.0.13"));
  AddMonitored(Accepted("020000000004", "198.18.0.14"));
  AddDiscovered(old_protocol);
  AddDiscovered(newer_interface);

  for (const Case& c : cases) {
    auto refusal = [&](auto select) {
      for (int row : discovery_list.SelectedRows()) discovery_list.SetSelected(row, false);
      for (int row : monitor_list.SelectedRows()) monitor_list.SetSelected(row, false);
      select();
      messages.shown.clear();
      EXPECT_FALSE(Launch(c.launcher));
      return messages.shown;
    };
    EXPECT_EQ(refusal([&] {
                SelectMonitorRow(0);
                SelectMonitorRow(1);
              }),
              std::vector{ErrorBox(c.multiple)});
    EXPECT_EQ(refusal([] {}), std::vector{ErrorBox(c.none)});
    EXPECT_EQ(refusal([&] { SelectDiscoveryRow(0); }), std::vector{ErrorBox(c.protocol)});
    EXPECT_EQ(refusal([&] { SelectDiscoveryRow(1); }), std::vector{ErrorBox(c.interface)});
  }
  EXPECT_EQ(configuration_dialog.runs + password_dialog.runs + dhcp_dialog.runs, 0);
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(sender.refreshes, 0);
}

TEST_F(OperationGateTest, OlderInterfacesPassAndTheTargetIsRecorded) {
  for (int interface_version : {1, 2, 3}) {
    DeviceRecord r = Accepted("0200000000a" + std::to_string(interface_version),
                              "198.18.0." + std::to_string(20 + interface_version));
    r.interface_version = static_cast<std::uint16_t>(interface_version);
    AddMonitored(r);
  }
  for (int row = 0; row < 3; ++row) {
    SelectMonitorRow(row);
    for (Launcher launcher : {Launcher::ConfigureSettings, Launcher::ChangePassword, Launcher::UpgradeFirmware}) {
      EXPECT_TRUE(Launch(launcher)) << row;
      EXPECT_EQ(ops.LastTarget(), (TargetDevice{row, 1}));
    }
    monitor_list.SetSelected(row, false);
  }
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

TEST_F(OperationGateTest, ARowInEachListChoosesTheDiscoveryListsSwitch) {
  AddMonitored(Accepted("020000000001", "198.18.0.11"));
  AddDiscovered(Accepted("020000000002", "198.18.0.12"));
  AddDiscovered(Accepted("020000000003", "198.18.0.13"));
  // The window keeps one list's selection at a time; the gate decides all the same.
  discovery_list.SetItemChangingHandler({});
  monitor_list.SetItemChangingHandler({});
  SelectMonitorRow(0);
  SelectDiscoveryRow(1);
  for (Launcher launcher : kLaunchers) {
    EXPECT_TRUE(Launch(launcher));
    EXPECT_EQ(ops.LastTarget(), (TargetDevice{1, 0}));
  }
}

TEST_F(OperationGateTest, AfterASortTheTargetIsTheSwitchTheSelectedRowShows) {
  AddDiscovered(Accepted("0200000000aa", "198.18.0.11"));
  AddDiscovered(Accepted("0200000000cc", "198.18.0.12"));
  AddDiscovered(Accepted("0200000000bb", "198.18.0.13"));
  AddMonitored(Accepted("0200000000dd", "198.18.0.4"));
  AddMonitored(Accepted("0200000000ee", "198.18.0.30"));
  dlg.OnColumnClickDiscovery(kDiscoveryColumnMac);  // descending: cc, bb, aa
  dlg.OnColumnClickMonitor(kMonitorColumnIp);       // ascending by text: .30 before .4
  ASSERT_EQ(discovery_list.Text(0, kDiscoveryColumnMac), "0200000000cc");
  ASSERT_EQ(monitor_list.Text(0, kMonitorColumnIp), "198.18.0.30");

  SelectDiscoveryRow(0);
  int index = -1;
  EXPECT_EQ(CheckAgentVersion(dlg.Lists(), &index, 0), VERSION_OK);
  EXPECT_EQ(index, 1);
  ops.OnConfigureSettings();
  EXPECT_EQ(ops.LastTarget(), (TargetDevice{1, 0}));

  SelectMonitorRow(0);
  EXPECT_EQ(CheckAgentVersion(dlg.Lists(), &index, 1), VERSION_OK);
  EXPECT_EQ(index, 1);
  ops.OnChangePassword();
  EXPECT_EQ(ops.LastTarget(), (TargetDevice{1, 1}));
}

TEST_F(OperationGateTest, ARowWithoutAnEntryGivesTheFirstUnusedIndexAndTheProtocolRefusal) {
  AddMonitored(Accepted("020000000001", "198.18.0.11"));
  monitor_list.SetText(0, kMonitorColumnIp, "198.18.0.99");  // no entry has this address
  SelectMonitorRow(0);
  int index = -1;
  EXPECT_EQ(CheckAgentVersion(dlg.Lists(), &index, 1), VERSION_PROTOCOL_UNSUPPORTED);
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(ops.GateUpgradeFirmware());
  EXPECT_EQ(messages.shown, std::vector{ErrorBox("Agent protocol version not supported.")});
}

TEST_F(OperationGateTest, AFirmwareOnlySwitchTakesOnlyTheUpgradeAndTheDhcpRefresh) {
  DeviceRecord discovered = Accepted("020000000001", "198.18.0.11");
  discovered.firmware_state = FIRMWARE_STATE_UNCONFIGURABLE;
  DeviceRecord monitored = Accepted("020000000002", "198.18.0.12");
  monitored.firmware_state = FIRMWARE_STATE_UNCONFIGURABLE;
  AddDiscovered(discovered);
  AddMonitored(monitored);

  const std::pair<std::function<void()>, const char*> lists[] = {
      {[&] { SelectDiscoveryRow(0); }, "Switch cannot be configured.\nPlease upload firmware and retry."},
      {[&] { SelectMonitorRow(0); }, "Switch cannot be configured."},
  };
  for (const auto& [select, text] : lists) {
    select();
    for (Launcher launcher : {Launcher::ConfigureSettings, Launcher::ChangePassword}) {
      messages.shown.clear();
      EXPECT_FALSE(Launch(launcher));
      EXPECT_EQ(messages.shown, std::vector{ErrorBox(text)});
    }
    messages.shown.clear();
    EXPECT_TRUE(Launch(Launcher::UpgradeFirmware));
    EXPECT_TRUE(Launch(Launcher::DhcpRefresh));
    EXPECT_TRUE(messages.shown.empty());
  }
  // A refusal leaves the selection as it was.
  EXPECT_EQ(monitor_list.SelectedRows(), std::vector{0});
}

}  // namespace
}  // namespace sd
