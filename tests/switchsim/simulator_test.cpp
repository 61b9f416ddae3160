// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/switchsim/simulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "net/igmp.h"
#include "operations/set_requests.h"
#include "protocol/device_record.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "protocol/trap_payload.h"
#include "settings/settings_file.h"

namespace sd::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kManagerId = 0x01945AE0;
constexpr std::uint32_t kManager = 0xC6120001;  // 198.18.0.1
constexpr std::uint32_t kGroup = 0xEFFF6464;    // 239.255.100.100
const Endpoint kRequester{kManager, 50000};

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

// The record a manager makes of a reply: prepared as the dispatcher prepares it, then decoded.
DeviceRecord Decoded(const Outgoing& reply) {
  const auto h = *ParseHeader(reply.bytes);
  DeviceRecord r = ZeroRecord();
  r.dhcp = DHCP_NOT_REPORTED;
  r.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  MacBytesToText(h.mac.data(), r.mac_text);
  r.version_major = h.version_major;
  r.version_minor = h.version_minor;
  r.interface_version = h.interface_version;
  const auto mask = DefaultFieldMask(h.interface_version);
  std::memcpy(r.field_mask, mask.data(), sizeof r.field_mask);
  SetIp(r, reply.source);
  DecodeDeviceTlvs(std::span(reply.bytes).subspan(kHeaderSize), r);
  return r;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    for (const char* definition : {
             "ip=198.18.0.11,mac=00:1a:2b:3c:4d:01,iface=2,name=core,location=rack 1,gateway=198.18.0.1,"
             "trap=198.18.0.1,dhcp=off,interval=125,password=admin",
             "ip=198.18.0.12,mac=00:1a:2b:3c:4d:02,iface=1,dhcp=on,password=",
             "ip=198.18.0.13,mac=00:1a:2b:3c:4d:03,iface=3,product=SIM-24P,interval=0",
             "ip=198.18.0.14,mac=00:1a:2b:3c:4d:04,unconfigurable",
             "ip=198.18.0.15,mac=00:1a:2b:3c:4d:05,major=1,iface=0,dhcp=none",
         }) {
      std::string error;
      const auto s = ParseNewSwitch(definition, &error);
      ASSERT_TRUE(s) << definition << ": " << error;
      ASSERT_TRUE(sim.Add(*s));
    }
  }
  void TearDown() override { ResetSettings(); }

  Bytes Request(std::uint16_t command, std::uint32_t manager_id = kManagerId) {
    Settings.manager_id = manager_id;
    Bytes d(kHeaderSize);
    BuildRequestHeader(d.data(), command);
    return d;
  }
  // A set-type request as the manager builds it, for the switch of `record`.
  Bytes SetRequest(std::uint16_t command, const DeviceRecord& record, std::uint16_t sequence,
                   bool password_change = false, std::uint16_t mode = DHCP_MODE_UNCHANGED) {
    Settings.manager_id = kManagerId;
    set_sequence = sequence;
    TargetedHeader h;
    h.command = command;
    HexTextToBytes(GetText(record.mac_text), h.mac);
    Bytes d(kMaxDatagram);
    BuildTargetedHeader(d.data(), h);
    const auto payload = std::span(d).subspan(kHeaderSize);
    const std::size_t n =
        password_change ? EncodePasswordTlvs(payload, record) : EncodeSettingsTlvs(payload, record, mode);
    d.resize(kHeaderSize + n);
    return d;
  }
  DeviceRecord Discover(const char* ip) {
    const auto replies = sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, Ip(ip));
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? ZeroRecord() : Decoded(replies[0]);
  }

  Simulator sim{{kManagerId, kManager, 50001, kGroup}};
};

TEST_F(SimulatorTest, EverySwitchAnswersADiscoveryByBroadcastOrGroupFromItsOwnAddress) {
  for (std::uint32_t destination : {kLimitedBroadcast, kGroup}) {
    const auto replies = sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, destination);
    ASSERT_EQ(replies.size(), 5u);
    for (std::size_t i = 0; i < replies.size(); ++i) {
      const SimSwitch& s = sim.Switches()[i];
      const Outgoing& reply = replies[i];
      EXPECT_EQ(reply.source, s.ip);
      EXPECT_EQ(reply.to, kRequester);
      const auto h = *ParseHeader(reply.bytes);
      EXPECT_EQ(h.command, s.unconfigurable ? CMD_UNCONFIGURABLE_REPLY : CMD_DISCOVER_REPLY) << i;
      EXPECT_EQ(h.manager_id, kManagerId);
      EXPECT_EQ(h.version_major, s.version_major);
      EXPECT_EQ(h.version_minor, 1);
      EXPECT_EQ(h.interface_version, s.interface_version);
      EXPECT_EQ(h.mac, s.mac);
      EXPECT_EQ(h.ResultCode(), RESULT_OK);
      if (s.unconfigurable) {
        EXPECT_EQ(reply.bytes.size(), kHeaderSize);
      }
    }
  }
}

