// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of switchdesk-cli: its commands, their options and the help texts.
//
//   switchdesk-cli discover [--wait SECONDS] [--json] [--interface NAME] [--broadcast A]...
//   switchdesk-cli monitor list [--json]
//   switchdesk-cli monitor add ADDRESS
//   switchdesk-cli monitor remove ADDRESS... [--yes]
//   switchdesk-cli monitor import FILE [--seed-settings]
//   switchdesk-cli monitor export FILE [--yes]
//   switchdesk-cli watch [--refresh 15s|30s|1m|2m|5m] [--json] [--interface NAME]
//                        [--metrics ADDRESS:PORT] [--exec PROGRAM [--exec-timeout SECONDS]]
//                        [--seed-settings]
//   switchdesk-cli set TARGET [--ip A] [--netmask A] [--gateway A] [--trap A] [--name T]
//                      [--location T] [--dhcp on|off] [--group-interval N] [PASSWORD SOURCE]
//   switchdesk-cli password TARGET [PASSWORD SOURCE] [--new-password-file F | --new-password-env V]
//   switchdesk-cli dhcp-refresh TARGET [PASSWORD SOURCE]
//   switchdesk-cli upgrade TARGET FILE [PASSWORD SOURCE]
//   switchdesk-cli [COMMAND] --help | help [COMMAND] | --version
//
// The device commands take --interface NAME too.
// TARGET is a switch's IP or MAC address; the PASSWORD SOURCE is --password-file F or
// --password-env V, else a prompt at the terminal. No option ever carries a password itself.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sd::cli {

enum class CommandKind {
  Help,
  Version,
  Discover,
  MonitorList,
  MonitorAdd,
  MonitorRemove,
  MonitorImport,
  MonitorExport,
  Watch,
  Set,
  Password,
  DhcpRefresh,
  Upgrade,
};

// A switch named on the command line: by its IP address or by its MAC address (then as the
// lists' MAC texts spell it, twelve lower-case hexadecimal digits).
struct TargetArgument {
  std::optional<std::uint32_t> ip;
  std::string mac_text;
  bool operator==(const TargetArgument&) const = default;
};

// Where a password comes from: a prompt without echo at the terminal, the first line of a file,
// or an environment variable.
struct SecretSource {
  enum class Kind { Prompt, File, Environment };
  Kind kind = Kind::Prompt;
  std::string where;  // the file's path or the variable's name
  bool operator==(const SecretSource&) const = default;
};

// The fields `set` changes; the others keep what the switch reported, as the dialog opens with.
struct SetFields {
  std::optional<std::uint32_t> ip;
  std::optional<std::uint32_t> subnet_mask;
  std::optional<std::uint32_t> gateway;
  std::optional<std::uint32_t> trap_ip;
  std::optional<std::string> system_name;
  std::optional<std::string> location;
  std::optional<bool> dhcp;  // true: "Enable", false: "Disable"
  std::optional<std::string> group_interval;
  bool operator==(const SetFields&) const = default;
  bool Empty() const { return *this == SetFields{}; }
};

inline constexpr std::chrono::milliseconds kDefaultDiscoverWait{3000};
inline constexpr std::chrono::milliseconds kLongestDiscoverWait{600000};
// A network card's name holds at most 15 characters (IFNAMSIZ less its NUL).
inline constexpr std::size_t kInterfaceNameLimit = 15;
inline constexpr std::size_t kMostDirectedBroadcasts = 16;

// watch --metrics: where /metrics is served (host order; port 0 takes any free port).
struct MetricsAddress {
  std::uint32_t address = 0x7F000001;  // 127.0.0.1
  std::uint16_t port = 0;
  bool operator==(const MetricsAddress&) const = default;
};
// "ADDRESS:PORT", ":PORT" or "PORT"; the address is a dotted IPv4 address, 127.0.0.1 when left out.
std::optional<MetricsAddress> ParseMetricsAddress(std::string_view text);

struct CommandLine {
  CommandKind kind = CommandKind::Help;
  // Help: "" for the program, else "discover", "monitor", "watch", "set", "password",
  // "dhcp-refresh" or "upgrade".
  std::string help_topic;
  bool json = false;
  bool yes = false;
  // discover: how long replies are collected; set, password, dhcp-refresh, upgrade: the
  // discovery that finds the target.
  std::chrono::milliseconds wait = kDefaultDiscoverWait;
  int refresh_seconds = 15;
  // add: one address; remove: one or more (host order).
  std::vector<std::uint32_t> addresses;
  std::string file;
  // set, password, dhcp-refresh, upgrade (whose FILE is `file`).
  TargetArgument target;
  SetFields fields;
  SecretSource password;
  SecretSource new_password;
  // discover, watch and the device commands: the one card to use ("" for every card).
  std::string interface_name;
  // discover: directed broadcast addresses it also goes to (host order).
  std::vector<std::uint32_t> directed_broadcasts;
  // watch: serve the Prometheus metrics there.
  std::optional<MetricsAddress> metrics;
  // watch: the program run for each event ("" for none), and its time limit per run (nothing for
  // the default).
  std::string exec_program;
  std::optional<std::chrono::milliseconds> exec_timeout;
  // watch, monitor import: a settings folder without define.ecf gets the installed default first
  // (whichever rule chose the folder; an override is otherwise used as it is).
  bool seed_settings = false;

  bool operator==(const CommandLine&) const = default;
};

struct ParseResult {
  std::optional<CommandLine> command;
  // Without a command: what is wrong, and the help topic that shows the right use.
  std::string error;
  std::string topic;
};

// `args` are the arguments after the program's name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// An address as the Remote IP dialog's four fields take it: four dot-separated decimal fields of
// 0 to 255, where an empty field reads as 0 ("10...5" is 10.0.0.5). Whether it is an acceptable
// host address is not decided here.
std::optional<std::uint32_t> ParseAddressArgument(std::string_view text);

// A switch's IP address (as ParseAddressArgument reads it) or MAC address (twelve hexadecimal
// digits, in pairs separated by ':' or '-' or not at all; either case).
std::optional<TargetArgument> ParseTargetArgument(std::string_view text);

// A refresh time of the "Refresh time" menu: 15s, 30s, 1m, 2m or 5m (also the plain number of
// seconds: 15, 30, 60, 120 or 300). The interval in seconds, or nothing.
std::optional<int> ParseRefreshTime(std::string_view text);

// A positive number of seconds, fractions allowed, up to kLongestDiscoverWait.
std::optional<std::chrono::milliseconds> ParseWaitSeconds(std::string_view text);

// The text of `--help` for a topic of ParseResult / CommandLine.
std::string HelpText(std::string_view topic);
// The text of --version.
std::string VersionText();

}  // namespace sd::cli
