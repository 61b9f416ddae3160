// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/set_requests.h"

#include <gtest/gtest.h>

#include <tuple>

#include "protocol/operation_context.h"
#include "support/hex.h"
#include "support/operations.h"

namespace sd {
namespace {

using test::ConfigurableSwitch;
using test::Hex;
using test::SentDatagram;
using test::ShownMessage;

constexpr std::uint16_t kAgentPort = 50002;
constexpr std::uint32_t kGroup = 0xEFFF6464;  // 239.255.100.100

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

class SetRequestsTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  void SetUp() override {
    AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "198.18.0.11"));
    AddMonitored(ConfigurableSwitch("001a2b3c4d5f", "198.18.0.12"));
    AddDiscovered(ConfigurableSwitch("001a2b3c4d60", "198.18.0.13"));
  }
  static constexpr TargetDevice kMonitored{0, 1};
  static constexpr TargetDevice kDiscovered{0, 0};
};

TEST_F(SetRequestsTest, APasswordChangeGoesToADiscoveredSwitchByBroadcastAndThenToTheGroup) {
  DeviceRecord working = ConfigurableSwitch("001a2b3c4d5e", "198.18.0.13");
  SetText(working.password, "old");
  SetText(working.new_password, "new-pass");
  set_sequence = 7;
  ASSERT_EQ(SendPasswordChange(Context(), working, kDiscovered), 0);

  const auto expected = Hex(
      "0002 0000 001a2b3c4d5e 0000 0003 0000 01945ae0 000000000000 0007 000000000000000000000000"
      "0009 0007 'old'"
      "0008 000c 'new-pass'");
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(sender.sent[0].route, SendRoute::Broadcast);
  EXPECT_EQ(sender.sent[0].to, (Endpoint{0xFFFFFFFF, kAgentPort}));
  EXPECT_EQ(sender.sent[0].bytes, expected);
  EXPECT_EQ(sender.sent[1].route, SendRoute::Multicast);
  EXPECT_EQ(sender.sent[1].to, (Endpoint{kGroup, kAgentPort}));
  EXPECT_EQ(sender.sent[1].bytes, expected);
  EXPECT_TRUE(messages.shown.empty());
}

// A discovered switch's broadcast and group sends name the switch, so that they leave by the card
// its replies came in on; a monitored switch's unicast needs no card.
TEST_F(SetRequestsTest, BroadcastAndGroupSendsNameTheChosenSwitchForItsCard) {
  const DeviceRecord working = ConfigurableSwitch("001a2b3c4d60", "198.18.0.13");
  ASSERT_EQ(SendDhcpRefresh(Context(), working, kDiscovered), 0);
  ASSERT_EQ(SendDhcpRefresh(Context(), ConfigurableSwitch("001a2b3c4d5f", "198.18.0.12"), kMonitored), 0);
  ASSERT_EQ(sender.sent.size(), 3u);
  EXPECT_EQ(sender.sent[0].switch_mac, "001a2b3c4d60");
  EXPECT_EQ(sender.sent[1].switch_mac, "001a2b3c4d60");
  EXPECT_EQ(sender.sent[2].route, SendRoute::Unicast);
  EXPECT_EQ(sender.sent[2].switch_mac, "");
}

TEST_F(SetRequestsTest, ADhcpRefreshCarriesTheWholeManagerVersionAndZeroAddresses) {
  DeviceRecord working = ConfigurableSwitch("001a2b3c4d5e", "198.18.0.11");
  working.dhcp = DHCP_ON;
  SetText(working.password, "pw");
  set_sequence = 0x0102;
  ASSERT_EQ(SendDhcpRefresh(Context(), working, kMonitored), 0);

  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].route, SendRoute::Unicast);
  EXPECT_EQ(sender.sent[0].to, (Endpoint{Ip("198.18.0.11"), kAgentPort}));
  EXPECT_EQ(sender.sent[0].bytes,
            Hex("0002 0001 001a2b3c4d5e 0003 0007 0000 01945ae0 000000000000 0102 000000000000000000000000"
                "0009 0006 'pw'"
                "0001 000a 'GS-108'"
                "0002 0008 'edge'"
                "0003 0008 'hall'"
                "0004 0008 00000000"   // IP address
                "0006 0008 00000000"   // gateway
                "0007 0008 00000000"   // trap receiver (none)
                "0005 0008 00000000"   // subnet mask
                "000a 0006 0001"       // DHCP on
                "0016 0008 0000007d"));  // group interval 125
}

TEST(DhcpChangeModeTest, ComparesTheChosenStateWithTheStoredOne) {
  // {chosen, stored, mode}
  const std::tuple<std::uint16_t, std::uint16_t, std::uint16_t> cases[] = {
      {DHCP_OFF, DHCP_OFF, DHCP_MODE_UNCHANGED},          {DHCP_OFF, DHCP_ON, DHCP_MODE_OFF},
      {DHCP_OFF, DHCP_NOT_REPORTED, DHCP_MODE_OFF},       {DHCP_ON, DHCP_ON, DHCP_MODE_UNCHANGED},
      {DHCP_ON, DHCP_OFF, DHCP_MODE_ON},                  {DHCP_ON, DHCP_NOT_REPORTED, DHCP_MODE_ON},
      {DHCP_NOT_REPORTED, DHCP_OFF, DHCP_MODE_UNCHANGED}, {DHCP_NOT_REPORTED, DHCP_ON, DHCP_MODE_UNCHANGED},
  };
  for (const auto& [chosen, stored, mode] : cases) {
    EXPECT_EQ(DhcpChangeMode(chosen, stored), mode) << chosen << " " << stored;
  }
}

