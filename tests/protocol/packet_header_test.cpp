// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/packet_header.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "settings/settings_file.h"

namespace sd {
namespace {

class HeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ParsedSettings v;
    v.manager_id = 0x01945AE0;
    v.base_port = 0xC350;
    ApplySettings(v);
    set_sequence = 0;
  }
  void TearDown() override { ResetSettings(); }
};

TEST_F(HeaderTest, DiscoveryRequestIsFortyBytesOfVersionCommandAndManagerId) {
  std::array<std::uint8_t, kMaxDatagram> buf;
  buf.fill(0xEE);
  ASSERT_EQ(BuildRequestHeader(buf.data(), CMD_DISCOVER), 40u);
  std::array<std::uint8_t, 40> expected{};
  expected[1] = 0x02;
  expected[13] = 0x01;
  expected[16] = 0x01;
  expected[17] = 0x94;
  expected[18] = 0x5A;
  expected[19] = 0xE0;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buf.begin()));
  EXPECT_EQ(buf[40], 0xEE) << "nothing is written past the header";

  std::array<std::uint8_t, 40> poll{};
  BuildRequestHeader(poll.data(), CMD_POLL);
  for (std::size_t i = 0; i < 40; ++i) {
    if (i == 13) {
      EXPECT_EQ(poll[i], 0x05);
    } else {
      EXPECT_EQ(poll[i], expected[i]) << "byte " << i;
    }
  }
}

TEST_F(HeaderTest, DhcpRefreshHeaderCarriesTheManagersFullVersion) {
  std::array<std::uint8_t, 40> buf{};
  set_sequence = 0x1234;
  BuildTargetedHeader(buf.data(), {CMD_SET_UNICAST, 1, 3, {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}});
  EXPECT_EQ(buf[0], 0x00);
  EXPECT_EQ(buf[1], 0x02);
  EXPECT_EQ(buf[2], 0x00);
  EXPECT_EQ(buf[3], 0x01);
  EXPECT_EQ(buf[10], 0x00);
  EXPECT_EQ(buf[11], 0x03);
  EXPECT_EQ(buf[13], CMD_SET_UNICAST);
  EXPECT_EQ(buf[4], 0x00);
  EXPECT_EQ(buf[9], 0x5e);
  EXPECT_EQ(buf[26], 0x12);
  EXPECT_EQ(buf[27], 0x34);
  EXPECT_EQ(buf[19], 0xE0);
}

TEST_F(HeaderTest, ParseReadsBigEndianFieldsAndRefusesShortDatagrams) {
  std::vector<std::uint8_t> d(40, 0);
  d[1] = 2;
  d[3] = 1;
  d[4] = 0xAA;
  d[11] = 2;
  d[13] = CMD_SET_REPLY;
  d[14] = 0x00;
  d[15] = 0x12;
  d[16] = 0x01;
  d[17] = 0x94;
  d[18] = 0x5A;
  d[19] = 0xE0;
  d[26] = 0xFF;
  d[27] = 0xFE;
  auto h = ParseHeader(d);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->version_major, 2);
  EXPECT_EQ(h->version_minor, 1);
  EXPECT_EQ(h->mac[0], 0xAA);
  EXPECT_EQ(h->interface_version, 2);
  EXPECT_EQ(h->command, CMD_SET_REPLY);
  EXPECT_EQ(h->ResultCode(), RESULT_PASSWORD) << "only the low four bits carry the result";
  EXPECT_EQ(h->manager_id, 0x01945AE0u);
  EXPECT_EQ(h->sequence, 0xFFFE);
  d.pop_back();
  EXPECT_FALSE(ParseHeader(d));
}

TEST(ResultMessageTest, EveryResultCodeHasItsText) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0, ""},
      {1, "Protocol version error."},
      {2, "Password error."},
      {3, "Command error."},
      {4, "Parameters error"},
      {5, "Acl error"},
      {6, "Dhcp refresh fail"},
      {7, "Unknow error"},
      {15, "Unknow error"},
      {0x0012, "Password error."},
  };
  for (auto [code, text] : cases) EXPECT_EQ(ResultMessage(code), text) << code;
}

}  // namespace
}  // namespace sd
