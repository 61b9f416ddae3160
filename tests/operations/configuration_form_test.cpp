// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/configuration_form.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "protocol/operation_context.h"

#include "support/hex.h"
#include "support/operations.h"
#include "support/tlvs.h"

namespace sd {
namespace {

using test::ConfigurableSwitch;
using test::Hex;
using test::ShownMessage;
using test::TlvValue;
using test::TlvTypes;

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }
// The four bytes of an address TLV's value.
std::vector<std::uint8_t> Address(const char* text) {
  const std::uint32_t a = Ip(text);
  return {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
          static_cast<std::uint8_t>(a)};
}

ShownMessage ErrorBox(std::string_view text, std::string_view title = "Error") {
  return {std::string(text), std::string(title), MessageIcon::Error};
}

class ConfigurationFormTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  void SetUp() override {
    AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
    AddMonitored(ConfigurableSwitch("001a2b3c4d5f", "192.168.1.11"));
    AddDiscovered(ConfigurableSwitch("001a2b3c4d60", "192.168.1.12"));
    AddDiscovered(ConfigurableSwitch("001a2b3c4d61", "192.168.1.13"));
  }

  // What a user types to move the first monitored switch to .20.
  static ConfigurationInput Typed() {
    ConfigurationInput in;
    in.system_name = "core";
    in.location = "rack 2";
    in.password = "admin";
    in.ip = Ip("192.168.1.20");
    in.subnet_mask = Ip("255.255.255.0");
    in.gateway = Ip("192.168.1.1");
    in.trap_ip = 0;
    in.group_interval_text = "300";
    return in;
  }

  ConfigurationForm FormFor(TargetDevice target) {
    return ConfigurationForm(Context(), target, dlg.DiscoveryTable().Count(), dlg.MonitorTable().Count());
  }

  // "Set" on a fresh form; the messages shown by it.
  std::vector<ShownMessage> Set(TargetDevice target, const ConfigurationInput& input,
                                const std::function<void(ConfigurationForm&)>& before = {}) {
    messages.shown.clear();
    sender.sent.clear();
    ConfigurationForm form = FormFor(target);
    if (before) before(form);
    const bool closed = form.OnSet(input);
    failed_field = form.FailedField();
    EXPECT_EQ(closed, messages.shown.empty());
    EXPECT_EQ(sender.sent.empty(), !closed);
    return messages.shown;
  }

  static constexpr TargetDevice kMonitored{0, 1};
  static constexpr TargetDevice kDiscovered{0, 0};
  // The field the last Set() refused.
  std::optional<ConfigurationField> failed_field;
};

