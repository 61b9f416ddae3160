// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/payload_builders.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "protocol/byte_io.h"
#include "protocol/operation_context.h"

namespace sd {
namespace {

struct Tlv {
  std::uint16_t type;
  std::uint16_t length;
  std::vector<std::uint8_t> value;
};

std::vector<Tlv> Split(std::span<const std::uint8_t> bytes) {
  std::vector<Tlv> out;
  ByteReader in(bytes);
  while (in.Remaining() >= 4) {
    Tlv t{*in.U16(), *in.U16(), {}};
    auto v = in.Bytes(t.length - 4u);
    if (!v) ADD_FAILURE() << "TLV runs past the payload";
    if (!v) break;
    t.value.assign(v->begin(), v->end());
    out.push_back(t);
  }
  EXPECT_EQ(in.Remaining(), 0u);
  return out;
}

std::vector<std::uint16_t> Types(const std::vector<Tlv>& tlvs) {
  std::vector<std::uint16_t> out;
  for (auto& t : tlvs) out.push_back(t.type);
  return out;
}

DeviceRecord Configured(std::uint16_t interface_version, std::uint32_t mask) {
  DeviceRecord r = ZeroRecord();
  r.interface_version = interface_version;
  r.field_mask[0] = mask;
  r.dhcp = DHCP_ON;
  r.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  SetText(r.password, "pw");
  SetText(r.product_name, "GS-108");
  SetText(r.system_name, "sw1");
  SetText(r.location, "lab");
  SetIp(r, 0xC0A8000A);
  SetGateway(r, 0xC0A80001);
  SetTrapIp(r, 0xC0A80002);
  SetSubnetMask(r, 0xFFFFFF00);
  return r;
}

class PayloadTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetOperationContext(); }
  std::array<std::uint8_t, 1460> out{};
};

TEST_F(PayloadTest, SettingsOrderForInterfaceVersionOne) {
  DeviceRecord r = Configured(1, 0x1FF);
  auto tlvs = Split({out.data(), EncodeSettingsTlvs(out, r, DHCP_MODE_UNCHANGED)});
  EXPECT_EQ(Types(tlvs), (std::vector<std::uint16_t>{9, 1, 2, 3, 4, 6, 7, 5}));
  EXPECT_EQ(tlvs[2].length, 7) << "a three-character name is 00 02 00 07 and the name";
  EXPECT_EQ(tlvs[4].value, (std::vector<std::uint8_t>{192, 168, 0, 10}));
  EXPECT_EQ(OperationContext::Instance().AwaitedIp(), 0xC0A8000Au);
}

TEST_F(PayloadTest, SwitchingDhcpOnSendsZeroAddressesAndTheState) {
  DeviceRecord r = Configured(2, 0x3FF);
  auto tlvs = Split({out.data(), EncodeSettingsTlvs(out, r, DHCP_MODE_ON)});
  EXPECT_EQ(Types(tlvs), (std::vector<std::uint16_t>{9, 1, 2, 3, 4, 6, 7, 5, 10}));
  const std::vector<std::uint8_t> zero{0, 0, 0, 0};
  EXPECT_EQ(tlvs[4].value, zero);
  EXPECT_EQ(tlvs[5].value, zero);
  EXPECT_EQ(tlvs[6].value, (std::vector<std::uint8_t>{192, 168, 0, 2})) << "the trap receiver stays";
  EXPECT_EQ(tlvs[7].value, zero);
  EXPECT_EQ(tlvs[8].length, 6);
  EXPECT_EQ(tlvs[8].value, (std::vector<std::uint8_t>{0, 1}));
}

TEST_F(PayloadTest, DhcpTlvByModeStateAndWidth) {
  struct Case {
    std::uint16_t iface, dhcp, mode;
    std::vector<std::uint8_t> expected;  // the whole TLV_DHCP, empty for none
  };
  const Case cases[] = {
      {1, DHCP_ON, DHCP_MODE_ON, {0, 10, 0, 5, 1}},
      {2, DHCP_ON, DHCP_MODE_ON, {0, 10, 0, 6, 0, 1}},
      {2, DHCP_ON, DHCP_MODE_OFF, {0, 10, 0, 6, 0, 0}},
      {2, DHCP_ON, DHCP_MODE_UNCHANGED, {}},
      {2, DHCP_NOT_REPORTED, DHCP_MODE_ON, {}},
      {2, DHCP_NOT_REPORTED, DHCP_MODE_OFF, {}},
  };
  for (const auto& c : cases) {
    DeviceRecord r = Configured(c.iface, 1u << 9);
    r.dhcp = c.dhcp;
    const std::size_t n = EncodeSettingsTlvs(out, r, c.mode);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + static_cast<long>(n)), c.expected)
        << "iface " << c.iface << " dhcp " << c.dhcp << " mode " << c.mode;
  }
}

