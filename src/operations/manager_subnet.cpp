// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/manager_subnet.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cerrno>
#include <string>

#include "protocol/operation_context.h"

namespace sd {

int SystemInterfaceAddresses::Read(std::vector<InterfaceAddress>& rows) {
  rows.clear();
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return errno != 0 ? errno : -1;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    InterfaceAddress row;
    row.address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
    // An address reported without a mask stands for itself alone.
    row.mask = a->ifa_netmask != nullptr
                   ? ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr)
                   : 0xFFFFFFFFu;
    rows.push_back(row);
  }
  ::freeifaddrs(list);
  return 0;
}

int FindManagerSubnet(const std::vector<InterfaceAddress>& rows, std::uint32_t switch_ip) {
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const InterfaceAddress& row = rows[k];
    if (row.address == 0) continue;
    if ((switch_ip & row.mask) == (row.address & row.mask)) return static_cast<int>(k);
  }
  return -1;
}

int CheckManagerSubnet(const DeviceTable& list, int index, IMessages& messages,
                       IInterfaceAddresses& addresses) {
  const DeviceRecord target = list.Entry(index);
  const std::vector<DeviceRecord> entries = list.Entries(list.Count());

  // The target's own entry counts: one more entry with its address in the same list is enough.
  int holders = 0;
  for (const DeviceRecord& e : entries) {
    if (e.ip == target.ip) ++holders;
  }
  if (holders > 1) {
    messages.Error(kDuplicateIpAddress);
    return 0;
  }

  std::vector<InterfaceAddress> rows;
  if (const int error = addresses.Read(rows); error != 0) {
    messages.ShowMessage("Error " + std::to_string(error), kApplicationName, MessageIcon::Warning);
    return -1;
  }
  if (FindManagerSubnet(rows, target.ip) < 0) {
    messages.Error(kNotInManagerSubnet);
    return -1;
  }

  auto& context = OperationContext::Instance();
  context.SetUpgradeTargetMac(GetText(target.mac_text));
  context.SetUpgradeTargetIp(target.ip);
  return 1;
}

}  // namespace sd
