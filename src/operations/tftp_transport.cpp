// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/tftp_transport.h"

namespace sd {

ITftpTransport::OpenResult UdpTftpTransport::Open(std::uint16_t local_port) {
  Close();
  auto socket = UdpSocket::Open();
  if (!socket) return OpenResult::kCreateFailed;
  if (!socket->Bind(local_port)) return OpenResult::kBindFailed;
  socket_ = std::move(socket);
  if (watch_) watch_(socket_->Fd());
  return OpenResult::kOk;
}

void UdpTftpTransport::Close() {
  if (!socket_) return;
  if (unwatch_) unwatch_(socket_->Fd());
  socket_.reset();
}

bool UdpTftpTransport::SendTo(std::span<const std::uint8_t> datagram, Endpoint to) {
  return socket_ && socket_->SendTo(datagram, to);
}

std::optional<ReceivedDatagram> UdpTftpTransport::Receive(std::span<std::uint8_t, kMaxDatagram> buffer) {
  if (!socket_) return std::nullopt;
  return socket_->Receive(buffer);
}

}  // namespace sd
