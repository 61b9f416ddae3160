// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "app/startup.h"
#include "cli/event_hooks.h"
#include "common/version.h"
#include "operations/configuration_form.h"
#include "protocol/device_record.h"
#include "protocol/packet_header.h"
#include "settings/config_folder.h"

namespace sd::cli {

namespace {

constexpr std::string_view kProgramHelp = R"(usage: switchdesk-cli COMMAND [OPTIONS]

Switchdesk in a terminal. It works on the same device lists as the window and shares its
settings folder: define.ecf (settings), monitor.cfg (the Monitor List) and syslog.log (the event
log). The folder is $SWITCHDESK_CONFIG_DIR when set, else cfg/ beside the program when that takes
new files, else $XDG_CONFIG_HOME/switchdesk or ~/.config/switchdesk, made on the first start with
the installed default define.ecf. --version names the folder in use.

Commands:
  discover                  find the switches on the network and print the Discovery List
  monitor list              print the Monitor List
  monitor add ADDRESS       add a switch to the Monitor List by its IP address
  monitor remove ADDRESS... remove switches from the Monitor List
  monitor import FILE       merge a saved Monitor List into it
  monitor export FILE       save the Monitor List to another file
  watch                     poll the Monitor List; report not-alive switches, recoveries, traps
  set TARGET [OPTIONS]      "Configure settings": addresses, names, DHCP mode, group interval
  password TARGET           "Change password"
  dhcp-refresh TARGET       "DHCP Refresh": the switch renews its DHCP lease
  upgrade TARGET FILE       "Upgrade firmware": uploads FILE by TFTP and waits for the reboot

TARGET is a switch's IP address or MAC address (02:00:00:00:00:10, 02-00-... or 020000000010).
Passwords are never given on the command line: they are asked for at the terminal (not shown
as typed), or read from a file (--password-file) or an environment variable (--password-env).

Options:
  --help, -h   this text; COMMAND --help describes a command
  --version    the program's version, the protocol version it speaks and the settings folder

What the window shows in a message box comes as "Title: text" on standard error.
Exit status: 0 on success, 1 when the program refused or failed (its message says why), 2 when
the command line is wrong.
)";

constexpr std::string_view kDiscoverHelp = R"(usage: switchdesk-cli discover [--wait SECONDS] [--json] [--interface NAME] [--broadcast A]

Sends one discovery, as the window's "Discover" does (by broadcast and to the multicast group,
out of every network card that is up and has an IPv4 address), collects the replies and prints
the Discovery List with the window's columns and texts (with --json also the card each switch
answered on). Switches that are in the Monitor List answer into the Monitor List and are not shown. When no
switch answers, standard error names the cards the discovery went out of and the UDP ports a
firewall must let in.

  --wait SECONDS     how long to collect replies once the requests are out (default 3; up to 600)
  --json             a JSON array instead: one object per switch, keyed by the column headers,
                     and "interface" (the card its reply came in on)
  --interface NAME   only by this card (as `ip link` names it)
  --broadcast A      also to the directed broadcast address A of another subnet (for example
                     192.0.2.255 behind a router that forwards it); may be given more than once
)";

constexpr std::string_view kMonitorHelp = R"(usage: switchdesk-cli monitor list [--json]
       switchdesk-cli monitor add ADDRESS
       switchdesk-cli monitor remove ADDRESS... [--yes]
       switchdesk-cli monitor import FILE [--seed-settings]
       switchdesk-cli monitor export FILE [--yes]

The Monitor List of monitor.cfg. A command that changes the list saves monitor.cfg.

  list     the list with the window's columns; "S" shows "not alive" or "warning"
           --json: a JSON array, one object per switch, keyed by the column headers
  add      "Add item": ADDRESS as typed into the Remote IP dialog (a.b.c.d; an empty field is 0)
  remove   "Delete item" on the rows that show these addresses, after "Delete entry?"
           --yes: answer OK (needed when standard input is not a terminal)
  import   "Monitor load": merges FILE (a folder: its monitor.cfg); a switch that is already
           monitored is skipped with a warning
           --seed-settings: first give a settings folder without define.ecf the installed one
  export   "Monitor save as": writes the list to FILE (a folder: its Default.cfg); asks before
           it replaces a file; --yes: replace without asking
)";