// A discovery to the broadcast address of the switches' subnet (a router's directed broadcast)
// reaches them all; that of another subnet none.
TEST_F(SimulatorTest, TheDirectedBroadcastOfTheSwitchesSubnetReachesThemAll) {
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, Ip("198.18.0.255")).size(), 5u);
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, Ip("198.18.1.255")).size(), 0u);
}

TEST_F(SimulatorTest, DiscoveryRepliesDecodeToTheConfiguredSwitch) {
  const auto replies = sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, kLimitedBroadcast);
  ASSERT_EQ(replies.size(), 5u);
  struct Expected {
    const char* ip;
    const char* product;
    const char* name;
    const char* location;
    std::uint16_t dhcp;
    std::int32_t group_interval;
    std::uint32_t field_mask0;
    const char* gateway;
  };
  const Expected expected[] = {
      {"198.18.0.11", "SIM-8P", "core", "rack 1", DHCP_OFF, 125, 0x3FF, "198.18.0.1"},
      {"198.18.0.12", "SIM-8P", "switch-12", "lab", DHCP_ON, -1, 0x1FF, "0.0.0.0"},
      {"198.18.0.13", "SIM-24P", "switch-13", "lab", DHCP_OFF, 0, 0x2003FF, "0.0.0.0"},
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const auto& e = expected[i];
    const DeviceRecord r = Decoded(replies[i]);
    EXPECT_STREQ(r.ip_text, e.ip);
    EXPECT_STREQ(r.product_name, e.product);
    EXPECT_STREQ(r.system_name, e.name);
    EXPECT_STREQ(r.location, e.location);
    EXPECT_STREQ(r.subnet_mask_text, "255.255.255.0");
    EXPECT_STREQ(r.gateway_text, e.gateway);
    EXPECT_EQ(r.dhcp, e.dhcp) << e.ip;
    EXPECT_EQ(r.group_interval, e.group_interval) << e.ip;
    EXPECT_EQ(r.field_mask[0], e.field_mask0) << e.ip;
    EXPECT_EQ(r.mac_text, "001a2b3c4d0" + std::to_string(i + 1));
  }
}

TEST_F(SimulatorTest, ReplyBytesFollowTheInterfaceVersion) {
  Simulator small({kManagerId, kManager, 50001, kGroup});
  auto s = ParseNewSwitch("ip=198.18.0.11,mac=02:00:00:00:00:0b,iface=1,product=P,name=N,location=L,"
                          "gateway=198.18.0.1,trap=198.18.0.1,dhcp=on,interval=125");
  ASSERT_TRUE(s && small.Add(*s));
  Bytes request = Request(CMD_DISCOVER);
  const auto replies = small.HandleDatagram(request, kRequester, kLimitedBroadcast);
  ASSERT_EQ(replies.size(), 1u);
  const Bytes expected = {
      0x00, 0x02, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x0b, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00,  // header
      0x01, 0x94, 0x5a, 0xe0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0x00, 0x01, 0x00, 0x05, 'P',                             // product
      0x00, 0x02, 0x00, 0x05, 'N',                             // system name
      0x00, 0x03, 0x00, 0x05, 'L',                             // location
      0x00, 0x04, 0x00, 0x08, 198, 18, 0, 11,                  // address
      0x00, 0x05, 0x00, 0x08, 255, 255, 255, 0,                // mask
      0x00, 0x06, 0x00, 0x08, 198, 18, 0, 1,                   // gateway
      0x00, 0x07, 0x00, 0x08, 198, 18, 0, 1,                   // trap receiver
      0x00, 0x0a, 0x00, 0x05, 0x01,                            // DHCP, one byte for version 1
      0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x00, 0x7d,          // group interval
  };
  EXPECT_EQ(replies[0].bytes, expected);

  // Version 2 and later send DHCP as 16 bits, and version 3 its field mask.
  ASSERT_TRUE(small.Control("set 198.18.0.11 iface=3,fields=1:2:3:4").lines.back() == "ok");
  const auto v3 = small.HandleDatagram(request, kRequester, kLimitedBroadcast)[0].bytes;
  const Bytes tail = {0x00, 0x0a, 0x00, 0x06, 0x00, 0x01, 0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x00, 0x7d,
                      0x00, 0x81, 0x00, 0x14, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4};
  ASSERT_GE(v3.size(), tail.size());
  EXPECT_EQ(Bytes(v3.end() - static_cast<long>(tail.size()), v3.end()), tail);
}

