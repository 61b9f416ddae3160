// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/printable_text.h"

namespace sd {

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const auto next = [&](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
    if (b < 0x20 || b == 0x7F) {
      out.push_back(' ');
    } else if (b == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
      out.push_back(' ');
      i += 1;
    } else if (b == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
      out.push_back(' ');
      i += 2;
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  return out;
}

std::string PrintableText(std::span<const std::uint8_t> bytes) {
  return PrintableText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace sd
