// SPDX-License-Identifier: GPL-3.0-or-later
// What the manager puts on the wire, recorded on the switch side of the lab: the discovery
// requests, the polls of the poll thread and the IGMP membership reports, with their timing.
// Set SWITCHDESK_CAPTURE_PCAP to a path to keep the recording as a pcap file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "net/igmp.h"
#include "protocol/byte_io.h"
#include "protocol/ipv4.h"
#include "support/lab_engine.h"
#include "support/packet_capture.h"

namespace sd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint8_t kUdp = 17;
constexpr std::uint8_t kIgmp = 2;

// A packet from the manager as seen on the switch side.
struct Seen {
  Clock::time_point at;
  std::uint8_t protocol = 0;
  std::uint32_t destination = 0;
  std::uint16_t source_port = 0, destination_port = 0;  // UDP only
  Bytes payload;                                        // after the IP (and UDP) header
};

std::vector<Seen> FromManager(const std::vector<test::PacketCapture::Packet>& packets) {
  std::vector<Seen> out;
  const std::uint32_t manager = *TextToIpv4("198.18.0.1");
  for (const auto& p : packets) {
    const Bytes& ip = p.ip;
    if (ip.size() < 20 || (ip[0] >> 4) != 4) continue;
    const std::size_t header = std::size_t{ip[0] & 0x0Fu} * 4;
    const std::size_t total = GetU16(&ip[2]);
    if (GetU32(&ip[12]) != manager || total > ip.size() || total < header) continue;
    Seen s;
    s.at = p.at;
    s.protocol = ip[9];
    s.destination = GetU32(&ip[16]);
    std::size_t body = header;
    if (s.protocol == kUdp) {
      if (total < header + 8) continue;
      s.source_port = GetU16(&ip[header]);
      s.destination_port = GetU16(&ip[header + 2]);
      body += 8;
    }
    s.payload.assign(ip.begin() + static_cast<long>(body), ip.begin() + static_cast<long>(total));
    out.push_back(std::move(s));
  }
  return out;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class LabCaptureTest : public test::LabEngineTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LabEngineTest::SetUp());
    if (IsSkipped()) return;
    // Membership reports every 2 s instead of the installation's 125 s.
    Settings.multicast_timer_flag = 1;
    Settings.multicast_timer = 2;
  }
  test::PacketCapture capture;
};

TEST_F(LabCaptureTest, DiscoveryPollsAndMembershipReportsOnTheWire) {
  ASSERT_NO_FATAL_FAILURE(StartLab({"ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3",
                                    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2",
                                    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=1"}));
  const std::string lab = std::getenv("LAB_NAME") ? std::getenv("LAB_NAME") : "";
  ASSERT_TRUE(capture.Start(std::getenv("LAB_SWITCH_NS"), "sd" + lab + "s")) << "no packet socket in the lab";

  const auto discover_at = Clock::now();
  ASSERT_TRUE(DiscoverRows(3));
  std::vector<int> rows = {dlg.FindDiscoveryRowByMac("020000000010"), dlg.FindDiscoveryRowByMac("020000000012")};
  std::sort(rows.begin(), rows.end());
  dlg.TransferToMonitorList(rows);
  ASSERT_EQ(dlg.MonitorTable().Count(), 2);

  ASSERT_TRUE(engine->StartIgmpReportThread()) << "no raw IGMP socket";
  const auto reports_from = Clock::now();
  engine->StartPollThread();
  const auto polls_from = Clock::now();
  loop.Every(std::chrono::seconds(5), [&] { engine->OnLivenessTimer(); });
  loop.RunFor(milliseconds(31000));  // poll passes at 0, 15 and 30 s
  capture.Stop();
  const auto packets = capture.Packets();
  if (const char* path = std::getenv("SWITCHDESK_CAPTURE_PCAP")) {
    EXPECT_TRUE(test::PacketCapture::SavePcap(packets, path)) << path;
  }
  const auto seen = FromManager(packets);

  const Bytes discover = {0x00, 0x02, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                          0x01, 0x94, 0x5A, 0xE0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes poll = discover;
  poll[13] = 0x05;
  std::vector<Seen> udp;
  for (const auto& s : seen) {
    if (s.protocol == kUdp) udp.push_back(s);
  }

  // The discovery: first to the broadcast address from the base port, then to the group from
  // the group member's port, both to the agents' port, after the 500 ms membership renewal.
  ASSERT_GE(udp.size(), 2u);
  const std::pair<const char*, std::uint16_t> discovery_route[] = {{"255.255.255.255", 50000}, {"239.255.100.100", 50006}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Ipv4ToText(udp[i].destination), discovery_route[i].first) << i;
    EXPECT_EQ(udp[i].source_port, discovery_route[i].second) << i;
    EXPECT_EQ(udp[i].destination_port, 50002) << i;
    EXPECT_EQ(udp[i].payload, discover) << i;
    EXPECT_GE(udp[i].at - discover_at, milliseconds(490)) << i;
  }
  EXPECT_LE(udp[1].at - udp[0].at, milliseconds(50));

  // Polls: one per monitored switch and pass, 15 s apart, none to the switch that is only
  // discovered, and nothing else (every switch answers, so the timer resends nothing).
  std::map<std::string, std::vector<Clock::time_point>> polls;
  for (std::size_t i = 2; i < udp.size(); ++i) {
    EXPECT_EQ(udp[i].payload, poll) << i;
    EXPECT_EQ(udp[i].source_port, 50001);
    EXPECT_EQ(udp[i].destination_port, 50002);
    polls[Ipv4ToText(udp[i].destination)].push_back(udp[i].at);
  }
  ASSERT_EQ(polls.size(), 2u);
  for (const char* ip : {"198.18.0.10", "198.18.0.12"}) {
    const auto& at = polls[ip];
    ASSERT_EQ(at.size(), 3u) << ip;
    EXPECT_LT(at[0] - polls_from, milliseconds(500)) << ip;
    for (std::size_t i = 1; i < at.size(); ++i) {
      EXPECT_NEAR(Seconds(at[i] - at[i - 1]), 15.0, 0.5) << ip << " pass " << i;
    }
  }

  // IGMP version 1 reports for the group, every 2 s, each one exactly 12 00 99 9b ef ff 64 64
  // (the checksum of the other six bytes), sent to the group. The kernel's own version 3
  // reports (type 0x22, to 224.0.0.22) are not the program's.
  const Bytes report = {0x12, 0x00, 0x99, 0x9B, 0xEF, 0xFF, 0x64, 0x64};
  std::vector<Clock::time_point> reports;
  for (const auto& s : seen) {
    if (s.protocol != kIgmp || s.payload.empty() || s.payload[0] != IGMP_V1_REPORT) continue;
    EXPECT_EQ(s.payload, report);
    EXPECT_EQ(InternetChecksum(s.payload), 0);
    EXPECT_EQ(Ipv4ToText(s.destination), "239.255.100.100");
    reports.push_back(s.at);
  }
  ASSERT_GE(reports.size(), 14u);
  EXPECT_LE(reports.size(), 16u);
  EXPECT_NEAR(Seconds(reports[0] - reports_from), 2.0, 0.5);
  for (std::size_t i = 1; i < reports.size(); ++i) {
    EXPECT_NEAR(Seconds(reports[i] - reports[i - 1]), 2.0, 0.25) << "report " << i;
  }
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

}  // namespace
}  // namespace sd
