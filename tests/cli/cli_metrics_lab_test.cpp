// SPDX-License-Identifier: GPL-3.0-or-later
// watch --metrics end to end in the lab: the real switchdesk-cli watches simulated switches and
// Debian's Prometheus server scrapes it. Through Prometheus' HTTP API the test sees a switch's
// switchdesk_switch_up go to 0 when it falls silent and back to 1 when it answers again;
// promtool accepts the exposition; and clients that hold connections open or send a thousand
// requests at once change no verdict and no log line.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <thread>

#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/http.h"
#include "support/json.h"
#include "support/lab.h"
#include "support/lab_settings.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

constexpr const char* kLabSettings = test::kLabDefineEcfText;
constexpr std::uint32_t kLoopback = 0x7F000001;
// The lab's manager namespace is the test's own: nothing else listens on these ports there.
constexpr std::uint16_t kMetricsPort = 9639;
constexpr std::uint16_t kPrometheusPort = 9090;
constexpr int kSwitches = 3;
const std::string kSilent = "198.18.0.12";

class CliMetricsLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    dir.Write("define.ecf", MakeSealedSettings(kLabSettings));
    std::vector<std::string> definitions;
    for (int i = 0; i < kSwitches; ++i) {
      definitions.push_back("ip=" + test::LabSwitchIp(i) + ",mac=" + test::LabSwitchMac(i) + ",name=sw\"" +
                            std::to_string(i));
    }
    ASSERT_TRUE(test::StartLabSimulator(sim, definitions));
    for (int i = 0; i < kSwitches; ++i) {
      const auto add = test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "add", test::LabSwitchIp(i)});
      ASSERT_EQ(add.status, 0) << add.err;
    }
  }
  void TearDown() override {
    prometheus.Stop();
    sim.Stop();
  }

  bool StartPrometheus() {
    const std::string config = dir.File("prometheus.yml");
    std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                          << "scrape_configs:\n  - job_name: switchdesk\n    static_configs:\n"
                          << "      - targets: ['127.0.0.1:" << kMetricsPort << "']\n";
    if (!prometheus.Start({"prometheus", "--config.file=" + config, "--storage.tsdb.path=" + dir.File("tsdb"),
                           "--web.listen-address=127.0.0.1:" + std::to_string(kPrometheusPort), "--log.level=warn"})) {
      return false;
    }
    for (int i = 0; i < 300; ++i) {
      if (test::HttpBody(test::HttpGet(kLoopback, kPrometheusPort, "/-/ready", std::chrono::seconds(1)))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // switchdesk_switch_up of `ip` as Prometheus has it now: "0", "1", or "" before its first scrape.
  std::string UpInPrometheus(const std::string& ip) {
    const auto body = test::HttpBody(test::HttpGet(
        kLoopback, kPrometheusPort, "/api/v1/query?query=switchdesk_switch_up%7Bip%3D%22" + ip + "%22%7D"));
    if (!body) return "";
    const auto json = test::ParseJson(*body);
    if (!json || json->Text("status") != "success") return "";
    const test::Json* result = json->Find("data") ? json->Find("data")->Find("result") : nullptr;
    if (!result || result->array.size() != 1) return "";
    const test::Json* value = result->array[0].Find("value");
    return value && value->array.size() == 2 ? value->array[1].string : "";
  }

  // Waits until Prometheus has `up` for the switch; how long it took.
  std::optional<std::chrono::seconds> WaitForUp(const std::string& ip, const std::string& up, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < limit) {
      if (UpInPrometheus(ip) == up) {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return std::nullopt;
  }

  std::string Log() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }

  test::TempConfigDir dir;
  test::ChildProcess sim;
  test::ChildProcess prometheus;
};

TEST_F(CliMetricsLabTest, PrometheusSeesASilentSwitchGoDownAndComeBack) {
  test::ChildProcess watch;
  ASSERT_TRUE(watch.Start({SWITCHDESK_CLI_PATH, "watch", "--metrics", std::to_string(kMetricsPort)}));
  ASSERT_TRUE(StartPrometheus());
  ASSERT_TRUE(WaitForUp(kSilent, "1", std::chrono::seconds(30))) << "Prometheus never scraped the watch";

  // promtool accepts what is served, names and label values included (a name with a quote).
  const auto exposition = test::HttpBody(test::HttpGet(kLoopback, kMetricsPort, "/metrics"));
  ASSERT_TRUE(exposition);
  EXPECT_NE(exposition->find("switchdesk_monitored_switches 3\n"), std::string::npos) << *exposition;
  EXPECT_NE(exposition->find("switchdesk_switch_up{ip=\"198.18.0.10\",mac=\"020000000000\",name=\"sw\\\"0\"} 1\n"),
            std::string::npos) << *exposition;
  const auto check = test::RunProgram({"promtool", "check", "metrics"}, *exposition);
  EXPECT_EQ(check.status, 0) << check.out << check.err;

  // While the switch is silent, clients hold connections open without a word (fewer than one
  // host may hold) and others send a thousand requests, ten at a time.
  std::atomic<int> answered{0};
  std::thread hostile([&] {
    std::vector<int> silent;
    for (int i = 0; i < 50; ++i) silent.push_back(test::ConnectTcp(kLoopback, kMetricsPort));
    std::vector<std::thread> burst;
    for (int t = 0; t < 10; ++t) {
      burst.emplace_back([&] {
        for (int i = 0; i < 100; ++i) {
          if (test::HttpBody(test::HttpGet(kLoopback, kMetricsPort, "/metrics", std::chrono::seconds(5)))) ++answered;
        }
      });
    }
    for (auto& b : burst) b.join();
    for (int fd : silent) {
      if (fd >= 0) ::close(fd);
    }
  });
  ASSERT_TRUE(sim.WriteLine("silence " + kSilent));
  const auto down = WaitForUp(kSilent, "0", std::chrono::seconds(90));
  hostile.join();
  ASSERT_TRUE(down) << "switchdesk_switch_up never went to 0";
  EXPECT_EQ(answered.load(), 1000);
  // The other switches stayed up all along.
  for (int i = 0; i < kSwitches; ++i) {
    if (test::LabSwitchIp(i) != kSilent) {
      EXPECT_EQ(UpInPrometheus(test::LabSwitchIp(i)), "1") << test::LabSwitchIp(i);
    }
  }

  ASSERT_TRUE(sim.WriteLine("resume " + kSilent));
  ASSERT_TRUE(WaitForUp(kSilent, "1", std::chrono::seconds(60))) << "switchdesk_switch_up never came back to 1";

  // The watch printed the verdict and the recovery of the silent switch only, once each, and
  // the log holds only its not-alive lines: nothing the HTTP clients did shows anywhere.
  ASSERT_TRUE(watch.Signal(SIGTERM));
  std::vector<std::string> lines;
  while (auto line = watch.ReadLine(std::chrono::seconds(10))) lines.push_back(*line);
  EXPECT_EQ(watch.Stop(std::chrono::seconds(10)), 0);
  ASSERT_EQ(lines.size(), 2u) << (lines.empty() ? "" : lines.front());
  const std::string stamp = R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(stamp + R"( 198\.18\.0\.12 Not alive)"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + R"( 198\.18\.0\.12 Recovered)"))) << lines[1];
  const std::string log = Log();
  EXPECT_TRUE(std::regex_match(log, std::regex("(" + stamp + R"( 198\.18\.0\.12 Not alive \r\n)+)"))) << log;

  // The counters went on through it all: every switch was polled and answered.
  const auto last = test::HttpBody(test::HttpGet(kLoopback, kPrometheusPort,
                                                 "/api/v1/query?query=switchdesk_switch_replies_total"));
  ASSERT_TRUE(last);
  const auto json = test::ParseJson(*last);
  ASSERT_TRUE(json && json->Find("data") && json->Find("data")->Find("result")) << *last;
  const auto& series = json->Find("data")->Find("result")->array;
  EXPECT_EQ(series.size(), static_cast<std::size_t>(kSwitches)) << *last;
  for (const auto& s : series) {
    const test::Json* value = s.Find("value");
    ASSERT_TRUE(value && value->array.size() == 2) << *last;
    EXPECT_GT(std::stoi(value->array[1].string), 0) << *last;
  }
}

}  // namespace
}  // namespace sd
