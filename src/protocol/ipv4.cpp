// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/ipv4.h"

#include <cstdio>

namespace sd {

std::string Ipv4ToText(std::uint32_t a) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (a >> 24) & 0xFFu, (a >> 16) & 0xFFu, (a >> 8) & 0xFFu,
                a & 0xFFu);
  return buf;
}

std::optional<std::uint32_t> TextToIpv4(std::string_view text) {
  std::uint32_t result = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    unsigned value = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      if (++digits > 3 || value > 255) return std::nullopt;
      ++i;
    }
    result = (result << 8) | value;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return result;
}

int IsValidHostAddress(std::uint32_t a) {
  std::uint32_t network = 0;
  std::uint32_t host_mask = 0;
  if ((a & 0x80000000u) == 0) {  // class A: 0 + 7 network bits + 24 host bits
    network = (a >> 24) & 0x7Fu;
    if (network == 127) return -1;
    host_mask = 0x00FFFFFFu;
  } else if ((a & 0xC0000000u) == 0x80000000u) {  // class B: 10 + 14 + 16
    network = (a >> 16) & 0x3FFFu;
    host_mask = 0x0000FFFFu;
  } else if ((a & 0xE0000000u) == 0xC0000000u) {  // class C: 110 + 21 + 8
    network = (a >> 8) & 0x1FFFFFu;
    host_mask = 0x000000FFu;
  } else {  // class D (multicast) and E (reserved)
    return -1;
  }
  const std::uint32_t host = a & host_mask;
  if (network == 0 || host == 0 || host == host_mask) return -1;
  return 0;
}

}  // namespace sd
