// SPDX-License-Identifier: GPL-3.0-or-later
// The console dialogs of set, password and dhcp-refresh behind the window's launchers: what the
// command line's options make of the dialog's initial view, what reaches the wire, and what is
// refused before anything is sent. Also the upgrade's progress view and the target search.
#include "cli/console_operation_dialogs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <sstream>

#include "cli/device_commands.h"
#include "devices/device_rows.h"
#include "support/operations.h"
#include "support/temp_dir.h"
#include "support/tlvs.h"

namespace sd::cli {
namespace {

using test::ConfigurableSwitch;
using test::ShownMessage;
using test::TlvValue;

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }
std::vector<std::uint8_t> Address(const char* text) {
  const std::uint32_t a = Ip(text);
  return {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
          static_cast<std::uint8_t>(a)};
}
std::vector<std::uint8_t> Text(std::string_view text) { return {text.begin(), text.end()}; }

// A monitored switch at .10 and a discovered one at .12, both with DHCP off and a group interval;
// a monitored one at .14 that does not report its DHCP mode or a group interval.
class ConsoleOperationDialogsTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  ConsoleOperationDialogsTest() {
    AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
    AddDiscovered(ConfigurableSwitch("001a2b3c4d60", "192.168.1.12"));
    AddMonitored(test::Switch("001a2b3c4d62", "192.168.1.14"));
    ::setenv("SD_TEST_PASSWORD", "admin", 1);
    ::setenv("SD_TEST_NEW_PASSWORD", "fresh", 1);
  }
  ~ConsoleOperationDialogsTest() override {
    ::unsetenv("SD_TEST_PASSWORD");
    ::unsetenv("SD_TEST_NEW_PASSWORD");
  }

  // The launchers over the console dialogs, as switchdesk-cli wires them.
  struct Console_ {
    explicit Console_(std::string typed) : in(std::move(typed)), console{in, out, err, true} {}
    std::istringstream in;
    std::ostringstream out, err;
    Console console;
  };

  SecretSource FromEnvironment(const char* name) { return {SecretSource::Kind::Environment, name}; }
};