constexpr std::string_view kWatchHelp = R"(usage: switchdesk-cli watch [--refresh 15s|30s|1m|2m|5m] [--json] [--interface NAME]
           [--metrics ADDRESS:PORT] [--exec PROGRAM [--exec-timeout SECONDS]] [--seed-settings]

Loads monitor.cfg and watches its switches as the window does: the poll thread polls each one
once per refresh time, the 5-second liveness timer asks a switch that missed a poll again and
declares it not alive after three unanswered requests, and traps from monitored switches are
taken in. Verdicts and traps are appended to syslog.log with the window's lines. Each switch that
is declared not alive, each one that answers again and each trap is printed as it happens:

  06/01/2007 14:03:09 198.18.0.12 Not alive
  06/01/2007 14:03:31 198.18.0.12 Recovered
  06/01/2007 14:03:31 198.18.0.11 Trap :Port 2 link down

Ctrl-C or SIGTERM stops it: the threads end, the sockets close, and the exit status is 0.
SIGHUP stops it too while it has a terminal (the terminal closed). Without one, as a service,
SIGHUP (systemctl reload) reads monitor.cfg again: the switches that stay keep their state (a
switch declared not alive stays so, without a new line), new ones are polled, removed ones no
longer; a file that cannot be read leaves the list as it was. Standard error says what it did.
When the output is the journal ($JOURNAL_STREAM), not-alive lines have the priority warning,
recoveries and traps notice.

  --refresh TIME   the refresh time: 15s (default), 30s, 1m, 2m or 5m
  --interface NAME the group membership and its reports on this card only
  --json           one JSON object per line: "event" ("not alive", "recovered" or "trap"),
                   "time", "ip", then "mac" and "name" (system name), or "text" (the trap's)
  --metrics ADDRESS:PORT
                   serve http://ADDRESS:PORT/metrics for Prometheus: each switch's up, last
                   reply, polls, replies and traps (":PORT" or "PORT": on 127.0.0.1)
  --exec PROGRAM   also run PROGRAM (a path; no shell, no PATH search) for each event, one run
                   at a time in their order, with the event in its environment:
                   SWITCHDESK_EVENT (not-alive, recovered or trap), SWITCHDESK_IP,
                   SWITCHDESK_MAC, SWITCHDESK_NAME (system name; for a trap those of its
                   Monitor List entry), SWITCHDESK_TEXT (the trap's text, else empty) and
                   SWITCHDESK_TIME (as in syslog.log). Its standard input is /dev/null, its
                   output goes to standard error. At most 256 events wait for their turn;
                   further ones are dropped, and failed or dropped runs are told on standard
                   error (at most one line per 10 s)
  --exec-timeout SECONDS
                   a run still going after this long (default 10; 1 to 600) is ended with
                   what it started (SIGTERM, SIGKILL 1 s later); the next event then runs
  --seed-settings  first give a settings folder without define.ecf the installed one (a folder
                   named by SWITCHDESK_CONFIG_DIR is otherwise used as it is)
)";

constexpr std::string_view kTargetHelp = R"(
TARGET is the switch's IP or MAC address. The command first runs a discovery, as "Discover"
does: a switch of the Monitor List answers into it and is then addressed by unicast, like a row
chosen in the window's Monitor List; any other switch is chosen in the Discovery List and
addressed by broadcast and multicast with its MAC address. Then the window's checks run on that
one row, with the window's messages as "Title: text" on standard error.

  --wait SECONDS            how long the discovery collects replies (default 3; up to 600)
  --interface NAME          discover and send by this network card only
  --password-file PATH      the switch's password is the first line of PATH
  --password-env NAME       the switch's password is the value of the variable NAME
Without either, the password is asked for at the terminal without echo. Passwords are never
printed or logged, and are wiped from memory once the request is out.
)";