TEST_F(ConfigurationFormTest, TheFieldsAreCheckedInOrderWithTheirOwnMessages) {
  struct Case {
    const char* what;
    std::function<void(ConfigurationInput&)> change;
    std::optional<ShownMessage> refusal;
  };
  auto addresses = [](const char* ip, const char* mask, const char* gateway) {
    return [=](ConfigurationInput& in) {
      in.ip = Ip(ip);
      in.subnet_mask = Ip(mask);
      in.gateway = Ip(gateway);
    };
  };
  auto trap = [](const char* t) { return [=](ConfigurationInput& in) { in.trap_ip = Ip(t); }; };
  auto interval = [](const char* t) { return [=](ConfigurationInput& in) { in.group_interval_text = t; }; };
  const auto password = ErrorBox("Password must be 1-20 characters long.");
  const auto bad_ip = ErrorBox("Invalid IP address.");
  const auto bad_mask = ErrorBox("Invalid subnet mask.");
  const auto bad_gateway = ErrorBox("Invalid gateway IP address.");
  const auto other_subnet = ErrorBox("Gateway and IP addresses are not in the same subnet.");
  const auto bad_trap = ErrorBox("Error Trap IP");
  const auto digits = ErrorBox("Group Interval only includes 0-9");
  const auto range = ErrorBox("Group Interval value must between 120-1225\n0 means disable switch group interval");
  const auto long_name = ErrorBox("System name must be at most 20 bytes long.");
  const auto long_location = ErrorBox("Location must be at most 20 bytes long.");
  auto name = [](std::string t) { return [=](ConfigurationInput& in) { in.system_name = t; }; };
  auto location = [](std::string t) { return [=](ConfigurationInput& in) { in.location = t; }; };
  const std::string e_acute = "\xC3\xA9";  // 'é': two bytes of UTF-8
  auto repeated = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const Case cases[] = {
      {"as typed", [](ConfigurationInput&) {}, std::nullopt},
      // The names count bytes of UTF-8, and a longer one is refused, never cut (a cut could
      // split a character).
      {"20-byte name", name(std::string(20, 'n')), std::nullopt},
      {"21-byte name", name(std::string(21, 'n')), long_name},
      {"ten two-byte characters", name(repeated(e_acute, 10)), std::nullopt},
      {"eleven two-byte characters", name(repeated(e_acute, 11)), long_name},
      {"19 bytes and a two-byte character", name(std::string(19, 'n') + e_acute), long_name},
      {"20-byte location", location(std::string(20, 'l')), std::nullopt},
      {"21-byte location", location(std::string(19, 'l') + e_acute), long_location},
      {"21-byte password", [=](ConfigurationInput& in) { in.password = std::string(19, 'p') + e_acute; }, password},
      {"empty password", [](ConfigurationInput& in) { in.password.clear(); }, password},
      {"21-character password", [](ConfigurationInput& in) { in.password = std::string(21, 'p'); }, password},
      {"20-character password", [](ConfigurationInput& in) { in.password = std::string(20, 'p'); }, std::nullopt},
      {"first octet 223", addresses("223.1.1.1", "255.255.255.0", "223.1.1.2"), bad_ip},
      {"first octet 0", addresses("0.1.1.1", "255.255.255.0", "0.1.1.2"), bad_ip},
      {"last octet 0", addresses("192.168.1.0", "255.255.255.0", "192.168.1.1"), bad_ip},
      {"loopback address", addresses("127.0.0.1", "255.0.0.0", "127.0.0.254"), std::nullopt},
      {"mask first octet 0", addresses("192.168.1.20", "0.255.255.0", "192.168.1.1"), bad_mask},
      {"mask all ones", addresses("192.168.1.20", "255.255.255.255", "192.168.1.1"), bad_mask},
      {"mask /31, even address", addresses("192.168.1.20", "255.255.255.254", "192.168.1.21"), bad_mask},
      {"mask /31, odd address", addresses("192.168.1.21", "255.255.255.254", "192.168.1.20"), bad_mask},
      {"network address", addresses("192.168.1.128", "255.255.255.128", "192.168.1.129"), bad_mask},
      {"broadcast address", addresses("192.168.1.255", "255.255.255.0", "192.168.1.1"), bad_mask},
      {"gateway first octet 223", addresses("192.168.1.20", "255.255.255.0", "223.1.1.1"), bad_gateway},
      {"no gateway", addresses("192.168.1.20", "255.255.255.0", "0.0.0.0"), bad_gateway},
      {"gateway last octet 0", addresses("192.168.1.20", "255.255.255.0", "192.168.1.0"), bad_gateway},
      {"gateway in another subnet", addresses("192.168.1.20", "255.255.255.0", "192.168.2.1"), other_subnet},
      {"mask with a hole", addresses("10.1.2.3", "255.0.255.0", "10.9.2.1"), bad_mask},
      {"trap 10.0.0.0", trap("10.0.0.0"), bad_trap},
      {"trap 10.255.255.255", trap("10.255.255.255"), bad_trap},
      {"trap 192.168.1.255", trap("192.168.1.255"), bad_trap},
      {"trap 224.0.0.1", trap("224.0.0.1"), bad_trap},
      {"trap 127.0.0.1", trap("127.0.0.1"), bad_trap},
      {"trap 192.168.1.5", trap("192.168.1.5"), std::nullopt},
      {"interval 12a", interval("12a"), digits},
      {"interval -1", interval("-1"), digits},
      {"interval 119", interval("119"), range},
      {"interval 1226", interval("1226"), range},
      {"interval 120", interval("120"), std::nullopt},
      {"interval 1225", interval("1225"), std::nullopt},
      {"interval 0", interval("0"), std::nullopt},
      {"interval empty", interval(""), std::nullopt},
      {"interval 0120", interval("0120"), std::nullopt},
      // The first failing check is the only one reported.
      {"empty password and bad address",
       [](ConfigurationInput& in) { in.password.clear(), in.ip = Ip("223.1.1.1"); }, password},
      {"bad address and bad trap", [](ConfigurationInput& in) { in.ip = Ip("0.0.0.1"), in.trap_ip = Ip("224.0.0.1"); },
       bad_ip},
      {"bad mask and bad gateway", addresses("192.168.1.20", "0.0.0.0", "0.0.0.0"), bad_mask},
      {"other subnet and a hole in the mask", addresses("10.1.2.3", "255.0.255.0", "11.9.2.1"), other_subnet},
      {"bad trap and bad interval",
       [](ConfigurationInput& in) { in.trap_ip = Ip("10.0.0.0"), in.group_interval_text = "x"; }, bad_trap},
  };
  // Each message names one field: the one the dialog then gives the focus to.
  const std::map<std::string, ConfigurationField> field_of{
      {password.text, ConfigurationField::Password},   {bad_ip.text, ConfigurationField::Ip},
      {bad_mask.text, ConfigurationField::SubnetMask}, {bad_gateway.text, ConfigurationField::Gateway},
      {other_subnet.text, ConfigurationField::Gateway}, {bad_trap.text, ConfigurationField::TrapIp},
      {digits.text, ConfigurationField::GroupInterval}, {range.text, ConfigurationField::GroupInterval},
      {long_name.text, ConfigurationField::SystemName}, {long_location.text, ConfigurationField::Location},
  };
  for (const Case& c : cases) {
    ConfigurationInput in = Typed();
    c.change(in);
    const int refreshes = sender.refreshes;
    const auto shown = Set(kMonitored, in);
    EXPECT_EQ(sender.refreshes, refreshes + 1) << c.what;
    if (c.refusal) {
      EXPECT_EQ(shown, std::vector{*c.refusal}) << c.what;
      EXPECT_EQ(failed_field, field_of.at(c.refusal->text)) << c.what;
    } else {
      EXPECT_TRUE(shown.empty()) << c.what << ": " << shown[0].text;
      EXPECT_EQ(failed_field, std::nullopt) << c.what;
    }
  }
}

