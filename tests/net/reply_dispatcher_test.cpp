// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/reply_dispatcher.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <poll.h>

#include "net/udp_socket.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "support/datagrams.h"
#include "support/main_dialog.h"

namespace sd {
namespace {

using test::AgentDatagram;
using test::ShownMessage;
using test::Switch;

constexpr std::uint32_t kSwitchIp = 0xC612000A;  // 198.18.0.10
constexpr const char* kSwitchMac = "020000000010";

class ReplyDispatcherTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  void Receive(const AgentDatagram& d, std::uint32_t source = kSwitchIp) {
    dispatcher.Dispatch(d.Bytes(), source);
  }
  AgentDatagram FullReply() {
    AgentDatagram d;
    d.Text(TLV_PRODUCT_NAME, "SIM-8")
        .Text(TLV_SYSTEM_NAME, "edge")
        .Address(TLV_IP_ADDRESS, "198.18.0.10")
        .Address(TLV_SUBNET_MASK, "255.255.255.0")
        .Dhcp(1)
        .Tlv(TLV_GROUP_INTERVAL, {0, 0, 0, 125});
    return d;
  }

  std::vector<std::vector<std::uint8_t>> traps;
  ReplyDispatcher dispatcher{dlg.Lists(), messages, [this](std::span<const std::uint8_t> p) {
                               traps.emplace_back(p.begin(), p.end());
                             }};
};

TEST_F(ReplyDispatcherTest, HeaderChecksDropSilently) {
  AgentDatagram foreign = FullReply();
  foreign.manager_id = 0x01020304;
  AgentDatagram old_minor = FullReply();
  old_minor.version_minor = 0;
  Receive(foreign);
  Receive(old_minor);
  dispatcher.Dispatch(std::vector<std::uint8_t>(39, 0), kSwitchIp);
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 0);
  EXPECT_TRUE(messages.shown.empty());
}

