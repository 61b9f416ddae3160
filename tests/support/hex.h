// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Expected datagrams written as hexadecimal text: blanks are ignored, 'text' in single quotes
// stands for its characters.

#include <cstdint>
#include <string_view>
#include <vector>

namespace sd::test {

inline std::vector<std::uint8_t> Hex(std::string_view pattern) {
  std::vector<std::uint8_t> out;
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == ' ' || c == '\n' || c == '|') {
      ++i;
    } else if (c == '\'') {
      const std::size_t end = pattern.find('\'', i + 1);
      for (std::size_t j = i + 1; j < end; ++j) out.push_back(static_cast<std::uint8_t>(pattern[j]));
      i = end + 1;
    } else {
      out.push_back(static_cast<std::uint8_t>(digit(pattern[i]) * 16 + digit(pattern[i + 1])));
      i += 2;
    }
  }
  return out;
}

}  // namespace sd::test
