// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For end-to-end tests run by tools/lab/lab.sh: the test program runs in the lab's manager
// namespace (198.18.0.1) and starts the switch simulator in the switch namespace, so every packet
// stays on the lab's veth pair.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/udp_socket.h"
#include "protocol/ipv4.h"
#include "settings/settings_file.h"
#include "support/child_process.h"

namespace sd::test {

inline constexpr std::uint16_t kLabBasePort = 50000;
inline constexpr std::uint32_t kLabManagerId = 0x01945AE0;
inline constexpr const char* kLabGroup = "239.255.100.100";

// Only inside the lab's manager namespace, which alone holds 198.18.0.1: nothing may be sent from
// the host's own namespace.
inline bool InsideTheLab() {
  auto probe = UdpSocket::Open();
  return std::getenv("LAB_SWITCH_NS") != nullptr && probe && probe->Bind(0, *TextToIpv4("198.18.0.1"));
}

// Skips outside the lab, unless SWITCHDESK_REQUIRE_LAB makes that a failure. Use with
// ASSERT_NO_FATAL_FAILURE and return when IsSkipped().
inline void RequireLab() {
  if (InsideTheLab()) return;
  if (std::getenv("SWITCHDESK_REQUIRE_LAB") == nullptr) GTEST_SKIP() << "run through tools/lab/lab.sh run";
  FAIL() << "SWITCHDESK_REQUIRE_LAB is set: this test must run inside the lab (tools/lab/lab.sh run)";
}

// Switch number i of the lab (0-based, lab.sh's numbering): 198.18.0.10 upward, continuing into
// 198.18.1.x; its MAC address as the simulator takes it.
inline std::string LabSwitchIp(int i) {
  const int n = 10 + i;
  return "198.18." + std::to_string(n / 256) + "." + std::to_string(n % 256);
}
inline std::string LabSwitchMac(int i) {
  char mac[18];
  std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (i >> 8) & 0xFF, i & 0xFF);
  return mac;
}

// The settings the lab's manager and simulator share.
inline void ApplyLabSettings() {
  ParsedSettings v;
  v.manager_id = kLabManagerId;
  v.base_port = kLabBasePort;
  v.multicast_group = kLabGroup;
  v.multicast_interface_on_off = 1;
  ApplySettings(v);
}

// Starts the simulator in the switch namespace with the given switch definitions; waits for its
// "ready" line. Control lines go to its standard input.
// In namespace `ns`, with `manager` as the trap receiver of switches that have none.
inline bool StartLabSimulatorIn(ChildProcess& sim, const std::string& ns, const std::string& manager,
                                const std::vector<std::string>& switches, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> argv = {"ip", "netns", "exec", ns, SWITCHSIM_PATH,
                                   "--agent-port", std::to_string(kLabBasePort + 2),
                                   "--manager-port", std::to_string(kLabBasePort + 1),
                                   "--manager-id", "01945AE0", "--group", kLabGroup,
                                   "--manager", manager};
  argv.insert(argv.end(), extra.begin(), extra.end());
  for (const auto& s : switches) {
    argv.push_back("--switch");
    argv.push_back(s);
  }
  if (!sim.Start(argv)) return false;
  const auto ready = sim.ReadLine();
  return ready && ready->rfind("ready", 0) == 0;
}

inline bool StartLabSimulator(ChildProcess& sim, const std::vector<std::string>& switches,
                              const std::vector<std::string>& extra = {}) {
  return StartLabSimulatorIn(sim, std::getenv("LAB_SWITCH_NS"), "198.18.0.1", switches, extra);
}

// A lab made with --link-b: the manager's second card and the switch namespace behind it.
inline bool LabHasLinkB() { return std::getenv("LAB_LINK_B_NS") != nullptr; }
inline std::string LabEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace sd::test
