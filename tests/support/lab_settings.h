// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the lab's manager and simulator agree on, for the lab tests and benchmarks that run the
// real programs: the manager's define.ecf text and the simulator's command in the switch
// namespace. Free of GoogleTest, so the benchmarks take it too.

#include <string>
#include <vector>

namespace sd::test {

// define.ecf of the manager in the lab, before sealing: manager 01945AE0, base port 50000, group
// 239.255.100.100, IGMP reports every 125 s.
inline constexpr const char* kLabDefineEcfText =
    "manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\nmulticast_interface_on_off=1\n"
    "multicast_timer_flag=1\nstrlen_multi_timer=3\nmulticast_timer=125\n";

// The simulator in namespace `ns` with the lab's ports, manager identifier and group, traps to
// `manager`; the switches' --switch arguments follow.
inline std::vector<std::string> LabSimulatorCommand(const std::string& ns, const std::string& simulator,
                                                    const std::string& manager = "198.18.0.1") {
  return {"ip", "netns", "exec", ns, simulator, "--agent-port", "50002", "--manager-port", "50001",
          "--manager-id", "01945AE0", "--group", "239.255.100.100", "--manager", manager};
}

}  // namespace sd::test