// Over loopback sockets: the first 1500 bytes of a longer datagram would pass every check.
TEST_F(ReplyDispatcherTest, ADatagramLongerThan1500BytesIsDroppedWhole) {
  auto receiver = UdpSocket::Open();
  auto sender = UdpSocket::Open();
  ASSERT_TRUE(receiver && sender && receiver->Bind(0, kLoopbackAddress) && sender->Bind(0, kLoopbackAddress));
  const struct {
    std::size_t size;
    bool filed;
  } cases[] = {{1500, true}, {1501, false}, {4000, false}, {65000, false}};
  for (std::uint8_t i = 0; i < 4; ++i) {
    AgentDatagram d = FullReply();
    d.mac[5] = i;
    std::vector<std::uint8_t> bytes = d.Bytes();
    bytes.resize(cases[i].size, 0);  // a TLV of type 0 ends the fields
    ASSERT_TRUE(sender->SendTo(bytes, *receiver->LocalEndpoint()));
    pollfd p{receiver->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_TRUE(dispatcher.ReceiveDatagram(*receiver)) << "a datagram was read, filed or not";
    const std::string mac = "02000000000" + std::to_string(i);
    EXPECT_EQ(dlg.DiscoveryTable().FindByMac(mac).found, cases[i].filed) << cases[i].size;
  }
  EXPECT_FALSE(dispatcher.ReceiveDatagram(*receiver)) << "nothing was waiting";
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_TRUE(messages.shown.empty());
}

// Over loopback: the card a switch's datagram came in on is noted by its MAC address once the
// datagram passes the header checks; a foreign manager's datagram notes nothing.
TEST_F(ReplyDispatcherTest, TheCardAReplyCameInOnIsNotedForItsSwitch) {
  SwitchInterfaces switches;
  dispatcher.NoteInterfacesIn(&switches);
  auto receiver = UdpSocket::Open();
  auto sender = UdpSocket::Open();
  ASSERT_TRUE(receiver && sender && receiver->Bind(0, kLoopbackAddress) && sender->Bind(0, kLoopbackAddress));
  ASSERT_TRUE(receiver->EnablePacketInfo());
  AgentDatagram foreign = FullReply();
  foreign.manager_id = 0x01020304;
  foreign.mac[5] = 0x11;
  for (const AgentDatagram& d : {FullReply(), foreign}) {
    ASSERT_TRUE(sender->SendTo(d.Bytes(), *receiver->LocalEndpoint()));
    pollfd p{receiver->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    ASSERT_TRUE(dispatcher.ReceiveDatagram(*receiver));
  }
  EXPECT_EQ(switches.Find(kSwitchMac), ::if_nametoindex("lo"));
  EXPECT_EQ(switches.Find("020000000011"), 0u);

  dispatcher.Dispatch(FullReply().Bytes(), kSwitchIp, 9);
  EXPECT_EQ(switches.Find(kSwitchMac), 9u);
}

TEST_F(ReplyDispatcherTest, NewDeviceIsAddedToTheDiscoveryListAndUpdatedInPlace) {
  Receive(FullReply());
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  DeviceRecord e = dlg.DiscoveryTable().Entry(0);
  EXPECT_EQ(GetText(e.mac_text), kSwitchMac);
  EXPECT_EQ(GetText(e.system_name), "edge");
  EXPECT_EQ(e.manager_id, Settings.manager_id);
  EXPECT_EQ(e.answered, 1u);
  EXPECT_EQ(e.last_command, CMD_DISCOVER_REPLY);
  EXPECT_EQ(discovery_list.Text(0, 1), "198.18.0.10");
  EXPECT_EQ(discovery_list.Text(0, 5), "enable");
  EXPECT_EQ(discovery_list.Text(0, 10), "125");

  AgentDatagram again = FullReply();
  again.payload.clear();
  again.Text(TLV_SYSTEM_NAME, "renamed");
  Receive(again);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_EQ(dlg.DiscoveryTable().Entry(0).row_state, 1u);
  EXPECT_EQ(discovery_list.Text(0, 4), "renamed");
  EXPECT_EQ(discovery_list.Text(0, 5), "enable") << "interface version 2 keeps an unreported DHCP mode";
}

TEST_F(ReplyDispatcherTest, UnreportedDhcpShowsEmptyForInterfaceVersionOne) {
  AgentDatagram v1;
  v1.interface_version = 1;
  v1.Dhcp(1);
  Receive(v1);
  AgentDatagram silent;
  silent.interface_version = 1;
  Receive(silent);
  EXPECT_EQ(dlg.DiscoveryTable().Entry(0).dhcp, DHCP_NOT_REPORTED);
  EXPECT_EQ(discovery_list.Text(0, 5), "");
}

TEST_F(ReplyDispatcherTest, MonitoredDeviceByAddressAndByMac) {
  DeviceRecord watched = Switch(kSwitchMac, "198.18.0.10");
  watched.status_image = 1;
  watched.row_state = 2;
  AddMonitored(watched);
  Receive(FullReply());
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 0) << "only the Monitor List is updated";
  DeviceRecord e = dlg.MonitorTable().Entry(0);
  EXPECT_EQ(e.status_image, -1);
  EXPECT_EQ(e.row_state, 1u);
  EXPECT_EQ(GetText(e.system_name), "edge");

  // Marked not alive, the device comes back from a new address: found by MAC, it takes the new
  // address and keeps the not-alive image.
  dlg.UpdateMonitorEntry(0, [](DeviceRecord& r) { r.status_image = 1; });
  AgentDatagram moved = FullReply();
  moved.payload.clear();
  moved.Address(TLV_IP_ADDRESS, "198.18.0.77");
  Receive(moved, 0xC612004D);
  ASSERT_EQ(dlg.MonitorTable().Count(), 1);
  e = dlg.MonitorTable().Entry(0);
  EXPECT_EQ(GetText(e.ip_text), "198.18.0.77");
  EXPECT_EQ(e.status_image, 1);
  EXPECT_EQ(monitor_list.Text(0, 1), "198.18.0.77");
  EXPECT_EQ(monitor_list.Image(0), 1);
}

// Every switch without a lease answers from 0.0.0.0: that address names none of them. A
// monitored switch that lost its lease is found by its MAC and keeps its address, the Monitor
// List's key, so two such switches keep a row each; another unleased switch is not taken for
// it, and a trap "from" 0.0.0.0 leaves no trace.
TEST_F(ReplyDispatcherTest, TheAddressZeroNeverFindsAMonitoredSwitch) {
  AddMonitored(Switch(kSwitchMac, "198.18.0.10"));
  AddMonitored(Switch("020000000011", "198.18.0.11"));
  AgentDatagram unleased;
  unleased.Text(TLV_SYSTEM_NAME, "edge").Address(TLV_IP_ADDRESS, "0.0.0.0").Dhcp(1);
  Receive(unleased, 0);
  AgentDatagram second;
  second.Text(TLV_SYSTEM_NAME, "core").Address(TLV_IP_ADDRESS, "0.0.0.0").Dhcp(1);
  second.mac[5] = 0x11;
  Receive(second, 0);
  ASSERT_EQ(dlg.MonitorTable().Count(), 2);
  EXPECT_EQ(GetText(dlg.MonitorTable().Entry(0).ip_text), "198.18.0.10");
  EXPECT_EQ(GetText(dlg.MonitorTable().Entry(1).ip_text), "198.18.0.11");
  EXPECT_EQ(dlg.MonitorTable().Entry(1).ip, 0xC612000Bu);
  EXPECT_EQ(monitor_list.Text(0, 1), "198.18.0.10");
  EXPECT_EQ(monitor_list.Text(1, 1), "198.18.0.11");
  EXPECT_EQ(monitor_list.Text(0, 5), "edge");
  EXPECT_EQ(monitor_list.Text(1, 5), "core");
  ASSERT_EQ(monitor_list.RowCount(), 2);

  AgentDatagram other = unleased;
  other.mac[5] = 0x99;
  Receive(other, 0);
  EXPECT_EQ(GetText(dlg.MonitorTable().Entry(0).mac_text), kSwitchMac);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_EQ(GetText(dlg.DiscoveryTable().Entry(0).mac_text), "020000000099");

  AgentDatagram header_only = other;
  header_only.command = CMD_UNCONFIGURABLE_REPLY;
  Receive(header_only, 0);
  EXPECT_EQ(GetText(dlg.MonitorTable().Entry(0).mac_text), kSwitchMac);
  EXPECT_EQ(dlg.DiscoveryTable().Entry(0).firmware_state, FIRMWARE_STATE_UNCONFIGURABLE);
  EXPECT_TRUE(messages.shown.empty());
}

// The traffic observer hears of each reply filed into a Monitor List entry, with the address the
// entry has afterwards: found by address, by MAC from a new address, by MAC from 0.0.0.0 (the
// entry keeps its address), a header-only reply; never of a reply filed into the Discovery List
// or of a trap.
TEST_F(ReplyDispatcherTest, TheTrafficObserverHearsOfEveryReplyFiledIntoTheMonitorList) {
  struct Recorder : ITrafficObserver {
    void OnPollSent(std::uint32_t) override {}
    void OnMonitorReply(std::uint32_t ip) override { replies.push_back(ip); }
    std::vector<std::uint32_t> replies;
  } recorder;
  dispatcher.SetTrafficObserver(&recorder);
  AddMonitored(Switch(kSwitchMac, "198.18.0.10"));

  Receive(FullReply());
  AgentDatagram unleased;
  unleased.Address(TLV_IP_ADDRESS, "0.0.0.0");
  Receive(unleased, 0);
  AgentDatagram header_only;
  header_only.command = CMD_UNCONFIGURABLE_REPLY;
  Receive(header_only);
  AgentDatagram moved;
  moved.Address(TLV_IP_ADDRESS, "198.18.0.77");
  Receive(moved, 0xC612004D);
  AgentDatagram stranger = FullReply();
  stranger.mac[5] = 0x99;
  Receive(stranger, 0xC6120063);
  AgentDatagram trap;
  trap.command = CMD_TRAP;
  Receive(trap, 0xC612004D);

  EXPECT_EQ(recorder.replies, (std::vector<std::uint32_t>{kSwitchIp, kSwitchIp, kSwitchIp, 0xC612004D}));
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_EQ(traps.size(), 1u);
}

TEST_F(ReplyDispatcherTest, FullDiscoveryListRefusesANewDevice) {
  for (int i = 0; i < 256; ++i) {
    char mac[13];
    std::snprintf(mac, sizeof mac, "0200000a%04x", i);
    AddDiscovered(Switch(mac, "10.9." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1)));
  }
  Receive(FullReply());
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 256);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{
                                {"Cannot add device.\nMaximum of 256 devices reached.", "Error", MessageIcon::Error}}));
}

