// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include "app/startup.h"

#include "support/temp_dir.h"

namespace sd::cli {
namespace {

using namespace std::chrono_literals;

CommandLine Make(CommandKind kind) {
  CommandLine c;
  c.kind = kind;
  return c;
}

TEST(CommandLineTest, AcceptedCommandLines) {
  struct Case {
    std::vector<std::string> args;
    CommandLine expected;
  };
  CommandLine discover_json = Make(CommandKind::Discover);
  discover_json.json = true;
  discover_json.wait = 1500ms;
  CommandLine discover_wait = Make(CommandKind::Discover);
  discover_wait.wait = 10s;
  CommandLine discover_cards = Make(CommandKind::Discover);
  discover_cards.interface_name = "eth1";
  discover_cards.directed_broadcasts = {0xC00002FF, 0xC6120BFF};
  CommandLine watch_card = Make(CommandKind::Watch);
  watch_card.interface_name = "wlan0";
  CommandLine list_json = Make(CommandKind::MonitorList);
  list_json.json = true;
  CommandLine add = Make(CommandKind::MonitorAdd);
  add.addresses = {0xC0A8000A};
  CommandLine add_blanks = Make(CommandKind::MonitorAdd);
  add_blanks.addresses = {0x0A000005};
  CommandLine remove = Make(CommandKind::MonitorRemove);
  remove.addresses = {0xC0A8000A, 0xC0A8000B};
  remove.yes = true;
  CommandLine import = Make(CommandKind::MonitorImport);
  import.file = "-saved.cfg";
  CommandLine exported = Make(CommandKind::MonitorExport);
  exported.file = "out.cfg";
  exported.yes = true;
  CommandLine watch = Make(CommandKind::Watch);
  watch.refresh_seconds = 120;
  watch.json = true;
  CommandLine watch_default = Make(CommandKind::Watch);
  CommandLine watch_metrics = Make(CommandKind::Watch);
  watch_metrics.metrics = MetricsAddress{0x7F000001, 9639};
  CommandLine watch_metrics_anywhere = Make(CommandKind::Watch);
  watch_metrics_anywhere.metrics = MetricsAddress{0, 80};
  CommandLine watch_metrics_lan = Make(CommandKind::Watch);
  watch_metrics_lan.metrics = MetricsAddress{0xC612000A, 65535};
  CommandLine watch_hook = Make(CommandKind::Watch);
  watch_hook.exec_program = "/usr/local/bin/page me";
  CommandLine watch_hook_limit = watch_hook;
  watch_hook_limit.exec_timeout = 2500ms;
  CommandLine watch_seeded = Make(CommandKind::Watch);
  watch_seeded.seed_settings = true;
  CommandLine import_seeded = Make(CommandKind::MonitorImport);
  import_seeded.file = "saved.cfg";
  import_seeded.seed_settings = true;
  CommandLine help_watch;
  help_watch.help_topic = "watch";
  CommandLine help_monitor;
  help_monitor.help_topic = "monitor";

  const Case cases[] = {
      {{"discover", "--json", "--wait", "1.5"}, discover_json},
      {{"discover", "--wait=10"}, discover_wait},
      {{"discover", "--interface", "eth1", "--broadcast", "192.0.2.255", "--broadcast=198.18.11.255"}, discover_cards},
      {{"watch", "--interface=wlan0"}, watch_card},
      {{"monitor", "list", "--json"}, list_json},
      {{"monitor", "add", "192.168.0.10"}, add},
      {{"monitor", "add", "10...5"}, add_blanks},  // blank fields read as 0, as in the dialog
      {{"monitor", "remove", "192.168.0.10", "-y", "192.168.000.011"}, remove},
      {{"monitor", "import", "--", "-saved.cfg"}, import},
      {{"monitor", "export", "--yes", "out.cfg"}, exported},
      {{"watch", "--refresh", "2m", "--json"}, watch},
      {{"watch"}, watch_default},
      {{"watch", "--metrics", "127.0.0.1:9639"}, watch_metrics},
      {{"watch", "--metrics=:9639"}, watch_metrics},
      {{"watch", "--metrics", "9639"}, watch_metrics},
      {{"watch", "--metrics", "0.0.0.0:80"}, watch_metrics_anywhere},
      {{"watch", "--metrics", "198.18.0.10:65535"}, watch_metrics_lan},
      {{"watch", "--exec", "/usr/local/bin/page me"}, watch_hook},
      {{"watch", "--exec-timeout=2.5", "--exec", "/usr/local/bin/page me"}, watch_hook_limit},
      {{"watch", "--seed-settings"}, watch_seeded},
      {{"monitor", "import", "--seed-settings", "saved.cfg"}, import_seeded},
      {{"watch", "--refresh", "15s", "--help"}, help_watch},
      {{"help", "watch"}, help_watch},
      {{"monitor", "--help"}, help_monitor},
      {{"monitor", "remove", "-h"}, help_monitor},
      {{"--help"}, CommandLine{}},
      {{"--version"}, Make(CommandKind::Version)},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    ASSERT_TRUE(r.command) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "") << ": " << r.error;
    EXPECT_EQ(*r.command, c.expected) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
  }
}

TEST(CommandLineTest, RefusedCommandLinesNameTheProblemAndTheHelpThatFits) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
    std::string topic;
  };
  const Case cases[] = {
      {{}, "a command is needed", ""},
      {{"discovr"}, "no command 'discovr'", ""},
      {{"discover", "--yes"}, "unknown option --yes", "discover"},
      {{"discover", "--wait"}, "--wait needs a value", "discover"},
      {{"discover", "--wait", "0"}, "--wait takes a number of seconds above 0 and up to 600, not '0'", "discover"},
      {{"discover", "--wait", "-1"}, "--wait takes a number of seconds above 0 and up to 600, not '-1'", "discover"},
      {{"discover", "--wait", "601"}, "--wait takes a number of seconds above 0 and up to 600, not '601'", "discover"},
      {{"discover", "--json=yes"}, "--json takes no value", "discover"},
      {{"discover", "extra"}, "unexpected argument 'extra'", "discover"},
      {{"discover", "--interface", ""}, "--interface takes a network card's name, such as eth0", "discover"},
      {{"discover", "--interface", "a-name-of-16-chr"}, "--interface takes a network card's name, such as eth0", "discover"},
      {{"discover", "--broadcast", "192.0.2"}, "--broadcast takes an IP address (a.b.c.d), not '192.0.2'", "discover"},
      {{"discover", "--broadcast", "0.0.0.0"}, "--broadcast takes an IP address (a.b.c.d), not '0.0.0.0'", "discover"},
      {{"monitor", "list", "--interface", "eth0"}, "unknown option --interface", "monitor"},
      {{"monitor"}, "monitor needs list, add, remove, import or export", "monitor"},
      {{"monitor", "delete", "1.2.3.4"}, "no monitor command 'delete'", "monitor"},
      {{"monitor", "add"}, "monitor add takes one ADDRESS", "monitor"},
      {{"monitor", "add", "1.2.3.4", "1.2.3.5"}, "monitor add takes one ADDRESS", "monitor"},
      {{"monitor", "add", "1.2.3.256"}, "'1.2.3.256' is not an IP address (a.b.c.d, each 0 to 255)", "monitor"},
      {{"monitor", "add", "1.2.3"}, "'1.2.3' is not an IP address (a.b.c.d, each 0 to 255)", "monitor"},
      {{"monitor", "add", "--yes", "1.2.3.4"}, "unknown option --yes", "monitor"},
      {{"monitor", "remove"}, "monitor remove takes one ADDRESS or more", "monitor"},
      {{"monitor", "remove", "1.2.3.4", "host"}, "'host' is not an IP address (a.b.c.d, each 0 to 255)", "monitor"},
      {{"monitor", "import"}, "monitor import takes one FILE", "monitor"},
      {{"monitor", "export", "a.cfg", "b.cfg"}, "monitor export takes one FILE", "monitor"},
      {{"monitor", "list", "--password", "secret"}, "unknown option --password", "monitor"},
      {{"monitor", "list", "--seed-settings"}, "unknown option --seed-settings", "monitor"},
      {{"discover", "--seed-settings"}, "unknown option --seed-settings", "discover"},
      {{"watch", "--refresh", "10s"}, "--refresh takes 15s, 30s, 1m, 2m or 5m, not '10s'", "watch"},
      {{"watch", "--metrics", "localhost:9639"}, "--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not 'localhost:9639'", "watch"},
      {{"watch", "--metrics", "10...5:9639"}, "--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not '10...5:9639'", "watch"},
      {{"watch", "--metrics", "127.0.0.1:65536"}, "--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not '127.0.0.1:65536'", "watch"},
      {{"watch", "--metrics", "127.0.0.1:"}, "--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not '127.0.0.1:'", "watch"},
      {{"watch", "--metrics", "127.0.0.1:-1"}, "--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not '127.0.0.1:-1'", "watch"},
      {{"watch", "--metrics", "[::1]:9639"}, "--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not '[::1]:9639'", "watch"},
      {{"discover", "--metrics", "9639"}, "unknown option --metrics", "discover"},
      {{"watch", "--exec", ""}, "--exec needs a program's path", "watch"},
      {{"watch", "--exec", "--json"}, "--exec needs a program's path", "watch"},
      {{"watch", "--exec"}, "--exec needs a value", "watch"},
      {{"watch", "--exec", "h", "--exec-timeout", "0.5"}, "--exec-timeout takes a number of seconds from 1 to 600, not '0.5'", "watch"},
      {{"watch", "--exec", "h", "--exec-timeout", "601"}, "--exec-timeout takes a number of seconds from 1 to 600, not '601'", "watch"},
      {{"watch", "--exec-timeout", "5"}, "--exec-timeout needs --exec", "watch"},
      {{"discover", "--exec", "h"}, "unknown option --exec", "discover"},
      {{"help", "frobnicate"}, "no command 'frobnicate'", ""},
      {{"--version", "discover"}, "--version takes nothing more", ""},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    EXPECT_FALSE(r.command) << r.error;
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.topic, c.topic) << c.error;
  }
}

