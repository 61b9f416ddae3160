// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/upgrade_network.h"

#include "protocol/ipv4.h"
#include "settings/settings_file.h"

namespace sd {

namespace {
std::optional<std::uint32_t> Group() { return TextToIpv4(Settings.multicast_group); }
}  // namespace

void SocketSetUpgradeNetwork::LeaveGroup() {
  if (UdpSocket* m = sockets_.Multicast(); m && Group()) m->LeaveGroup(*Group());
}

void SocketSetUpgradeNetwork::JoinGroup() {
  if (UdpSocket* m = sockets_.Multicast(); m && Group()) m->JoinGroup(*Group());
}

bool SocketSetUpgradeNetwork::EnableBroadcast() {
  UdpSocket* b = sockets_.Broadcast();
  return b != nullptr && b->SetBroadcast(true);
}

bool SocketSetUpgradeNetwork::SendUnicast(std::span<const std::uint8_t> datagram, std::uint32_t ip) {
  UdpSocket* u = sockets_.Unicast();
  return u != nullptr && u->SendTo(datagram, {ip, Settings.agent_port});
}

bool SocketSetUpgradeNetwork::SendBroadcast(std::span<const std::uint8_t> datagram) {
  // A send to the broadcast address needs the option on the socket.
  return EnableBroadcast() && sockets_.Broadcast()->SendTo(datagram, {kLimitedBroadcast, Settings.agent_port});
}

bool SocketSetUpgradeNetwork::SendMulticast(std::span<const std::uint8_t> datagram) {
  UdpSocket* m = sockets_.Multicast();
  const auto group = Group();
  return m != nullptr && group && m->SendTo(datagram, {*group, Settings.agent_port});
}

}  // namespace sd
