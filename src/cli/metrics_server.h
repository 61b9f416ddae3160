// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The HTTP side of `watch --metrics`: libmicrohttpd serves GET /metrics from a thread of its own,
// so a slow or silent client never holds up the event loop or the poll thread. Each request is
// bounded: its headers by the connection's memory, its time by an idle limit; the connections at
// once are bounded (more wait in the listen queue), and so are those of one host (more are closed
// at once), so that one host cannot take every connection from a scraper elsewhere.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct MHD_Daemon;

namespace sd::cli {

struct MetricsServerLimits {
  unsigned connections = 256;          // at once; more wait to be taken
  unsigned connections_per_host = 64;  // of one address at once; more are closed as they come
  unsigned idle_seconds = 5;           // a connection silent this long is closed
  std::size_t request_bytes = 16384;   // a request's line and headers, with what the server needs
};

class MetricsServer {
 public:
  // Serves `render`'s text at http://ADDRESS:PORT/metrics (host order; port 0: any free port).
  // Nothing when the address cannot be taken, with the reason in `error`.
  static std::unique_ptr<MetricsServer> Start(std::uint32_t address, std::uint16_t port,
                                              std::function<std::string()> render, std::string& error,
                                              const MetricsServerLimits& limits = {});
  // Stops serving: closes the connections and ends the server's thread.
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // Requests answered, whatever their answer.
  std::uint64_t Requests() const;

 private:
  MetricsServer() = default;
  struct State;
  std::unique_ptr<State> state_;
  MHD_Daemon* daemon_ = nullptr;
  std::uint16_t port_ = 0;
};

}  // namespace sd::cli