TEST_F(ReplyDispatcherTest, AgentErrorsAreShownBeforeAnythingIsFiled) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0x0012, "Password error."}, {0x0007, "Unknow error"}, {3, "Command error."}, {5, "Acl error"}};
  for (auto [result, text] : cases) {
    messages.shown.clear();
    AgentDatagram d = FullReply();
    d.command = CMD_SET_REPLY;
    d.result = result;
    d.sequence = set_sequence;
    const std::uint16_t before = set_sequence;
    Receive(d);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{text});
    EXPECT_EQ(set_sequence, static_cast<std::uint16_t>(before + 1)) << "an error reply still advances the sequence";
    EXPECT_EQ(dlg.DiscoveryTable().Count(), 0);
  }
}

TEST_F(ReplyDispatcherTest, SequenceRules) {
  set_sequence = 65535;
  AgentDatagram reply = FullReply();
  reply.command = CMD_SET_REPLY;
  reply.sequence = 65535;
  Receive(reply);
  EXPECT_EQ(set_sequence, 0) << "65535 is followed by 0";
  Receive(reply);  // the old number again: dropped
  EXPECT_EQ(set_sequence, 0);
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 1);
  dlg.ClearDiscoveryList();
  Receive(reply);
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 0) << "a stale reply files nothing";

  AgentDatagram unicast = FullReply();
  unicast.command = CMD_SET_UNICAST_REPLY;
  unicast.sequence = 999;
  Receive(unicast);
  EXPECT_EQ(set_sequence, 0) << "unicast set replies neither need nor move the sequence";
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 1);
}

