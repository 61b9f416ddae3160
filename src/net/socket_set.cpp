// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/socket_set.h"

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
  if (!multicast_socket_->JoinGroup(ConfiguredGroup())) {
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
  const std::uint32_t group = ConfiguredGroup();
  if (multicast_socket_) multicast_socket_->LeaveGroup(group);
  sleep(std::chrono::milliseconds(200));
  if (multicast_socket_) multicast_socket_->JoinGroup(group);
  sleep(std::chrono::milliseconds(300));
}

void SocketSet::CloseSocketSet() {
  broadcast_socket_.reset();
  multicast_socket_.reset();
  unicast_socket_.reset();
}

}  // namespace sd
