// SPDX-License-Identifier: GPL-3.0-or-later
// The metrics server over loopback: what it answers, and that silent, oversized or too many
// clients are bounded and leave it serving.
#include "cli/metrics_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "support/http.h"

namespace sd::cli {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

std::string Request(std::uint16_t port, const std::string& request) {
  return test::HttpExchange(kLoopback, port, request).value_or("(no answer)");
}

std::string Get(std::uint16_t port, const std::string& path) {
  return Request(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

int Connect(std::uint16_t port) { return test::ConnectTcp(kLoopback, port); }
using test::ReadUntilClosed;

class MetricsServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    server = MetricsServer::Start(kLoopback, 0, [this] {
      ++renders;
      return std::string("switchdesk_monitored_switches 3\n");
    }, error, limits);
    ASSERT_TRUE(server) << error;
  }
  MetricsServerLimits limits{.connections = 16, .connections_per_host = 4, .idle_seconds = 1, .request_bytes = 4096};
  std::atomic<int> renders{0};
  std::unique_ptr<MetricsServer> server;
};

TEST_F(MetricsServerTest, ServesMetricsAndRefusesTheRest) {
  const std::string metrics = Get(server->Port(), "/metrics");
  EXPECT_EQ(metrics.rfind("HTTP/1.1 200", 0), 0u) << metrics;
  EXPECT_NE(metrics.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"), std::string::npos) << metrics;
  EXPECT_TRUE(metrics.ends_with("\r\n\r\nswitchdesk_monitored_switches 3\n")) << metrics;

  const std::string head = Request(server->Port(), "HEAD /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;
  EXPECT_TRUE(head.ends_with("\r\n\r\n")) << head;

  const struct {
    std::string request;
    std::string status;
  } refused[] = {
      {"GET /other HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "HTTP/1.1 404"},
      {"GET /metrics/../x HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "HTTP/1.1 404"},
      {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello", "HTTP/1.1 405"},
      {"DELETE /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "HTTP/1.1 405"},
      {"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(8000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
  };
  for (const auto& r : refused) {
    const std::string answer = Request(server->Port(), r.request);
    EXPECT_EQ(answer.substr(0, r.status.size()), r.status) << r.request.substr(0, 60) << "\n" << answer.substr(0, 200);
  }
  EXPECT_EQ(Get(server->Port(), "/").rfind("HTTP/1.1 200", 0), 0u);
  // Only /metrics asks for the figures.
  EXPECT_EQ(renders.load(), 2);
}

// Clients that connect and say nothing take a connection each until the idle limit closes it;
// past the limit of one host new ones are closed at once. Neither stops the server: once they
// are gone, it answers again.
TEST_F(MetricsServerTest, SilentAndSurplusClientsAreClosedAndTheServerGoesOn) {
  std::vector<int> silent;
  for (int i = 0; i < 20; ++i) silent.push_back(Connect(server->Port()));
  for (int fd : silent) {
    ASSERT_GE(fd, 0);
    // Each is closed by the server: at the idle limit, or at once beyond the connection limit.
    EXPECT_TRUE(ReadUntilClosed(fd, std::chrono::seconds(10))) << "a silent client was never closed";
    ::close(fd);
  }
  // A request cut off in the middle of its headers is closed in the same way.
  const int half = Connect(server->Port());
  ASSERT_GE(half, 0);
  ASSERT_GT(::send(half, "GET /metrics HTTP/1.1\r\nHo", 25, MSG_NOSIGNAL), 0);
  EXPECT_TRUE(ReadUntilClosed(half, std::chrono::seconds(10)));
  ::close(half);

  EXPECT_EQ(Get(server->Port(), "/metrics").rfind("HTTP/1.1 200", 0), 0u);
}

TEST(MetricsServerStartTest, AnAddressInUseIsReportedWithItsReason) {
  std::string error;
  auto first = MetricsServer::Start(kLoopback, 0, [] { return std::string(); }, error);
  ASSERT_TRUE(first) << error;
  auto second = MetricsServer::Start(kLoopback, first->Port(), [] { return std::string(); }, error);
  EXPECT_FALSE(second);
  EXPECT_EQ(error, "Address already in use");
}

}  // namespace
}  // namespace sd::cli