TEST_F(ReplyDispatcherTest, SetSuccessfulOnceForTheAwaitedDevice) {
  OperationContext::Instance().SetAwaitedMac(kSwitchMac);
  AgentDatagram reply = FullReply();
  reply.command = CMD_SET_UNICAST_REPLY;
  Receive(reply);
  Receive(reply);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Set successful", "Information", MessageIcon::Information}}));
  EXPECT_EQ(OperationContext::Instance().AwaitedMac(), "");

  // A reply from a device whose address was reported as 0.0.0.0 ends no wait that nobody started.
  messages.shown.clear();
  AgentDatagram zero = FullReply();
  zero.command = CMD_SET_UNICAST_REPLY;
  zero.payload.clear();
  zero.Address(TLV_IP_ADDRESS, "0.0.0.0");
  Receive(zero);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ReplyDispatcherTest, DhcpRefreshFailureIsFiledAndEndsTheWaitQuietly) {
  OperationContext::Instance().SetAwaitedMac(kSwitchMac);
  AgentDatagram reply = FullReply();
  reply.command = CMD_SET_REPLY;
  reply.result = RESULT_DHCP_REFRESH_FAIL;
  Receive(reply);
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Dhcp refresh fail"});
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_EQ(GetText(dlg.DiscoveryTable().Entry(0).system_name), "edge");
  EXPECT_EQ(dlg.DiscoveryTable().Entry(0).last_command, 0);
  EXPECT_EQ(OperationContext::Instance().AwaitedMac(), "");
}

TEST_F(ReplyDispatcherTest, HeaderOnlyRepliesTrapsAndUpgradeFlags) {
  // An older protocol generation is filed from its header alone, even a trap.
  AgentDatagram old = FullReply();
  old.version_major = 1;
  old.Trap("198.18.0.10", "link down");
  Receive(old);
  EXPECT_TRUE(traps.empty());
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_EQ(GetText(dlg.DiscoveryTable().Entry(0).system_name), "") << "TLVs of another generation are not read";
  EXPECT_EQ(dlg.DiscoveryTable().Entry(0).last_command, 0);

  AgentDatagram unconfigurable;
  unconfigurable.mac[5] = 0x11;
  unconfigurable.command = CMD_UNCONFIGURABLE_REPLY;
  Receive(unconfigurable, 0xC612000B);
  EXPECT_EQ(dlg.DiscoveryTable().Entry(1).firmware_state, FIRMWARE_STATE_UNCONFIGURABLE);

  AgentDatagram trap;
  trap.Trap("198.18.0.10", "port 3 up");
  Receive(trap);
  ASSERT_EQ(traps.size(), 1u);
  EXPECT_EQ(traps[0].size(), 4u + 9u + 1u);

  auto& context = OperationContext::Instance();
  context.SetUpgradeTargetMac(kSwitchMac);
  AgentDatagram ack;
  ack.command = CMD_UPGRADE_TRIGGER_REPLY;
  ack.sequence = set_sequence;
  const int before = dlg.DiscoveryTable().Count();
  Receive(ack);
  EXPECT_EQ(context.UpgradeAcknowledged(), 1);
  EXPECT_EQ(dlg.DiscoveryTable().Count(), before);
  EXPECT_FALSE(dispatcher.RebootSeen());
  Receive(FullReply());
  EXPECT_TRUE(dispatcher.RebootSeen());
}

TEST_F(ReplyDispatcherTest, SelectionSurvivesARebuiltRow) {
  AddMonitored(Switch(kSwitchMac, "198.18.0.10"));
  AddMonitored(Switch("020000000011", "198.18.0.11"));
  monitor_list.SetSelected(0, true);
  Receive(FullReply());
  EXPECT_EQ(monitor_list.SelectedRows(), std::vector<int>{0});
}

}  // namespace
}  // namespace sd
