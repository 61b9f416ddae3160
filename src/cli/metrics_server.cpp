// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/metrics_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace sd::cli {

namespace {

constexpr std::string_view kContentType = "text/plain; version=0.0.4; charset=utf-8";
constexpr std::string_view kIndex = "Switchdesk watch: the metrics are at /metrics\n";

MHD_Result Answer(MHD_Connection* connection, unsigned status, std::string_view body, std::string_view type,
                  std::string_view allow = {}) {
  MHD_Response* response =
      MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, std::string(type).c_str());
  if (!allow.empty()) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, std::string(allow).c_str());
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

struct MetricsServer::State {
  std::function<std::string()> render;
  std::atomic<std::uint64_t> requests{0};

  static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char*, std::size_t* upload_size, void**) {
    auto* state = static_cast<State*>(self);
    // A body is never read: whatever came with the request is dropped, and the answer goes out
    // on the first call.
    if (upload_size) *upload_size = 0;
    state->requests.fetch_add(1, std::memory_order_relaxed);
    const std::string_view m(method);
    if (m != MHD_HTTP_METHOD_GET && m != MHD_HTTP_METHOD_HEAD) {
      return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET is served.\n", "text/plain", "GET, HEAD");
    }
    const std::string_view path(url);
    if (path == "/metrics") return Answer(connection, MHD_HTTP_OK, state->render(), kContentType);
    if (path == "/") return Answer(connection, MHD_HTTP_OK, kIndex, "text/plain; charset=utf-8");
    return Answer(connection, MHD_HTTP_NOT_FOUND, "Not found: the metrics are at /metrics\n", "text/plain");
  }
};

std::unique_ptr<MetricsServer> MetricsServer::Start(std::uint32_t address, std::uint16_t port,
                                                    std::function<std::string()> render, std::string& error,
                                                    const MetricsServerLimits& limits) {
  std::unique_ptr<MetricsServer> server(new MetricsServer);
  server->state_ = std::make_unique<State>();
  server->state_->render = std::move(render);

  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(address);
  where.sin_port = htons(port);
  errno = 0;
  // One thread of its own polls every connection; without MHD_USE_ERROR_LOG the library writes
  // nothing to the program's standard error.
  server->daemon_ = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO, port, nullptr, nullptr, &State::OnRequest, server->state_.get(),
      MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr*>(&where),
      MHD_OPTION_CONNECTION_LIMIT, limits.connections,
      MHD_OPTION_CONNECTION_TIMEOUT, limits.idle_seconds,
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connections_per_host,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits.request_bytes,
      MHD_OPTION_END);
  if (!server->daemon_) {
    const int reason = errno;
    error = reason != 0 ? std::strerror(reason) : "the server could not start";
    return nullptr;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT);
  server->port_ = info ? info->port : port;
  return server;
}

MetricsServer::~MetricsServer() {
  if (daemon_) MHD_stop_daemon(daemon_);
}

std::uint64_t MetricsServer::Requests() const { return state_->requests.load(std::memory_order_relaxed); }

}  // namespace sd::cli