TEST_F(SimulatorTest, UnicastRequestsReachOnlyTheAddressedSwitch) {
  struct Case {
    std::uint16_t command;
    std::uint32_t destination;
    std::vector<std::uint32_t> answering;
    std::uint16_t reply;
  };
  const Case cases[] = {
      {CMD_POLL, Ip("198.18.0.12"), {Ip("198.18.0.12")}, CMD_POLL_REPLY},
      {CMD_POLL, Ip("198.18.0.14"), {Ip("198.18.0.14")}, CMD_UNCONFIGURABLE_REPLY},
      {CMD_POLL, kLimitedBroadcast, {}, 0},  // polls are unicast only
      {CMD_POLL, Ip("198.18.0.99"), {}, 0},
      {CMD_DISCOVER, Ip("198.18.0.13"), {Ip("198.18.0.13")}, CMD_DISCOVER_REPLY},
      {CMD_TRAP, kLimitedBroadcast, {}, 0},  // not a request
  };
  for (const auto& c : cases) {
    const auto replies = sim.HandleDatagram(Request(c.command), kRequester, c.destination);
    ASSERT_EQ(replies.size(), c.answering.size()) << c.command << " to " << Ipv4ToText(c.destination);
    for (std::size_t i = 0; i < replies.size(); ++i) {
      EXPECT_EQ(replies[i].source, c.answering[i]);
      EXPECT_EQ(ParseHeader(replies[i].bytes)->command, c.reply);
    }
  }
}

TEST_F(SimulatorTest, EchoesTheManagerIdOfTheRequest) {
  const auto replies = sim.HandleDatagram(Request(CMD_POLL, 0x12345678), kRequester, Ip("198.18.0.11"));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(ParseHeader(replies[0].bytes)->manager_id, 0x12345678u);
}

TEST_F(SimulatorTest, ASilencedSwitchAnswersNothingUntilResumed) {
  EXPECT_EQ(sim.Control("silence 198.18.0.11").lines, (std::vector<std::string>{"ok"}));
  EXPECT_TRUE(sim.HandleDatagram(Request(CMD_POLL), kRequester, Ip("198.18.0.11")).empty());
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, kGroup).size(), 4u);
  EXPECT_EQ(sim.Control("resume 198.18.0.11").lines.back(), "ok");
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_POLL), kRequester, Ip("198.18.0.11")).size(), 1u);
  sim.Control("silence all");
  EXPECT_TRUE(sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, kGroup).empty());
  sim.Control("resume all");
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, kGroup).size(), 5u);
  EXPECT_EQ(sim.Control("silence 198.18.0.99").lines.back(), "error unknown switch");
  // Every poll a switch received is counted, answered or not.
  EXPECT_EQ(sim.Control("polls").lines, (std::vector<std::string>{"polls 198.18.0.11 2", "ok"}));
}

// A switch without a lease answers from 0.0.0.0 (the program sends such answers to the
// broadcast address as raw frames).
TEST_F(SimulatorTest, ASwitchWithoutALeaseAnswersFromNoAddress) {
  ASSERT_EQ(sim.Control("add ip=0.0.0.0,mac=00:1a:2b:3c:4d:99,dhcp=on").lines.back(), "ok");
  const auto replies = sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, kLimitedBroadcast);
  ASSERT_EQ(replies.size(), 6u);
  EXPECT_EQ(replies.back().source, 0u);
  EXPECT_EQ(Decoded(replies.back()).ip, 0u);
  EXPECT_EQ(sim.Control("set 0.0.0.0 ip=198.18.0.16").lines.back(), "ok");
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_DISCOVER), kRequester, kLimitedBroadcast).back().source, Ip("198.18.0.16"));
}

