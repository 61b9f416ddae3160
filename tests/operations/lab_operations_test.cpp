// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end in the lab (tools/lab/lab.sh run): the device operations' requests go from this
// program's sockets in the manager namespace to the switch simulator in the switch namespace,
// and the replies are decoded here as the manager decodes them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "operations/configuration_form.h"
#include "operations/dhcp_refresh_form.h"
#include "operations/password_form.h"
#include "operations/request_sender.h"
#include "protocol/device_record.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "support/child_process.h"
#include "support/main_dialog.h"

namespace sd {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kAgentPort = 50002;
constexpr const char* kGroup = "239.255.100.100";

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3,name=edge,gateway=198.18.0.1,password=admin",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=3,dhcp=on,lease=198.18.0.15,password=admin",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,dhcp=on,refresh=fail,password=admin",
};

struct Reply {
  PacketHeader header;
  DeviceRecord record;  // as the dispatcher prepares and decodes it
  Endpoint source;
};

class LabOperationsTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  static bool InsideTheLab() {
    auto probe = UdpSocket::Open();
    return std::getenv("LAB_SWITCH_NS") != nullptr && probe && probe->Bind(0, Ip("198.18.0.1"));
  }

  void SetUp() override {
    if (!InsideTheLab()) {
      if (std::getenv("SWITCHDESK_REQUIRE_LAB") == nullptr) GTEST_SKIP() << "run through tools/lab/lab.sh run";
      FAIL() << "SWITCHDESK_REQUIRE_LAB is set: this test must run inside the lab (tools/lab/lab.sh run)";
    }
    std::vector<std::string> argv = {"ip", "netns", "exec", std::getenv("LAB_SWITCH_NS"), SWITCHSIM_PATH,
                                     "--agent-port", std::to_string(kAgentPort), "--manager-port", "50001",
                                     "--manager-id", "01945AE0", "--group", kGroup, "--manager", "198.18.0.1"};
    for (const auto& definition : kSwitches) {
      argv.push_back("--switch");
      argv.push_back(definition);
    }
    ASSERT_TRUE(sim.Start(argv));
    const auto ready = sim.ReadLine();
    ASSERT_TRUE(ready && ready->rfind("ready", 0) == 0) << "the simulator did not start";

    sockets.CreateBroadcastSocket(messages);
    ASSERT_TRUE(sockets.CreateMulticastSocket(messages));
    sockets.CreateUnicastSocket(messages);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
  }

  void TearDown() override {
    sockets.CloseSocketSet();
    sim.Stop();
  }

  RequestContext Context() { return {dlg.Lists(), sender, messages}; }

  // The replies that arrive on the three sockets until `count` came or the time is up.
  std::vector<Reply> Replies(std::size_t count, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    std::vector<Reply> replies;
    std::array<std::uint8_t, kMaxDatagram> buffer{};
    const auto deadline = Clock::now() + wait;
    while (replies.size() < count && Clock::now() < deadline) {
      bool any = false;
      for (UdpSocket* s : {sockets.Broadcast(), sockets.Multicast(), sockets.Unicast()}) {
        const auto r = s->Receive(buffer);
        if (!r) continue;
        any = true;
        const std::span<const std::uint8_t> datagram(buffer.data(), r->size);
        const auto header = ParseHeader(datagram);
        if (!header) continue;
        DeviceRecord record = ZeroRecord();
        record.dhcp = DHCP_NOT_REPORTED;
        record.group_interval = GROUP_INTERVAL_NOT_REPORTED;
        MacBytesToText(header->mac.data(), record.mac_text);
        record.version_major = header->version_major;
        record.version_minor = header->version_minor;
        record.interface_version = header->interface_version;
        const auto mask = DefaultFieldMask(header->interface_version);
        std::memcpy(record.field_mask, mask.data(), sizeof record.field_mask);
        SetIp(record, r->source.address);
        DecodeDeviceTlvs(datagram.subspan(kHeaderSize), record);
        replies.push_back({*header, record, r->source});
      }
      if (!any) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return replies;
  }

  // Polls `ip` and gives the switch's answer, as the poll thread would file it.
  std::optional<Reply> Poll(const char* ip, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    std::uint8_t poll[kHeaderSize];
    BuildRequestHeader(poll, CMD_POLL);
    if (!sockets.Unicast()->SendTo(poll, {Ip(ip), kAgentPort})) return std::nullopt;
    auto replies = Replies(1, wait);
    if (replies.empty()) return std::nullopt;
    return replies[0];
  }

  test::ChildProcess sim;
  SocketSet sockets;
  SocketSetSender sender{sockets};
};

