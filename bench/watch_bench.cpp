// SPDX-License-Identifier: GPL-3.0-or-later
// In the lab (tools/lab/lab.sh run --aliases 258 -- watch_bench ...): the real switchdesk-cli watch
// over 256 simulated switches at the default refresh time of 15 s.
//   --mode scrape [--scrapes N]   the time of one GET /metrics, N in a row once every switch has
//                                 answered: median, 99th percentile and worst
//   --mode cpu [--minutes M] [--metrics]
//                                 the watch's processor time (user + system, from /proc) over M
//                                 minutes after a minute of settling, as a share of one core;
//                                 with --metrics it serves /metrics and is scraped every 15 s
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/lab_bench.h"
#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/http.h"
#include "support/lab_settings.h"
#include "support/run_program.h"

namespace {

using sd::bench::Clock;
using sd::bench::Median;
using sd::bench::Milliseconds;

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr std::uint16_t kMetricsPort = 9639;

int Fail(const std::string& why) { return sd::bench::Fail("watch_bench", why); }

// Processor time of a process so far, user and system, in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double utime = 0, stime = 0;
  // After the name: state (3), ... utime is field 14 and stime 15 of the whole line.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stod(field);
    if (i == 15) stime = std::stod(field);
  }
  return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::optional<std::string> Scrape() {
  return sd::test::HttpBody(sd::test::HttpGet(kLoopback, kMetricsPort, "/metrics", std::chrono::seconds(5)));
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = "scrape";
  int scrapes = 1000;
  double minutes = 10;
  bool metrics = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--metrics") metrics = true;
    if (i + 1 >= argc) continue;
    if (a == "--mode") mode = argv[i + 1];
    if (a == "--scrapes") scrapes = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--minutes") minutes = std::max(0.1, std::atof(argv[i + 1]));
  }
  if (mode == "scrape") metrics = true;
  const char* switch_ns = std::getenv("LAB_SWITCH_NS");
  const char* switch_ips = std::getenv("LAB_SWITCH_IPS");
  if (!switch_ns || !switch_ips) return Fail("run me through tools/lab/lab.sh run --aliases 258 -- ...");

  // A settings folder of its own: the lab's settings and every switch of the lab monitored.
  char folder[] = "/tmp/switchdesk-watch-bench-XXXXXX";
  if (!::mkdtemp(folder)) return Fail("no temporary folder");
  ::setenv("SWITCHDESK_CONFIG_DIR", folder, 1);
  {
    const auto settings = sd::MakeSealedSettings(sd::test::kLabDefineEcfText);
    std::ofstream(std::string(folder) + "/define.ecf", std::ios::binary)
        .write(reinterpret_cast<const char*>(settings.data()), static_cast<std::streamsize>(settings.size()));
  }
  std::vector<std::string> argv_sim = sd::test::LabSimulatorCommand(switch_ns, SWITCHSIM_PATH);
  // The lab's addresses run on past x.x.0.255 and x.x.1.0, which the Monitor List refuses as
  // host addresses: a lab of 258 gives 256 switches.
  std::istringstream ips(switch_ips);
  int switches = 0;
  for (std::string ip; switches < 256 && ips >> ip;) {
    if (ip.ends_with(".0") || ip.ends_with(".255")) continue;
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (switches >> 8) & 0xFF, switches & 0xFF);
    argv_sim.push_back("--switch");
    argv_sim.push_back("ip=" + ip + ",mac=" + mac + ",iface=3,name=bench-" + std::to_string(switches));
    const auto add = sd::test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "add", ip});
    if (add.status != 0) return Fail("monitor add " + ip + ": " + add.err);
    ++switches;
  }
  if (switches < 1) return Fail("the lab holds no switch address");
  sd::test::ChildProcess sim;
  if (!sim.Start(argv_sim)) return Fail("cannot start the simulator");
  const auto ready = sim.ReadLine();
  if (!ready || ready->rfind("ready", 0) != 0) return Fail("the simulator did not start");

  std::vector<std::string> watch_argv = {SWITCHDESK_CLI_PATH, "watch"};
  if (metrics) {
    watch_argv.push_back("--metrics");
    watch_argv.push_back(std::to_string(kMetricsPort));
  }
  sd::test::ChildProcess watch;
  if (!watch.Start(watch_argv)) return Fail("cannot start the watch");

  if (mode == "scrape") {
    // Every switch has answered once: the exposition is as long as it gets.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    std::string body;
    while (Clock::now() < deadline) {
      if (const auto b = Scrape(); b && Count(*b, "switchdesk_switch_last_reply_timestamp_seconds{") == std::size_t(switches)) {
        body = *b;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (body.empty()) return Fail("not every switch answered within 60 s");
    std::vector<double> times;
    for (int i = 0; i < scrapes; ++i) {
      const auto start = Clock::now();
      const auto b = Scrape();
      const auto took = Milliseconds(Clock::now() - start).count();
      if (!b) return Fail("a scrape failed");
      times.push_back(took);
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    std::printf("%d switches, %zu bytes, %d scrapes of /metrics: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms\n",
                switches, body.size(), scrapes, Median(times), p99, sorted.back());
  } else {
    // A minute to settle: the first polls, the membership reports and the program's start.
    std::this_thread::sleep_for(std::chrono::seconds(60));
    const double cpu_start = CpuSeconds(watch.Pid());
    const auto wall_start = Clock::now();
    const auto end = wall_start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(minutes * 60));
    int scraped = 0;
    while (Clock::now() < end) {
      if (metrics) {
        if (!Scrape()) return Fail("a scrape failed");
        ++scraped;
      }
      const Clock::time_point next = std::min<Clock::time_point>(Clock::now() + std::chrono::seconds(15), end);
      std::this_thread::sleep_until(next);
    }
    const double cpu = CpuSeconds(watch.Pid()) - cpu_start;
    const double wall = std::chrono::duration<double>(Clock::now() - wall_start).count();
    std::printf("%d switches, refresh 15 s, %s: %.2f s of processor time in %.0f s = %.3f %% of one core\n",
                switches, metrics ? ("metrics on, " + std::to_string(scraped) + " scrapes").c_str() : "metrics off",
                cpu, wall, 100.0 * cpu / wall);
  }
  watch.Signal(SIGTERM);
  const int status = watch.Stop(std::chrono::seconds(10));
  sim.Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return status == 0 ? 0 : Fail("the watch ended with status " + std::to_string(status));
}