TEST_F(SimulatorTest, ASetAppliesTheSettingsAndEchoesTheSequence) {
  DeviceRecord r = Discover("198.18.0.11");
  SetText(r.password, "admin");
  SetText(r.system_name, "renamed");
  SetText(r.location, "rack 9");
  SetIp(r, Ip("198.18.0.40"));
  SetGateway(r, Ip("198.18.0.254"));
  SetTrapIp(r, Ip("198.18.0.2"));
  r.group_interval = 300;
  const auto replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 7), kRequester, kLimitedBroadcast);
  ASSERT_EQ(replies.size(), 1u);  // only the switch whose MAC the header names
  const auto h = *ParseHeader(replies[0].bytes);
  EXPECT_EQ(h.command, CMD_SET_REPLY);
  EXPECT_EQ(h.sequence, 7);
  EXPECT_EQ(h.ResultCode(), RESULT_OK);
  EXPECT_EQ(replies[0].source, Ip("198.18.0.11"));  // answered where the request arrived

  const DeviceRecord after = Decoded(replies[0]);
  EXPECT_STREQ(after.system_name, "renamed");
  EXPECT_STREQ(after.location, "rack 9");
  EXPECT_STREQ(after.ip_text, "198.18.0.40");
  EXPECT_STREQ(after.gateway_text, "198.18.0.254");
  EXPECT_STREQ(after.trap_ip_text, "198.18.0.2");
  EXPECT_EQ(after.group_interval, 125);  // type 22 is outside an interface 2 switch's mask
  // From now on the switch lives at its new address.
  EXPECT_TRUE(sim.HandleDatagram(Request(CMD_POLL), kRequester, Ip("198.18.0.11")).empty());
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_POLL), kRequester, Ip("198.18.0.40")).size(), 1u);
}

TEST_F(SimulatorTest, ASetUnicastIsAnsweredOnlyAtTheSwitchsAddress) {
  DeviceRecord r = Discover("198.18.0.12");
  SetText(r.location, "closet");
  EXPECT_TRUE(sim.HandleDatagram(SetRequest(CMD_SET_UNICAST, r, 3), kRequester, kLimitedBroadcast).empty());
  const auto replies = sim.HandleDatagram(SetRequest(CMD_SET_UNICAST, r, 3), kRequester, Ip("198.18.0.12"));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(ParseHeader(replies[0].bytes)->command, CMD_SET_UNICAST_REPLY);
  EXPECT_EQ(ParseHeader(replies[0].bytes)->sequence, 3);
  EXPECT_STREQ(Decoded(replies[0]).location, "closet");  // no password set on this switch
}

TEST_F(SimulatorTest, AWrongPasswordChangesNothingAndAnswersResultTwo) {
  DeviceRecord r = Discover("198.18.0.11");
  SetText(r.password, "guess");
  SetText(r.system_name, "hijacked");
  const auto replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 9), kRequester, kGroup);
  ASSERT_EQ(replies.size(), 1u);
  const auto h = *ParseHeader(replies[0].bytes);
  EXPECT_EQ(h.ResultCode(), RESULT_PASSWORD);
  EXPECT_EQ(h.sequence, 9);
  EXPECT_EQ(sim.FindByIp(Ip("198.18.0.11"))->system_name, "core");
}

TEST_F(SimulatorTest, APasswordChangeTakesTheNewPassword) {
  DeviceRecord r = Discover("198.18.0.11");
  SetText(r.password, "admin");
  SetText(r.new_password, "s3cret");
  auto replies = sim.HandleDatagram(SetRequest(CMD_SET_UNICAST, r, 0, true), kRequester, Ip("198.18.0.11"));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(ParseHeader(replies[0].bytes)->ResultCode(), RESULT_OK);
  EXPECT_EQ(sim.FindByIp(Ip("198.18.0.11"))->password, "s3cret");

  SetText(r.new_password, "");
  replies = sim.HandleDatagram(SetRequest(CMD_SET_UNICAST, r, 1, true), kRequester, Ip("198.18.0.11"));
  EXPECT_EQ(ParseHeader(replies[0].bytes)->ResultCode(), RESULT_PASSWORD);  // the old one no longer works
}