TEST_F(LabOperationsTest, AConfigurationMovesTheSwitchAndAPollReachesItAtItsNewAddress) {
  const auto polled = Poll("198.18.0.10");
  ASSERT_TRUE(polled);
  AddMonitored(polled->record);
  ConfigurationForm form(Context(), {0, 1}, 0, 1);
  ConfigurationInput in;
  in.system_name = "moved";
  in.location = "rack 4";
  in.password = "admin";
  in.ip = Ip("198.18.0.16");
  in.subnet_mask = Ip("255.255.255.0");
  in.gateway = Ip("198.18.0.1");
  ASSERT_TRUE(form.OnSet(in));
  ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;

  const auto replies = Replies(1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].header.command, CMD_SET_UNICAST_REPLY);
  EXPECT_EQ(replies[0].header.ResultCode(), RESULT_OK);
  EXPECT_EQ(replies[0].source.address, Ip("198.18.0.10"));  // answered where the request arrived
  EXPECT_STREQ(replies[0].record.ip_text, "198.18.0.16");
  EXPECT_STREQ(replies[0].record.system_name, "moved");

  const auto moved = Poll("198.18.0.16");
  ASSERT_TRUE(moved) << "no answer at the new address";
  EXPECT_EQ(moved->source.address, Ip("198.18.0.16"));
  EXPECT_STREQ(moved->record.location, "rack 4");
  EXPECT_FALSE(Poll("198.18.0.10", std::chrono::milliseconds(500)));
}

TEST_F(LabOperationsTest, APasswordChangeByBroadcastAndGroupTakesEffect) {
  const auto polled = Poll("198.18.0.10");
  ASSERT_TRUE(polled);
  AddDiscovered(polled->record);
  auto change = [&](const char* original, const char* new_password) {
    ChangePasswordForm form(Context(), {0, 0});
    EXPECT_TRUE(form.OnSet({original, new_password, new_password}));
    // The switch hears the broadcast and the group's copy and answers both.
    return Replies(2);
  };
  auto results = [](const std::vector<Reply>& replies) {
    std::vector<std::uint16_t> codes;
    for (const auto& r : replies) {
      EXPECT_EQ(r.header.command, CMD_SET_REPLY);
      codes.push_back(r.header.ResultCode());
    }
    return codes;
  };
  EXPECT_EQ(results(change("guess", "n3w")), (std::vector<std::uint16_t>{RESULT_PASSWORD, RESULT_PASSWORD}));
  EXPECT_EQ(results(change("admin", "n3w")).front(), RESULT_OK);
  EXPECT_EQ(results(change("admin", "other")), (std::vector<std::uint16_t>{RESULT_PASSWORD, RESULT_PASSWORD}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LabOperationsTest, ADhcpRefreshRenewsTheLeaseOrReportsTheFailureWithTheSwitchsInformation) {
  for (const char* ip : {"198.18.0.11", "198.18.0.12"}) {
    const auto polled = Poll(ip);
    ASSERT_TRUE(polled) << ip;
    AddMonitored(polled->record);
  }
  DhcpRefreshForm renewing(Context(), {0, 1});
  ASSERT_TRUE(renewing.OnApply("admin"));
  auto replies = Replies(1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].header.ResultCode(), RESULT_OK);
  EXPECT_STREQ(replies[0].record.ip_text, "198.18.0.15");
  EXPECT_TRUE(Poll("198.18.0.15"));

  DhcpRefreshForm failing(Context(), {1, 1});
  ASSERT_TRUE(failing.OnApply("admin"));
  replies = Replies(1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].header.ResultCode(), RESULT_DHCP_REFRESH_FAIL);
  EXPECT_STREQ(replies[0].record.ip_text, "198.18.0.12");
  EXPECT_EQ(replies[0].record.dhcp, DHCP_ON);
}

}  // namespace
}  // namespace sd
