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

}  // namespace sd
