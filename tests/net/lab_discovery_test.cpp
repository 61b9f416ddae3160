// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end in the lab (tools/lab/lab.sh run): this program runs in the manager namespace and
// starts the switch simulator in the switch namespace. Every packet stays on the lab's veth pair.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>
#include <thread>

#include "net/igmp.h"
#include "net/socket_set.h"
#include "protocol/device_record.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "protocol/trap_payload.h"
#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/recording_messages.h"
#include "tools/switchsim/simulator.h"

namespace sd {
namespace {

using Buffer = std::array<std::uint8_t, kMaxDatagram>;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kBasePort = 50000;
constexpr std::uint16_t kAgentPort = kBasePort + 2;
constexpr const char* kGroup = "239.255.100.100";
constexpr std::uint32_t kManagerId = 0x01945AE0;

// Mixed generations: interface versions 1, 2 and 3, an older protocol and an unconfigurable one.
const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=1,name=edge-1,location=hall,dhcp=on",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2,name=edge-2,interval=125,trap=198.18.0.1",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,product=SIM-24P,name=core,location=rack 2,"
    "gateway=198.18.0.1",
    "ip=198.18.0.13,mac=02:00:00:00:00:13,major=1,iface=0,name=old",
    "ip=198.18.0.14,mac=02:00:00:00:00:14,unconfigurable",
};

class LabDiscoveryTest : public ::testing::Test {
 protected:
  // Only inside the lab's manager namespace, which alone holds 198.18.0.1: nothing here may be
  // sent from the host's own namespace.
  static bool InsideTheLab() {
    auto probe = UdpSocket::Open();
    return std::getenv("LAB_SWITCH_NS") != nullptr && probe && probe->Bind(0, *TextToIpv4("198.18.0.1"));
  }

  void SetUp() override {
    if (!InsideTheLab()) {
      if (std::getenv("SWITCHDESK_REQUIRE_LAB") == nullptr) GTEST_SKIP() << "run through tools/lab/lab.sh run";
      FAIL() << "SWITCHDESK_REQUIRE_LAB is set: this test must run inside the lab (tools/lab/lab.sh run)";
    }
    const char* switch_ns = std::getenv("LAB_SWITCH_NS");
    ParsedSettings v;
    v.manager_id = kManagerId;
    v.base_port = kBasePort;
    v.multicast_group = kGroup;
    v.multicast_timer_flag = 1;
    v.multicast_timer = 1;
    ApplySettings(v);

    std::vector<std::string> argv = {"ip", "netns", "exec", switch_ns, SWITCHSIM_PATH,
                                     "--agent-port", std::to_string(kAgentPort),
                                     "--manager-port", std::to_string(kBasePort + 1),
                                     "--manager-id", "01945AE0", "--group", kGroup,
                                     "--manager", "198.18.0.1", "--watch-igmp"};
    for (const auto& definition : kSwitches) {
      argv.push_back("--switch");
      argv.push_back(definition);
      expected.push_back(*sim::ParseNewSwitch(definition));
    }
    ASSERT_TRUE(sim.Start(argv));
    const auto ready = sim.ReadLine();
    ASSERT_TRUE(ready) << "the simulator did not start";
    ASSERT_EQ(ready->rfind("ready", 0), 0u) << *ready;

    sockets.CreateBroadcastSocket(messages);
    ASSERT_TRUE(sockets.CreateMulticastSocket(messages));
    sockets.CreateUnicastSocket(messages);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    ASSERT_TRUE(sockets.Broadcast() && sockets.Unicast());
  }

  void TearDown() override {
    sockets.CloseSocketSet();
    sim.Stop();
    ResetSettings();
  }