TEST_F(ConfigurationFormTest, TheRequestToAMonitoredSwitchIsOneUnicastDatagramToItsPresentAddress) {
  set_sequence = 0x1234;
  ASSERT_TRUE(Set(kMonitored, Typed()).empty());
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].route, SendRoute::Unicast);
  EXPECT_EQ(sender.sent[0].to, (Endpoint{Ip("192.168.1.10"), 50002}));
  EXPECT_EQ(sender.sent[0].bytes,
            Hex("0002 0000 001a2b3c4d5e 0000 0007 0000 01945ae0 000000000000 1234 000000000000000000000000"
                "0009 0009 'admin'"
                "0001 000a 'GS-108'"
                "0002 0008 'core'"
                "0003 000a 'rack 2'"
                "0004 0008 c0a80114"  // IP address 192.168.1.20
                "0006 0008 c0a80101"  // gateway
                "0007 0008 00000000"  // no trap receiver
                "0005 0008 ffffff00"  // subnet mask
                "0016 0008 0000012c"));  // group interval 300; DHCP unchanged: no TLV 10
}

TEST_F(ConfigurationFormTest, ADiscoveredSwitchGetsCommandThreeByBroadcastAndThenByTheGroup) {
  ConfigurationInput in = Typed();
  in.ip = Ip("192.168.1.30");
  ASSERT_TRUE(Set(kDiscovered, in).empty());
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(sender.sent[0].route, SendRoute::Broadcast);
  EXPECT_EQ(sender.sent[1].route, SendRoute::Multicast);
  EXPECT_EQ(sender.sent[0].bytes, sender.sent[1].bytes);
  const auto header = ParseHeader(sender.sent[0].bytes);
  EXPECT_EQ(header->command, CMD_SET);
  EXPECT_EQ(header->mac, (std::array<std::uint8_t, 6>{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x60}));
}

