// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/upgrade_network.h"

#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "settings/settings_file.h"

namespace sd {

namespace {
// The card of the switch being upgraded (0: not known, every card).
unsigned TargetInterface(SocketSet& sockets) {
  return sockets.Switches().Find(OperationContext::Instance().UpgradeTargetMac());
}
}  // namespace

void SocketSetUpgradeNetwork::LeaveGroup() { sockets_.LeaveGroupEverywhere(); }

void SocketSetUpgradeNetwork::JoinGroup() { sockets_.JoinGroupEverywhere(); }

bool SocketSetUpgradeNetwork::EnableBroadcast() {
  UdpSocket* b = sockets_.Broadcast();
  return b != nullptr && b->SetBroadcast(true);
}

bool SocketSetUpgradeNetwork::SendUnicast(std::span<const std::uint8_t> datagram, std::uint32_t ip) {
  UdpSocket* u = sockets_.Unicast();
  return u != nullptr && u->SendTo(datagram, {ip, Settings.agent_port});
}

// The trigger and the reboot watch's discoveries go out of the upgraded switch's card.
bool SocketSetUpgradeNetwork::SendBroadcast(std::span<const std::uint8_t> datagram) {
  return sockets_.SendBroadcast(datagram, Settings.agent_port, TargetInterface(sockets_));
}

bool SocketSetUpgradeNetwork::SendMulticast(std::span<const std::uint8_t> datagram) {
  return sockets_.SendMulticast(datagram, Settings.agent_port, TargetInterface(sockets_));
}

}  // namespace sd
