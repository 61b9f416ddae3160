// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated switches' side of a firmware upgrade, without sockets: the trigger, the TFTP
// server that takes everything on port 69 and answers from elsewhere, the reboot and what comes
// back from it.
#include <gtest/gtest.h>

#include "protocol/byte_io.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"
#include "tools/switchsim/simulator.h"

namespace sd::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ms = std::chrono::milliseconds;

constexpr std::uint32_t kManagerId = 0x01945AE0;
const std::uint32_t kManager = *TextToIpv4("198.18.0.1");
const std::uint32_t kSwitchIp = *TextToIpv4("198.18.0.10");
const std::uint32_t kOtherIp = *TextToIpv4("198.18.0.11");
const Endpoint kRequester{kManager, 50000};
const Endpoint kClient{kManager, 64517};

Bytes Wrq(std::string_view name, std::string_view mode = "octet") {
  Bytes d = {0, 2};
  d.insert(d.end(), name.begin(), name.end());
  d.push_back(0);
  d.insert(d.end(), mode.begin(), mode.end());
  d.push_back(0);
  return d;
}
Bytes Data(std::uint16_t block, std::size_t size, std::uint8_t fill) {
  Bytes d(4 + size, fill);
  PutU16(d.data(), 3);
  PutU16(d.data() + 2, block);
  return d;
}
// "ACK 3" or "ERROR 2 text".
std::string Describe(const Outgoing& o) {
  ByteReader in(o.bytes);
  const auto op = in.U16();
  const auto n = in.U16();
  if (!op || !n) return "short";
  if (*op == 4) return "ACK " + std::to_string(*n);
  if (*op == 5) {
    const auto rest = *in.Bytes(in.Remaining());
    return "ERROR " + std::to_string(*n) + " " + std::string(rest.begin(), std::find(rest.begin(), rest.end(), 0));
  }
  return "opcode " + std::to_string(*op);
}

class SimulatorUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.manager_id = kManagerId;
    sim.SetClock([this] { return Simulator::Clock::time_point{} + now; });
    Add("ip=198.18.0.10,mac=02:00:00:00:00:10,password=admin,reboot=4000");
    Add("ip=198.18.0.11,mac=02:00:00:00:00:11,password=");
  }
  void TearDown() override {
    ResetSettings();
    set_sequence = 0;
  }
  void Add(const std::string& definition) {
    std::string error;
    const auto s = ParseNewSwitch(definition, &error);
    ASSERT_TRUE(s) << error;
    ASSERT_TRUE(sim.Add(*s));
  }
  void Change(const std::string& definition) {
    ASSERT_EQ(sim.Control("set 198.18.0.10 " + definition).lines.back(), "ok");
  }

  std::vector<Outgoing> Trigger(std::string_view password, std::uint32_t destination = kSwitchIp,
                                std::string_view mac = "020000000010") {
    TargetedHeader h;
    h.command = CMD_UPGRADE_TRIGGER;
    HexTextToBytes(mac, h.mac);
    Bytes d(kMaxDatagram);
    BuildTargetedHeader(d.data(), h);
    d.resize(kHeaderSize + EncodeUpgradeTriggerTlv(std::span(d).subspan(kHeaderSize), password));
    return sim.HandleDatagram(d, kRequester, destination);
  }
  std::vector<std::string> Tftp(const Bytes& d, Endpoint from = kClient, std::uint32_t to = kSwitchIp) {
    std::vector<std::string> out;
    for (const auto& o : sim.HandleTftpDatagram(d, from, to)) {
      EXPECT_EQ(o.source, to) << "answers come from the switch's address";
      EXPECT_EQ(o.to, from);
      out.push_back(Describe(o));
    }
    return out;
  }
  std::vector<std::uint16_t> DiscoveryReplies() {
    Bytes d(kHeaderSize);
    BuildRequestHeader(d.data(), CMD_DISCOVER);
    std::vector<std::uint16_t> commands;
    for (const auto& o : sim.HandleDatagram(d, kRequester, kLimitedBroadcast)) {
      if (o.source == kSwitchIp) commands.push_back(ParseHeader(o.bytes)->command);
    }
    return commands;
  }
  // Trigger, then the whole image in order; the answers to the DATA blocks.
  std::vector<std::string> Upload(const Bytes& image) {
    EXPECT_EQ(ParseHeader(Trigger("admin")[0].bytes)->ResultCode(), RESULT_OK);
    EXPECT_EQ(Tftp(Wrq("C:\\fw\\new.hex")), (std::vector<std::string>{"ACK 0"}));
    std::vector<std::string> answers;
    for (std::size_t off = 0, block = 1;; off += 512, ++block) {
      const std::size_t n = std::min<std::size_t>(512, image.size() - off);
      Bytes d = Data(static_cast<std::uint16_t>(block), 0, 0);
      d.insert(d.end(), image.begin() + static_cast<long>(off), image.begin() + static_cast<long>(off + n));
      for (auto& a : Tftp(d)) answers.push_back(a);
      if (n < 512) break;
    }
    return answers;
  }

  Ms now{0};
  Simulator sim{{kManagerId, kManager, 50001, 0}};
};