TEST_F(ConfigurationFormTest, WithDhcpEnabledTheAddressesAreNeitherReadNorChecked) {
  ConfigurationInput in = Typed();
  in.ip = Ip("0.0.0.0");
  in.subnet_mask = Ip("1.2.3.255");
  in.gateway = Ip("250.0.0.0");
  in.trap_ip = Ip("192.168.1.5");
  ASSERT_TRUE(Set(kMonitored, in, [](ConfigurationForm& f) { f.OnDhcpEnable(); }).empty());
  const auto& d = sender.sent[0].bytes;
  EXPECT_EQ(TlvValue(d, TLV_IP_ADDRESS), Address("0.0.0.0"));
  EXPECT_EQ(TlvValue(d, TLV_GATEWAY), Address("0.0.0.0"));
  EXPECT_EQ(TlvValue(d, TLV_SUBNET_MASK), Address("0.0.0.0"));
  EXPECT_EQ(TlvValue(d, TLV_TRAP_IP), Address("192.168.1.5"));
  // Stored DHCP off, chosen on: change mode 2, the new state sent.
  EXPECT_EQ(TlvValue(d, TLV_DHCP), (std::vector<std::uint8_t>{0, 1}));
}

TEST_F(ConfigurationFormTest, TheDhcpFieldFollowsTheChangeBetweenStoredAndChosenState) {
  // {stored dhcp, radio clicked (0 none, 1 Enable, 2 Disable), TLV_DHCP value or nothing}
  struct Case {
    std::uint16_t stored;
    int click;
    std::optional<std::vector<std::uint8_t>> dhcp;
  };
  const Case cases[] = {
      {DHCP_OFF, 0, std::nullopt},       {DHCP_OFF, 1, std::vector<std::uint8_t>{0, 1}},
      {DHCP_ON, 2, std::vector<std::uint8_t>{0, 0}}, {DHCP_ON, 1, std::nullopt},
      {DHCP_NOT_REPORTED, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    dlg.UpdateMonitorEntry(0, [&](DeviceRecord& e) { e.dhcp = c.stored; });
    ConfigurationInput in = Typed();
    const auto shown = Set(kMonitored, in, [&](ConfigurationForm& f) {
      if (c.click == 1) f.OnDhcpEnable();
      if (c.click == 2) f.OnDhcpDisable();
    });
    ASSERT_TRUE(shown.empty()) << shown[0].text;
    EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_DHCP), c.dhcp) << c.stored << " " << c.click;
  }
}

TEST_F(ConfigurationFormTest, WithoutAReportedDhcpStateTheAddressesAreCheckedAsWithDhcpOff) {
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.dhcp = DHCP_NOT_REPORTED; });
  ConfigurationInput in = Typed();
  in.ip = Ip("223.1.1.1");
  EXPECT_EQ(Set(kMonitored, in), std::vector{ErrorBox("Invalid IP address.")});
  EXPECT_TRUE(Set(kMonitored, Typed()).empty());
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_IP_ADDRESS), Address("192.168.1.20"));
  EXPECT_FALSE(TlvValue(sender.sent[0].bytes, TLV_DHCP));
}

TEST_F(ConfigurationFormTest, TheGroupIntervalIsSentOnlyFromAnEnabledField) {
  ConfigurationInput in = Typed();
  in.group_interval_text = "";
  ASSERT_TRUE(Set(kMonitored, in).empty());
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_GROUP_INTERVAL), Hex("00000000"));
  in.group_interval_text = "0120";
  ASSERT_TRUE(Set(kMonitored, in).empty());
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_GROUP_INTERVAL), Hex("00000078"));

  // A switch that reports no interval: the field is disabled and whatever it holds is ignored.
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.group_interval = GROUP_INTERVAL_NOT_REPORTED; });
  in.group_interval_text = "abc";
  ASSERT_TRUE(Set(kMonitored, in).empty());
  EXPECT_FALSE(TlvValue(sender.sent[0].bytes, TLV_GROUP_INTERVAL));

  // With the feature off the field is hidden and neither checked nor sent.
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.group_interval = 125; });
  Settings.multicast_interface_on_off = 0;
  ASSERT_TRUE(Set(kMonitored, in).empty());
  EXPECT_FALSE(TlvValue(sender.sent[0].bytes, TLV_GROUP_INTERVAL));
}

