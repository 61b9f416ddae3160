// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything known about one switch, in the fixed 300-byte layout that is also the record
// format of monitor.cfg: numbers in the host's order (little-endian), texts NUL-terminated.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace sd {

inline constexpr std::uint16_t TLV_PRODUCT_NAME = 1;
inline constexpr std::uint16_t TLV_SYSTEM_NAME = 2;
inline constexpr std::uint16_t TLV_LOCATION = 3;
inline constexpr std::uint16_t TLV_IP_ADDRESS = 4;
inline constexpr std::uint16_t TLV_SUBNET_MASK = 5;
inline constexpr std::uint16_t TLV_GATEWAY = 6;
inline constexpr std::uint16_t TLV_TRAP_IP = 7;
inline constexpr std::uint16_t TLV_NEW_PASSWORD = 8;
inline constexpr std::uint16_t TLV_PASSWORD = 9;
inline constexpr std::uint16_t TLV_DHCP = 10;
inline constexpr std::uint16_t TLV_OPAQUE_21 = 21;
inline constexpr std::uint16_t TLV_GROUP_INTERVAL = 22;
inline constexpr std::uint16_t TLV_FIELD_MASK = 129;

inline constexpr std::uint16_t DHCP_OFF = 0;
inline constexpr std::uint16_t DHCP_ON = 1;
inline constexpr std::uint16_t DHCP_NOT_REPORTED = 2;
inline constexpr std::int32_t GROUP_INTERVAL_NOT_REPORTED = -1;
inline constexpr std::uint16_t FIRMWARE_STATE_UNCONFIGURABLE = 100;

// The identifier carried by entries added by address.
inline constexpr std::uint32_t kManualEntryManagerId = 26499808;

struct DeviceRecord {
  std::uint32_t manager_id;
  char mac_text[16];
  char product_name[41];
  char system_name[21];
  char location[21];
  char group_interval_text[6];
  char ip_text[20];
  char trap_ip_text[20];
  char subnet_mask_text[20];
  char gateway_text[20];
  char password[21];
  char new_password[22];
  std::uint32_t ip;
  std::uint32_t trap_ip;
  std::uint32_t subnet_mask;
  std::uint32_t gateway;
  std::int32_t group_interval;
  std::uint8_t opaque_21[2];
  std::uint8_t reserved[2];
  std::uint32_t row_state;
  std::uint32_t missed_polls;
  std::int32_t status_image;
  std::uint32_t answered;
  std::uint16_t last_command;
  std::uint16_t version_major;
  std::uint16_t interface_version;
  std::uint16_t version_minor;
  std::uint16_t firmware_state;
  std::uint16_t dhcp;
  std::uint32_t field_mask[4];
};

static_assert(std::endian::native == std::endian::little,
              "DeviceRecord and monitor.cfg keep numbers in little-endian order");
static_assert(std::is_trivially_copyable_v<DeviceRecord>);
static_assert(sizeof(DeviceRecord) == 300);
static_assert(offsetof(DeviceRecord, mac_text) == 4);
static_assert(offsetof(DeviceRecord, product_name) == 20);
static_assert(offsetof(DeviceRecord, system_name) == 61);
static_assert(offsetof(DeviceRecord, location) == 82);
static_assert(offsetof(DeviceRecord, group_interval_text) == 103);
static_assert(offsetof(DeviceRecord, ip_text) == 109);
static_assert(offsetof(DeviceRecord, trap_ip_text) == 129);
static_assert(offsetof(DeviceRecord, subnet_mask_text) == 149);
static_assert(offsetof(DeviceRecord, gateway_text) == 169);
static_assert(offsetof(DeviceRecord, password) == 189);
static_assert(offsetof(DeviceRecord, new_password) == 210);
static_assert(offsetof(DeviceRecord, ip) == 232);
static_assert(offsetof(DeviceRecord, trap_ip) == 236);
static_assert(offsetof(DeviceRecord, subnet_mask) == 240);
static_assert(offsetof(DeviceRecord, gateway) == 244);
static_assert(offsetof(DeviceRecord, group_interval) == 248);
static_assert(offsetof(DeviceRecord, opaque_21) == 252);
static_assert(offsetof(DeviceRecord, row_state) == 256);
static_assert(offsetof(DeviceRecord, missed_polls) == 260);
static_assert(offsetof(DeviceRecord, status_image) == 264);
static_assert(offsetof(DeviceRecord, answered) == 268);
static_assert(offsetof(DeviceRecord, last_command) == 272);
static_assert(offsetof(DeviceRecord, version_major) == 274);
static_assert(offsetof(DeviceRecord, interface_version) == 276);
static_assert(offsetof(DeviceRecord, version_minor) == 278);
static_assert(offsetof(DeviceRecord, firmware_state) == 280);
static_assert(offsetof(DeviceRecord, dhcp) == 282);
static_assert(offsetof(DeviceRecord, field_mask) == 284);

// An all-zero record.
inline DeviceRecord ZeroRecord() {
  DeviceRecord r;
  std::memset(&r, 0, sizeof r);
  return r;
}

// Copies text into a fixed field, cut to the field's capacity less the NUL; the rest of the
// field is zeroed so that no stale bytes remain behind the terminator.
template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
  const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, N - n);
}

// The text of a field up to its NUL, never past the field even when the NUL is missing (as in a
// record read from a damaged file).
template <std::size_t N>
std::string_view GetText(const char (&field)[N]) {
  const void* nul = std::memchr(field, 0, N);
  return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N};
}

// Address pairs: every writer sets the number and its text together.
void SetIp(DeviceRecord& r, std::uint32_t host_order);
void SetTrapIp(DeviceRecord& r, std::uint32_t host_order);
void SetSubnetMask(DeviceRecord& r, std::uint32_t host_order);
void SetGateway(DeviceRecord& r, std::uint32_t host_order);

// The capability set a reply starts from before its own TLV_FIELD_MASK, by interface version.
std::array<std::uint32_t, 4> DefaultFieldMask(std::uint16_t interface_version);

// "2.001.003": major and interface version in decimal, the minor in hexadecimal.
std::string FormatProtocolVersion(std::uint16_t major, std::uint16_t minor,
                                  std::uint16_t interface_version);

// Decodes the TLVs that follow the header of a reply (payload = datagram bytes from 40 on) into
// the prepared record. Stops at the end of the bytes, at an unlisted type, at a TLV whose length
// field is below 4 or runs past the datagram, and never writes outside a field. The record's
// interface_version must already hold the reply's header value.
void DecodeDeviceTlvs(std::span<const std::uint8_t> payload, DeviceRecord& record);

}  // namespace sd
