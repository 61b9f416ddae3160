// SPDX-License-Identifier: GPL-3.0-or-later
// In the lab with a two-card manager (tools/lab/lab.sh run --aliases 128 --link-b 128 --
// two_links_latency): the time from a discovery's requests to the last Discovery List row with
// 128 simulated switches on each link, against 256 switches on link A alone (the cards limited to
// link A, as on a PC with one card), in one run. For the second case 128 more addresses
// (198.18.2.10 and up) are added to link A's switch side. The manager side is the program's core
// over real sockets, as in discovery_latency. Prints one line per discovery and the medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/network_engine.h"
#include "net/event_loop.h"
#include "settings/trap_store.h"
#include "support/child_process.h"
#include "support/main_dialog.h"
#include "bench/lab_bench.h"
#include "support/run_program.h"

namespace {

using sd::bench::Clock;
using sd::bench::Median;
using sd::bench::Milliseconds;
using sd::bench::NoIndicator;

int Fail(const std::string& why) { return sd::bench::Fail("two_links_latency", why); }

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// A simulator in namespace `ns` with switches at `ips`, their MAC addresses numbered from `first`.
bool StartSimulator(sd::test::ChildProcess& sim, const std::string& ns, const std::string& manager,
                    const std::vector<std::string>& ips, int first) {
  std::vector<std::string> argv = {"ip", "netns", "exec", ns, SWITCHSIM_PATH, "--agent-port", "50002",
                                   "--manager-port", "50001", "--manager-id", "01945AE0",
                                   "--group", "239.255.100.100", "--manager", manager};
  for (std::size_t i = 0; i < ips.size(); ++i) {
    const int n = first + static_cast<int>(i);
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (n >> 8) & 0xFF, n & 0xFF);
    argv.push_back("--switch");
    argv.push_back("ip=" + ips[i] + ",mac=" + mac + ",iface=3,interval=125,dhcp=on");
  }
  if (!sim.Start(argv)) return false;
  const auto ready = sim.ReadLine();
  return ready && ready->rfind("ready", 0) == 0;
}

std::vector<std::string> Block(const std::string& prefix, int count) {
  std::vector<std::string> ips;
  for (int i = 0; i < count; ++i) ips.push_back(prefix + std::to_string(10 + i));
  return ips;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  const std::string ns_a = Env("LAB_SWITCH_NS"), ns_b = Env("LAB_LINK_B_NS"), if_a = Env("LAB_SWITCH_IF");
  const std::string card_a = Env("LAB_MANAGER_IF");
  if (ns_a.empty() || ns_b.empty()) return Fail("run me through tools/lab/lab.sh run --aliases 128 --link-b 128 -- ...");
  constexpr int kPerLink = 128;

  sd::test::MainDialogFixture f;  // settings: manager 01945AE0, base port 50000, group 239.255.100.100
  sd::EventLoop loop;
  sd::TrapStore traps;
  NoIndicator indicator;
  sd::NetworkEngine engine(f.dlg.Lists(), f.messages, indicator, loop, traps);
  if (!engine.CreateSocketSet()) return Fail("no multicast socket");
  for (const auto& w : engine.SocketWatches()) {
    loop.WatchReadable(w.fd, [&engine, s = w.socket] { engine.ReceiveDatagram(*s); });
  }

  // Discovers `runs` times; the times from the requests to the last of `switches` rows.
  auto measure = [&](const char* label, int switches, std::vector<double>& from_send) {
    for (int run = 0; run < runs; ++run) {
      loop.RunFor(std::chrono::milliseconds(500));  // the last run's late answers
      engine.OnDiscover();
      Clock::time_point sent_at{};
      const bool full = loop.RunUntil(
          [&] {
            if (sent_at == Clock::time_point{} && !engine.DiscoveryPending()) sent_at = Clock::now();
            return sent_at != Clock::time_point{} && f.discovery_list.RowCount() == switches;
          },
          std::chrono::seconds(5));
      if (!full) {
        std::printf("%s, run %d: only %d rows after 5 s\n", label, run + 1, f.discovery_list.RowCount());
        return false;
      }
      from_send.push_back(Milliseconds(Clock::now() - sent_at).count());
      std::printf("%s, run %2d: requests sent -> row %d: %7.2f ms\n", label, run + 1, switches, from_send.back());
    }
    return true;
  };

  std::vector<double> two_links, one_link;
  {
    sd::test::ChildProcess sim_a, sim_b;
    if (!StartSimulator(sim_a, ns_a, "198.18.0.1", Block("198.18.0.", kPerLink), 0) ||
        !StartSimulator(sim_b, ns_b, "198.18.1.1", Block("198.18.1.", kPerLink), kPerLink)) {
      return Fail("cannot start the simulators");
    }
    if (!measure("128 on each of two links", 2 * kPerLink, two_links)) return 1;
    sim_a.Stop();
    sim_b.Stop();
  }
  {
    // 256 on link A: its 128 addresses and 128 more in 198.18.2.0/24 on the same wire.
    for (const auto& ip : Block("198.18.2.", kPerLink)) {
      if (sd::test::RunProgram({"ip", "-n", ns_a, "addr", "add", ip + "/24", "dev", if_a}).status != 0) {
        return Fail("cannot add " + ip + " to link A's switch side");
      }
    }
    std::vector<std::string> ips = Block("198.18.0.", kPerLink);
    const auto more = Block("198.18.2.", kPerLink);
    ips.insert(ips.end(), more.begin(), more.end());
    sd::test::ChildProcess sim;
    if (!StartSimulator(sim, ns_a, "198.18.0.1", ips, 0)) return Fail("cannot start the simulator");
    engine.Sockets().ChooseInterface(card_a);
    if (!measure("256 on link A alone", 2 * kPerLink, one_link)) return 1;
    sim.Stop();
  }
  if (!f.messages.shown.empty()) std::printf("message shown: %s\n", f.messages.shown[0].text.c_str());
  std::printf("discovery, requests sent -> last row: 128 switches on each of two links: median %.2f ms "
              "(min %.2f, max %.2f); 256 switches on one link: median %.2f ms (min %.2f, max %.2f)\n",
              Median(two_links), *std::min_element(two_links.begin(), two_links.end()),
              *std::max_element(two_links.begin(), two_links.end()), Median(one_link),
              *std::min_element(one_link.begin(), one_link.end()), *std::max_element(one_link.begin(), one_link.end()));
  loop.UnwatchAll();
  return f.messages.shown.empty() ? 0 : 1;
}
