// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

#include "protocol/ipv4.h"

namespace sd {

std::vector<NetworkInterface> SystemInterfaces::List() {
  std::vector<NetworkInterface> cards;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return cards;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || a->ifa_name == nullptr) continue;
    const unsigned flags = a->ifa_flags;
    if ((flags & IFF_UP) == 0 || (flags & IFF_BROADCAST) == 0 || (flags & IFF_LOOPBACK) != 0) continue;
    const unsigned index = ::if_nametoindex(a->ifa_name);
    if (index == 0) continue;
    // An interface with several addresses is one card: its first address names it.
    if (std::any_of(cards.begin(), cards.end(), [&](const auto& c) { return c.index == index; })) continue;
    NetworkInterface card;
    card.name = a->ifa_name;
    card.index = index;
    card.address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
    if (a->ifa_netmask != nullptr && a->ifa_netmask->sa_family == AF_INET) {
      card.netmask = ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr);
    }
    cards.push_back(std::move(card));
  }
  ::freeifaddrs(list);
  return cards;
}

IInterfaceSource& TheSystemInterfaces() {
  static SystemInterfaces system;
  return system;
}

std::vector<NetworkInterface> ChooseInterfaces(const std::vector<NetworkInterface>& all, std::string_view name) {
  if (name.empty()) return all;
  std::vector<NetworkInterface> chosen;
  for (const auto& c : all) {
    if (c.name == name) chosen.push_back(c);
  }
  return chosen;
}

std::string InterfaceLabel(const NetworkInterface& card) {
  return card.name + " (" + Ipv4ToText(card.address) + ")";
}

}  // namespace sd

namespace sd {

void SwitchInterfaces::Note(std::string_view mac_text, unsigned interface_index) {
  if (mac_text.empty() || interface_index == 0) return;
  std::lock_guard lock(mutex_);
  const auto it = cards_.find(mac_text);
  if (it != cards_.end()) {
    it->second = interface_index;
    return;
  }
  if (cards_.size() >= kLimit) cards_.clear();
  cards_.emplace(std::string(mac_text), interface_index);
}

unsigned SwitchInterfaces::Find(std::string_view mac_text) const {
  std::lock_guard lock(mutex_);
  const auto it = cards_.find(mac_text);
  return it == cards_.end() ? 0 : it->second;
}

void SwitchInterfaces::Clear() {
  std::lock_guard lock(mutex_);
  cards_.clear();
}

void SharedInterfaceIndexes::Set(std::vector<unsigned> indexes) {
  std::lock_guard lock(mutex_);
  indexes_ = std::move(indexes);
}

std::vector<unsigned> SharedInterfaceIndexes::Get() const {
  std::lock_guard lock(mutex_);
  return indexes_;
}

}  // namespace sd
