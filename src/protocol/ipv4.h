// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// IPv4 addresses as the program holds them: a host-order number and its dotted-decimal text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sd {

// "192.168.0.1" for 0xC0A80001.
std::string Ipv4ToText(std::uint32_t host_order);

// Strict dotted-decimal: four decimal parts of 0-255, nothing else (no blanks, no other forms).
std::optional<std::uint32_t> TextToIpv4(std::string_view text);

// The class-based unicast host rule shared by the Remote IP dialog and the trap receiver field:
// 0 when `host_order` is an acceptable host address of class A, B or C (network part neither
// zero nor, for class A, 127; host part neither all zeros nor all ones), -1 otherwise (class D
// and E included).
int IsValidHostAddress(std::uint32_t host_order);

}  // namespace sd