TEST(CommandLineTest, DeviceCommandsTakeATargetFieldsAndPasswordSourcesButNoPassword) {
  struct Case {
    std::vector<std::string> args;
    CommandLine expected;
  };
  CommandLine set = Make(CommandKind::Set);
  set.target.ip = 0xC6120010;
  set.fields.ip = 0xC6120014;
  set.fields.subnet_mask = 0xFFFF0000;
  set.fields.gateway = 0xC61200FE;
  set.fields.trap_ip = 0;
  set.fields.system_name = "";
  set.fields.location = "rack 12345678901 end";  // 20 characters
  set.fields.dhcp = false;
  set.fields.group_interval = "0125";
  set.password = {SecretSource::Kind::File, "pw.txt"};
  set.wait = 1s;
  CommandLine dhcp_on = Make(CommandKind::Set);
  dhcp_on.target.mac_text = "02000000abcd";
  dhcp_on.fields.dhcp = true;
  CommandLine password = Make(CommandKind::Password);
  password.target.mac_text = "02000000abcd";
  password.password = {SecretSource::Kind::Environment, "OLD"};
  password.new_password = {SecretSource::Kind::File, "/run/new"};
  CommandLine refresh = Make(CommandKind::DhcpRefresh);
  refresh.target.mac_text = "02000000abcd";
  CommandLine refresh_card = refresh;
  refresh_card.interface_name = "eth1";
  CommandLine upgrade = Make(CommandKind::Upgrade);
  upgrade.target.ip = 0xC612000B;
  upgrade.file = "image.hex";
  upgrade.password = {SecretSource::Kind::Environment, "PW"};
  CommandLine help_upgrade;
  help_upgrade.help_topic = "upgrade";
  const Case cases[] = {
      {{"set", "198.18.0.16", "--ip", "198.18.0.20", "--netmask=255.255.0.0", "--gateway", "198.18.0.254", "--trap",
        "0.0.0.0", "--name", "", "--location", "rack 12345678901 end", "--dhcp", "off", "--group-interval", "0125",
        "--password-file", "pw.txt", "--wait", "1"},
       set},
      {{"set", "02:00:00:00:AB:CD", "--dhcp", "on"}, dhcp_on},
      {{"password", "02-00-00-00-ab-cd", "--password-env", "OLD", "--new-password-file", "/run/new"}, password},
      {{"dhcp-refresh", "02000000ABCD"}, refresh},
      {{"dhcp-refresh", "02000000ABCD", "--interface", "eth1"}, refresh_card},
      {{"upgrade", "--password-env=PW", "198.18.0.11", "image.hex"}, upgrade},
      {{"upgrade", "198.18.0.11", "--help"}, help_upgrade},
      {{"help", "upgrade"}, help_upgrade},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    ASSERT_TRUE(r.command) << c.args[0] << ": " << r.error;
    EXPECT_EQ(*r.command, c.expected) << c.args[0] << " " << c.args[1];
  }
}

