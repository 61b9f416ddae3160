// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Payloads of the requests that change a switch, and the MAC text conversions.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/device_record.h"

namespace sd {

// DHCP change mode of a set-configuration request.
inline constexpr std::uint16_t DHCP_MODE_UNCHANGED = 0;
inline constexpr std::uint16_t DHCP_MODE_OFF = 1;
inline constexpr std::uint16_t DHCP_MODE_ON = 2;

// Each encoder writes TLVs back to back into `out` (the datagram buffer from byte 40 on) and
// returns the number of bytes written. A TLV that would not fit is not written.
std::size_t EncodeSettingsTlvs(std::span<std::uint8_t> out, const DeviceRecord& record,
                               std::uint16_t mode);
std::size_t EncodePasswordTlvs(std::span<std::uint8_t> out, const DeviceRecord& record);
std::size_t EncodeUpgradeTriggerTlv(std::span<std::uint8_t> out, std::string_view password);

// Hexadecimal digit pairs to bytes (a last unpaired digit is ignored). Returns 0, or -1 and
// leaves `out` untouched when the text holds a non-hexadecimal character. Writes at most
// out.size() bytes.
int HexTextToBytes(std::string_view text, std::span<std::uint8_t> out);

// Six bytes to 12 lower-case hexadecimal digits and a NUL.
void MacBytesToText(const std::uint8_t* bytes, char (&out)[16]);

}  // namespace sd