TEST_F(SimulatorUpgradeTest, TheTriggerIsAcknowledgedWithItsSequenceOrRefusedForAWrongPassword) {
  set_sequence = 77;
  auto replies = Trigger("admin");
  ASSERT_EQ(replies.size(), 1u);
  auto h = *ParseHeader(replies[0].bytes);
  EXPECT_EQ(h.command, CMD_UPGRADE_TRIGGER_REPLY);
  EXPECT_EQ(h.sequence, 77);
  EXPECT_EQ(h.ResultCode(), RESULT_OK);
  EXPECT_EQ(h.mac, (std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 0x10}));
  EXPECT_EQ(replies[0].source, kSwitchIp);

  set_sequence = 78;
  replies = Trigger("guess", kLimitedBroadcast);
  ASSERT_EQ(replies.size(), 1u) << "by broadcast only the switch of the MAC answers";
  h = *ParseHeader(replies[0].bytes);
  EXPECT_EQ(h.ResultCode(), RESULT_PASSWORD);
  EXPECT_EQ(h.sequence, 78);

  EXPECT_TRUE(Trigger("admin", kOtherIp).empty()) << "unicast to another switch's address";
  EXPECT_TRUE(Trigger("admin", kSwitchIp, "020000000099").empty()) << "another MAC";
  // A switch that needs firmware still takes an upgrade.
  Change("unconfigurable=1");
  EXPECT_EQ(ParseHeader(Trigger("admin")[0].bytes)->ResultCode(), RESULT_OK);
}

TEST_F(SimulatorUpgradeTest, AWriteRequestNeedsAnAcceptedTrigger) {
  EXPECT_EQ(Tftp(Wrq("a.hex")), (std::vector<std::string>{"ERROR 2 Upgrade not triggered"}));
  Trigger("wrong");
  EXPECT_EQ(Tftp(Wrq("a.hex")), (std::vector<std::string>{"ERROR 2 Upgrade not triggered"}));
  Trigger("admin");
  EXPECT_EQ(Tftp(Wrq("a.hex", "netascii")), (std::vector<std::string>{"ERROR 0 Only octet mode"}));
  EXPECT_EQ(Tftp(Wrq("a.hex", "OCTET")), (std::vector<std::string>{"ACK 0"}));
  EXPECT_EQ(Tftp(Wrq("a.hex", "OCTET")), (std::vector<std::string>{"ACK 0"})) << "a repeated request";
  EXPECT_EQ(Tftp(Bytes{0, 2, 'a', 0, 'o', 'c'}), (std::vector<std::string>{"ERROR 4 Illegal TFTP operation"}));
  EXPECT_TRUE(Tftp(Wrq("a.hex"), kClient, *TextToIpv4("198.18.0.99")).empty()) << "no switch at that address";
}

TEST_F(SimulatorUpgradeTest, KeepsTheImageByteForByteAndRebootsAfterTheLastBlock) {
  test::TempConfigDir dir;
  Change("image=" + dir.File("received.bin"));
  Bytes image(1300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31);
  EXPECT_EQ(Upload(image), (std::vector<std::string>{"ACK 1", "ACK 2", "ACK 3"}));

  const ReceivedImage* received = sim.Image(kSwitchIp);
  ASSERT_NE(received, nullptr);
  EXPECT_TRUE(received->complete);
  EXPECT_EQ(received->bytes, image);
  EXPECT_EQ(received->file_name, "C:\\fw\\new.hex");
  EXPECT_EQ(dir.Read("received.bin"), image);
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(image)));
  EXPECT_EQ(sim.Control("image 198.18.0.10").lines,
            (std::vector<std::string>{"image 198.18.0.10 size=1300 fnv1a64=" + std::string(hash) +
                                          " complete=1 rebooting=1 file=C:\\fw\\new.hex",
                                      "ok"}));

  // Rebooting: nothing answers, but the last block is acknowledged again if the client repeats it.
  EXPECT_TRUE(DiscoveryReplies().empty());
  EXPECT_TRUE(Trigger("admin").empty());
  Bytes last = Data(3, 0, 0);
  last.insert(last.end(), image.begin() + 1024, image.end());
  EXPECT_EQ(Tftp(last), (std::vector<std::string>{"ACK 3"}));
  EXPECT_EQ(sim.Image(kSwitchIp)->bytes.size(), 1300u) << "a repeat is not kept twice";
  now = Ms(3999);
  EXPECT_TRUE(DiscoveryReplies().empty());
  now = Ms(4000);
  EXPECT_EQ(DiscoveryReplies(), (std::vector<std::uint16_t>{CMD_DISCOVER_REPLY}));
  EXPECT_EQ(Tftp(Wrq("again.hex")), (std::vector<std::string>{"ERROR 2 Upgrade not triggered"}))
      << "each upgrade needs its own trigger";
}

