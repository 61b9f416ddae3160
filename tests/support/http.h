// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A plain HTTP/1.1 client over loopback for tests and benchmarks of the metrics server: one
// request per connection, the whole answer read until the server closes, within a time limit and
// at most 8 MiB.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace sd::test {

inline int ConnectTcp(std::uint32_t address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(address);
  where.sin_port = htons(port);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

// Everything the peer sends until it closes; nothing when `limit` passes first.
inline std::optional<std::string> ReadUntilClosed(int fd, std::chrono::milliseconds limit) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buffer[16384];
  while (got.size() < (8u << 20)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

// Sends `request` on a connection of its own; the whole answer, or nothing.
inline std::optional<std::string> HttpExchange(std::uint32_t address, std::uint16_t port, const std::string& request,
                                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const int fd = ConnectTcp(address, port);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> answer;
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    answer = ReadUntilClosed(fd, limit);
  }
  ::close(fd);
  return answer;
}

inline std::optional<std::string> HttpGet(std::uint32_t address, std::uint16_t port, const std::string& path,
                                          std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  return HttpExchange(address, port, "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n", limit);
}

// The body of an answer whose status is 200; nothing otherwise.
inline std::optional<std::string> HttpBody(const std::optional<std::string>& answer) {
  if (!answer || answer->rfind("HTTP/1.1 200", 0) != 0) return std::nullopt;
  const auto end = answer->find("\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  return answer->substr(end + 4);
}

}  // namespace sd::test
