// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the device operations reach the network: the membership refresh that comes before each
// request, and one datagram on one of the three protocol sockets. SocketSetSender is the
// program's own; tests use a recording one.

#include <cstdint>
#include <span>

#include "net/socket_set.h"
#include "net/udp_socket.h"

namespace sd {

// The socket a datagram leaves by.
enum class SendRoute { Unicast, Broadcast, Multicast };

class IRequestSender {
 public:
  virtual ~IRequestSender() = default;
  // Leaves the multicast group, waits 200 ms, joins it again and waits 300 ms.
  virtual void RefreshMulticastMembership() = 0;
  // Sends one datagram; true only when all of it was handed to the network.
  virtual bool Send(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to) = 0;
};

// Over the program's socket set. The two waits of the membership refresh go through `sleep`: the
// window passes one that keeps its event loop running meanwhile, so it does not freeze for the
// half second; the default blocks the calling thread.
class SocketSetSender final : public IRequestSender {
 public:
  explicit SocketSetSender(SocketSet& sockets, SleepFor sleep = SleepThisThread);
  void SetSleep(SleepFor sleep) { sleep_ = std::move(sleep); }

  void RefreshMulticastMembership() override;
  // A broadcast is allowed on the broadcast socket first; a closed socket fails the send.
  bool Send(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to) override;

 private:
  SocketSet& sockets_;
  SleepFor sleep_;
};

}  // namespace sd
