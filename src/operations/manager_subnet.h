// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The manager subnet check before a firmware upgrade: the chosen switch's address must appear
// in only one row of its list, and it must lie in the subnet of one of this computer's own IPv4
// addresses. When both hold, the switch becomes the upgrade target of the operation context.

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/messages.h"
#include "devices/device_table.h"

namespace sd {

inline constexpr std::string_view kDuplicateIpAddress = "Duplicate IP address.";
inline constexpr std::string_view kNotInManagerSubnet =
    "The device and manager IP addresses are not in the same subnet.";

// One IPv4 address of this computer and its subnet mask, both in host order.
struct InterfaceAddress {
  std::uint32_t address = 0;
  std::uint32_t mask = 0;
  bool operator==(const InterfaceAddress&) const = default;
};

// Where the computer's own addresses come from; tests give tables of their own.
class IInterfaceAddresses {
 public:
  virtual ~IInterfaceAddresses() = default;
  // Fills `rows` with every IPv4 address of the computer, in the system's order, however many
  // there are. 0 on success, otherwise the system's error number.
  virtual int Read(std::vector<InterfaceAddress>& rows) = 0;
};

// The addresses of every interface as getifaddrs reports them.
class SystemInterfaceAddresses : public IInterfaceAddresses {
 public:
  int Read(std::vector<InterfaceAddress>& rows) override;
};

// The first row whose subnet holds `switch_ip` (host order), or -1. A row without an address
// (0.0.0.0) reaches nothing and matches no switch.
int FindManagerSubnet(const std::vector<InterfaceAddress>& rows, std::uint32_t switch_ip);

// The check for entry `index` of `list` (the table the switch was chosen in). Returns 1 when it
// passes (upgrade_target_mac and upgrade_target_ip of the operation context are then the entry's
// mac_text and ip), 0 after "Duplicate IP address.", -1 after "Error <n>" (the address table
// could not be read; the application's name as title, warning icon) or after the subnet message.
int CheckManagerSubnet(const DeviceTable& list, int index, IMessages& messages,
                       IInterfaceAddresses& addresses);

}  // namespace sd
