// SPDX-License-Identifier: GPL-3.0-or-later
// In the lab (tools/lab/lab.sh run --aliases 256 -- discovery_latency): the time from a
// discovery's requests to the 256th Discovery List row, with 256 simulated switches answering
// over real sockets. The manager side is the program's core: the network engine, its event loop
// and the device lists over in-memory list controls. Prints one line per run and a summary.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/network_engine.h"
#include "net/event_loop.h"
#include "settings/trap_store.h"
#include "support/child_process.h"
#include "support/lab_settings.h"
#include "support/main_dialog.h"
#include "bench/lab_bench.h"

namespace {

using sd::bench::Clock;
using sd::bench::Median;
using sd::bench::Milliseconds;
using sd::bench::NoIndicator;

int Fail(const std::string& why) { return sd::bench::Fail("discovery_latency", why); }

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  const char* switch_ns = std::getenv("LAB_SWITCH_NS");
  const char* switch_ips = std::getenv("LAB_SWITCH_IPS");
  if (!switch_ns || !switch_ips) return Fail("run me through tools/lab/lab.sh run --aliases 256 -- ...");

  sd::test::MainDialogFixture f;  // settings: manager 01945AE0, base port 50000, group 239.255.100.100
  std::vector<std::string> argv_sim = sd::test::LabSimulatorCommand(switch_ns, SWITCHSIM_PATH);
  std::istringstream ips(switch_ips);
  int switches = 0;
  for (std::string ip; ips >> ip; ++switches) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (switches >> 8) & 0xFF, switches & 0xFF);
    argv_sim.push_back("--switch");
    argv_sim.push_back("ip=" + ip + ",mac=" + mac + ",iface=3,interval=125,dhcp=on");
  }
  if (switches < 1 || switches > 256) return Fail("the lab must hold 1 to 256 switch addresses");
  sd::test::ChildProcess sim;
  if (!sim.Start(argv_sim)) return Fail("cannot start the simulator");
  const auto ready = sim.ReadLine();
  if (!ready || ready->rfind("ready", 0) != 0) return Fail("the simulator did not start");

  sd::EventLoop loop;
  sd::TrapStore traps;
  NoIndicator indicator;
  sd::NetworkEngine engine(f.dlg.Lists(), f.messages, indicator, loop, traps);
  if (!engine.CreateSocketSet()) return Fail("no multicast socket");
  for (const auto& w : engine.SocketWatches()) {
    loop.WatchReadable(w.fd, [&engine, s = w.socket] { engine.ReceiveDatagram(*s); });
  }

  std::printf("%d switches, %d runs\n", switches, runs);
  std::vector<double> from_send, from_discover;
  for (int run = 0; run < runs; ++run) {
    loop.RunFor(std::chrono::milliseconds(500));  // the last run's late answers
    const auto discover_at = Clock::now();
    engine.OnDiscover();
    Clock::time_point sent_at{};
    // Checked after every event: the first check after the requests went out notes the time.
    const bool full = loop.RunUntil(
        [&] {
          if (sent_at == Clock::time_point{} && !engine.DiscoveryPending()) sent_at = Clock::now();
          return sent_at != Clock::time_point{} && f.discovery_list.RowCount() == switches;
        },
        std::chrono::seconds(5));
    const auto full_at = Clock::now();
    if (!full) {
      std::printf("run %d: only %d rows after 5 s\n", run + 1, f.discovery_list.RowCount());
      return 1;
    }
    from_send.push_back(Milliseconds(full_at - sent_at).count());
    from_discover.push_back(Milliseconds(full_at - discover_at).count());
    std::printf("run %2d: requests sent -> row %d: %7.2f ms   (Discover -> row %d: %7.2f ms)\n", run + 1, switches,
                from_send.back(), switches, from_discover.back());
  }
  if (!f.messages.shown.empty()) std::printf("message shown: %s\n", f.messages.shown[0].text.c_str());
  std::printf("discovery of %d switches, requests sent -> last row: median %.2f ms, min %.2f ms, max %.2f ms\n",
              switches, Median(from_send), *std::min_element(from_send.begin(), from_send.end()),
              *std::max_element(from_send.begin(), from_send.end()));
  std::printf("discovery of %d switches, Discover -> last row (500 ms membership renewal included): median %.2f ms\n",
              switches, Median(from_discover));
  loop.UnwatchAll();
  sim.Stop();
  return f.messages.shown.empty() ? 0 : 1;
}
