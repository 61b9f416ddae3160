#include "cli/command_line.h"

#include <cmath>
#include <cstdlib>
#include <map>

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

Options:
  --help, -h   this text; COMMAND --help describes a command
  --version    the program's version, the protocol version it speaks and the settings folder

What the window shows in a message box comes as "Title: text" on standard error.
Exit status: 0 on success, 1 when the program refused or failed (its message says why), 2 when
the command line is wrong.
)";

constexpr std::string_view kDiscoverHelp = R"(usage: switchdesk-cli discover [--wait SECONDS] [--json]

Sends one discovery, as the window's "Discover" does (by broadcast and to the multicast group),
collects the replies and prints the Discovery List with the window's columns and texts. Switches
that are in the Monitor List answer into the Monitor List and are not shown.

  --wait SECONDS   how long to collect replies once the requests are out (default 3; up to 600)
  --json           a JSON array instead: one object per switch, keyed by the column headers
)";

constexpr std::string_view kMonitorHelp = R"(usage: switchdesk-cli monitor list [--json]
       switchdesk-cli monitor add ADDRESS
       switchdesk-cli monitor remove ADDRESS... [--yes]
       switchdesk-cli monitor import FILE
       switchdesk-cli monitor export FILE [--yes]

The Monitor List of monitor.cfg. A command that changes the list saves monitor.cfg.

  list     the list with the window's columns; "S" shows "not alive" or "warning"
           --json: a JSON array, one object per switch, keyed by the column headers
  add      "Add item": ADDRESS as typed into the Remote IP dialog (a.b.c.d; an empty field is 0)
  remove   "Delete item" on the rows that show these addresses, after "Delete entry?"
           --yes: answer OK (needed when standard input is not a terminal)
  import   "Monitor load": merges FILE (a folder: its monitor.cfg); a switch that is already
           monitored is skipped with a warning
  export   "Monitor save as": writes the list to FILE (a folder: its Default.cfg); asks before
           it replaces a file; --yes: replace without asking
)";

constexpr std::string_view kWatchHelp = R"(usage: switchdesk-cli watch [--refresh 15s|30s|1m|2m|5m] [--json]

Loads monitor.cfg and watches its switches as the window does: the poll thread polls each one
once per refresh time, the 5-second liveness timer asks a switch that missed a poll again and
declares it not alive after three unanswered requests, and traps from monitored switches are
taken in. Verdicts and traps are appended to syslog.log with the window's lines. Each switch that
is declared not alive, each one that answers again and each trap is printed as it happens:

  06/01/2007 14:03:09 198.18.0.12 Not alive
  06/01/2007 14:03:31 198.18.0.12 Recovered
  06/01/2007 14:03:31 198.18.0.11 Trap :Port 2 link down

Ctrl-C or SIGTERM stops it: the threads end, the sockets close, and the exit status is 0.

  --refresh TIME   the refresh time: 15s (default), 30s, 1m, 2m or 5m
  --json           one JSON object per line: "event" ("not alive", "recovered" or "trap"),
                   "time", "ip", then "mac" and "name" (system name), or "text" (the trap's)
)";

struct OptionRule {
  bool takes_value;
};

// The options each command accepts (besides --help).
const std::map<std::string, OptionRule>& OptionsOf(CommandKind kind) {
  static const std::map<std::string, OptionRule> discover = {{"--wait", {true}}, {"--json", {false}}};
  static const std::map<std::string, OptionRule> list = {{"--json", {false}}};
  static const std::map<std::string, OptionRule> none = {};
  static const std::map<std::string, OptionRule> yes = {{"--yes", {false}}};
  static const std::map<std::string, OptionRule> watch = {{"--refresh", {true}}, {"--json", {false}}};
  switch (kind) {
    case CommandKind::Discover: return discover;
    case CommandKind::MonitorList: return list;
    case CommandKind::MonitorRemove:
    case CommandKind::MonitorExport: return yes;
    case CommandKind::Watch: return watch;
    default: return none;
  }
}

std::string TopicOf(CommandKind kind) {
  switch (kind) {
    case CommandKind::Discover: return "discover";
    case CommandKind::Watch: return "watch";
    case CommandKind::Help:
    case CommandKind::Version: return "";
    default: return "monitor";
  }
}

ParseResult Error(std::string message, std::string topic) {
  return {std::nullopt, std::move(message), std::move(topic)};
}

ParseResult Ok(CommandLine command) { return {std::move(command), {}, {}}; }

}  // namespace

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
      if (args[1] != "discover" && args[1] != "monitor" && args[1] != "watch") {
        return Error("no command '" + args[1] + "'", "");
      }
      c.help_topic = args[1];
    }
    return Ok(c);
  }

  CommandLine c;
  std::size_t next = 1;
  if (first == "discover") {
    c.kind = CommandKind::Discover;
  } else if (first == "watch") {
    c.kind = CommandKind::Watch;
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
    } else if (name == "--wait") {
      const auto wait = ParseWaitSeconds(*value);
      if (!wait) return Error("--wait takes a number of seconds above 0 and up to 600, not '" + *value + "'", topic);
      c.wait = *wait;
    } else if (name == "--refresh") {
      const auto refresh = ParseRefreshTime(*value);
      if (!refresh) return Error("--refresh takes 15s, 30s, 1m, 2m or 5m, not '" + *value + "'", topic);
      c.refresh_seconds = *refresh;
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
    default:
      if (!positional.empty()) return Error("unexpected argument '" + positional[0] + "'", topic);
      break;
  }
  return Ok(c);
}

std::string HelpText(std::string_view topic) {
  if (topic == "discover") return std::string(kDiscoverHelp);
  if (topic == "monitor") return std::string(kMonitorHelp);
  if (topic == "watch") return std::string(kWatchHelp);
  return std::string(kProgramHelp);
}

std::string VersionText() {
  return "switchdesk-cli: Switchdesk Version 2.05\nProtocol Version " +
         FormatProtocolVersion(VERSION_MAJOR, VERSION_MINOR_REPLY, VERSION_INTERFACE_MANAGER) + "\n" +
         DescribeConfigFolder() + "\n";
}

}  // namespace sd::cli
