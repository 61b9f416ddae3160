// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the device operations reach the network: the membership refresh that comes before each
// request, and one datagram on one of the three protocol sockets. SocketSetSender is the
// program's own; tests use a recording one.

#include <cstdint>
#include <span>
#include <string_view>

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
  // Sends one datagram by broadcast or to the group for the switch of this MAC text: out of the
  // card its replies came in on when that is known. Senders without cards send it as Send does.
  virtual bool SendToSwitch(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to,
                            std::string_view mac_text) {
    (void)mac_text;
    return Send(route, datagram, to);
  }
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
  // Out of the switch's card; out of every card when its card is not known.
  bool SendToSwitch(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to,
                    std::string_view mac_text) override;

 private:
  bool SendOn(SendRoute route, std::span<const std::uint8_t> datagram, Endpoint to, unsigned interface_index);
  SocketSet& sockets_;
  SleepFor sleep_;
};

}  // namespace sd