TEST_F(SetRequestsTest, SendFailuresAreReportedAndABroadcastFailureSendsNothingToTheGroup) {
  enum class Kind { Configuration, Password, DhcpRefresh };
  struct Case {
    Kind kind;
    TargetDevice target;
    SendRoute failing;
    const char* message;
    std::size_t attempts;
  };
  const Case cases[] = {
      {Kind::Configuration, kMonitored, SendRoute::Unicast, "Unicast set send error.", 1},
      {Kind::Password, kMonitored, SendRoute::Unicast, "Unicast set send error.", 1},
      {Kind::DhcpRefresh, kMonitored, SendRoute::Unicast, "Unicast set send error", 1},
      {Kind::Configuration, kDiscovered, SendRoute::Broadcast, "UDP set send error", 1},
      {Kind::Password, kDiscovered, SendRoute::Broadcast, "UDP set send error", 1},
      {Kind::DhcpRefresh, kDiscovered, SendRoute::Broadcast, "UDP set send error", 1},
      {Kind::Configuration, kDiscovered, SendRoute::Multicast, "UDP set send error", 2},
      {Kind::Password, kDiscovered, SendRoute::Multicast, "UDP set send error", 2},
      {Kind::DhcpRefresh, kDiscovered, SendRoute::Multicast, "UDP set send error", 2},
  };
  for (const Case& c : cases) {
    sender.sent.clear();
    sender.failing = {c.failing};
    messages.shown.clear();
    const DeviceRecord working = TargetEntry(dlg.Lists(), c.target);
    int result = 0;
    switch (c.kind) {
      case Kind::Configuration: result = SendConfiguration(Context(), working, c.target); break;
      case Kind::Password: result = SendPasswordChange(Context(), working, c.target); break;
      case Kind::DhcpRefresh: result = SendDhcpRefresh(Context(), working, c.target); break;
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(sender.sent.size(), c.attempts) << c.message;
    EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{c.message, "Error", MessageIcon::Error}}));
  }
}

TEST_F(SetRequestsTest, EachRequestIsCountedForLivenessRightBeforeItLeaves) {
  // Entry 0 has answered since its last request; entry 1 has missed two.
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& e) { e.answered = 1, e.missed_polls = 5; });
  dlg.UpdateMonitorEntry(1, [](DeviceRecord& e) { e.answered = 0, e.missed_polls = 2; });
  std::vector<std::pair<std::uint32_t, std::uint32_t>> at_send;
  sender.on_send = [&](SendRoute) {
    for (int i = 0; i < 2; ++i) {
      const DeviceRecord e = dlg.MonitorTable().Entry(i);
      at_send.emplace_back(e.answered, e.missed_polls);
    }
  };
  // A Monitor List target: only its own entry, once.
  SendPasswordChange(Context(), TargetEntry(dlg.Lists(), {1, 1}), {1, 1});
  EXPECT_EQ(at_send, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 5}, {0, 3}}));

  // A Discovery List target: every monitored entry, once for both datagrams.
  at_send.clear();
  SendConfiguration(Context(), TargetEntry(dlg.Lists(), kDiscovered), kDiscovered);
  EXPECT_EQ(at_send, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 0}, {0, 4}, {0, 0}, {0, 4}}));
}

TEST_F(SetRequestsTest, TheAwaitedReplyIsTheTargetsAndAStaleAddressIsForgotten) {
  auto& context = OperationContext::Instance();
  DeviceRecord config = ZeroRecord();
  SetText(config.mac_text, "001a2b3c4d5e");
  config.ip = Ip("198.18.0.50");
  config.field_mask[0] = 0x8;  // the IP address only
  config.dhcp = DHCP_NOT_REPORTED;
  config.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  SendConfiguration(Context(), config, kMonitored);
  EXPECT_EQ(context.AwaitedMac(), "001a2b3c4d5e");
  EXPECT_EQ(context.AwaitedIp(), Ip("198.18.0.50"));
  // The request still goes to the address the switch has now.
  EXPECT_EQ(sender.sent.back().to.address, Ip("198.18.0.11"));

  SendPasswordChange(Context(), TargetEntry(dlg.Lists(), {1, 1}), {1, 1});
  EXPECT_EQ(context.AwaitedMac(), "001a2b3c4d5f");
  EXPECT_EQ(context.AwaitedIp(), 0u);
}

TEST_F(SetRequestsTest, APasswordChangeForASwitchThatTakesNoPasswordsIsTheBareHeader) {
  DeviceRecord working = TargetEntry(dlg.Lists(), kMonitored);
  working.field_mask[0] = 0x2002FF & ~0x180u;
  SetText(working.password, "old");
  SetText(working.new_password, "new");
  SendPasswordChange(Context(), working, kMonitored);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].bytes.size(), kHeaderSize);
  EXPECT_EQ(ParseHeader(sender.sent[0].bytes)->command, CMD_SET_UNICAST);
}

TEST(RequestDatagramTest, AMovedOrDestroyedDatagramLeavesNoBytesBehind) {
  DeviceRecord working = ZeroRecord();
  SetText(working.password, "secret");
  working.field_mask[0] = 0x100;
  RequestDatagram first = BuildPasswordChangeRequest(working, 1);
  ASSERT_EQ(first.Size(), kHeaderSize + 10);
  RequestDatagram second(std::move(first));
  EXPECT_EQ(first.Size(), 0u);
  for (std::uint8_t b : first.Buffer()) ASSERT_EQ(b, 0);
  EXPECT_EQ(std::string(second.Bytes().begin() + kHeaderSize + 4, second.Bytes().end()), "secret");
}

}  // namespace
}  // namespace sd
