// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/packet_header.h"

#include <cstring>

#include "protocol/byte_io.h"
#include "settings/settings_file.h"

namespace sd {

std::atomic<std::uint16_t> set_sequence{0};

std::optional<PacketHeader> ParseHeader(std::span<const std::uint8_t> d) {
  if (d.size() < kHeaderSize) return std::nullopt;
  PacketHeader h;
  const std::uint8_t* p = d.data();
  h.version_major = GetU16(p + header_offset::kVersionMajor);
  h.version_minor = GetU16(p + header_offset::kVersionMinor);
  std::memcpy(h.mac.data(), p + header_offset::kMac, 6);
  h.interface_version = GetU16(p + header_offset::kInterfaceVersion);
  h.command = GetU16(p + header_offset::kCommand);
  h.result = GetU16(p + header_offset::kResult);
  h.manager_id = GetU32(p + header_offset::kManagerId);
  h.sequence = GetU16(p + header_offset::kSequence);
  return h;
}

std::size_t BuildRequestHeader(std::uint8_t* buffer, std::uint16_t command) {
  std::memset(buffer, 0, kHeaderSize);
  PutU16(buffer + header_offset::kVersionMajor, VERSION_MAJOR);
  PutU16(buffer + header_offset::kCommand, command);
  PutU32(buffer + header_offset::kManagerId, Settings.manager_id);
  return kHeaderSize;
}

std::size_t BuildTargetedHeader(std::uint8_t* buffer, const TargetedHeader& h) {
  std::memset(buffer, 0, kHeaderSize);
  PutU16(buffer + header_offset::kVersionMajor, VERSION_MAJOR);
  PutU16(buffer + header_offset::kVersionMinor, h.version_minor);
  PutU16(buffer + header_offset::kInterfaceVersion, h.interface_version);
  PutU16(buffer + header_offset::kCommand, h.command);
  PutU32(buffer + header_offset::kManagerId, Settings.manager_id);
  PutU16(buffer + header_offset::kSequence, set_sequence.load());
  std::memcpy(buffer + header_offset::kMac, h.mac.data(), 6);
  return kHeaderSize;
}

std::string_view ResultMessage(std::uint16_t code) {
  switch (code & 0x0F) {
    case RESULT_OK: return {};
    case RESULT_PROTOCOL_VERSION: return "Protocol version error.";
    case RESULT_PASSWORD: return "Password error.";
    case RESULT_COMMAND: return "Command error.";
    case RESULT_PARAMETERS: return "Parameters error";
    case RESULT_ACL: return "Acl error";
    case RESULT_DHCP_REFRESH_FAIL: return "Dhcp refresh fail";
    default: return "Unknow error";
  }
}

}  // namespace sd