TEST_F(SimulatorTest, SwitchingDhcpOnKeepsTheLeaseAddressesAndOffTakesTheTypedOnes) {
  DeviceRecord r = Discover("198.18.0.11");
  SetText(r.password, "admin");
  r.dhcp = DHCP_ON;
  auto replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 0, false, DHCP_MODE_ON), kRequester, kGroup);
  ASSERT_EQ(replies.size(), 1u);
  DeviceRecord after = Decoded(replies[0]);
  EXPECT_EQ(after.dhcp, DHCP_ON);
  EXPECT_STREQ(after.ip_text, "198.18.0.11");  // the 0.0.0.0 the manager sends is not taken
  EXPECT_STREQ(after.gateway_text, "198.18.0.1");
  EXPECT_STREQ(after.subnet_mask_text, "255.255.255.0");

  r = after;
  SetText(r.password, "admin");
  SetSubnetMask(r, Ip("255.255.0.0"));
  replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 0, false, DHCP_MODE_OFF), kRequester, kGroup);
  after = Decoded(replies[0]);
  EXPECT_EQ(after.dhcp, DHCP_OFF);
  EXPECT_STREQ(after.subnet_mask_text, "255.255.0.0");
}

// A DHCP refresh as the manager sends it to the switch at `ip`, chosen in the Monitor List.
Bytes DhcpRefresh(const DeviceRecord& entry, const char* password) {
  DeviceRecord working = entry;
  SetText(working.password, password);
  const RequestDatagram d = BuildDhcpRefreshRequest(working, 1);
  return {d.Bytes().begin(), d.Bytes().end()};
}

TEST_F(SimulatorTest, ADhcpRefreshRenewsTheLeaseAndMovesToItsAddress) {
  ASSERT_EQ(sim.Control("set 198.18.0.13 dhcp=on,lease=198.18.0.50,password=pw").lines.back(), "ok");
  const DeviceRecord entry = Discover("198.18.0.13");
  const Bytes request = DhcpRefresh(entry, "pw");
  ASSERT_TRUE(IsDhcpRefresh(*ParseHeader(request)));
  const auto replies = sim.HandleDatagram(request, kRequester, Ip("198.18.0.13"));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].source, Ip("198.18.0.13"));
  const auto h = *ParseHeader(replies[0].bytes);
  EXPECT_EQ(h.command, CMD_SET_UNICAST_REPLY);
  EXPECT_EQ(h.ResultCode(), RESULT_OK);
  const DeviceRecord after = Decoded(replies[0]);
  EXPECT_STREQ(after.ip_text, "198.18.0.50");
  EXPECT_EQ(after.dhcp, DHCP_ON);
  // Its other settings stay; the zero addresses of the request are not taken.
  EXPECT_STREQ(after.subnet_mask_text, "255.255.255.0");
  EXPECT_STREQ(after.system_name, entry.system_name);
  EXPECT_EQ(sim.HandleDatagram(Request(CMD_POLL), kRequester, Ip("198.18.0.50")).size(), 1u);
}

TEST_F(SimulatorTest, AFailingDhcpRefreshAnswersResultSixWithTheSwitchsInformation) {
  ASSERT_EQ(sim.Control("set 198.18.0.13 dhcp=on,lease=198.18.0.50,refresh=fail,password=pw").lines.back(), "ok");
  const DeviceRecord entry = Discover("198.18.0.13");
  auto replies = sim.HandleDatagram(DhcpRefresh(entry, "pw"), kRequester, Ip("198.18.0.13"));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(ParseHeader(replies[0].bytes)->ResultCode(), RESULT_DHCP_REFRESH_FAIL);
  const DeviceRecord after = Decoded(replies[0]);
  EXPECT_STREQ(after.ip_text, "198.18.0.13");
  EXPECT_STREQ(after.product_name, "SIM-24P");
  // A wrong password is reported before anything else.
  replies = sim.HandleDatagram(DhcpRefresh(entry, "guess"), kRequester, Ip("198.18.0.13"));
  EXPECT_EQ(ParseHeader(replies[0].bytes)->ResultCode(), RESULT_PASSWORD);
  // A configuration is no refresh: it succeeds.
  DeviceRecord r = entry;
  SetText(r.password, "pw");
  SetText(r.location, "moved");
  replies = sim.HandleDatagram(SetRequest(CMD_SET_UNICAST, r, 0), kRequester, Ip("198.18.0.13"));
  EXPECT_EQ(ParseHeader(replies[0].bytes)->ResultCode(), RESULT_OK);
  EXPECT_EQ(sim.FindByIp(Ip("198.18.0.13"))->location, "moved");
}