constexpr std::string_view kSetHelp = R"(usage: switchdesk-cli set TARGET [--ip A] [--netmask A] [--gateway A] [--trap A]
           [--name TEXT] [--location TEXT] [--dhcp on|off] [--group-interval N] [PASSWORD]

"Configure settings" on one switch: the fields given change, every other field keeps what the
switch reported, as the "Configuration setting" dialog opens with them. "Set" checks the fields
in the dialog's order with its messages, then sends one set request; the program waits for the
switch's answer and ends with 0 on "Set successful", 1 on the switch's error (such as "Password
error.") or when no answer came.

  --ip A, --netmask A, --gateway A   the IP settings (a.b.c.d); not while DHCP is enabled
  --trap A                 the trap receiver (0.0.0.0: none)
  --name TEXT              the system name (at most 20 characters)
  --location TEXT          the location (at most 20 characters)
  --dhcp on|off            "Enable" or "Disable" DHCP (for a switch that reports its mode)
  --group-interval N       the switch's group interval: 0 or 120 to 1225 (when it reports one)
)";

constexpr std::string_view kPasswordHelp = R"(usage: switchdesk-cli password TARGET [PASSWORD] [--new-password-file PATH | --new-password-env NAME]

"Change password" on one switch: the original password (PASSWORD, as below), then the new one,
asked for twice at the terminal ("New password", "Confirm password") or read once from a file or
a variable. The dialog's checks and messages apply; the program waits for the switch's answer
and ends with 0 on "Set successful", 1 on the switch's error or when no answer came.

  --new-password-file PATH   the new password is the first line of PATH
  --new-password-env NAME    the new password is the value of the variable NAME
)";

constexpr std::string_view kDhcpRefreshHelp = R"(usage: switchdesk-cli dhcp-refresh TARGET [PASSWORD]

"DHCP Refresh" on one switch that uses DHCP: the switch drops its address and asks its DHCP
server for one. Ends with 0 on "Set successful", 1 on the switch's error (such as "Dhcp refresh
fail") or when no answer came.
)";

constexpr std::string_view kUpgradeHelp = R"(usage: switchdesk-cli upgrade TARGET FILE [PASSWORD]

"Upgrade firmware" on one switch: the window's checks (selection, agent version, the switch's
address unique in its list and in a subnet of this computer), then the upgrade trigger with the
password, the TFTP upload of FILE (at most 127 characters of path), the pause while the switch
writes its flash and the reboot watch (after 12 s a discovery every second, up to 110). The
upload shows a progress bar on a terminal and progress lines otherwise. Ends with 0 on
"Firmware upgrade successful.", 1 when the upgrade failed or was refused, 130 on Ctrl-C (the
switch is not told).
)";

struct OptionRule {
  bool takes_value;
};

