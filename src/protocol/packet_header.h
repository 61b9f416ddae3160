// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 40-byte big-endian header that starts every datagram of the management protocol, the
// command and result codes, and the sequence number of set-type requests.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace sd {

inline constexpr std::size_t kHeaderSize = 40;
inline constexpr std::size_t kMaxDatagram = 1500;

inline constexpr std::uint16_t CMD_DISCOVER = 1;
inline constexpr std::uint16_t CMD_DISCOVER_REPLY = 2;
inline constexpr std::uint16_t CMD_SET = 3;
inline constexpr std::uint16_t CMD_SET_REPLY = 4;
inline constexpr std::uint16_t CMD_POLL = 5;
inline constexpr std::uint16_t CMD_SET_UNICAST = 7;
inline constexpr std::uint16_t CMD_SET_UNICAST_REPLY = 8;
inline constexpr std::uint16_t CMD_TRAP = 9;
inline constexpr std::uint16_t CMD_UPGRADE_TRIGGER = 10;
inline constexpr std::uint16_t CMD_UPGRADE_TRIGGER_REPLY = 11;
inline constexpr std::uint16_t CMD_UNCONFIGURABLE_REPLY = 12;

inline constexpr std::uint16_t RESULT_OK = 0;
inline constexpr std::uint16_t RESULT_PROTOCOL_VERSION = 1;
inline constexpr std::uint16_t RESULT_PASSWORD = 2;
inline constexpr std::uint16_t RESULT_COMMAND = 3;
inline constexpr std::uint16_t RESULT_PARAMETERS = 4;
inline constexpr std::uint16_t RESULT_ACL = 5;
inline constexpr std::uint16_t RESULT_DHCP_REFRESH_FAIL = 6;

// Versions the manager speaks: requests carry major 2, replies must carry minor 1.
inline constexpr std::uint16_t VERSION_MAJOR = 2;
inline constexpr std::uint16_t VERSION_MINOR_REPLY = 1;
inline constexpr std::uint16_t VERSION_INTERFACE_MANAGER = 3;

// Byte offsets inside the header.
namespace header_offset {
inline constexpr std::size_t kVersionMajor = 0;
inline constexpr std::size_t kVersionMinor = 2;
inline constexpr std::size_t kMac = 4;
inline constexpr std::size_t kInterfaceVersion = 10;
inline constexpr std::size_t kCommand = 12;
inline constexpr std::size_t kResult = 14;
inline constexpr std::size_t kManagerId = 16;
inline constexpr std::size_t kSequence = 26;
}  // namespace header_offset

// A decoded header. Only the fields the manager reads are kept.
struct PacketHeader {
  std::uint16_t version_major = 0;
  std::uint16_t version_minor = 0;
  std::array<std::uint8_t, 6> mac{};
  std::uint16_t interface_version = 0;
  std::uint16_t command = 0;
  std::uint16_t result = 0;
  std::uint32_t manager_id = 0;
  std::uint16_t sequence = 0;

  // Only the low four bits of the result field carry the result code.
  std::uint16_t ResultCode() const { return result & 0x0F; }
};

// Reads the header of a datagram; nothing when it is shorter than 40 bytes.
std::optional<PacketHeader> ParseHeader(std::span<const std::uint8_t> datagram);

// Writes the plain 40-byte header of discovery and poll requests; returns 40.
std::size_t BuildRequestHeader(std::uint8_t* buffer, std::uint16_t command);

// Header of a request aimed at one device (set, password, DHCP refresh, upgrade trigger).
struct TargetedHeader {
  std::uint16_t command = 0;
  std::uint16_t version_minor = 0;
  std::uint16_t interface_version = 0;
  std::array<std::uint8_t, 6> mac{};
};
std::size_t BuildTargetedHeader(std::uint8_t* buffer, const TargetedHeader& h);

// The text an agent's error result is shown with; empty for RESULT_OK.
std::string_view ResultMessage(std::uint16_t result_code);

// Sequence number carried by set-type requests; 0 at start, advanced by the dispatcher when a
// sequence-checked reply matches.
extern std::atomic<std::uint16_t> set_sequence;

}  // namespace sd