TEST_F(SimulatorTest, SwitchingDhcpOnMovesToTheLeaseWhenTheServerHasOne) {
  ASSERT_EQ(sim.Control("set 198.18.0.13 dhcp=off,lease=198.18.0.60").lines.back(), "ok");
  DeviceRecord r = Discover("198.18.0.13");
  SetText(r.password, "admin");
  r.dhcp = DHCP_ON;
  const auto replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 0, false, DHCP_MODE_ON), kRequester, kGroup);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].source, Ip("198.18.0.13"));
  EXPECT_STREQ(Decoded(replies[0]).ip_text, "198.18.0.60");
  EXPECT_EQ(Decoded(replies[0]).dhcp, DHCP_ON);
}

TEST_F(SimulatorTest, OnlyTheFieldsTheMaskAllowsChange) {
  // Types 2 (system name) and 9 (password) only.
  ASSERT_EQ(sim.Control("set 198.18.0.13 fields=102,password=pw").lines.back(), "ok");
  DeviceRecord r = Discover("198.18.0.13");
  r.field_mask[0] = 0x3FF;  // a manager that sends more than it should
  SetText(r.password, "pw");
  SetText(r.system_name, "allowed");
  SetText(r.location, "refused");
  SetIp(r, Ip("198.18.0.77"));
  const auto replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 0), kRequester, kGroup);
  ASSERT_EQ(replies.size(), 1u);
  const SimSwitch& s = *sim.FindByIp(Ip("198.18.0.13"));
  EXPECT_EQ(s.system_name, "allowed");
  EXPECT_EQ(s.location, "lab");
  EXPECT_EQ(s.ip, Ip("198.18.0.13"));
}

TEST_F(SimulatorTest, TheGroupIntervalChangesWhereTheMaskAllowsIt) {
  DeviceRecord r = Discover("198.18.0.13");  // interface 3, mask 0x2003FF
  SetText(r.password, "admin");
  r.group_interval = 600;
  const auto replies = sim.HandleDatagram(SetRequest(CMD_SET, r, 0), kRequester, kGroup);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(Decoded(replies[0]).group_interval, 600);
}

TEST_F(SimulatorTest, MalformedOrForeignDatagramsAreAnsweredSafely) {
  const DeviceRecord r = Discover("198.18.0.12");
  Bytes valid = SetRequest(CMD_SET, r, 0);
  Bytes mac_of_nobody = valid;
  mac_of_nobody[header_offset::kMac + 5] = 0x77;
  // A TLV whose length runs past the datagram, and one whose length is below 4.
  Bytes overrun = valid;
  overrun.insert(overrun.end(), {0x00, 0x02, 0x01, 0x00, 'x'});
  Bytes short_length = valid;
  short_length.insert(short_length.end(), {0x00, 0x02, 0x00, 0x02});
  Bytes old_generation = Request(CMD_DISCOVER);
  old_generation[1] = 1;

  EXPECT_TRUE(sim.HandleDatagram(mac_of_nobody, kRequester, kGroup).empty());
  EXPECT_TRUE(sim.HandleDatagram(Bytes(39, 0), kRequester, kGroup).empty());
  EXPECT_TRUE(sim.HandleDatagram(old_generation, kRequester, kGroup).empty());
  for (const Bytes& bad : {overrun, short_length}) {
    const auto replies = sim.HandleDatagram(bad, kRequester, kGroup);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ParseHeader(replies[0].bytes)->ResultCode(), RESULT_PARAMETERS);
  }
  EXPECT_EQ(sim.FindByIp(Ip("198.18.0.12"))->system_name, "switch-12");

  // Random tails after a set header: never a crash, never a reply longer than a datagram.
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    Bytes d(valid.begin(), valid.begin() + kHeaderSize);
    d.resize(kHeaderSize + random() % 200);
    for (std::size_t k = kHeaderSize; k < d.size(); ++k) d[k] = static_cast<std::uint8_t>(random());
    for (const auto& reply : sim.HandleDatagram(d, kRequester, kGroup)) ASSERT_LE(reply.bytes.size(), kMaxDatagram);
  }
}

