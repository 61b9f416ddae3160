// SPDX-License-Identifier: GPL-3.0-or-later
// The device lists filled over real sockets in the lab: every column of a discovery of mixed
// switch generations, a monitored switch that moves to a new address, traps from monitored and
// unmonitored switches, and datagrams that are malformed, foreign or hostile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "protocol/ipv4.h"
#include "support/datagrams.h"
#include "support/lab_engine.h"

namespace sd {
namespace {

using test::AgentDatagram;
using test::LabEngineTest;
using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;

std::string Hex(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 0xF]);
  }
  return text;
}

bool SameRecord(const DeviceRecord& a, const DeviceRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- Discovery of mixed generations ----

struct DiscoveredSwitch {
  std::string definition;
  Row row;  // MAC, IP, Protocol Version, Product, System, DHCP, Location, Trap IP, Subnet, Gateway, Group Interval
};

const std::vector<DiscoveredSwitch> kMixedSwitches = {
    {"ip=198.18.0.10,mac=02:00:00:00:00:10,iface=1,name=edge-1,location=hall,dhcp=on",
     {"020000000010", "198.18.0.10", "2.001.001", "SIM-8P", "edge-1", "enable", "hall", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", ""}},
    // Interface version 1 without a DHCP report: not reported, an empty cell.
    {"ip=198.18.0.11,mac=02:00:00:00:00:11,iface=1,name=edge-1b,dhcp=none,trap=198.18.0.1",
     {"020000000011", "198.18.0.11", "2.001.001", "SIM-8P", "edge-1b", "", "lab", "198.18.0.1",
      "255.255.255.0", "0.0.0.0", ""}},
    {"ip=198.18.0.12,mac=02:00:00:00:00:12,iface=2,name=edge-2,dhcp=off,interval=125",
     {"020000000012", "198.18.0.12", "2.001.002", "SIM-8P", "edge-2", "disable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", "125"}},
    // Interface version 2 without a DHCP report keeps the entry's mode: a new entry's is off.
    {"ip=198.18.0.13,mac=02:00:00:00:00:13,iface=2,name=edge-2b,dhcp=none,interval=0",
     {"020000000013", "198.18.0.13", "2.001.002", "SIM-8P", "edge-2b", "disable", "lab", "0.0.0.0",
      "255.255.255.0", "0.0.0.0", "disable"}},
    {"ip=198.18.0.14,mac=02:00:00:00:00:14,iface=3,product=SIM-24P,name=core,location=rack 2,"
     "netmask=255.255.254.0,gateway=198.18.0.1,trap=198.18.0.1,dhcp=on,interval=300",
     {"020000000014", "198.18.0.14", "2.001.003", "SIM-24P", "core", "enable", "rack 2", "198.18.0.1",
      "255.255.254.0", "198.18.0.1", "300"}},
    // Names longer than their fields are cut to 40 and 20 characters.
    {"ip=198.18.0.15,mac=02:00:00:00:00:15,iface=3,product=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghij,"
     "name=abcdefghijklmnopqrstuvwxyz,location=0123456789012345678901234,dhcp=off",
     {"020000000015", "198.18.0.15", "2.001.003", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd",
      "abcdefghijklmnopqrst", "disable", "01234567890123456789", "0.0.0.0", "255.255.255.0", "0.0.0.0", ""}},
    // An older protocol generation: only its header is read.
    {"ip=198.18.0.16,mac=02:00:00:00:00:16,major=1,iface=0,name=old",
     {"020000000016", "198.18.0.16", "1.001.000", "", "", "", "", "", "", "", ""}},
    // A switch that can only take firmware answers with its header alone.
    {"ip=198.18.0.17,mac=02:00:00:00:00:17,unconfigurable,name=blank",
     {"020000000017", "198.18.0.17", "2.001.002", "", "", "", "", "", "", "", ""}},
};

TEST_F(LabEngineTest, EightSwitchesOfMixedGenerationsFillEveryColumnOfTheDiscoveryList) {
  std::vector<std::string> definitions;
  for (const auto& s : kMixedSwitches) definitions.push_back(s.definition);
  ASSERT_NO_FATAL_FAILURE(StartLab(definitions));

  ASSERT_TRUE(DiscoverRows(8));
  ASSERT_EQ(discovery_list.RowCount(), 8);
  ASSERT_EQ(discovery_list.ColumnCount(), 11);
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 8);
  for (const auto& s : kMixedSwitches) {
    const int row = dlg.FindDiscoveryRowByMac(s.row[0]);
    ASSERT_LT(row, 8) << s.row[0];
    EXPECT_EQ(RowTexts(discovery_list, row), s.row) << s.definition;
  }
  const auto unconfigurable = dlg.DiscoveryTable().FindByMac("020000000017");
  ASSERT_TRUE(unconfigurable.found);
  EXPECT_EQ(dlg.DiscoveryTable().Entry(unconfigurable.index).firmware_state, FIRMWARE_STATE_UNCONFIGURABLE);
  EXPECT_EQ(monitor_list.RowCount(), 0);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

// ---- A monitored switch at a new address ----

TEST_F(LabEngineTest, AMonitoredSwitchAtANewAddressIsFoundByItsMacAndItsRowFollows) {
  // Saved last time: "edge" at .10, and "spare" at .11 while it was shown not alive. Since then
  // "spare" moved to .21; "edge" moves to .20 during the run.
  DeviceRecord edge = test::Switch("020000000010", "198.18.0.10", "SIM-8P");
  DeviceRecord spare = test::Switch("020000000011", "198.18.0.11", "SIM-8P");
  spare.status_image = 1;
  Bytes file(2 * sizeof(DeviceRecord));
  std::memcpy(file.data(), &edge, sizeof edge);
  std::memcpy(file.data() + sizeof edge, &spare, sizeof spare);
  dir.Write("monitor.cfg", file);
  dlg.LoadMonitorFileAtStartup();
  ASSERT_EQ(monitor_list.RowCount(), 2);
  ASSERT_EQ(monitor_list.Image(1), 1);
  ASSERT_NO_FATAL_FAILURE(StartLab({"ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3,name=edge",
                                    "ip=198.18.0.21,mac=02:00:00:00:00:11,iface=3,name=spare"}));
  const Row edge_row = {"", "198.18.0.20", "020000000010", "2.001.003", "SIM-8P", "edge", "disable", "lab",
                        "0.0.0.0", "255.255.255.0", "0.0.0.0", ""};
  const Row spare_row = {"", "198.18.0.21", "020000000011", "2.001.003", "SIM-8P", "spare", "disable", "lab",
                         "0.0.0.0", "255.255.255.0", "0.0.0.0", ""};

  // One late answer of "spare" from its new address: found by its MAC, its row shows the new
  // address in place and keeps the not-alive mark until an answer is found by address.
  AgentDatagram answer;
  answer.mac = {0x02, 0, 0, 0, 0, 0x11};
  answer.interface_version = 3;
  answer.command = 6;  // the switches' poll reply, filed as device information
  answer.Text(TLV_PRODUCT_NAME, "SIM-8P")
      .Text(TLV_SYSTEM_NAME, "spare")
      .Text(TLV_LOCATION, "lab")
      .Address(TLV_IP_ADDRESS, "198.18.0.21")
      .Address(TLV_SUBNET_MASK, "255.255.255.0")
      .Address(TLV_GATEWAY, "0.0.0.0")
      .Address(TLV_TRAP_IP, "0.0.0.0")
      .Dhcp(0);
  ASSERT_TRUE(Sim("raw 198.18.0.21 " + Hex(answer.Bytes())));
  ASSERT_TRUE(loop.RunUntil([&] { return GetText(dlg.MonitorTable().Entry(1).ip_text) == "198.18.0.21"; },
                            std::chrono::seconds(5)));
  EXPECT_EQ(RowTexts(monitor_list, 1), spare_row);
  EXPECT_EQ(monitor_list.Image(1), 1);
  EXPECT_EQ(dlg.MonitorTable().Entry(1).status_image, 1);
  EXPECT_EQ(dlg.MonitorTable().Entry(1).row_state, 1u);
  EXPECT_EQ(monitor_list.Text(0, 1), "198.18.0.10");

  // "edge" moves; the discovery's answers from the new addresses update the monitored rows, and
  // the Discovery List stays empty. "spare" is now answering at an address the list knows.
  ASSERT_TRUE(Sim("set 198.18.0.10 ip=198.18.0.20"));
  engine->OnDiscover();
  ASSERT_TRUE(loop.RunUntil(
      [&] {
        return GetText(dlg.MonitorTable().Entry(0).ip_text) == "198.18.0.20" &&
               dlg.MonitorTable().Entry(1).status_image == -1;
      },
      std::chrono::seconds(5)));
  loop.RunFor(std::chrono::milliseconds(300));
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 0);
  EXPECT_EQ(discovery_list.RowCount(), 0);
  ASSERT_EQ(monitor_list.RowCount(), 2);
  EXPECT_EQ(RowTexts(monitor_list, 0), edge_row);
  EXPECT_EQ(RowTexts(monitor_list, 1), spare_row);
  for (int i = 0; i < 2; ++i) {
    const DeviceRecord e = dlg.MonitorTable().Entry(i);
    EXPECT_EQ(monitor_list.Image(i), -1) << i;
    EXPECT_EQ(e.row_state, 1u) << i;
    // The poll thread sends to this address from now on.
    EXPECT_EQ(e.ip, *TextToIpv4(i == 0 ? "198.18.0.20" : "198.18.0.21")) << i;
  }
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

// ---- Traps ----

TEST_F(LabEngineTest, OnlyTrapsFromMonitoredSwitchesAreLoggedAndStored) {
  ASSERT_NO_FATAL_FAILURE(StartLab({"ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3,name=a",
                                    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=3,name=b",
                                    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=c"}));
  FixLogClock();
  ASSERT_TRUE(DiscoverRows(3));
  std::vector<int> rows = {dlg.FindDiscoveryRowByMac("020000000010"), dlg.FindDiscoveryRowByMac("020000000011")};
  std::sort(rows.begin(), rows.end());
  dlg.TransferToMonitorList(rows);
  ASSERT_EQ(dlg.MonitorTable().Count(), 2);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  // A switch in neither list, and .11 with two requests unanswered.
  ASSERT_TRUE(Sim("add ip=198.18.0.13,mac=02:00:00:00:00:13"));
  const int b = dlg.MonitorTable().FindByIp("198.18.0.11").index;
  dlg.NotePollSent(b);
  dlg.NotePollSent(b);
  ASSERT_EQ(dlg.MonitorTable().Entry(b).missed_polls, 1u);
  const DeviceRecord discovered = dlg.DiscoveryTable().Entry(0);
  const Row discovered_row = RowTexts(discovery_list, 0);

  const std::string long_text(300, 'x');
  const std::vector<std::string> lines = {"trap 198.18.0.12 Port 1 link up",  // only discovered
                                          "trap 198.18.0.13 Port 1 link up",  // in neither list
                                          "trap 198.18.0.11 Port 2 link down", "trap 198.18.0.10 " + long_text};
  for (const auto& line : lines) ASSERT_TRUE(Sim(line)) << line;
  ASSERT_TRUE(loop.RunUntil([&] { return traps.trap_count() == 2; }, std::chrono::seconds(5)));
  loop.RunFor(std::chrono::milliseconds(200));

  const std::string ts = kFixedTimestamp;
  EXPECT_EQ(Log(), ts + " 198.18.0.11 Trap :Port 2 link down\r\n" + ts + " 198.18.0.10 Trap :" + long_text + "\r\n");
  ASSERT_EQ(traps.trap_count(), 2);
  struct Stored {
    std::string time, address, text;
  };
  const Stored expected[] = {{ts, "198.18.0.11", "Port 2 link down"}, {ts, "198.18.0.10", long_text.substr(0, 255)}};
  for (std::size_t i = 0; i < 2; ++i) {
    const TrapRecord& r = traps.Slot(i);
    EXPECT_EQ(GetText(r.time_text), expected[i].time);
    EXPECT_EQ(GetText(r.address_text), expected[i].address);
    EXPECT_EQ(GetText(r.event_text), expected[i].text);
    EXPECT_EQ(r.image, TRAP_IMAGE_UNREAD);
  }
  EXPECT_EQ(traps.Slot(2).event_text[0], '\0');
  EXPECT_TRUE(indicator.lit);
  // A trap is a sign of life for the monitored switch...
  const DeviceRecord e = dlg.MonitorTable().Entry(b);
  EXPECT_EQ(e.answered, 1u);
  EXPECT_EQ(e.missed_polls, 0u);
  EXPECT_EQ(e.row_state, 1u);
  // ...and nothing at all for the others.
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_TRUE(SameRecord(dlg.DiscoveryTable().Entry(0), discovered));
  EXPECT_EQ(RowTexts(discovery_list, 0), discovered_row);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

// ---- Malformed, foreign and hostile datagrams ----

AgentDatagram Reply(std::uint8_t mac_last) {
  AgentDatagram d;
  d.mac = {0x02, 0, 0, 0, 0x01, mac_last};
  d.Text(TLV_PRODUCT_NAME, "ROGUE").Text(TLV_SYSTEM_NAME, "rogue").Address(TLV_IP_ADDRESS, "198.18.0.12");
  return d;
}

Bytes Oversize(AgentDatagram d, std::size_t size) {
  Bytes bytes = d.Bytes();
  bytes.resize(size, 0);  // type 0 ends decoding: a datagram cut to 1500 bytes would look whole
  return bytes;
}

// Datagrams the manager must drop without a trace.
std::vector<std::pair<std::string, Bytes>> DroppedDatagrams() {
  std::vector<std::pair<std::string, Bytes>> out;
  out.push_back({"empty", {}});
  out.push_back({"one byte", {0x00}});
  const Bytes whole = Reply(1).Bytes();
  out.push_back({"header cut at 39 bytes", Bytes(whole.begin(), whole.begin() + 39)});
  for (std::uint32_t id : {0x01020304u, 0u, ~Settings.manager_id}) {
    AgentDatagram d = Reply(2);
    d.manager_id = id;
    out.push_back({"manager id " + std::to_string(id), d.Bytes()});
  }
  AgentDatagram foreign_trap;
  foreign_trap.Trap("198.18.0.10", "foreign trap");
  foreign_trap.manager_id = 0x01020304;
  out.push_back({"trap with a foreign manager id", foreign_trap.Bytes()});
  for (std::uint16_t minor : std::initializer_list<std::uint16_t>{0, 2, 0x0101}) {
    AgentDatagram d = Reply(3);
    d.version_minor = minor;
    out.push_back({"minor " + std::to_string(minor), d.Bytes()});
    d.command = CMD_TRAP;
    d.payload.clear();
    d.Trap("198.18.0.10", "wrong minor");
    out.push_back({"trap with minor " + std::to_string(minor), d.Bytes()});
  }
  for (std::size_t size : {1501u, 4000u, 65000u}) out.push_back({"oversize " + std::to_string(size), Oversize(Reply(4), size)});
  AgentDatagram long_trap;
  long_trap.Trap("198.18.0.10", std::string(1400, 'y'));
  Bytes oversize_trap = long_trap.Bytes();
  oversize_trap.insert(oversize_trap.end() - 1, 200, std::uint8_t{'z'});  // keep the closing zero
  out.push_back({"oversize trap", oversize_trap});

  std::mt19937 random(20070601);
  auto byte = [&] { return static_cast<std::uint8_t>(random() & 0xFF); };
  for (int i = 0; i < 64; ++i) {
    Bytes b(1 + static_cast<std::size_t>(random() % 1500));
    for (auto& x : b) x = byte();
    out.push_back({"random " + std::to_string(i), b});
  }
  // Random bytes behind this manager's identifier, with a version other than 1.001.
  for (int i = 0; i < 32; ++i) {
    Bytes b(kHeaderSize + static_cast<std::size_t>(random() % (1500 - kHeaderSize)));
    for (auto& x : b) x = byte();
    PutU32(b.data() + header_offset::kManagerId, Settings.manager_id);
    if (GetU16(b.data() + header_offset::kVersionMinor) == VERSION_MINOR_REPLY) b[header_offset::kVersionMinor] = 0x80;
    out.push_back({"random with our manager id " + std::to_string(i), b});
  }
  return out;
}

TEST_F(LabEngineTest, MalformedAndForeignDatagramsFileNothingAndLeaveNoTrace) {
  ASSERT_NO_FATAL_FAILURE(StartLab({"ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3,name=monitored",
                                    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=3,name=discovered",
                                    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=sync,silent"}));
  ASSERT_TRUE(DiscoverRows(2));
  dlg.TransferToMonitorList({dlg.FindDiscoveryRowByMac("020000000010")});
  ASSERT_EQ(dlg.MonitorTable().Count(), 1);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  // Two unanswered requests: a datagram taken for a sign of life would show.
  dlg.NotePollSent(0);
  dlg.NotePollSent(0);
  const DeviceRecord monitored = dlg.MonitorTable().Entry(0);
  const DeviceRecord discovered = dlg.DiscoveryTable().Entry(0);
  const Row monitored_row = RowTexts(monitor_list, 0);
  const Row discovered_row = RowTexts(discovery_list, 0);

  const auto stream = DroppedDatagrams();
  int sent = 0;
  for (const auto& [name, bytes] : stream) {
    // From the monitored and the discovered switch in turn; the loop reads between sends.
    const char* from = (sent++ % 2 == 0) ? "198.18.0.10" : "198.18.0.11";
    ASSERT_TRUE(Sim(std::string("raw ") + from + " " + Hex(bytes))) << name;
    loop.RunFor(std::chrono::milliseconds(2));
  }
  // A well-formed reply sent last marks the end of the stream: once it is filed, every earlier
  // datagram has been read.
  ASSERT_TRUE(Sim("raw 198.18.0.12 " + Hex(Reply(0x12).Bytes())));
  ASSERT_TRUE(loop.RunUntil([&] { return dlg.DiscoveryTable().Count() == 2; }, std::chrono::seconds(5)));
  loop.RunFor(std::chrono::milliseconds(200));

  EXPECT_EQ(dlg.DiscoveryTable().Count(), 2);
  EXPECT_EQ(discovery_list.Text(1, 0), "020000000112");
  EXPECT_TRUE(SameRecord(dlg.MonitorTable().Entry(0), monitored));
  EXPECT_TRUE(SameRecord(dlg.DiscoveryTable().Entry(0), discovered));
  EXPECT_EQ(RowTexts(monitor_list, 0), monitored_row);
  EXPECT_EQ(RowTexts(discovery_list, 0), discovered_row);
  EXPECT_EQ(dlg.MonitorTable().Count(), 1);
  EXPECT_EQ(traps.trap_count(), 0);
  EXPECT_FALSE(indicator.lit);
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

// Well-formed headers with TLV lengths that lie: each datagram files the device its header
// names, with what could be read safely and every text within its field.
struct HostileCase {
  std::string name;
  Bytes tlvs;
  std::string product, system, location, group_interval;
};

Bytes Tlv(std::uint16_t type, std::uint16_t length, Bytes value) {
  Bytes b(4);
  PutU16(b.data(), type);
  PutU16(b.data() + 2, length);
  b.insert(b.end(), value.begin(), value.end());
  return b;
}
Bytes TextTlv(std::uint16_t type, const std::string& text) {
  return Tlv(type, static_cast<std::uint16_t>(text.size() + 4), Bytes(text.begin(), text.end()));
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

TEST_F(LabEngineTest, HostileTlvLengthsAreReadOnlyAsFarAsTheyAreSafe) {
  const std::vector<HostileCase> cases = {
      {"string longer than the datagram", Join({Tlv(TLV_PRODUCT_NAME, 0xFFFF, Bytes(8, 'A'))}), "", "", "", ""},
      {"length below the TLV header", Join({Tlv(TLV_SYSTEM_NAME, 3, {'a', 'b'}), TextTlv(TLV_LOCATION, "x")}), "", "",
       "", ""},
      {"length zero", Join({TextTlv(TLV_PRODUCT_NAME, "P"), Tlv(TLV_LOCATION, 0, Bytes(16, 'L'))}), "P", "", "", ""},
      {"texts longer than their fields",
       Join({TextTlv(TLV_PRODUCT_NAME, std::string(1000, 'p')), TextTlv(TLV_SYSTEM_NAME, std::string(300, 's')),
             TextTlv(TLV_LOCATION, std::string(100, 'l'))}),
       std::string(40, 'p'), std::string(20, 's'), std::string(20, 'l'), ""},
      {"address cut short", Join({TextTlv(TLV_PRODUCT_NAME, "ok"), Tlv(TLV_IP_ADDRESS, 8, {198, 18})}), "ok", "", "",
       ""},
      {"fixed-size value with a lying length",
       Join({Tlv(TLV_GROUP_INTERVAL, 0xFFFF, {0, 0, 0, 42}), TextTlv(TLV_SYSTEM_NAME, "after")}), "", "after", "",
       "42"},
      {"field mask cut short", Join({TextTlv(TLV_LOCATION, "here"), Tlv(TLV_FIELD_MASK, 20, Bytes(10, 0xFF))}), "",
       "", "here", ""},
      {"unknown type", Join({Tlv(0x7777, 8, Bytes(4, 1)), TextTlv(TLV_PRODUCT_NAME, "unseen")}), "", "", "", ""},
  };
  ASSERT_NO_FATAL_FAILURE(StartLab({"ip=198.18.0.12,mac=02:00:00:00:00:12,name=sender,silent"}));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    AgentDatagram d;
    d.mac = {0x02, 0, 0, 0, 0x02, static_cast<std::uint8_t>(i)};
    d.payload = cases[i].tlvs;
    ASSERT_TRUE(Sim("raw 198.18.0.12 " + Hex(d.Bytes()))) << cases[i].name;
  }
  ASSERT_TRUE(loop.RunUntil([&] { return discovery_list.RowCount() == static_cast<int>(cases.size()); },
                            std::chrono::seconds(5)));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const HostileCase& c = cases[i];
    const std::string mac = "0200000002" + std::string(1, "0123456789abcdef"[i >> 4]) + "0123456789abcdef"[i & 0xF];
    const int row = dlg.FindDiscoveryRowByMac(mac);
    const Row expected = {mac, "198.18.0.12", "2.001.002", c.product, c.system, "disable", c.location, "", "", "",
                          c.group_interval};
    EXPECT_EQ(RowTexts(discovery_list, row), expected) << c.name;
  }
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

// ---- Capacity ----

TEST_F(LabEngineTest, The257thSwitchIsRefusedWithItsMessage) {
  std::vector<std::string> switches;
  for (int i = 0; i < 257; ++i) switches.push_back("ip=" + test::LabSwitchIp(i) + ",mac=" + test::LabSwitchMac(i));
  ASSERT_NO_FATAL_FAILURE(StartLab(switches));
  engine->OnDiscover();
  // The last switch answers last, to the broadcast and to the group: both answers are refused.
  ASSERT_TRUE(loop.RunUntil([&] { return messages.shown.size() == 2; }, std::chrono::seconds(10)))
      << discovery_list.RowCount() << " rows, " << messages.shown.size() << " messages";
  loop.RunFor(std::chrono::milliseconds(300));
  const test::ShownMessage refused{"Cannot add device.\nMaximum of 256 devices reached.", "Error", MessageIcon::Error};
  EXPECT_EQ(messages.shown, (std::vector<test::ShownMessage>{refused, refused}));
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 256);
  EXPECT_EQ(discovery_list.RowCount(), 256);
  EXPECT_FALSE(dlg.DiscoveryTable().FindByMac("020000000100").found);
  EXPECT_TRUE(dlg.DiscoveryTable().FindByMac("0200000000ff").found);
}

}  // namespace
}  // namespace sd