TEST_F(ConfigurationFormTest, DuplicateAddressesAreThoseOfOtherSwitches) {
  // {target, new address, refused}
  struct Case {
    const char* what;
    TargetDevice target;
    const char* ip;
    bool refused;
  };
  const Case cases[] = {
      {"monitored switch keeps its address", kMonitored, "192.168.1.10", false},
      {"monitored switch takes another monitored one's", kMonitored, "192.168.1.11", true},
      {"monitored switch takes a discovered one's", kMonitored, "192.168.1.12", true},
      {"discovered switch takes a monitored one's", kDiscovered, "192.168.1.11", true},
      {"discovered switch takes another discovered one's", kDiscovered, "192.168.1.13", false},
      {"discovered switch keeps its address", kDiscovered, "192.168.1.12", false},
  };
  for (const Case& c : cases) {
    ConfigurationInput in = Typed();
    in.ip = Ip(c.ip);
    const auto shown = Set(c.target, in);
    if (c.refused) {
      EXPECT_EQ(shown, std::vector{ErrorBox("Duplicate IP address.", "Setting fail")}) << c.what;
    } else {
      EXPECT_TRUE(shown.empty()) << c.what;
    }
  }
}

TEST_F(ConfigurationFormTest, ASwitchInBothListsIsNoDuplicateOfItself) {
  // The monitored switch .10 was also discovered, and the discovered .12 is also monitored.
  AddDiscovered(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  AddMonitored(ConfigurableSwitch("001a2b3c4d60", "192.168.1.12"));
  ConfigurationInput in = Typed();
  in.ip = Ip("192.168.1.10");
  EXPECT_TRUE(Set(kMonitored, in).empty());
  in.ip = Ip("192.168.1.12");
  EXPECT_TRUE(Set(kDiscovered, in).empty());
  // Another switch's address is still refused.
  in.ip = Ip("192.168.1.11");
  EXPECT_EQ(Set(kDiscovered, in), std::vector{ErrorBox("Duplicate IP address.", "Setting fail")});
}

TEST_F(ConfigurationFormTest, OnlyTheEntriesListedAtLaunchAreCompared) {
  ConfigurationForm form = FormFor(kMonitored);
  AddMonitored(ConfigurableSwitch("001a2b3c4d70", "192.168.1.40"));
  ConfigurationInput in = Typed();
  in.ip = Ip("192.168.1.40");
  EXPECT_TRUE(form.OnSet(in));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ConfigurationFormTest, TheMembershipIsRenewedBeforeAnyCheck) {
  sender.on_refresh = [&] { EXPECT_TRUE(messages.shown.empty()); };
  ConfigurationInput in = Typed();
  in.password.clear();
  ConfigurationForm form = FormFor(kMonitored);
  EXPECT_FALSE(form.OnSet(in));
  EXPECT_EQ(sender.refreshes, 1);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(ConfigurationFormTest, TheFieldMaskIsTheEntrysWhenSetIsPressed) {
  ConfigurationForm form = FormFor(kMonitored);
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.field_mask[0] = 0x100 | 0x8; });
  ASSERT_TRUE(form.OnSet(Typed()));
  EXPECT_EQ(TlvTypes(sender.sent[0].bytes), (std::vector<std::uint16_t>{TLV_PASSWORD, TLV_IP_ADDRESS}));
}

TEST_F(ConfigurationFormTest, ASendFailureStillClosesTheDialog) {
  sender.failing = {SendRoute::Unicast};
  ConfigurationForm form = FormFor(kMonitored);
  EXPECT_TRUE(form.OnSet(Typed()));
  EXPECT_EQ(messages.shown, std::vector{ErrorBox("Unicast set send error.")});
}

TEST_F(ConfigurationFormTest, TheLauncherOpensTheDialogOnTheSelectedSwitch) {
  SelectDiscoveryRow(1);
  std::optional<ConfigurationView> shown;
  configuration_dialog.script = [&](ConfigurationForm& form) {
    shown = form.View();
    ConfigurationInput in = Typed();
    in.ip = Ip("192.168.1.31");
    EXPECT_TRUE(form.OnSet(in));
  };
  ops.OnConfigureSettings();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->mac_text, "001a2b3c4d61");
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(OperationContext::Instance().AwaitedMac(), "001a2b3c4d61");
}

// ---- the dialog's controls ----