TEST_F(SimulatorTest, TrapsGoToTheTrapReceiverWithTheirText) {
  auto outcome = sim.Control("trap 198.18.0.11 Port 1 link up");
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{"ok"}));
  ASSERT_EQ(outcome.sends.size(), 1u);
  const Outgoing& trap = outcome.sends[0];
  EXPECT_EQ(trap.source, Ip("198.18.0.11"));
  EXPECT_EQ(trap.to, (Endpoint{Ip("198.18.0.1"), 50001}));
  const auto h = *ParseHeader(trap.bytes);
  EXPECT_EQ(h.command, CMD_TRAP);
  EXPECT_EQ(h.manager_id, kManagerId);
  EXPECT_EQ(h.version_minor, 1);
  const TrapPayload p = ParseTrapPayload(std::span(trap.bytes).subspan(kHeaderSize));
  EXPECT_EQ(p.address, Ip("198.18.0.11"));
  EXPECT_EQ(p.text, "Port 1 link up");
  EXPECT_EQ(trap.bytes.back(), 0);

  // A switch without a trap receiver sends to the simulator's manager address.
  outcome = sim.Control("traps 3 198.18.0.12 storm");
  ASSERT_EQ(outcome.sends.size(), 3u);
  EXPECT_EQ(outcome.sends[2].to, (Endpoint{kManager, 50001}));

  EXPECT_EQ(sim.Control("trap 198.18.0.99 x").lines.back(), "error unknown switch");
  EXPECT_EQ(sim.Control("traps -1 198.18.0.11 x").lines.back().substr(0, 5), "error");
}

TEST_F(SimulatorTest, AStormNumbersItsTrapsWhereTheTextSaysN) {
  auto texts = [&](const std::string& line) {
    std::vector<std::string> out;
    for (const Outgoing& o : sim.Control(line).sends) {
      out.push_back(ParseTrapPayload(std::span(o.bytes).subspan(kHeaderSize)).text);
    }
    return out;
  };
  EXPECT_EQ(texts("traps 3 198.18.0.11 storm %n of 3"),
            (std::vector<std::string>{"storm 1 of 3", "storm 2 of 3", "storm 3 of 3"}));
  EXPECT_EQ(texts("traps 2 198.18.0.11 %n%n"), (std::vector<std::string>{"11", "22"}));
  // Without %n every trap of the storm is the same; a single trap keeps its text as written.
  EXPECT_EQ(texts("traps 2 198.18.0.11 100%"), (std::vector<std::string>{"100%", "100%"}));
  EXPECT_EQ(texts("trap 198.18.0.11 %n"), (std::vector<std::string>{"%n"}));

  const std::vector<Outgoing> storm = sim.Control("traps 1000 198.18.0.12 t%n").sends;
  ASSERT_EQ(storm.size(), 1000u);
  EXPECT_EQ(ParseTrapPayload(std::span(storm.back().bytes).subspan(kHeaderSize)).text, "t1000");
  EXPECT_EQ(storm.back().source, Ip("198.18.0.12"));
}

TEST_F(SimulatorTest, RawSendsCarryArbitraryBytes) {
  auto outcome = sim.Control("raw 198.18.0.11 0002000100");
  ASSERT_EQ(outcome.sends.size(), 1u);
  EXPECT_EQ(outcome.sends[0].bytes, (Bytes{0x00, 0x02, 0x00, 0x01, 0x00}));
  EXPECT_EQ(sim.Control("raw 198.18.0.11 0g").lines.back().substr(0, 5), "error");
  // Beyond the protocol's 1500 bytes, up to the largest UDP datagram.
  outcome = sim.Control("raw 198.18.0.11 " + std::string(2 * 65507, 'a'));
  EXPECT_EQ(outcome.lines.back(), "ok");
  ASSERT_EQ(outcome.sends.size(), 1u);
  EXPECT_EQ(outcome.sends[0].bytes, Bytes(65507, 0xAA));
  EXPECT_EQ(sim.Control("raw 198.18.0.11 " + std::string(2 * 65508, 'a')).lines.back().substr(0, 5), "error");
}

