// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The manager's three protocol sockets: broadcast_socket on the base port, multicast_socket on
// base + 6 as a member of the configured group, unicast_socket on base + 1. All of them receive
// agent datagrams; the front end watches their descriptors and calls the dispatcher.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "common/messages.h"
#include "net/udp_socket.h"

namespace sd {

// How RefreshMulticastMembership waits; tests pass one that only records.
using SleepFor = std::function<void(std::chrono::milliseconds)>;
void SleepThisThread(std::chrono::milliseconds duration);

class SocketSet {
 public:
  // Each creator opens and binds its socket on the port from Settings and tells the user when
  // it cannot; the socket then stays closed. The multicast creator also joins the group from
  // Settings and returns false when anything failed: the program cannot run without it.
  void CreateBroadcastSocket(IMessages& messages);
  bool CreateMulticastSocket(IMessages& messages);
  void CreateUnicastSocket(IMessages& messages);

  // Leaves the group, waits 200 ms, joins it again and waits 300 ms, so that the switches of the
  // path learn the membership anew before a request goes to the group. Results are not checked.
  void RefreshMulticastMembership(const SleepFor& sleep = SleepThisThread);

  // Closes the three sockets, in the order broadcast, multicast, unicast. Threads that send on
  // a socket must have stopped first.
  void CloseSocketSet();

  UdpSocket* Broadcast() { return Get(broadcast_socket_); }
  UdpSocket* Multicast() { return Get(multicast_socket_); }
  UdpSocket* Unicast() { return Get(unicast_socket_); }

 private:
  static UdpSocket* Get(std::optional<UdpSocket>& s) { return s && s->IsOpen() ? &*s : nullptr; }
  std::optional<UdpSocket> broadcast_socket_;
  std::optional<UdpSocket> multicast_socket_;
  std::optional<UdpSocket> unicast_socket_;
};

}  // namespace sd