  // Reads what arrives on the three sockets until `count` datagrams came or the time is up.
  struct Arrival {
    std::string socket;
    Endpoint source;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Arrival> Collect(std::size_t count, std::chrono::milliseconds wait) {
    std::vector<Arrival> arrivals;
    const std::pair<const char*, UdpSocket*> watched[] = {
        {"broadcast", sockets.Broadcast()}, {"multicast", sockets.Multicast()}, {"unicast", sockets.Unicast()}};
    const auto deadline = Clock::now() + wait;
    Buffer buffer{};
    while (arrivals.size() < count && Clock::now() < deadline) {
      bool any = false;
      for (const auto& [name, socket] : watched) {
        if (const auto r = socket->Receive(buffer)) {
          arrivals.push_back({name, r->source, {buffer.begin(), buffer.begin() + static_cast<long>(r->size)}});
          any = true;
        }
      }
      if (!any) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return arrivals;
  }

  const sim::SimSwitch* ExpectedAt(std::uint32_t ip) const {
    for (const auto& s : expected) {
      if (s.ip == ip) return &s;
    }
    return nullptr;
  }

  test::ChildProcess sim;
  test::RecordingMessages messages;
  SocketSet sockets;
  std::vector<sim::SimSwitch> expected;
};

TEST_F(LabDiscoveryTest, EverySwitchAnswersTheBroadcastAndTheGroupDiscovery) {
  sockets.RefreshMulticastMembership();
  std::uint8_t discover[kHeaderSize];
  ASSERT_EQ(BuildRequestHeader(discover, CMD_DISCOVER), kHeaderSize);
  ASSERT_TRUE(sockets.Broadcast()->SetBroadcast(true));
  ASSERT_TRUE(sockets.Broadcast()->SendTo(discover, {kLimitedBroadcast, kAgentPort}));
  ASSERT_TRUE(sockets.Multicast()->SendTo(discover, {*TextToIpv4(kGroup), kAgentPort}));

  const auto arrivals = Collect(2 * expected.size(), std::chrono::seconds(5));
  ASSERT_EQ(arrivals.size(), 2 * expected.size());
  std::map<std::string, int> per_socket_and_switch;
  for (const auto& a : arrivals) {
    const sim::SimSwitch* s = ExpectedAt(a.source.address);
    ASSERT_NE(s, nullptr) << Ipv4ToText(a.source.address);
    EXPECT_EQ(a.source.port, kAgentPort);
    ++per_socket_and_switch[a.socket + " " + Ipv4ToText(s->ip)];

    const auto h = ParseHeader(a.bytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->manager_id, kManagerId);
    EXPECT_EQ(h->version_minor, VERSION_MINOR_REPLY);
    EXPECT_EQ(h->version_major, s->version_major);
    EXPECT_EQ(h->mac, s->mac);
    EXPECT_EQ(h->ResultCode(), RESULT_OK);
    if (s->unconfigurable) {
      EXPECT_EQ(h->command, CMD_UNCONFIGURABLE_REPLY);
      continue;
    }
    EXPECT_EQ(h->command, CMD_DISCOVER_REPLY);
    if (h->version_major != VERSION_MAJOR) continue;  // the manager does not decode older generations

    DeviceRecord r = ZeroRecord();
    r.dhcp = DHCP_NOT_REPORTED;
    r.group_interval = GROUP_INTERVAL_NOT_REPORTED;
    r.interface_version = h->interface_version;
    const auto mask = DefaultFieldMask(h->interface_version);
    std::memcpy(r.field_mask, mask.data(), sizeof r.field_mask);
    DecodeDeviceTlvs(std::span(a.bytes).subspan(kHeaderSize), r);
    EXPECT_EQ(GetText(r.product_name), s->product_name);
    EXPECT_EQ(GetText(r.system_name), s->system_name);
    EXPECT_EQ(GetText(r.location), s->location);
    EXPECT_EQ(r.ip, s->ip);
    EXPECT_EQ(r.subnet_mask, s->subnet_mask);
    EXPECT_EQ(r.gateway, s->gateway);
    EXPECT_EQ(r.trap_ip, s->trap_ip);
    EXPECT_EQ(r.dhcp, s->dhcp.value_or(DHCP_NOT_REPORTED)) << s->system_name;
    EXPECT_EQ(r.group_interval, s->group_interval.value_or(GROUP_INTERVAL_NOT_REPORTED));
    EXPECT_EQ(r.field_mask[0], s->EffectiveFieldMask()[0]);
  }
  // Each switch answered once on each socket: broadcast replies come back to the base port, the
  // group's to the multicast socket.
  for (const auto& s : expected) {
    for (const char* socket : {"broadcast", "multicast"}) {
      EXPECT_EQ((per_socket_and_switch[std::string(socket) + " " + Ipv4ToText(s.ip)]), 1)
          << socket << " " << Ipv4ToText(s.ip);
    }
  }
}

TEST_F(LabDiscoveryTest, APollGetsItsAnswerOnTheUnicastSocket) {
  std::uint8_t poll[kHeaderSize];
  BuildRequestHeader(poll, CMD_POLL);
  ASSERT_TRUE(sockets.Unicast()->SendTo(poll, {expected[2].ip, kAgentPort}));
  const auto arrivals = Collect(1, std::chrono::seconds(5));
  ASSERT_EQ(arrivals.size(), 1u);
  EXPECT_EQ(arrivals[0].socket, "unicast");
  EXPECT_EQ(arrivals[0].source, (Endpoint{expected[2].ip, kAgentPort}));
}

TEST_F(LabDiscoveryTest, ATrapArrivesOnTheUnicastPort) {
  EXPECT_EQ(sim.Command("trap 198.18.0.11 Port 3 link down"), (std::vector<std::string>{"ok"}));
  const auto arrivals = Collect(1, std::chrono::seconds(5));
  ASSERT_EQ(arrivals.size(), 1u);
  EXPECT_EQ(arrivals[0].socket, "unicast");
  EXPECT_EQ(arrivals[0].source.address, *TextToIpv4("198.18.0.11"));
  const auto h = ParseHeader(arrivals[0].bytes);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->command, CMD_TRAP);
  EXPECT_EQ(h->manager_id, kManagerId);
  const auto trap = ParseTrapPayload(std::span(arrivals[0].bytes).subspan(kHeaderSize));
  EXPECT_EQ(Ipv4ToText(trap.address), "198.18.0.11");
  EXPECT_EQ(trap.text, "Port 3 link down");
}

TEST_F(LabDiscoveryTest, TheReportThreadsIgmpReportsReachTheSwitches) {
  // The program's own report thread: raw socket, group from the settings, one report a second.
  auto reports = StartIgmpReportThread();
  ASSERT_TRUE(reports) << "the raw IGMP socket did not open";
  const std::string wanted = std::string("igmp ") + kGroup + " ";
  int counted = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (counted < 2 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (const auto& line : sim.Command("igmp")) {
      if (line.rfind(wanted, 0) == 0) counted = std::atoi(line.c_str() + wanted.size());
    }
  }
  reports.reset();
  EXPECT_GE(counted, 2) << "version 1 reports for the group seen by the simulator";
}

}  // namespace
}  // namespace sd
