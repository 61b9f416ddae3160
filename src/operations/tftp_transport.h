// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The socket of one firmware transfer, behind an interface so that tests drive the transfer
// with datagrams of their own and no network.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "net/udp_socket.h"

namespace sd {

class ITftpTransport {
 public:
  enum class OpenResult { kOk, kCreateFailed, kBindFailed };

  virtual ~ITftpTransport() = default;
  // Opens a UDP socket bound to any local address at `local_port`.
  virtual OpenResult Open(std::uint16_t local_port) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // True only when the whole datagram was handed to the network.
  virtual bool SendTo(std::span<const std::uint8_t> datagram, Endpoint to) = 0;
  // One waiting datagram, or nothing when none waits.
  virtual std::optional<ReceivedDatagram> Receive(std::span<std::uint8_t, kMaxDatagram> buffer) = 0;
};

// The real socket. The front end learns its descriptor when it opens, to call the transfer's
// OnTftpReceive whenever it is readable, and is told before the descriptor closes.
class UdpTftpTransport : public ITftpTransport {
 public:
  using Watch = std::function<void(int fd)>;
  UdpTftpTransport(Watch watch, Watch unwatch) : watch_(std::move(watch)), unwatch_(std::move(unwatch)) {}
  ~UdpTftpTransport() override { Close(); }
  UdpTftpTransport(const UdpTftpTransport&) = delete;
  UdpTftpTransport& operator=(const UdpTftpTransport&) = delete;

  OpenResult Open(std::uint16_t local_port) override;
  void Close() override;
  bool IsOpen() const override { return socket_.has_value(); }
  bool SendTo(std::span<const std::uint8_t> datagram, Endpoint to) override;
  std::optional<ReceivedDatagram> Receive(std::span<std::uint8_t, kMaxDatagram> buffer) override;
  int Fd() const { return socket_ ? socket_->Fd() : -1; }

 private:
  Watch watch_;
  Watch unwatch_;
  std::optional<UdpSocket> socket_;
};

}  // namespace sd
