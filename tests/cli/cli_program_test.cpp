// SPDX-License-Identifier: GPL-3.0-or-later
// The switchdesk-cli program itself, without the network: help, version, usage errors and a
// monitor command on a settings folder of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>

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

// watch --exec refuses a program that cannot run before it opens any socket: the message, and
// nothing else (no "Watching" line).
TEST(CliProgramTest, WatchRefusesAHookThatCannotRun) {
  test::TempConfigDir dir;
  dir.Write("define.ecf", MakeSealedSettings("manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\n"
                                             "multicast_interface_on_off=0\nmulticast_timer_flag=0\n"
                                             "strlen_multi_timer=3\nmulticast_timer=125\n"));
  ASSERT_EQ(test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "add", "192.0.2.10"}).status, 0);
  std::ofstream(dir.File("plain.sh")) << "#!/bin/sh\n";
  const std::pair<std::string, std::string> cases[] = {
      {dir.File("missing"), "Error: --exec " + dir.File("missing") + ": No such file or directory.\n"},
      {dir.Path(), "Error: --exec " + dir.Path() + ": not a file.\n"},
      {dir.File("plain.sh"), "Error: --exec " + dir.File("plain.sh") + ": not executable (Permission denied).\n"},
  };
  for (const auto& [program, err] : cases) {
    const test::ProgramResult r = test::RunProgram({SWITCHDESK_CLI_PATH, "watch", "--exec", program});
    EXPECT_EQ(r.status, 1) << program;
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.out, "");
  }
}

// The program laid out as a package installs it (bin/switchdesk-cli, share/switchdesk/define.ecf)
// in a folder of its own: without cfg/ beside it, the first start makes the per-user folder from
// the installed default and every command uses it; a writable cfg/ beside the program is used
// as it is; SWITCHDESK_CONFIG_DIR overrides both.
TEST(CliProgramTest, AnInstalledProgramUsesThePerUserFolderMadeFromTheInstalledDefault) {
  namespace fs = std::filesystem;
  test::TempConfigDir scratch;  // only a temporary root here; the override is taken off below
  const fs::path root = scratch.Path();
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share" / "switchdesk");
  fs::create_directories(root / "home");
  fs::copy_file(SWITCHDESK_CLI_PATH, root / "bin" / "switchdesk-cli");
  const fs::path build_cfg = fs::path(SWITCHDESK_CLI_PATH).parent_path() / "cfg" / "define.ecf";
  fs::copy_file(build_cfg, root / "share" / "switchdesk" / "define.ecf");
  const std::string program = (root / "bin" / "switchdesk-cli").string();
  const auto run = [&](std::vector<std::string> env, std::vector<std::string> args) {
    std::vector<std::string> argv = {"env", "-u", "SWITCHDESK_CONFIG_DIR", "-u", "XDG_CONFIG_HOME",
                                     "HOME=" + (root / "home").string()};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProgram(argv);
  };
  const fs::path per_user = root / "home" / ".config" / "switchdesk";

  const test::ProgramResult version = run({}, {"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_NE(version.out.find("\nSettings folder: " + per_user.string() + " (per user)\n"), std::string::npos)
      << version.out;
  std::ifstream made(per_user / "define.ecf", std::ios::binary), shipped(build_cfg, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(made), {}),
            std::string(std::istreambuf_iterator<char>(shipped), {}));

  const test::ProgramResult add = run({}, {"monitor", "add", "192.168.0.10"});
  EXPECT_EQ(add.status, 0) << add.err;
  EXPECT_EQ(fs::file_size(per_user / "monitor.cfg"), kMonitorRecordSize);

  const struct {
    std::vector<std::string> env;
    bool cfg_beside;
    std::string line;
  } cases[] = {
      {{"XDG_CONFIG_HOME=" + (root / "xdg").string()}, false,
       "Settings folder: " + (root / "xdg" / "switchdesk").string() + " (per user)"},
      {{}, true, "Settings folder: " + (root / "bin" / "cfg").string() + " (beside the program)"},
      {{"SWITCHDESK_CONFIG_DIR=/somewhere"}, true, "Settings folder: /somewhere (set by SWITCHDESK_CONFIG_DIR)"},
  };
  for (const auto& c : cases) {
    if (c.cfg_beside) fs::create_directories(root / "bin" / "cfg");
    const test::ProgramResult r = run(c.env, {"--version"});
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
  }
  EXPECT_TRUE(fs::exists(root / "xdg" / "switchdesk" / "define.ecf"));
  EXPECT_TRUE(fs::is_empty(root / "bin" / "cfg")) << "a cfg/ beside the program is used as it is";
  EXPECT_FALSE(fs::exists("/somewhere"));
}

// A service's folder, named by SWITCHDESK_CONFIG_DIR and not there at first: used as it is, it
// holds no settings and a command refuses; with --seed-settings, monitor import (or watch) makes
// it from the installed default first, and never touches a define.ecf it already has.
TEST(CliProgramTest, SeedSettingsGivesAnOverrideFolderTheInstalledDefaultOnlyWhenAsked) {
  namespace fs = std::filesystem;
  test::TempConfigDir scratch;
  const fs::path root = scratch.Path();
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share" / "switchdesk");
  fs::copy_file(SWITCHDESK_CLI_PATH, root / "bin" / "switchdesk-cli");
  const fs::path build_cfg = fs::path(SWITCHDESK_CLI_PATH).parent_path() / "cfg" / "define.ecf";
  fs::copy_file(build_cfg, root / "share" / "switchdesk" / "define.ecf");
  const std::vector<std::uint8_t> one_switch = [] {
    DeviceRecord r = ZeroRecord();
    SetIp(r, 0xC0A8000A);
    return EncodeMonitorFile(std::span<const DeviceRecord>(&r, 1));
  }();
  scratch.Write("saved.cfg", one_switch);
  const fs::path folder = root / "var" / "lib" / "private" / "switchdesk";
  const auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = {"env", "SWITCHDESK_CONFIG_DIR=" + folder.string(), (root / "bin" / "switchdesk-cli").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProgram(argv);
  };

  const test::ProgramResult plain = run({"monitor", "import", scratch.File("saved.cfg")});
  EXPECT_EQ(plain.status, 1);
  EXPECT_FALSE(fs::exists(folder)) << "an override is used as it is";

  const test::ProgramResult seeded = run({"monitor", "import", "--seed-settings", scratch.File("saved.cfg")});
  EXPECT_EQ(seeded.status, 0) << seeded.err;
  std::ifstream made(folder / "define.ecf", std::ios::binary), shipped(build_cfg, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(made), {}),
            std::string(std::istreambuf_iterator<char>(shipped), {}));
  EXPECT_EQ(fs::file_size(folder / "monitor.cfg"), kMonitorRecordSize);
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);

  // A define.ecf of its own stays; the watch of an empty list stops before any socket opens.
  { std::ofstream(folder / "define.ecf", std::ios::binary | std::ios::trunc) << "own"; }
  fs::remove(folder / "monitor.cfg");
  const test::ProgramResult watch = run({"watch", "--seed-settings"});
  EXPECT_EQ(watch.status, 1);
  std::ifstream own(folder / "define.ecf", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(own), {}), "own");

  // Without the installed default there is nothing to seed from, and the command says so.
  fs::remove(root / "share" / "switchdesk" / "define.ecf");
  fs::remove_all(folder);
  const test::ProgramResult missing = run({"monitor", "import", "--seed-settings", scratch.File("saved.cfg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("could not be given the installed define.ecf"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace sd
