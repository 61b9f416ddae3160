// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device records as a reply would leave them, for filling the device lists in tests.

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/device_record.h"
#include "protocol/ipv4.h"

namespace sd::test {

// A current switch (protocol 2.001.003) with the given MAC text and dotted address.
inline DeviceRecord Switch(std::string_view mac_text, std::string_view ip_text,
                           std::string_view product = "GS-108") {
  DeviceRecord r = ZeroRecord();
  SetText(r.mac_text, mac_text);
  SetIp(r, *TextToIpv4(ip_text));
  SetText(r.product_name, product);
  r.version_major = 2;
  r.version_minor = 1;
  r.interface_version = 3;
  r.dhcp = DHCP_NOT_REPORTED;
  r.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  r.status_image = -1;
  r.answered = 1;
  return r;
}

}  // namespace sd::test