TEST_F(ConsoleOperationDialogsTest, SetTypesTheGivenFieldsOverWhatTheSwitchReported) {
  struct Case {
    std::string what;
    SetFields fields;
    int row;  // in the Monitor List, or -1: the discovered switch
    // The TLVs expected in the request.
    std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> tlvs;
  };
  SetFields name;
  name.system_name = "core";
  SetFields move;
  move.ip = Ip("192.168.1.30");
  move.gateway = Ip("192.168.1.254");
  SetFields dhcp_on;
  dhcp_on.dhcp = true;
  SetFields trap_and_interval;
  trap_and_interval.trap_ip = Ip("192.168.1.5");
  trap_and_interval.group_interval = "0";
  const Case cases[] = {
      {"name only", name, 0,
       {{TLV_SYSTEM_NAME, Text("core")}, {TLV_LOCATION, Text("hall")}, {TLV_IP_ADDRESS, Address("192.168.1.10")},
        {TLV_SUBNET_MASK, Address("255.255.255.0")}, {TLV_GATEWAY, Address("192.168.1.1")},
        {TLV_TRAP_IP, Address("0.0.0.0")}, {TLV_GROUP_INTERVAL, {0, 0, 0, 125}}, {TLV_PASSWORD, Text("admin")}}},
      {"new address", move, -1,
       {{TLV_SYSTEM_NAME, Text("edge")}, {TLV_IP_ADDRESS, Address("192.168.1.30")},
        {TLV_GATEWAY, Address("192.168.1.254")}}},
      {"DHCP on: addresses go out as 0.0.0.0", dhcp_on, 0,
       {{TLV_IP_ADDRESS, Address("0.0.0.0")}, {TLV_GATEWAY, Address("0.0.0.0")}}},
      {"trap receiver and interval", trap_and_interval, 0,
       {{TLV_TRAP_IP, Address("192.168.1.5")}, {TLV_GROUP_INTERVAL, {0, 0, 0, 0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sender.sent.clear();
    discovery_list.SetSelected(0, false);
    monitor_list.SetSelected(0, false);
    if (c.row < 0) SelectDiscoveryRow(0); else SelectMonitorRow(c.row);
    Console_ t("");
    SecretReader secrets(t.console);
    const SecretSource password = FromEnvironment("SD_TEST_PASSWORD");
    ConsoleConfigurationDialog dialog(c.fields, password, secrets, t.err);
    DeviceOperations operations(dlg.Lists(), messages, sender,
                                OperationDialogs{dialog, password_dialog, dhcp_dialog, group_dialog});
    operations.OnConfigureSettings();
    EXPECT_EQ(dialog.Outcome(), DialogOutcome::kSent);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    ASSERT_EQ(sender.sent.size(), c.row < 0 ? 2u : 1u);
    EXPECT_EQ(sender.sent[0].route, c.row < 0 ? SendRoute::Broadcast : SendRoute::Unicast);
    for (const auto& [type, value] : c.tlvs) EXPECT_EQ(TlvValue(sender.sent[0].bytes, type), value) << type;
    EXPECT_EQ(t.err.str(), "");
  }
}

TEST_F(ConsoleOperationDialogsTest, SetRefusesWhatTheDialogWouldNotLetBeTypedAndNothingIsSent) {
  struct Case {
    std::string what;
    SetFields fields;
    int row;
    SecretSource password;
    std::string err;                    // the program's own line
    std::vector<ShownMessage> shown;    // the form's message boxes
  };
  SetFields ip_with_dhcp;
  ip_with_dhcp.dhcp = true;
  ip_with_dhcp.ip = Ip("192.168.1.30");
  SetFields dhcp;
  dhcp.dhcp = false;
  SetFields interval;
  interval.group_interval = "100";
  SetFields name;
  name.system_name = "x";
  SetFields bad_mask;
  bad_mask.subnet_mask = Ip("255.0.255.0");
  const SecretSource env{SecretSource::Kind::Environment, "SD_TEST_PASSWORD"};
  const Case cases[] = {
      {"addresses with DHCP on", ip_with_dhcp, 0, env,
       "switchdesk-cli: --ip, --netmask and --gateway cannot be typed while DHCP is enabled (add --dhcp off)\n", {}},
      {"no DHCP mode reported", dhcp, 1, env,
       "switchdesk-cli: this switch does not report its DHCP mode, so --dhcp cannot change it\n", {}},
      {"no group interval reported", interval, 1, env,
       "switchdesk-cli: this switch does not report a group interval to change\n", {}},
      {"interval out of range", interval, 0, env, "",
       {{"Group Interval value must between 120-1225\n0 means disable switch group interval", "Error",
         MessageIcon::Error}}},
      {"mask with holes", bad_mask, 0, env, "", {{"Invalid subnet mask.", "Error", MessageIcon::Error}}},
      {"variable not set", name, 0, {SecretSource::Kind::Environment, "SD_TEST_UNSET"},
       "switchdesk-cli: the variable SD_TEST_UNSET is not set\n", {}},
      {"no terminal to ask at", name, 0, {},
       "switchdesk-cli: there is no terminal to ask for the password at; give --password-file PATH or "
       "--password-env NAME (--new-password-file or --new-password-env for a new one)\n",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.shown.clear();
    monitor_list.SetSelected(0, false);
    monitor_list.SetSelected(1, false);
    SelectMonitorRow(c.row);
    Console_ t("admin\n");
    t.console.interactive = false;
    SecretReader secrets(t.console);
    ConsoleConfigurationDialog dialog(c.fields, c.password, secrets, t.err);
    DeviceOperations operations(dlg.Lists(), messages, sender,
                                OperationDialogs{dialog, password_dialog, dhcp_dialog, group_dialog});
    operations.OnConfigureSettings();
    EXPECT_EQ(dialog.Outcome(), DialogOutcome::kCancelled);
    EXPECT_EQ(t.err.str(), c.err);
    EXPECT_EQ(messages.shown, c.shown);
    EXPECT_TRUE(sender.sent.empty());
  }
}

TEST_F(ConsoleOperationDialogsTest, PasswordChangeAsksTwiceAtTheTerminalAndNeverShowsWhatIsTyped) {
  struct Case {
    std::string typed;
    SecretSource new_password;
    std::string prompts;
    std::vector<ShownMessage> shown;
    std::optional<std::string> sent_new;
  };
  const std::string three = "Original password: \nNew password: \nConfirm password: \n";
  const Case cases[] = {
      {"admin\nfresh\nfresh\n", {}, three, {}, "fresh"},
      {"admin\r\nfresh\nfres\n", {}, three, {{"Confirm password fail", "Error", MessageIcon::Error}}, std::nullopt},
      {"admin\n", FromEnvironment("SD_TEST_NEW_PASSWORD"), "Original password: \n", {}, "fresh"},
      {"\nfresh\nfresh\n", {}, three, {{"Password must be 1-20 characters long.", "Error", MessageIcon::Error}},
       std::nullopt},
      {"admin\nfresh\n", {}, three + "switchdesk-cli: no password was typed\n", {},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    messages.shown.clear();
    sender.sent.clear();
    SelectMonitorRow(0);
    Console_ t(c.typed);
    SecretReader secrets(t.console);
    const SecretSource original{};
    ConsoleChangePasswordDialog dialog(original, c.new_password, secrets);
    DeviceOperations operations(dlg.Lists(), messages, sender,
                                OperationDialogs{configuration_dialog, dialog, dhcp_dialog, group_dialog});
    operations.OnChangePassword();
    EXPECT_EQ(t.err.str(), c.prompts);
    EXPECT_EQ(messages.shown, c.shown);
    if (!c.sent_new) {
      EXPECT_TRUE(sender.sent.empty());
      continue;
    }
    EXPECT_EQ(dialog.Outcome(), DialogOutcome::kSent);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), Text("admin"));
    EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_NEW_PASSWORD), Text(*c.sent_new));
  }
}

TEST_F(ConsoleOperationDialogsTest, DhcpRefreshSendsTheRefreshWithThePasswordFromAFile) {
  test::TempConfigDir dir;
  dir.Write("pw", Text("admin\r\nsecond line\n"));
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.dhcp = DHCP_ON; });
  SelectMonitorRow(0);
  Console_ t("");
  SecretReader secrets(t.console);
  const SecretSource file{SecretSource::Kind::File, dir.File("pw")};
  ConsoleDhcpRefreshDialog dialog(file, secrets);
  DeviceOperations operations(dlg.Lists(), messages, sender,
                              OperationDialogs{configuration_dialog, password_dialog, dialog, group_dialog});
  operations.OnDhcpRefresh();
  EXPECT_EQ(dialog.Outcome(), DialogOutcome::kSent);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(ParseHeader(sender.sent[0].bytes)->version_minor, 1);
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), Text("admin"));

  // A switch without DHCP is refused by the launcher: the dialog never runs.
  sender.sent.clear();
  for (int row = 0; row < monitor_list.RowCount(); ++row) {
    monitor_list.SetSelected(row, monitor_list.Text(row, kMonitorColumnIp) == "192.168.1.14");
  }
  ConsoleDhcpRefreshDialog unused(file, secrets);
  DeviceOperations again(dlg.Lists(), messages, sender,
                         OperationDialogs{configuration_dialog, password_dialog, unused, group_dialog});
  again.OnDhcpRefresh();
  EXPECT_EQ(unused.Outcome(), DialogOutcome::kNotRun);
  EXPECT_EQ(messages.shown.back().text, "The selected device does not use DHCP.");
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(ConsoleOperationDialogsTest, TheTargetIsFoundInTheListItAnsweredInto) {
  DeviceRecord silent = test::Switch("001a2b3c4d70", "192.168.1.16");
  silent.answered = 0;
  AddMonitored(silent);
  AddDiscovered(ConfigurableSwitch("001a2b3c4d71", "192.168.1.18"));
  AddDiscovered(ConfigurableSwitch("001a2b3c4d72", "192.168.1.18"));
  struct Case {
    std::string target;
    std::optional<TargetRow> row;
    std::string err;
  };
  const Case cases[] = {
      {"192.168.1.10", TargetRow{TableKind::Monitor, monitor_list.RowCount() > 0 ? 0 : -1}, ""},
      {"00:1A:2B:3C:4D:5E", TargetRow{TableKind::Monitor, 0}, ""},
      {"192.168.1.12", TargetRow{TableKind::Discovery, 0}, ""},
      {"001a2b3c4d72", TargetRow{TableKind::Discovery, dlg.FindDiscoveryRowByMac("001a2b3c4d72")}, ""},
      {"192.168.1.16", std::nullopt, "switchdesk-cli: 192.168.1.16 is in the Monitor List but did not answer\n"},
      {"192.168.1.18", std::nullopt,
       "switchdesk-cli: 2 switches answered at 192.168.1.18; name one by its MAC address\n"},
      {"192.168.1.99", std::nullopt, "switchdesk-cli: no switch answered at 192.168.1.99\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    EXPECT_EQ(FindTargetRow(dlg, *ParseTargetArgument(c.target), err), c.row) << c.target;
    EXPECT_EQ(err.str(), c.err) << c.target;
  }
}

TEST(ConsoleUpgradeViewTest, ABarOnATerminalLinesAtEveryTenthOtherwise) {
  ConsoleUpgradeView::Progress p{0, 10240};
  auto play = [&](bool terminal) {
    std::ostringstream out;
    ConsoleUpgradeView view(out, terminal, [&] { return p; });
    view.ShowUpgradeState("Wait....");
    for (long sent = 1024; sent < 10240; sent += 512) {
      p.sent = sent;
      view.ShowUpgradeState("Upgrading..." + std::to_string(sent) + "/10240 bytes");
    }
    p.sent = 10240;
    view.ShowUpgradeState("Complete...10240/10240 bytes");
    view.ShowUpgradeState(" ");  // the box cleared: nothing to show
    return out.str();
  };
  std::string lines = "Wait....\n";
  for (long k = 1; k <= 9; ++k) lines += "Upgrading..." + std::to_string(1024 * k) + "/10240 bytes\n";
  EXPECT_EQ(play(false), lines + "Complete...10240/10240 bytes\n");

  const std::string drawn = play(true);
  EXPECT_EQ(drawn.rfind("Wait....\n\r[###                           ]  10%  1024/10240 bytes\r[####", 0), 0u)
      << drawn;
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\n'), 3) << drawn;  // one bar, redrawn in place
  EXPECT_TRUE(drawn.ends_with("\r[##############################] 100%  10240/10240 bytes\n"
                              "Complete...10240/10240 bytes\n"))
      << drawn;
  EXPECT_EQ(ConsoleUpgradeView::Bar({512, 1024}), "[###############               ]  50%  512/1024 bytes");
  // An empty image is complete at once.
  EXPECT_EQ(ConsoleUpgradeView::Bar({0, 0}), "[##############################] 100%  0/0 bytes");
}

}  // namespace
}  // namespace sd::cli
