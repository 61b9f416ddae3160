// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/ipv4.h"

#include <gtest/gtest.h>

namespace sd {
namespace {

struct HostCase {
  const char* address;
  int expected;
};

class IsValidHostAddressTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(IsValidHostAddressTest, AppliesTheClassfulHostRule) {
  const auto address = TextToIpv4(GetParam().address);
  ASSERT_TRUE(address.has_value());
  EXPECT_EQ(IsValidHostAddress(*address), GetParam().expected) << GetParam().address;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsValidHostAddressTest,
    ::testing::Values(
        // Class C: host part neither 0 nor 255, network part not zero.
        HostCase{"192.168.0.1", 0}, HostCase{"192.168.0.0", -1}, HostCase{"192.168.0.255", -1},
        HostCase{"192.0.0.7", -1}, HostCase{"223.255.255.254", 0},
        // Class A: first octet neither 0 nor 127, host part neither all zeros nor all ones.
        HostCase{"10.0.0.1", 0}, HostCase{"10.0.0.0", -1}, HostCase{"10.255.255.255", -1},
        HostCase{"127.0.0.1", -1}, HostCase{"0.1.2.3", -1}, HostCase{"10.0.0.5", 0},
        HostCase{"126.255.255.254", 0},
        // Class B: the 14 network bits below the class bits are not all zero.
        HostCase{"172.16.255.255", -1}, HostCase{"172.16.255.254", 0}, HostCase{"128.0.5.5", -1},
        HostCase{"128.1.0.0", -1}, HostCase{"128.1.0.1", 0},
        // Classes D and E never.
        HostCase{"224.0.0.1", -1}, HostCase{"239.255.100.100", -1}, HostCase{"240.1.2.3", -1},
        HostCase{"255.255.255.255", -1}, HostCase{"0.0.0.0", -1}));

}  // namespace
}  // namespace sd
