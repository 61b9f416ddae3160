// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/dhcp_refresh_form.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "support/operations.h"
#include "support/tlvs.h"

namespace sd {
namespace {

using test::ConfigurableSwitch;
using test::ShownMessage;
using test::TlvValue;

DeviceRecord Dhcp(std::string_view mac, std::string_view ip, std::uint16_t dhcp, std::uint16_t interface_version) {
  DeviceRecord r = ConfigurableSwitch(mac, ip);
  r.dhcp = dhcp;
  r.interface_version = interface_version;
  return r;
}

class DhcpRefreshTest : public ::testing::Test, protected test::OperationsFixture {};

TEST(DhcpRefreshAllowedTest, NeedsDhcpInUseAndInterfaceThreeOrLater) {
  // {dhcp, interface version, allowed}
  const std::tuple<std::uint16_t, std::uint16_t, bool> cases[] = {
      {DHCP_ON, 3, true},   {DHCP_ON, 4, true},   {DHCP_ON, 2, false},           {DHCP_ON, 1, false},
      {DHCP_OFF, 3, false}, {DHCP_OFF, 2, false}, {DHCP_NOT_REPORTED, 3, false},
  };
  for (const auto& [dhcp, interface_version, allowed] : cases) {
    DeviceRecord r = ZeroRecord();
    r.dhcp = dhcp;
    r.interface_version = interface_version;
    EXPECT_EQ(DhcpRefreshAllowed(r), allowed) << dhcp << " " << interface_version;
  }
}

TEST_F(DhcpRefreshTest, TheButtonFollowsASelectionOfOneRow) {
  AddDiscovered(Dhcp("0200000000a1", "198.18.0.11", DHCP_ON, 3));
  AddDiscovered(Dhcp("0200000000a2", "198.18.0.12", DHCP_ON, 2));
  AddMonitored(Dhcp("0200000000b1", "198.18.0.21", DHCP_OFF, 3));
  AddMonitored(Dhcp("0200000000b2", "198.18.0.22", DHCP_NOT_REPORTED, 3));
  AddMonitored(Dhcp("0200000000b3", "198.18.0.23", DHCP_ON, 3));
  EXPECT_FALSE(ops.DhcpRefreshButtonEnabled());  // disabled when the window opens

  auto click = [&](TableKind list, int row) {
    (list == TableKind::Discovery ? discovery_list : monitor_list).SetSelected(row, true);
    return ops.OnListSelection(list);
  };
  EXPECT_TRUE(click(TableKind::Discovery, 0));
  // Two rows selected (the second one's switch has interface 2): unchanged.
  EXPECT_TRUE(click(TableKind::Discovery, 1));
  discovery_list.SetSelected(0, false);
  EXPECT_FALSE(ops.OnListSelection(TableKind::Discovery));  // interface 2
  EXPECT_TRUE(click(TableKind::Monitor, 2));
  monitor_list.SetSelected(2, false);
  EXPECT_FALSE(click(TableKind::Monitor, 0));  // DHCP off
  monitor_list.SetSelected(0, false);
  EXPECT_TRUE(click(TableKind::Monitor, 2));
  monitor_list.SetSelected(2, false);
  EXPECT_FALSE(click(TableKind::Monitor, 1));  // DHCP not reported
  // A click that leaves nothing selected keeps the state.
  monitor_list.SetSelected(1, false);
  EXPECT_FALSE(ops.OnListSelection(TableKind::Monitor));
  monitor_list.SetSelected(2, true);
  EXPECT_TRUE(ops.OnListSelection(TableKind::Monitor));
  monitor_list.SetSelected(2, false);
  EXPECT_TRUE(ops.OnListSelection(TableKind::Monitor));
  // The state changes only when the change of the selection is reported.
  monitor_list.SetSelected(0, true);
  EXPECT_TRUE(ops.DhcpRefreshButtonEnabled());
}

TEST_F(DhcpRefreshTest, AfterASortTheButtonFollowsTheSwitchTheRowShows) {
  AddDiscovered(Dhcp("0200000000aa", "198.18.0.11", DHCP_OFF, 3));
  AddDiscovered(Dhcp("0200000000bb", "198.18.0.12", DHCP_ON, 3));
  dlg.OnColumnClickDiscovery(kDiscoveryColumnMac);  // descending: bb first
  ASSERT_EQ(discovery_list.Text(0, kDiscoveryColumnMac), "0200000000bb");
  discovery_list.SetSelected(0, true);
  EXPECT_TRUE(ops.OnListSelection(TableKind::Discovery));
  discovery_list.SetSelected(0, false);
  discovery_list.SetSelected(1, true);
  EXPECT_FALSE(ops.OnListSelection(TableKind::Discovery));
}

TEST_F(DhcpRefreshTest, ApplySendsTheTypedPasswordEvenWhenEmpty) {
  AddMonitored(Dhcp("001a2b3c4d5e", "198.18.0.11", DHCP_ON, 3));
  for (const char* password : {"admin", ""}) {
    sender.sent.clear();
    DhcpRefreshForm form(Context(), {0, 1});
    EXPECT_TRUE(form.OnApply(password));
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), std::vector<std::uint8_t>(password, password + std::strlen(password)));
    const auto h = ParseHeader(sender.sent[0].bytes);
    EXPECT_EQ(h->version_minor, 1);
    EXPECT_EQ(h->interface_version, 3);
    EXPECT_EQ(h->command, CMD_SET_UNICAST);
  }
  EXPECT_EQ(sender.refreshes, 2);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DhcpRefreshTest, APasswordLongerThanTheFieldIsRefusedNotCut) {
  AddMonitored(Dhcp("001a2b3c4d5e", "198.18.0.11", DHCP_ON, 3));
  // {password, sent}: 20 bytes fit; 21 bytes, also when the last character takes two, do not.
  const std::pair<std::string, bool> cases[] = {
      {std::string(20, 'p'), true},
      {std::string(21, 'p'), false},
      {std::string(19, 'p') + "\xC3\xA9", false},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", true},
  };
  for (const auto& [password, sent] : cases) {
    sender.sent.clear();
    messages.shown.clear();
    DhcpRefreshForm form(Context(), {0, 1});
    EXPECT_EQ(form.OnApply(password), sent) << password;
    if (sent) {
      ASSERT_EQ(sender.sent.size(), 1u) << password;
      EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), std::vector<std::uint8_t>(password.begin(), password.end()));
      EXPECT_TRUE(messages.shown.empty());
    } else {
      EXPECT_TRUE(sender.sent.empty()) << password;
      EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Password must be 1-20 characters long.", "Error",
                                                            MessageIcon::Error}}));
    }
  }
}

