// The switchdesk-cli program itself, without the network: help, version, usage errors and a
// monitor command on a settings folder of its own.
#include <gtest/gtest.h>

#include "devices/monitor_file.h"
#include "settings/settings_file.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

TEST(CliProgramTest, HelpForEachCommandVersionAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_starts;
    std::string err;
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage: switchdesk-cli COMMAND [OPTIONS]", ""},
      {{"discover", "--help"}, 0, "usage: switchdesk-cli discover", ""},
      {{"monitor", "add", "--help"}, 0, "usage: switchdesk-cli monitor list", ""},
      {{"watch", "-h"}, 0, "usage: switchdesk-cli watch", ""},
      {{"help", "monitor"}, 0, "usage: switchdesk-cli monitor list", ""},
      {{"--version"}, 0, "switchdesk-cli: Switchdesk Version 2.05\nProtocol Version 2.001.003\n", ""},
      {{}, 2, "", "switchdesk-cli: a command is needed\nTry: switchdesk-cli --help\n"},
      {{"watch", "--refresh", "1h"}, 2, "",
       "switchdesk-cli: --refresh takes 15s, 30s, 1m, 2m or 5m, not '1h'\nTry: switchdesk-cli watch --help\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {SWITCHDESK_CLI_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const test::ProgramResult r = test::RunProgram(argv);
    const std::string name = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(r.status, c.status) << name;
    EXPECT_EQ(r.out.rfind(c.out_starts, 0), 0u) << name << ": " << r.out;
    EXPECT_EQ(r.err, c.err) << name;
  }
}

// The program finds the settings folder through SWITCHDESK_CONFIG_DIR and leaves monitor.cfg
// as the window would save it.
TEST(CliProgramTest, MonitorCommandsWorkOnTheSettingsFolder) {
  test::TempConfigDir dir;
  dir.Write("define.ecf", MakeSealedSettings("manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\n"
                                             "multicast_interface_on_off=0\nmulticast_timer_flag=0\n"
                                             "strlen_multi_timer=3\nmulticast_timer=125\n"));
  const test::ProgramResult add = test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "add", "192.168.0.10"});
  EXPECT_EQ(add.status, 0) << add.err;
  EXPECT_EQ(dir.Read("monitor.cfg").size(), kMonitorRecordSize);

  const test::ProgramResult list = test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "list"});
  EXPECT_EQ(list.status, 0);
  // Without the group interval setting there is no "Group Interval" column.
  EXPECT_EQ(list.out,
            "S  IP Address    MAC Address  Protocol Version  Product Name  System Name  DHCP     Location  Trap IP"
            "  Subnet Mask  Gateway\n"
            "   192.168.0.10               0.000.000                                    disable\n");

  // Questions are not answered from a pipe.
  const test::ProgramResult remove = test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "remove", "192.168.0.10"}, "ok\n");
  EXPECT_EQ(remove.status, 1);
  EXPECT_EQ(remove.err, "Warning: Delete entry?\nCancel: there is no terminal to answer at; --yes answers OK.\n");
  EXPECT_EQ(dir.Read("monitor.cfg").size(), kMonitorRecordSize);
}

}  // namespace
}  // namespace sd