TEST(InitialConfigurationViewTest, ShowsTheEntryAndLeavesUnusableAddressesEmpty) {
  DeviceRecord e = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
  SetText(e.trap_ip_text, "");
  ConfigurationView expected;
  expected.product_name = "GS-108";
  expected.mac_text = "001a2b3c4d5e";
  expected.system_name = "edge";
  expected.location = "hall";
  expected.ip = Ip("192.168.1.10");
  expected.subnet_mask = Ip("255.255.255.0");
  expected.gateway = Ip("192.168.1.1");
  expected.trap_ip = std::nullopt;
  expected.dhcp_radios_enabled = true;
  expected.dhcp_disable_checked = true;
  expected.addresses_enabled = true;
  expected.group_interval_visible = true;
  expected.group_interval_enabled = true;
  expected.group_interval_text = "125";
  EXPECT_EQ(InitialConfigurationView(e, true), expected);

  // Stored texts that are not addresses, partial or with garbage, give empty controls.
  for (const char* text : {"", "garbage", "1.2.3", "1.2.3.4.5", "256.1.1.1", " 1.2.3.4", "1.2.3.4x"}) {
    SetText(e.subnet_mask_text, text);
    SetText(e.gateway_text, text);
    SetText(e.trap_ip_text, text);
    const ConfigurationView v = InitialConfigurationView(e, true);
    EXPECT_FALSE(v.subnet_mask) << text;
    EXPECT_FALSE(v.gateway) << text;
    EXPECT_FALSE(v.trap_ip) << text;
  }
  SetText(e.trap_ip_text, "0.0.0.0");
  EXPECT_EQ(InitialConfigurationView(e, true).trap_ip, 0u);
}

TEST(InitialConfigurationViewTest, DhcpRadiosAndGroupIntervalFollowTheEntryAndTheSetting) {
  struct Case {
    std::uint16_t dhcp;
    bool radios, enable, disable, addresses;
  };
  const Case dhcp_cases[] = {
      {DHCP_OFF, true, false, true, true},
      {DHCP_ON, true, true, false, false},
      {DHCP_NOT_REPORTED, false, false, false, true},
  };
  DeviceRecord e = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
  for (const Case& c : dhcp_cases) {
    e.dhcp = c.dhcp;
    const ConfigurationView v = InitialConfigurationView(e, true);
    EXPECT_EQ(v.dhcp_radios_enabled, c.radios) << c.dhcp;
    EXPECT_EQ(v.dhcp_enable_checked, c.enable) << c.dhcp;
    EXPECT_EQ(v.dhcp_disable_checked, c.disable) << c.dhcp;
    EXPECT_EQ(v.addresses_enabled, c.addresses) << c.dhcp;
  }
  // {group interval, setting on, visible, enabled, text}
  const std::tuple<std::int32_t, bool, bool, bool, const char*> interval_cases[] = {
      {GROUP_INTERVAL_NOT_REPORTED, true, true, false, ""},
      {0, true, true, true, "0"},
      {1225, true, true, true, "1225"},
      {125, false, false, false, ""},
  };
  for (const auto& [interval, on, visible, enabled, text] : interval_cases) {
    e.group_interval = interval;
    const ConfigurationView v = InitialConfigurationView(e, on);
    EXPECT_EQ(v.group_interval_visible, visible) << interval;
    EXPECT_EQ(v.group_interval_enabled, enabled) << interval;
    EXPECT_EQ(v.group_interval_text, text) << interval;
  }
}

TEST_F(ConfigurationFormTest, TheRadioButtonsExcludeEachOtherAndSwitchTheAddressControls) {
  ConfigurationForm form = FormFor(kMonitored);
  EXPECT_TRUE(form.View().dhcp_disable_checked);
  form.OnDhcpEnable();
  EXPECT_TRUE(form.View().dhcp_enable_checked);
  EXPECT_FALSE(form.View().dhcp_disable_checked);
  EXPECT_FALSE(form.View().addresses_enabled);
  form.OnDhcpDisable();
  EXPECT_FALSE(form.View().dhcp_enable_checked);
  EXPECT_TRUE(form.View().dhcp_disable_checked);
  EXPECT_TRUE(form.View().addresses_enabled);
}

}  // namespace
}  // namespace sd