TEST_F(SimulatorUpgradeTest, ExactMultiplesOf512EndWithAnEmptyBlock) {
  for (const std::size_t size : {0u, 512u, 1024u}) {
    now += Ms(10000);  // past the previous reboot
    const Bytes image(size, 0x42);
    const auto answers = Upload(image);
    EXPECT_EQ(answers.size(), size / 512 + 1);
    EXPECT_TRUE(sim.Image(kSwitchIp)->complete);
    EXPECT_EQ(sim.Image(kSwitchIp)->bytes, image);
  }
}

TEST_F(SimulatorUpgradeTest, RepeatedStrayAndForeignDataBlocks) {
  Trigger("admin");
  Tftp(Wrq("x.hex"));
  EXPECT_EQ(Tftp(Data(1, 512, 1)), (std::vector<std::string>{"ACK 1"}));
  EXPECT_EQ(Tftp(Data(1, 512, 1)), (std::vector<std::string>{"ACK 1"})) << "our acknowledgement was lost";
  EXPECT_TRUE(Tftp(Data(5, 512, 1)).empty()) << "a block from the future";
  EXPECT_EQ(Tftp(Data(2, 512, 2), {kManager, 64518}), (std::vector<std::string>{"ERROR 5 Unknown transfer ID"}));
  EXPECT_EQ(Tftp(Data(2, 513, 2)), (std::vector<std::string>{"ERROR 4 Illegal TFTP operation"}));
  EXPECT_TRUE(Tftp(Data(2, 10, 2)).empty()) << "the transfer ended with the illegal block";
  EXPECT_EQ(sim.Image(kSwitchIp)->bytes, Bytes(512, 1));
  EXPECT_FALSE(sim.Image(kSwitchIp)->complete);
  EXPECT_TRUE(Tftp(Bytes{0}).empty());
  EXPECT_TRUE(Tftp(Bytes{}).empty());
}

TEST_F(SimulatorUpgradeTest, AnswersWithTheConfiguredTftpError) {
  Change("tftperror=0,tftperrortext=Flash busy");
  Trigger("admin");
  EXPECT_EQ(Tftp(Wrq("x.hex")), (std::vector<std::string>{"ERROR 0 Flash busy"}));

  Change("tftperror=2,tftperrortext=Checksum error");
  Trigger("admin");
  EXPECT_EQ(Tftp(Wrq("x.hex")), (std::vector<std::string>{"ACK 0"}));
  EXPECT_EQ(Tftp(Data(1, 512, 1)), (std::vector<std::string>{"ACK 1"}));
  EXPECT_EQ(Tftp(Data(2, 512, 1)), (std::vector<std::string>{"ERROR 0 Checksum error"}));
  EXPECT_TRUE(Tftp(Data(2, 512, 1)).empty());
  EXPECT_FALSE(sim.Image(kSwitchIp)->complete);
  EXPECT_EQ(DiscoveryReplies(), (std::vector<std::uint16_t>{CMD_DISCOVER_REPLY})) << "no reboot";
}

TEST_F(SimulatorUpgradeTest, WhatComesBackFromTheReboot) {
  struct Case {
    const char* comeback;
    std::vector<std::uint16_t> after;
  };
  for (const Case& c : {Case{"normal", {CMD_DISCOVER_REPLY}}, Case{"unconfigurable", {CMD_UNCONFIGURABLE_REPLY}},
                        Case{"never", {}}}) {
    sim = Simulator({kManagerId, kManager, 50001, 0});  // a fresh switch
    sim.SetClock([this] { return Simulator::Clock::time_point{} + now; });
    now = Ms(0);
    Add(std::string("ip=198.18.0.10,mac=02:00:00:00:00:10,password=admin,reboot=500,comeback=") + c.comeback);
    Upload(Bytes(700, 7));
    EXPECT_TRUE(DiscoveryReplies().empty()) << c.comeback;
    now = Ms(3600 * 1000);
    EXPECT_EQ(DiscoveryReplies(), c.after) << c.comeback;
  }
}

}  // namespace
}  // namespace sd::sim