TEST_F(PayloadTest, GroupIntervalNewPasswordAndEmptyMask) {
  DeviceRecord r = Configured(2, 0x200000);
  EXPECT_EQ(EncodeSettingsTlvs(out, r, DHCP_MODE_UNCHANGED), 0u) << "-1 is never sent";
  r.group_interval = 0;
  ASSERT_EQ(EncodeSettingsTlvs(out, r, DHCP_MODE_UNCHANGED), 8u);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 8),
            (std::vector<std::uint8_t>{0, 0x16, 0, 8, 0, 0, 0, 0}));

  DeviceRecord empty_mask = Configured(2, 0);
  SetText(empty_mask.new_password, "new");
  EXPECT_EQ(EncodeSettingsTlvs(out, empty_mask, DHCP_MODE_ON), 0u);
  EXPECT_EQ(EncodePasswordTlvs(out, empty_mask), 0u);

  DeviceRecord pw = Configured(2, 0x180);
  SetText(pw.new_password, "newpass");
  auto tlvs = Split({out.data(), EncodePasswordTlvs(out, pw)});
  EXPECT_EQ(Types(tlvs), (std::vector<std::uint16_t>{9, 8}));
  EXPECT_EQ(tlvs[1].length, 11);
  SetText(pw.password, "");
  tlvs = Split({out.data(), EncodeSettingsTlvs(out, pw, DHCP_MODE_UNCHANGED)});
  EXPECT_EQ(Types(tlvs), (std::vector<std::uint16_t>{9, 8}));
  EXPECT_EQ(tlvs[0].length, 4) << "an empty password still goes as a 4-byte TLV";
}

TEST_F(PayloadTest, UpgradeTriggerCarriesExactlyThePassword) {
  ASSERT_EQ(EncodeUpgradeTriggerTlv(out, "admin"), 9u);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 9),
            (std::vector<std::uint8_t>{0, 9, 0, 9, 'a', 'd', 'm', 'i', 'n'}));
  std::array<std::uint8_t, 6> tiny{};
  EXPECT_EQ(EncodeUpgradeTriggerTlv(tiny, "admin"), 0u) << "a TLV that does not fit is not written";
}

TEST(HexTextTest, CaseInsensitiveDigitsAndRefusal) {
  std::array<std::uint8_t, 6> lower{}, upper{};
  EXPECT_EQ(HexTextToBytes("001a2b3c4d5e", lower), 0);
  EXPECT_EQ(HexTextToBytes("001A2B3C4D5E", upper), 0);
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(lower, (std::array<std::uint8_t, 6>{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
  std::array<std::uint8_t, 2> out{7, 7};
  EXPECT_EQ(HexTextToBytes("0g", out), -1);
  EXPECT_EQ(out, (std::array<std::uint8_t, 2>{7, 7})) << "untouched on refusal";
  EXPECT_EQ(HexTextToBytes("abc", out), 0);
  EXPECT_EQ(out, (std::array<std::uint8_t, 2>{0xab, 7})) << "a last unpaired digit is ignored";
  EXPECT_EQ(HexTextToBytes("00112233445566", out), 0) << "never writes past the output";
}

TEST(OperationContextTest, ResetEmptiesEverything) {
  auto& c = OperationContext::Instance();
  c.SetAwaitedMac("001a2b3c4d5e");
  c.SetAwaitedIp(5);
  c.SetUpgradeTargetMac("aabbccddeeff");
  c.SetUpgradeTargetIp(6);
  c.SetUpgradeFilePath(std::string(300, 'f'));
  c.SetUpgradeAcknowledged(1);
  c.AddUpgradeBytesSent(512);
  c.AddUpgradeBytesSent(100);
  EXPECT_EQ(c.UpgradeBytesSent(), 612);
  EXPECT_EQ(c.UpgradeFilePath().size(), 127u);
  ResetOperationContext();
  EXPECT_EQ(c.AwaitedMac(), "");
  EXPECT_EQ(c.AwaitedIp(), 0u);
  EXPECT_EQ(c.UpgradeTargetMac(), "");
  EXPECT_EQ(c.UpgradeTargetIp(), 0u);
  EXPECT_EQ(c.UpgradeFilePath(), "");
  EXPECT_EQ(c.UpgradeAcknowledged(), 0);
  EXPECT_EQ(c.UpgradeBytesSent(), 0);
}

}  // namespace
}  // namespace sd
