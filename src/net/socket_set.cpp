// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/socket_set.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include "protocol/ipv4.h"
#include "settings/settings_file.h"

namespace sd {

namespace {

constexpr std::string_view kCreateSocketError = "Create socket error.";
constexpr std::string_view kCreateMulticastSocketError = "Creat Socket error";
constexpr std::string_view kBindSocketError = "Bind socket error";
constexpr std::string_view kJoinGroupError = "Please check your network connection.\nUtility will close.";

// A discovery makes up to 256 switches answer at once, each to the broadcast and to the group,
// with up to 1500 bytes, while the window may be busy. The system's default room (about 200 KiB,
// some 250 small answers with their overhead) drops answers of a full network.
constexpr int kReceiveBufferBytes = 1 << 20;
// Traps, poll replies and set replies arrive on the unicast socket. Switches that all report a
// network event at once can send tens of thousands of traps within milliseconds, much faster than
// any window can log them; the kernel counts some 830 bytes for each small datagram, so this room
// (doubled by the kernel) keeps a burst of about 40 000 traps until they are read. The room costs
// nothing while the socket is empty.
constexpr int kUnicastReceiveBufferBytes = 16 << 20;

std::optional<UdpSocket> OpenBound(std::uint16_t port, std::string_view create_error,
                                   IMessages& messages, int receive_buffer_bytes = kReceiveBufferBytes) {
  auto socket = UdpSocket::Open();
  if (!socket) {
    messages.Error(create_error);
    return std::nullopt;
  }
  if (!socket->Bind(port)) {
    messages.Error(kBindSocketError);
    return std::nullopt;
  }
  socket->SetReceiveBufferSize(receive_buffer_bytes);  // less room is no reason to stop
  // Each datagram's card, so that a switch's requests go out where its replies came in.
  socket->EnablePacketInfo();
  return socket;
}

// The group from Settings; 0.0.0.0, which no join accepts, when the text is not an address.
std::uint32_t ConfiguredGroup() { return TextToIpv4(Settings.multicast_group).value_or(0); }

}  // namespace

void SleepThisThread(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

void SocketSet::CreateBroadcastSocket(IMessages& messages) {
  broadcast_socket_ = OpenBound(Settings.base_port, kCreateSocketError, messages);
}

bool SocketSet::CreateMulticastSocket(IMessages& messages) {
  multicast_socket_ = OpenBound(Settings.multicast_port, kCreateMulticastSocketError, messages);
  if (!multicast_socket_) return false;
  ReadInterfaces();
  if (!JoinGroupEverywhere(ConfiguredGroup())) {
    multicast_socket_.reset();
    messages.Error(kJoinGroupError);
    return false;
  }
  return true;
}

void SocketSet::CreateUnicastSocket(IMessages& messages) {
  unicast_socket_ = OpenBound(Settings.unicast_port, kCreateSocketError, messages, kUnicastReceiveBufferBytes);
}

void SocketSet::RefreshMulticastMembership(const SleepFor& sleep) {
  LeaveGroupEverywhere();
  sleep(std::chrono::milliseconds(200));
  JoinGroupEverywhere();
  sleep(std::chrono::milliseconds(300));
}

const std::vector<NetworkInterface>& SocketSet::ReadInterfaces() {
  cards_ = ChooseInterfaces(interfaces_->List(), chosen_);
  return cards_;
}

void SocketSet::LeaveGroupEverywhere() {
  const std::uint32_t group = ConfiguredGroup();
  if (multicast_socket_) {
    for (unsigned index : joined_now_) multicast_socket_->LeaveGroupOn(group, index);
  }
  // The report thread keeps the cards of the last join until the next one: a report due during
  // the renewal still goes out.
  joined_now_.clear();
}

void SocketSet::JoinGroupEverywhere() {
  ReadInterfaces();
  JoinGroupEverywhere(ConfiguredGroup());
}

bool SocketSet::JoinGroupEverywhere(std::uint32_t group) {
  if (!multicast_socket_) return false;
  for (unsigned index : SendInterfaces(0)) {
    // Already a member there (a renewal whose leave did not happen) counts as joined.
    if (multicast_socket_->JoinGroupOn(group, index) || errno == EADDRINUSE) {
      if (std::find(joined_now_.begin(), joined_now_.end(), index) == joined_now_.end()) joined_now_.push_back(index);
    }
  }
  joined_->Set(joined_now_);
  return !joined_now_.empty();
}

std::vector<unsigned> SocketSet::SendInterfaces(unsigned only_interface) const {
  // A switch's card that has gone since (undocked, or back under another index) no longer
  // limits the send: it goes out as a discovery does.
  const auto known = [&](unsigned index) {
    return std::any_of(cards_.begin(), cards_.end(), [&](const auto& card) { return card.index == index; });
  };
  if (only_interface != 0 && known(only_interface)) return {only_interface};
  std::vector<unsigned> out;
  for (const auto& card : cards_) out.push_back(card.index);
  if (out.empty() && chosen_.empty()) out.push_back(0);
  return out;
}

bool SocketSet::SendBroadcast(std::span<const std::uint8_t> datagram, std::uint16_t port, unsigned only_interface) {
  UdpSocket* socket = Broadcast();
  if (socket == nullptr || !socket->SetBroadcast(true)) return false;
  bool any = false;
  for (unsigned index : SendInterfaces(only_interface)) {
    any = socket->SendOn(datagram, {kLimitedBroadcast, port}, index) || any;
  }
  return any;
}

bool SocketSet::SendMulticast(std::span<const std::uint8_t> datagram, std::uint16_t port, unsigned only_interface) {
  UdpSocket* socket = Multicast();
  const std::uint32_t group = ConfiguredGroup();
  if (socket == nullptr || group == 0) return false;
  bool any = false;
  for (unsigned index : SendInterfaces(only_interface)) {
    any = socket->SendOn(datagram, {group, port}, index) || any;
  }
  return any;
}

void SocketSet::CloseSocketSet() {
  broadcast_socket_.reset();
  multicast_socket_.reset();
  unicast_socket_.reset();
}

}  // namespace sd