// The options each command accepts (besides --help).
const std::map<std::string, OptionRule>& OptionsOf(CommandKind kind) {
  static const std::map<std::string, OptionRule> discover = {
      {"--wait", {true}}, {"--json", {false}}, {"--interface", {true}}, {"--broadcast", {true}}};
  static const std::map<std::string, OptionRule> list = {{"--json", {false}}};
  static const std::map<std::string, OptionRule> none = {};
  static const std::map<std::string, OptionRule> yes = {{"--yes", {false}}};
  static const std::map<std::string, OptionRule> import = {{"--seed-settings", {false}}};
  static const std::map<std::string, OptionRule> watch = {
      {"--refresh", {true}}, {"--json", {false}}, {"--interface", {true}}, {"--metrics", {true}},
      {"--exec", {true}},    {"--exec-timeout", {true}}, {"--seed-settings", {false}}};
  static const std::map<std::string, OptionRule> device = {
      {"--wait", {true}}, {"--password-file", {true}}, {"--password-env", {true}}, {"--interface", {true}}};
  static const std::map<std::string, OptionRule> set = [] {
    auto options = device;
    for (const char* name : {"--ip", "--netmask", "--gateway", "--trap", "--name", "--location", "--dhcp",
                             "--group-interval"}) {
      options[name] = {true};
    }
    return options;
  }();
  static const std::map<std::string, OptionRule> password = [] {
    auto options = device;
    options["--new-password-file"] = {true};
    options["--new-password-env"] = {true};
    return options;
  }();
  switch (kind) {
    case CommandKind::Discover: return discover;
    case CommandKind::MonitorList: return list;
    case CommandKind::MonitorImport: return import;
    case CommandKind::MonitorRemove:
    case CommandKind::MonitorExport: return yes;
    case CommandKind::Watch: return watch;
    case CommandKind::Set: return set;
    case CommandKind::Password: return password;
    case CommandKind::DhcpRefresh:
    case CommandKind::Upgrade: return device;
    default: return none;
  }
}

std::string TopicOf(CommandKind kind) {
  switch (kind) {
    case CommandKind::Discover: return "discover";
    case CommandKind::Watch: return "watch";
    case CommandKind::Set: return "set";
    case CommandKind::Password: return "password";
    case CommandKind::DhcpRefresh: return "dhcp-refresh";
    case CommandKind::Upgrade: return "upgrade";
    case CommandKind::Help:
    case CommandKind::Version: return "";
    default: return "monitor";
  }
}

ParseResult Error(std::string message, std::string topic) {
  return {std::nullopt, std::move(message), std::move(topic)};
}

ParseResult Ok(CommandLine command) { return {std::move(command), {}, {}}; }

// The commands that stand alone (not under "monitor"), by name.
const std::map<std::string, CommandKind, std::less<>>& TopCommands() {
  static const std::map<std::string, CommandKind, std::less<>> commands = {
      {"discover", CommandKind::Discover}, {"watch", CommandKind::Watch},
      {"set", CommandKind::Set},           {"password", CommandKind::Password},
      {"dhcp-refresh", CommandKind::DhcpRefresh}, {"upgrade", CommandKind::Upgrade},
  };
  return commands;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> ParseMacText(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string mac;
  // Twelve digits in a row, or six pairs with one separator (':' or '-') between pairs.
  const bool separated = text.size() == 17;
  if (!separated && text.size() != 12) return std::nullopt;
  const char separator = separated ? text[2] : 0;
  if (separated && separator != ':' && separator != '-') return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (separated && i % 3 == 2) {
      if (text[i] != separator) return std::nullopt;
      continue;
    }
    const int digit = HexDigit(text[i]);
    if (digit < 0) return std::nullopt;
    mac += kDigits[digit];
  }
  return mac;
}

// The value of an option that takes a text typed into a dialog's edit of `limit` characters.
std::optional<std::string> EditText(const std::string& value, std::size_t limit) {
  if (value.size() > limit) return std::nullopt;
  return value;
}

}  // namespace

std::optional<MetricsAddress> ParseMetricsAddress(std::string_view text) {
  MetricsAddress where;
  std::string_view port = text;
  if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    port = text.substr(colon + 1);
    const std::string_view address = text.substr(0, colon);
    if (!address.empty()) {
      // Four fields of digits only: the short forms the Remote IP dialog takes are not meant here.
      if (std::count(address.begin(), address.end(), '.') != 3 || address.find("..") != std::string_view::npos ||
          address.front() == '.' || address.back() == '.') {
        return std::nullopt;
      }
      const auto a = ParseAddressArgument(address);
      if (!a) return std::nullopt;
      where.address = *a;
    }
  }
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    return std::nullopt;
  }
  const int number = std::stoi(std::string(port));
  if (number > 65535) return std::nullopt;
  where.port = static_cast<std::uint16_t>(number);
  return where;
}

