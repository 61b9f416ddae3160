// SPDX-License-Identifier: GPL-3.0-or-later
// switchdesk-cli on a manager with two cards (tools/lab/lab.sh run --link-b): discover finds the
// switches of both links and names the card of each, --interface keeps it to one card, and when
// a firewall in the manager's namespace drops the replies it says so; the shipped firewalld
// service's ports let them in.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/json.h"
#include "support/lab.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

constexpr const char* kLabSettings =
    "manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\nmulticast_interface_on_off=1\n"
    "multicast_timer_flag=1\nstrlen_multi_timer=3\nmulticast_timer=125\n";

// nft in the manager's namespace (this program runs there); the lab removes the namespace, and
// each test removes its table itself.
int Nft(const std::string& commands) {
  return test::RunProgram({"nft", commands}).status;
}

// The UDP ports of the shipped firewalld service.
std::vector<std::string> ServicePorts() {
  std::ifstream in(std::string(SWITCHDESK_SOURCE_DIR) + "/packaging/firewall/switchdesk.xml");
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  std::vector<std::string> ports;
  const std::regex port(R"re(<port\s+protocol="udp"\s+port="(\d+)"\s*/>)re");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), port); it != std::sregex_iterator(); ++it) {
    ports.push_back((*it)[1]);
  }
  return ports;
}

class CliTwoCardsLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    ASSERT_TRUE(test::LabHasLinkB()) << "run with tools/lab/lab.sh run --link-b N";
    dir.Write("define.ecf", MakeSealedSettings(kLabSettings));
    ASSERT_TRUE(test::StartLabSimulator(sim_a, {"ip=198.18.0.10,mac=02:00:00:00:00:10", "ip=198.18.0.11,mac=02:00:00:00:00:11"}));
    ASSERT_TRUE(test::StartLabSimulatorIn(sim_b, test::LabEnv("LAB_LINK_B_NS"), "198.18.1.1",
                                          {"ip=198.18.1.10,mac=02:00:00:00:01:10"}));
  }
  void TearDown() override {
    if (firewall_) Nft("delete table inet sdtest");
    sim_a.Stop();
    sim_b.Stop();
  }

  // The MAC address and card of each switch in discover --json's output.
  std::map<std::string, std::string> Discovered(const test::ProgramResult& r) {
    std::map<std::string, std::string> cards;
    const auto parsed = test::ParseJson(r.out);
    EXPECT_TRUE(parsed) << r.out;
    if (!parsed) return cards;
    for (const auto& object : parsed->array) cards[object.Text("MAC Address")] = object.Text("interface");
    return cards;
  }
  test::ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), SWITCHDESK_CLI_PATH);
    return test::RunProgram(args);
  }
  // A firewall in the manager's namespace that lets in only UDP to these ports.
  void FirewallLettingIn(const std::vector<std::string>& ports) {
    std::string rules =
        "add table inet sdtest\n"
        "add chain inet sdtest in { type filter hook input priority 0; policy accept; }\n";
    for (const auto& p : ports) rules += "add rule inet sdtest in udp dport " + p + " accept\n";
    rules += "add rule inet sdtest in ip protocol udp drop\n";
    ASSERT_EQ(Nft(rules), 0) << rules;
    firewall_ = true;
  }

  test::TempConfigDir dir;
  test::ChildProcess sim_a, sim_b;
  bool firewall_ = false;
};

TEST_F(CliTwoCardsLabTest, DiscoverFindsBothLinksAndNamesTheCardOfEach) {
  const auto r = Cli({"discover", "--json", "--wait", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::map<std::string, std::string> expected = {{"020000000010", test::LabEnv("LAB_MANAGER_IF")},
                                                       {"020000000011", test::LabEnv("LAB_MANAGER_IF")},
                                                       {"020000000110", test::LabEnv("LAB_MANAGER_B_IF")}};
  EXPECT_EQ(Discovered(r), expected);
  EXPECT_EQ(r.err, "");
}

// --interface keeps discovery to one card; --broadcast adds a directed broadcast address.
TEST_F(CliTwoCardsLabTest, OneCardChosenDiscoversOnlyItsLink) {
  const struct {
    std::string card;
    std::set<std::string> macs;
  } cases[] = {{test::LabEnv("LAB_MANAGER_B_IF"), {"020000000110"}},
               {test::LabEnv("LAB_MANAGER_IF"), {"020000000010", "020000000011"}}};
  for (const auto& c : cases) {
    const auto r = Cli({"discover", "--json", "--wait", "1", "--interface", c.card});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> macs;
    for (const auto& [mac, card] : Discovered(r)) {
      macs.insert(mac);
      EXPECT_EQ(card, c.card);
    }
    EXPECT_EQ(macs, c.macs) << c.card;
  }
  // With the broadcast and the group kept to link A's card, link B's directed broadcast address
  // still reaches its switches: a directed broadcast follows the routes, as unicast does.
  const auto directed = Cli({"discover", "--json", "--wait", "1", "--interface", test::LabEnv("LAB_MANAGER_IF"),
                             "--broadcast", "198.18.1.255"});
  ASSERT_EQ(directed.status, 0) << directed.err;
  EXPECT_EQ(Discovered(directed).size(), 3u) << directed.out;
  EXPECT_EQ(Discovered(directed)["020000000110"], test::LabEnv("LAB_MANAGER_B_IF"));

  const auto unknown = Cli({"discover", "--interface", "nosuchcard0"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("No network card nosuchcard0"), std::string::npos) << unknown.err;
}

TEST_F(CliTwoCardsLabTest, AFirewallDroppingTheRepliesIsNamedAndTheServicesPortsLetThemIn) {
  ASSERT_NO_FATAL_FAILURE(FirewallLettingIn({}));
  const auto dropped = Cli({"discover", "--wait", "1"});
  EXPECT_EQ(dropped.status, 0) << dropped.err;
  const std::string a = test::LabEnv("LAB_MANAGER_IF"), b = test::LabEnv("LAB_MANAGER_B_IF");
  EXPECT_EQ(dropped.err, "switchdesk-cli: no switch answered. The discovery went out of " + a + " (198.18.0.1), " +
                             b + " (198.18.1.1).\nA firewall that drops UDP to ports 50000, 50001 and 50006 of this "
                             "computer is the likely cause (see the README for firewalld and ufw).\n");
  ASSERT_EQ(Nft("delete table inet sdtest"), 0);
  firewall_ = false;

  const auto ports = ServicePorts();
  EXPECT_EQ(ports, (std::vector<std::string>{"50000", "50001", "50006"}));
  ASSERT_NO_FATAL_FAILURE(FirewallLettingIn(ports));
  const auto let_in = Cli({"discover", "--json", "--wait", "1"});
  ASSERT_EQ(let_in.status, 0) << let_in.err;
  EXPECT_EQ(Discovered(let_in).size(), 3u);
  EXPECT_EQ(let_in.err, "");
}

}  // namespace
}  // namespace sd
