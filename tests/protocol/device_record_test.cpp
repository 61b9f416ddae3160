// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/device_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/payload_builders.h"

namespace sd {
namespace {

// A reply record as the dispatcher prepares it before decoding.
DeviceRecord Prepared(std::uint16_t interface_version) {
  DeviceRecord r = ZeroRecord();
  r.dhcp = DHCP_NOT_REPORTED;
  r.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  r.interface_version = interface_version;
  auto mask = DefaultFieldMask(interface_version);
  std::memcpy(r.field_mask, mask.data(), sizeof r.field_mask);
  return r;
}

// Builds TLV bytes: type, length, value.
struct Tlvs {
  std::vector<std::uint8_t> bytes;
  Tlvs& Add(std::uint16_t type, std::uint16_t length, std::vector<std::uint8_t> value) {
    bytes.push_back(static_cast<std::uint8_t>(type >> 8));
    bytes.push_back(static_cast<std::uint8_t>(type));
    bytes.push_back(static_cast<std::uint8_t>(length >> 8));
    bytes.push_back(static_cast<std::uint8_t>(length));
    bytes.insert(bytes.end(), value.begin(), value.end());
    return *this;
  }
  Tlvs& Text(std::uint16_t type, std::string_view s) {
    return Add(type, static_cast<std::uint16_t>(s.size() + 4), std::vector<std::uint8_t>(s.begin(), s.end()));
  }
};

TEST(DeviceRecordTest, EmptyPayloadKeepsThePreparedValues) {
  DeviceRecord r = Prepared(2);
  DecodeDeviceTlvs({}, r);
  EXPECT_EQ(r.dhcp, DHCP_NOT_REPORTED);
  EXPECT_EQ(r.group_interval, -1);
  EXPECT_EQ(r.field_mask[0], 0x3FFu);
  EXPECT_EQ(DefaultFieldMask(1)[0], 0x1FFu);
  EXPECT_EQ(DefaultFieldMask(3)[0], 0u);
}

TEST(DeviceRecordTest, DecodesEveryKnownTlv) {
  Tlvs t;
  t.Text(TLV_PRODUCT_NAME, "GS-108")
      .Text(TLV_SYSTEM_NAME, "")
      .Text(TLV_LOCATION, "Rack 2")
      .Add(TLV_IP_ADDRESS, 6, {192, 168, 0, 10})  // length field says 6: still 8 bytes
      .Add(TLV_SUBNET_MASK, 8, {255, 255, 255, 0})
      .Add(TLV_GATEWAY, 8, {192, 168, 0, 1})
      .Add(TLV_TRAP_IP, 8, {192, 168, 0, 2})
      .Text(TLV_NEW_PASSWORD, "ignored")
      .Text(TLV_PASSWORD, "secret")
      .Add(TLV_DHCP, 6, {0, 1})
      .Add(TLV_OPAQUE_21, 6, {0xAB, 0xCD})
      .Add(TLV_GROUP_INTERVAL, 8, {0, 0, 0, 125})
      .Add(TLV_FIELD_MASK, 20, {0, 0x20, 0x03, 0xFF, 0, 0, 0, 1, 0, 0, 0, 2, 0xE0, 0, 0, 0});
  DeviceRecord r = Prepared(2);
  SetText(r.system_name, "old");
  DecodeDeviceTlvs(t.bytes, r);
  EXPECT_EQ(GetText(r.product_name), "GS-108");
  EXPECT_EQ(GetText(r.system_name), "") << "a length of 4 gives an empty name";
  EXPECT_EQ(GetText(r.location), "Rack 2");
  EXPECT_EQ(r.ip, 0xC0A8000Au);
  EXPECT_EQ(GetText(r.ip_text), "192.168.0.10");
  EXPECT_EQ(GetText(r.subnet_mask_text), "255.255.255.0");
  EXPECT_EQ(GetText(r.gateway_text), "192.168.0.1");
  EXPECT_EQ(r.trap_ip, 0xC0A80002u);
  EXPECT_EQ(GetText(r.password), "secret");
  EXPECT_EQ(r.dhcp, 1);
  EXPECT_EQ(r.opaque_21[0], 0xAB);
  EXPECT_EQ(r.group_interval, 125);
  EXPECT_EQ(r.field_mask[0], 0x002003FFu);
  EXPECT_EQ(r.field_mask[3], 0xE0000000u);
  // Host order in memory and in monitor.cfg: 192.168.0.10 is 0A 00 A8 C0.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&r);
  EXPECT_EQ(bytes[232], 0x0A);
  EXPECT_EQ(bytes[235], 0xC0);
}

TEST(DeviceRecordTest, DhcpWidthFollowsTheInterfaceVersion) {
  Tlvs one;
  one.Add(TLV_DHCP, 5, {1}).Text(TLV_LOCATION, "after");
  DeviceRecord v1 = Prepared(1);
  DecodeDeviceTlvs(one.bytes, v1);
  EXPECT_EQ(v1.dhcp, 1);
  EXPECT_EQ(GetText(v1.location), "after") << "the next TLV starts 5 bytes later";

  Tlvs two;
  two.Add(TLV_DHCP, 6, {0, 1}).Text(TLV_LOCATION, "after");
  DeviceRecord v2 = Prepared(2);
  DecodeDeviceTlvs(two.bytes, v2);
  EXPECT_EQ(v2.dhcp, 1);
  EXPECT_EQ(GetText(v2.location), "after");
}

TEST(DeviceRecordTest, UnlistedTypeStopsDecodingAndLaterValuesWin) {
  Tlvs t;
  t.Text(TLV_LOCATION, "first").Text(TLV_LOCATION, "second").Add(11, 8, {1, 2, 3, 4}).Text(TLV_SYSTEM_NAME, "never");
  DeviceRecord r = Prepared(3);
  DecodeDeviceTlvs(t.bytes, r);
  EXPECT_EQ(GetText(r.location), "second");
  EXPECT_EQ(GetText(r.system_name), "");
  EXPECT_EQ(r.field_mask[0], 0u) << "interface version 3 without a mask can set nothing";
}

// Hostile lengths must never write outside a field or read past the datagram.
TEST(DeviceRecordTest, HostileLengthsAreBounded) {
  struct Case {
    const char* name;
    Tlvs tlvs;
  };
  std::vector<Case> cases;
  {
    Case c{"long product name", {}};
    c.tlvs.Text(TLV_PRODUCT_NAME, std::string(300, 'P'));
    cases.push_back(c);
  }
  {
    Case c{"length below 4", {}};
    c.tlvs.Add(TLV_SYSTEM_NAME, 2, {'x', 'y'});
    cases.push_back(c);
  }
  {
    Case c{"length past the end", {}};
    c.tlvs.Add(TLV_LOCATION, 0xFFFF, {'a', 'b'});
    cases.push_back(c);
  }
  {
    Case c{"truncated address", {}};
    c.tlvs.Add(TLV_IP_ADDRESS, 8, {10, 0});
    cases.push_back(c);
  }
  {
    Case c{"truncated mask", {}};
    c.tlvs.Add(TLV_FIELD_MASK, 20, {0, 0, 0xFF});
    cases.push_back(c);
  }
  {
    Case c{"three bytes", {}};
    c.tlvs.bytes = {0, 1, 0};
    cases.push_back(c);
  }
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRecord r = Prepared(2);
    SetText(r.ip_text, "10.1.1.1");
    const DeviceRecord before = r;
    // A datagram-sized copy so that ASan sees any read past the payload.
    std::vector<std::uint8_t> payload(c.tlvs.bytes);
    DecodeDeviceTlvs(payload, r);
    EXPECT_EQ(GetText(r.ip_text), "10.1.1.1");
    EXPECT_EQ(r.field_mask[0], before.field_mask[0]);
  }
  DeviceRecord r = Prepared(2);
  DecodeDeviceTlvs(cases[0].tlvs.bytes, r);
  EXPECT_EQ(GetText(r.product_name), std::string(40, 'P')) << "cut to the field less its NUL";
  EXPECT_EQ(GetText(r.system_name), "");
}

TEST(DeviceRecordTest, TextsAndVersionFormatting) {
  const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  char text[16];
  MacBytesToText(mac, text);
  EXPECT_STREQ(text, "001a2b3c4d5e");
  EXPECT_EQ(FormatProtocolVersion(2, 1, 3), "2.001.003");
  EXPECT_EQ(FormatProtocolVersion(2, 0x1A, 12), "2.01a.012");
  EXPECT_EQ(FormatProtocolVersion(0, 0, 0), "0.000.000");

  DeviceRecord r = ZeroRecord();
  r.group_interval = -1;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&r);
  EXPECT_EQ(bytes[248], 0xFF);
  EXPECT_EQ(bytes[251], 0xFF);
}

}  // namespace
}  // namespace sd
