// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the TLVs of a request back, through the bounded reader, for tests that look at single
// fields rather than whole datagrams.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "protocol/byte_io.h"
#include "protocol/packet_header.h"

namespace sd::test {

using Tlv = std::pair<std::uint16_t, std::vector<std::uint8_t>>;

// The TLVs after the 40-byte header; stops at the first malformed one.
inline std::vector<Tlv> RequestTlvs(std::span<const std::uint8_t> datagram) {
  std::vector<Tlv> out;
  if (datagram.size() < kHeaderSize) return out;
  ByteReader in(datagram.subspan(kHeaderSize));
  while (in.Remaining() > 0) {
    const auto type = in.U16();
    const auto length = in.U16();
    if (!type || !length || *length < 4) break;
    const auto value = in.Bytes(*length - 4u);
    if (!value) break;
    out.emplace_back(*type, std::vector<std::uint8_t>(value->begin(), value->end()));
  }
  return out;
}

inline std::vector<std::uint16_t> TlvTypes(std::span<const std::uint8_t> datagram) {
  std::vector<std::uint16_t> types;
  for (const auto& [type, value] : RequestTlvs(datagram)) types.push_back(type);
  return types;
}

// The value of the first TLV of `type`, if any.
inline std::optional<std::vector<std::uint8_t>> TlvValue(std::span<const std::uint8_t> datagram, std::uint16_t type) {
  for (auto& [t, value] : RequestTlvs(datagram)) {
    if (t == type) return value;
  }
  return std::nullopt;
}

}  // namespace sd::test
