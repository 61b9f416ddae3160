// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds agent datagrams (header and TLVs) the way a switch sends them, for dispatcher tests.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/byte_io.h"
#include "protocol/device_record.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "protocol/trap_payload.h"
#include "settings/settings_file.h"

namespace sd::test {

struct AgentDatagram {
  std::uint16_t version_major = 2;
  std::uint16_t version_minor = 1;
  std::uint16_t interface_version = 2;
  std::uint16_t command = CMD_DISCOVER_REPLY;
  std::uint16_t result = 0;
  std::uint16_t sequence = 0;
  std::array<std::uint8_t, 6> mac{0x02, 0, 0, 0, 0, 0x10};
  std::uint32_t manager_id = Settings.manager_id;
  std::vector<std::uint8_t> payload;

  AgentDatagram& Tlv(std::uint16_t type, std::vector<std::uint8_t> value) {
    std::uint8_t head[4];
    PutU16(head, type);
    PutU16(head + 2, static_cast<std::uint16_t>(value.size() + 4));
    payload.insert(payload.end(), head, head + 4);
    payload.insert(payload.end(), value.begin(), value.end());
    return *this;
  }
  AgentDatagram& Text(std::uint16_t type, std::string_view s) {
    return Tlv(type, std::vector<std::uint8_t>(s.begin(), s.end()));
  }
  AgentDatagram& Address(std::uint16_t type, std::string_view dotted) {
    std::vector<std::uint8_t> v(4);
    PutU32(v.data(), *TextToIpv4(dotted));
    return Tlv(type, v);
  }
  AgentDatagram& Dhcp(std::uint16_t value) {
    if (interface_version == 1) return Tlv(TLV_DHCP, {static_cast<std::uint8_t>(value)});
    return Tlv(TLV_DHCP, {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
  }
  AgentDatagram& Trap(std::string_view sender, std::string_view text) {
    command = CMD_TRAP;
    std::vector<std::uint8_t> d;
    AppendTrapPayload(d, *TextToIpv4(sender), text);
    payload.insert(payload.end(), d.begin(), d.end());
    return *this;
  }

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> d(kHeaderSize + payload.size(), 0);
    PutU16(&d[header_offset::kVersionMajor], version_major);
    PutU16(&d[header_offset::kVersionMinor], version_minor);
    std::copy(mac.begin(), mac.end(), d.begin() + header_offset::kMac);
    PutU16(&d[header_offset::kInterfaceVersion], interface_version);
    PutU16(&d[header_offset::kCommand], command);
    PutU16(&d[header_offset::kResult], result);
    PutU32(&d[header_offset::kManagerId], manager_id);
    PutU16(&d[header_offset::kSequence], sequence);
    std::copy(payload.begin(), payload.end(), d.begin() + kHeaderSize);
    return d;
  }
};

}  // namespace sd::test
