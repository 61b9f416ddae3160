// SPDX-License-Identifier: GPL-3.0-or-later
// switchdesk-cli's device commands end to end in the lab: the real program in the manager
// namespace against the switch simulator. set moves switches (discovered and monitored) and is
// refused with the switch's "Password error."; password changes the password; dhcp-refresh
// succeeds or fails with the switch's result 6; upgrade uploads an image byte for byte and waits
// for the reboot, or fails on the switch's TFTP ERROR. Passwords come from variables only.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <random>

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

// Every switch has a gateway, so that a set that changes one field passes the dialog's checks.
std::string Switch(int last_octet, const std::string& more = "") {
  char mac[3];
  std::snprintf(mac, sizeof mac, "%02d", last_octet);
  return "ip=198.18.0." + std::to_string(last_octet) + ",mac=02:00:00:00:00:" + mac +
         ",iface=3,gateway=198.18.0.254,password=admin" + more;
}

class CliOperationsLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    dir.Write("define.ecf", MakeSealedSettings(kLabSettings));
    ::setenv("SD_LAB_PASSWORD", "admin", 1);
    ::setenv("SD_LAB_WRONG", "admim", 1);
    ::setenv("SD_LAB_NEW", "n3w-secret", 1);
    ASSERT_TRUE(test::StartLabSimulator(
        sim, {Switch(10), Switch(11), Switch(12), Switch(13), Switch(14, ",dhcp=on,lease=198.18.0.24"),
              Switch(15, ",dhcp=on,refresh=fail"), Switch(16, ",reboot=500,image=" + dir.File("received.bin")),
              Switch(17, ",tftperror=3,tftperrortext=Flash write error")}));
  }
  void TearDown() override { sim.Stop(); }

  // The program with a short discovery; a password from a variable unless the command line has
  // its own source.
  test::ProgramResult Cli(std::vector<std::string> args, bool password = true) {
    args.insert(args.begin(), SWITCHDESK_CLI_PATH);
    args.insert(args.end(), {"--wait", "1"});
    if (password) args.insert(args.end(), {"--password-env", "SD_LAB_PASSWORD"});
    return test::RunProgram(args, "", std::chrono::seconds(80));
  }
  // The switch's row in a fresh discovery (by MAC), as JSON; nothing when it did not answer.
  std::optional<test::Json> Discovered(const std::string& mac) {
    const auto r = test::RunProgram({SWITCHDESK_CLI_PATH, "discover", "--json", "--wait", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto parsed = test::ParseJson(r.out);
    if (!parsed) return std::nullopt;
    for (const auto& object : parsed->array) {
      if (object.Text("MAC Address") == mac) return object;
    }
    return std::nullopt;
  }

  test::TempConfigDir dir;
  test::ChildProcess sim;
};

TEST_F(CliOperationsLabTest, SetMovesADiscoveredAndAMonitoredSwitchToTheirNewAddresses) {
  const auto moved = Cli({"set", "198.18.0.10", "--ip", "198.18.0.20", "--name", "moved"});
  EXPECT_EQ(moved.status, 0) << moved.err;
  EXPECT_EQ(moved.err, "Information: Set successful\n");
  const auto row = Discovered("020000000010");
  ASSERT_TRUE(row);
  EXPECT_EQ(row->Text("IP Address"), "198.18.0.20");
  EXPECT_EQ(row->Text("System Name"), "moved");
  EXPECT_EQ(row->Text("Gateway"), "198.18.0.254");  // unchanged fields keep what the switch had

  // A monitored switch is addressed by unicast; its row follows it into monitor.cfg.
  ASSERT_EQ(test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "add", "198.18.0.11"}).status, 0);
  const auto monitored = Cli({"set", "02:00:00:00:00:11", "--ip", "198.18.0.21", "--trap", "198.18.0.1"});
  EXPECT_EQ(monitored.status, 0) << monitored.err;
  EXPECT_EQ(monitored.err, "Information: Set successful\n");
  const auto list = test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "list", "--json"});
  const auto parsed = test::ParseJson(list.out);
  ASSERT_TRUE(parsed) << list.out;
  ASSERT_EQ(parsed->array.size(), 1u);
  EXPECT_EQ(parsed->array[0].Text("IP Address"), "198.18.0.21");

  // A check of the dialog refuses before anything is sent.
  const auto refused = Cli({"set", "198.18.0.12", "--gateway", "198.18.1.254"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Error: Gateway and IP addresses are not in the same subnet.\n");
  EXPECT_EQ(Cli({"set", "198.18.0.99", "--name", "x"}).err, "switchdesk-cli: no switch answered at 198.18.0.99\n");
}

TEST_F(CliOperationsLabTest, AWrongPasswordIsTheSwitchsPasswordErrorAndAFailure) {
  const auto wrong = Cli({"set", "198.18.0.12", "--name", "x", "--password-env", "SD_LAB_WRONG"}, false);
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, "Error: Password error.\n");
  EXPECT_EQ(Discovered("020000000012")->Text("System Name"), "switch-12");

  // No password source and no terminal to ask at: nothing is sent.
  const auto none = Cli({"set", "198.18.0.12", "--name", "x"}, false);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("there is no terminal to ask for the password at"), std::string::npos) << none.err;
}