TEST_F(DhcpRefreshTest, ADiscoveredSwitchGetsCommandThreeByBroadcastAndGroup) {
  AddDiscovered(Dhcp("001a2b3c4d60", "198.18.0.12", DHCP_ON, 3));
  SelectDiscoveryRow(0);
  dhcp_dialog.script = [](DhcpRefreshForm& form) { EXPECT_TRUE(form.OnApply("admin")); };
  ops.OnDhcpRefresh();
  EXPECT_EQ(dhcp_dialog.runs, 1);
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(sender.sent[0].route, SendRoute::Broadcast);
  EXPECT_EQ(sender.sent[1].route, SendRoute::Multicast);
  EXPECT_EQ(ParseHeader(sender.sent[1].bytes)->command, CMD_SET);
}

TEST_F(DhcpRefreshTest, ASendFailureHasItsOwnTextAndStillCloses) {
  AddMonitored(Dhcp("001a2b3c4d5e", "198.18.0.11", DHCP_ON, 3));
  sender.failing = {SendRoute::Unicast};
  DhcpRefreshForm form(Context(), {0, 1});
  EXPECT_TRUE(form.OnApply("admin"));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Unicast set send error", "Error", MessageIcon::Error}}));
}

TEST_F(DhcpRefreshTest, TheLauncherNeverAsksASwitchWithoutDhcpToDropItsAddresses) {
  // The button was enabled for a DHCP switch; another one was selected before the change was
  // reported.
  AddMonitored(Dhcp("0200000000b1", "198.18.0.21", DHCP_ON, 3));
  AddMonitored(Dhcp("0200000000b2", "198.18.0.22", DHCP_OFF, 3));
  AddMonitored(Dhcp("0200000000b3", "198.18.0.23", DHCP_ON, 2));
  SelectMonitorRow(0);
  ASSERT_TRUE(ops.OnListSelection(TableKind::Monitor));
  monitor_list.SetSelected(0, false);

  monitor_list.SetSelected(1, true);
  ops.OnDhcpRefresh();
  monitor_list.SetSelected(1, false);
  monitor_list.SetSelected(2, true);
  ops.OnDhcpRefresh();
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{
                                {"The selected device does not use DHCP.", "Error", MessageIcon::Error},
                                {"agent interface version not support", "Error", MessageIcon::Error}}));
  EXPECT_EQ(dhcp_dialog.runs, 0);
  EXPECT_TRUE(sender.sent.empty());
}

}  // namespace
}  // namespace sd
