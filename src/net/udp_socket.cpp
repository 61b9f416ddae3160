// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sd {

namespace {

sockaddr_in ToSockaddr(Endpoint e) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(e.address);
  a.sin_port = htons(e.port);
  return a;
}

Endpoint FromSockaddr(const sockaddr_in& a) {
  return {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

bool SetIntOption(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

bool SetFlag(int fd, bool on) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

bool Membership(int fd, int option, std::uint32_t group, unsigned interface_index = 0) {
  if (interface_index != 0) {
    ip_mreqn n{};
    n.imr_multiaddr.s_addr = htonl(group);
    n.imr_ifindex = static_cast<int>(interface_index);
    return ::setsockopt(fd, IPPROTO_IP, option, &n, sizeof n) == 0;
  }
  ip_mreq m{};
  m.imr_multiaddr.s_addr = htonl(group);
  m.imr_interface.s_addr = htonl(kAnyAddress);
  return ::setsockopt(fd, IPPROTO_IP, option, &m, sizeof m) == 0;
}

// recvmsg into the buffer, with the destination address when IP_PKTINFO is on.
std::optional<ReceivedDatagram> ReceiveOne(int fd, std::span<std::uint8_t, kMaxDatagram> buffer) {
  if (fd < 0) return std::nullopt;
  sockaddr_in from{};
  iovec iov{buffer.data(), buffer.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr msg{};
  msg.msg_name = &from;
  msg.msg_namelen = sizeof from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t n;
  do {
    n = ::recvmsg(fd, &msg, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return std::nullopt;
  ReceivedDatagram r;
  r.size = static_cast<std::size_t>(n);
  r.source = FromSockaddr(from);
  r.truncated = (msg.msg_flags & MSG_TRUNC) != 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      r.destination = ntohl(info.ipi_addr.s_addr);
      r.interface_index = static_cast<unsigned>(info.ipi_ifindex);
    }
  }
  return r;
}

// With packet information: from `source` (when given) and out of `interface_index` (when not 0).
bool SendWhole(int fd, std::span<const std::uint8_t> datagram, Endpoint to,
               const std::uint32_t* source, unsigned interface_index = 0) {
  if (fd < 0) return false;
  sockaddr_in dest = ToSockaddr(to);
  iovec iov{const_cast<std::uint8_t*>(datagram.data()), datagram.size()};
  msghdr msg{};
  msg.msg_name = &dest;
  msg.msg_namelen = sizeof dest;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  if (source != nullptr || interface_index != 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    if (source != nullptr) info.ipi_spec_dst.s_addr = htonl(*source);
    info.ipi_ifindex = static_cast<int>(interface_index);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
  }
  ssize_t n;
  do {
    n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n >= 0 && static_cast<std::size_t>(n) == datagram.size();
}

}  // namespace

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int SocketHandle::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void SocketHandle::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<UdpSocket> UdpSocket::Open() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  return UdpSocket(SocketHandle(fd));
}

bool UdpSocket::Bind(std::uint16_t port, std::uint32_t address) {
  const sockaddr_in a = ToSockaddr({address, port});
  return IsOpen() && ::bind(Fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

std::optional<Endpoint> UdpSocket::LocalEndpoint() const {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (!IsOpen() || ::getsockname(Fd(), reinterpret_cast<sockaddr*>(&a), &len) != 0) return std::nullopt;
  return FromSockaddr(a);
}

bool UdpSocket::SetBroadcast(bool on) { return IsOpen() && SetIntOption(Fd(), SOL_SOCKET, SO_BROADCAST, on); }
bool UdpSocket::SetReuseAddress(bool on) { return IsOpen() && SetIntOption(Fd(), SOL_SOCKET, SO_REUSEADDR, on); }
bool UdpSocket::SetNonBlocking(bool on) { return IsOpen() && SetFlag(Fd(), on); }
bool UdpSocket::SetReceiveBufferSize(int bytes) {
  if (!IsOpen()) return false;
  // Past the system's limit for ordinary processes with the network administration privilege;
  // without it, up to that limit.
  return SetIntOption(Fd(), SOL_SOCKET, SO_RCVBUFFORCE, bytes) || SetIntOption(Fd(), SOL_SOCKET, SO_RCVBUF, bytes);
}
int UdpSocket::ReceiveBufferSize() const {
  int value = 0;
  socklen_t length = sizeof value;
  if (!IsOpen() || ::getsockopt(Fd(), SOL_SOCKET, SO_RCVBUF, &value, &length) != 0) return 0;
  return value;
}
bool UdpSocket::JoinGroup(std::uint32_t group) { return IsOpen() && Membership(Fd(), IP_ADD_MEMBERSHIP, group); }
bool UdpSocket::LeaveGroup(std::uint32_t group) { return IsOpen() && Membership(Fd(), IP_DROP_MEMBERSHIP, group); }
bool UdpSocket::JoinGroupOn(std::uint32_t group, unsigned interface_index) {
  return IsOpen() && Membership(Fd(), IP_ADD_MEMBERSHIP, group, interface_index);
}
bool UdpSocket::LeaveGroupOn(std::uint32_t group, unsigned interface_index) {
  return IsOpen() && Membership(Fd(), IP_DROP_MEMBERSHIP, group, interface_index);
}
bool UdpSocket::EnablePacketInfo() { return IsOpen() && SetIntOption(Fd(), IPPROTO_IP, IP_PKTINFO, 1); }

bool UdpSocket::SendTo(std::span<const std::uint8_t> datagram, Endpoint to) {
  return SendWhole(Fd(), datagram, to, nullptr);
}

bool UdpSocket::SendFrom(std::span<const std::uint8_t> datagram, Endpoint to, std::uint32_t source) {
  return SendWhole(Fd(), datagram, to, &source);
}

bool UdpSocket::SendOn(std::span<const std::uint8_t> datagram, Endpoint to, unsigned interface_index) {
  return SendWhole(Fd(), datagram, to, nullptr, interface_index);
}

std::optional<ReceivedDatagram> UdpSocket::Receive(std::span<std::uint8_t, kMaxDatagram> buffer) {
  return ReceiveOne(Fd(), buffer);
}

std::optional<RawIgmpSocket> RawIgmpSocket::Open() {
  const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_IGMP);
  if (fd < 0) return std::nullopt;
  return RawIgmpSocket(SocketHandle(fd));
}

bool RawIgmpSocket::SetNonBlocking(bool on) { return IsOpen() && SetFlag(Fd(), on); }
bool RawIgmpSocket::JoinGroup(std::uint32_t group) { return IsOpen() && Membership(Fd(), IP_ADD_MEMBERSHIP, group); }

bool RawIgmpSocket::SendTo(std::span<const std::uint8_t> message, std::uint32_t destination) {
  return SendWhole(Fd(), message, {destination, 0}, nullptr);
}

bool RawIgmpSocket::SendOn(std::span<const std::uint8_t> message, std::uint32_t destination,
                           unsigned interface_index) {
  return SendWhole(Fd(), message, {destination, 0}, nullptr, interface_index);
}

std::optional<ReceivedDatagram> RawIgmpSocket::Receive(std::span<std::uint8_t, kMaxDatagram> buffer) {
  return ReceiveOne(Fd(), buffer);
}

}  // namespace sd
