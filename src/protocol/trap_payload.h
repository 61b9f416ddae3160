// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The payload of a CMD_TRAP datagram: the sending switch's IPv4 address (network order) and a
// text ended by a zero byte or by the end of the datagram.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sd {

struct TrapPayload {
  std::uint32_t address = 0;  // host order
  std::string text;
};

// Reads the payload (datagram bytes from 40 on). Missing address bytes read as zero, as in a
// zero-filled receive buffer.
TrapPayload ParseTrapPayload(std::span<const std::uint8_t> payload);

// Appends the payload to a datagram under construction: address, text, terminating zero. The
// text is cut so that the datagram stays within kMaxDatagram bytes.
void AppendTrapPayload(std::vector<std::uint8_t>& datagram, std::uint32_t address,
                       std::string_view text);

}  // namespace sd
