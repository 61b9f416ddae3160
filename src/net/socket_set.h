// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The manager's three protocol sockets: broadcast_socket on the base port, multicast_socket on
// base + 6 as a member of the configured group, unicast_socket on base + 1. All of them receive
// agent datagrams; the front end watches their descriptors and calls the dispatcher.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/messages.h"
#include "net/interfaces.h"
#include "net/udp_socket.h"

namespace sd {

// How RefreshMulticastMembership waits; tests pass one that only records.
using SleepFor = std::function<void(std::chrono::milliseconds)>;
void SleepThisThread(std::chrono::milliseconds duration);

// Broadcasts and the group's datagrams leave by every card (see interfaces.h), or by the one card
// the user chose, or by the card a switch answered on; the group is joined on each card. With no
// card known (and no choice) everything goes by the default route, as on a PC with one card.
class SocketSet {
 public:
  explicit SocketSet(IInterfaceSource& interfaces = TheSystemInterfaces()) : interfaces_(&interfaces) {}

  // Each creator opens and binds its socket on the port from Settings and tells the user when
  // it cannot; the socket then stays closed. The multicast creator also joins the group from
  // Settings and returns false when anything failed: the program cannot run without it.
  void CreateBroadcastSocket(IMessages& messages);
  bool CreateMulticastSocket(IMessages& messages);
  void CreateUnicastSocket(IMessages& messages);

  // Leaves the group, waits 200 ms, joins it again and waits 300 ms, so that the switches of the
  // path learn the membership anew before a request goes to the group. Results are not checked.
  void RefreshMulticastMembership(const SleepFor& sleep = SleepThisThread);
  // The two halves of the renewal: leave the group on every card it was joined on; read the
  // cards afresh and join it on each of them.
  void LeaveGroupEverywhere();
  void JoinGroupEverywhere();

  // Limits discovery, membership and reports to the card of this name; "" for every card.
  // Takes effect at the next membership renewal.
  void ChooseInterface(std::string name) { chosen_ = std::move(name); }
  const std::string& ChosenInterface() const { return chosen_; }
  // The cards of the last reading (start-up, each renewal), after the choice.
  const std::vector<NetworkInterface>& Cards() const { return cards_; }
  // Reads the cards again; the choice applies.
  const std::vector<NetworkInterface>& ReadInterfaces();
  IInterfaceSource& Interfaces() { return *interfaces_; }

  // One datagram to 255.255.255.255 (from the broadcast socket, broadcast switched on) or to the
  // group (from the multicast socket) at `port`: out of `only_interface` when it is not 0, else
  // out of each card in turn. True when at least one went out.
  bool SendBroadcast(std::span<const std::uint8_t> datagram, std::uint16_t port, unsigned only_interface = 0);
  bool SendMulticast(std::span<const std::uint8_t> datagram, std::uint16_t port, unsigned only_interface = 0);
  // The card each switch answered on (the dispatcher notes it).
  SwitchInterfaces& Switches() { return switches_; }
  // The interfaces the group was last joined on (0: the default one), for the report thread.
  std::shared_ptr<const SharedInterfaceIndexes> Membership() const { return joined_; }

  // Closes the three sockets, in the order broadcast, multicast, unicast. Threads that send on
  // a socket must have stopped first.
  void CloseSocketSet();

  UdpSocket* Broadcast() { return Get(broadcast_socket_); }
  UdpSocket* Multicast() { return Get(multicast_socket_); }
  UdpSocket* Unicast() { return Get(unicast_socket_); }

 private:
  static UdpSocket* Get(std::optional<UdpSocket>& s) { return s && s->IsOpen() ? &*s : nullptr; }
  // The interfaces a send goes out of: the one given, else every card, else the default route
  // (0) when no card is known and none was chosen.
  std::vector<unsigned> SendInterfaces(unsigned only_interface) const;
  bool JoinGroupEverywhere(std::uint32_t group);

  IInterfaceSource* interfaces_;
  std::string chosen_;
  std::vector<NetworkInterface> cards_;
  std::vector<unsigned> joined_now_;
  std::shared_ptr<SharedInterfaceIndexes> joined_ = std::make_shared<SharedInterfaceIndexes>();
  SwitchInterfaces switches_;
  std::optional<UdpSocket> broadcast_socket_;
  std::optional<UdpSocket> multicast_socket_;
  std::optional<UdpSocket> unicast_socket_;
};

}  // namespace sd