TEST(CommandLineTest, RefusedDeviceCommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"set", "198.18.0.10"}, "set needs at least one field to change"},
      {{"set", "--name", "x"}, "set takes one TARGET"},
      {{"set", "a", "b", "--name", "x"}, "set takes one TARGET"},
      {{"set", "switch-1", "--name", "x"}, "'switch-1' is not an IP or MAC address"},
      {{"set", "02:00:00:00:00", "--name", "x"}, "'02:00:00:00:00' is not an IP or MAC address"},
      {{"set", "02:00-00:00:00:10", "--name", "x"}, "'02:00-00:00:00:10' is not an IP or MAC address"},
      {{"set", "198.18.0.10", "--ip", "198.18.0"}, "--ip takes an IP address (a.b.c.d, each 0 to 255), not '198.18.0'"},
      {{"set", "198.18.0.10", "--name", "123456789012345678901"}, "--name takes at most 20 characters"},
      {{"set", "198.18.0.10", "--group-interval", "12345"}, "--group-interval takes at most 4 characters"},
      {{"set", "198.18.0.10", "--dhcp", "yes"}, "--dhcp takes on or off, not 'yes'"},
      {{"set", "198.18.0.10", "--password", "admin", "--name", "x"}, "unknown option --password"},
      {{"set", "198.18.0.10", "--new-password-env", "N", "--name", "x"}, "unknown option --new-password-env"},
      {{"password", "198.18.0.10", "--password-env", "A", "--password-file", "f"},
       "the password comes from one place only"},
      {{"password", "198.18.0.10", "--new-password-env", "A", "--new-password-file", "f"},
       "the new password comes from one place only"},
      {{"password", "198.18.0.10", "--password-file="}, "--password-file needs a value"},
      {{"dhcp-refresh", "198.18.0.10", "--json"}, "unknown option --json"},
      {{"upgrade", "198.18.0.10"}, "upgrade takes TARGET and FILE"},
      {{"upgrade", "198.18.0.10", "a.hex", "b.hex"}, "upgrade takes TARGET and FILE"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    EXPECT_FALSE(r.command) << c.error;
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.topic, c.args[0]) << c.error;
  }
}

