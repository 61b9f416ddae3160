// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// set, password, dhcp-refresh and upgrade: one switch, found by a discovery and chosen in the
// list it answered into, then the window's launcher for the operation with the console dialogs.

#include <functional>

#include "app/network_engine.h"
#include "app/switchdesk_dlg.h"
#include "cli/command_line.h"
#include "cli/console_dialogs.h"
#include "devices/list_control.h"
#include "net/event_loop.h"

namespace sd::cli {

// How long a set request waits for the switch's answer.
inline constexpr std::chrono::milliseconds kSetAnswerWait{5000};

// A running network engine and what the window would have around it.
struct DeviceRun {
  CSwitchdeskDlg& dlg;
  MemoryListControl& discovery_list;
  MemoryListControl& monitor_list;
  ConsoleMessages& messages;
  Console& console;
  EventLoop& loop;
  NetworkEngine& engine;
  // A stop signal has come; its descriptor, for a password prompt to watch.
  std::function<bool()> stopped;
  int stop_fd = -1;
};

// Where TARGET answered: the list and the row that shows it.
struct TargetRow {
  TableKind list = TableKind::Discovery;
  int row = -1;
  bool operator==(const TargetRow&) const = default;
};

// Looks for `target` in the lists as a discovery left them: the Monitor List first (an entry that
// has answered, by address or MAC), then the Discovery List (by MAC, or the one switch at the
// address). Nothing after a line on `err` that says why.
std::optional<TargetRow> FindTargetRow(CSwitchdeskDlg& dlg, const TargetArgument& target, std::ostream& err);

// Runs one of the four commands; the exit status.
int RunDeviceCommand(const CommandLine& c, DeviceRun& run);

}  // namespace sd::cli