TEST_F(CliOperationsLabTest, APasswordChangeTakesEffectAndTheOldPasswordIsRefusedAfterwards) {
  const auto changed = Cli({"password", "198.18.0.13", "--new-password-env", "SD_LAB_NEW"});
  EXPECT_EQ(changed.status, 0) << changed.err;
  EXPECT_EQ(changed.err, "Information: Set successful\n");
  EXPECT_EQ(changed.out.find("n3w"), std::string::npos);

  const auto old = Cli({"set", "198.18.0.13", "--name", "after"});
  EXPECT_EQ(old.status, 1);
  EXPECT_EQ(old.err, "Error: Password error.\n");
  const auto fresh = Cli({"set", "198.18.0.13", "--name", "after", "--password-env", "SD_LAB_NEW"}, false);
  EXPECT_EQ(fresh.status, 0) << fresh.err;
}

TEST_F(CliOperationsLabTest, DhcpRefreshSucceedsOrFailsWithTheSwitchsResult) {
  const auto renewed = Cli({"dhcp-refresh", "020000000014"});
  EXPECT_EQ(renewed.status, 0) << renewed.err;
  EXPECT_EQ(renewed.err, "Information: Set successful\n");
  EXPECT_EQ(Discovered("020000000014")->Text("IP Address"), "198.18.0.24");

  const auto failed = Cli({"dhcp-refresh", "198.18.0.15"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "Error: Dhcp refresh fail\n");

  // The launcher's own refusal: a switch without DHCP.
  const auto no_dhcp = Cli({"dhcp-refresh", "198.18.0.12"});
  EXPECT_EQ(no_dhcp.status, 1);
  EXPECT_EQ(no_dhcp.err, "Error: The selected device does not use DHCP.\n");
}

TEST_F(CliOperationsLabTest, UpgradeUploadsTheImageByteForByteAndWaitsForTheReboot) {
  std::mt19937 random(16);
  std::vector<std::uint8_t> image(70000);
  for (auto& b : image) b = static_cast<std::uint8_t>(random());
  dir.Write("firmware.hex", image);

  const auto upgraded = Cli({"upgrade", "198.18.0.16", dir.File("firmware.hex")});
  EXPECT_EQ(upgraded.status, 0) << upgraded.err;
  EXPECT_EQ(upgraded.err, "Information: Firmware upgrade successful.\n");
  EXPECT_EQ(dir.Read("received.bin"), image);
  // Not a terminal: plain lines, a few for the blocks, and the end.
  EXPECT_EQ(upgraded.out.rfind("Upgrading 198.18.0.16 (020000000016) with " + dir.File("firmware.hex") +
                                   "\nWait....\nUpgrading...1024/70000 bytes\n",
                               0),
            0u)
      << upgraded.out;
  EXPECT_NE(upgraded.out.find("Complete...70000/70000 bytes\nWaiting for the switch to restart...\n"),
            std::string::npos)
      << upgraded.out;
  EXPECT_LT(std::count(upgraded.out.begin(), upgraded.out.end(), '\n'), 20);

  // The switch's TFTP ERROR ends the upgrade as a failure; a missing file is refused first.
  const auto refused = Cli({"upgrade", "198.18.0.17", dir.File("firmware.hex")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Flash write error"), std::string::npos) << refused.err;
  const auto missing = Cli({"upgrade", "198.18.0.17", dir.File("none.hex")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error: Firmware file not found\n");
}

}  // namespace
}  // namespace sd
