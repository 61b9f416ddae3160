// SPDX-License-Identifier: GPL-3.0-or-later
// The whole window, measured in the lab (it opens its sockets and joins the group):
//   window_bench make-monitor-cfg PATH   writes a monitor.cfg of 256 switches (198.18.2.1 and up,
//                                        addresses no simulated switch answers for)
//   window_bench startup                 prints the milliseconds from process start to the main
//                                        window shown; the launcher passes the start time in
//                                        SWITCHDESK_BENCH_T0_NS (CLOCK_REALTIME, nanoseconds)
//   window_bench memory                  starts the simulator with one switch per address of
//                                        $LAB_SWITCH_IPS, presses "Discover", waits for every
//                                        row and prints the resident memory
// The settings folder is $SWITCHDESK_CONFIG_DIR, with define.ecf and the monitor.cfg above.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "window/main_window.h"
#include "devices/monitor_file.h"
#include "protocol/ipv4.h"
#include "settings/trap_store.h"
#include "support/child_process.h"
#include "support/devices.h"

namespace {

long long RealtimeNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// VmRSS and VmHWM of this process, in KiB.
std::string MemoryLine() {
  std::ifstream status("/proc/self/status");
  std::string line, out;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0 || line.rfind("VmHWM:", 0) == 0) out += line + "  ";
  }
  return out;
}

int MakeMonitorCfg(const char* path) {
  std::vector<sd::DeviceRecord> records;
  for (int i = 0; i < 256; ++i) {
    const std::string ip = "198.18." + std::to_string(2 + i / 255) + "." + std::to_string(i % 255 + 1);
    char mac[13];
    std::snprintf(mac, sizeof mac, "0200000b%04x", i);
    records.push_back(sd::test::Switch(mac, ip));
  }
  const auto bytes = sd::EncodeMonitorFile(records);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make-monitor-cfg" && argc > 2) return MakeMonitorCfg(argv[2]);
  if (mode != "startup" && mode != "memory") {
    std::fprintf(stderr, "usage: window_bench make-monitor-cfg PATH | startup | memory\n");
    return 2;
  }

  sd::test::ChildProcess sim;
  int switches = 0;
  if (mode == "memory") {
    const char* switch_ns = std::getenv("LAB_SWITCH_NS");
    const char* switch_ips = std::getenv("LAB_SWITCH_IPS");
    if (!switch_ns || !switch_ips) {
      std::fprintf(stderr, "window_bench: run me through tools/lab/lab.sh run\n");
      return 1;
    }
    std::vector<std::string> args = {"ip", "netns", "exec", switch_ns, SWITCHSIM_PATH, "--tftp-port", "0"};
    std::istringstream ips(switch_ips);
    for (std::string ip; ips >> ip; ++switches) {
      char mac[18];
      std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (switches >> 8) & 0xFF, switches & 0xFF);
      args.push_back("--switch");
      args.push_back("ip=" + ip + ",mac=" + mac + ",iface=3,name=sw" + std::to_string(switches));
    }
    if (!sim.Start(args) || !sim.ReadLine()) {
      std::fprintf(stderr, "window_bench: the simulator did not start\n");
      return 1;
    }
  }

  QApplication app(argc, argv);
  sd::TrapStore traps;
  sd::gui::MainWindow window(traps);
  if (!window.Initialise(sd::gui::Networking::On)) return 1;
  window.show();

  if (mode == "startup") {
    QTimer::singleShot(0, &app, [&] {
      const char* t0 = std::getenv("SWITCHDESK_BENCH_T0_NS");
      const double ms = t0 ? static_cast<double>(RealtimeNs() - std::atoll(t0)) / 1e6 : -1;
      std::printf("startup: %.1f ms to the main window shown, %d monitored switches  %s\n", ms,
                  window.Core().MonitorTable().Count(), MemoryLine().c_str());
      app.quit();
    });
    return QApplication::exec();
  }

  QTimer::singleShot(0, &app, [&] { window.ButtonOf(sd::gui::Control::Discover)->click(); });
  const auto started = std::chrono::steady_clock::now();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &app, [&] {
    const int rows = window.Core().DiscoveryTable().Count();
    const bool timed_out = std::chrono::steady_clock::now() - started > std::chrono::seconds(20);
    if (rows < switches && !timed_out) return;
    // Let the group's answers to the same discovery arrive too.
    poll.stop();
    QTimer::singleShot(1000, &app, [&, rows] {
      std::printf("memory: %d discovered, %d monitored  %s\n", rows, window.Core().MonitorTable().Count(),
                  MemoryLine().c_str());
      app.quit();
    });
  });
  poll.start(10);
  return QApplication::exec();
}
