// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/trap_payload.h"

#include <algorithm>
#include <cstring>

#include "protocol/byte_io.h"
#include "protocol/packet_header.h"

namespace sd {

TrapPayload ParseTrapPayload(std::span<const std::uint8_t> payload) {
  TrapPayload out;
  std::uint8_t address[4] = {};
  ByteReader in(payload);
  for (auto& b : address) {
    const auto v = in.U8();
    if (!v) break;
    b = *v;
  }
  out.address = GetU32(address);
  const auto rest = in.Bytes(in.Remaining()).value_or(std::span<const std::uint8_t>{});
  if (rest.empty()) return out;
  const void* nul = std::memchr(rest.data(), 0, rest.size());
  const std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - rest.data()) : rest.size();
  out.text.assign(reinterpret_cast<const char*>(rest.data()), length);
  return out;
}

void AppendTrapPayload(std::vector<std::uint8_t>& datagram, std::uint32_t address,
                       std::string_view text) {
  std::uint8_t a[4];
  PutU32(a, address);
  datagram.insert(datagram.end(), a, a + 4);
  const std::size_t room = datagram.size() + 1 < kMaxDatagram ? kMaxDatagram - datagram.size() - 1 : 0;
  const std::string_view kept = text.substr(0, std::min(text.size(), room));
  datagram.insert(datagram.end(), kept.begin(), kept.end());
  datagram.push_back(0);
}

}  // namespace sd
