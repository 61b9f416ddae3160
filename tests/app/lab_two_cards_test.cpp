// SPDX-License-Identifier: GPL-3.0-or-later
// A manager with two cards (tools/lab/lab.sh run --link-b): link A carries the default route,
// link B does not. What leaves by each card, recorded on the switch side of both links.
#include <gtest/gtest.h>

#include <map>

#include "net/igmp.h"
#include "operations/request_sender.h"
#include "operations/upgrade_network.h"
#include "protocol/operation_context.h"
#include "operations/set_requests.h"
#include "protocol/byte_io.h"
#include "protocol/ipv4.h"
#include "support/lab_engine.h"
#include "support/operations.h"
#include "support/packet_capture.h"

namespace sd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

constexpr std::uint8_t kUdp = 17;

// One UDP datagram or IGMP message the manager sent, as a switch-side capture saw it.
struct Sent {
  std::uint8_t protocol = 0;
  std::uint32_t source = 0, destination = 0;
  std::uint16_t source_port = 0;
  Bytes payload;
};

std::vector<Sent> FromManager(const test::PacketCapture& capture, std::uint32_t manager) {
  std::vector<Sent> out;
  for (const auto& p : capture.Packets()) {
    const Bytes& ip = p.ip;
    if (ip.size() < 20 || (ip[0] >> 4) != 4 || GetU32(&ip[12]) != manager) continue;
    const std::size_t header = std::size_t{ip[0] & 0x0Fu} * 4;
    const std::size_t total = GetU16(&ip[2]);
    if (total > ip.size() || total < header) continue;
    Sent s;
    s.protocol = ip[9];
    s.source = GetU32(&ip[12]);
    s.destination = GetU32(&ip[16]);
    std::size_t body = header;
    if (s.protocol == kUdp) {
      if (total < header + 8) continue;
      s.source_port = GetU16(&ip[header]);
      body += 8;
    }
    s.payload.assign(ip.begin() + static_cast<long>(body), ip.begin() + static_cast<long>(total));
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<Sent> Udp(const std::vector<Sent>& all) {
  std::vector<Sent> out;
  for (const auto& s : all) {
    if (s.protocol == kUdp) out.push_back(s);
  }
  return out;
}

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

class LabTwoCardsTest : public test::LabEngineTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LabEngineTest::SetUp());
    if (IsSkipped()) return;
    ASSERT_TRUE(test::LabHasLinkB()) << "run with tools/lab/lab.sh run --link-b N";
  }
  void TearDown() override {
    LabEngineTest::TearDown();
    sim_b.Stop();
  }

  // Two switches on each link and the engine.
  void StartTwoLinks(const std::string& chosen_card = "") {
    ASSERT_TRUE(test::StartLabSimulatorIn(sim_b, test::LabEnv("LAB_LINK_B_NS"), "198.18.1.1",
                                          {"ip=198.18.1.10,mac=02:00:00:00:01:10", "ip=198.18.1.11,mac=02:00:00:00:01:11"}));
    if (!chosen_card.empty()) {
      // The choice must hold from the start: the engine's sockets join the group where it says.
      ASSERT_NO_FATAL_FAILURE(StartLabChosen(chosen_card));
    } else {
      ASSERT_NO_FATAL_FAILURE(StartLab({"ip=198.18.0.10,mac=02:00:00:00:00:10", "ip=198.18.0.11,mac=02:00:00:00:00:11"}));
    }
  }
  void StartCaptures() {
    ASSERT_TRUE(capture_a.Start(test::LabEnv("LAB_SWITCH_NS"), test::LabEnv("LAB_SWITCH_IF")));
    ASSERT_TRUE(capture_b.Start(test::LabEnv("LAB_LINK_B_NS"), test::LabEnv("LAB_SWITCH_B_IF")));
  }
  void StartLabChosen(const std::string& card) {
    ASSERT_TRUE(test::StartLabSimulator(sim, {"ip=198.18.0.10,mac=02:00:00:00:00:10", "ip=198.18.0.11,mac=02:00:00:00:00:11"}));
    engine = std::make_unique<NetworkEngine>(dlg.Lists(), messages, indicator, loop, traps);
    engine->Sockets().ChooseInterface(card);
    ASSERT_TRUE(engine->CreateSocketSet());
    for (const auto& w : engine->SocketWatches()) {
      loop.WatchReadable(w.fd, [this, s = w.socket] { engine->ReceiveDatagram(*s); });
    }
  }
  void StopCaptures() {
    loop.RunFor(milliseconds(200));
    capture_a.Stop();
    capture_b.Stop();
  }

  // What the manager sent over UDP by link B, once nothing from either of its addresses was
  // seen on link A.
  std::vector<Sent> UdpOnlyByLinkB() const {
    for (const char* manager : {"198.18.0.1", "198.18.1.1"}) {
      EXPECT_TRUE(Udp(FromManager(capture_a, Ip(manager))).empty()) << "nothing by link A from " << manager;
    }
    return Udp(FromManager(capture_b, Ip("198.18.1.1")));
  }

  test::ChildProcess sim_b;
  test::PacketCapture capture_a, capture_b;
};