std::optional<std::uint32_t> ParseAddressArgument(std::string_view text) {
  std::uint32_t address = 0;
  int fields = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    const std::string_view field = text.substr(start, dot == std::string_view::npos ? text.npos : dot - start);
    if (field.size() > 3) return std::nullopt;
    unsigned value = 0;
    for (char c : field) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255) return std::nullopt;
    address = (address << 8) | value;
    ++fields;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (fields != 4 || text.empty()) return std::nullopt;
  return address;
}

std::optional<TargetArgument> ParseTargetArgument(std::string_view text) {
  TargetArgument target;
  if (const auto ip = ParseAddressArgument(text)) {
    target.ip = *ip;
    return target;
  }
  if (auto mac = ParseMacText(text)) {
    target.mac_text = std::move(*mac);
    return target;
  }
  return std::nullopt;
}

std::optional<int> ParseRefreshTime(std::string_view text) {
  static const std::map<std::string, int, std::less<>> choices = {
      {"15s", 15}, {"30s", 30}, {"1m", 60}, {"2m", 120}, {"5m", 300},
      {"15", 15},  {"30", 30},  {"60", 60}, {"120", 120}, {"300", 300},
  };
  const auto it = choices.find(text);
  if (it == choices.end()) return std::nullopt;
  return it->second;
}

