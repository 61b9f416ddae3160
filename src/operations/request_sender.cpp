// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/request_sender.h"

namespace sd {

SocketSetSender::SocketSetSender(SocketSet& sockets, SleepFor sleep)
    : sockets_(sockets), sleep_(std::move(sleep)) {}

void SocketSetSender::RefreshMulticastMembership() {
  sockets_.RefreshMulticastMembership(sleep_ ? sleep_ : SleepFor(SleepThisThread));
}

bool SocketSetSender::Send(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to) {
  UdpSocket* socket = nullptr;
  switch (route) {
    case SendRoute::Unicast: socket = sockets_.Unicast(); break;
    case SendRoute::Broadcast: socket = sockets_.Broadcast(); break;
    case SendRoute::Multicast: socket = sockets_.Multicast(); break;
  }
  if (socket == nullptr) return false;
  if (route == SendRoute::Broadcast && !socket->SetBroadcast(true)) return false;
  return socket->SendTo(datagram, to);
}

}  // namespace sd