TEST_F(SimulatorTest, ControlLinesAddListAndChangeSwitches) {
  EXPECT_EQ(sim.Control("ping").lines, (std::vector<std::string>{"ok"}));
  EXPECT_TRUE(sim.Control("").lines.empty());
  EXPECT_EQ(sim.Control("add ip=198.18.0.16,mac=00:1a:2b:3c:4d:06").lines.back(), "ok");
  EXPECT_EQ(sim.Control("add ip=198.18.0.16,mac=00:1a:2b:3c:4d:07").lines.back(),
            "error address or MAC already played");
  EXPECT_EQ(sim.Control("set 198.18.0.16 ip=198.18.0.11").lines.back(), "error address or MAC already played");
  EXPECT_EQ(sim.Control("set 198.18.0.16 ip=198.18.0.17").lines.back(), "ok");
  const auto list = sim.Control("list").lines;
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(list[5].substr(0, 40), "ip=198.18.0.17,mac=00:1a:2b:3c:4d:06,maj");
  EXPECT_EQ(sim.Control("launch rockets").lines.back(), "error unknown command launch");
  EXPECT_TRUE(sim.Control("quit").quit);
}

TEST(SwitchDefinitionTest, ParsesEveryKeyAndRefusesWhatItDoesNotKnow) {
  std::string error;
  const auto s = ParseNewSwitch(
      "ip=198.18.0.20, mac=0a0b0c0d0e0f, major=1, minor=0, iface=3, product=X-1, name=a b, location=c,"
      "netmask=255.0.0.0, gateway=198.18.0.1, trap=198.18.0.2, dhcp=none, interval=none, password=p,"
      "fields=1:2:3:4, unconfigurable, silent=0, lease=198.18.0.30, refresh=fail, reboot=250, comeback=never,"
      "tftperror=7,"
      "tftperrortext=Bad image, image=/tmp/x.bin",
      &error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(Describe(*s),
            "ip=198.18.0.20,mac=0a:0b:0c:0d:0e:0f,major=1,minor=0,iface=3,product=X-1,name=a b,location=c,"
            "netmask=255.0.0.0,gateway=198.18.0.1,trap=198.18.0.2,dhcp=none,interval=none,password=p,"
            "fields=1:2:3:4,unconfigurable=1,silent=0,lease=198.18.0.30,refresh=fail,reboot=250,"
            "comeback=never,tftperror=7,"
            "tftperrortext=Bad image,image=/tmp/x.bin");
  // What Describe writes reads back the same.
  EXPECT_EQ(Describe(*ParseNewSwitch(Describe(*s))), Describe(*s));

  struct Bad {
    const char* definition;
    const char* error;
  };
  const Bad bad[] = {
      {"mac=00:00:00:00:00:01", "a switch needs ip and mac"},
      {"ip=198.18.0.1", "a switch needs ip and mac"},
      {"ip=198.18.0.300,mac=00:00:00:00:00:01", "bad value for ip"},
      {"ip=198.18.0.1,mac=00:00:00:00:01", "bad value for mac"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,iface=x", "bad value for iface"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,fields=1:2", "bad value for fields"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,dhcp=maybe", "bad value for dhcp"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,lease=somewhere", "bad value for lease"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,refresh=maybe", "bad value for refresh"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,colour=red", "unknown key colour"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,reboot=-1", "bad value for reboot"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,comeback=later", "bad value for comeback"},
      {"ip=198.18.0.1,mac=00:00:00:00:00:01,tftperror=70000", "bad value for tftperror"},
  };
  for (const auto& b : bad) {
    error.clear();
    EXPECT_FALSE(ParseNewSwitch(b.definition, &error)) << b.definition;
    EXPECT_EQ(error, b.error) << b.definition;
  }
}

TEST(SimulatorIgmpTest, CountsValidVersionOneReportsPerGroup) {
  Simulator sim({});
  auto packet = [](Bytes message) {
    Bytes p(20, 0);
    p[0] = 0x45;
    p[9] = 2;
    p.insert(p.end(), message.begin(), message.end());
    return p;
  };
  const auto report = BuildIgmpReport(kGroup);
  Bytes damaged(report.begin(), report.end());
  damaged[6] ^= 0xFF;
  Bytes v3(report.begin(), report.end());
  v3[0] = 0x22;
  sim.NoteIgmpPacket(packet(Bytes(report.begin(), report.end())));
  sim.NoteIgmpPacket(packet(Bytes(report.begin(), report.end())));
  sim.NoteIgmpPacket(packet(damaged));
  sim.NoteIgmpPacket(packet(v3));
  sim.NoteIgmpPacket(Bytes{0x45});
  EXPECT_EQ(sim.IgmpReports(), (std::map<std::uint32_t, int>{{kGroup, 2}}));
  EXPECT_EQ(sim.Control("igmp").lines, (std::vector<std::string>{"igmp 239.255.100.100 2", "ok"}));
}

}  // namespace
}  // namespace sd::sim