std::optional<std::chrono::milliseconds> ParseWaitSeconds(std::string_view text) {
  if (text.empty() || text.size() > 32) return std::nullopt;
  for (char c : text) {
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;
  }
  const std::string copy(text);
  char* end = nullptr;
  const double seconds = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(seconds)) return std::nullopt;
  const auto ms = std::chrono::milliseconds(std::llround(seconds * 1000.0));
  if (ms.count() <= 0 || ms > kLongestDiscoverWait) return std::nullopt;
  return ms;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return Error("a command is needed", "");
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") return Ok({});
  if (first == "--version") {
    if (args.size() > 1) return Error("--version takes nothing more", "");
    CommandLine c;
    c.kind = CommandKind::Version;
    return Ok(c);
  }
  if (first == "help") {
    CommandLine c;
    if (args.size() > 2) return Error("help takes one command at most", "");
    if (args.size() == 2) {
      if (args[1] != "monitor" && !TopCommands().contains(args[1])) {
        return Error("no command '" + args[1] + "'", "");
      }
      c.help_topic = args[1];
    }
    return Ok(c);
  }

  CommandLine c;
  std::size_t next = 1;
  if (const auto top = TopCommands().find(first); top != TopCommands().end()) {
    c.kind = top->second;
  } else if (first == "monitor") {
    // The subcommand decides the options; --help may come before it.
    if (args.size() < 2) return Error("monitor needs list, add, remove, import or export", "monitor");
    if (args[1] == "--help" || args[1] == "-h") {
      CommandLine help;
      help.help_topic = "monitor";
      return Ok(help);
    }
    static const std::map<std::string, CommandKind, std::less<>> subcommands = {
        {"list", CommandKind::MonitorList},     {"add", CommandKind::MonitorAdd},
        {"remove", CommandKind::MonitorRemove}, {"import", CommandKind::MonitorImport},
        {"export", CommandKind::MonitorExport},
    };
    const auto sub = subcommands.find(args[1]);
    if (sub == subcommands.end()) return Error("no monitor command '" + args[1] + "'", "monitor");
    c.kind = sub->second;
    next = 2;
  } else {
    return Error("no command '" + first + "'", "");
  }

  const std::string topic = TopicOf(c.kind);
  const auto& options = OptionsOf(c.kind);
  std::vector<std::string> positional;
  bool options_ended = false;
  for (std::size_t i = next; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      CommandLine help;
      help.help_topic = topic;
      return Ok(help);
    }
    std::string name = arg == "-y" ? "--yes" : arg;
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.erase(eq);
    }
    const auto rule = options.find(name);
    if (rule == options.end()) return Error("unknown option " + name, topic);
    if (!rule->second.takes_value) {
      if (value) return Error(name + " takes no value", topic);
    } else if (!value) {
      if (i + 1 >= args.size()) return Error(name + " needs a value", topic);
      value = args[++i];
    }
    if (name == "--json") {
      c.json = true;
    } else if (name == "--yes") {
      c.yes = true;
    } else if (name == "--seed-settings") {
      c.seed_settings = true;
    } else if (name == "--wait") {
      const auto wait = ParseWaitSeconds(*value);
      if (!wait) return Error("--wait takes a number of seconds above 0 and up to 600, not '" + *value + "'", topic);
      c.wait = *wait;
    } else if (name == "--interface") {
      if (value->empty() || value->size() > kInterfaceNameLimit) {
        return Error("--interface takes a network card's name, such as eth0", topic);
      }
      c.interface_name = *value;
    } else if (name == "--broadcast") {
      const auto a = ParseAddressArgument(*value);
      if (!a || *a == 0) return Error("--broadcast takes an IP address (a.b.c.d), not '" + *value + "'", topic);
      if (c.directed_broadcasts.size() >= kMostDirectedBroadcasts) {
        return Error("--broadcast may be given at most " + std::to_string(kMostDirectedBroadcasts) + " times", topic);
      }
      c.directed_broadcasts.push_back(*a);
    } else if (name == "--metrics") {
      const auto where = ParseMetricsAddress(*value);
      if (!where) return Error("--metrics takes ADDRESS:PORT, such as 127.0.0.1:9639, not '" + *value + "'", topic);
      c.metrics = *where;
    } else if (name == "--exec") {
      // A path that starts with '-' is most likely an option given by mistake; ./-name runs it.
      if (value->empty() || value->front() == '-') return Error("--exec needs a program's path", topic);
      c.exec_program = *value;
    } else if (name == "--exec-timeout") {
      const auto limit = ParseWaitSeconds(*value);
      if (!limit || *limit < kShortestHookTimeout || *limit > kLongestHookTimeout) {
        return Error("--exec-timeout takes a number of seconds from 1 to 600, not '" + *value + "'", topic);
      }
      c.exec_timeout = *limit;
    } else if (name == "--refresh") {
      const auto refresh = ParseRefreshTime(*value);
      if (!refresh) return Error("--refresh takes 15s, 30s, 1m, 2m or 5m, not '" + *value + "'", topic);
      c.refresh_seconds = *refresh;
    } else if (name == "--password-file" || name == "--password-env" || name == "--new-password-file" ||
               name == "--new-password-env") {
      SecretSource& source = name.starts_with("--new-") ? c.new_password : c.password;
      if (source.kind != SecretSource::Kind::Prompt) {
        return Error(std::string(name.starts_with("--new-") ? "the new password" : "the password") +
                         " comes from one place only",
                     topic);
      }
      if (value->empty()) return Error(name + " needs a value", topic);
      source.kind = name.ends_with("-file") ? SecretSource::Kind::File : SecretSource::Kind::Environment;
      source.where = *value;
    } else if (name == "--ip" || name == "--netmask" || name == "--gateway" || name == "--trap") {
      const auto a = ParseAddressArgument(*value);
      if (!a) return Error(name + " takes an IP address (a.b.c.d, each 0 to 255), not '" + *value + "'", topic);
      (name == "--ip" ? c.fields.ip : name == "--netmask" ? c.fields.subnet_mask
                                    : name == "--gateway" ? c.fields.gateway
                                                          : c.fields.trap_ip) = *a;
    } else if (name == "--name" || name == "--location") {
      const auto text = EditText(*value, kDialogTextLimit);
      if (!text) return Error(name + " takes at most 20 characters", topic);
      (name == "--name" ? c.fields.system_name : c.fields.location) = *text;
    } else if (name == "--dhcp") {
      if (*value != "on" && *value != "off") return Error("--dhcp takes on or off, not '" + *value + "'", topic);
      c.fields.dhcp = *value == "on";
    } else if (name == "--group-interval") {
      const auto text = EditText(*value, kGroupIntervalTextLimit);
      if (!text) return Error("--group-interval takes at most 4 characters", topic);
      c.fields.group_interval = *text;
    }
  }

  switch (c.kind) {
    case CommandKind::MonitorAdd:
    case CommandKind::MonitorRemove:
      if (c.kind == CommandKind::MonitorAdd && positional.size() != 1) {
        return Error("monitor add takes one ADDRESS", topic);
      }
      if (positional.empty()) return Error("monitor remove takes one ADDRESS or more", topic);
      for (const auto& p : positional) {
        const auto a = ParseAddressArgument(p);
        if (!a) return Error("'" + p + "' is not an IP address (a.b.c.d, each 0 to 255)", topic);
        c.addresses.push_back(*a);
      }
      break;
    case CommandKind::MonitorImport:
    case CommandKind::MonitorExport:
      if (positional.size() != 1 || positional[0].empty()) {
        return Error(std::string("monitor ") + (c.kind == CommandKind::MonitorImport ? "import" : "export") +
                         " takes one FILE",
                     topic);
      }
      c.file = positional[0];
      break;
    case CommandKind::Set:
    case CommandKind::Password:
    case CommandKind::DhcpRefresh:
    case CommandKind::Upgrade: {
      const bool upgrade = c.kind == CommandKind::Upgrade;
      if (positional.size() != (upgrade ? 2u : 1u)) {
        return Error(topic + (upgrade ? " takes TARGET and FILE" : " takes one TARGET"), topic);
      }
      const auto target = ParseTargetArgument(positional[0]);
      if (!target) return Error("'" + positional[0] + "' is not an IP or MAC address", topic);
      c.target = *target;
      if (upgrade) {
        if (positional[1].empty()) return Error("upgrade takes TARGET and FILE", topic);
        c.file = positional[1];
      }
      if (c.kind == CommandKind::Set && c.fields.Empty()) {
        return Error("set needs at least one field to change", topic);
      }
      break;
    }
    default:
      if (!positional.empty()) return Error("unexpected argument '" + positional[0] + "'", topic);
      if (c.exec_timeout && c.exec_program.empty()) return Error("--exec-timeout needs --exec", topic);
      break;
  }
  return Ok(c);
}

std::string HelpText(std::string_view topic) {
  if (topic == "discover") return std::string(kDiscoverHelp);
  if (topic == "monitor") return std::string(kMonitorHelp);
  if (topic == "watch") return std::string(kWatchHelp);
  if (topic == "set") return std::string(kSetHelp) + std::string(kTargetHelp);
  if (topic == "password") return std::string(kPasswordHelp) + std::string(kTargetHelp);
  if (topic == "dhcp-refresh") return std::string(kDhcpRefreshHelp) + std::string(kTargetHelp);
  if (topic == "upgrade") return std::string(kUpgradeHelp) + std::string(kTargetHelp);
  return std::string(kProgramHelp);
}

std::string VersionText() {
  std::string text = std::string("switchdesk-cli: ") + kProgramVersionText + "\nProtocol Version " +
                     FormatProtocolVersion(VERSION_MAJOR, VERSION_MINOR_REPLY, VERSION_INTERFACE_MANAGER) + "\n" +
                     DescribeConfigFolder() + "\n";
  // What the start-up warning said once, named for as long as it holds.
  if (const std::string note = MissingCapabilityNote(); !note.empty()) text += note + "\n";
  return text;
}

}  // namespace sd::cli
