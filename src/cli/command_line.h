#pragma once
// The command line of switchdesk-cli: its commands, their options and the help texts.
//
//   switchdesk-cli discover [--wait SECONDS] [--json]
//   switchdesk-cli monitor list [--json]
//   switchdesk-cli monitor add ADDRESS
//   switchdesk-cli monitor remove ADDRESS... [--yes]
//   switchdesk-cli monitor import FILE
//   switchdesk-cli monitor export FILE [--yes]
//   switchdesk-cli watch [--refresh 15s|30s|1m|2m|5m] [--json]
//   switchdesk-cli [COMMAND] --help | help [COMMAND] | --version
//
// No option ever carries a password: commands that will need one ask for it at the terminal.

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
};

inline constexpr std::chrono::milliseconds kDefaultDiscoverWait{3000};
inline constexpr std::chrono::milliseconds kLongestDiscoverWait{600000};

struct CommandLine {
  CommandKind kind = CommandKind::Help;
  // Help: "" for the program, else "discover", "monitor" or "watch".
  std::string help_topic;
  bool json = false;
  bool yes = false;
  std::chrono::milliseconds wait = kDefaultDiscoverWait;
  int refresh_seconds = 15;
  // add: one address; remove: one or more (host order).
  std::vector<std::uint32_t> addresses;
  std::string file;

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
