// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of switchdesk-cli. Each drives the main dialog's logic of the core over in-memory
// list controls and the terminal's stand-ins for its boxes and dialogs, then shows the lists.

#include <string>
#include <vector>

#include "cli/console_dialogs.h"

namespace sd::cli {

inline constexpr int kExitOk = 0;
// The program refused or failed; its message is on standard error.
inline constexpr int kExitFailed = 1;
// The command line is wrong.
inline constexpr int kExitUsage = 2;
// A stop signal ended a command that had not finished its work (discover, the device commands).
inline constexpr int kExitInterrupted = 130;

// Runs the command line `args` (without the program's name); the exit status.
int RunCli(const std::vector<std::string>& args, Console& console);

}  // namespace sd::cli