const Bytes kDiscover = {0x00, 0x02, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                         0x01, 0x94, 0x5A, 0xE0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Each Discover sends one broadcast and one group datagram out of each card, from that card's
// address, and finds the switches of both links; the IGMP reports go out on both cards.
TEST_F(LabTwoCardsTest, DiscoverSendsOneBroadcastAndOneGroupDatagramPerCardAndFindsBothLinks) {
  ASSERT_NO_FATAL_FAILURE(StartTwoLinks());
  ASSERT_NO_FATAL_FAILURE(StartCaptures());
  Settings.multicast_timer_flag = 1;
  Settings.multicast_timer = 1;
  ASSERT_TRUE(engine->StartIgmpReportThread()) << "no raw IGMP socket";
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(DiscoverRows(4)) << "round " << round << ": " << discovery_list.RowCount() << " rows";
    for (const char* mac : {"020000000010", "020000000011", "020000000110", "020000000111"}) {
      EXPECT_TRUE(dlg.DiscoveryTable().FindByMac(mac).found) << mac;
    }
  }
  loop.RunFor(milliseconds(1200));
  StopCaptures();
  if (const char* path = std::getenv("SWITCHDESK_CAPTURE_PCAP")) {
    test::PacketCapture::SavePcap(capture_a.Packets(), std::string(path) + ".link-a");
    test::PacketCapture::SavePcap(capture_b.Packets(), std::string(path) + ".link-b");
  }
  const struct {
    const char* link;
    const test::PacketCapture& capture;
    std::uint32_t manager;
  } links[] = {{"A", capture_a, Ip("198.18.0.1")}, {"B", capture_b, Ip("198.18.1.1")}};
  for (const auto& l : links) {
    const auto all = FromManager(l.capture, l.manager);
    const auto udp = Udp(all);
    ASSERT_EQ(udp.size(), 4u) << "link " << l.link << ": two Discovers, two datagrams each";
    for (std::size_t i = 0; i < udp.size(); ++i) {
      EXPECT_EQ(Ipv4ToText(udp[i].destination), i % 2 == 0 ? "255.255.255.255" : "239.255.100.100") << l.link << i;
      EXPECT_EQ(udp[i].source_port, i % 2 == 0 ? 50000 : 50006) << l.link << i;
      EXPECT_EQ(udp[i].payload, kDiscover) << l.link << i;
    }
    int reports = 0;
    for (const auto& s : all) reports += s.protocol == 2 && !s.payload.empty() && s.payload[0] == IGMP_V1_REPORT;
    EXPECT_GE(reports, 1) << "link " << l.link << ": IGMP version 1 reports";
  }
}

// A set-type request to a switch of link B goes by broadcast and to the group out of link B only.
TEST_F(LabTwoCardsTest, ARequestToALinkBSwitchLeavesOnlyByLinkB) {
  ASSERT_NO_FATAL_FAILURE(StartTwoLinks());
  ASSERT_TRUE(DiscoverRows(4));
  ASSERT_NO_FATAL_FAILURE(StartCaptures());

  const auto found = dlg.DiscoveryTable().FindByMac("020000000110");
  ASSERT_TRUE(found.found);
  SocketSetSender sender(engine->Sockets());
  const RequestContext context{dlg.Lists(), sender, messages};
  ASSERT_EQ(SendDhcpRefresh(context, dlg.DiscoveryTable().Entry(found.index), {found.index, 0}), 0);
  loop.RunFor(milliseconds(500));
  StopCaptures();

  const auto b = UdpOnlyByLinkB();
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(Ipv4ToText(b[0].destination), "255.255.255.255");
  EXPECT_EQ(Ipv4ToText(b[1].destination), "239.255.100.100");
  for (const auto& s : b) {
    ASSERT_GE(s.payload.size(), 40u);
    EXPECT_EQ(GetU16(&s.payload[12]), CMD_SET);
    EXPECT_EQ(Bytes(s.payload.begin() + 4, s.payload.begin() + 10), (Bytes{0x02, 0, 0, 0, 0x01, 0x10}));
  }
}

// The firmware upgrade's trigger and its reboot watch's discoveries for a link-B switch leave by
// link B alone, also after the watch has emptied the Discovery List.
TEST_F(LabTwoCardsTest, UpgradeSendsForALinkBSwitchLeaveOnlyByLinkB) {
  ASSERT_NO_FATAL_FAILURE(StartTwoLinks());
  ASSERT_TRUE(DiscoverRows(4));
  dlg.Lists().ClearDiscoveryList();
  ASSERT_NO_FATAL_FAILURE(StartCaptures());
  auto& context = OperationContext::Instance();
  context.SetUpgradeTargetMac("020000000110");
  SocketSetUpgradeNetwork network(engine->Sockets());
  EXPECT_TRUE(network.SendBroadcast(kDiscover));
  EXPECT_TRUE(network.SendMulticast(kDiscover));
  context.SetUpgradeTargetMac("");
  StopCaptures();
  const auto b = UdpOnlyByLinkB();
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(Ipv4ToText(b[0].destination), "255.255.255.255");
  EXPECT_EQ(Ipv4ToText(b[1].destination), "239.255.100.100");
}

// With link B chosen, discovery, membership and reports stay on link B.
TEST_F(LabTwoCardsTest, AChosenCardLimitsDiscoveryToIt) {
  ASSERT_NO_FATAL_FAILURE(StartTwoLinks(test::LabEnv("LAB_MANAGER_B_IF")));
  ASSERT_NO_FATAL_FAILURE(StartCaptures());
  ASSERT_EQ(engine->Sockets().Cards().size(), 1u);
  ASSERT_TRUE(DiscoverRows(2));
  loop.RunFor(milliseconds(700));
  EXPECT_EQ(discovery_list.RowCount(), 2);
  EXPECT_TRUE(dlg.DiscoveryTable().FindByMac("020000000110").found);
  EXPECT_TRUE(dlg.DiscoveryTable().FindByMac("020000000111").found);
  StopCaptures();
  EXPECT_EQ(UdpOnlyByLinkB().size(), 2u);
}

}  // namespace
}  // namespace sd
