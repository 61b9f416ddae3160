// SPDX-License-Identifier: GPL-3.0-or-later
// switchdesk-cli: Switchdesk for scripts and machines without a display.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/output.h"

int main(int argc, char** argv) {
  // A reader that goes away (a closed pipe) makes writes fail instead of ending the process, so
  // that watch can still stop its threads and close its sockets.
  ::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool interactive = ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO);
  sd::cli::Console console{std::cin, std::cout, std::cerr, interactive, interactive ? STDIN_FILENO : -1,
                           ::isatty(STDOUT_FILENO) != 0};
  // Under systemd, with the output going to the journal.
  const char* journal = std::getenv("JOURNAL_STREAM");
  console.out_is_journal = sd::cli::IsJournalStream(STDOUT_FILENO, journal);
  console.err_is_journal = sd::cli::IsJournalStream(STDERR_FILENO, journal);
  return sd::cli::RunCli(args, console);
}
