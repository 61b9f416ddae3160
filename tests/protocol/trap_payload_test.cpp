// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/trap_payload.h"

#include <gtest/gtest.h>

#include "protocol/packet_header.h"

namespace sd {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TrapPayloadTest, ReadsTheAddressAndTheTextUpToItsEnd) {
  struct Case {
    const char* name;
    Bytes payload;
    std::uint32_t address;
    std::string text;
  };
  const Case cases[] = {
      {"text and zero", {198, 18, 0, 11, 'L', 'i', 'n', 'k', 0}, 0xC612000B, "Link"},
      {"bytes after the zero are not text", {198, 18, 0, 11, 'u', 'p', 0, 'x', 'y'}, 0xC612000B, "up"},
      {"text ended by the datagram", {198, 18, 0, 11, 'd', 'o', 'w', 'n'}, 0xC612000B, "down"},
      {"address only (a 44-byte datagram)", {198, 18, 0, 11}, 0xC612000B, ""},
      {"short: missing bytes read as zero", {198, 18}, 0xC6120000, ""},
      {"nothing after the header", {}, 0, ""},
  };
  for (const auto& c : cases) {
    const TrapPayload p = ParseTrapPayload(c.payload);
    EXPECT_EQ(p.address, c.address) << c.name;
    EXPECT_EQ(p.text, c.text) << c.name;
  }
}

TEST(TrapPayloadTest, BuildsWhatItReadsWithinOneDatagram) {
  Bytes datagram(kHeaderSize, 0);
  AppendTrapPayload(datagram, 0xC612000B, "Port 3 link up");
  EXPECT_EQ(datagram.size(), kHeaderSize + 4 + 14 + 1);
  const TrapPayload p = ParseTrapPayload(std::span(datagram).subspan(kHeaderSize));
  EXPECT_EQ(p.address, 0xC612000Bu);
  EXPECT_EQ(p.text, "Port 3 link up");

  Bytes big(kHeaderSize, 0);
  AppendTrapPayload(big, 1, std::string(3000, 'z'));
  EXPECT_EQ(big.size(), kMaxDatagram);
  EXPECT_EQ(big.back(), 0);
}

}  // namespace
}  // namespace sd
