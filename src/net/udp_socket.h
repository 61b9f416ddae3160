// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Thin RAII wrappers over POSIX datagram sockets: the UDP sockets of the management protocol and
// the raw IGMP socket of the membership reports. Addresses are IPv4 numbers in host order, as
// the rest of the program holds them. Nothing throws; every operation reports success.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "protocol/packet_header.h"

namespace sd {

inline constexpr std::uint32_t kAnyAddress = 0;                // 0.0.0.0
inline constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFF;  // 255.255.255.255
inline constexpr std::uint32_t kLoopbackAddress = 0x7F000001;   // 127.0.0.1

// An IPv4 address and UDP port, both in host order.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  bool operator==(const Endpoint&) const = default;
};

// One datagram as received: its length in the caller's buffer, who sent it and, when the socket
// asked for packet information, the address it was sent to (a broadcast, a group or one of this
// host's addresses). `truncated` when the datagram was longer than the buffer and only its
// first `size` bytes were kept.
struct ReceivedDatagram {
  std::size_t size = 0;
  Endpoint source;
  std::optional<std::uint32_t> destination;
  // With packet information: the index of the interface it came in on (0 when not known).
  unsigned interface_index = 0;
  bool truncated = false;
};

// Owns one file descriptor; closes it when destroyed. Move-only.
class SocketHandle {
 public:
  SocketHandle() = default;
  explicit SocketHandle(int fd) : fd_(fd) {}
  ~SocketHandle() { Close(); }
  SocketHandle(SocketHandle&& other) noexcept : fd_(other.Release()) {}
  SocketHandle& operator=(SocketHandle&& other) noexcept;
  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;

  int Fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Release();
  void Close();

 private:
  int fd_ = -1;
};

class UdpSocket {
 public:
  // An IPv4 datagram socket, non-blocking and close-on-exec; nothing when the system refuses.
  static std::optional<UdpSocket> Open();

  int Fd() const { return handle_.Fd(); }
  bool IsOpen() const { return handle_.IsOpen(); }
  void Close() { handle_.Close(); }

  // Binds to an address (kAnyAddress for all) and a port (0 for one the system chooses).
  bool Bind(std::uint16_t port, std::uint32_t address = kAnyAddress);
  std::optional<Endpoint> LocalEndpoint() const;

  bool SetBroadcast(bool on);
  bool SetReuseAddress(bool on);
  bool SetNonBlocking(bool on);
  // Asks for room for `bytes` of waiting datagrams. Without the network administration
  // privilege the system may give less (its limit for ordinary processes).
  bool SetReceiveBufferSize(int bytes);
  // The room the system gave, in its own accounting (which counts each datagram's overhead).
  int ReceiveBufferSize() const;
  // Group membership on the default interface (interface address 0.0.0.0).
  bool JoinGroup(std::uint32_t group);
  bool LeaveGroup(std::uint32_t group);
  // Group membership on one interface (by index; 0 is the default interface, as above).
  bool JoinGroupOn(std::uint32_t group, unsigned interface_index);
  bool LeaveGroupOn(std::uint32_t group, unsigned interface_index);
  // Reports each datagram's destination address, and allows replies from a chosen local address.
  bool EnablePacketInfo();

  // Sends one datagram; true only when the whole datagram was handed to the network.
  bool SendTo(std::span<const std::uint8_t> datagram, Endpoint to);
  // Sends one datagram with a given local source address (EnablePacketInfo first).
  bool SendFrom(std::span<const std::uint8_t> datagram, Endpoint to, std::uint32_t source);
  // Sends one datagram out of one interface (by index), whatever the routes say: the way to
  // reach 255.255.255.255 or a group on a card without the default route. Index 0 is SendTo.
  bool SendOn(std::span<const std::uint8_t> datagram, Endpoint to, unsigned interface_index);

  // Reads one waiting datagram of at most kMaxDatagram bytes into the buffer. Nothing when no
  // datagram waits (a non-blocking socket) or the read fails; the buffer is then unchanged
  // beyond what the system wrote. A longer datagram is cut to the buffer and marked truncated.
  std::optional<ReceivedDatagram> Receive(std::span<std::uint8_t, kMaxDatagram> buffer);

 private:
  explicit UdpSocket(SocketHandle handle) : handle_(std::move(handle)) {}
  SocketHandle handle_;
};

// socket(AF_INET, SOCK_RAW, IPPROTO_IGMP): opening needs the network administration privilege.
class RawIgmpSocket {
 public:
  static std::optional<RawIgmpSocket> Open();

  int Fd() const { return handle_.Fd(); }
  bool IsOpen() const { return handle_.IsOpen(); }
  bool SetNonBlocking(bool on);
  bool JoinGroup(std::uint32_t group);

  // Sends an IGMP message (the kernel adds the IP header) to an address.
  bool SendTo(std::span<const std::uint8_t> message, std::uint32_t destination);
  // The same out of one interface (by index); index 0 is SendTo.
  bool SendOn(std::span<const std::uint8_t> message, std::uint32_t destination, unsigned interface_index);
  // Reads one IP packet (header included) of at most kMaxDatagram bytes.
  std::optional<ReceivedDatagram> Receive(std::span<std::uint8_t, kMaxDatagram> buffer);

 private:
  explicit RawIgmpSocket(SocketHandle handle) : handle_(std::move(handle)) {}
  SocketHandle handle_;
};

}  // namespace sd