TEST(CommandLineTest, AddressesAsTheDialogsFourFieldsReadThem) {
  struct Case {
    std::string text;
    std::optional<std::uint32_t> address;
  };
  const Case cases[] = {
      {"192.168.0.1", 0xC0A80001},   {"0.0.0.0", 0},           {"...", 0},
      {"10..0.5", 0x0A000005},       {"255.255.255.255", 0xFFFFFFFF},
      {"010.001.000.009", 0x0A010009}, {"", std::nullopt},     {"1.2.3.4.5", std::nullopt},
      {"1.2.3.", 0x01020300},        {"1.2.3.1000", std::nullopt}, {" 1.2.3.4", std::nullopt},
      {"1.2.3.-4", std::nullopt},    {"0x1.2.3.4", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseAddressArgument(c.text), c.address) << c.text;
}

TEST(CommandLineTest, RefreshTimesAreTheMenusFive) {
  const std::pair<std::string, std::optional<int>> cases[] = {
      {"15s", 15}, {"30s", 30}, {"1m", 60}, {"2m", 120}, {"5m", 300}, {"300", 300},
      {"45s", std::nullopt}, {"1h", std::nullopt}, {"", std::nullopt}, {"15 s", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(ParseRefreshTime(text), seconds) << text;
}

TEST(CommandLineTest, EveryTopicHasItsOwnHelpAndItsUsageLine) {
  const std::pair<std::string, std::string> topics[] = {
      {"", "usage: switchdesk-cli COMMAND"},
      {"discover", "usage: switchdesk-cli discover [--wait SECONDS] [--json]"},
      {"monitor", "usage: switchdesk-cli monitor list [--json]"},
      {"watch", "usage: switchdesk-cli watch [--refresh 15s|30s|1m|2m|5m] [--json]"},
      {"set", "usage: switchdesk-cli set TARGET [--ip A]"},
      {"password", "usage: switchdesk-cli password TARGET [PASSWORD]"},
      {"dhcp-refresh", "usage: switchdesk-cli dhcp-refresh TARGET [PASSWORD]"},
      {"upgrade", "usage: switchdesk-cli upgrade TARGET FILE [PASSWORD]"},
  };
  for (const auto& [topic, usage] : topics) EXPECT_EQ(HelpText(topic).rfind(usage, 0), 0u) << topic;
  test::TempConfigDir dir;
  // Without CAP_NET_RAW (an ordinary user's test run) the missing capability is named last.
  const std::string capability = MissingCapabilityNote();
  EXPECT_EQ(VersionText(), "switchdesk-cli: Switchdesk Version 2.05\nProtocol Version 2.001.003\nSettings folder: " +
                               dir.Path() + " (set by SWITCHDESK_CONFIG_DIR)\n" +
                               (capability.empty() ? "" : capability + "\n"));
}

}  // namespace
}  // namespace sd::cli
